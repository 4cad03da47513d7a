#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "AnalysisWindowTestSupport.h"
#include "AppTestSupport.h"
#include "analysis/OBCalculator.h"
#include "analysis/PlotDictionary.h"
#include "app/Messages.h"
#include "app/document/DocumentController.h"
#include "app/document/OBDocument.h"
#include "app/document/WindowActions.h"
#include "app/windows/LensPlotWindowController.h"
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
  const char* windowTitle;
  const char* yLabel;  // the first ordinate of an object at infinity
  std::size_t curves;
};

class ThroughputWindowTest : public testing::DoubleGaussDocumentTest<::testing::TestWithParam<Case>> {};

// Each window opens from the Illumination menu on the double Gauss under its title,
// publishes finite, positive curves in the first ordinate offered for an object at
// infinity, and has its options panel.
TEST_P(ThroughputWindowTest, OpensFromTheMenuAndPlots) {
  const Case c = GetParam();
  const WindowAction* action = windowAction(c.action);
  ASSERT_TRUE(action);
  EXPECT_STREQ(action->menu, "Illumination");
  EXPECT_TRUE(windowActionIsAvailable(*action));
  // Only hard apertures stop rays: the stop's clear aperture makes the entrance pupil.
  auto stop = document->lens()->stopSurface();
  ASSERT_TRUE(stop);
  stop->setAperture(lens::Aperture::apertureOfType(
      "Circular aperture", platform::Dictionary{{"rMin", 0.0}, {"rMax", stop->semidiameter()}}));
  ASSERT_TRUE(document->performAction(c.action));
  LensPlotWindowController* window = plotWindow(action->nibName);
  ASSERT_TRUE(window);
  window->window()->show();
  EXPECT_EQ(window->window()->windowTitle().toStdString().rfind(c.windowTitle, 0), 0u);

  auto calculator = window->calculator();
  ASSERT_TRUE(calculator);
  auto* view = dynamic_cast<rendering::ZoomPlotView*>(window->view());
  ASSERT_TRUE(view);
  ASSERT_TRUE(testing::pumpUntil([&] {
    const Value* curves = view->plotDictionary().find(analysis::plot::kCurves);
    return curves && curves->isArray() && !curves->asArray().empty() && !calculator->needsWork();
  })) << "status: " << calculator->status();
  EXPECT_EQ(calculator->status(), "");
  const auto& plot = view->plotDictionary();
  EXPECT_EQ(plot.get(analysis::plot::kYLabel).asString(), c.yLabel);
  ASSERT_EQ(plot.get(analysis::plot::kCurves).asArray().size(), c.curves);
  for (const Value& curve : plot.get(analysis::plot::kCurves).asArray()) {
    const auto* y = analysis::SeriesValue::from(curve.asDictionary().get(analysis::plot::kYSeries));
    ASSERT_TRUE(y);
    ASSERT_GT(y->count(), 1u);
    for (double v : *y) EXPECT_TRUE(std::isfinite(v) && v >= 0);
    EXPECT_GT(y->at(y->count() - 1), 0);
  }
  view->repaint();
  ASSERT_TRUE(window->optionsPanelController());
  EXPECT_TRUE(window->optionsPanelController()->panel());
}

INSTANTIATE_TEST_SUITE_P(Analyses, ThroughputWindowTest,
                         // Mean, min and max of the primary wave; one acceptance curve.
                         ::testing::Values(Case{"makeThroughput", "Throughput", "Area (square mm)", 3},
                                           Case{"makeAcceptance", "Acceptance", "Area (square mm)", 1}),
                         [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.action); });

}  // namespace
}  // namespace orb::app
