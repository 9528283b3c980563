#include "sample_form.h"

#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QTreeWidget>

#include "fitmorph/line_control.h"

namespace fitmorph::sample {
namespace {

template <typename Control, typename... Args>
Control* Place(QWidget* container, const char* name, QRect geometry, Args&&... args) {
  auto* control = new Control(std::forward<Args>(args)..., container);
  control->setObjectName(QString::fromLatin1(name));
  control->setGeometry(geometry);
  return control;
}

QPixmap SunrisePicture() {
  QPixmap picture(SampleForm::kPictureRect.size());
  picture.fill(QColor::fromRgb(SampleForm::kPictureColor));
  QPainter painter(&picture);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(0xf2, 0xb1, 0x34));
  painter.drawEllipse(QPoint(48, 60), 22, 22);
  painter.setBrush(QColor(0x2e, 0x7d, 0x32));
  painter.drawRect(0, 56, 96, 16);
  return picture;
}

}  // namespace

SampleForm::SampleForm(pelResizer::Mode mode, QWidget* parent) : QWidget(parent) {
  setWindowTitle(QStringLiteral("Sample form"));
  resize(kWidth, kHeight);

  auto* title =
      Place<QLabel>(this, "lblTitle", {16, 12, 448, 32}, QStringLiteral("Turn Back Time"));
  QFont title_font = title->font();
  title_font.setPointSize(16);
  title_font.setBold(true);
  title->setFont(title_font);

  auto* picture = Place<QLabel>(this, "imgSunrise", kPictureRect);
  picture->setPixmap(SunrisePicture());
  picture->setScaledContents(true);

  auto* options =
      Place<QGroupBox>(this, "fraOptions", {128, 56, 160, 72}, QStringLiteral("Options"));
  Place<QRadioButton>(options, "optDaily", {8, 20, 140, 20}, QStringLiteral("Daily"))
      ->setChecked(true);
  Place<QRadioButton>(options, "optNever", {8, 44, 140, 20}, QStringLiteral("Never"));

  Place<QLineEdit>(this, "txtName", {304, 56, 160, 24}, QStringLiteral("Before the update"));
  auto* note = Place<QLabel>(this, "lblNote", {304, 88, 160, 40},
                             QStringLiteral("Tagged NR: moves,\nkeeps size and font"));
  note->setProperty("Tag", QStringLiteral("NR"));

  auto* snapshots = Place<QTreeWidget>(this, "lvwSnapshots", {16, 144, 448, 128});
  snapshots->setHeaderLabels(
      {QStringLiteral("Snapshot"), QStringLiteral("Date"), QStringLiteral("Description")});
  snapshots->setRootIsDecorated(false);
  for (const auto& [name, date, text] :
       {std::tuple{"20240301.S00", "03/01/2024", "Scheduled"},
        std::tuple{"20240302.S01", "03/02/2024", "Before the update"}}) {
    new QTreeWidgetItem(snapshots, {QString::fromLatin1(name), QString::fromLatin1(date),
                                    QString::fromLatin1(text)});
  }

  auto* separator = new LineControl(this);
  separator->setObjectName(QStringLiteral("linSeparator"));
  separator->SetEndPoints({16, 288}, {464, 288});
  separator->SetColor(QColor(0x80, 0x80, 0x80));

  // A control on a hidden page of a tab container, parked 75000 twips (5000 pixels at 96 dpi)
  // to the left of its place.
  Place<QLabel>(this, "lblParked", {-5000 + 16, 300, 120, 24}, QStringLiteral("Hidden page"));

  Place<QPushButton>(this, "cmdNext", {384, 312, 80, 32}, QStringLiteral("Next >"));

  auto* heartbeat = new QTimer(this);
  heartbeat->setObjectName(QStringLiteral("timHeartbeat"));
  auto* file_menu = new QAction(QStringLiteral("&File"), this);
  file_menu->setObjectName(QStringLiteral("mnuFile"));

  resizer_ = new pelResizer(this, mode);
  resizer_->setObjectName(QStringLiteral("pelResizer1"));
  resizer_->move(16, 312);
  resizer_->InitResizeControl();
}

void SampleForm::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (resizer_ != nullptr && !isMinimized()) resizer_->ResizeControls();
}

}  // namespace fitmorph::sample
