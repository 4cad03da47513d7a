#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <QPlainTextEdit>
#include <string>

#include "AnalysisWindowTestSupport.h"
#include "AppTestSupport.h"
#include "analysis/OBCalculator.h"
#include "analysis/PlotDictionary.h"
#include "app/Messages.h"
#include "app/document/DocumentController.h"
#include "app/document/OBDocument.h"
#include "app/document/WindowActions.h"
#include "app/windows/IndexPlotter.h"
#include "app/windows/LensPlotWindowController.h"
#include "app/windows/PlotWindowController.h"
#include "app/windows/TracerWindowController.h"
#include "app/windows/OBWindow.h"
#include "app/windows/OptionPanelController.h"
#include "lens/Aperture.h"
#include "lens/Lens.h"
#include "lens/Surface.h"
#include "rendering/ZoomPlotView.h"

namespace orb::app {
namespace {

using platform::Value;

struct Case {
  const char* action;
  const char* nib;
  const char* windowTitle;  // before the document's name
  const char* plotTitle;
  const char* yLabel;
  std::size_t curves;  // the double Gauss opens with its first field in its primary wave
  bool stopAperture = false;  // a hard stop for the cut-off scan to find
  const char* menu = "Analysis";
};

class RayAnalysisWindowTest : public testing::DoubleGaussDocumentTest<::testing::TestWithParam<Case>> {};

// Each analysis is offered in its menu, opens from it on the double Gauss under
// its readable title, publishes its curves, and the plot view draws them.
TEST_P(RayAnalysisWindowTest, OpensFromTheMenuAndDrawsItsCurves) {
  const Case c = GetParam();
  const WindowAction* action = windowAction(c.action);
  ASSERT_TRUE(action);
  EXPECT_STREQ(action->menu, c.menu);
  EXPECT_STREQ(action->nibName, c.nib);
  EXPECT_TRUE(windowActionIsAvailable(*action));

  if (c.stopAperture) {
    // A stop aperture a little inside the stop's semidiameter vignettes the outer fields.
    auto stop = document->lens()->stopSurface();
    ASSERT_TRUE(stop);
    stop->setAperture(lens::Aperture::apertureOfType(
        "Circular aperture", platform::Dictionary{{"rMin", 0.0}, {"rMax", 0.9 * stop->semidiameter()}}));
  }
  ASSERT_TRUE(document->performAction(c.action));
  LensPlotWindowController* window = plotWindow(c.nib);
  ASSERT_TRUE(window);
  window->window()->show();
  EXPECT_EQ(window->window()->windowTitle().toStdString().rfind(c.windowTitle, 0), 0u)
      << window->window()->windowTitle().toStdString();

  auto calculator = window->calculator();
  ASSERT_TRUE(calculator);
  auto* view = dynamic_cast<rendering::ZoomPlotView*>(window->view());
  ASSERT_TRUE(view);
  ASSERT_TRUE(testing::pumpUntil([&] {
    const auto& d = view->plotDictionary();
    const Value* curves = d.find(analysis::plot::kCurves);
    return curves && curves->isArray() && !curves->asArray().empty() && !calculator->needsWork();
  })) << "status: " << calculator->status();
  EXPECT_EQ(calculator->status(), "");
  const auto& plot = view->plotDictionary();
  EXPECT_EQ(plot.get(analysis::plot::kCurves).asArray().size(), c.curves);
  EXPECT_EQ(plot.get(analysis::plot::kTitle).asString(), c.plotTitle);
  EXPECT_EQ(plot.get(analysis::plot::kYLabel).asString(), c.yLabel);
  for (const Value& curve : plot.get(analysis::plot::kCurves).asArray()) {
    const auto* y = analysis::SeriesValue::from(curve.asDictionary().get(analysis::plot::kYSeries));
    ASSERT_TRUE(y);
    EXPECT_GT(y->count(), 5u);
    for (double v : *y) EXPECT_TRUE(std::isfinite(v));
  }

  // The curves are drawn in colour (axes, text and background are grey).
  view->repaint();
  const QImage image = view->grab().toImage();
  int coloured = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (QColor(image.pixel(x, y)).hsvSaturationF() > 0.3f) ++coloured;
  EXPECT_GT(coloured, 200);

  // The options panel is there and bound: turning the unit reaches the calculator.
  ASSERT_TRUE(window->optionsPanelController());
  EXPECT_TRUE(window->optionsPanelController()->panel());
}

INSTANTIATE_TEST_SUITE_P(
    Analyses, RayAnalysisWindowTest,
    ::testing::Values(Case{"makeRayFan", "RayFan", "Ray Fan", "Transverse ray fan", "intercept (micron)", 2},
                      Case{"makeOPD", "OPD", "Optical Path Difference", "OPD plot", "OPD (waves)", 2},
                      Case{"makeLSA", "LSA", "Longitudinal Aberration", "Longitudinal spherical aberration", "LSA",
                           1},
                      Case{"makeCFS", "ChromaticFocalShift", "Chromatic Focal Shift", "Chromatic focal shift",
                           "shift (mm)", 1},
                      Case{"makeChiefRayAngle", "ChiefRayAngle", "Chief Ray Angle", "Chief ray angle",
                           "Angle (degrees)", 1},
                      Case{"makeCRS", "CRS", "Vignetting Cutoff", "Cutoff, +y scan", "Py", 1, true},
                      Case{"makeDistortion", "Distortion", "Distortion", "Distortion", "distortion (percent)", 1},
                      Case{"makeFieldCurvature", "FieldCurvature", "Field Curvature", "Field curvature",
                           "Focus (mm)", 2},
                      Case{"makeOSC", "OSC", "Sine Condition", "Offense against sine condition", "OSC'", 1},
                      Case{"makeGEE", "GEE", "Geometric Encircled Energy", "Geometrical encircled energy", "fraction",
                           1},
                      // Tangential, sagittal and the diffraction limit; sagittal, tangential
                      // and the calibration curve.
                      Case{"makeGOTF", "GOTF", "Geometric MTF", "Geometrical OTF (587.562nm)", "contrast", 3, false,
                           "Diffraction"},
                      Case{"makeFGOTF", "FGOTF", "Through-Focus MTF", "Thru-focus GOTF, freq=10 cycles/mm, 587.562nm",
                           "contrast", 3, false, "Diffraction"}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.nib); });

// The single-ray trace opens from the Analysis menu and shows the listing of the axial
// chief ray with the stop marked; its toolbar offers the lens's editors.
TEST_F(RayAnalysisWindowTest, TraceWindowListsTheTestRay) {
  const WindowAction* action = windowAction("makeTrace");
  ASSERT_TRUE(action);
  EXPECT_TRUE(windowActionIsAvailable(*action));
  ASSERT_TRUE(document->performAction("makeTrace"));
  TracerWindowController* window = nullptr;
  for (auto* controller : document->windowControllers())
    if (auto* t = qobject_cast<TracerWindowController*>(controller)) window = t;
  ASSERT_TRUE(window);
  window->window()->show();
  EXPECT_EQ(window->window()->windowTitle().toStdString().rfind("Single Ray Trace", 0), 0u);
  auto* view = qobject_cast<QPlainTextEdit*>(window->view());
  ASSERT_TRUE(view);
  ASSERT_TRUE(testing::pumpUntil([&] { return view->toPlainText().contains(QStringLiteral("Final ray state")); }))
      << view->toPlainText().toStdString();
  const QString text = view->toPlainText();
  EXPECT_TRUE(text.contains(QStringLiteral("|*"))) << text.toStdString();
  EXPECT_TRUE(text.contains(QStringLiteral("Numerical transfer matrix:"))) << text.toStdString();
  const std::vector<std::string> items{CalculatorWindowController::kFlexibleSpace, "sources", "SDE", "layout",
                                       CalculatorWindowController::kFlexibleSpace, "options"};
  EXPECT_EQ(window->toolbarItemIdentifiers(), items);
  ASSERT_TRUE(window->optionsPanelController());
}

// Window ▸ Index Plotter: the catalog's glasses over 400–900 nm, one window per application.
TEST_F(RayAnalysisWindowTest, IndexPlotterPlotsTheNamedGlasses) {
  PlotWindowController* plotter = showIndexPlotter();
  ASSERT_TRUE(plotter);
  EXPECT_EQ(showIndexPlotter(), plotter);
  auto* view = dynamic_cast<rendering::ZoomPlotView*>(plotter->view());
  ASSERT_TRUE(view);
  ASSERT_TRUE(testing::pumpUntil([&] { return view->plotDictionary().find(analysis::plot::kCurves) != nullptr; }));
  const auto& plot = view->plotDictionary();
  EXPECT_EQ(plot.get(analysis::plot::kTitle).asString(), "Glass dispersion");
  EXPECT_EQ(plot.get(analysis::plot::kCurves).asArray().size(), 3u);
  plotter->close();
  testing::settle();
}

}  // namespace
}  // namespace orb::app
