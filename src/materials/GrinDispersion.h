#pragma once

#include <array>
#include <memory>
#include <optional>
#include <string>

#include "materials/Glass.h"

namespace orb::foundation {
class Scanner;
}

namespace orb::materials {

/// The dispersion model of a gradient-index material, held as the glass of a Gradient 5
/// surface. Its index depends on the local base index n0 (what the medium's profile gives
/// at a point) and on the wavelength λ in µm:
///
///   n² = n0² + (λ² − λref²) · Σi=0..2 Ki(n0) / (λ² − Li(n0)),
///   Ki(n0) = Σj<nK K[i][j]·n0^j,   Li(n0) = Σj<nL L[i][j]·n0^j.
///
/// At λ = λref the index is the base index whatever the coefficients. The media ask for
/// n, dn/dn0 and d²n/dn0² on every integration step, so those are plain arithmetic.
class GrinDispersion : public Glass {
 public:
  static constexpr int kMaxTerms = 10;
  using Row = std::array<double, kMaxTerms>;

  /// λ 0.4–2.0 µm, λref 0.67 µm, nK 3, nL 1, K row 0 = (0.11098, 0, −0.06172), else 0.
  GrinDispersion();

  std::shared_ptr<Glass> makeEmpty() const override;
  void initWithGlass(const Glass& other) override;

  /// One library entry at the scanner: name (letters and digits), λmin, λmax, λref, nK,
  /// nL, three K rows of nK numbers, three L rows of nL numbers. Nothing, and the scanner
  /// back where it was, when no name stands there. An entry that is malformed (a count
  /// outside 0…10, a number missing) also gives nothing and the reason in `why`; the
  /// scanner is then left at the start of the next entry.
  static std::shared_ptr<GrinDispersion> withScanner(foundation::Scanner& scanner, std::string* why = nullptr,
                                                     bool* hadName = nullptr);

  // --- The law: hot paths ---------------------------------------------------------------
  /// n at base index n0 and λ µm (+∞ where the law gives no number).
  double indexOfRefractionForBaseValue(double n0, double lambda) const;
  /// dn/dn0, analytic.
  double dndnrefForBaseValue(double n0, double lambda) const;
  /// d²n/dn0², analytic.
  double d2ndnref2ForBaseValue(double n0, double lambda) const;
  /// n, dn/dn0 and d²n/dn0² in one pass (what the force gradient needs).
  void derivativesForBaseValue(double n0, double lambda, double& n, double& dn, double& d2n) const;

  /// The law with the glass's reference index as base index.
  double indexAtWavelengthInMicrons(double lambda) const override;
  std::string glassDescription() const override;
  bool isModel() const override { return false; }

  // --- Data -------------------------------------------------------------------------------
  double lambdaMin() const { return m_lambdaMin; }
  double lambdaMax() const { return m_lambdaMax; }
  double lambdaRef() const { return m_lambdaRef; }
  void setLambdaMin(double v) { setAndAnnounce("lambdaMin", m_lambdaMin, v); }
  void setLambdaMax(double v) { setAndAnnounce("lambdaMax", m_lambdaMax, v); }
  void setLambdaRef(double v) { setAndAnnounce("lambdaRef", m_lambdaRef, v); }
  int nK() const { return m_nK; }
  int nL() const { return m_nL; }
  /// Counts are clamped to 0…kMaxTerms; terms beyond the count are kept but unused.
  void setNK(int n);
  void setNL(int n);
  const std::array<Row, 3>& kij() const { return m_K; }
  const std::array<Row, 3>& lij() const { return m_L; }
  void setK(int i, int j, double value);
  void setL(int i, int j, double value);

  /// "K%d%d" / "L%d%d": the archive key of row i, column j.
  static std::string coefficientKey(char table, int i, int j);

  void encodeWithCoder(platform::Coder& coder) const override;
  void initWithCoder(const platform::Coder& coder) override;
  const platform::KeyTable& keys() const override { return classKeys(); }
  static const platform::KeyTable& classKeys();

 private:
  double m_lambdaMin = 0.4;
  double m_lambdaMax = 2.0;
  double m_lambdaRef = 0.67;
  int m_nK = 3;
  int m_nL = 1;
  std::array<Row, 3> m_K{};
  std::array<Row, 3> m_L{};
};

}  // namespace orb::materials
