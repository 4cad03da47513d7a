#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <string>

#include "AnalysisWindowTestSupport.h"
#include "AppTestSupport.h"
#include "analysis/OBCalculator.h"
#include "analysis/PlotDictionary.h"
#include "app/Messages.h"
#include "app/document/DocumentController.h"
#include "app/document/OBDocument.h"
#include "app/document/WindowActions.h"
#include "app/windows/DiffractionWindows.h"
#include "app/windows/LensPlotWindowController.h"
#include "app/windows/OBWindow.h"
#include "app/windows/OptionPanelController.h"
#include "rendering/ZoomPlotView.h"

namespace orb::app {
namespace {

using platform::Value;

struct Case {
  const char* action;
  const char* nib;
  const char* windowTitle;
  const char* plotTitle;
  bool plotOTF;
};

class DiffractionWindowTest : public testing::DoubleGaussDocumentTest<::testing::TestWithParam<Case>> {};

// Each diffraction window opens from the Diffraction menu on the double Gauss, publishes
// its tangential, sagittal and reference curves and draws them in colour; the line-spread
// action shares the transfer function's interface file with "plotOTF" off.
TEST_P(DiffractionWindowTest, OpensFromTheMenuAndDrawsItsCurves) {
  const Case c = GetParam();
  const WindowAction* action = windowAction(c.action);
  ASSERT_TRUE(action);
  EXPECT_STREQ(action->menu, "Diffraction");
  EXPECT_STREQ(action->nibName, c.nib);
  EXPECT_TRUE(windowActionIsAvailable(*action));
  ASSERT_TRUE(document->performAction(c.action));
  LensPlotWindowController* window = plotWindow(c.nib);
  ASSERT_TRUE(window);
  window->window()->show();
  // The document's name stays after the presentation's own title.
  EXPECT_EQ(window->window()->windowTitle().toStdString(), std::string(c.windowTitle) + " - DoubleGauss.zmx");
  auto calculator = window->calculator();
  ASSERT_TRUE(calculator);
  EXPECT_EQ(calculator->valueForKey("plotOTF").asBool(), c.plotOTF);
  auto* view = dynamic_cast<rendering::ZoomPlotView*>(window->view());
  ASSERT_TRUE(view);
  ASSERT_TRUE(testing::pumpUntil([&] {
    const Value* curves = view->plotDictionary().find(analysis::plot::kCurves);
    return curves && curves->isArray() && !curves->asArray().empty() && !calculator->needsWork();
  })) << "status: " << calculator->status();
  EXPECT_EQ(calculator->status(), "");
  const auto& plot = view->plotDictionary();
  EXPECT_EQ(plot.get(analysis::plot::kTitle).asString(), c.plotTitle);
  const auto& curves = plot.get(analysis::plot::kCurves).asArray();
  EXPECT_EQ(curves.size(), 3u);
  for (const Value& curve : curves) {
    const auto* y = analysis::SeriesValue::from(curve.asDictionary().get(analysis::plot::kYSeries));
    ASSERT_TRUE(y);
    EXPECT_GT(y->count(), 5u);
    for (double v : *y) EXPECT_TRUE(std::isfinite(v));
  }
  view->repaint();
  const QImage image = view->grab().toImage();
  int coloured = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (QColor(image.pixel(x, y)).hsvSaturationF() > 0.3f) ++coloured;
  EXPECT_GT(coloured, 200);
  ASSERT_TRUE(window->optionsPanelController());
  EXPECT_TRUE(window->optionsPanelController()->panel());
}

INSTANTIATE_TEST_SUITE_P(
    Windows, DiffractionWindowTest,
    ::testing::Values(Case{"makeDOTF", "DOTF", "Diffraction MTF", "Diffraction OTF (587.562nm)", true},
                      Case{"makeDLSF", "DOTF", "Diffraction Line Spread", "Diffraction LSF (587.562nm)", false},
                      Case{"makeDPSF", "DPSF", "FFT Point Spread", "FFT PSF (587.562nm)", false}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.action); });

// The point-spread window zooms to a nearly square frame.
TEST(DPSFWindowController, ZoomedFrameStaysNearlySquare) {
  DPSFWindowController controller("DPSF");
  EXPECT_EQ(controller.windowWillUseStandardFrame(QRect(0, 0, 1400, 1000)).width(), 940);
  EXPECT_EQ(controller.windowWillUseStandardFrame(QRect(0, 0, 900, 1000)).width(), 900);
}

}  // namespace
}  // namespace orb::app
