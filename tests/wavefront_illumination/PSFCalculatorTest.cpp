#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

#include "OTFTestSupport.h"
#include "analysis/PlotDictionary.h"
#include "lens/Field.h"
#include "wavefront_illumination/PSFCalculator.h"

namespace orb::wavefront {
namespace {

using namespace testing;
using analysis::plot::kXSeries;
using analysis::plot::kYSeries;
using foundation::Matrix;
using platform::Value;

// Element (r, c) = 100·r + c, so every number says where it came from.
std::shared_ptr<const Matrix> labelled(std::size_t n) {
  auto m = std::make_shared<Matrix>(n, n);
  for (std::size_t r = 0; r < n; ++r)
    for (std::size_t c = 0; c < n; ++c) m->atPut(r, c, 100.0 * r + c);
  return m;
}

std::vector<std::vector<double>> exported(PSFCalculator& calculator, bool* wrote = nullptr) {
  std::FILE* file = std::tmpfile();
  const bool ok = calculator.exportToFile(file);
  if (wrote) *wrote = ok;
  std::rewind(file);
  std::string text;
  for (int ch; (ch = std::fgetc(file)) != EOF;) text.push_back(static_cast<char>(ch));
  std::fclose(file);
  std::vector<std::vector<double>> rows;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    EXPECT_EQ(line.find("  "), std::string::npos);  // single blanks
    std::istringstream values(line);
    rows.emplace_back();
    for (double v; values >> v;) rows.back().push_back(v);
  }
  return rows;
}

// The field is held in FFT order; the export writes it centred, one line per row: a
// 16 × 16 field starts at row 8, column 8, and zero displacement lands in the middle.
TEST(PSFCalculator, ExportIsCentred) {
  struct Row {
    std::size_t n, first, zero;  // the first row and column written; where (0, 0) lands
  };
  for (const Row r : {Row{16, 8, 8}, Row{5, 3, 2}}) {
    SCOPED_TRACE(r.n);
    auto calculator = platform::makeObject<PSFCalculator>();
    calculator->setIntensityField(labelled(r.n));
    const auto rows = exported(*calculator);
    ASSERT_EQ(rows.size(), r.n);
    for (const auto& row : rows) ASSERT_EQ(row.size(), r.n);
    EXPECT_EQ(rows[0][0], 100.0 * r.first + r.first);
    EXPECT_EQ(rows[0][1], 100.0 * r.first + (r.first + 1) % r.n);
    EXPECT_EQ(rows[r.zero][r.zero], 0);
    EXPECT_EQ(rows[r.n - 1][r.n - 1], 100.0 * (r.first - 1) + (r.first - 1));
  }
  // Without a field nothing is written, and the window is told so.
  auto empty = platform::makeObject<PSFCalculator>();
  bool wrote = true;
  EXPECT_TRUE(exported(*empty, &wrote).empty());
  EXPECT_FALSE(wrote);
}

TEST(PSFCalculator, CacheByFieldAndWave) {
  auto calculator = platform::makeObject<PSFCalculator>();
  auto field = lens::Field::field();
  auto wave = lens::Wave::wave();
  EXPECT_EQ(PSFCalculator::keyForField(*field, nullptr), "0,0;(null)");
  calculator->cacheIntensityFieldForField(*field, wave.get());  // no field yet: nothing
  EXPECT_FALSE(calculator->retreiveIntensityFieldForField(*field, wave.get()));
  const auto m = labelled(4);
  calculator->setIntensityField(m);
  calculator->cacheIntensityFieldForField(*field, wave.get());
  EXPECT_EQ(calculator->retreiveIntensityFieldForField(*field, wave.get()), m);
  EXPECT_FALSE(calculator->retreiveIntensityFieldForField(*field, nullptr));
  calculator->clearIntensityFieldCache();
  EXPECT_FALSE(calculator->retreiveIntensityFieldForField(*field, wave.get()));
}

// A 5 × 5 field whose column k sums to 5(k + 1): the line spread runs from −2δ to 2δ
// with zero displacement at position 2, δ = λN (2.75 µm at F/5, 0.55 µm), peak 1.
TEST(PSFCalculator, LineSpreadOfAnOddField) {
  auto calculator = platform::makeObject<PSFCalculator>();
  calculator->setLens(paraboloidF5());
  auto field = lens::Field::field();
  auto m = std::make_shared<Matrix>(5, 5);
  for (std::size_t r = 0; r < 5; ++r)
    for (std::size_t c = 0; c < 5; ++c) m->atPut(r, c, c + 1.0);
  calculator->setIntensityField(m);
  calculator->cacheIntensityFieldForField(*field, nullptr);
  calculator->setPlotDisplacementDataRange(true);
  const auto curves = calculator->extractLSFCurvesForDirection(1, field, nullptr);
  ASSERT_TRUE(curves);
  ASSERT_EQ(curves->size(), 1u);
  const auto& x = seriesOf((*curves)[0], kXSeries);
  const auto& y = seriesOf((*curves)[0], kYSeries);
  const double delta = kLambdaNF5;
  const double xs[] = {-2 * delta, -delta, 0, delta, 2 * delta};
  const double ys[] = {4, 5, 1, 2, 3};  // column sums by displacement: 3 is −2δ, 0 is 0
  for (std::size_t i = 0; i < 5; ++i) {
    EXPECT_NEAR(x.at(i), xs[i], 1e-15);
    EXPECT_NEAR(y.at(i), ys[i] / 5, 1e-15);
  }
  EXPECT_NEAR(calculator->maximumDisplacement(), 2.5 * delta, 1e-15);
  EXPECT_EQ((*curves)[0].asDictionary().get("name").asString(), "0,0 (y)");

  // Row sums (x): every row sums alike, so the curve is flat at 1 and dashed.
  const auto sagittal = calculator->extractLSFCurvesForDirection(0, field, nullptr);
  for (double v : seriesOf((*sagittal)[0], kYSeries)) EXPECT_NEAR(v, 1, 1e-15);
  EXPECT_TRUE((*sagittal)[0].asDictionary().get("dashed").asBool());
}

// A field of zeros has no peak to scale by: the curve stays zero (not NaN) and the
// problem is named.
TEST(PSFCalculator, ZeroFieldIsNotScaled) {
  auto calculator = platform::makeObject<PSFCalculator>();
  calculator->setLens(paraboloidF5());
  auto field = lens::Field::field();
  calculator->setIntensityField(std::make_shared<Matrix>(4, 4));
  calculator->cacheIntensityFieldForField(*field, nullptr);
  std::string problem;
  const auto curves = calculator->extractLSFCurvesForDirection(1, field, nullptr, &problem);
  ASSERT_TRUE(curves);
  for (double v : seriesOf((*curves)[0], kYSeries)) EXPECT_EQ(v, 0);
  EXPECT_NE(problem.find("zero"), std::string::npos);
}

// The image: centred values, √ under enhancement, and the overlay geometry. An Airy
// disk on a 16-pixel field enlarges the image to the resample width (8 pixels an
// element); zero displacement sits half an element past the middle; the Airy radius is
// 1.21967·λN.
TEST(PSFCalculator, ImageOfPSF) {
  auto calculator = platform::makeObject<PSFCalculator>();
  EXPECT_FALSE(calculator->makeImageOfPSF());
  calculator->setLens(paraboloidF5());
  auto m = std::make_shared<Matrix>(16, 16);
  m->atPut(0, 0, 16);
  calculator->setIntensityField(m);
  auto image = calculator->makeImageOfPSF();
  ASSERT_TRUE(image);
  EXPECT_EQ(image->width, 16);
  EXPECT_EQ(image->values.at(8, 8), 16);
  calculator->setUseImageEnhancement(true);
  calculator->setDrawsAiryDisk(true);
  image = calculator->makeImageOfPSF();
  EXPECT_EQ(image->values.at(8, 8), 4);
  EXPECT_EQ(image->width, 128);
  EXPECT_EQ(image->height, 128);
  EXPECT_EQ(image->pixelsPerElement, 8);
  EXPECT_NEAR(image->pixelsPerMillimetre, 8 / kLambdaNF5, 1e-6);
  EXPECT_EQ(image->origin, 68);
  ASSERT_TRUE(image->airyDiskRadius);
  EXPECT_NEAR(*image->airyDiskRadius, 1.21967 * kLambdaNF5, 1e-12);
}

TEST(PSFCalculator, SettingsPersist) {
  auto saved = platform::makeObject<PSFCalculator>();
  EXPECT_EQ(saved->resampleImageWidth(), 128);
  saved->setUseFalseColor(true);
  saved->setPlotOTF(true);
  saved->setMaximumDisplacement(0.25);
  auto restored = platform::makeObject<PSFCalculator>();
  restored->applyRestorationDictionary(saved->restorationDictionary());
  EXPECT_TRUE(restored->useFalseColor());
  EXPECT_TRUE(restored->plotOTF());
  EXPECT_EQ(restored->maximumDisplacement(), 0.25);
}

}  // namespace
}  // namespace orb::wavefront
