#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "analysis/OBCalculator.h"
#include "optimisation/MeritFunction.h"
#include "platform/Observation.h"

namespace orb::platform {
class UserDefaults;
}

namespace orb::optimisation {

/// Name of the user-defaults dictionary of remembered scan half-widths by last key-path
/// component.
inline constexpr const char* kMeritPlotDeltaDictionaryKey = "MeritPlotDeltaDictionary";

/// Sweeps one lens value (the construction key path) over nominal ± delta and evaluates a
/// merit function at each point, on its worker, on private copies of the lens and the
/// merit function. The plot shows the merit total (tag 0), each operand's residual (1) or
/// each operand's value (2) against the swept value; switching the view redraws from the
/// stored result. A point that fails is NaN in every view. It runs only on request and
/// changes the document's lens only through `saveNominalValue`.
class CalcMeritVsParameter : public analysis::OBCalculator, public analysis::LensUser {
 public:
  static std::shared_ptr<CalcMeritVsParameter> create(platform::UserDefaults& defaults);
  explicit CalcMeritVsParameter(platform::UserDefaults& defaults) : m_defaults(&defaults) {}

  static const platform::KeyTable& classKeys();
  const platform::KeyTable& keys() const override { return classKeys(); }
  std::string className() const override { return "CalcMeritVsParameter"; }

  // --- LensUser ----------------------------------------------------------------------------
  LensPtr lens() const override { return m_lens; }
  void setLens(LensPtr lens) override;
  void firstTimeWithLens(const LensPtr& lens) override { (void)lens; }
  void setLensKeyPathUpdateDictionary(const platform::Dictionary& renames) override;

  /// Held weakly: the window's selection keeps it.
  MeritFunctionPtr meritFunction() const { return m_meritFunction.lock(); }
  void setMeritFunction(const MeritFunctionPtr& f) { m_meritFunction = f; }

  /// The lens's variable key paths (with the focus and wavelength key paths when asked
  /// for); "NO LENS" without a lens.
  std::vector<std::string> keyPathsForVariables();
  bool lensProvidesFocusKeyPath() const;
  bool includeFocusKeyPath() const { return m_includeFocusKeyPath; }
  void setIncludeFocusKeyPath(bool on) { setAndAnnounce("includeFocusKeyPath", m_includeFocusKeyPath, on); }
  bool includeWavelengthKeyPath() const { return m_includeWavelengthKeyPath; }
  void setIncludeWavelengthKeyPath(bool on) { setAndAnnounce("includeWavelengthKeyPath", m_includeWavelengthKeyPath, on); }

  const std::string& constructionKeyPath() const { return m_constructionKeyPath; }
  /// Refreshes the nominal value, the x label and the remembered delta.
  void setConstructionKeyPath(const std::string& keyPath);
  void updateNominalValue();
  /// Writes the nominal value into the document's lens.
  void saveNominalValue();
  bool keyPathIsValid() const { return m_keyPathIsValid; }
  bool keyPathIsMutable() const { return m_keyPathIsMutable; }
  double nominalValue() const { return m_nominalValue; }
  void setNominalValue(double v) { setAndAnnounce("nominalValue", m_nominalValue, v); }
  double delta() const { return m_delta; }
  /// Stores and remembers the half-width for the key path's last component.
  void setDelta(double delta);
  void lookupDelta();
  double minimumValue() const { return m_minimumValue; }
  void setMinimumValue(double v) { setAndAnnounce("minimumValue", m_minimumValue, v); }
  double maximumValue() const { return m_maximumValue; }
  void setMaximumValue(double v) { setAndAnnounce("maximumValue", m_maximumValue, v); }
  std::int32_t numberOfPoints() const { return m_numberOfPoints; }
  void setNumberOfPoints(std::int32_t n) { setAndAnnounce("numberOfPoints", m_numberOfPoints, n); }
  const std::string& xLabel() const { return m_xLabel; }
  void setXLabel(const std::string& l) { setAndAnnounce("xLabel", m_xLabel, l); }
  const std::string& yLabel() const { return m_yLabel; }
  void setYLabel(const std::string& l) { setAndAnnounce("yLabel", m_yLabel, l); }
  const std::string& interpreterError() const { return m_interpreterError; }
  void setInterpreterError(const std::string& e) { setAndAnnounce("interpreterError", m_interpreterError, e); }
  std::int32_t calculationTypeTag() const { return m_calculationTypeTag; }
  /// Redraws from the stored result.
  void setCalculationTypeTag(std::int32_t tag);
  const platform::Dictionary& resultDictionary() const { return m_resultDictionary; }
  void setResultDictionary(platform::Dictionary d) { setAndAnnounce("resultDictionary", m_resultDictionary, std::move(d)); }
  void updatePlotDictionary();

  void startCalculation();
  void stopCalculation() { stopWork(); }

  void addRestorationDataToDictionary(platform::Dictionary& dictionary) const override;

  bool workCanStart() override;
  void workWillStart() override;
  void workDidStop(const analysis::WorkResult& result) override;

 protected:
  void workerKernel() override;

 private:
  platform::Array curves(const platform::Array& entries, const char* type) const;

  platform::UserDefaults* m_defaults;
  LensPtr m_lens;
  std::weak_ptr<MeritFunction> m_meritFunction;
  bool m_includeFocusKeyPath = false;
  bool m_includeWavelengthKeyPath = false;
  std::string m_constructionKeyPath;
  bool m_keyPathIsValid = false;
  bool m_keyPathIsMutable = false;
  double m_nominalValue = 0;
  double m_delta = 0.1;
  double m_minimumValue = 0;
  double m_maximumValue = 0;
  std::int32_t m_numberOfPoints = 21;
  std::string m_xLabel = "x";
  std::string m_yLabel = "y";
  std::string m_interpreterError;
  std::int32_t m_calculationTypeTag = 0;
  platform::Dictionary m_resultDictionary;
  platform::Observation m_lensWatch;
  // What the worker scans, fixed when the run starts.
  LensPtr m_scanLens;
  MeritFunctionPtr m_scanMerit;
  std::string m_scanKeyPath;
  double m_scanNominal = 0, m_scanDelta = 0;
  std::int32_t m_scanPoints = 0;
};

}  // namespace orb::optimisation
