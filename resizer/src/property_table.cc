#include "property_table.h"

#include <QString>

#include "variant.h"

namespace fitmorph::internal {
namespace {

const PropertyInfo kProperties[] = {
    TypedProperty<bool>{"ResizeFonts", &ResizerProperties::resize_fonts,
                        &pelResizer::SetResizeFonts},
    TypedProperty<bool>{"MoveOnly", &ResizerProperties::move_only, &pelResizer::SetMoveOnly},
    TypedProperty<float>{"MaxFontSize", &ResizerProperties::max_font_size,
                         &pelResizer::SetMaxFontSize},
    TypedProperty<std::int32_t>{"FormWidth", &ResizerProperties::form_width,
                                &pelResizer::SetFormWidth},
    TypedProperty<std::int32_t>{"FormHeight", &ResizerProperties::form_height,
                                &pelResizer::SetFormHeight},
    TypedProperty<bool>{"MDIChildForm", &ResizerProperties::mdi_child_form,
                        &pelResizer::SetMDIChildForm},
    TypedProperty<float>{"FRatio", &ResizerProperties::f_ratio, &pelResizer::SetFRatio},
    TypedProperty<float>{"HRatio", &ResizerProperties::h_ratio, &pelResizer::SetHRatio},
    TypedProperty<float>{"VRatio", &ResizerProperties::v_ratio, &pelResizer::SetVRatio},
};

}  // namespace

std::span<const PropertyInfo> PropertyTable() {
  return kProperties;
}

const char* NameOf(const PropertyInfo& property) {
  return std::visit([](const auto& typed) { return typed.name; }, property);
}

const PropertyInfo* FindProperty(const char* name) {
  const QString wanted = QString::fromUtf8(name);
  for (const PropertyInfo& property : kProperties) {
    if (wanted.compare(QLatin1String(NameOf(property)), Qt::CaseInsensitive) == 0) {
      return &property;
    }
  }
  return nullptr;
}

fm_variant ValueOf(const PropertyInfo& property, const ResizerProperties& props) {
  return std::visit([&](const auto& typed) { return MakeVariant(props.*typed.field); }, property);
}

fm_status Store(const PropertyInfo& property, const fm_variant& value, ResizerProperties& props) {
  return std::visit(
      [&](const auto& typed) {
        auto converted = props.*typed.field;
        const fm_status status = Convert(value, &converted);
        if (status == FM_OK) props.*typed.field = converted;
        return status;
      },
      property);
}

fm_status Put(const PropertyInfo& property, const fm_variant& value, pelResizer& control) {
  return std::visit(
      [&](const auto& typed) {
        auto converted = control.Properties().*typed.field;
        const fm_status status = Convert(value, &converted);
        if (status == FM_OK) (control.*typed.setter)(converted);
        return status;
      },
      property);
}

}  // namespace fitmorph::internal
