// Host side of fitmorph, header-only: loads libfitmorph.so from the program's own folder and
// wraps a control created by name, so that a form takes the resizer in a few lines:
//
//   std::string error;
//   auto resizer = fitmorph::host::Resizer::Create(form, nullptr, &error);
//   if (resizer) resizer->InitResizeControl();          // once the form's controls exist
//   ...
//   if (resizer) resizer->ResizeControls();             // in the form's resize handling
//
// Only the C entries of fitmorph.h are used, looked up with dlsym; the methods are called
// late-bound by their dispatch identifiers. Everything here runs on the GUI thread.
#ifndef FITMORPH_HOST_H_
#define FITMORPH_HOST_H_

#include <dlfcn.h>

#include <charconv>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <system_error>

#include "fitmorph/fitmorph.h"

class QWidget;

namespace fitmorph::host {

// The entries of the library. The library is loaded once per process and never unloaded:
// the controls it creates live on in their forms.
struct Library {
  fitmorph_create_fn create = nullptr;
  fitmorph_invoke_fn invoke = nullptr;
  fitmorph_save_properties_fn save_properties = nullptr;
  fitmorph_set_message_handler_fn set_message_handler = nullptr;

  // The loaded library, or null when it cannot be loaded or lacks an entry; then *error (when
  // given) says why. A failed load is retried by the next call.
  static const Library* Load(std::string* error = nullptr) {
    static Library library;
    static bool loaded = false;
    if (loaded) return &library;
    std::error_code ignored;
    const std::filesystem::path folder =
        std::filesystem::read_symlink("/proc/self/exe", ignored).parent_path();
    const std::string file = (folder / FITMORPH_LIBRARY_FILE).string();
    void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
      const char* why = dlerror();
      if (error != nullptr) *error = why != nullptr ? why : "cannot load " + file;
      return nullptr;
    }
    Library found;
    const bool complete =
        Resolve(handle, "fitmorph_create", found.create, error) &&
        Resolve(handle, "fitmorph_invoke", found.invoke, error) &&
        Resolve(handle, "fitmorph_save_properties", found.save_properties, error) &&
        Resolve(handle, "fitmorph_set_message_handler", found.set_message_handler, error);
    if (!complete) {
      dlclose(handle);
      return nullptr;
    }
    library = found;
    loaded = true;
    return &library;
  }

 private:
  template <typename Function>
  static bool Resolve(void* handle, const char* name, Function& entry, std::string* error) {
    entry = reinterpret_cast<Function>(dlsym(handle, name));
    if (entry == nullptr && error != nullptr) *error = std::string("missing entry ") + name;
    return entry != nullptr;
  }
};

// A property bag that keeps every value as text under its name, as a form description does.
// Booleans are written "True"/"False", numbers in their shortest exact form.
class PropertyMap {
 public:
  std::map<std::string, std::string>& values() { return values_; }
  const std::map<std::string, std::string>& values() const { return values_; }

  // The bag for fitmorph_create and fitmorph_save_properties; valid while this map lives.
  fm_property_bag Bag() { return fm_property_bag{this, &Read, &Write}; }

 private:
  static int32_t Read(void* context, const char* name, fm_variant* value) {
    const auto& values = static_cast<PropertyMap*>(context)->values_;
    const auto found = values.find(name);
    if (found == values.end()) return 0;
    value->type = FM_VT_STR;
    value->value.str = found->second.c_str();
    return 1;
  }

  static int32_t Write(void* context, const char* name, const fm_variant* value) {
    std::optional<std::string> text = Format(*value);
    if (!text) return 0;
    static_cast<PropertyMap*>(context)->values_[name] = std::move(*text);
    return 1;
  }

  template <typename Number>
  static std::string Shortest(Number number) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, number);
    return std::string(buffer, result.ptr);
  }

  static std::optional<std::string> Format(const fm_variant& value) {
    switch (value.type) {
      case FM_VT_BOOL:
        return value.value.boolean != 0 ? "True" : "False";
      case FM_VT_I2:
        return std::to_string(value.value.i2);
      case FM_VT_I4:
        return std::to_string(value.value.i4);
      case FM_VT_R4:
        return Shortest(value.value.r4);
      case FM_VT_R8:
        return Shortest(value.value.r8);
      case FM_VT_STR:
        if (value.value.str == nullptr) return std::nullopt;
        return std::string(value.value.str);
      default:
        return std::nullopt;
    }
  }

  std::map<std::string, std::string> values_;
};

// One control created by name on a host form.
class Resizer {
 public:
  // Loads the library and creates "Resizer.pelResizer" on form, with its properties from bag
  // (or the defaults without one). Nothing on failure, with *error (when given) saying why.
  static std::optional<Resizer> Create(QWidget* form, PropertyMap* bag = nullptr,
                                       std::string* error = nullptr, int32_t flags = 0) {
    const Library* library = Library::Load(error);
    if (library == nullptr) return std::nullopt;
    fm_property_bag properties{};
    if (bag != nullptr) properties = bag->Bag();
    fm_control* control = nullptr;
    const fm_status status =
        library->create(FITMORPH_PROG_ID, static_cast<void*>(form),
                        bag != nullptr ? &properties : nullptr, flags, &control);
    if (!FM_SUCCEEDED(status)) {
      if (error != nullptr)
        *error = "cannot create " FITMORPH_PROG_ID ": " + std::to_string(status);
      return std::nullopt;
    }
    return Resizer(library, control);
  }

  fm_status InitResizeControl() const { return Call(FITMORPH_DISPID_INIT_RESIZE_CONTROL); }
  fm_status ResizeControls() const { return Call(FITMORPH_DISPID_RESIZE_CONTROLS); }
  fm_status QuickResizeControls() const { return Call(FITMORPH_DISPID_QUICK_RESIZE_CONTROLS); }
  fm_status Restore() const { return Call(FITMORPH_DISPID_RESTORE); }
  fm_status UpdateControls() const { return Call(FITMORPH_DISPID_UPDATE_CONTROLS); }

  // Calls the method with dispatch identifier dispid.
  fm_status Call(int32_t dispid) const {
    return library_->invoke(control_, dispid, nullptr, FM_INVOKE_METHOD, nullptr, 0, nullptr);
  }
  // Reads the property called name into *value.
  fm_status Get(const char* name, fm_variant* value) const {
    return library_->invoke(control_, 0, name, FM_INVOKE_GET, nullptr, 0, value);
  }
  // Writes value to the property called name.
  fm_status Put(const char* name, const fm_variant& value) const {
    return library_->invoke(control_, 0, name, FM_INVOKE_PUT, &value, 1, nullptr);
  }
  // Saves every property into bag.
  fm_status Save(PropertyMap& bag) const {
    const fm_property_bag properties = bag.Bag();
    return library_->save_properties(control_, &properties);
  }

  fm_control* handle() const { return control_; }
  // The control's widget, a child of the form.
  QWidget* widget() const { return reinterpret_cast<QWidget*>(control_); }
  const Library& library() const { return *library_; }

 private:
  Resizer(const Library* library, fm_control* control) : library_(library), control_(control) {}

  const Library* library_;
  fm_control* control_;
};

}  // namespace fitmorph::host

#endif  // FITMORPH_HOST_H_
