#include "app/windows/RayAnalysisWindows.h"

#include <QVBoxLayout>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "analysis/ChromaticFocalShiftCalculator.h"
#include "analysis/FieldScanCalculator.h"
#include "analysis/LSACalculator.h"
#include "analysis/OPDCalculator.h"
#include "analysis/RayFanCalculator.h"
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
#include "ui_ChiefRayAngle.h"
#include "ui_ChromaticFocalShift.h"
#include "ui_LSA.h"
#include "ui_OPD.h"
#include "ui_RayFan.h"

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
std::vector<Choice> memberChoices(const std::weak_ptr<RaysAtSurfaceCalculator>& weak, const char* all,
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
  std::weak_ptr<RaysAtSurfaceCalculator> weak = calculator;
  auto* column = new QVBoxLayout(panel);
  QFormLayout* form = nullptr;

  column->addWidget(options::group("Rays", form));
  if (extras.fields)
    form->addRow(QStringLiteral("Fields"),
                 b.choice(
                     "fieldOfInterestKeyPath",
                     [weak] {
                       return memberChoices(weak, "All fields", &fieldsOf,
                                            [](const lens::Field& f) { return "Field " + f.shortDescription(); });
                     },
                     {"lens"}));
  if (extras.waves)
    form->addRow(QStringLiteral("Waves"),
               b.choice(
                   "waveOfInterestKeyPath",
                   [weak] {
                     return memberChoices(weak, "All waves", &wavesOf, [](const lens::Wave& w) {
                       return platform::format(w.isPrimary() ? "%.1f nm (primary)" : "%.1f nm",
                                               w.wavelengthInNanometers());
                     });
                   },
                   {"lens"}));
  form->addRow(QStringLiteral("Surface"),
               b.choice(
                   "surfaceOfInterestKeyPath",
                   [weak] {
                     return memberChoices(weak, "Image surface", &surfacesOf,
                                          [](const lens::Surface& s) { return "Surface " + s.nickname(); });
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

}  // namespace

void registerRayAnalysisWindows() {
  interfacefile::registerLoader("ChromaticFocalShift", loadChromaticFocalShift);
  interfacefile::registerLoader("ChiefRayAngle", loadChiefRayAngle);
  interfacefile::registerLoader("CRS", loadCRS);
  interfacefile::registerLoader("RayFan", loadRayFan);
  interfacefile::registerLoader("OPD", loadOPD);
  interfacefile::registerLoader("LSA", loadLSA);
}

}  // namespace orb::app
