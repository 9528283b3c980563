// The sample form before and after its window was resized, as pictures. With the environment
// variable FITMORPH_SCREENSHOT_DIR set, the pictures are written there as PNG files
// (fitmorph-sample-before.png, fitmorph-sample-after.png) for a person to look at.
#include <gtest/gtest.h>
#include <QApplication>
#include <QDir>
#include <QImage>
#include <QLabel>

#include "sample_form.h"

namespace fitmorph::testing {
namespace {

QImage Screenshot(QWidget& form, const char* file) {
  QApplication::processEvents();
  const QImage image = form.grab().toImage();
  const QString folder = qEnvironmentVariable("FITMORPH_SCREENSHOT_DIR");
  if (!folder.isEmpty()) {
    const QString path = QDir(folder).filePath(QString::fromLatin1(file));
    EXPECT_TRUE(image.save(path, "PNG")) << path.toStdString();
  }
  return image;
}

TEST(SampleForm, FollowsItsWindowOnScreen) {
  using sample::SampleForm;
  SampleForm form(pelResizer::Mode::kRunTime);
  form.show();
  const QImage before = Screenshot(form, "fitmorph-sample-before.png");
  form.resize(2 * SampleForm::kWidth, 3 * SampleForm::kHeight / 2);  // the host lays out
  const QImage after = Screenshot(form, "fitmorph-sample-after.png");
  form.hide();

  ASSERT_EQ(after.size(), QSize(960, 540));
  // The picture fills its place scaled by 2 and 1.5: 32,84 192x108. This point of it lies
  // outside the picture's place before the resize.
  const QPoint inside_only_after(200, 100);
  ASSERT_FALSE(SampleForm::kPictureRect.contains(inside_only_after));
  EXPECT_NE(before.pixel(inside_only_after), SampleForm::kPictureColor);
  EXPECT_EQ(after.pixel(inside_only_after), SampleForm::kPictureColor);
  EXPECT_EQ(after.pixel(QPoint(30, 100)), before.pixel(QPoint(2, 2))) << "form background";

  auto* parked = form.findChild<QLabel*>(QStringLiteral("lblParked"));
  ASSERT_NE(parked, nullptr);
  EXPECT_LT(parked->geometry().right(), 0) << "still on its hidden page";
  auto* note = form.findChild<QLabel*>(QStringLiteral("lblNote"));
  ASSERT_NE(note, nullptr);
  EXPECT_EQ(note->size(), QSize(160, 40)) << "tagged NR";
  EXPECT_EQ(note->pos(), QPoint(608, 132));
}

}  // namespace
}  // namespace fitmorph::testing
