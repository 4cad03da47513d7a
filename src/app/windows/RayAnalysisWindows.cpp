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
#include "ui_ChiefRayAngle.h"
#include "ui_ChromaticFocalShift.h"
#include "ui_LSA.h"
#include "ui_OPD.h"
#include "ui_RayFan.h"

namespace orb::app {

namespace {

using analysis::RaysAtSurfaceCalculator;
using analysispanel::Binder;
using analysispanel::PanelExtras;
using analysispanel::load;

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
