#include "app/windows/DiffractionWindows.h"

#include "app/windows/AnalysisPanel.h"
#include "platform/Object.h"
#include "rendering/ZoomPlotView.h"
#include "ui_DOTF.h"
#include "ui_DPSF.h"
#include "wavefront_illumination/DOTFCalculator.h"

namespace orb::app {

namespace {

using analysispanel::Binder;
using analysispanel::PanelExtras;

// The grid and the pipeline, shared by both windows.
void gridRows(const Binder& b, QFormLayout* form) {
  form->addRow(QStringLiteral("Rays per side (2^k)"), b.intSpin("numberOfRaysPerSideBits", 1, 10));
  form->addRow(QStringLiteral("Interpolation order"), b.intSpin("interpolationOrder", 0, 4));
}

std::vector<std::pair<const char*, const char*>> commonChecks() {
  return {{"Diffraction limit", "plotDiffractionLimit"},
          {"Perfect wavefront", "usePerfectOPD"},
          {"Afocal (directions)", "afocal"}};
}

InterfaceOutlets loadDOTF(OBWindow& window) {
  auto calculator = platform::makeObject<wavefront::DOTFCalculator>();
  PanelExtras extras;
  extras.raysLabel = "Rays (square grid)";
  QPointer<OBWindow> shown(&window);
  extras.rows = [shown](const Binder& b, QFormLayout* form) {
    gridRows(b, form);
    form->addRow(QStringLiteral("From frequency"), b.doubleSpin("minimumSpatialFrequency", 0, 1e6, 4));
    form->addRow(QStringLiteral("To frequency"), b.doubleSpin("maximumSpatialFrequency", 0, 1e6, 4));
    form->addRow(QStringLiteral("Displacement ±"), b.doubleSpin("maximumDisplacement", 0, 1e6, 4));
    if (shown) analysispanel::titleFollowsFlag(b, *shown, "plotOTF", "Diffraction MTF", "Diffraction Line Spread");
  };
  extras.checks = commonChecks();
  extras.checks.insert(extras.checks.begin(), {"Transfer function (off: line spread)", "plotOTF"});
  extras.checks.push_back({"Up to the diffraction cut-off", "plotSpatialFrequencyPhysicalRange"});
  extras.checks.push_back({"Brute-force check", "showBruteForce"});
  extras.checks.push_back({"Real and imaginary parts", "plotComplex"});
  extras.checks.push_back({"Resample curves", "resampleCurves"});
  extras.checks.push_back({"Displacement range of the data", "plotDisplacementDataRange"});
  return analysispanel::load<Ui::DOTF>(window, "Diffraction MTF", calculator, "Diffraction MTF Options", extras);
}

InterfaceOutlets loadDPSF(OBWindow& window) {
  auto calculator = platform::makeObject<wavefront::DPSFCalculator>();
  PanelExtras extras;
  extras.raysLabel = "Rays (square grid)";
  extras.rows = [](const Binder& b, QFormLayout* form) {
    gridRows(b, form);
    form->addRow(QStringLiteral("Displacement ±"), b.doubleSpin("maximumDisplacement", 0, 1e6, 4));
  };
  extras.checks = commonChecks();
  return analysispanel::load<Ui::DPSF>(window, "FFT Point Spread", calculator, "FFT Point Spread Options", extras);
}

}  // namespace

QRect DPSFWindowController::windowWillUseStandardFrame(const QRect& frame) const {
  QRect out = frame;
  const int limit = frame.height() - 60;
  if (frame.width() > limit) out.setWidth(limit);
  return out;
}

SmartWindowController* makeDPSFWindowController(const std::string& nibName,
                                                const std::shared_ptr<SmartDocument>& document) {
  return new DPSFWindowController(nibName, document);
}

void registerDiffractionWindows() {
  interfacefile::registerLoader("DOTF", loadDOTF);
  interfacefile::registerLoader("DPSF", loadDPSF);
}

}  // namespace orb::app
