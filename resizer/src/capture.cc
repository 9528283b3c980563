// Capture of the geometry table: InitResizeControl and UpdateControls.
#include <QObject>
#include <cmath>
#include <limits>

#include "control_access.h"
#include "fitmorph/pel_resizer.h"
#include "form_controls.h"

namespace fitmorph {
namespace {

using internal::ControlAccess;
using internal::ControlKind;
using internal::Property;
using internal::TagStartIs;

// A control that fails this many reads and has no font is not a control that can be laid out
// (a menu, say): it is excluded.
constexpr int kFailuresToExclude = 5;

std::int32_t ToField(double twips) {
  constexpr double kMax = std::numeric_limits<std::int32_t>::max();
  if (!(std::fabs(twips) <= kMax)) return 0;
  return static_cast<std::int32_t>(std::lround(twips));
}

// Reads the properties of one control into its row. Each failed read is counted; what a
// failure means for the row is decided by OnFailure.
class RowReader {
 public:
  RowReader(QObject* control, internal::TwipScale scale, bool update)
      : access_(control, scale),
        tag_(access_.Tag()),
        line_(access_.Kind() == ControlKind::kLine),
        update_(update) {}

  GeometryRow Read() {
    row_.included = !TagStartIs(tag_, 3, "X");
    if (std::optional<double> left = Get(Property::kLeft)) {
      row_.left = static_cast<float>(*left);
      row_.parked = static_cast<double>(row_.left) < kParkedLeftLimit;
    }
    ReadInto(Property::kTop, row_.top);
    ReadInto(Property::kWidth, row_.width);
    ReadInto(Property::kHeight, row_.height);
    if (std::optional<double> size = Get(Property::kFontSize)) {
      row_.font_size = static_cast<float>(*size);
    }
    if (line_) {
      ReadInto(Property::kX1, row_.x1);
      ReadInto(Property::kX2, row_.x2);
      ReadInto(Property::kY1, row_.y1);
      ReadInto(Property::kY2, row_.y2);
    } else if (std::optional<double> size = Get(Property::kHeadFontSize)) {
      row_.head_font_size = static_cast<float>(*size);
    }
    return row_;
  }

 private:
  std::optional<double> Get(Property property) {
    std::optional<double> value = access_.Get(property);
    if (!value) OnFailure();
    return value;
  }

  void ReadInto(Property property, std::int32_t& field) {
    if (std::optional<double> value = Get(property)) field = ToField(*value);
  }

  void OnFailure() {
    ++failures_;
    if (row_.font_size == 0 && !line_ && failures_ >= kFailuresToExclude) row_.included = false;
    if (update_ && TagStartIs(tag_, 4, "NM")) row_.included = false;
  }

  ControlAccess access_;
  QString tag_;
  bool line_;
  bool update_;
  int failures_ = 0;
  GeometryRow row_;
};

}  // namespace

void pelResizer::Capture(CaptureKind kind) {
  if (form_ == nullptr) return;
  const internal::FormAccess form(form_);
  const bool update = kind == CaptureKind::kUpdate;

  table_.clear();
  for (QObject* control : internal::FormControls(*form_)) {
    table_.push_back(RowReader(control, form.Scale(), update).Read());
  }

  GeometryRow row;
  row.left = static_cast<float>(form.Get(Property::kLeft).value_or(0));
  row.top = ToField(form.Get(Property::kTop).value_or(0));
  if (!update && props_.mdi_child_form) {
    row.width = props_.form_width;
    row.height = props_.form_height;
  } else {
    row.width = ToField(form.Get(Property::kWidth).value_or(0));
    row.height = ToField(form.Get(Property::kHeight).value_or(0));
  }
  table_.push_back(row);
}

}  // namespace fitmorph
