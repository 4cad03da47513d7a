#include <gtest/gtest.h>

#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QStackedWidget>
#include <string>

#include "AnalysisWindowTestSupport.h"
#include "AppTestSupport.h"
#include "app/windows/DOTFImagesView.h"
#include "app/windows/LensPlotWindowController.h"
#include "app/windows/OBWindow.h"
#include "rendering/ImageViewWithMouse.h"
#include "wavefront_illumination/DOTFCalculator.h"
#include "wavefront_illumination/DOTFImages.h"

namespace orb::app {
namespace {

using testing::hsvAt;

class DOTFImagesWindowTest : public testing::DoubleGaussDocumentTest<> {};

// The diffraction MTF window of the double Gauss (16 rays a side, regular ordering) shows,
// as its "Show:" choice says, the curves or one pupil image with its key. Pixel (x, y) is
// row x and column n − 1 − y of the matrix (column index upward); the FFT images are
// shifted by half their side, so element (0, 0) lands on pixel (n, n − 1) of the 2n image.
//  - wavefront: n × n; the corner pixel is cell (0, n − 1), at pupil (−15/16, 15/16),
//    outside the unit circle: dead, so the mask's black; the middle cell is live. Its
//    key is the 256-step hue ramp labelled with the live cells' range in waves.
//  - before the FFT: 2n × 2n; element (0, 2n − 1) (grid cell (8, 8), mirrored in y) at
//    pixel (n, n) has modulus 1, full saturation; the corner (−n, −n) is empty, white.
//  - after the FFT: the OTF, 1 at zero frequency: pixel (n, n − 1) is red at full
//    saturation. Both complex images have the complex key.
TEST_F(DOTFImagesWindowTest, ShowChoiceSwitchesBetweenTheCurvesAndEachPupilImage) {
  ASSERT_TRUE(document->performAction("makeDOTF"));
  LensPlotWindowController* window = plotWindow("DOTF");
  ASSERT_TRUE(window);
  window->window()->show();
  auto calculator = std::dynamic_pointer_cast<wavefront::DOTFCalculator>(window->calculator());
  ASSERT_TRUE(calculator);
  ASSERT_TRUE(testing::pumpUntil([&] { return calculator->pupilImages() && !calculator->needsWork(); }))
      << "status: " << calculator->status();
  auto* box = window->window()->findChild<QComboBox*>(QStringLiteral("showBox"));
  auto* stack = window->window()->findChild<QStackedWidget*>(QStringLiteral("showStack"));
  auto* view = window->window()->findChild<DOTFImagesView*>();
  ASSERT_TRUE(box && stack && view);
  ASSERT_EQ(box->count(), 4);
  EXPECT_EQ(box->currentIndex(), 0);
  EXPECT_TRUE(window->view()->isVisible());
  EXPECT_TRUE(view->image().isNull());  // nothing drawn while the curves show

  const auto images = calculator->pupilImages();
  const int n = calculator->numberOfRaysPerSide();
  ASSERT_EQ(n, 16);

  box->setCurrentIndex(1);
  EXPECT_EQ(stack->currentWidget(), view);
  EXPECT_TRUE(view->isVisible());
  const QImage wavefront = view->image();
  ASSERT_EQ(wavefront.size(), QSize(n, n));
  EXPECT_EQ(wavefront.pixelColor(0, 0).rgb(), qRgb(0, 0, 0));
  EXPECT_GT(hsvAt(wavefront, n / 2, n / 2).valueF(), 0.9f);
  EXPECT_EQ(view->keyView()->image().size(), QSize(256, 1));
  const double lambda = images->grid.wavelength;
  EXPECT_EQ(view->minimumLabel()->text(), QString::number(images->wavefrontMin / lambda, 'g', 4) + " waves");
  EXPECT_EQ(view->maximumLabel()->text(), QString::number(images->wavefrontMax / lambda, 'g', 4) + " waves");
  EXPECT_LT(images->wavefrontMin, images->wavefrontMax);

  box->setCurrentIndex(2);
  EXPECT_EQ(stack->currentWidget(), view);
  const QImage before = view->image();
  ASSERT_EQ(before.size(), QSize(2 * n, 2 * n));
  EXPECT_NEAR(hsvAt(before, n, n).saturationF(), 1.0, 1e-2);
  EXPECT_NEAR(hsvAt(before, 0, 0).saturationF(), 0.0, 1e-6);
  EXPECT_EQ(view->keyView()->image().size(), QSize(128, 128));

  box->setCurrentIndex(3);
  const QImage after = view->image();
  ASSERT_EQ(after.size(), QSize(2 * n, 2 * n));
  EXPECT_NE(after, before);
  const QColor zero = hsvAt(after, n, n - 1);
  EXPECT_NEAR(zero.saturationF(), 1.0, 1e-2);
  EXPECT_TRUE(zero.hsvHueF() < 0.01f || zero.hsvHueF() > 0.99f) << zero.hsvHueF();
  EXPECT_EQ(view->keyView()->image().size(), QSize(128, 128));

  box->setCurrentIndex(0);
  EXPECT_NE(stack->currentWidget(), view);
  EXPECT_TRUE(window->view()->isVisible());
}

}  // namespace
}  // namespace orb::app
