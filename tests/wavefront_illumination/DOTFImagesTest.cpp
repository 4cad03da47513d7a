#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "OTFTestSupport.h"
#include "analysis/PlotDictionary.h"
#include "wavefront_illumination/DOTFCalculator.h"
#include "wavefront_illumination/DOTFImages.h"

namespace orb::wavefront {
namespace {

using namespace testing;

struct Case {
  const char* name;
  bool fftOrder;       // useNewOrdering
  bool polychromatic;  // no wave of interest: the weighted path
};

class DOTFPupilImagesTest : public ::testing::TestWithParam<Case> {};

// The perfect wavefront (usePerfectOPD) of the F/5 paraboloid, 16 rays a side. The grid's
// cell (i, j) sits at pupil ((sᵢ + ½)·2/n, (sⱼ + ½)·2/n), s the signed index (i − n/2 in
// the regular ordering; i, or i − n from n/2 on, in FFT order), and is live when inside the
// unit circle: 208 cells. The wavefront is 0 everywhere; the pre-FFT pupil holds e^{i·0} = 1
// exactly on the live cells, at row sᵢ and column −1 − sⱼ (mod 2n), and 0 elsewhere; the
// OTF is 1 at zero frequency. The calculator announces the new data.
TEST_P(DOTFPupilImagesTest, PerfectPupilGivesItsMaskAndUnitPupil) {
  const Case c = GetParam();
  auto calculator = platform::makeObject<DOTFCalculator>();
  calculator->setUsePerfectOPD(true);
  calculator->setUseNewOrdering(c.fftOrder);
  int announced = 0;
  const platform::Observation observation = calculator->addObserver(
      "pupilImages", [&](const platform::ObservedChange&) { ++announced; }, platform::ObservingOptions::None);
  Window<DOTFCalculator> window(paraboloidF5(), calculator);
  ASSERT_TRUE(window.run());
  // The lens's arrival chooses its primary wave; no wave of interest after it.
  if (c.polychromatic) {
    calculator->setWaveOfInterest(nullptr);
    ASSERT_TRUE(window.run());
  }
  EXPECT_EQ(calculator->status(), "");
  EXPECT_EQ(calculator->plotDictionary()->get(analysis::plot::kTitle).asString(),
            c.polychromatic ? "Diffraction OTF (polychromatic)" : "Diffraction OTF (550nm)");
  EXPECT_GT(announced, 0);
  const auto images = calculator->pupilImages();
  ASSERT_TRUE(images);

  const int n = 16, m = 2 * n;
  ASSERT_EQ(images->grid.n, n);
  EXPECT_EQ(images->wavefrontMin, 0.0);
  EXPECT_EQ(images->wavefrontMax, 0.0);
  const foundation::Matrix waves = images->wavefrontInWaves();
  ASSERT_EQ(waves.nRows(), 16u);
  ASSERT_EQ(waves.nCols(), 16u);

  auto signedIndex = [&](int i) { return c.fftOrder ? (i < n / 2 ? i : i - n) : i - n / 2; };
  auto wrap = [&](int s) { return ((s % m) + m) % m; };
  const std::vector<bool> live = images->liveCells();
  ASSERT_EQ(live.size(), 256u);
  std::vector<bool> expectedLit(static_cast<std::size_t>(m * m), false);
  int liveCount = 0;
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) {
      const double x = (signedIndex(i) + 0.5) * 2 / n, y = (signedIndex(j) + 0.5) * 2 / n;
      const bool inside = x * x + y * y <= 1;
      EXPECT_EQ(live[static_cast<std::size_t>(i * n + j)], inside) << i << "," << j;
      EXPECT_EQ(waves.at(static_cast<std::size_t>(i), static_cast<std::size_t>(j)), 0.0);
      liveCount += inside;
      if (inside) expectedLit[static_cast<std::size_t>(wrap(signedIndex(i)) * m + wrap(-1 - signedIndex(j)))] = true;
    }
  EXPECT_EQ(liveCount, 208);

  const foundation::ComplexMatrix pupil = images->preFFT();
  ASSERT_EQ(pupil.nRows(), 32u);
  ASSERT_EQ(pupil.nCols(), 32u);
  for (int r = 0; r < m; ++r)
    for (int col = 0; col < m; ++col) {
      const auto v = pupil.at(static_cast<std::size_t>(r), static_cast<std::size_t>(col));
      const bool lit = expectedLit[static_cast<std::size_t>(r * m + col)];
      EXPECT_EQ(v.x, lit ? 1.0 : 0.0) << r << "," << col;
      EXPECT_EQ(v.y, 0.0) << r << "," << col;
    }

  ASSERT_TRUE(images->otf);
  ASSERT_EQ(images->otf->nRows(), 32u);
  EXPECT_NEAR(images->otf->at(0, 0).x, 1.0, 1e-12);
  EXPECT_NEAR(images->otf->at(0, 0).y, 0.0, 1e-12);
}

INSTANTIATE_TEST_SUITE_P(Orderings, DOTFPupilImagesTest,
                         ::testing::Values(Case{"regular", false, false}, Case{"fftOrder", true, false},
                                           Case{"polychromatic", false, true}),
                         [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace orb::wavefront
