#include <gtest/gtest.h>

#include <QApplication>
#include <QColor>
#include <QImage>
#include <QMouseEvent>
#include <QStatusBar>
#include <QTemporaryDir>
#include <limits>
#include <cmath>
#include <fstream>
#include <sstream>
#include <string>

#include "AnalysisWindowTestSupport.h"
#include "AppTestSupport.h"
#include "analysis/OBCalculator.h"
#include "analysis/PlotDictionary.h"
#include "app/Messages.h"
#include "app/document/DocumentController.h"
#include "app/document/OBDocument.h"
#include "app/document/WindowActions.h"
#include "app/windows/IlluminationWindows.h"
#include "app/windows/LensPlotWindowController.h"
#include "app/windows/OBWindow.h"
#include "app/windows/OptionPanelController.h"
#include "lens/Emission.h"
#include "lens/Lens.h"
#include "lens/Surface.h"
#include "rendering/MatrixView.h"
#include "rendering/ZoomPlotView.h"
#include "wavefront_illumination/ScreenCalculator.h"

namespace orb::app {
namespace {

using platform::Value;
namespace plot = analysis::plot;

class IlluminationWindowTest : public testing::ExampleDocumentTest {
 protected:
  template <class Controller>
  Controller* openWindow(const char* action, const char* nib) {
    const WindowAction* a = windowAction(action);
    EXPECT_TRUE(a);
    if (!a) return nullptr;
    EXPECT_STREQ(a->menu, "Illumination");
    EXPECT_TRUE(windowActionIsAvailable(*a));
    EXPECT_TRUE(document->performAction(action));
    Controller* window = nullptr;
    for (auto* controller : document->windowControllers())
      if (auto* p = qobject_cast<Controller*>(controller); p && p->nibName() == nib) window = p;
    if (window) window->window()->show();
    return window;
  }
  // The curves once published and settled.
  static const platform::Array* curvesOf(rendering::ZoomPlotView* view, analysis::OBCalculator& calculator) {
    const bool ok = testing::pumpUntil([&] {
      const Value* curves = view->plotDictionary().find(plot::kCurves);
      return curves && curves->isArray() && !curves->asArray().empty() && !calculator.needsWork() &&
             !calculator.isBusy();
    });
    return ok ? &view->plotDictionary().get(plot::kCurves).asArray() : nullptr;
  }
};

TEST_F(IlluminationWindowTest, IntensityFanPlotsBothFansOfTheDoubleGauss) {
  open("DoubleGauss.zmx");
  auto* window = openWindow<LensPlotWindowController>("makeIntensityFan", "IntensityFan");
  ASSERT_TRUE(window);
  EXPECT_EQ(window->window()->windowTitle().toStdString().rfind("Intensity Fan", 0), 0u);
  auto calculator = std::dynamic_pointer_cast<analysis::OBCalculator>(window->calculator());
  auto* view = dynamic_cast<rendering::ZoomPlotView*>(window->view());
  ASSERT_TRUE(calculator && view);
  const platform::Array* curves = curvesOf(view, *calculator);
  ASSERT_TRUE(curves) << calculator->status();
  EXPECT_EQ(calculator->status(), "");
  EXPECT_EQ(curves->size() % 2, 0u);  // a sagittal and a tangential curve per field
  std::size_t finite = 0;
  for (const Value& c : *curves)
    for (double y : *analysis::SeriesValue::from(c.asDictionary().get(plot::kYSeries))) finite += std::isfinite(y) && y > 0;
  EXPECT_GT(finite, 100u);
  // A caustic gives 1/|0| = +∞ (and a sum may carry it): the plot leaves those points out
  // of its lines and its axis range and still draws the rest.
  platform::Dictionary withCaustic = *calculator->plotDictionary();
  platform::Array edited;
  for (const Value& c : *curves) {
    platform::Dictionary d = c.asDictionary();
    foundation::VKSeries y = *analysis::SeriesValue::from(d.get(plot::kYSeries));
    y.atPut(y.count() / 2, std::numeric_limits<double>::infinity());
    y.atPut(0, -std::numeric_limits<double>::infinity());
    d.set(Value(plot::kYSeries), analysis::SeriesValue::make(std::move(y)));
    edited.push_back(Value(std::move(d)));
  }
  withCaustic.set(Value(plot::kCurves), Value(std::move(edited)));
  calculator->setPlotDictionary(withCaustic);
  testing::settle();
  view->repaint();
  const QImage image = view->grab().toImage();
  int coloured = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) coloured += QColor(image.pixel(x, y)).hsvSaturationF() > 0.3f;
  EXPECT_GT(coloured, 200);
  ASSERT_TRUE(window->optionsPanelController());
  EXPECT_TRUE(window->optionsPanelController()->panel());
}

// The rod of the example with an emitter on its entrance face: the exit face is lit, the
// window shows the bins as a picture over the plot of their sum along y, a click on the
// picture picks a bin and its slice, and the bins export as CSV.
TEST_F(IlluminationWindowTest, IrradianceScreenShowsTheRodExitAndExportsCSV) {
  open("HomogenizingRod.orb");
  auto face = document->lens()->surfaceArray()[1];
  face->setEmissionType("Lambertian emission");
  ASSERT_TRUE(face->emission());
  face->emission()->setNumericalAperture(0.3);
  testing::settle();
  auto* window = openWindow<ScreenWindowController>("makeIntensityScreen", "IntensityScreen");
  ASSERT_TRUE(window);
  EXPECT_EQ(window->window()->windowTitle().toStdString().rfind("Irradiance Screen", 0), 0u);
  auto calculator = std::dynamic_pointer_cast<analysis::OBCalculator>(window->calculator());
  auto screen = std::dynamic_pointer_cast<wavefront::ScreenCalculator>(calculator);
  auto* view = dynamic_cast<rendering::ZoomPlotView*>(window->view());
  rendering::VKMatrixView* matrixView = window->matrixView();
  ASSERT_TRUE(screen && view && matrixView);
  calculator->setValueForKey("screenDelta", Value(0.25));  // 8 mm across: the 5 mm face and its dark rim
  const platform::Array* curves = curvesOf(view, *calculator);
  ASSERT_TRUE(curves) << calculator->status() << " needs " << calculator->needsCalculation()
                      << calculator->needsGenerateCurves() << calculator->needsFinalizeCurves() << " busy "
                      << calculator->isBusy() << " plot " << calculator->plotDictionary().has_value() << " field "
                      << calculator->valueForKey("intensitySum").asDouble();
  EXPECT_EQ(calculator->status(), "");
  ASSERT_EQ(curves->size(), 1u);
  EXPECT_EQ(view->plotDictionary().get(plot::kTitle).asString(), "summed in y direction");
  const auto& x = *analysis::SeriesValue::from((*curves)[0].asDictionary().get(plot::kXSeries));
  const auto& y = *analysis::SeriesValue::from((*curves)[0].asDictionary().get(plot::kYSeries));
  ASSERT_EQ(y.count(), 32u);
  double inside = 0, outside = 0;
  for (std::size_t i = 0; i < y.count(); ++i) (std::abs(x.at(i)) < 2.4 ? inside : outside) += y.at(i);
  EXPECT_GT(inside, 0);
  EXPECT_EQ(outside, 0);  // no ray leaves the rod's walls

  // The picture is the calculator's field: the fullest bin white, the rim dark.
  testing::settle();
  const auto field = screen->intensityField();
  ASSERT_TRUE(field);
  ASSERT_EQ(matrixView->matrix(), field);
  EXPECT_EQ(field->nRows(), 32u);
  EXPECT_EQ(field->nCols(), 32u);
  const QImage picture = matrixView->grab().toImage();
  matrixView->frameWillRepresentMatrix(*field);
  const double s = matrixView->matrixElementSize();
  ASSERT_GT(s, 0);
  // The centre of bin (i, j), counted from the picture's lower-left corner.
  auto greyOfBin = [&](std::size_t i, std::size_t j) {
    return qGray(picture.pixel(int(matrixView->x0() + (double(i) + 0.5) * s),
                               int(matrixView->height() - (matrixView->y0() + (double(j) + 0.5) * s))));
  };
  std::size_t iMax = 0, jMax = 0;
  for (std::size_t i = 0; i < 32; ++i)
    for (std::size_t j = 0; j < 32; ++j)
      if (field->at(i, j) > field->at(iMax, jMax)) iMax = i, jMax = j;
  EXPECT_EQ(greyOfBin(iMax, jMax), 255);
  EXPECT_EQ(greyOfBin(0, 0), 0);
  EXPECT_EQ(greyOfBin(31, 0), 0);

  // A click at (0.3, 0.7) of the unit square monitors bin (9, 22) (0.3·32 = 9.6, 0.7·32 =
  // 22.4) and, released, picks its column as the slice; the read-out names the bin.
  screen->setUseSlice(true);
  const QPointF at(matrixView->x0() + 0.3 * 32 * s, matrixView->height() - (matrixView->y0() + 0.7 * 32 * s));
  for (auto type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
    QMouseEvent event(type, at, matrixView->mapToGlobal(at), Qt::LeftButton,
                      type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(matrixView, &event);
  }
  EXPECT_EQ(screen->matrixIndexForMonitorPoint(), (std::pair<int, int>{9, 22}));
  EXPECT_EQ(screen->sliceIndex(), 22);
  EXPECT_TRUE(screen->drawsElementCursor());
  EXPECT_EQ(window->window()->statusBar()->currentMessage().toStdString(), screen->monitorString());
  EXPECT_EQ(window->window()->statusBar()->currentMessage().left(2), "x=");
  ASSERT_TRUE(testing::pumpUntil([&] {
    return view->plotDictionary().get(plot::kTitle).asString().rfind("row 22 ", 0) == 0 && !calculator->needsWork() &&
           !calculator->isBusy();
  })) << view->plotDictionary().get(plot::kTitle).asString();
  curves = curvesOf(view, *calculator);
  ASSERT_TRUE(curves);
  EXPECT_EQ(curves->size(), 1u);
  view->repaint();

  QTemporaryDir dir;
  const std::string path = dir.filePath("screen.csv").toStdString();
  std::string chosenSuffix;
  window->setCSVPathChooser([&](QWidget*, const SavePanelOptions& o, std::function<void(const std::string&)> chosen) {
    chosenSuffix = o.suffix;
    chosen(path);
  });
  window->exportAction();
  EXPECT_EQ(chosenSuffix, "csv");
  std::ifstream in(path);
  ASSERT_TRUE(in);
  std::string line;
  int lines = 0;
  while (std::getline(in, line)) {
    ++lines;
    EXPECT_EQ(std::count(line.begin(), line.end(), ','), 31) << line;
  }
  EXPECT_EQ(lines, 32);
  ASSERT_TRUE(window->optionsPanelController());
  EXPECT_TRUE(window->optionsPanelController()->panel());
}

}  // namespace
}  // namespace orb::app
