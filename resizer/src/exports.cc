// The library's C entries (fitmorph.h): creation by program id, late-bound calls, saving to a
// property bag and the message handler. Each checks its arguments and its thread, and no C++
// exception passes through it.
#include <QApplication>
#include <QString>
#include <QThread>
#include <new>

#include "fitmorph/fitmorph.h"
#include "fitmorph/message.h"
#include "fitmorph/pel_resizer.h"
#include "live_controls.h"
#include "property_table.h"

namespace fitmorph::internal {
namespace {

struct MethodInfo {
  std::int32_t dispid;
  const char* name;
  void (pelResizer::*call)();
};

const MethodInfo kMethods[] = {
    {FITMORPH_DISPID_INIT_RESIZE_CONTROL, "InitResizeControl", &pelResizer::InitResizeControl},
    {FITMORPH_DISPID_RESIZE_CONTROLS, "ResizeControls", &pelResizer::ResizeControls},
    {FITMORPH_DISPID_QUICK_RESIZE_CONTROLS, "QuickResizeControls",
     &pelResizer::QuickResizeControls},
    {FITMORPH_DISPID_RESTORE, "Restore", &pelResizer::Restore},
    {FITMORPH_DISPID_UPDATE_CONTROLS, "UpdateControls", &pelResizer::UpdateControls},
};

const MethodInfo* FindMethod(const char* name) {
  const QString wanted = QString::fromUtf8(name);
  for (const MethodInfo& method : kMethods) {
    if (wanted.compare(QLatin1String(method.name), Qt::CaseInsensitive) == 0) return &method;
  }
  return nullptr;
}

const MethodInfo* FindMethod(std::int32_t dispid) {
  for (const MethodInfo& method : kMethods) {
    if (method.dispid == dispid) return &method;
  }
  return nullptr;
}

// Widgets live on the thread of the QApplication, and only there may the control be used.
fm_status CheckThread() {
  const QCoreApplication* app = QCoreApplication::instance();
  if (qobject_cast<const QApplication*>(app) == nullptr) return FM_E_FAIL;
  if (QThread::currentThread() != app->thread()) return FM_E_WRONG_THREAD;
  return FM_OK;
}

pelResizer* ControlOf(fm_control* handle) {
  return FindLiveControl(reinterpret_cast<const QWidget*>(handle));
}

template <typename Body>
fm_status Guarded(Body&& body) {
  try {
    return body();
  } catch (...) {  // nothing may unwind into a C caller
    return FM_E_FAIL;
  }
}

fm_status CallMethod(const MethodInfo& method, std::int32_t kind, std::int32_t arg_count,
                     pelResizer& control) {
  if ((kind & FM_INVOKE_METHOD) == 0) return FM_E_MEMBER_NOT_FOUND;
  if (arg_count != 0) return FM_E_BAD_PARAM_COUNT;
  (control.*method.call)();
  return FM_OK;
}

fm_status AccessProperty(const PropertyInfo& property, std::int32_t kind, const fm_variant* args,
                         std::int32_t arg_count, fm_variant* result, pelResizer& control) {
  if ((kind & FM_INVOKE_PUT) != 0) {
    if (arg_count != 1) return FM_E_BAD_PARAM_COUNT;
    return Put(property, args[0], control);
  }
  if ((kind & FM_INVOKE_GET) != 0) {
    if (arg_count != 0) return FM_E_BAD_PARAM_COUNT;
    if (result != nullptr) *result = ValueOf(property, control.Properties());
    return FM_OK;
  }
  return FM_E_MEMBER_NOT_FOUND;
}

}  // namespace
}  // namespace fitmorph::internal

using fitmorph::pelResizer;
using namespace fitmorph::internal;

extern "C" {

fm_status fitmorph_create(const char* prog_id, void* form, const fm_property_bag* bag,
                          int32_t flags, fm_control** control) {
  if (control != nullptr) *control = nullptr;
  if (prog_id == nullptr || form == nullptr || control == nullptr) return FM_E_INVALID_ARG;
  if (QString::fromUtf8(prog_id).compare(QLatin1String(FITMORPH_PROG_ID), Qt::CaseInsensitive) !=
      0) {
    return FM_E_CLASS_NOT_REG;
  }
  if (const fm_status status = CheckThread(); status != FM_OK) return status;
  return Guarded([&] {
    const auto mode = (flags & FM_CREATE_DESIGN_MODE) != 0 ? pelResizer::Mode::kDesignTime
                                                           : pelResizer::Mode::kRunTime;
    auto* created = new pelResizer(static_cast<QWidget*>(form), mode);
    fm_status status = FM_OK;
    if (bag != nullptr && !created->ReadProperties(*bag)) status = FM_OK_DEFAULTED;
    *control = reinterpret_cast<fm_control*>(static_cast<QWidget*>(created));
    return status;
  });
}

fm_status fitmorph_invoke(fm_control* control, int32_t dispid, const char* name, int32_t kind,
                          const fm_variant* args, int32_t arg_count, fm_variant* result) {
  if (result != nullptr) *result = fm_variant{};
  if (arg_count < 0 || (arg_count > 0 && args == nullptr)) return FM_E_INVALID_ARG;
  if (const fm_status status = CheckThread(); status != FM_OK) return status;
  pelResizer* target = ControlOf(control);
  if (target == nullptr) return FM_E_INVALID_ARG;
  return Guarded([&] {
    if (name == nullptr) {
      const MethodInfo* method = FindMethod(dispid);
      if (method == nullptr) return FM_E_MEMBER_NOT_FOUND;
      return CallMethod(*method, kind, arg_count, *target);
    }
    if (const MethodInfo* method = FindMethod(name)) {
      return CallMethod(*method, kind, arg_count, *target);
    }
    if (const PropertyInfo* property = FindProperty(name)) {
      return AccessProperty(*property, kind, args, arg_count, result, *target);
    }
    return FM_E_UNKNOWN_NAME;
  });
}

fm_status fitmorph_save_properties(fm_control* control, const fm_property_bag* bag) {
  if (bag == nullptr) return FM_E_INVALID_ARG;
  if (const fm_status status = CheckThread(); status != FM_OK) return status;
  const pelResizer* target = ControlOf(control);
  if (target == nullptr) return FM_E_INVALID_ARG;
  return Guarded([&] { return target->WriteProperties(*bag) ? FM_OK : FM_E_FAIL; });
}

fm_status fitmorph_set_message_handler(fm_message_handler handler, void* context) {
  if (const fm_status status = CheckThread(); status != FM_OK) return status;
  return Guarded([&] {
    if (handler == nullptr) {
      fitmorph::SetMessageHandler(nullptr);
    } else {
      fitmorph::SetMessageHandler(
          [handler, context](const QString& text, const QString& title, int style) {
            return static_cast<int>(
                handler(context, text.toUtf8().constData(), title.toUtf8().constData(), style));
          });
    }
    return FM_OK;
  });
}

}  // extern "C"
