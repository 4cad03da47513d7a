#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <QLabel>
#include <algorithm>
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
#include "app/windows/HuygensWindows.h"
#include "app/windows/LensPlotWindowController.h"
#include "app/windows/OBWindow.h"
#include "app/windows/OptionPanelController.h"
#include "app/windows/DiffractionWindows.h"
#include "rendering/ImageViewWithMouse.h"
#include "rendering/ZoomPlotView.h"
#include "wavefront_illumination/PSFCalculator.h"

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

class HuygensWindowTest : public testing::DoubleGaussDocumentTest<::testing::TestWithParam<Case>> {};

// Each Huygens window opens from the Diffraction menu on the double Gauss, publishes the
// tangential and sagittal curves of its field and draws them in colour; the MTF action
// shares the line spread's interface file with "plotOTF" on, and the title says so.
TEST_P(HuygensWindowTest, OpensFromTheMenuAndDrawsItsCurves) {
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
  auto calculator = window->calculator();
  ASSERT_TRUE(calculator);
  EXPECT_TRUE(calculator->needsProgressMonitor());
  EXPECT_EQ(calculator->valueForKey("plotOTF").asBool(), c.plotOTF);
  auto* view = dynamic_cast<rendering::ZoomPlotView*>(window->view());
  ASSERT_TRUE(view);
  ASSERT_TRUE(testing::pumpUntil([&] {
    const Value* curves = view->plotDictionary().find(analysis::plot::kCurves);
    return curves && curves->isArray() && !curves->asArray().empty() && !calculator->needsWork();
  })) << "status: " << calculator->status();
  // The document's name stays after the presentation's own title.
  EXPECT_EQ(shownWindowTitle(*window->window()).toStdString(), std::string(c.windowTitle) + " - DoubleGauss.zmx");
  EXPECT_EQ(calculator->status(), "");
  const auto& plot = view->plotDictionary();
  EXPECT_EQ(plot.get(analysis::plot::kTitle).asString(), c.plotTitle);
  const auto& curves = plot.get(analysis::plot::kCurves).asArray();
  EXPECT_EQ(curves.size(), 2u);
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
    Windows, HuygensWindowTest,
    ::testing::Values(Case{"makeHLSF", "HLSF", "Huygens Line Spread", "Huygens LSF (587.562nm)", false},
                      Case{"makeHOTF", "HLSF", "Huygens MTF", "Huygens MTF (587.562nm)", true}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.action); });

class HPSFWindowTest : public testing::DoubleGaussDocumentTest<> {};

// The Huygens point-spread window shows its field as a square grey image whose brightest
// pixel is white and near the middle (the on-axis spread peaks about the chief ray), with
// the key labelled 0 … the field's maximum.
TEST_F(HPSFWindowTest, ShowsThePointSpreadAsAnImageWithItsKey) {
  HPSFWindowController* window = showWindow<HPSFWindowController>("makeHPSF");
  ASSERT_TRUE(window);
  auto calculator = std::dynamic_pointer_cast<wavefront::PSFCalculator>(window->calculator());
  ASSERT_TRUE(calculator);
  auto* view = dynamic_cast<PSFImageView*>(window->view());
  ASSERT_TRUE(view);
  ASSERT_TRUE(testing::pumpUntil([&] { return !view->imageView()->image().isNull() && !calculator->needsWork(); }))
      << "status: " << calculator->status();
  EXPECT_EQ(shownWindowTitle(*window->window()).toStdString(), "Huygens Point Spread - DoubleGauss.zmx");
  ASSERT_TRUE(calculator->imageOfPSF());
  const foundation::Matrix& values = calculator->imageOfPSF()->values;
  const int n = static_cast<int>(values.nRows());
  const QImage image = view->imageView()->image();
  ASSERT_EQ(image.size(), QSize(n, n));
  const QPoint best = testing::brightest(image);
  EXPECT_FLOAT_EQ(testing::hsvAt(image, best.x(), best.y()).valueF(), 1.0f);
  EXPECT_LE(std::abs(best.x() - n / 2), n / 8);
  EXPECT_LE(std::abs(best.y() - n / 2), n / 8);
  const double* v = values.rowMajorStorage();
  const double peak = *std::max_element(v, v + values.numberOfElements());
  EXPECT_GE(*std::min_element(v, v + values.numberOfElements()), 0.0);  // a sum of squared magnitudes
  EXPECT_EQ(view->minimumLabel()->text().toStdString(), "0");
  EXPECT_EQ(view->maximumLabel()->text().toStdString(), QString::number(peak, 'g', 6).toStdString());
  ASSERT_TRUE(window->optionsPanelController());
  EXPECT_TRUE(window->optionsPanelController()->panel());
}

// The point-spread window zooms to a nearly square frame.
TEST(HPSFWindowController, ZoomedFrameStaysNearlySquare) {
  HPSFWindowController controller("HPSF");
  EXPECT_EQ(controller.windowWillUseStandardFrame(QRect(0, 0, 1400, 1000)).width(), 920);
  EXPECT_EQ(controller.windowWillUseStandardFrame(QRect(0, 0, 900, 1000)).width(), 900);
}

}  // namespace
}  // namespace orb::app
