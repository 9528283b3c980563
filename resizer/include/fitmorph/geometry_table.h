// The geometry that pelResizer captures of its host form: one row per control of the form, in
// the order of the form's control collection, and one last row for the form itself.
#ifndef FITMORPH_GEOMETRY_TABLE_H_
#define FITMORPH_GEOMETRY_TABLE_H_

#include <cstdint>
#include <vector>

namespace fitmorph {

// Left, top, width, height and the line end points are twips at the form's logical resolution
// (1440 per logical inch); font sizes are points, 0 when the control has no such font. The
// integer fields are 32-bit: twips pass 32767 on any form wider or taller than about 2200
// pixels, and a narrower field would lose such controls.
struct GeometryRow {
  float left = 0;
  bool parked = false;  // left below -40000: moved off the visible area by a tab container
  std::int32_t top = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;
  float font_size = 0;
  float head_font_size = 0;  // the header font of a list, table or tree view
  std::int32_t x1 = 0;
  std::int32_t x2 = 0;
  std::int32_t y1 = 0;
  std::int32_t y2 = 0;
  bool included = true;  // false: the control is left alone by every layout
};

using GeometryTable = std::vector<GeometryRow>;

// A left below this is a parked control; layouts keep such a control kParkingOffset further
// left than its proportional place, so it stays off-screen.
inline constexpr double kParkedLeftLimit = -40000;
inline constexpr double kParkingOffset = 75000;

}  // namespace fitmorph

#endif  // FITMORPH_GEOMETRY_TABLE_H_
