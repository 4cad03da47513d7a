#include "app/windows/OTFWindows.h"

#include "app/windows/AnalysisPanel.h"
#include "platform/Object.h"
#include "rendering/ZoomPlotView.h"
#include "ui_FGOTF.h"
#include "ui_GOTF.h"
#include "wavefront_illumination/FGOTFCalculator.h"
#include "wavefront_illumination/GOTFCalculator.h"

namespace orb::app {

namespace {

using analysispanel::Binder;
using analysispanel::PanelExtras;
using options::Choice;

// Frequencies from 0.0001 cycles/µm to thousands of cycles/mm.
QDoubleSpinBox* frequencySpin(const Binder& b, const char* key) { return b.doubleSpin(key, 0, 1e6, 4); }

// Settings both transfer-function windows offer.
std::vector<std::pair<const char*, const char*>> commonChecks() {
  return {{"Hybrid form (times the diffraction limit)", "useHybridForm"},
          {"Diffraction limit", "plotDiffractionLimit"},
          {"Real and imaginary parts", "plotComplex"}};
}

InterfaceOutlets loadGOTF(OBWindow& window) {
  auto calculator = platform::makeObject<wavefront::GOTFCalculator>();
  // The diffraction limit is what a geometric MTF is read against.
  calculator->setPlotDiffractionLimit(true);
  PanelExtras extras;
  extras.raysLabel = "Rays (hexapolar)";
  extras.rows = [](const Binder& b, QFormLayout* form) {
    form->addRow(QStringLiteral("From frequency"), frequencySpin(b, "minimumSpatialFrequency"));
    form->addRow(QStringLiteral("To frequency"), frequencySpin(b, "maximumSpatialFrequency"));
    form->addRow(QStringLiteral("Frequencies"), b.intSpin("numberOfSpatialFrequencies", 2, 10001));
  };
  extras.checks = commonChecks();
  extras.checks.insert(extras.checks.begin() + 1, {"Up to the diffraction cut-off", "plotSpatialFrequencyPhysicalRange"});
  extras.checks.push_back({"Perfect imaging", "usePerfectImaging"});
  extras.checks.push_back({"Afocal (directions)", "afocal"});
  extras.checks.push_back({"Divide by focal length", "divideByFocalLength"});
  return analysispanel::load<Ui::GOTF>(window, "Geometric MTF", calculator, "Geometric MTF Options", extras);
}

InterfaceOutlets loadFGOTF(OBWindow& window) {
  auto calculator = platform::makeObject<wavefront::FGOTFCalculator>();
  calculator->setPlotCalibrationCurve(true);
  PanelExtras extras;
  extras.raysLabel = "Rays (hexapolar)";
  extras.rows = [](const Binder& b, QFormLayout* form) {
    form->addRow(QStringLiteral("Frequency"), frequencySpin(b, "spatialFrequency"));
    form->addRow(QStringLiteral("Defocus ±"), b.doubleSpin("maximumDefocus", 0, 1e6, 4));
    form->addRow(QStringLiteral("Defocus units"), b.choice("defocusUnits", [] {
      std::vector<Choice> out;
      for (const auto& u : analysis::RaysAtSurfaceCalculator::lengthUnits())
        out.push_back({analysispanel::unitLabel(u), u});
      return out;
    }));
    form->addRow(QStringLiteral("Defocus steps"), b.intSpin("numberOfDefocusValues", 2, 1001));
  };
  extras.checks = commonChecks();
  extras.checks.push_back({"Calibration (perfect lens)", "plotCalibrationCurve"});
  extras.checks.push_back({"Unity", "plotUnity"});
  extras.checks.push_back({"Divide by focal length", "divideByFocalLength"});
  return analysispanel::load<Ui::FGOTF>(window, "Through-Focus MTF", calculator, "Through-Focus MTF Options",
                                        extras);
}

}  // namespace

void registerOTFWindows() {
  interfacefile::registerLoader("GOTF", loadGOTF);
  interfacefile::registerLoader("FGOTF", loadFGOTF);
}

}  // namespace orb::app
