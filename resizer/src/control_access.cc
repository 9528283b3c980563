#include "control_access.h"

#include <QAbstractItemView>
#include <QFont>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QTableView>
#include <QTreeView>
#include <QVariant>
#include <QWidget>
#include <cmath>

#include "fitmorph/line_control.h"

namespace fitmorph::internal {
namespace {

// Twips per inch.
constexpr double kTwipsPerInch = 1440;
// The largest coordinate or size, in pixels, that a widget takes (QWIDGETSIZE_MAX).
constexpr double kMaxPixels = 16777215;

// twips -> pixels, rounded to nearest; nothing when the value is not finite or out of range.
std::optional<int> ToPixels(double twips, double twips_per_pixel) {
  const double pixels = twips / twips_per_pixel;
  if (!std::isfinite(pixels) || std::fabs(pixels) > kMaxPixels) return std::nullopt;
  return static_cast<int>(std::lround(pixels));
}

// A font's size in points, also for a font sized in pixels.
double PointSize(const QFont& font, const QWidget& widget) {
  if (font.pointSizeF() > 0) return font.pointSizeF();
  return font.pixelSize() * 72.0 / widget.logicalDpiY();
}

bool SetPointSize(QWidget& widget, double points) {
  if (!std::isfinite(points) || points <= 0) return false;
  QFont font = widget.font();
  font.setPointSizeF(points);
  widget.setFont(font);
  return true;
}

// The widget of a control that is placed on the form: not a window of its own and not a menu.
QWidget* PlacedWidget(QObject* control) {
  auto* widget = qobject_cast<QWidget*>(control);
  if (widget == nullptr || widget->isWindow()) return nullptr;
  if (qobject_cast<QMenu*>(widget) != nullptr || qobject_cast<QMenuBar*>(widget) != nullptr) {
    return nullptr;
  }
  return widget;
}

// The column header of a tree or table view, whose font is the control's head font.
QHeaderView* ColumnHeader(QWidget* widget) {
  if (auto* tree = qobject_cast<QTreeView*>(widget)) return tree->header();
  if (auto* table = qobject_cast<QTableView*>(widget)) return table->horizontalHeader();
  return nullptr;
}

ControlKind KindOf(QWidget* widget) {
  if (qobject_cast<LineControl*>(widget) != nullptr) return ControlKind::kLine;
  if (auto* label = qobject_cast<QLabel*>(widget); label != nullptr && !label->pixmap().isNull()) {
    return ControlKind::kPicture;
  }
  return ControlKind::kOther;
}

}  // namespace

TwipScale TwipScaleOf(const QWidget& form) {
  TwipScale scale;
  if (form.logicalDpiX() > 0) scale.x = kTwipsPerInch / form.logicalDpiX();
  if (form.logicalDpiY() > 0) scale.y = kTwipsPerInch / form.logicalDpiY();
  return scale;
}

ControlAccess::ControlAccess(QObject* control, TwipScale scale)
    : control_(control),
      widget_(PlacedWidget(control)),
      kind_(widget_ != nullptr ? KindOf(widget_) : ControlKind::kOther),
      scale_(scale) {}

QString ControlAccess::Tag() const {
  return control_->property("Tag").toString();
}

bool ControlAccess::Has(Property property) const {
  if (widget_ == nullptr) return false;
  const bool line = kind_ == ControlKind::kLine;
  switch (property) {
    case Property::kX1:
    case Property::kY1:
    case Property::kX2:
    case Property::kY2:
      return line;
    case Property::kHeadFontSize:
      return ColumnHeader(widget_) != nullptr;
    default:
      return !line;
  }
}

std::optional<double> ControlAccess::Get(Property property) const {
  if (!Has(property)) return std::nullopt;
  auto* line = kind_ == ControlKind::kLine ? static_cast<LineControl*>(widget_) : nullptr;
  switch (property) {
    case Property::kLeft:
      return widget_->x() * scale_.x;
    case Property::kTop:
      return widget_->y() * scale_.y;
    case Property::kWidth:
      return widget_->width() * scale_.x;
    case Property::kHeight:
      return widget_->height() * scale_.y;
    case Property::kFontSize:
      return PointSize(widget_->font(), *widget_);
    case Property::kHeadFontSize: {
      QHeaderView* header = ColumnHeader(widget_);
      return PointSize(header->font(), *header);
    }
    case Property::kX1:
      return line->X1() * scale_.x;
    case Property::kY1:
      return line->Y1() * scale_.y;
    case Property::kX2:
      return line->X2() * scale_.x;
    case Property::kY2:
      return line->Y2() * scale_.y;
  }
  return std::nullopt;
}

bool ControlAccess::Set(Property property, double value) const {
  if (!Has(property)) return false;
  if (property == Property::kFontSize) return SetPointSize(*widget_, value);
  if (property == Property::kHeadFontSize) return SetPointSize(*ColumnHeader(widget_), value);

  const bool horizontal = property == Property::kLeft || property == Property::kWidth ||
                          property == Property::kX1 || property == Property::kX2;
  const std::optional<int> pixels = ToPixels(value, horizontal ? scale_.x : scale_.y);
  if (!pixels) return false;
  auto* line = kind_ == ControlKind::kLine ? static_cast<LineControl*>(widget_) : nullptr;
  switch (property) {
    case Property::kLeft:
      widget_->move(*pixels, widget_->y());
      return true;
    case Property::kTop:
      widget_->move(widget_->x(), *pixels);
      return true;
    case Property::kWidth:
      if (*pixels < 0) return false;
      widget_->resize(*pixels, widget_->height());
      return true;
    case Property::kHeight:
      if (*pixels < 0) return false;
      widget_->resize(widget_->width(), *pixels);
      return true;
    case Property::kX1:
      line->SetX1(*pixels);
      return true;
    case Property::kY1:
      line->SetY1(*pixels);
      return true;
    case Property::kX2:
      line->SetX2(*pixels);
      return true;
    case Property::kY2:
      line->SetY2(*pixels);
      return true;
    case Property::kFontSize:
    case Property::kHeadFontSize:
      break;
  }
  return false;
}

bool ControlAccess::Refresh() const {
  if (widget_ == nullptr) return false;
  widget_->repaint();
  return true;
}

FormAccess::FormAccess(QWidget* form) : form_(form), scale_(TwipScaleOf(*form)) {}

std::optional<double> FormAccess::Get(Property property) const {
  switch (property) {
    case Property::kLeft:
      return form_->x() * scale_.x;
    case Property::kTop:
      return form_->y() * scale_.y;
    case Property::kWidth:
      return form_->width() * scale_.x;
    case Property::kHeight:
      return form_->height() * scale_.y;
    default:
      return std::nullopt;
  }
}

bool FormAccess::Set(Property property, double value) const {
  constexpr Qt::WindowStates kFixed =
      Qt::WindowMaximized | Qt::WindowMinimized | Qt::WindowFullScreen;
  if (form_->window()->windowState() & kFixed) return false;
  if (property == Property::kWidth) {
    const std::optional<int> pixels = ToPixels(value, scale_.x);
    if (!pixels || *pixels < 0) return false;
    form_->resize(*pixels, form_->height());
    return true;
  }
  if (property == Property::kHeight) {
    const std::optional<int> pixels = ToPixels(value, scale_.y);
    if (!pixels || *pixels < 0) return false;
    form_->resize(form_->width(), *pixels);
    return true;
  }
  return false;
}

bool TagStartIs(const QString& tag, int n, const char* text) {
  return tag.left(n).toUpper() == QLatin1String(text);
}

}  // namespace fitmorph::internal
