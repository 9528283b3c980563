// pelResizer: the control that keeps the controls of its host form in proportion when the form
// changes size. The host places one on a form, calls InitResizeControl once every control of
// the form exists, and ResizeControls each time the form has been resized.
//
// The host form's control collection is every named object below the form (its objectName is
// not empty and does not begin with "qt_"), widgets and non-widget controls such as timers
// and menu actions alike, in the order of the form's object tree: a parent before its children,
// brothers in the order they were given their parent, which is their creation order when each
// control is created on its container. Layouts (QLayout) are not controls; neither is anything
// inside another window. A control's tag is its dynamic property "Tag". Two kinds of control are
// treated apart: a LineControl is placed by its end points, and a picture (a QLabel showing a
// pixmap) is repainted at once after it was moved and sized.
//
// Positions and sizes are handled in twips at the form's logical resolution (1440 per logical
// inch), fonts in points. Every method runs on the GUI thread.
#ifndef FITMORPH_PEL_RESIZER_H_
#define FITMORPH_PEL_RESIZER_H_

#include <QPointer>
#include <QString>
#include <QWidget>
#include <cstdint>

#include "fitmorph/export.h"
#include "fitmorph/fitmorph.h"
#include "fitmorph/geometry_table.h"

class QLabel;

namespace fitmorph {

// The control's properties with their defaults: the values of a new instance, and of each one
// that a property bag does not hold.
struct ResizerProperties {
  bool resize_fonts = true;  // scale font sizes with the form
  bool move_only = false;    // move controls in proportion but keep their captured size
  float max_font_size = 70;  // upper bound of any scaled font size, points
  // Design size of the form in twips, the base size for an MDI child form. 32-bit (a 16-bit
  // field cannot hold the width of a form wider than about 2200 pixels).
  std::int32_t form_width = 3000;
  std::int32_t form_height = 3000;
  bool mdi_child_form = false;
  // Stored and saved only; the layout uses ratios of its own.
  float f_ratio = 1;
  float h_ratio = 1;
  float v_ratio = 1;
};

class FITMORPH_EXPORT pelResizer : public QWidget {
  Q_OBJECT

 public:
  enum class Mode {
    kRunTime,    // the control is invisible
    kDesignTime  // the control shows its picture, for a form designer
  };

  // Places a new control with default properties on form, which becomes its parent and owner.
  // The control is always exactly the size of the picture it carries.
  explicit pelResizer(QWidget* form, Mode mode = Mode::kRunTime);
  ~pelResizer() override;

  // The host form; null once it has been deleted.
  QWidget* Form() const { return form_; }

  // Captures the geometry of every control and of the form. For an MDI child form the form's
  // base size is FormWidth x FormHeight, else the form's current size.
  void InitResizeControl();
  // Moves, sizes and re-fonts every included control in proportion to the form's current size
  // against the captured one, as ResizeFonts and MoveOnly say. Does nothing before a capture or
  // when the captured form size is not positive (there is no proportion to keep).
  void ResizeControls();
  // As ResizeControls, but never touches fonts and ignores ResizeFonts and MoveOnly.
  void QuickResizeControls();
  // Sets the form back to FormWidth x FormHeight. A maximised (or minimised or full-screen)
  // form refuses: the message "Form cannot be restored to original size when maximized." is
  // shown and nothing changes.
  void Restore();
  // Captures again from the current layout, which becomes the new base; the form's base size
  // is always its current size. A control tagged "NM" is also excluded when one of its
  // properties cannot be read.
  void UpdateControls();

  // The table of the last capture (empty before the first).
  const GeometryTable& CapturedGeometry() const { return table_; }

  bool ResizeFonts() const { return props_.resize_fonts; }
  void SetResizeFonts(bool value);
  bool MoveOnly() const { return props_.move_only; }
  void SetMoveOnly(bool value);
  float MaxFontSize() const { return props_.max_font_size; }
  // A value not greater than 0 shows "Please enter a positive numerical value" (critical icon)
  // and stores 70.
  void SetMaxFontSize(float value);
  std::int32_t FormWidth() const { return props_.form_width; }
  // Does not store the value passed: records the form's current width (in twips), so a
  // designer captures the design size by touching the property. Unchanged without a form.
  void SetFormWidth(std::int32_t ignored);
  std::int32_t FormHeight() const { return props_.form_height; }
  // As SetFormWidth, for the height.
  void SetFormHeight(std::int32_t ignored);
  bool MDIChildForm() const { return props_.mdi_child_form; }
  void SetMDIChildForm(bool value);
  float FRatio() const { return props_.f_ratio; }
  void SetFRatio(float value);
  float HRatio() const { return props_.h_ratio; }
  void SetHRatio(float value);
  float VRatio() const { return props_.v_ratio; }
  void SetVRatio(float value);

  // All properties at once, stored as they are, without the setters' rules (as a form loads
  // the values it saved).
  const ResizerProperties& Properties() const { return props_; }
  void LoadProperties(const ResizerProperties& props) { props_ = props; }

  // Loads every property from the host form's property bag; an absent value takes its default,
  // as does a value that cannot be read as the property's type (or a MaxFontSize not greater
  // than 0). Returns false when such an unreadable value was met (the others are loaded).
  bool ReadProperties(const fm_property_bag& bag);
  // Saves every property into the bag under its name. Returns false when the bag refuses one
  // (the values before it are saved).
  bool WriteProperties(const fm_property_bag& bag) const;

 signals:
  // A property was set through its setter; a form designer marks the form changed.
  void PropertyChanged(const QString& name);

 private:
  enum class CaptureKind { kInit, kUpdate };
  enum class LayoutKind { kFull, kQuick };
  void Capture(CaptureKind kind);
  void Layout(LayoutKind kind);

  QPointer<QWidget> form_;
  QLabel* picture_;
  ResizerProperties props_;
  GeometryTable table_;
};

}  // namespace fitmorph

#endif  // FITMORPH_PEL_RESIZER_H_
