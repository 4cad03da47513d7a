#include "rendering/ImageCreator.h"

#include <gtest/gtest.h>

#include <QColor>

#include <cmath>
#include <future>
#include <vector>

namespace orb::rendering {
namespace {

using foundation::ComplexMatrix;
using foundation::Matrix;

QColor colourAt(const QImage& image, int x, int y) { return QColor(image.pixelColor(x, y)).toHsv(); }

// Hue and saturation of 8- and 16-bit pixels read back through RGB.
constexpr double kTol = 3e-3;

/// Every pixel a valid colour of the given brightness (a check that no NaN got through).
void expectEveryPixel(const QImage& image, double hue, double saturation, double value) {
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      SCOPED_TRACE(testing::Message() << "pixel " << x << ", " << y);
      const QColor c = colourAt(image, x, y);
      ASSERT_TRUE(c.isValid());
      if (saturation > 0 && value > 0) {
        EXPECT_NEAR(c.hsvHueF(), hue, kTol);
      }
      EXPECT_NEAR(c.hsvSaturationF(), saturation, kTol);
      EXPECT_NEAR(c.valueF(), value, kTol);
      EXPECT_EQ(c.alphaF(), 1.0f);
    }
}

TEST(VKImageCreator, ConstantMatricesDrawWithoutDividingByZero) {
  VKImageCreator creator;
  const Matrix seven(3, 2, std::vector<double>(6, 7.0).data());
  const QImage blue = creator.imageFromMatrix(seven);
  EXPECT_EQ(blue.format(), QImage::Format_RGBA64);
  EXPECT_EQ(creator.uMin(), 7.0);
  EXPECT_EQ(creator.uMax(), 7.0);
  expectEveryPixel(blue, 0.666, 0.5, 1.0);
  expectEveryPixel(creator.imageFromMatrix(seven, nullptr, false, true), 0.0, 0.5, 1.0);

  // All zero: no range at all, in false colour and in grey (mid grey, also negative).
  const Matrix zero(4, 4);
  expectEveryPixel(creator.imageFromMatrix(zero, nullptr, true), 0.666, 0.5, 1.0);
  expectEveryPixel(creator.grayImageFromMatrix(zero, nullptr, true), 0, 0, 0.5);
  expectEveryPixel(creator.grayImageFromMatrix(zero, nullptr, false, true), 0, 0, 0.5);
  EXPECT_EQ(creator.uMin(), 0.0);
  EXPECT_EQ(creator.uMax(), 0.0);
  // A non-zero constant is the top of a grey range that starts at 0: white.
  expectEveryPixel(creator.grayImageFromMatrix(seven), 0, 0, 1.0);
}

// Element (i, j) of an r × c matrix holds i·c + j + 1, so a grey level names the element.
TEST(VKImageCreator, RowsRunRightColumnsRunUpAndFftOrderCentresElementZero) {
  struct Case {
    int rows, cols;
    bool fft;
    int x, y;      // pixel, y from the top
    int row, col;  // the element it shows
  };
  const std::vector<Case> cases = {
      {2, 2, false, 0, 0, 0, 1}, {2, 2, false, 0, 1, 0, 0}, {2, 2, false, 1, 0, 1, 1}, {2, 2, false, 1, 1, 1, 0},
      {2, 2, true, 0, 0, 1, 0},  {2, 2, true, 0, 1, 1, 1},  {2, 2, true, 1, 0, 0, 0},  {2, 2, true, 1, 1, 0, 1},
      // Odd sizes: the middle pixel of each axis shows index 0, the one after it index 1.
      {3, 1, true, 1, 0, 0, 0},  {3, 1, true, 2, 0, 1, 0},  {3, 1, true, 0, 0, 2, 0},
      {1, 3, true, 0, 1, 0, 0},  {1, 3, true, 0, 0, 0, 1},  {1, 3, true, 0, 2, 0, 2},
      // 3 wide and 2 high.
      {3, 2, false, 2, 0, 2, 1}, {3, 2, false, 0, 1, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.rows << "x" << c.cols << (c.fft ? " fft" : "") << " pixel " << c.x << ","
                                    << c.y);
    Matrix m(c.rows, c.cols);
    for (int i = 0; i < c.rows; ++i)
      for (int j = 0; j < c.cols; ++j) m.atPut(i, j, i * c.cols + j + 1);
    VKImageCreator creator;
    const QImage image = creator.grayImageFromMatrix(m, nullptr, c.fft);
    ASSERT_EQ(image.width(), c.rows);
    ASSERT_EQ(image.height(), c.cols);
    const double expected = (c.row * c.cols + c.col + 1) / static_cast<double>(c.rows * c.cols);
    EXPECT_NEAR(colourAt(image, c.x, c.y).valueF(), expected, 1e-4);
  }
}

TEST(VKImageCreator, MaskedOutElementsAreBlackOrDarkRed) {
  const Matrix m(2, 2, {{9, -3}, {5, 100}});
  ImageMask mask(4, false);
  mask[1 * 2 + 0] = true;  // element (1, 0), value 5: pixel (1, 1)
  VKImageCreator creator;
  const QImage colour = creator.imageFromMatrix(m, &mask);
  EXPECT_EQ(creator.uMin(), 5.0);
  EXPECT_EQ(creator.uMax(), 5.0);
  const QColor selected = colourAt(colour, 1, 1);
  EXPECT_NEAR(selected.hsvHueF(), 0.666, kTol);
  EXPECT_NEAR(selected.valueF(), 1.0, kTol);
  for (const QPoint p : {QPoint(0, 0), QPoint(0, 1), QPoint(1, 0)})
    EXPECT_EQ(colourAt(colour, p.x(), p.y()).valueF(), 0.0f);

  const QImage grey = creator.grayImageFromMatrix(m, &mask);
  EXPECT_EQ(creator.uMin(), 0.0);
  EXPECT_EQ(creator.uMax(), 5.0);
  EXPECT_NEAR(colourAt(grey, 1, 1).valueF(), 1.0, kTol);
  EXPECT_NEAR(colourAt(grey, 1, 1).hsvSaturationF(), 0.0, kTol);
  for (const QPoint p : {QPoint(0, 0), QPoint(0, 1), QPoint(1, 0)}) {
    const QColor darkRed = colourAt(grey, p.x(), p.y());
    EXPECT_NEAR(darkRed.hsvHueF(), 0.0, kTol);
    EXPECT_NEAR(darkRed.hsvSaturationF(), 0.5, kTol);
    EXPECT_NEAR(darkRed.valueF(), 0.1, kTol);
  }

  // A mask that selects nothing leaves the range at 0; a short mask hides the rest.
  const ImageMask none(4, false);
  creator.imageFromMatrix(m, &none);
  EXPECT_EQ(creator.uMin(), 0.0);
  EXPECT_EQ(creator.uMax(), 0.0);
  const ImageMask shortMask{true};
  const QImage firstOnly = creator.imageFromMatrix(m, &shortMask);
  EXPECT_EQ(creator.uMax(), 9.0);
  EXPECT_EQ(colourAt(firstOnly, 0, 0).valueF(), 0.0f);  // element (0, 1), past the mask's end
  EXPECT_NEAR(colourAt(firstOnly, 0, 1).valueF(), 1.0, kTol);
}

TEST(VKImageCreator, GreyRangeContainsZeroAndEveryElement) {
  VKImageCreator creator;
  const QImage image = creator.grayImageFromMatrix(Matrix(1, 2, {{2, 3}}));
  EXPECT_EQ(creator.uMin(), 0.0);
  EXPECT_EQ(creator.uMax(), 3.0);
  EXPECT_NEAR(colourAt(image, 0, 0).valueF(), 1.0, 1e-4);      // 3
  EXPECT_NEAR(colourAt(image, 0, 1).valueF(), 2.0 / 3, 1e-4);  // 2

  // The first element alone holds the maximum (the zero-frequency element of a point
  // spread): it enters the range, so it is white and not brighter than white.
  const QImage peak = creator.grayImageFromMatrix(Matrix(2, 2, {{10, 1}, {1, 1}}), nullptr, true);
  EXPECT_EQ(creator.uMax(), 10.0);
  EXPECT_NEAR(colourAt(peak, 1, 0).valueF(), 1.0, 1e-4);
  EXPECT_NEAR(colourAt(peak, 0, 0).valueF(), 0.1, 1e-4);
  const QImage negativeRange = creator.grayImageFromMatrix(Matrix(1, 2, {{-4, -2}}), nullptr, false, true);
  EXPECT_EQ(creator.uMin(), -4.0);
  EXPECT_EQ(creator.uMax(), 0.0);
  EXPECT_NEAR(colourAt(negativeRange, 0, 1).valueF(), 1.0, 1e-4);  // −4 in the negative image
}

TEST(VKImageCreator, KeysRunFromMinimumToMaximumAndLeaveTheRampsBounds) {
  VKImageCreator creator;
  creator.imageFromMatrix(Matrix(1, 2, {{-7, 9}}));
  struct Case {
    bool grey, negative;
    double left, right;  // hue (false colour) or brightness (grey) at the ends
  };
  for (const Case c : {Case{false, false, 0.666, 0.0}, Case{false, true, 0.0, 0.666}, Case{true, false, 0.0, 1.0},
                       Case{true, true, 1.0, 0.0}}) {
    SCOPED_TRACE(testing::Message() << (c.grey ? "grey" : "hue") << (c.negative ? " negative" : ""));
    const QImage key = c.grey ? creator.grayReferenceImageNegative(c.negative)
                              : creator.hueReferenceImageNegative(c.negative);
    ASSERT_EQ(key.width(), 256);
    ASSERT_EQ(key.height(), 1);
    EXPECT_EQ(creator.uMin(), 0.0);
    EXPECT_EQ(creator.uMax(), 255.0);
    const QColor left = colourAt(key, 0, 0), right = colourAt(key, 255, 0);
    EXPECT_NEAR(c.grey ? left.valueF() : left.hsvHueF(), c.left, kTol);
    EXPECT_NEAR(c.grey ? right.valueF() : right.hsvHueF(), c.right, kTol);
  }
}

TEST(VKImageCreator, ComplexPixelsShowPhaseAsHueAndMagnitudeAsSaturation) {
  VKImageCreator creator;
  const QImage key = creator.complexReferenceImage();
  EXPECT_EQ(key.format(), QImage::Format_ARGB32);
  ASSERT_EQ(key.size(), QSize(128, 128));
  // Real −1, imaginary 0: left edge, 64 rows above the bottom row.
  const QColor minusOne = colourAt(key, 0, 127 - 64);
  EXPECT_NEAR(minusOne.hsvHueF(), 0.5, kTol);
  EXPECT_NEAR(minusOne.hsvSaturationF(), 1.0, kTol);
  EXPECT_NEAR(colourAt(key, 64, 127 - 64).hsvSaturationF(), 0.0, kTol);  // z = 0: white
  // z = 0.25i: phase a quarter turn, saturation √0.25.
  const QColor quarter = colourAt(key, 64, 127 - 80);
  EXPECT_NEAR(quarter.hsvHueF(), 0.25, kTol);
  EXPECT_NEAR(quarter.hsvSaturationF(), 0.5, kTol);

  ComplexMatrix m(2, 1);
  m.atPut(0, 0, {0, -1});  // phase −π/2 → hue 0.75
  m.atPut(1, 0, {3, 4});   // |z| = 5: saturation held at 1
  const QImage image = creator.imageFromComplexMatrix(m);
  EXPECT_NEAR(colourAt(image, 0, 0).hsvHueF(), 0.75, kTol);
  EXPECT_NEAR(colourAt(image, 1, 0).hsvHueF(), std::atan2(4.0, 3.0) / (2 * M_PI), kTol);
  EXPECT_NEAR(colourAt(image, 1, 0).hsvSaturationF(), 1.0, kTol);
  EXPECT_EQ(creator.uMax(), 0.0);  // complex images leave the range alone
}

TEST(VKImageCreator, ComplexKeyIsMadeOnceForAllThreads) {
  std::vector<std::future<qint64>> keys;
  for (int i = 0; i < 4; ++i)
    keys.push_back(std::async(std::launch::async, [] { return VKImageCreator().complexReferenceImage().cacheKey(); }));
  const qint64 first = VKImageCreator().complexReferenceImage().cacheKey();
  for (auto& k : keys) EXPECT_EQ(k.get(), first);
  EXPECT_EQ(VKImageCreation::complexReferenceImage().cacheKey(), VKImageCreation::complexReferenceImage().cacheKey());
}

TEST(VKImageCreation, KeepsOneRangeApartFromTheCreators) {
  VKImageCreator creator;
  creator.imageFromMatrix(Matrix(1, 2, {{-1, 1}}));
  VKImageCreation::imageFromMatrix(Matrix(1, 3, {{4, 2, 8}}));
  EXPECT_EQ(VKImageCreation::uMin(), 2.0);
  EXPECT_EQ(VKImageCreation::uMax(), 8.0);
  EXPECT_EQ(creator.uMin(), -1.0);
  VKImageCreation::grayReferenceImageNegative(false);
  EXPECT_EQ(VKImageCreation::uMax(), 255.0);
  // No rows: an empty image and an empty range.
  EXPECT_TRUE(VKImageCreation::grayImageFromMatrix(Matrix(0, 3)).isNull());
  EXPECT_EQ(VKImageCreation::uMin(), 0.0);
  EXPECT_EQ(VKImageCreation::uMax(), 0.0);
}

}  // namespace
}  // namespace orb::rendering
