#include "app/document/WindowActions.h"

#include <map>
#include <tuple>

#include "app/windows/CalculatorWindowController.h"
#include "app/windows/DiffractionWindows.h"
#include "app/windows/EditorWindows.h"
#include "app/windows/HuygensWindows.h"
#include "app/windows/IlluminationWindows.h"
#include "app/windows/InterfaceFile.h"
#include "app/windows/LensEditorWindows.h"
#include "app/windows/ListingWindows.h"
#include "app/windows/MeritEditor.h"
#include "app/windows/MeritPlotWindow.h"
#include "app/windows/OptimizerWindow.h"
#include "app/windows/OTFWindows.h"
#include "app/windows/PlanarWindow.h"
#include "app/windows/RayAnalysisWindows.h"
#include "app/windows/ScaleLensWindow.h"
#include "app/windows/SlidersWindow.h"
#include "app/windows/SolidWindow.h"
#include "app/windows/SurfaceDataWindow.h"
#include "app/windows/ThroughputWindows.h"

namespace orb::app {

namespace {
constexpr const char* W = "WindowControllerWithDocumentController";
constexpr const char* LP = "LensPlotWindowController";
constexpr const char* RLP = "RandomizableLensPlotWindowController";

constexpr const char* kLens = "Lens";
constexpr const char* kAnalysis = "Analysis";
constexpr const char* kDiffraction = "Diffraction";
constexpr const char* kIllumination = "Illumination";
constexpr const char* kReports = "Reports";
constexpr const char* kOptimize = "Optimize";

std::map<std::string, ControllerFactory>& factories() {
  static std::map<std::string, ControllerFactory> table;  // main thread only
  return table;
}

// The analysis windows built so far join the table's interface files the first time the
// table is consulted, whoever registers the controller classes.
void registerAnalysisWindows() {
  static const bool once = [] {
    registerRayAnalysisWindows();
    registerOTFWindows();
    registerThroughputWindows();
    registerDiffractionWindows();
    factories()["DPSFWindowController"] = makeDPSFWindowController;
    registerHuygensWindows();
    factories()["HPSFWindowController"] = makeHPSFWindowController;
    registerIlluminationWindows();
    factories()["ScreenWindowController"] = makeScreenWindowController;
    registerSolidWindow();
    factories()["SolidWindowController"] = makeSolidWindowController;
    registerPlanarWindow();
    registerEditorWindows();
    factories()["PlanarWindowController"] = makePlanarWindowController;
    registerSurfaceDataWindow();
    factories()["SurfaceDataWindowController"] = makeSurfaceDataWindowController;
    registerScaleLensWindow();
    factories()["ScaleLensWindowController"] = makeScaleLensWindowController;
    registerOptimizerWindow();
    factories()["OptimizerWindowController"] = makeOptimizerWindowController;
    registerMeritPlotWindow();
    factories()["MeritPlotWindowController"] = makeMeritPlotWindowController;
    registerLensEditorWindows();
    registerListingWindows();
    registerMeritEditor();
    factories()["MeritFunctionEditorController"] = makeMeritFunctionEditorController;
    registerSlidersWindow();
    factories()["SlidersWindowController"] = makeSlidersWindowController;
    return true;
  }();
  (void)once;
}
}  // namespace

const std::vector<WindowAction>& windowActions() {
  static const std::vector<WindowAction> table = {
      // The lens and its editors.
      {"showLensDataEditor", "SurfaceData", "SurfaceDataWindowController", true, "Surface Data", kLens},
      {"showFieldEditor", "FieldEditor", W, true, "Fields", kLens},
      {"showWaveEditor", "WaveEditor", W, true, "Wavelengths", kLens},
      {"showSources", "Sources", W, true, "Sources", kLens},
      {"showApertures", "Apertures", W, true, "Apertures", kLens},
      {"showBeamEditor", "Beams", W, true, "Gaussian Beams", kLens},
      {"makeSourceDivergenceWindow", "SourceDivergenceControl", W, true, "Source Divergence", kLens},
      {"makePupilDataWindow", "PupilData", W, true, "Pupil Data", kLens},
      {"showVignettingFactors", "VignettingFactors", W, true, "Vignetting Factors", kLens},
      {"showGlassMonitor", "GlassMonitor", W, true, "Glasses", kLens},
      {"showMulticonfigurations", "Multiconfigurations", W, true, "Multiconfigurations", kLens},
      {"showMC", "MC", W, true, "Configuration Table", kLens},
      {"showScaleLensWindow", "ScaleLens", "ScaleLensWindowController", true, "Scale Lens", kLens},
      {"showAdvancedOptions", "Advanced", W, true, "Advanced Options", kLens},
      // Ray analyses and the layouts.
      {"makeLayout", "PlanarView", "PlanarWindowController", false, "New Layout", kAnalysis},
      {"showLayout", "PlanarView", "PlanarWindowController", true, "Layout", kAnalysis},
      {"makeSolidView", "SolidView", "SolidWindowController", false, "3-D View", kAnalysis},
      {"makeSpotDiagram", "SpotWindow", RLP, false, "Spot Diagram", kAnalysis},
      {"makeRayFan", "RayFan", LP, false, "Ray Fan", kAnalysis},
      {"makeOPD", "OPD", LP, false, "Optical Path Difference", kAnalysis},
      {"makeLSA", "LSA", LP, false, "Longitudinal Aberration", kAnalysis},
      {"makeCFS", "ChromaticFocalShift", LP, false, "Chromatic Focal Shift", kAnalysis},
      {"makeFieldCurvature", "FieldCurvature", LP, false, "Field Curvature", kAnalysis},
      {"makeDistortion", "Distortion", LP, false, "Distortion", kAnalysis},
      {"makeOSC", "OSC", LP, false, "Sine Condition", kAnalysis},
      {"makeChiefRayAngle", "ChiefRayAngle", LP, false, "Chief Ray Angle", kAnalysis},
      {"makeCRS", "CRS", LP, false, "Vignetting Cutoff", kAnalysis},
      {"makeGEE", "GEE", RLP, false, "Geometric Encircled Energy", kAnalysis},
      {"makeTrace", "Trace", "TracerWindowController", false, "Single Ray Trace", kAnalysis},
      // Diffraction.
      {"makeGOTF", "GOTF", LP, false, "Geometric MTF", kDiffraction},
      {"makeFGOTF", "FGOTF", LP, false, "Through-Focus MTF", kDiffraction},
      {"makeDOTF", "DOTF", LP, false, "Diffraction MTF", kDiffraction},
      {"makeDLSF", "DOTF", LP, false, "Diffraction Line Spread", kDiffraction},
      {"makeDPSF", "DPSF", "DPSFWindowController", false, "FFT Point Spread", kDiffraction},
      {"makeHPSF", "HPSF", "HPSFWindowController", false, "Huygens Point Spread", kDiffraction},
      {"makeHLSF", "HLSF", LP, false, "Huygens Line Spread", kDiffraction},
      {"makeHOTF", "HLSF", LP, false, "Huygens MTF", kDiffraction},
      // Illumination.
      {"makeIntensityFan", "IntensityFan", RLP, false, "Intensity Fan", kIllumination},
      {"makeIntensityScreen", "IntensityScreen", "ScreenWindowController", false, "Irradiance Screen", kIllumination},
      {"makeThroughput", "Throughput", LP, false, "Throughput", kIllumination},
      {"makeAcceptance", "Acceptance", LP, false, "Acceptance", kIllumination},
      // Listings.
      {"showSystemWindow", "System", W, true, "System Data", kReports},
      {"showPrescriptionListing", "Prescription", W, true, "Prescription", kReports},
      {"showSeidelListing", "Seidel", W, true, "Seidel Aberrations", kReports},
      {"showTransformationMatrixListing", "TransformationMatrixListing", W, true, "Transformation Matrices", kReports},
      // The read-only prescription with focal length, F/#, fields and waves: until the
      // listings exist it is the only place they show together.
      {"showLensSummary", "DocumentWindow", W, true, "Lens Summary", kReports},
      // Optimisation.
      {"showOptimizer", "Optimizer", "OptimizerWindowController", true, "Optimizer", kOptimize},
      {"showMeritFunctions", "MeritFunctions", W, false, "Merit Functions", kOptimize},
      {"makeMeritEditor", "MeritWindow", "MeritFunctionEditorController", false, "Merit Function Editor", kOptimize},
      {"makeMeritVsParameter", "MeritPlot", "MeritPlotWindowController", false, "Merit versus Parameter", kOptimize},
      {"showSliders", "Sliders", "SlidersWindowController", true, "Sliders", kOptimize},
  };
  return table;
}

const WindowAction* windowAction(std::string_view action) {
  for (const auto& a : windowActions())
    if (action == a.action) return &a;
  return nullptr;
}

void registerControllerClass(const std::string& controllerClass, ControllerFactory factory) {
  registerAnalysisWindows();
  factories()[controllerClass] = std::move(factory);
}

SmartWindowController* makeController(const std::string& controllerClass, const std::string& nibName,
                                      const std::shared_ptr<SmartDocument>& document) {
  registerAnalysisWindows();
  auto it = factories().find(controllerClass);
  return it == factories().end() ? nullptr : it->second(nibName, document);
}

void applyWindowActionSettings(std::string_view action, SmartWindowController* controller) {
  // Actions that share an interface file differ in these settings, made once the window
  // is shown.
  static const std::vector<std::tuple<std::string_view, const char*, bool>> settings = {
      {"makeDLSF", "plotOTF", false},
      {"makeHOTF", "plotOTF", true},
  };
  auto* c = dynamic_cast<CalculatorWindowController*>(controller);
  if (!c) return;
  for (const auto& [name, key, value] : settings)
    if (name == action && c->calculatorController()->content())
      c->calculatorController()->setValueForKeyPath(std::string("content.") + key, platform::Value(value));
}

bool controllerClassExists(const std::string& controllerClass) { return factories().count(controllerClass) != 0; }

bool windowActionIsAvailable(const WindowAction& action) {
  registerAnalysisWindows();
  return interfacefile::loader(action.nibName) && controllerClassExists(action.controllerClass);
}

}  // namespace orb::app
