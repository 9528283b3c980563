// The design-time property page "Fitmorph".
#include <gtest/gtest.h>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>

#include "fitmorph/property_page.h"
#include "test_form.h"

namespace fitmorph::testing {
namespace {

class PropertyPageTest : public ::testing::Test {
 protected:
  template <typename Widget>
  Widget* Find(const char* name) {
    auto* widget = page.findChild<Widget*>(QString::fromLatin1(name));
    EXPECT_NE(widget, nullptr) << name;
    return widget;
  }
  QPushButton* Button(QDialogButtonBox::StandardButton which) {
    return page.findChild<QDialogButtonBox*>()->button(which);
  }

  PropertyPage page;
};

TEST_F(PropertyPageTest, ShowsItsFieldsWithTheirTexts) {
  EXPECT_EQ(page.windowTitle(), "Fitmorph");
  EXPECT_EQ(Find<QCheckBox>("chkMDIChildForm")->text(), "MDIChildForm");
  EXPECT_EQ(Find<QCheckBox>("chkMoveOnly")->text(), "MoveOnly");
  EXPECT_EQ(Find<QCheckBox>("chkMoveOnly")->toolTip(),
            "If checked, controls will be moved proportionatly but not resized.");
  EXPECT_EQ(Find<QCheckBox>("chkResizeFonts")->text(), "ResizeFonts");
  EXPECT_EQ(Find<QCheckBox>("chkResizeFonts")->toolTip(),
            "If checked, fonts are resized when controls are resized.");
  QStringList choices;
  auto* resolution = Find<QComboBox>("cboResolution");
  for (int i = 0; i < resolution->count(); ++i) choices << resolution->itemText(i);
  EXPECT_EQ(choices,
            (QStringList{"640 X 480", "800 X 600", "1024 X 768", "1280 X 1024", "1600 X 1200"}));
  // Nothing selected: nothing to edit or apply.
  EXPECT_FALSE(Find<QLineEdit>("txtMaxFontSize")->isEnabled());
  EXPECT_FALSE(Button(QDialogButtonBox::Apply)->isEnabled());
}

TEST_F(PropertyPageTest, SelectingAControlLoadsItsValues) {
  TestForm form;
  ResizerProperties props;
  props.mdi_child_form = true;
  props.move_only = true;
  props.resize_fonts = false;
  props.form_width = 7200;
  props.form_height = 5400;
  props.max_font_size = 24.5f;
  form.resizer().LoadProperties(props);
  page.SelectControl(&form.resizer());

  EXPECT_TRUE(Find<QCheckBox>("chkMDIChildForm")->isChecked());
  EXPECT_TRUE(Find<QCheckBox>("chkMoveOnly")->isChecked());
  EXPECT_FALSE(Find<QCheckBox>("chkResizeFonts")->isChecked());
  EXPECT_EQ(Find<QLineEdit>("txtFormWidth")->text(), "7200");
  EXPECT_EQ(Find<QLineEdit>("txtFormHeight")->text(), "5400");
  EXPECT_EQ(Find<QLineEdit>("txtMaxFontSize")->text(), "24.5");
  EXPECT_FALSE(page.Changed());
  EXPECT_FALSE(Button(QDialogButtonBox::Apply)->isEnabled());
}

TEST_F(PropertyPageTest, ApplyingWritesTheSixValues) {
  TestForm form(640, 480);
  page.SelectControl(&form.resizer());
  Find<QCheckBox>("chkMDIChildForm")->setChecked(true);
  Find<QCheckBox>("chkMoveOnly")->setChecked(true);
  Find<QCheckBox>("chkResizeFonts")->setChecked(false);
  Find<QLineEdit>("txtFormWidth")->setText("15000");
  Find<QLineEdit>("txtFormHeight")->setText("11000");
  Find<QLineEdit>("txtMaxFontSize")->setText(" 18.5 pt");
  EXPECT_TRUE(page.Changed());
  EXPECT_TRUE(Button(QDialogButtonBox::Apply)->isEnabled());
  Button(QDialogButtonBox::Apply)->click();

  const pelResizer& resizer = form.resizer();
  EXPECT_TRUE(resizer.MDIChildForm());
  EXPECT_TRUE(resizer.MoveOnly());
  EXPECT_FALSE(resizer.ResizeFonts());
  EXPECT_EQ(resizer.MaxFontSize(), 18.5f);
  // The setters record the form's own size, whatever was typed.
  EXPECT_EQ(resizer.FormWidth(), 640 * kTwipsPerPixel);
  EXPECT_EQ(resizer.FormHeight(), 480 * kTwipsPerPixel);
  EXPECT_EQ(Find<QLineEdit>("txtFormWidth")->text(), "9600") << "reloaded after applying";
  EXPECT_FALSE(page.Changed());
  EXPECT_FALSE(Button(QDialogButtonBox::Apply)->isEnabled());
}

TEST_F(PropertyPageTest, AMaxFontSizeThatIsNotAPositiveNumberBecomes70) {
  for (const char* text : {"abc", "0", "-3", ""}) {
    TestForm form;
    page.SelectControl(&form.resizer());
    Find<QLineEdit>("txtMaxFontSize")->setText(text);
    MessageRecorder recorder;
    page.ApplyChanges();
    EXPECT_EQ(form.resizer().MaxFontSize(), 70) << '"' << text << '"';
    ASSERT_EQ(recorder.messages.size(), 1u) << '"' << text << '"';
    EXPECT_EQ(recorder.messages[0].text, "Please enter a positive numerical value");
    EXPECT_EQ(recorder.messages[0].style, kMessageCritical);
    EXPECT_EQ(Find<QLineEdit>("txtMaxFontSize")->text(), "70");
  }
}

TEST_F(PropertyPageTest, AResolutionChoiceFillsInItsSize) {
  const struct {
    int index;
    const char* width;
    const char* height;
  } cases[] = {{0, "9600", "7200"},
               {1, "12000", "9000"},
               {2, "15360", "11520"},
               {3, "19200", "15360"},
               {4, "24000", "18000"}};
  TestForm form;
  page.SelectControl(&form.resizer());
  auto* resolution = Find<QComboBox>("cboResolution");
  for (const auto& c : cases) {
    resolution->setCurrentIndex(c.index);
    EXPECT_EQ(Find<QLineEdit>("txtFormWidth")->text(), c.width) << c.index;
    EXPECT_EQ(Find<QLineEdit>("txtFormHeight")->text(), c.height) << c.index;
    EXPECT_TRUE(page.Changed());
  }
}

TEST_F(PropertyPageTest, OkAppliesAndCancelDoesNot) {
  TestForm form;
  page.SelectControl(&form.resizer());
  Find<QCheckBox>("chkMoveOnly")->setChecked(true);
  Button(QDialogButtonBox::Cancel)->click();
  EXPECT_FALSE(form.resizer().MoveOnly());

  page.SelectControl(&form.resizer());
  Find<QCheckBox>("chkMoveOnly")->setChecked(true);
  Button(QDialogButtonBox::Ok)->click();
  EXPECT_TRUE(form.resizer().MoveOnly());
}

TEST_F(PropertyPageTest, ForgetsAControlDeletedWithItsForm) {
  {
    TestForm form;
    page.SelectControl(&form.resizer());
  }
  EXPECT_EQ(page.SelectedControl(), nullptr);
  Find<QLineEdit>("txtMaxFontSize")->setText("12");
  page.ApplyChanges();  // nothing to write to
}

}  // namespace
}  // namespace fitmorph::testing
