#pragma once

#include <array>
#include <cstddef>
#include <span>

#include "materials/Glass.h"

namespace orb::materials {

/// A glass whose dispersion is a formula with up to ten coefficients, each of which may be
/// an optimisation variable. This class knows the exponential formula 100; ZemaxGlass and
/// OsloGlass add the catalog formulas. Coefficients are addressed by the formula's names
/// (key-value coding included) and stored in name order.
class GlassWithCoefficients : public Glass {
 public:
  static constexpr std::size_t kMaxCoefficients = 10;

  std::shared_ptr<Glass> makeEmpty() const override;
  void initWithGlass(const Glass& other) override;

  /// The first `nCoefficientData` values.
  platform::Array coefficientArray() const;
  /// Stores the numbers (the first ten of them), zeroes the rest and announces the change.
  void setCoefficientArray(const platform::Array& values);
  void setCoefficientValuesFromDoubles(const double* values, std::size_t count);
  const std::array<double, kMaxCoefficients>& coefficientValue() const { return m_coefficientValue; }
  const std::array<bool, kMaxCoefficients>& coefficientIsVariable() const { return m_coefficientIsVariable; }
  std::size_t nCoefficientData() const { return m_nCoefficientData; }
  void setNCoefficientData(std::size_t n) { m_nCoefficientData = std::min(n, kMaxCoefficients); }
  /// The value at the name's position (0 for a name the formula does not have).
  double coefficientNamed(std::string_view name) const;

  const std::vector<int>& formulaNumbers() const override;
  const std::vector<std::string>& formulaNames() const override;
  const std::vector<std::string>& coefficientNames() const override;
  platform::Dictionary coefficientDictionary() const override;
  /// Rows in case-insensitive alphabetical order of the names.
  platform::Array invertedCoefficientDictionary() const override;
  void setCoefficientValue(double value, std::string_view name) override;
  void setCoefficientIsVariable(bool variable, std::string_view name) override;
  bool coefficientIsVariableForName(std::string_view name) const override;
  void coefficientsChanged() override;
  void setCoefficientValuesFromDictionary(const platform::Dictionary& d) override;
  void zeroCoefficients() override;
  void makeAllCoefficientsVariable() override;
  bool referenceDataIsDynamic() const override { return m_referenceDataIsDynamic; }
  void setReferenceDataIsDynamic(bool dynamic) override;
  void guessForWavelengthInMicrons(double lambda, double n) override;

  bool hasVariables() const override;
  platform::Array keyPathsForVariables() const override;
  /// Clears the coefficient flags; the nd and Vd flags are left alone.
  void removeVariables() override;
  void setIsMutable(bool isMutable) override;

  double indexAtWavelengthInMicrons(double lambda) const override;

  platform::Value valueForUndefinedKey(std::string_view key) const override;
  void setValueForUndefinedKey(std::string_view key, const platform::Value& value) override;
  void encodeWithCoder(platform::Coder& coder) const override;
  void initWithCoder(const platform::Coder& coder) override;

 protected:
  /// Position of `name` among the current formula's coefficient names, or -1.
  int positionOfCoefficient(std::string_view name) const;
  /// Sets the values without announcing (the guesses announce once at the end).
  void storeCoefficient(std::size_t position, double value) { m_coefficientValue[position] = value; }
  double c(std::size_t i) const { return m_coefficientValue[i]; }
  /// The exponential law or, for any other number, the model glass's.
  double coefficientIndexAtWavelengthInMicrons(double lambda) const;
  /// The current formula names the model's nd and Vd, which live in Glass, not here.
  bool isModelNamed() const;

 private:
  mutable std::size_t m_nCoefficientData = 0;
  std::array<double, kMaxCoefficients> m_coefficientValue{};
  std::array<bool, kMaxCoefficients> m_coefficientIsVariable{};
  bool m_referenceDataIsDynamic = false;
};

}  // namespace orb::materials
