#pragma once

#include <complex>

#include "platform/Value.h"

namespace orb::foundation {

// Functions of a number value, answering a new number value. They take Values so that a
// number read from a dictionary needs no unwrapping; plain doubles use std:: directly.
// A value that is not a number raises "NSInvalidArgumentException".

platform::Value asinh(const platform::Value& number);
platform::Value acosh(const platform::Value& number);
platform::Value atanh(const platform::Value& number);
platform::Value erf(const platform::Value& number);
platform::Value erfc(const platform::Value& number);

/// The complex square root of the number + 0i: a negative number gives a purely
/// imaginary root.
std::complex<double> csqrt(const platform::Value& number);

}  // namespace orb::foundation
