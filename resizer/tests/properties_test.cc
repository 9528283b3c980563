// Properties of pelResizer: defaults, the setters' rules, the property bag and Restore.
#include <gtest/gtest.h>
#include <QApplication>
#include <QLabel>
#include <cmath>
#include <limits>

#include "fitmorph/host.h"
#include "test_form.h"

namespace fitmorph::testing {
namespace {

TEST(pelResizerProperties, NewInstanceHasTheDefaults) {
  TestForm form;
  const pelResizer& resizer = form.resizer();
  EXPECT_TRUE(resizer.ResizeFonts());
  EXPECT_FALSE(resizer.MoveOnly());
  EXPECT_EQ(resizer.MaxFontSize(), 70);
  EXPECT_EQ(resizer.FormWidth(), 3000);
  EXPECT_EQ(resizer.FormHeight(), 3000);
  EXPECT_FALSE(resizer.MDIChildForm());
  EXPECT_EQ(resizer.FRatio(), 1);
  EXPECT_EQ(resizer.HRatio(), 1);
  EXPECT_EQ(resizer.VRatio(), 1);
}

TEST(pelResizerProperties, FormWidthAndFormHeightRecordTheFormsSize) {
  TestForm form(640, 480);
  pelResizer& resizer = form.resizer();
  std::vector<QString> changed;
  QObject::connect(&resizer, &pelResizer::PropertyChanged,
                   [&](const QString& name) { changed.push_back(name); });
  resizer.SetFormWidth(1234);
  resizer.SetFormHeight(-1);
  EXPECT_EQ(resizer.FormWidth(), 640 * kTwipsPerPixel);
  EXPECT_EQ(resizer.FormHeight(), 480 * kTwipsPerPixel);
  EXPECT_EQ(changed, (std::vector<QString>{"FormWidth", "FormHeight"}));

  // A form wider than 32767 twips is recorded whole.
  form.form().resize(2500, 2300);
  resizer.SetFormWidth(0);
  resizer.SetFormHeight(0);
  EXPECT_EQ(resizer.FormWidth(), 37500);
  EXPECT_EQ(resizer.FormHeight(), 34500);
}

TEST(pelResizerProperties, MaxFontSizeMustBePositive) {
  const struct {
    float value;
    float stored;
    bool message;
  } cases[] = {
      {12, 12, false},
      {0.5f, 0.5f, false},
      {0, 70, true},
      {-5, 70, true},
      {std::numeric_limits<float>::quiet_NaN(), 70, true},
  };
  for (const auto& c : cases) {
    TestForm form;
    pelResizer& resizer = form.resizer();
    resizer.SetMaxFontSize(33);
    MessageRecorder recorder;
    resizer.SetMaxFontSize(c.value);
    EXPECT_EQ(resizer.MaxFontSize(), c.stored) << "set to " << c.value;
    ASSERT_EQ(recorder.messages.size(), c.message ? 1u : 0u) << "set to " << c.value;
    if (c.message) {
      EXPECT_EQ(recorder.messages[0].text, "Please enter a positive numerical value");
      EXPECT_EQ(recorder.messages[0].style, kMessageCritical);
      EXPECT_EQ(recorder.messages[0].title, "Resizer");
    }
  }
}

TEST(pelResizerProperties, SurviveAPropertyBagRoundTrip) {
  TestForm form(800, 600);
  pelResizer& saved = form.resizer();
  saved.SetResizeFonts(false);
  saved.SetMoveOnly(true);
  saved.SetMaxFontSize(36.5f);
  saved.SetFormWidth(0);
  saved.SetFormHeight(0);
  saved.SetMDIChildForm(true);
  saved.SetFRatio(1.25f);
  saved.SetHRatio(0.1f);
  saved.SetVRatio(3);
  host::PropertyMap bag;
  ASSERT_TRUE(saved.WriteProperties(bag.Bag()));
  const std::map<std::string, std::string> expected = {
      {"ResizeFonts", "False"}, {"MoveOnly", "True"},   {"MaxFontSize", "36.5"},
      {"FormWidth", "12000"},   {"FormHeight", "9000"}, {"MDIChildForm", "True"},
      {"FRatio", "1.25"},       {"HRatio", "0.1"},      {"VRatio", "3"},
  };
  EXPECT_EQ(bag.values(), expected);

  TestForm other(100, 100);
  pelResizer& loaded = other.resizer();
  ASSERT_TRUE(loaded.ReadProperties(bag.Bag()));
  EXPECT_FALSE(loaded.ResizeFonts());
  EXPECT_TRUE(loaded.MoveOnly());
  EXPECT_EQ(loaded.MaxFontSize(), 36.5f);
  EXPECT_EQ(loaded.FormWidth(), 12000) << "loaded as stored, not from the form";
  EXPECT_EQ(loaded.FormHeight(), 9000);
  EXPECT_TRUE(loaded.MDIChildForm());
  EXPECT_EQ(loaded.FRatio(), 1.25f);
  EXPECT_EQ(loaded.HRatio(), 0.1f);
  EXPECT_EQ(loaded.VRatio(), 3);
}

TEST(pelResizerProperties, AbsentOrUnreadableValuesTakeTheirDefaults) {
  TestForm form;
  pelResizer& resizer = form.resizer();
  resizer.SetMoveOnly(true);
  resizer.SetMaxFontSize(20);

  host::PropertyMap empty;
  EXPECT_TRUE(resizer.ReadProperties(empty.Bag()));
  EXPECT_FALSE(resizer.MoveOnly());
  EXPECT_EQ(resizer.MaxFontSize(), 70);
  EXPECT_EQ(resizer.FormWidth(), 3000);

  const struct {
    const char* name;
    const char* text;
  } unreadable[] = {{"MoveOnly", "maybe"}, {"MaxFontSize", "big"}, {"MaxFontSize", "0"},
                    {"FormWidth", "1e12"}, {"FRatio", ""},         {"ResizeFonts", "2x"}};
  for (const auto& u : unreadable) {
    host::PropertyMap bag;
    bag.values() = {{"MDIChildForm", "True"}, {"FormHeight", "4500"}, {u.name, u.text}};
    MessageRecorder recorder;
    EXPECT_FALSE(resizer.ReadProperties(bag.Bag())) << u.name << " = " << u.text;
    EXPECT_EQ(resizer.Properties().move_only, false) << u.name << " = " << u.text;
    EXPECT_EQ(resizer.MaxFontSize(), 70) << u.name << " = " << u.text;
    EXPECT_EQ(resizer.FormWidth(), 3000) << u.name << " = " << u.text;
    EXPECT_EQ(resizer.FRatio(), 1) << u.name << " = " << u.text;
    EXPECT_TRUE(resizer.ResizeFonts()) << u.name << " = " << u.text;
    EXPECT_TRUE(resizer.MDIChildForm()) << "the readable values are loaded";
    EXPECT_EQ(resizer.FormHeight(), 4500) << "the readable values are loaded";
    EXPECT_TRUE(recorder.messages.empty()) << "loading shows no message";
  }
}

TEST(pelResizerRestore, SetsTheFormBackToItsDesignSize) {
  TestForm form(800, 600);
  ResizerProperties props;
  props.form_width = 400 * kTwipsPerPixel;
  props.form_height = 300 * kTwipsPerPixel;
  form.resizer().LoadProperties(props);
  MessageRecorder recorder;
  form.resizer().Restore();
  EXPECT_EQ(form.form().size(), QSize(400, 300));
  EXPECT_TRUE(recorder.messages.empty());
}

TEST(pelResizerRestore, RefusesAMaximisedFormWithAMessage) {
  TestForm form(400, 300);
  auto* label = form.Add<QLabel>("lblName", {40, 30, 100, 20});
  form.resizer().InitResizeControl();
  form.form().showMaximized();
  QApplication::processEvents();
  ASSERT_TRUE(form.form().isMaximized());
  const QSize maximised = form.form().size();
  ASSERT_NE(maximised, QSize(200, 200));
  form.resizer().ResizeControls();
  const QRect laid_out = label->geometry();

  MessageRecorder recorder;
  form.resizer().Restore();  // FormWidth x FormHeight are 3000 x 3000 twips
  QApplication::processEvents();
  ASSERT_EQ(recorder.messages.size(), 1u);
  EXPECT_EQ(recorder.messages[0].text, "Form cannot be restored to original size when maximized.");
  EXPECT_EQ(form.form().size(), maximised);
  EXPECT_TRUE(form.form().isMaximized());
  EXPECT_EQ(label->geometry(), laid_out);
  form.form().hide();
}

}  // namespace
}  // namespace fitmorph::testing
