#include <gtest/gtest.h>

#include <QCheckBox>
#include <QColor>
#include <QDir>
#include <QFile>
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
#include "app/windows/DiffractionWindows.h"
#include "app/windows/LensPlotWindowController.h"
#include "app/windows/OBWindow.h"
#include "app/windows/OptionPanelController.h"
#include "rendering/ImageCreator.h"
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
  EXPECT_EQ(shownWindowTitle(*window->window()).toStdString(), std::string(c.windowTitle) + " - DoubleGauss.zmx");
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
                      Case{"makeDLSF", "DOTF", "Diffraction Line Spread", "Diffraction LSF (587.562nm)", false}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.action); });

class DPSFWindowTest : public testing::DoubleGaussDocumentTest<> {};

using testing::brightest;
using testing::hsvAt;

// The FFT point-spread window of the double Gauss shows the on-axis point spread as an
// image: its peak, at zero displacement, lands on the middle pixel (the row index runs
// right and the column index up, so on an even n × n field that is pixel (n/2, n/2 − 1)),
// and the key under it is labelled with the image's range. The options redraw it.
TEST_F(DPSFWindowTest, ShowsThePointSpreadAsAnImageWithItsKey) {
  DPSFWindowController* window = showWindow<DPSFWindowController>("makeDPSF");
  ASSERT_TRUE(window);
  EXPECT_EQ(shownWindowTitle(*window->window()).toStdString(), "FFT Point Spread - DoubleGauss.zmx");
  auto calculator = std::dynamic_pointer_cast<wavefront::PSFCalculator>(window->calculator());
  ASSERT_TRUE(calculator);
  auto* view = dynamic_cast<PSFImageView*>(window->view());
  ASSERT_TRUE(view);
  ASSERT_TRUE(testing::pumpUntil([&] { return !view->imageView()->image().isNull() && !calculator->needsWork(); }))
      << "status: " << calculator->status();
  EXPECT_EQ(calculator->status(), "");
  ASSERT_TRUE(calculator->imageOfPSF());
  const foundation::Matrix& values = calculator->imageOfPSF()->values;
  const int n = static_cast<int>(values.nRows());
  ASSERT_EQ(n % 2, 0);

  const QImage grey = view->imageView()->image();
  ASSERT_EQ(grey.size(), QSize(n, n));
  EXPECT_EQ(brightest(grey), QPoint(n / 2, n / 2 - 1));
  EXPECT_FLOAT_EQ(hsvAt(grey, n / 2, n / 2 - 1).valueF(), 1.0f);
  // A grey range runs from 0 (the FFT's round-off below it reads as 0) to the field's maximum.
  const double* v = values.rowMajorStorage();
  const double peak = *std::max_element(v, v + values.numberOfElements());
  const double low = *std::min_element(v, v + values.numberOfElements());
  ASSERT_GT(low, -1e-9 * peak);
  EXPECT_EQ(view->minimumLabel()->text().toStdString(), "0");
  EXPECT_EQ(view->maximumLabel()->text().toStdString(), QString::number(peak, 'g', 6).toStdString());
  EXPECT_EQ(view->keyView()->image().size(), QSize(256, 1));

  ASSERT_TRUE(window->optionsPanelController() && window->optionsPanelController()->panel());
  QWidget* panel = window->optionsPanelController()->panel();
  auto check = [&](const char* key) {
    auto* box = panel->findChild<QCheckBox*>(QString::fromUtf8(key));
    EXPECT_TRUE(box) << key;
    if (box) box->setChecked(!box->isChecked());
  };
  // False colour: the peak is red (hue 0) and the key runs from the field's minimum.
  check("useFalseColor");
  const QImage colour = view->imageView()->image();
  EXPECT_NEAR(hsvAt(colour, n / 2, n / 2 - 1).hsvHueF(), 0.0, 1e-3);
  EXPECT_NEAR(hsvAt(colour, 0, 0).hsvHueF(), 0.666, 0.05);  // far from the peak: near the minimum
  EXPECT_NEAR(view->minimumLabel()->text().toDouble(), low, 1e-6 * peak);
  EXPECT_NEAR(hsvAt(view->keyView()->image(), 0, 0).hsvHueF(), 0.666, 1e-3);
  check("useFalseColor");

  // The Airy disk on a grey image: drawn at the resampled width (f = w / n), a red circle
  // of the lens's Airy radius about zero displacement; nothing else in the image is red.
  check("drawsAiryDisk");
  const auto& psf = *calculator->imageOfPSF();
  ASSERT_TRUE(psf.airyDiskRadius);
  const int w = std::max(n, calculator->resampleImageWidth());
  const QImage airy = view->imageView()->image();
  ASSERT_EQ(airy.size(), QSize(w, w));
  const double f = static_cast<double>(w) / n;
  // Field pixels are screenDeltaMM (λN) over the FFT's rescale factor apart.
  const double pixelsPerMM = f * calculator->imageRescaleFactor() / calculator->screenDeltaMM();
  const double rPixels = *psf.airyDiskRadius * pixelsPerMM;
  ASSERT_GT(rPixels, 3.0);
  ASSERT_LT(rPixels, w / 2.0 - 2);
  const double cx = w / 2.0 + 0.5 * f, cy = w - cx;  // zero displacement, y from the top
  int onCircle = 0, offCircle = 0;
  for (int y = 0; y < w; ++y)
    for (int x = 0; x < w; ++x) {
      const QColor c = hsvAt(airy, x, y);
      if (c.hsvSaturationF() < 0.3f) continue;
      const double d = std::hypot(x + 0.5 - cx, y + 0.5 - cy);
      (std::abs(d - rPixels) < 1.5 ? onCircle : offCircle)++;
    }
  EXPECT_GT(onCircle, static_cast<int>(3 * rPixels));  // most of the 2πr pixels of the ring
  EXPECT_EQ(offCircle, 0);
  check("drawsAiryDisk");
  EXPECT_EQ(view->imageView()->image().size(), QSize(n, n));

  // Export writes the field as text: one line of n numbers per row, the peak in the middle.
  const QString path = QDir(QDir::tempPath()).filePath(QStringLiteral("orb-dpsf-export.txt"));
  QFile::remove(path);
  window->setSavePathChooser(
      [&](QWidget*, const SavePanelOptions&, auto chosen) { chosen(path.toStdString()); });
  window->exportAction();
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly | QIODevice::Text));
  const QStringList lines = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), n);
  const QStringList middle = lines[n / 2].split(' ', Qt::SkipEmptyParts);
  ASSERT_EQ(middle.size(), n);
  EXPECT_NEAR(middle[n / 2].toDouble(), peak, 1e-6 * peak);
  file.remove();
}

// The drawn image keeps the field's orientation (row index right, column index up) when
// resampled, and ray marks land at their image-plane position about the origin, y upward.
TEST(PSFImageView, DrawsRaysAboutZeroDisplacementWithYUp) {
  wavefront::PSFImage psf;
  psf.values = foundation::Matrix(4, 4);
  psf.values.atPut(3, 0, 1.0);  // the last row's first column: bottom right
  psf.width = psf.height = 40;
  psf.pixelsPerElement = 10;
  psf.pixelsPerMillimetre = 1e5;  // the 0.1 µm ray marks are 10 pixels wide
  psf.origin = 20 + 0.5 * 10;
  psf.rayPositions = {{0.0001, 0.00005}};  // 10 pixels right of the origin, 5 up
  rendering::VKImageCreator creator;
  const QImage image = PSFImageView::drawImage(psf, creator);
  ASSERT_EQ(image.size(), QSize(40, 40));
  EXPECT_GT(hsvAt(image, 38, 38).valueF(), 0.9f);
  EXPECT_LT(hsvAt(image, 1, 1).valueF(), 0.1f);
  const QColor mark = hsvAt(image, 35, 40 - 30);
  EXPECT_GT(mark.hsvSaturationF(), 0.9f);
  EXPECT_NEAR(mark.hsvHueF(), 0.0, 1e-3);
  EXPECT_LT(hsvAt(image, 35, 40 - 20).hsvSaturationF(), 0.1f);  // where y = −0.05 µm would be
}

// The point-spread window zooms to a nearly square frame.
TEST(DPSFWindowController, ZoomedFrameStaysNearlySquare) {
  DPSFWindowController controller("DPSF");
  EXPECT_EQ(controller.windowWillUseStandardFrame(QRect(0, 0, 1400, 1000)).width(), 940);
  EXPECT_EQ(controller.windowWillUseStandardFrame(QRect(0, 0, 900, 1000)).width(), 900);
}

}  // namespace
}  // namespace orb::app
