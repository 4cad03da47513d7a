#include "app/windows/HuygensWindows.h"

#include <QPointer>

#include "app/windows/AnalysisPanel.h"
#include "app/windows/DiffractionWindows.h"
#include "platform/Object.h"
#include "rendering/ZoomPlotView.h"
#include "ui_HLSF.h"
#include "ui_HPSF.h"
#include "wavefront_illumination/HuygensCalculator.h"

namespace orb::app {

namespace {

using analysispanel::Binder;
using analysispanel::PanelExtras;
using options::Choice;

// The screen the sum is taken on: its points, spacing and width kept consistent by the
// calculator's panel forms, in a length unit of its own.
void screenRows(const Binder& b, QFormLayout* form) {
  form->addRow(QStringLiteral("Screen points per side"), b.intSpin("screenNumberOfPointsPerSideGUI", 2, 1024));
  form->addRow(QStringLiteral("Screen spacing"), b.doubleSpin("screenDeltaGUI", 0, 1e6, 4));
  form->addRow(QStringLiteral("Screen width"), b.doubleSpin("screenWidthGUI", 0, 1e6, 4));
  form->addRow(QStringLiteral("Screen units"), b.choice("screenWidthUnitsGUI", [] {
    std::vector<Choice> out;
    for (const auto& u : analysis::RaysAtSurfaceCalculator::lengthUnits())
      out.push_back({analysispanel::unitLabel(u), u});
    return out;
  }));
}

std::vector<std::pair<const char*, const char*>> sumChecks() {
  return {{"No amplitude attenuation", "suppressAmplitudeAttenuation"}, {"No obliquity factor", "suppressObliquityFactor"}};
}

InterfaceOutlets loadHPSF(OBWindow& window) {
  auto calculator = platform::makeObject<wavefront::HuygensPSFCalculator>();
  PanelExtras extras;
  extras.raysLabel = "Rays";
  extras.rows = screenRows;
  extras.checks = sumChecks();
  psfwindow::addImageOptions(extras);
  return psfwindow::load<Ui::HPSF>(window, "Huygens Point Spread", calculator, "Huygens Point Spread Options", extras);
}

InterfaceOutlets loadHLSF(OBWindow& window) {
  auto calculator = platform::makeObject<wavefront::HuygensCalculator>();
  PanelExtras extras;
  extras.raysLabel = "Rays";
  QPointer<OBWindow> shown(&window);
  extras.rows = [shown](const Binder& b, QFormLayout* form) {
    screenRows(b, form);
    form->addRow(QStringLiteral("From frequency"), b.doubleSpin("minimumSpatialFrequency", 0, 1e6, 4));
    form->addRow(QStringLiteral("To frequency"), b.doubleSpin("maximumSpatialFrequency", 0, 1e6, 4));
    form->addRow(QStringLiteral("Displacement ±"), b.doubleSpin("maximumDisplacement", 0, 1e6, 4));
    if (shown) analysispanel::titleFollowsFlag(b, *shown, "plotOTF", "Huygens MTF", "Huygens Line Spread");
  };
  extras.checks = {{"Transfer function (off: line spread)", "plotOTF"},
                   {"Diffraction limit", "plotDiffractionLimit"},
                   {"Up to the diffraction cut-off", "plotSpatialFrequencyPhysicalRange"},
                   {"Real and imaginary parts", "plotComplex"},
                   {"Resample curves", "resampleCurves"},
                   {"Displacement range of the data", "plotDisplacementDataRange"}};
  for (const auto& c : sumChecks()) extras.checks.push_back(c);
  return analysispanel::load<Ui::HLSF>(window, "Huygens Line Spread", calculator, "Huygens Line Spread Options",
                                       extras);
}

}  // namespace

QRect HPSFWindowController::windowWillUseStandardFrame(const QRect& frame) const {
  QRect out = frame;
  const int limit = frame.height() - 80;
  if (frame.width() > limit) out.setWidth(limit);
  return out;
}

SmartWindowController* makeHPSFWindowController(const std::string& nibName,
                                                const std::shared_ptr<SmartDocument>& document) {
  return new HPSFWindowController(nibName, document);
}

void registerHuygensWindows() {
  interfacefile::registerLoader("HPSF", loadHPSF);
  interfacefile::registerLoader("HLSF", loadHLSF);
}

}  // namespace orb::app
