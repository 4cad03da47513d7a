#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "analysis/OBCalculator.h"
#include "foundation/linear/VKSeries.h"
#include "platform/Observation.h"

namespace orb::materials {
class Glass;
}

namespace orb::analysis {

/// Refractive index against wavelength for a list of glasses, one curve each over 101
/// wavelengths from lambdaMin to lambdaMax (nanometres), or each glass's index less the
/// first glass's ("Relative to glass …"). Computed on the calling thread: every change of
/// a setting publishes the new plot at once, without the worker. No glasses, no plot.
class DispersionCalculator : public OBCalculator {
 public:
  using GlassPtr = std::shared_ptr<materials::Glass>;
  static constexpr std::size_t kNumberOfWavelengths = 101;

  /// 400 to 900 nm; follows "colorChangedNotification" (any sender).
  DispersionCalculator();
  static const platform::KeyTable& classKeys();
  const platform::KeyTable& keys() const override { return classKeys(); }
  std::string className() const override { return "DispersionCalculator"; }

  const std::vector<GlassPtr>& glasses() const { return m_glasses; }
  void setGlasses(std::vector<GlassPtr> glasses);
  double lambdaMin() const { return m_lambdaMin; }
  void setLambdaMin(double nanometres);
  double lambdaMax() const { return m_lambdaMax; }
  void setLambdaMax(double nanometres);
  bool relateToFirstCurve() const { return m_relateToFirstCurve; }
  void setRelateToFirstCurve(bool on);
  // Display flags: written into the published plot.
  bool plotTight() const { return m_plotTight; }
  void setPlotTight(bool on);
  bool showLegend() const { return m_showLegend; }
  void setShowLegend(bool on);
  bool transposeAxes() const { return m_transposeAxes; }
  void setTransposeAxes(bool on);

  /// The abscissae, made on first use after a change of range.
  const foundation::VKSeries& wavelengthSeries();
  void setWavelengthSeries(std::optional<foundation::VKSeries> series) { m_wavelengths = std::move(series); }

  /// Builds and publishes the plot (nothing without glasses).
  void generateCurves() override;
  platform::Dictionary generateCurveForGlass(const GlassPtr& glass);
  void trigger() { generateCurves(); }
  /// Recolours the curves marked "updateColor" from their glasses.
  void colorChanged(const platform::Dictionary& colorsByNumber);

  void addRestorationDataToDictionary(platform::Dictionary& dictionary) const override;

 protected:
  void willDeallocate() override;

 private:
  void setDisplayFlag(const char* key, bool& member, bool on);

  std::vector<GlassPtr> m_glasses;
  double m_lambdaMin = 400, m_lambdaMax = 900;
  bool m_relateToFirstCurve = false, m_plotTight = false, m_showLegend = false, m_transposeAxes = false;
  std::optional<foundation::VKSeries> m_wavelengths;
  platform::Observation m_colorObservation;
};

}  // namespace orb::analysis
