// Proportional layout: ResizeControls and QuickResizeControls. Writes that a control refuses
// (a property it lacks) are skipped; the layout goes on with the next one.
#include <QObject>
#include <vector>

#include "control_access.h"
#include "fitmorph/pel_resizer.h"
#include "form_controls.h"

namespace fitmorph {
namespace {

using internal::ControlAccess;
using internal::ControlKind;
using internal::Property;

struct Ratios {
  double horizontal;
  double vertical;
  double font;
};

void Position(const ControlAccess& control, const GeometryRow& row, const Ratios& ratio) {
  const bool line = control.Kind() == ControlKind::kLine;
  const double left = row.left;
  if (row.parked) {
    control.Set(Property::kLeft, (left + kParkingOffset) * ratio.horizontal - kParkingOffset);
  } else {
    control.Set(Property::kLeft, left * ratio.horizontal);
  }
  if (line) {
    control.Set(Property::kX1, row.x1 * ratio.horizontal);
    control.Set(Property::kX2, row.x2 * ratio.horizontal);
  }
  control.Set(Property::kTop, row.top * ratio.vertical);
  if (line) {
    control.Set(Property::kY1, row.y1 * ratio.vertical);
    control.Set(Property::kY2, row.y2 * ratio.vertical);
  }
}

void ScaleSize(const ControlAccess& control, const GeometryRow& row, const Ratios& ratio) {
  control.Set(Property::kWidth, row.width * ratio.horizontal);
  control.Set(Property::kHeight, row.height * ratio.vertical);
}

// Scales the font and the head font, then holds each to max_size.
void ScaleFonts(const ControlAccess& control, const GeometryRow& row, const Ratios& ratio,
                double max_size) {
  control.Set(Property::kFontSize, static_cast<double>(row.font_size) * ratio.font);
  control.Set(Property::kHeadFontSize, static_cast<double>(row.head_font_size) * ratio.font);
  for (Property font : {Property::kFontSize, Property::kHeadFontSize}) {
    if (std::optional<double> size = control.Get(font); size && *size > max_size) {
      control.Set(font, max_size);
    }
  }
}

}  // namespace

void pelResizer::Layout(LayoutKind kind) {
  // The last row is the form's; without it nothing was captured yet.
  if (form_ == nullptr || table_.empty()) return;
  const GeometryRow& base = table_.back();
  if (base.width <= 0 || base.height <= 0) return;
  const internal::FormAccess form(form_);
  const std::optional<double> width = form.Get(Property::kWidth);
  const std::optional<double> height = form.Get(Property::kHeight);
  if (!width || !height) return;

  Ratios ratio;
  ratio.horizontal = *width / base.width;
  ratio.vertical = *height / base.height;
  ratio.font = (ratio.horizontal + ratio.vertical) / 2;
  const bool resize_fonts = props_.resize_fonts;
  const bool move_only = props_.move_only;
  const double max_font_size = props_.max_font_size;

  // Rows belong to controls by position; controls created after the capture have no row.
  const std::vector<QObject*> controls = internal::FormControls(*form_);
  const size_t control_rows = table_.size() - 1;
  for (size_t i = 0; i < controls.size() && i < control_rows; ++i) {
    const GeometryRow& row = table_[i];
    if (!row.included) continue;
    const ControlAccess control(controls[i], form.Scale());
    Position(control, row, ratio);

    const bool keep = internal::TagStartIs(control.Tag(), 2, "NR");
    if (kind == LayoutKind::kQuick) {
      if (!keep) ScaleSize(control, row, ratio);
    } else if (!move_only) {
      if (!keep) {
        if (resize_fonts) ScaleFonts(control, row, ratio, max_font_size);
        ScaleSize(control, row, ratio);
      }
    } else if (resize_fonts) {
      // Moved only, with fonts: the size goes back to the captured one.
      if (!keep) ScaleFonts(control, row, ratio, max_font_size);
      control.Set(Property::kWidth, row.width);
      control.Set(Property::kHeight, row.height);
    }
    if (control.Kind() == ControlKind::kPicture) control.Refresh();
  }
}

}  // namespace fitmorph
