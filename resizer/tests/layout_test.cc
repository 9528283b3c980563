// Capture and layout of pelResizer on real widgets: proportions, fonts, tag rules, parked
// controls, controls that are not widgets, lines, pictures and the layout flags.
#include <gtest/gtest.h>
#include <QAction>
#include <QApplication>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <cmath>

#include "fitmorph/line_control.h"
#include "test_form.h"

namespace fitmorph::testing {
namespace {

double Points(const QWidget* widget) {
  return widget->font().pointSizeF();
}

QRect Scaled(QRect rect, double h, double v) {
  return QRect(static_cast<int>(std::lround(rect.x() * h)),
               static_cast<int>(std::lround(rect.y() * v)),
               static_cast<int>(std::lround(rect.width() * h)),
               static_cast<int>(std::lround(rect.height() * v)));
}

std::string Text(QRect rect) {
  return std::to_string(rect.x()) + "," + std::to_string(rect.y()) + " " +
         std::to_string(rect.width()) + "x" + std::to_string(rect.height());
}

TEST(ResizeControls, KeepsEveryControlInProportionWithTheForm) {
  const struct {
    int width;
    int height;
  } sizes[] = {{800, 600}, {200, 150}, {600, 300}, {401, 299}, {400, 300}, {1234, 567}};
  const QRect label_at{40, 30, 100, 20};
  const QRect button_at{333, 177, 57, 23};
  const QRect frame_at{16, 200, 200, 90};
  const QRect inner_at{10, 20, 60, 24};  // inside the frame, in its coordinates

  for (const auto& size : sizes) {
    TestForm form;
    auto* label = form.Add<QLabel>("lblName", label_at, nullptr, 10);
    auto* button = form.Add<QPushButton>("cmdNext", button_at, nullptr, 10);
    auto* frame = form.Add<QGroupBox>("fraOptions", frame_at, nullptr, 10);
    auto* inner = form.Add<QLineEdit>("txtInner", inner_at, nullptr, 10, frame);
    form.resizer().InitResizeControl();
    form.ResizeTo(size.width, size.height);

    const double h = size.width / 400.0;
    const double v = size.height / 300.0;
    const std::string at = std::to_string(size.width) + "x" + std::to_string(size.height);
    for (const auto& [widget, placed] : {std::pair<QWidget*, QRect>{label, label_at},
                                         {button, button_at},
                                         {frame, frame_at},
                                         {inner, inner_at}}) {
      EXPECT_EQ(Text(widget->geometry()), Text(Scaled(placed, h, v)))
          << widget->objectName().toStdString() << " on a form of " << at;
      EXPECT_DOUBLE_EQ(Points(widget), 10 * (h + v) / 2)
          << widget->objectName().toStdString() << " on a form of " << at;
    }

    // Every layout starts from the captured geometry, so going back restores it exactly.
    form.ResizeTo(400, 300);
    EXPECT_EQ(Text(button->geometry()), Text(button_at)) << "back from " << at;
    EXPECT_DOUBLE_EQ(Points(inner), 10) << "back from " << at;
  }
}

TEST(ResizeControls, ScalesFontsByTheMeanRatioUpToMaxFontSize) {
  const struct {
    double points;
    int width;
    int height;
    float max_font_size;
    double expected;
  } cases[] = {
      {12, 3200, 2400, 70, 70},                          // 12 x 8 = 96, held to 70
      {12, 800, 600, 70, 24},   {12, 800, 300, 70, 18},  // mean of 2 and 1
      {12, 3200, 2400, 50, 50}, {8, 200, 150, 70, 4},   {40, 800, 600, 70, 70},
  };
  for (const auto& c : cases) {
    TestForm form;
    auto* label = form.Add<QLabel>("lblTitle", {10, 10, 100, 20}, nullptr, c.points);
    auto* list = form.Add<QTreeWidget>("lvwItems", {10, 40, 300, 200}, nullptr, c.points);
    QFont head_font = list->header()->font();
    head_font.setPointSizeF(c.points);
    list->header()->setFont(head_font);
    ResizerProperties props;
    props.max_font_size = c.max_font_size;
    form.resizer().LoadProperties(props);
    form.resizer().InitResizeControl();
    ASSERT_EQ(form.resizer().CapturedGeometry()[1].head_font_size, c.points);
    form.ResizeTo(c.width, c.height);

    const std::string what = std::to_string(c.points) + " pt on " + std::to_string(c.width) + "x" +
                             std::to_string(c.height) + ", max " + std::to_string(c.max_font_size);
    EXPECT_DOUBLE_EQ(Points(label), c.expected) << what;
    EXPECT_DOUBLE_EQ(Points(list), c.expected) << what;
    EXPECT_DOUBLE_EQ(list->header()->font().pointSizeF(), c.expected) << "head font, " << what;
  }
}

TEST(ResizeControls, FollowsTheTagRules) {
  const struct {
    const char* tag;
    bool moved;
    bool resized;  // size and font
  } cases[] = {
      {"X", false, false}, {"x", false, false}, {"Xtra", true, true},     {"x1", true, true},
      {"NR", true, false}, {"nr", true, false}, {"Nr note", true, false}, {"N", true, true},
      {"NM", true, true},  {"", true, true},
  };
  const QRect placed{40, 30, 100, 20};
  for (const auto& c : cases) {
    TestForm form;
    auto* label = form.Add<QLabel>("lblTagged", placed, c.tag, 10);
    form.resizer().InitResizeControl();
    form.ResizeTo(800, 600);

    EXPECT_EQ(label->pos(), c.moved ? QPoint(80, 60) : placed.topLeft()) << "tag " << c.tag;
    EXPECT_EQ(label->size(), c.resized ? QSize(200, 40) : placed.size()) << "tag " << c.tag;
    EXPECT_DOUBLE_EQ(Points(label), c.resized ? 20 : 10) << "tag " << c.tag;
  }
}

TEST(ResizeControls, KeepsAParkedControlOffScreen) {
  TestForm form;
  // 5000 pixels are the 75000 twips a tab container parks a control by: left -74760 twips.
  auto* parked = form.Add<QLabel>("lblParked", {-5000 + 16, 40, 100, 20});
  // -30000 twips is far left, but above the parking limit: an ordinary control.
  auto* far_left = form.Add<QLabel>("lblFarLeft", {-2000, 40, 100, 20});
  form.resizer().InitResizeControl();
  const GeometryTable& rows = form.resizer().CapturedGeometry();
  EXPECT_TRUE(rows[0].parked);
  EXPECT_FLOAT_EQ(rows[0].left, -74760);
  EXPECT_FALSE(rows[1].parked);

  form.ResizeTo(800, 300);
  EXPECT_EQ(parked->x(), ((-74760 + 75000) * 2 - 75000) / kTwipsPerPixel);  // -4968
  EXPECT_EQ(parked->width(), 200);
  EXPECT_EQ(far_left->x(), -4000);

  form.ResizeTo(200, 300);
  EXPECT_EQ(parked->x(), ((-74760 + 75000) / 2 - 75000) / kTwipsPerPixel);  // -4992
  EXPECT_EQ(far_left->x(), -1000);
}

TEST(InitResizeControl, ExcludesTimersAndMenusByTheirFailedReadsAndLaysOutTheRest) {
  TestForm form;
  auto* timer = new QTimer(&form.form());
  timer->setObjectName(QStringLiteral("timHeartbeat"));
  auto* action = new QAction(QStringLiteral("&File"), &form.form());
  action->setObjectName(QStringLiteral("mnuFile"));
  auto* menu = new QMenu(&form.form());
  menu->setObjectName(QStringLiteral("mnuPopup"));
  auto* label = form.Add<QLabel>("lblAfter", {40, 30, 100, 20}, nullptr, 10);
  auto* line = new LineControl(&form.form());  // fails five reads too, but is kept
  line->setObjectName(QStringLiteral("linRule"));
  line->SetEndPoints({10, 290}, {390, 290});
  form.resizer().InitResizeControl();

  const GeometryTable& rows = form.resizer().CapturedGeometry();
  ASSERT_EQ(rows.size(), 6u) << "five controls and the form";
  const char* names[] = {"timHeartbeat", "mnuFile", "mnuPopup", "lblAfter", "linRule"};
  const bool included[] = {false, false, false, true, true};
  for (size_t i = 0; i < 5; ++i) EXPECT_EQ(rows[i].included, included[i]) << names[i];
  EXPECT_EQ(rows[4].font_size, 0);

  form.ResizeTo(800, 600);
  EXPECT_EQ(label->geometry(), QRect(80, 60, 200, 40));
  EXPECT_DOUBLE_EQ(Points(label), 20);
  EXPECT_EQ(QPoint(line->X2(), line->Y2()), QPoint(780, 580));
}

TEST(ResizeControls, PlacesLinesByTheirEndPoints) {
  TestForm form;
  auto* rule = new LineControl(&form.form());
  rule->setObjectName(QStringLiteral("linRule"));
  rule->SetEndPoints({40, 100}, {360, 100});
  auto* diagonal = new LineControl(&form.form());
  diagonal->setObjectName(QStringLiteral("linDiagonal"));
  diagonal->SetEndPoints({360, 20}, {40, 280});
  form.resizer().InitResizeControl();

  const GeometryRow& row = form.resizer().CapturedGeometry()[0];
  EXPECT_EQ(row.x1, 600);
  EXPECT_EQ(row.y1, 1500);
  EXPECT_EQ(row.x2, 5400);
  EXPECT_EQ(row.y2, 1500);

  form.ResizeTo(800, 450);
  EXPECT_EQ(QPoint(rule->X1(), rule->Y1()), QPoint(80, 150));
  EXPECT_EQ(QPoint(rule->X2(), rule->Y2()), QPoint(720, 150));
  EXPECT_EQ(QPoint(diagonal->X1(), diagonal->Y1()), QPoint(720, 30));
  EXPECT_EQ(QPoint(diagonal->X2(), diagonal->Y2()), QPoint(80, 420));
  EXPECT_TRUE(diagonal->geometry().contains(QPoint(720, 30)));
  EXPECT_TRUE(diagonal->geometry().contains(QPoint(80, 420)));
}

TEST(ResizeControls, AppliesResizeFontsAndMoveOnly) {
  const struct {
    bool resize_fonts;
    bool move_only;
    QSize size;
    double points;
  } cases[] = {
      {true, false, {200, 40}, 20},  // scaled, fonts too
      {false, false, {200, 40}, 9},  // scaled, fonts untouched
      {true, true, {100, 20}, 20},   // fonts scaled, size back to the captured one
      {false, true, {50, 10}, 9},    // position only
  };
  for (const auto& c : cases) {
    TestForm form;
    auto* label = form.Add<QLabel>("lblName", {40, 30, 100, 20}, nullptr, 10);
    ResizerProperties props;
    props.resize_fonts = c.resize_fonts;
    props.move_only = c.move_only;
    form.resizer().LoadProperties(props);
    form.resizer().InitResizeControl();
    // Changed after the capture, so that "untouched" shows.
    label->resize(50, 10);
    label->setFont(QFont(label->font().family(), 9));
    form.ResizeTo(800, 600);

    const std::string flags = std::string("ResizeFonts ") + (c.resize_fonts ? "on" : "off") +
                              ", MoveOnly " + (c.move_only ? "on" : "off");
    EXPECT_EQ(label->pos(), QPoint(80, 60)) << flags;
    EXPECT_EQ(label->size(), c.size) << flags;
    EXPECT_DOUBLE_EQ(Points(label), c.points) << flags;
  }
}

TEST(QuickResizeControls, ScalesSizesButNeverFonts) {
  TestForm form;
  auto* label = form.Add<QLabel>("lblName", {40, 30, 100, 20}, nullptr, 10);
  auto* kept = form.Add<QLabel>("lblKept", {40, 60, 100, 20}, "NR", 10);
  auto* list = form.Add<QTreeWidget>("lvwItems", {40, 100, 200, 100}, nullptr, 10);
  ResizerProperties props;
  props.move_only = true;  // not consulted
  form.resizer().LoadProperties(props);
  form.resizer().InitResizeControl();
  form.form().resize(800, 600);
  form.resizer().QuickResizeControls();

  EXPECT_EQ(label->geometry(), QRect(80, 60, 200, 40));
  EXPECT_EQ(kept->geometry(), QRect(80, 120, 100, 20));
  EXPECT_EQ(list->geometry(), QRect(80, 200, 400, 200));
  for (const QWidget* widget :
       {static_cast<QWidget*>(label), static_cast<QWidget*>(kept), static_cast<QWidget*>(list)}) {
    EXPECT_DOUBLE_EQ(Points(widget), 10) << widget->objectName().toStdString();
  }
  EXPECT_DOUBLE_EQ(list->header()->font().pointSizeF(), 10);
}

TEST(UpdateControls, MakesTheCurrentLayoutTheBase) {
  TestForm form;
  auto* label = form.Add<QLabel>("lblName", {40, 30, 100, 20});
  ResizerProperties props;
  props.mdi_child_form = true;  // only the first capture takes the form size from FormWidth
  props.form_width = 6000;
  props.form_height = 4500;
  form.resizer().LoadProperties(props);
  form.resizer().InitResizeControl();
  form.ResizeTo(800, 600);
  ASSERT_EQ(label->geometry(), QRect(80, 60, 200, 40));

  label->setGeometry(100, 100, 50, 50);  // moved by hand
  form.resizer().UpdateControls();
  EXPECT_EQ(form.resizer().CapturedGeometry().back().width, 800 * kTwipsPerPixel);
  EXPECT_EQ(form.resizer().CapturedGeometry().back().height, 600 * kTwipsPerPixel);
  form.ResizeTo(400, 300);
  EXPECT_EQ(label->geometry(), QRect(50, 50, 25, 25));
}

TEST(UpdateControls, ExcludesAControlTaggedNMWhenOneOfItsReadsFails) {
  TestForm form;
  form.Add<QLabel>("lblNoHeader", {40, 30, 100, 20}, "nm");   // has no head font to read
  form.Add<QTreeWidget>("lvwAll", {40, 60, 200, 100}, "NM");  // every read succeeds
  form.Add<QLabel>("lblLonger", {40, 200, 100, 20}, "NMX");
  form.resizer().InitResizeControl();
  for (const GeometryRow& row : form.resizer().CapturedGeometry()) EXPECT_TRUE(row.included);

  form.resizer().UpdateControls();
  const GeometryTable& rows = form.resizer().CapturedGeometry();
  EXPECT_FALSE(rows[0].included);
  EXPECT_TRUE(rows[1].included);
  EXPECT_TRUE(rows[2].included);
}

TEST(InitResizeControl, TakesTheBaseSizeOfAnMDIChildFormFromFormWidthAndFormHeight) {
  TestForm form(200, 150);
  auto* label = form.Add<QLabel>("lblName", {20, 16, 50, 10});
  ResizerProperties props;
  props.mdi_child_form = true;
  props.form_width = 400 * kTwipsPerPixel;
  props.form_height = 300 * kTwipsPerPixel;
  form.resizer().LoadProperties(props);
  form.resizer().InitResizeControl();
  EXPECT_EQ(form.resizer().CapturedGeometry().back().width, 6000);
  EXPECT_EQ(form.resizer().CapturedGeometry().back().height, 4500);

  form.resizer().ResizeControls();
  EXPECT_EQ(label->geometry(), QRect(10, 8, 25, 5));
}

TEST(ResizeControls, LeavesTheLayoutAloneWithoutABaseSize) {
  TestForm form;
  auto* label = form.Add<QLabel>("lblName", {40, 30, 100, 20}, nullptr, 10);
  form.resizer().ResizeControls();  // nothing captured yet
  form.resizer().QuickResizeControls();
  EXPECT_EQ(label->geometry(), QRect(40, 30, 100, 20));

  // A captured form size of 0 gives no proportion: nothing is divided by it.
  ResizerProperties props;
  props.mdi_child_form = true;
  props.form_width = 0;
  form.resizer().LoadProperties(props);
  form.resizer().InitResizeControl();
  form.ResizeTo(800, 600);
  form.resizer().QuickResizeControls();
  EXPECT_EQ(label->geometry(), QRect(40, 30, 100, 20));
  EXPECT_DOUBLE_EQ(Points(label), 10);
}

TEST(ResizeControls, HandlesFormsBeyondSixteenBitTwips) {
  // 3000 x 2400 pixels are 45000 x 36000 twips, more than a 16-bit field holds.
  TestForm form(3000, 2400);
  auto* label = form.Add<QLabel>("lblCorner", {2800, 2300, 150, 60});
  form.resizer().InitResizeControl();
  const GeometryTable& rows = form.resizer().CapturedGeometry();
  EXPECT_EQ(rows[0].top, 34500);
  EXPECT_EQ(rows.back().width, 45000);
  EXPECT_EQ(rows.back().height, 36000);

  form.ResizeTo(1500, 1200);
  EXPECT_EQ(label->geometry(), QRect(1400, 1150, 75, 30));
}

TEST(ResizeControls, LeavesControlsCreatedAfterTheCaptureAlone) {
  TestForm form;
  auto* label = form.Add<QLabel>("lblName", {40, 30, 100, 20});
  form.resizer().InitResizeControl();
  auto* late = form.Add<QLabel>("lblLate", {10, 10, 30, 30});
  form.ResizeTo(800, 600);
  EXPECT_EQ(label->geometry(), QRect(80, 60, 200, 40));
  EXPECT_EQ(late->geometry(), QRect(10, 10, 30, 30));
}

class PaintCountingLabel : public QLabel {
 public:
  using QLabel::QLabel;
  int paints = 0;

 protected:
  void paintEvent(QPaintEvent* event) override {
    ++paints;
    QLabel::paintEvent(event);
  }
};

// Paints that happen during the layout itself, before any event is processed: a repaint.
int PaintsDuringLayout(bool with_picture) {
  TestForm form;
  auto* label = form.Add<PaintCountingLabel>("imgOrLabel", {40, 30, 64, 64});
  if (with_picture) {
    QPixmap pixmap(64, 64);
    pixmap.fill(Qt::darkBlue);
    label->setPixmap(pixmap);
  } else {
    label->setText(QStringLiteral("text"));
  }
  form.form().show();
  form.resizer().InitResizeControl();
  form.form().resize(800, 600);
  QApplication::processEvents();
  label->paints = 0;
  form.resizer().ResizeControls();
  const int paints = label->paints;
  form.form().hide();
  return paints;
}

TEST(ResizeControls, RepaintsPicturesAtOnce) {
  EXPECT_GT(PaintsDuringLayout(true), 0) << "a picture is repainted when it has been laid out";
  EXPECT_EQ(PaintsDuringLayout(false), 0) << "other controls are repainted later, by events";
}

TEST(pelResizer, StaysTheSizeOfItsPicture) {
  TestForm form;
  form.Add<QLabel>("lblName", {40, 30, 100, 20});
  pelResizer& resizer = form.resizer();
  resizer.setObjectName(QStringLiteral("pelResizer1"));  // a control of the form like any other
  const QSize own = resizer.size();
  EXPECT_FALSE(own.isEmpty());
  resizer.InitResizeControl();
  EXPECT_EQ(resizer.CapturedGeometry().size(), 3u);
  form.ResizeTo(800, 600);
  EXPECT_EQ(resizer.size(), own);
  resizer.resize(own * 3);
  EXPECT_EQ(resizer.size(), own);
  EXPECT_TRUE(resizer.isHidden()) << "invisible at run time";
}

}  // namespace
}  // namespace fitmorph::testing
