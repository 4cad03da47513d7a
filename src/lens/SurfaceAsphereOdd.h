#pragma once

#include "lens/SurfaceAsphere.h"

namespace orb::lens {

/// The odd asphere: the base conic plus a1·r + a2·r² + … + a8·r⁸. The parameters run to
/// "a10" so that files of other programs keep their values, but "a9" and "a10" do not
/// enter the sag.
class SurfaceAsphereOdd : public SurfaceAsphere {
 public:
  std::string type() const override { return "Odd Asphere"; }
  std::optional<std::string> zemaxType() const override { return std::string("ODDASPHE"); }
  std::shared_ptr<Surface> makeEmpty() const override;
  std::string className() const override { return "SurfaceAsphereOdd"; }

  /// "a1" … "a10".
  const std::vector<std::string>& parameterTitleArrayForAsphericCoefficients() const override;
  /// r¹ … r⁸ from "a1" … "a8".
  void updateSagPolynomial() override;

 protected:
  int exponentOfCoefficient(std::size_t index) const override { return static_cast<int>(index) + 1; }
};

}  // namespace orb::lens
