#pragma once

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "analysis/LensRoles.h"
#include "foundation/objects/VKObject.h"
#include "optimisation/Meritoid.h"
#include "platform/Observation.h"

namespace orb::optimisation {

/// A named, ordered list of operands whose value is the sum of their contributions.
///
/// The merit function watches its operands: an operand marked for evaluation marks the
/// merit function, and a changed contribution (a new target, tolerance, unit or inclusion)
/// marks it too, so the next `evaluate` re-totals without re-measuring that operand. A
/// new lens marks every operand, so it re-measures all.
///
/// Threads: an edited merit function lives on the main thread; the optimiser works on a
/// `copy` on its worker. Make merit functions with `create()` or a keyed archive.
class MeritFunction : public foundation::VKObject, public analysis::LensUser {
 public:
  using Meritoids = std::vector<MeritoidPtr>;

  static std::shared_ptr<MeritFunction> create();
  MeritFunction() = default;

  static const platform::KeyTable& classKeys();
  const platform::KeyTable& keys() const override { return classKeys(); }
  std::string className() const override { return "MeritFunction"; }

  /// Name "untitled", no operands.
  void nontrivialize();
  static const std::vector<std::string>& coderKeys();

  // --- LensUser ----------------------------------------------------------------------------
  LensPtr lens() const override { return m_lens; }
  /// Hands a lens to every operand (first-time to those without one).
  void setLens(LensPtr lens) override;
  void firstTimeWithLens(const LensPtr& lens) override;
  void setLensKeyPathUpdateDictionary(const platform::Dictionary& renames) override { (void)renames; }

  // --- evaluation ------------------------------------------------------------------------
  /// Evaluates the operands that need it, then totals.
  void evaluate();
  /// Evaluates every operand, then totals.
  void evaluateAllMeritoids();
  Meritoids meritoidsNeedingEvaluation() const;
  static void evaluateMeritoids(const Meritoids& meritoids);
  /// The sum of the contributions; sets every operand's importance.
  double sumOfMeritoids();
  /// Every operand's residuals, one flat list in operand order: the least-squares vector.
  std::vector<double> residuals() const;
  /// Each operand's `residual` as key-value coding shows it.
  platform::Array residualsUnmerged() const;
  /// Each operand's display value.
  platform::Array values() const;
  /// One dictionary per operand with "number", "included", "identifier",
  /// "displayIdentifier", "displayValue", "displayUnits", "needsEvaluation".
  platform::Array contributionSummary() const;

  // --- operands --------------------------------------------------------------------------
  const Meritoids& meritoidArray() const { return m_meritoids; }
  void setMeritoidArray(Meritoids meritoids);
  std::size_t countOfMeritoidArray() const { return m_meritoids.size(); }
  MeritoidPtr objectInMeritoidArrayAtIndex(std::size_t index) const;
  void insertObjectInMeritoidArrayAtIndex(MeritoidPtr meritoid, std::size_t index);
  void removeObjectFromMeritoidArrayAtIndex(std::size_t index);
  /// Appends.
  void addMeritoid(MeritoidPtr meritoid) { insertObjectInMeritoidArrayAtIndex(std::move(meritoid), m_meritoids.size()); }

  // --- plain accessors ---------------------------------------------------------------------
  const std::string& name() const { return m_name; }
  void setName(const std::string& name) { setAndAnnounce("name", m_name, name); }
  const std::string& message() const { return m_message; }
  void setMessage(const std::string& message) { setAndAnnounce("message", m_message, message); }
  double doubleValue() const { return m_doubleValue; }
  void setDoubleValue(double value) { setAndAnnounce("doubleValue", m_doubleValue, value); }
  bool needsEvaluation() const { return m_needsEvaluation; }
  void setNeedsEvaluation(bool on) { setAndAnnounce("needsEvaluation", m_needsEvaluation, on); }
  bool isEvaluating() const { return m_evaluating; }

  /// Same name and value, copies of the operands, no lens (taken under the merit
  /// function's lock).
  std::shared_ptr<MeritFunction> copy() const;

  void encodeWithCoder(platform::Coder& coder) const override;
  void initWithCoder(const platform::Coder& coder) override;

 protected:
  void willDeallocate() override;

 private:
  void evaluateList(const Meritoids& list);
  void startWatchingMeritoid(const MeritoidPtr& meritoid);
  void stopWatchingMeritoid(const MeritoidPtr& meritoid);

  std::string m_name;
  LensPtr m_lens;
  bool m_needsEvaluation = false;
  Meritoids m_meritoids;
  double m_doubleValue = 0;
  std::string m_message;
  bool m_evaluating = false;
  std::unordered_map<const Meritoid*, std::vector<platform::Observation>> m_watches;
};

using MeritFunctionPtr = std::shared_ptr<MeritFunction>;

}  // namespace orb::optimisation
