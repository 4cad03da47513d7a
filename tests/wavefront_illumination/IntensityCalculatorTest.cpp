#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "OTFTestSupport.h"
#include "wavefront_illumination/IntensityCalculator.h"

namespace orb::wavefront {
namespace {

using foundation::Matrix;

std::string written(const std::function<bool(std::FILE*)>& write, bool* result = nullptr) {
  std::FILE* f = std::tmpfile();
  const bool ok = write(f);
  if (result) *result = ok;
  std::rewind(f);
  std::string out;
  for (int c; (c = std::fgetc(f)) != EOF;) out.push_back(static_cast<char>(c));
  std::fclose(f);
  return out;
}

TEST(IntensityCalculator, BlurBelowTheThresholdIsOffAndLeavesTheFieldAlone) {
  auto c = platform::makeObject<IntensityCalculator>();
  EXPECT_EQ(c->blur(), 1.0);
  const Matrix m(3, 3, std::initializer_list<std::initializer_list<double>>{{0, 1, 0}, {2, 5, 0}, {0, 0, 3}});
  for (double b : {5e-11, -2.0, std::nan("")}) {
    SCOPED_TRACE(b);
    c->setBlur(b);
    EXPECT_EQ(c->blur(), 0.0);
    EXPECT_EQ(c->blurredVersionOfIntensityField(m), m);
  }
  c->setBlur(1e-10);
  EXPECT_EQ(c->blur(), 1e-10);
}

// A point in the interior spreads as exp(−(di² + dj²)/b²) about itself, and the blur
// keeps the power: the weights, summed over the plane, come to the point's value.
TEST(IntensityCalculator, BlurSpreadsAPointAsAGaussianAndKeepsItsPower) {
  auto c = platform::makeObject<IntensityCalculator>();
  for (double b : {1.0, 1.5}) {
    SCOPED_TRACE(b);
    c->setBlur(b);
    Matrix m(15, 13);
    m.atPut(7, 6, 10.0);
    const Matrix blurred = c->blurredVersionOfIntensityField(m);
    ASSERT_EQ(blurred.nRows(), 15u);
    ASSERT_EQ(blurred.nCols(), 13u);
    double norm = 0;
    for (int di = -7; di <= 7; ++di)
      for (int dj = -6; dj <= 6; ++dj) norm += std::exp(-(di * di + dj * dj) / (b * b));
    for (int di = -3; di <= 3; ++di)
      for (int dj = -3; dj <= 3; ++dj)
        EXPECT_NEAR(blurred.at(7 + di, 6 + dj), 10.0 * std::exp(-(di * di + dj * dj) / (b * b)) / norm, 1e-9)
            << di << ", " << dj;
    EXPECT_NEAR(blurred.elementSum(), 10.0, 1e-6);
    EXPECT_GT(blurred.at(7, 6), blurred.at(7, 7));
  }
}

TEST(IntensityCalculator, ExportWritesEachRowAsBlankSeparatedNumbers) {
  auto c = platform::makeObject<IntensityCalculator>();
  bool ok = true;
  EXPECT_EQ(written([&](std::FILE* f) { return c->exportToFile(f); }, &ok), "");
  EXPECT_FALSE(ok);
  c->setIntensityField(std::make_shared<const Matrix>(
      2, 3, std::initializer_list<std::initializer_list<double>>{{1, 2.5, -3}, {0, 1e-7, 42}}));
  EXPECT_EQ(written([&](std::FILE* f) { return c->exportToFile(f); }, &ok),
            "1.000000e+00 2.500000e+00 -3.000000e+00\n0.000000e+00 1.000000e-07 4.200000e+01\n");
  EXPECT_TRUE(ok);
  EXPECT_DOUBLE_EQ(c->intensitySum(), 1 + 2.5 - 3 + 1e-7 + 42);
}

TEST(IntensityCalculator, ImageFollowsTheFieldAndTheDisplayOptions) {
  auto c = platform::makeObject<IntensityCalculator>();
  c->setUseFalseColor(true);  // no field yet: no image, and nothing raised
  EXPECT_FALSE(c->imageOfIntensityField());
  c->setIntensityField(std::make_shared<const Matrix>(
      1, 3, std::initializer_list<std::initializer_list<double>>{{4, 9, -1e-12}}));
  c->setUseImageEnhancement(true);
  ASSERT_TRUE(c->imageOfIntensityField());
  const auto& image = *c->imageOfIntensityField();
  EXPECT_TRUE(image.falseColor);
  EXPECT_FALSE(image.negative);
  EXPECT_DOUBLE_EQ(image.values.at(0, 0), 2);
  EXPECT_DOUBLE_EQ(image.values.at(0, 1), 3);
  EXPECT_EQ(image.values.at(0, 2), 0);  // a rounding error below zero is no NaN
  c->setIntensityField(nullptr);
  c->setUseNegativeImage(true);
  EXPECT_TRUE(c->imageOfIntensityField());  // the old image stays
}

TEST(IntensityCalculator, RestorationHoldsTheDisplayAndBlurSettings) {
  auto c = platform::makeObject<IntensityCalculator>();
  c->setBlurEnabled(true);
  c->setBlur(2.5);
  c->setResampleImageWidth(256);
  const auto d = c->restorationDictionary();
  for (const char* key : {"useImageEnhancement", "useFalseColor", "useNegativeImage", "drawsAiryDisk", "resampleImage",
                          "resampleImageWidth", "drawRays", "resampleCurves", "blurEnabled", "blur"})
    EXPECT_TRUE(d.find(platform::Value(key))) << key;
  auto restored = platform::makeObject<IntensityCalculator>();
  restored->applyRestorationDictionary(d);
  EXPECT_TRUE(restored->blurEnabled());
  EXPECT_EQ(restored->blur(), 2.5);
  EXPECT_EQ(restored->resampleImageWidth(), 256);
}

}  // namespace
}  // namespace orb::wavefront
