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
#include "app/windows/AnalysisOptions.h"
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
using Binder = options::Binder<>;
using options::Choice;

std::vector<std::string> stringList(const platform::Value& list) {
  std::vector<std::string> out;
  if (list.isArray())
    for (const platform::Value& v : list.asArray())
      if (v.isString()) out.push_back(v.asString());
  return out;
}

std::string unitLabel(const std::string& unit) {
  if (unit == "micron") return "µm";
  if (unit == "uinch") return "µin";
  if (unit == "microrad") return "µrad";
  return unit;
}

// "All …" (the default: an empty key path) and each member by its key path in the lens.
template <class Member, class Describe>
std::vector<Choice> memberChoices(const std::weak_ptr<analysis::RaysCalculator>& weak, const char* all,
                                  std::vector<std::shared_ptr<Member>> (*members)(const lens::Lens&),
                                  Describe describe) {
  std::vector<Choice> out{{all, ""}};
  auto c = weak.lock();
  auto lens = c ? c->lens() : nullptr;
  if (!lens) return out;
  for (const auto& m : members(*lens))
    if (m)
      if (auto path = lens->keyPathForObject(*m)) out.push_back({describe(*m), *path});
  return out;
}

std::vector<std::shared_ptr<lens::Field>> fieldsOf(const lens::Lens& l) { return l.fieldArray(); }
std::vector<std::shared_ptr<lens::Wave>> wavesOf(const lens::Lens& l) { return l.waveArray(); }
std::vector<std::shared_ptr<lens::Surface>> surfacesOf(const lens::Lens& l) { return l.surfaceArray(); }

std::string fieldName(const lens::Field& f) { return "Field " + f.shortDescription(); }
std::string waveName(const lens::Wave& w) {
  return platform::format(w.isPrimary() ? "%.1f nm (primary)" : "%.1f nm", w.wavelengthInNanometers());
}
std::string surfaceName(const lens::Surface& s) { return "Surface " + s.nickname(); }

// What each analysis adds to the common panel.
struct PanelExtras {
  bool fields = true;  // the axial fans and field scans choose no field
  bool waves = true;   // the chromatic scan makes its own wavelengths
  bool units = true;
  const char* raysLabel = "Rays per fan";
  std::vector<std::pair<const char*, const char*>> checks;  // label, key
  std::function<void(const Binder&, QFormLayout*)> rows;   // the analysis's own rows
};

// The options panel: what is traced, how it is sampled, what is plotted and how.
QWidget* makeOptionsPanel(const std::shared_ptr<RaysAtSurfaceCalculator>& calculator, const char* title,
                          const PanelExtras& extras) {
  auto* panel = new QWidget();
  panel->setObjectName(QStringLiteral("analysisOptions"));
  panel->setWindowTitle(QString::fromUtf8(title));
  Binder b(calculator, panel);
  std::weak_ptr<analysis::RaysCalculator> weak = calculator;
  auto* column = new QVBoxLayout(panel);
  QFormLayout* form = nullptr;

  column->addWidget(options::group("Rays", form));
  if (extras.fields)
    form->addRow(QStringLiteral("Fields"),
                 b.choice(
                     "fieldOfInterestKeyPath",
                     [weak] {
                       return memberChoices(weak, "All fields", &fieldsOf, fieldName);
                     },
                     {"lens"}));
  if (extras.waves)
    form->addRow(QStringLiteral("Waves"),
               b.choice(
                   "waveOfInterestKeyPath",
                   [weak] {
                     return memberChoices(weak, "All waves", &wavesOf, waveName);
                   },
                   {"lens"}));
  form->addRow(QStringLiteral("Surface"),
               b.choice(
                   "surfaceOfInterestKeyPath",
                   [weak] {
                     return memberChoices(weak, "Image surface", &surfacesOf, surfaceName);
                   },
                   {"lens"}));
  form->addRow(QString::fromUtf8(extras.raysLabel), b.intSpin("numberOfRays", 1, 10001));
  form->addRow(b.checkBox("Paraxial rays", "paraxial"));

  column->addWidget(options::group("Plot", form));
  if (extras.rows) extras.rows(b, form);
  if (extras.units)
    form->addRow(QStringLiteral("Units"), b.choice(
                                            "units",
                                            [b] {
                                              std::vector<Choice> out;
                                              for (const auto& u : stringList(b.get("possibleUnits")))
                                                out.push_back({unitLabel(u), u});
                                              return out;
                                            },
                                            {"possibleUnits"}));
  for (const auto& [label, key] : extras.checks) form->addRow(b.checkBox(label, key));

  column->addWidget(options::group("Display", form));
  form->addRow(b.checkBox("One band per field", "multiplot"));
  form->addRow(b.checkBox("Legend", "showLegend"));
  form->addRow(b.checkBox("Axes end at the data", "plotTight"));
  form->addRow(b.checkBox("Axes only grow", "scaleOnlyExpands"));
  column->addStretch();
  return panel;
}

template <class Form>
InterfaceOutlets load(OBWindow& window, const char* title, std::shared_ptr<RaysAtSurfaceCalculator> calculator,
                      const char* panelTitle, const PanelExtras& extras) {
  auto* central = new QWidget(&window);
  Form form;
  form.setupUi(central);
  window.setCentralWidget(central);
  window.setWindowTitle(QString::fromUtf8(title));
  window.resize(central->size());
  InterfaceOutlets outlets;
  outlets.view = form.plotView;
  outlets.optionsPanel = makeOptionsPanel(calculator, panelTitle, extras);
  outlets.calculator = std::move(calculator);
  return outlets;
}

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
                   [weak] { return memberChoices(weak, "Specified below", &fieldsOf, fieldName); }, {"lens"}));
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
                   [weak] { return memberChoices(weak, "Custom wavelength", &wavesOf, waveName); }, {"lens"}));
  form->addRow(QStringLiteral("Custom wavelength (nm)"), b.doubleSpin("customWavelength", 1, 100000, 2));
  form->addRow(QStringLiteral("To surface"),
               b.choice(
                   "surfaceOfInterestKeyPath",
                   [weak] { return memberChoices(weak, "Image surface", &surfacesOf, surfaceName); }, {"lens"}));
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
