#include "form_controls.h"

#include <QLayout>
#include <QMenu>
#include <QObject>
#include <QWidget>

namespace fitmorph::internal {
namespace {

bool IsControl(const QObject& object) {
  const QString name = object.objectName();
  return !name.isEmpty() && !name.startsWith(QLatin1String("qt_")) &&
         qobject_cast<const QLayout*>(&object) == nullptr;
}

// A window below the form is a form of its own (a dialog), except a menu, which pops up as a
// window but belongs to the form.
bool IsOtherWindow(const QObject& object) {
  const auto* widget = qobject_cast<const QWidget*>(&object);
  return widget != nullptr && widget->isWindow() && qobject_cast<const QMenu*>(widget) == nullptr;
}

void Collect(const QObject& parent, std::vector<QObject*>& controls) {
  for (QObject* child : parent.children()) {
    if (IsOtherWindow(*child)) continue;
    if (IsControl(*child)) controls.push_back(child);
    Collect(*child, controls);
  }
}

}  // namespace

std::vector<QObject*> FormControls(const QWidget& form) {
  std::vector<QObject*> controls;
  Collect(form, controls);
  return controls;
}

}  // namespace fitmorph::internal
