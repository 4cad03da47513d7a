#pragma once

#include <string>
#include <vector>

#include "optimisation/Meritoid.h"

namespace orb::optimisation {

/// The operand whose value is a number the lens model offers: its script is a key path
/// evaluated on the operand, so "lens.focalLength" reads the focal length of the
/// operand's lens. The residual filter makes the target a plain target ("Target"), a
/// lower bound ("Lower bound": only a value below the target counts) or an upper bound
/// ("Upper bound").
///
/// A script that cannot be read (no lens, an unknown key, no number) leaves NaN and says
/// why in the message and `interpreterError`.
class MeritoidKeyPath : public Meritoid {
 public:
  static const platform::KeyTable& classKeys();
  const platform::KeyTable& keys() const override { return classKeys(); }
  std::string className() const override { return "MeritoidKeyPath"; }

  /// A new key-path operand of one of the value-based kinds (identifier and script set).
  static std::shared_ptr<MeritoidKeyPath> makeKind(const std::string& identifier, const std::string& script);

  void nontrivialize() override;
  std::vector<std::string> coderKeys() const override;
  bool isDimensionless() const override;
  void setScript(const std::string& script) override;
  void evaluation() override;
  void postEvaluation() override;
  std::vector<double> residuals() const override;
  std::shared_ptr<Meritoid> makeEmpty() const override;

  static const std::vector<std::string>& possibleResidualFilters();
  const std::string& script() const { return m_script; }
  const std::string& interpreterError() const { return m_interpreterError; }
  void setInterpreterError(const std::string& e) { setAndAnnounce("interpreterError", m_interpreterError, e); }
  const std::string& residualFilter() const { return m_residualFilter; }
  void setResidualFilter(const std::string& f) { setAndAnnounce("residualFilter", m_residualFilter, f); }

 private:
  std::string m_script;
  std::string m_interpreterError;
  std::string m_residualFilter = "Target";
};

/// Operands of old documents whose scripts were expressions of an older notation: decoded,
/// they translate their script into a key path and stand down for a MeritoidKeyPath.
class MeritoidFScript : public MeritoidKeyPath {
 public:
  std::string className() const override { return "MeritoidFScript"; }
  std::shared_ptr<Meritoid> replacementAfterDecoding() override;
  /// The key path for an old expression.
  static std::string translatedScript(const std::string& script);
};

}  // namespace orb::optimisation
