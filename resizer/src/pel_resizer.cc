#include "fitmorph/pel_resizer.h"

#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <cmath>
#include <limits>

#include "control_access.h"
#include "fitmorph/message.h"
#include "live_controls.h"

namespace fitmorph {
namespace {

// The picture the control carries: a small frame with arrows out to its corners.
QPixmap ResizerPicture() {
  QPixmap picture(28, 28);
  picture.fill(QColor(0xd4, 0xd0, 0xc8));
  QPainter painter(&picture);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(QColor(0x40, 0x40, 0x40), 1));
  painter.drawRect(0, 0, 27, 27);
  painter.setPen(QPen(QColor(0x00, 0x00, 0x80), 2));
  painter.drawRect(9, 9, 10, 10);
  painter.drawLine(QPointF(4, 4), QPointF(8, 8));
  painter.drawLine(QPointF(24, 24), QPointF(20, 20));
  painter.drawLine(QPointF(4, 4), QPointF(4, 8));
  painter.drawLine(QPointF(4, 4), QPointF(8, 4));
  painter.drawLine(QPointF(24, 24), QPointF(24, 20));
  painter.drawLine(QPointF(24, 24), QPointF(20, 24));
  return picture;
}

// The form's current size along one axis in twips, as a property stores it.
std::int32_t FormSize(QWidget* form, internal::Property axis, std::int32_t otherwise) {
  if (form == nullptr) return otherwise;
  const std::optional<double> twips = internal::FormAccess(form).Get(axis);
  if (!twips || !(std::fabs(*twips) <= std::numeric_limits<std::int32_t>::max())) {
    return otherwise;
  }
  return static_cast<std::int32_t>(std::lround(*twips));
}

}  // namespace

pelResizer::pelResizer(QWidget* form, Mode mode)
    : QWidget(form), form_(form), picture_(new QLabel(this)) {
  picture_->setPixmap(ResizerPicture());
  picture_->resize(picture_->pixmap().size());
  // Always the size of the picture: any later resize is held to it.
  setFixedSize(picture_->size());
  setToolTip(QStringLiteral(FITMORPH_PROG_ID));
  setVisible(mode == Mode::kDesignTime);
  internal::AddLiveControl(this);
}

pelResizer::~pelResizer() {
  internal::RemoveLiveControl(this);
}

void pelResizer::InitResizeControl() {
  Capture(CaptureKind::kInit);
}
void pelResizer::UpdateControls() {
  Capture(CaptureKind::kUpdate);
}
void pelResizer::ResizeControls() {
  Layout(LayoutKind::kFull);
}
void pelResizer::QuickResizeControls() {
  Layout(LayoutKind::kQuick);
}

void pelResizer::Restore() {
  if (form_ == nullptr) return;
  const internal::FormAccess form(form_);
  if (!form.Set(internal::Property::kWidth, props_.form_width) ||
      !form.Set(internal::Property::kHeight, props_.form_height)) {
    ShowMessage(QStringLiteral("Form cannot be restored to original size when maximized."),
                kMessageNoIcon);
  }
}

void pelResizer::SetResizeFonts(bool value) {
  props_.resize_fonts = value;
  emit PropertyChanged(QStringLiteral("ResizeFonts"));
}

void pelResizer::SetMoveOnly(bool value) {
  props_.move_only = value;
  emit PropertyChanged(QStringLiteral("MoveOnly"));
}

void pelResizer::SetMaxFontSize(float value) {
  if (!(value > 0)) {
    ShowMessage(QStringLiteral("Please enter a positive numerical value"), kMessageCritical);
    value = ResizerProperties().max_font_size;
  }
  props_.max_font_size = value;
  emit PropertyChanged(QStringLiteral("MaxFontSize"));
}

void pelResizer::SetFormWidth(std::int32_t /*ignored*/) {
  props_.form_width = FormSize(form_, internal::Property::kWidth, props_.form_width);
  emit PropertyChanged(QStringLiteral("FormWidth"));
}

void pelResizer::SetFormHeight(std::int32_t /*ignored*/) {
  props_.form_height = FormSize(form_, internal::Property::kHeight, props_.form_height);
  emit PropertyChanged(QStringLiteral("FormHeight"));
}

void pelResizer::SetMDIChildForm(bool value) {
  props_.mdi_child_form = value;
  emit PropertyChanged(QStringLiteral("MDIChildForm"));
}

void pelResizer::SetFRatio(float value) {
  props_.f_ratio = value;
  emit PropertyChanged(QStringLiteral("FRatio"));
}

void pelResizer::SetHRatio(float value) {
  props_.h_ratio = value;
  emit PropertyChanged(QStringLiteral("HRatio"));
}

void pelResizer::SetVRatio(float value) {
  props_.v_ratio = value;
  emit PropertyChanged(QStringLiteral("VRatio"));
}

}  // namespace fitmorph
