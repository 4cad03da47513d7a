#include "lens/SurfaceAsphereOdd.h"

namespace orb::lens {

std::shared_ptr<Surface> SurfaceAsphereOdd::makeEmpty() const { return platform::makeObject<SurfaceAsphereOdd>(); }

const std::vector<std::string>& SurfaceAsphereOdd::parameterTitleArrayForAsphericCoefficients() const {
  static const std::vector<std::string> titles = [] {
    std::vector<std::string> t;
    for (int e = 1; e <= 10; ++e) t.push_back(parameterNameForExponent(e));
    return t;
  }();
  return titles;
}

void SurfaceAsphereOdd::updateSagPolynomial() {
  foundation::SparsePolynomial p;
  for (int e = 1; e <= 8; ++e) p.setCoefficient(parameterValue(parameterNameForExponent(e)).value_or(0), e);
  setSagPolynomial(std::move(p));
}

}  // namespace orb::lens
