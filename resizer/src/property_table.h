// The control's properties by name: one table that late-bound calls and the property bag both
// go through.
#ifndef FITMORPH_SRC_PROPERTY_TABLE_H_
#define FITMORPH_SRC_PROPERTY_TABLE_H_

#include <cstdint>
#include <span>
#include <variant>

#include "fitmorph/fitmorph.h"
#include "fitmorph/pel_resizer.h"

namespace fitmorph::internal {

template <typename T>
struct TypedProperty {
  const char* name;
  T ResizerProperties::*field;
  void (pelResizer::*setter)(T);
};

using PropertyInfo =
    std::variant<TypedProperty<bool>, TypedProperty<float>, TypedProperty<std::int32_t>>;

// Every property, in the order in which they are saved.
std::span<const PropertyInfo> PropertyTable();

// The property called name (case-insensitive), or null.
const PropertyInfo* FindProperty(const char* name);

const char* NameOf(const PropertyInfo& property);

// The property's value in props.
fm_variant ValueOf(const PropertyInfo& property, const ResizerProperties& props);

// Converts value to the property's type and stores it in props as it is (as a form loads its
// saved values). On failure props is unchanged.
fm_status Store(const PropertyInfo& property, const fm_variant& value, ResizerProperties& props);

// Converts value to the property's type and sets it through the control's setter, with the
// setter's rules. On failure the control is unchanged.
fm_status Put(const PropertyInfo& property, const fm_variant& value, pelResizer& control);

}  // namespace fitmorph::internal

#endif  // FITMORPH_SRC_PROPERTY_TABLE_H_
