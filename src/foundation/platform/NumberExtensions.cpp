#include "foundation/platform/NumberExtensions.h"

#include <cmath>

namespace orb::foundation {

platform::Value asinh(const platform::Value& number) { return std::asinh(number.asDouble()); }
platform::Value acosh(const platform::Value& number) { return std::acosh(number.asDouble()); }
platform::Value atanh(const platform::Value& number) { return std::atanh(number.asDouble()); }
platform::Value erf(const platform::Value& number) { return std::erf(number.asDouble()); }
platform::Value erfc(const platform::Value& number) { return std::erfc(number.asDouble()); }

std::complex<double> csqrt(const platform::Value& number) {
  return std::sqrt(std::complex<double>(number.asDouble(), 0.0));
}

}  // namespace orb::foundation
