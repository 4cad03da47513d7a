#include "app/windows/RayAnalysisWindows.h"

#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QVBoxLayout>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "analysis/ChromaticFocalShiftCalculator.h"
#include "analysis/FieldScanCalculator.h"
#include "analysis/GEECalculator.h"
#include "analysis/LSACalculator.h"
#include "analysis/OPDCalculator.h"
#include "analysis/RayFanCalculator.h"
#include "analysis/TraceCalculator.h"
#include "app/windows/AnalysisPanel.h"
#include "app/windows/InterfaceFile.h"
#include "app/windows/OBWindow.h"
#include "app/windows/SmartWindowController.h"
#include "lens/Field.h"
#include "lens/Lens.h"
#include "lens/Surface.h"
#include "lens/Wave.h"
#include "platform/Exception.h"
#include "rendering/ZoomPlotView.h"
#include "ui_CRS.h"
#include "ui_Distortion.h"
#include "ui_FieldCurvature.h"
#include "ui_GEE.h"
#include "ui_OSC.h"
#include "ui_ChiefRayAngle.h"
#include "ui_ChromaticFocalShift.h"
#include "ui_LSA.h"
#include "ui_OPD.h"
#include "ui_RayFan.h"
#include "ui_Trace.h"

namespace orb::app {

namespace {

using analysis::RaysAtSurfaceCalculator;
using analysispanel::Binder;
using analysispanel::PanelExtras;
using analysispanel::load;
using options::Choice;

InterfaceOutlets loadRayFan(OBWindow& window) {
  auto calculator = platform::makeObject<analysis::RayFanCalculator>();
  // Aberrations of a few microns are read in microns; a legend names each fan.
  calculator->setUnits("micron");
  calculator->setShowLegend(true);
  PanelExtras extras;
  extras.checks = {{"Sagittal fans", "plotSagittal"},
                   {"Tangential fans", "plotTangential"},
                   {"Subtract centroid", "subtractCentroid"},
                   {"Afocal (directions)", "afocal"},
                   {"Divide by focal length", "divideByFocalLength"}};
  return load<Ui::RayFan>(window, "Ray Fan", calculator, "Ray Fan Options", extras);
}

InterfaceOutlets loadOPD(OBWindow& window) {
  auto calculator = platform::makeObject<analysis::OPDCalculator>();
  calculator->setShowLegend(true);
  PanelExtras extras;
  extras.checks = {{"Afocal (reference plane)", "afocal"}};
  return load<Ui::OPD>(window, "Optical Path Difference", calculator, "Optical Path Difference Options", extras);
}

InterfaceOutlets loadLSA(OBWindow& window) {
  auto calculator = platform::makeObject<analysis::LSACalculator>();
  calculator->setShowLegend(true);
  PanelExtras extras;
  extras.fields = false;
  extras.raysLabel = "Rays in the fan";
  return load<Ui::LSA>(window, "Longitudinal Aberration", calculator, "Longitudinal Aberration Options", extras);
}

InterfaceOutlets loadChromaticFocalShift(OBWindow& window) {
  auto calculator = platform::makeObject<analysis::ChromaticFocalShiftCalculator>();
  calculator->setShowLegend(true);
  PanelExtras extras;
  extras.waves = false;
  extras.units = false;
  extras.raysLabel = "Wavelengths";
  extras.rows = [](const Binder& b, QFormLayout* form) {
    form->addRow(QStringLiteral("From (nm)"), b.doubleSpin("lambdaMin", 1, 100000, 1));
    form->addRow(QStringLiteral("To (nm)"), b.doubleSpin("lambdaMax", 1, 100000, 1));
  };
  return load<Ui::ChromaticFocalShift>(window, "Chromatic Focal Shift", calculator, "Chromatic Focal Shift Options",
                                       extras);
}

InterfaceOutlets loadChiefRayAngle(OBWindow& window) {
  auto calculator = platform::makeObject<analysis::ChiefRayAngle>();
  calculator->setShowLegend(true);
  PanelExtras extras;
  extras.fields = false;
  extras.units = false;
  extras.raysLabel = "Field points";
  return load<Ui::ChiefRayAngle>(window, "Chief Ray Angle", calculator, "Chief Ray Angle Options", extras);
}

InterfaceOutlets loadCRS(OBWindow& window) {
  auto calculator = platform::makeObject<analysis::CRSCalculator>();
  calculator->setShowLegend(true);
  PanelExtras extras;
  extras.fields = false;
  extras.units = false;
  extras.raysLabel = "Field heights";
  extras.rows = [](const Binder& b, QFormLayout* form) {
    form->addRow(QStringLiteral("Scan"), b.indexChoice("direction", {"+y", "-y", "+x", "-x"}));
    form->addRow(QStringLiteral("Largest pupil coordinate"), b.doubleSpin("maximumPupilCoordinate", 0.01, 10, 3));
    form->addRow(QStringLiteral("Tolerance"), b.doubleSpin("pupilCoordinateTolerance", 1e-9, 0.1, 9));
    form->addRow(b.checkBox("Plot the ray angle", "plotAngle"));
    form->addRow(b.checkBox("In milliradians", "plotInMilliradians"));
  };
  return load<Ui::CRS>(window, "Vignetting Cutoff", calculator, "Vignetting Cutoff Options", extras);
}

InterfaceOutlets loadDistortion(OBWindow& window) {
  auto calculator = platform::makeObject<analysis::DistortionCalculator>();
  calculator->setShowLegend(true);
  PanelExtras extras;
  extras.fields = false;
  extras.units = false;
  extras.raysLabel = "Field points";
  extras.checks = {{"Afocal (image angles)", "afocal"}};
  return load<Ui::Distortion>(window, "Distortion", calculator, "Distortion Options", extras);
}

InterfaceOutlets loadFieldCurvature(OBWindow& window) {
  auto calculator = platform::makeObject<analysis::FieldCurvature>();
  calculator->setShowLegend(true);
  PanelExtras extras;
  extras.fields = false;
  extras.units = false;
  extras.raysLabel = "Field points";
  return load<Ui::FieldCurvature>(window, "Field Curvature", calculator, "Field Curvature Options", extras);
}

InterfaceOutlets loadOSC(OBWindow& window) {
  auto calculator = platform::makeObject<analysis::OSCCalculator>();
  calculator->setShowLegend(true);
  PanelExtras extras;
  extras.fields = false;
  extras.units = false;
  extras.raysLabel = "Rays in the fan";
  return load<Ui::OSC>(window, "Sine Condition", calculator, "Sine Condition Options", extras);
}

InterfaceOutlets loadGEE(OBWindow& window) {
  auto calculator = platform::makeObject<analysis::GEECalculator>();
  calculator->setUnits("micron");
  calculator->setShowLegend(true);
  PanelExtras extras;
  extras.raysLabel = "Rays per field";
  extras.checks = {{"Whole radius range", "useEntireRadiusRange"},
                   {"Ensquared (half side of the square)", "useEnsquared"},
                   {"Centred on the centroid", "subtractCentroid"},
                   {"Afocal (directions)", "afocal"},
                   {"Divide by focal length", "divideByFocalLength"}};
  std::weak_ptr<analysis::GEECalculator> weak = calculator;
  extras.rows = [weak](const Binder& b, QFormLayout* form) {
    form->addRow(QStringLiteral("Pupil pattern"), b.choice("fanType", [weak] {
      std::vector<Choice> out;
      if (auto c = weak.lock())
        for (const auto& t : c->possibleFanTypes()) out.push_back({t, t});
      return out;
    }));
    form->addRow(QStringLiteral("Largest radius"), b.doubleSpin("maximumRadius", 0, 1e6, 6));
  };
  InterfaceOutlets outlets =
      load<Ui::GEE>(window, "Geometric Encircled Energy", calculator, "Geometric Encircled Energy Options", extras);
  outlets.randomize = [weak] {
    if (auto c = weak.lock()) c->randomize();
  };
  return outlets;
}

// The single-ray trace: the listing fills the window; the panel names the ray.
QWidget* makeTraceOptionsPanel(const std::shared_ptr<analysis::TraceCalculator>& calculator) {
  auto* panel = new QWidget();
  panel->setObjectName(QStringLiteral("analysisOptions"));
  panel->setWindowTitle(QStringLiteral("Single Ray Trace Options"));
  Binder b(calculator, panel);
  std::weak_ptr<analysis::RaysCalculator> weak = calculator;
  auto* column = new QVBoxLayout(panel);
  QFormLayout* form = nullptr;

  column->addWidget(options::group("Field", form));
  form->addRow(QStringLiteral("Field"),
               b.choice(
                   "fieldOfInterestKeyPath",
                   [weak] { return analysispanel::fieldChoices(weak, "Specified below"); }, {"lens"}));
  form->addRow(QStringLiteral("Given as"),
               b.indexChoice("fieldSpecificationTag",
                             {"reduced field coordinates", "angle in degrees", "momentum", "tangent", "position"}));
  form->addRow(b.label("fieldLabelX", {"fieldSpecificationTag"}), b.doubleSpin("testRayHX", -1e6, 1e6, 6));
  form->addRow(b.label("fieldLabelY", {"fieldSpecificationTag"}), b.doubleSpin("testRayHY", -1e6, 1e6, 6));

  column->addWidget(options::group("Pupil", form));
  form->addRow(QStringLiteral("Given as"),
               b.indexChoice("pupilSpecificationTag", {"reduced pupil coordinates", "paraxial position at stop",
                                                       "momentum", "tangent"}));
  form->addRow(b.label("pupilLabelX", {"pupilSpecificationTag"}), b.doubleSpin("testRayPX", -1e6, 1e6, 6));
  form->addRow(b.label("pupilLabelY", {"pupilSpecificationTag"}), b.doubleSpin("testRayPY", -1e6, 1e6, 6));

  column->addWidget(options::group("Trace", form));
  form->addRow(QStringLiteral("Wave"),
               b.choice(
                   "waveOfInterestKeyPath",
                   [weak] { return analysispanel::waveChoices(weak, "Custom wavelength"); }, {"lens"}));
  form->addRow(QStringLiteral("Custom wavelength (nm)"), b.doubleSpin("customWavelength", 1, 100000, 2));
  form->addRow(QStringLiteral("To surface"),
               b.choice(
                   "surfaceOfInterestKeyPath",
                   [weak] { return analysispanel::surfaceChoices(weak, "Image surface"); }, {"lens"}));
  form->addRow(b.checkBox("Paraxial ray", "paraxial"));

  column->addWidget(options::group("Listing", form));
  form->addRow(b.checkBox("Positions in each surface's frame", "rayPositionInLocalCoordinates"));
  form->addRow(b.checkBox("Momenta in each surface's frame", "rayMomentumInLocalCoordinates"));
  form->addRow(QStringLiteral("Matrix order"), b.choice("transformationMatrixBasisString", [] {
    std::vector<Choice> out;
    for (const auto& basis : analysis::TraceCalculator::transformationMatrixBasisStrings()) out.push_back({basis, basis});
    return out;
  }));
  column->addStretch();
  return panel;
}

InterfaceOutlets loadTrace(OBWindow& window) {
  auto* central = new QWidget(&window);
  Ui::Trace form;
  form.setupUi(central);
  window.setCentralWidget(central);
  window.setWindowTitle(QStringLiteral("Single Ray Trace"));
  window.resize(central->size());
  auto calculator = platform::makeObject<analysis::TraceCalculator>();
  QPlainTextEdit* view = form.listingView;
  view->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  Binder(calculator, view).observe({"listing"}, [view, weak = std::weak_ptr(calculator)] {
    auto c = weak.lock();
    if (!c) return;
    // Keep the reader's place when the same trace is listed again.
    const int at = view->verticalScrollBar()->value();
    view->setPlainText(QString::fromStdString(c->listing()));
    view->verticalScrollBar()->setValue(at);
  });
  InterfaceOutlets outlets;
  outlets.view = view;
  outlets.optionsPanel = makeTraceOptionsPanel(calculator);
  outlets.calculator = std::move(calculator);
  return outlets;
}

}  // namespace

void registerRayAnalysisWindows() {
  interfacefile::registerLoader("ChromaticFocalShift", loadChromaticFocalShift);
  interfacefile::registerLoader("ChiefRayAngle", loadChiefRayAngle);
  interfacefile::registerLoader("CRS", loadCRS);
  interfacefile::registerLoader("RayFan", loadRayFan);
  interfacefile::registerLoader("OPD", loadOPD);
  interfacefile::registerLoader("LSA", loadLSA);
  interfacefile::registerLoader("Distortion", loadDistortion);
  interfacefile::registerLoader("FieldCurvature", loadFieldCurvature);
  interfacefile::registerLoader("OSC", loadOSC);
  interfacefile::registerLoader("GEE", loadGEE);
  interfacefile::registerLoader("Trace", loadTrace);
}

}  // namespace orb::app
