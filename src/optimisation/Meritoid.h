#pragma once

#include <memory>
#include <string>
#include <vector>

#include "analysis/LensRoles.h"
#include "foundation/objects/VKObject.h"
#include "platform/Color.h"
#include "platform/Value.h"

namespace orb::optimisation {

using analysis::LensPtr;

/// One merit operand: measures one property of a lens (`value`, in calculation units) and
/// compares it, in display units, with a target. Its residual is
/// (displayValue − target) / tolerance, 0 when excluded; its contribution is half the sum
/// of its squared residuals. Kinds of operands are subclasses that override `evaluation`
/// (and, for ray sets, `residuals`).
///
/// Evaluation runs preEvaluation, evaluation, postEvaluation: a subclass's evaluation
/// writes only the evaluation fields (value, message, result), which postEvaluation then
/// moves into the public ones, so observers see one consistent change. A failed
/// evaluation leaves NaN and a message; a non-finite value never passes for a good one.
///
/// Make operands with `make<T>()` (defaults applied) or a keyed archive.
class Meritoid : public foundation::VKObject, public analysis::LensUser {
 public:
  template <class T>
  static std::shared_ptr<T> make() {
    auto m = platform::makeObject<T>();
    m->nontrivialize();
    return m;
  }

  /// Plain construction, for the archive registry; `make` also applies the defaults.
  Meritoid() = default;

  static const platform::KeyTable& classKeys();
  const platform::KeyTable& keys() const override { return classKeys(); }
  std::string className() const override { return "Meritoid"; }
  std::string description() const override;

  // --- overridable behaviour ------------------------------------------------------------
  virtual std::string defaultCalculationUnits() const;
  virtual std::string defaultDisplayUnits() const;
  /// The defaults of a new operand: default units, tolerance 0.01, included.
  virtual void nontrivialize();
  virtual std::vector<std::string> coderKeys() const;
  /// The values that survive a change of operand kind: "lens" and the coder keys.
  virtual std::vector<std::string> conformationKeys() const;
  virtual void preEvaluation();
  /// Measures into the evaluation fields; nothing in the base.
  virtual void evaluation() {}
  virtual void postEvaluation();
  virtual void setScript(const std::string& script) { (void)script; }
  virtual std::string displayIdentifier() const { return m_identifier; }
  virtual std::vector<std::string> possibleUnits() const;
  virtual bool isDimensionless() const { return false; }
  /// The value in display units (the plain value when dimensionless).
  virtual double displayValue() const;
  /// The residuals of this operand: one in the base, none while excluded.
  virtual std::vector<double> residuals() const;
  /// The residual as key-value coding shows it: a number (0 when excluded), or an array
  /// for operands with several residuals.
  virtual platform::Value residual() const;
  /// True for kinds whose residual is an array.
  virtual bool hasResidualArray() const { return false; }
  double contribution() const;
  /// A new operand of the same class with the defaults applied.
  virtual std::shared_ptr<Meritoid> makeEmpty() const;
  /// What a decoded operand stands for: itself, or (for obsolete kinds) its replacement.
  virtual std::shared_ptr<Meritoid> replacementAfterDecoding() { return self(); }

  // --- LensUser ----------------------------------------------------------------------------
  LensPtr lens() const override { return m_lens; }
  /// Stores the lens; a lens marks the operand for evaluation.
  void setLens(LensPtr lens) override;
  void firstTimeWithLens(const LensPtr& lens) override { (void)lens; }
  void setLensKeyPathUpdateDictionary(const platform::Dictionary& renames) override { (void)renames; }

  // --- evaluation ------------------------------------------------------------------------
  void evaluate();
  /// Takes over the conformation values that this operand and `other` share.
  void initWithMeritoid(const Meritoid& other);
  /// A copy of this operand's class and values (taken under the operand's lock).
  std::shared_ptr<Meritoid> clone() const;

  // --- units -------------------------------------------------------------------------------
  static const std::vector<std::string>& lengthUnits();
  /// Metres per unit; "waves" is the lens's primary wavelength (0 without a lens); any
  /// unknown unit counts 1.
  double mksValueOfUnits(const std::string& units) const;
  double convert(double value, const std::string& from, const std::string& to) const;
  /// Replaces stored units that the operand's kind does not offer by the defaults.
  void validateUnits();

  // --- accessors -----------------------------------------------------------------------------
  const std::string& identifier() const { return m_identifier; }
  void setIdentifier(const std::string& identifier);
  double value() const { return m_value; }
  void setValue(double value) { setAndAnnounce("value", m_value, value); }
  bool needsEvaluation() const { return m_needsEvaluation; }
  void setNeedsEvaluation(bool on) { setAndAnnounce("needsEvaluation", m_needsEvaluation, on); }
  double target() const { return m_target; }
  void setTarget(double target) { setAndAnnounce("target", m_target, target); }
  double tolerance() const { return m_tolerance; }
  /// Only a positive tolerance is accepted; anything else leaves the old one.
  void setTolerance(double tolerance);
  /// True when the tolerance is usable; an operand without one contributes nothing.
  bool hasUsableTolerance() const { return m_tolerance > 0; }
  double importance() const { return m_importance; }
  void setImportance(double importance) { setAndAnnounce("importance", m_importance, importance); }
  double percentile() const { return 100.0 * m_importance; }
  bool included() const { return m_included; }
  void setIncluded(bool on) { setAndAnnounce("included", m_included, on); }
  const std::string& calculationUnits() const { return m_calculationUnits; }
  void setCalculationUnits(const std::string& units) { setAndAnnounce("calculationUnits", m_calculationUnits, units); }
  const std::string& displayUnits() const { return m_displayUnits; }
  /// Only a unit the kind offers is taken (an empty string also clears); others are ignored.
  void setDisplayUnits(const std::string& units);
  /// The platform's blue when none is set.
  std::shared_ptr<platform::Color> color() const;
  void setColor(std::shared_ptr<platform::Color> color) { setAndAnnounce("color", m_color, std::move(color)); }
  double number() const { return m_number; }
  void setNumber(double number) { setAndAnnounce("number", m_number, number); }
  const std::string& message() const { return m_message; }
  void setMessage(const std::string& message) { setAndAnnounce("message", m_message, message); }

  // Written by `evaluation`, moved into the public fields by `postEvaluation`.
  double evaluationValue() const { return m_evaluationValue; }
  void setEvaluationValue(double v) { m_evaluationValue = v; }
  const std::string& evaluationMessage() const { return m_evaluationMessage; }
  void setEvaluationMessage(std::string m) { m_evaluationMessage = std::move(m); }
  const platform::Dictionary& evaluationResult() const { return m_evaluationResult; }
  void setEvaluationResult(platform::Dictionary d) { m_evaluationResult = std::move(d); }

  // --- archiving (keyed coders only) ---------------------------------------------------------
  void encodeWithCoder(platform::Coder& coder) const override;
  void initWithCoder(const platform::Coder& coder) override;

 protected:
  std::shared_ptr<Meritoid> self() { return std::static_pointer_cast<Meritoid>(shared_from_this()); }
  /// The residual of the base rule for the present display value (0 when excluded or
  /// without a usable tolerance).
  double baseResidual() const;
  /// Stores a decoded tolerance as it was (a stored 0 is kept and reported, not hidden).
  void setStoredTolerance(double tolerance) { setAndAnnounce("tolerance", m_tolerance, tolerance); }

 private:
  LensPtr m_lens;
  std::string m_identifier;
  double m_value = 0;
  bool m_needsEvaluation = false;
  double m_target = 0;
  double m_tolerance = 0.01;
  double m_importance = 0;
  bool m_included = true;
  std::string m_calculationUnits;
  std::string m_displayUnits;
  std::shared_ptr<platform::Color> m_color;
  double m_number = 0;
  std::string m_message;
  std::string m_evaluationMessage;
  double m_evaluationValue = 0;
  platform::Dictionary m_evaluationResult;
};

using MeritoidPtr = std::shared_ptr<Meritoid>;

/// The message of an operand whose stored tolerance cannot be used.
inline constexpr const char* kToleranceNotPositiveMessage = "Tolerance is not positive: operand excluded";

}  // namespace orb::optimisation
