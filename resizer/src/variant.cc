#include "variant.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <optional>
#include <string_view>

namespace fitmorph::internal {
namespace {

std::string_view Trimmed(const char* text) {
  std::string_view view(text);
  while (!view.empty() && (view.front() == ' ' || view.front() == '\t')) view.remove_prefix(1);
  while (!view.empty() && (view.back() == ' ' || view.back() == '\t')) view.remove_suffix(1);
  return view;
}

bool EqualsNoCase(std::string_view text, std::string_view word) {
  if (text.size() != word.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c =
        text[i] >= 'a' && text[i] <= 'z' ? static_cast<char>(text[i] - 'a' + 'A') : text[i];
    if (c != word[i]) return false;
  }
  return true;
}

// A whole text that is a number ("70", " -1.5 ", "+3e2").
std::optional<double> ParseNumber(const char* text) {
  std::string_view view = Trimmed(text);
  if (!view.empty() && view.front() == '+') view.remove_prefix(1);
  double number = 0;
  const auto [end, error] = std::from_chars(view.data(), view.data() + view.size(), number);
  if (view.empty() || error != std::errc() || end != view.data() + view.size()) {
    return std::nullopt;
  }
  return number;
}

// Any numeric value (booleans as 0 and 1) as a double.
std::optional<double> AsNumber(const fm_variant& value) {
  switch (value.type) {
    case FM_VT_BOOL:
      return value.value.boolean != 0 ? 1.0 : 0.0;
    case FM_VT_I2:
      return value.value.i2;
    case FM_VT_I4:
      return value.value.i4;
    case FM_VT_R4:
      return static_cast<double>(value.value.r4);
    case FM_VT_R8:
      return value.value.r8;
    case FM_VT_STR:
      return value.value.str != nullptr ? ParseNumber(value.value.str) : std::nullopt;
    default:
      return std::nullopt;
  }
}

}  // namespace

fm_status Convert(const fm_variant& value, bool* out) {
  if (value.type == FM_VT_STR && value.value.str != nullptr) {
    const std::string_view text = Trimmed(value.value.str);
    if (EqualsNoCase(text, "TRUE")) {
      *out = true;
      return FM_OK;
    }
    if (EqualsNoCase(text, "FALSE")) {
      *out = false;
      return FM_OK;
    }
  }
  const std::optional<double> number = AsNumber(value);
  if (!number || std::isnan(*number)) return FM_E_TYPE_MISMATCH;
  *out = *number != 0;
  return FM_OK;
}

fm_status Convert(const fm_variant& value, float* out) {
  const std::optional<double> number = AsNumber(value);
  if (!number) return FM_E_TYPE_MISMATCH;
  if (std::isfinite(*number) &&
      std::fabs(*number) > static_cast<double>(std::numeric_limits<float>::max())) {
    return FM_E_OVERFLOW;
  }
  *out = static_cast<float>(*number);
  return FM_OK;
}

fm_status Convert(const fm_variant& value, std::int32_t* out) {
  const std::optional<double> number = AsNumber(value);
  if (!number) return FM_E_TYPE_MISMATCH;
  const double rounded = std::round(*number);
  if (!(rounded >= std::numeric_limits<std::int32_t>::min() &&
        rounded <= std::numeric_limits<std::int32_t>::max())) {
    return FM_E_OVERFLOW;
  }
  *out = static_cast<std::int32_t>(rounded);
  return FM_OK;
}

fm_variant MakeVariant(bool value) {
  fm_variant variant{};
  variant.type = FM_VT_BOOL;
  variant.value.boolean = value ? 1 : 0;
  return variant;
}

fm_variant MakeVariant(float value) {
  fm_variant variant{};
  variant.type = FM_VT_R4;
  variant.value.r4 = value;
  return variant;
}

fm_variant MakeVariant(std::int32_t value) {
  fm_variant variant{};
  variant.type = FM_VT_I4;
  variant.value.i4 = value;
  return variant;
}

}  // namespace fitmorph::internal
