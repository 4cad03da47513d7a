#include "foundation/objects/TransformationMatrix.h"

#include "platform/Exception.h"

namespace orb::foundation {

std::string toString(const TransformationMatrix& a) {
  std::string s = "(";
  for (int r = 0; r < 4; ++r) {
    s += platform::format("(%.17g, %.17g, %.17g, %.17g)", a(r, 0), a(r, 1), a(r, 2), a(r, 3));
    s += r < 3 ? ", " : ")";
  }
  return s;
}

}  // namespace orb::foundation
