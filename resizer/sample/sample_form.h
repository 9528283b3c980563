// A sample host form for pelResizer: one control of each kind the resizer treats in its own
// way (a picture, a line, a tree view with a column header, a control tagged "NR", one parked
// off-screen by a tab container, a timer, a menu action) and the resizer itself. The form
// captures its layout when built and lays itself out again on every resize, as a host does.
// Used by the fitmorph-page program and by tests.
#ifndef FITMORPH_SAMPLE_SAMPLE_FORM_H_
#define FITMORPH_SAMPLE_SAMPLE_FORM_H_

#include <QWidget>

#include "fitmorph/pel_resizer.h"

namespace fitmorph::sample {

class SampleForm : public QWidget {
 public:
  // The design size of the form, in pixels.
  static constexpr int kWidth = 480;
  static constexpr int kHeight = 360;
  // The picture's colour and place at the design size (tests look for it in a screenshot).
  static constexpr QRgb kPictureColor = 0xff1a3c6e;
  static constexpr QRect kPictureRect{16, 56, 96, 72};

  explicit SampleForm(pelResizer::Mode mode, QWidget* parent = nullptr);

  pelResizer* resizer() const { return resizer_; }

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  pelResizer* resizer_ = nullptr;
};

}  // namespace fitmorph::sample

#endif  // FITMORPH_SAMPLE_SAMPLE_FORM_H_
