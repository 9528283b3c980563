// fitmorph-page: the property page "Fitmorph" on a sample form at design time. The sample form
// lays itself out in proportion when its window is resized, so the effect of the properties can
// be seen after they are applied.
//
//   fitmorph-page                      shows the sample form and the page
//   fitmorph-page --screenshot FILE    writes a picture of the page and the form to FILE (PNG)
//                                      and ends, for documentation and for headless machines
#include <QApplication>
#include <QPainter>
#include <QPixmap>
#include <QStringList>
#include <cstdio>

#include "fitmorph/property_page.h"
#include "sample_form.h"

namespace {

// A window's picture under a caption bar with its title (the offscreen platform draws no
// window frames).
QPixmap Framed(QWidget& window) {
  const QPixmap content = window.grab();
  constexpr int kCaption = 22;
  QPixmap framed(content.width(), content.height() + kCaption);
  framed.fill(QColor(0x00, 0x00, 0x80));
  QPainter painter(&framed);
  painter.setPen(Qt::white);
  QFont font = painter.font();
  font.setBold(true);
  painter.setFont(font);
  painter.drawText(QRect(6, 0, content.width() - 12, kCaption), Qt::AlignVCenter,
                   window.windowTitle());
  painter.drawPixmap(0, kCaption, content);
  return framed;
}

// The page and the form side by side.
QPixmap SideBySide(QWidget& page, QWidget& form) {
  const QPixmap left = Framed(page);
  const QPixmap right = Framed(form);
  constexpr int kGap = 16;
  QPixmap both(left.width() + kGap + right.width(), std::max(left.height(), right.height()));
  both.fill(Qt::white);
  QPainter painter(&both);
  painter.drawPixmap(0, 0, left);
  painter.drawPixmap(left.width() + kGap, 0, right);
  return both;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const QStringList args = QApplication::arguments();
  const qsizetype screenshot = args.indexOf(QStringLiteral("--screenshot"));
  if (screenshot >= 0 && screenshot + 1 >= args.size()) {
    std::fprintf(stderr, "usage: fitmorph-page [--screenshot FILE]\n");
    return 2;
  }

  fitmorph::sample::SampleForm form(fitmorph::pelResizer::Mode::kDesignTime);
  fitmorph::PropertyPage page;
  page.SelectControl(form.resizer());
  form.move(420, 40);
  page.move(40, 40);
  form.show();
  page.show();

  if (screenshot >= 0) {
    QApplication::processEvents();
    const QString file = args.at(screenshot + 1);
    if (!SideBySide(page, form).save(file, "PNG")) {
      std::fprintf(stderr, "fitmorph-page: cannot write %s\n", qPrintable(file));
      return 1;
    }
    return 0;
  }
  QObject::connect(&page, &QDialog::finished, &app, &QApplication::quit);
  return QApplication::exec();
}
