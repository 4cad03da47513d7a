#pragma once

#include <mutex>
#include <optional>

#include "foundation/polynomial/SplineInterpolator.h"
#include "materials/ZemaxGlass.h"

namespace orb::materials {

/// A glass defined by measured (wavelength, index) rows: formula 999 ("Spline") runs a
/// cubic spline through the rows, sorted by wavelength, extrapolating beyond them. Switched
/// to a catalog formula it behaves as a ZemaxGlass.
class GlassWithIndexData : public ZemaxGlass {
 public:
  static constexpr int kSplineFormula = 999;

  /// Units "nm", the three default rows, formula 999.
  GlassWithIndexData();

  std::shared_ptr<Glass> makeEmpty() const override;
  void initWithGlass(const Glass& other) override;

  /// Rows {"wavelength" (in the data units), "indexOfRefraction"} at 656.279, 587.562 and
  /// 486.133 nm.
  static platform::Array defaultIndexData();
  /// The rows as given (in any order).
  const platform::Array& indexData() const { return m_indexData; }
  /// Stores the rows and rebuilds the spline.
  void setIndexData(platform::Array rows);
  /// "nm" or "micron".
  const std::string& dataWavelengthUnits() const { return m_dataWavelengthUnits; }
  void setDataWavelengthUnits(std::string units);
  bool dataUnitsAreMicrons() const { return m_dataUnitsAreMicrons; }
  /// Rebuilds the spline from the rows (none without rows).
  void updateInterpolator();
  bool hasInterpolator() const { return m_interpolator.has_value(); }

  const std::vector<int>& formulaNumbers() const override;
  const std::vector<std::string>& formulaNames() const override;
  const std::vector<std::string>& coefficientNames() const override;
  platform::Dictionary coefficientDictionary() const override;
  /// Formula 999: the spline at λ (in the data units); 0 without rows. Otherwise the
  /// catalog law.
  double indexAtWavelengthInMicrons(double lambda) const override;
  std::string description() const override;

  void encodeWithCoder(platform::Coder& coder) const override;
  /// Also makes the glass mutable: tabulated glasses are the user's own.
  void initWithCoder(const platform::Coder& coder) override;
  const platform::KeyTable& keys() const override { return classKeys(); }
  static const platform::KeyTable& classKeys();

 private:
  std::string m_dataWavelengthUnits = "nm";
  bool m_dataUnitsAreMicrons = false;
  platform::Array m_indexData;
  // The spline keeps a search hint that each evaluation moves: evaluations lock.
  mutable std::optional<foundation::SplineInterpolator> m_interpolator;
  mutable std::mutex m_interpolatorMutex;
};

}  // namespace orb::materials
