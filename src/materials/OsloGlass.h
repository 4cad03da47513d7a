#pragma once

#include <string>
#include <string_view>

#include "materials/ZemaxGlass.h"

namespace orb::materials {

/// A glass from an OSLO catalog. Formula numbers follow OSLO's numbering:
///   1 Schott (as Zemax 1), 2 Sellmeier with B1 B2 B3 C1 C2 C3, 3 Conrady (as Zemax 5),
///   5 Herzberger (as Zemax 3); 4 and any other number have no law here and answer 0.
class OsloGlass : public ZemaxGlass {
 public:
  /// A glass read from one catalog line; nothing when the line does not hold a glass
  /// (`why` then says what was wrong).
  static std::shared_ptr<OsloGlass> glassWithCString(std::string_view line, std::string* why = nullptr);
  /// Fills the glass from one catalog line; false (and `why`) when a field is missing or a
  /// count exceeds what the glass can hold.
  bool takePropertiesFromCString(std::string_view line, std::string* why = nullptr);

  std::shared_ptr<Glass> makeEmpty() const override;
  void initWithGlass(const Glass& other) override;

  const std::string& CFSAP() const { return m_CFSAP; }
  void setCFSAP(std::string s) { m_CFSAP = std::move(s); }
  double transmission400nm25mm() const { return m_transmission400nm25mm; }
  void setTransmission400nm25mm(double t) { m_transmission400nm25mm = t; }
  double hardness() const { return m_hardness; }
  double dndT() const { return m_dndT; }

  bool validWavelengthInMicrons(double lambda) const override;
  double indexAtWavelengthInMicrons(double lambda) const override;
  const std::vector<int>& formulaNumbers() const override;
  const std::vector<std::string>& formulaNames() const override;
  const std::vector<std::string>& coefficientNames() const override;
  /// Only the four OSLO laws; any other number (0 included) gives no index at all.
  bool hasKnownFormula() const override;
  /// Starting values by law, mapped from OSLO's numbering (the Sellmeier form keeps its
  /// own coefficient order).
  void guessForWavelengthInMicrons(double lambda, double n) override;

 private:
  std::string m_CFSAP;
  double m_hardness = 0.0;
  double m_dndT = 0.0;
  double m_transmission400nm25mm = 0.0;
};

}  // namespace orb::materials
