// Saving the control's properties to the host form's property bag and loading them from it.
#include "fitmorph/pel_resizer.h"
#include "property_table.h"

namespace fitmorph {

bool pelResizer::ReadProperties(const fm_property_bag& bag) {
  ResizerProperties props;
  bool all_read = true;
  for (const internal::PropertyInfo& property : internal::PropertyTable()) {
    fm_variant value{};
    if (bag.read == nullptr || bag.read(bag.context, internal::NameOf(property), &value) == 0) {
      continue;
    }
    if (internal::Store(property, value, props) != FM_OK) all_read = false;
  }
  if (!(props.max_font_size > 0)) {
    props.max_font_size = ResizerProperties().max_font_size;
    all_read = false;
  }
  LoadProperties(props);
  return all_read;
}

bool pelResizer::WriteProperties(const fm_property_bag& bag) const {
  if (bag.write == nullptr) return false;
  for (const internal::PropertyInfo& property : internal::PropertyTable()) {
    const fm_variant value = internal::ValueOf(property, props_);
    if (bag.write(bag.context, internal::NameOf(property), &value) == 0) return false;
  }
  return true;
}

}  // namespace fitmorph
