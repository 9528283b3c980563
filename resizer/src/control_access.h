// Late-bound access to the properties of the controls of a host form and of the form itself,
// in the units a layout works in: twips for positions and sizes, points for fonts.
//
// A control lacks some properties, as a timer has no size and a line has no font: reading or
// writing a property that the control lacks fails explicitly (an empty optional, false), and
// the caller decides what a failure means. Which control has which property:
//   non-widget objects (timers, actions), menus and widgets that are windows of their own:
//       only Tag;
//   LineControl: X1, Y1, X2, Y2, Tag;
//   other widgets: Left, Top, Width, Height, Font.Size, Tag, and Refresh;
//   tree and table views in addition HeadFont.Size, the font of their column header.
#ifndef FITMORPH_SRC_CONTROL_ACCESS_H_
#define FITMORPH_SRC_CONTROL_ACCESS_H_

#include <QString>
#include <optional>

class QObject;
class QWidget;

namespace fitmorph::internal {

// The properties by the names a form knows them: Left, Top, Width, Height, Font.Size,
// HeadFont.Size, X1, Y1, X2, Y2.
enum class Property { kLeft, kTop, kWidth, kHeight, kFontSize, kHeadFontSize, kX1, kY1, kX2, kY2 };

// The two kinds of control that a layout treats apart: lines (LineControl) are placed by their
// end points, pictures (a QLabel showing a pixmap) are repainted after they were moved and
// sized.
enum class ControlKind { kOther, kLine, kPicture };

// Twips per pixel, horizontally and vertically, at a form's logical resolution.
struct TwipScale {
  double x = 15;
  double y = 15;
};
TwipScale TwipScaleOf(const QWidget& form);

class ControlAccess {
 public:
  ControlAccess(QObject* control, TwipScale scale);

  ControlKind Kind() const { return kind_; }
  // The control's tag, its dynamic property "Tag"; empty when it has none. Never fails.
  QString Tag() const;
  std::optional<double> Get(Property property) const;
  // Fails when the control lacks the property or value cannot be applied (not finite, a font
  // size not greater than 0, a position or size beyond what a widget can take).
  bool Set(Property property, double value) const;
  // Repaints the control at once; fails for controls that are not widgets.
  bool Refresh() const;

 private:
  bool Has(Property property) const;

  QObject* control_;
  QWidget* widget_;  // the control as a widget placed on the form, else null
  ControlKind kind_;
  TwipScale scale_;
};

// The form's own Left, Top, Width and Height. Writing Width or Height fails while the form's
// window is maximised, minimised or full-screen, as such a window cannot be sized.
class FormAccess {
 public:
  explicit FormAccess(QWidget* form);

  TwipScale Scale() const { return scale_; }
  std::optional<double> Get(Property property) const;
  bool Set(Property property, double value) const;

 private:
  QWidget* form_;
  TwipScale scale_;
};

// True when the first n characters of the upper-cased tag equal text (which is upper-case): the
// tag tests of the layout. With n longer than text, the tag must equal text exactly.
bool TagStartIs(const QString& tag, int n, const char* text);

}  // namespace fitmorph::internal

#endif  // FITMORPH_SRC_CONTROL_ACCESS_H_
