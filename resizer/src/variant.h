// Conversions between fm_variant and the types of the control's properties, as fitmorph.h
// describes them for arguments and stored values.
#ifndef FITMORPH_SRC_VARIANT_H_
#define FITMORPH_SRC_VARIANT_H_

#include <cstdint>

#include "fitmorph/fitmorph.h"

namespace fitmorph::internal {

// Each returns FM_OK and stores into *out, or FM_E_TYPE_MISMATCH / FM_E_OVERFLOW and leaves
// *out alone.
fm_status Convert(const fm_variant& value, bool* out);
fm_status Convert(const fm_variant& value, float* out);
fm_status Convert(const fm_variant& value, std::int32_t* out);

fm_variant MakeVariant(bool value);
fm_variant MakeVariant(float value);
fm_variant MakeVariant(std::int32_t value);

}  // namespace fitmorph::internal

#endif  // FITMORPH_SRC_VARIANT_H_
