#pragma once

#include <cstdint>
#include <limits>

namespace orb::foundation {

/// One point of a function of one variable and the value there.
struct VKCoordinateAndFunctionValue {
  double coordinate = 0;
  double functionValue = 0;
};

/// The two ends of a one-dimensional search interval with their values.
struct VKBracketingDoublet {
  VKCoordinateAndFunctionValue first;
  VKCoordinateAndFunctionValue second;
};

/// A bracket of a minimum: b lies between a and c, and f(b) is no larger than f(a) or f(c).
struct VKBracketingTriplet {
  VKCoordinateAndFunctionValue a;
  VKCoordinateAndFunctionValue b;
  VKCoordinateAndFunctionValue c;
};

}  // namespace orb::foundation
