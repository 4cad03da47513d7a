#include "optimisation/MeritoidKeyPath.h"

#include <cmath>
#include <limits>

#include "optimisation/LensQuantities.h"
#include "platform/Exception.h"
#include "platform/KeyTable.h"

namespace orb::optimisation {

using platform::Value;

namespace {
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
const char* const kLensPrefix = "lens.";
}  // namespace

const platform::KeyTable& MeritoidKeyPath::classKeys() {
  using K = platform::Keys<MeritoidKeyPath>;
  static const std::vector<std::string> residualSources{"included",     "value",     "calculationUnits",
                                                        "displayUnits", "target",    "tolerance",
                                                        "residualFilter"};
  static const platform::KeyTable table(
      &Meritoid::classKeys(),
      {
          platform::KeyEntry{"script", [](const platform::Object& o) -> Value {
                               return static_cast<const MeritoidKeyPath&>(o).script();
                             },
                             [](platform::Object& o, const Value& v) {
                               static_cast<MeritoidKeyPath&>(o).setScript(v.isNil() ? std::string() : v.asString());
                             }},
          K::property("interpreterError", &MeritoidKeyPath::interpreterError, &MeritoidKeyPath::setInterpreterError),
          K::property("residualFilter", &MeritoidKeyPath::residualFilter, &MeritoidKeyPath::setResidualFilter),
          platform::Keys<Meritoid>::getter("residual", &Meritoid::residual).dependsOn(residualSources),
          platform::Keys<Meritoid>::getter("contribution", &Meritoid::contribution).dependsOn(residualSources),
      });
  return table;
}

std::shared_ptr<MeritoidKeyPath> MeritoidKeyPath::makeKind(const std::string& identifier, const std::string& script) {
  auto m = make<MeritoidKeyPath>();
  m->setIdentifier(identifier);
  m->setScript(script);
  return m;
}

void MeritoidKeyPath::nontrivialize() {
  Meritoid::nontrivialize();
  setResidualFilter("Target");
}

std::vector<std::string> MeritoidKeyPath::coderKeys() const {
  std::vector<std::string> keys = Meritoid::coderKeys();
  keys.push_back("script");
  keys.push_back("residualFilter");
  return keys;
}

bool MeritoidKeyPath::isDimensionless() const { return identifier().rfind("Mag", 0) == 0; }

void MeritoidKeyPath::setScript(const std::string& script) {
  willChangeValueForKey("script");
  m_script = script;
  didChangeValueForKey("script");
  setInterpreterError({});
  setNeedsEvaluation(true);
}

void MeritoidKeyPath::evaluation() {
  if (m_script.empty()) return;  // nothing to read: the last value stays
  if (!lens()) {
    setEvaluationMessage("No lens");
    setEvaluationValue(kNaN);
    return;
  }
  try {
    Value result;
    const std::string name = m_script.rfind(kLensPrefix, 0) == 0 ? m_script.substr(5) : std::string();
    if (auto derived = name.empty() ? std::nullopt : derivedLensQuantity(*lens(), name))
      result = *derived;
    else
      result = valueForKeyPath(m_script);
    if (result.isNil()) {
      setEvaluationMessage("Result is nil");
      setEvaluationValue(kNaN);
    } else if (result.isNumber()) {
      setEvaluationValue(result.asDouble());
    } else {
      setEvaluationMessage("Result is not a number");
      setEvaluationValue(kNaN);
    }
  } catch (const platform::Exception& e) {
    // A script that names an unknown key must not pass for a measurement.
    setEvaluationMessage(e.reason());
    setEvaluationValue(kNaN);
  }
}

void MeritoidKeyPath::postEvaluation() {
  setInterpreterError(evaluationMessage());
  Meritoid::postEvaluation();
}

const std::vector<std::string>& MeritoidKeyPath::possibleResidualFilters() {
  static const std::vector<std::string> filters{"Target", "Lower bound", "Upper bound"};
  return filters;
}

std::vector<double> MeritoidKeyPath::residuals() const {
  const double shown = displayValue();
  if (std::isnan(shown)) return {baseResidual()};  // a failed reading never satisfies a bound
  if (m_residualFilter == "Lower bound" && !(target() > shown)) return {0.0};
  if (m_residualFilter == "Upper bound" && !(shown > target())) return {0.0};
  return {baseResidual()};
}

std::shared_ptr<Meritoid> MeritoidKeyPath::makeEmpty() const { return make<MeritoidKeyPath>(); }

// --- old scripts ----------------------------------------------------------------------------------

std::string MeritoidFScript::translatedScript(const std::string& script) {
  static const std::vector<std::pair<std::string, std::string>> known{
      {"(S at: S count iota ~= 0) thickness \\ #+", "lens.totalTrack"},
      {"S petzvalTerm \\ #+", "lens.petzvalSum"},
      {"(S at: (S glass ~= nil)) edgeThickness \\ #min:", "lens.edgeThickness"},
      {"(S at: (S glass ~= nil)) thickness \\ #min:", "lens.glassThickness"},
  };
  for (const auto& [old, keyPath] : known)
    if (script == old) return keyPath;
  std::string out = script;
  const std::string from = "lens ";
  for (std::size_t at = out.find(from); at != std::string::npos; at = out.find(from, at + 1))
    out.replace(at, from.size(), "lens.");
  return out;
}

std::shared_ptr<Meritoid> MeritoidFScript::replacementAfterDecoding() {
  setScript(translatedScript(script()));
  auto replacement = make<MeritoidKeyPath>();
  replacement->initWithMeritoid(*this);
  return replacement;
}

}  // namespace orb::optimisation
