#pragma once

#include <limits>
#include <string>

#include "materials/GlassWithCoefficients.h"

namespace orb::materials {

/// A catalog glass with one of the thirteen AGF dispersion formulas and the catalog's
/// metadata (wavelength range, expansion, density, thermal and other data records).
///
/// Formulas (λ in µm, L = λ², coefficients in name order):
///   1 Schott          n² = A0 + A2·L + B2/L + B4/L² + B6/L³ + B8/L⁴
///   2 Sellmeier 1     n² = 1 + Σk=1..3 Kk·L/(L − Lk)
///   3 Herzberger      n = A + B·H + C·H² + D·L + E·L² + F·L³,  H = 1/(L − 0.028)
///   4 Sellmeier 2     n² = 1 + A + B1·L/(L − L1²) + B2/(L − L2²)
///   5 Conrady         n = n0 + A/λ + B/λ^3.5
///   6 Sellmeier 3     n² = 1 + Σk=1..4 Kk·L/(L − Lk)
///   7 Handbook 1      n² = A + B/(L − C) − D·L
///   8 Handbook 2      n² = A + B·L/(L − C) − D·L
///   9 Sellmeier 4     n² = A + B·L/(L − C) + D·L/(L − E)
///  10 Extended        n² = A0 + A1·L + A2/L + A3/L² + A4/L³ + A5/L⁴ + A6/L⁵ + A7/L⁶
///  11 Sellmeier 5     n² = 1 + Σk=1..5 Kk·L/(L − Lk)
///  12 Extended 2      n² = A0 + A1·L + A2/L + A3/L² + A4/L³ + A5/L⁴ + A6·L² + A7·L³
///  13 Extended 3      n² = A0 + A1·L + A2·L² + A3/L + A4/L² + A5/L³ + A6/L⁴ + A7/L⁵ + A8/L⁶
/// Other numbers fall back to the exponential formula 100 or the model law (and
/// hasKnownFormula says so).
class ZemaxGlass : public GlassWithCoefficients {
 public:
  /// A glass whose name and nameInCatalog are `name`.
  static std::shared_ptr<ZemaxGlass> glassWithName(std::string name);

  std::shared_ptr<Glass> makeEmpty() const override;
  void initWithGlass(const Glass& other) override;

  const std::string& nameInCatalog() const { return m_nameInCatalog; }
  void setNameInCatalog(std::string name);
  std::optional<std::string> catalogName() const override { return m_catalogName; }
  void setCatalogName(std::optional<std::string> name);
  const std::optional<std::string>& catalogType() const { return m_catalogType; }
  void setCatalogType(std::optional<std::string> type);
  /// Valid wavelength range in µm; 0 and +∞ when the catalog gives none.
  double lambdaMin() const { return m_lambdaMin; }
  double lambdaMax() const { return m_lambdaMax; }
  void setWavelengthRange(double min, double max);
  double alpha() const { return m_alpha; }
  double alphaExtended() const { return m_alphaExtended; }
  void setAlpha(double alpha, double extended);
  double density() const { return m_density; }
  void setDensity(double density);
  double dispersionDeviation() const { return m_dispersionDeviation; }
  void setDispersionDeviation(double d);
  int formulaT() const { return m_formulaT; }
  void setFormulaT(int f) { m_formulaT = f; }
  std::size_t nCoefficientDataT() const { return m_nCoefficientDataT; }
  void setNCoefficientDataT(std::size_t n) { m_nCoefficientDataT = n; }
  /// The catalog's "TD" and "OD" lines, kept verbatim.
  const std::optional<std::string>& thermalDataString() const { return m_thermalDataString; }
  void setThermalDataString(std::optional<std::string> s) { m_thermalDataString = std::move(s); }
  const std::optional<std::string>& otherDataString() const { return m_otherDataString; }
  void setOtherDataString(std::optional<std::string> s) { m_otherDataString = std::move(s); }

  std::string catalogTypeDescriptor() const;
  bool isGlassFromCatalog() const override { return m_catalogName.has_value(); }
  std::string glassDescription() const override;
  std::string threeLiner() const;

  bool validWavelengthInMicrons(double lambda) const override;
  double indexAtWavelengthInMicrons(double lambda) const override;

  /// The AGF formula numbers, 1 to 13.
  static constexpr int kFirstZemaxFormula = 1;
  static constexpr int kLastZemaxFormula = 13;
  static bool isZemaxFormula(int formula) { return formula >= kFirstZemaxFormula && formula <= kLastZemaxFormula; }
  /// The catalog formula numbers in menu order, and their names.
  static const std::vector<int>& formulaNumbersZemax();
  static const std::vector<std::string>& formulaNamesZemax();
  const std::vector<int>& formulaNumbers() const override;
  const std::vector<std::string>& formulaNames() const override;
  const std::vector<std::string>& coefficientNames() const override;
  void guessForWavelengthInMicrons(double lambda, double n) override;

  /// The glass as an AGF block (NM, ED, CD, TD, OD, LD, IT lines, each ending in "\n").
  std::string agfEntry() const;

  void encodeWithCoder(platform::Coder& coder) const override;
  void initWithCoder(const platform::Coder& coder) override;
  const platform::KeyTable& keys() const override { return classKeys(); }
  static const platform::KeyTable& classKeys();

 protected:
  /// The Zemax catalog laws 1–13; other numbers go to the superclass.
  double zemaxIndexAtWavelengthInMicrons(double lambda) const;
  /// The Zemax starting values for formulas 1–13.
  void zemaxGuess(int formula, double lambda, double n);

 private:
  std::string m_nameInCatalog;
  std::optional<std::string> m_catalogName;
  std::optional<std::string> m_catalogType;
  double m_lambdaMin = 0.0;
  double m_lambdaMax = std::numeric_limits<double>::infinity();
  double m_alpha = 0.0;
  double m_alphaExtended = 0.0;
  double m_density = 0.0;
  double m_dispersionDeviation = 0.0;
  int m_formulaT = 0;
  std::size_t m_nCoefficientDataT = 0;
  std::optional<std::string> m_thermalDataString;
  std::optional<std::string> m_otherDataString;
};

}  // namespace orb::materials
