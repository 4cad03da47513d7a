#include "foundation/minimise/LeastSquaresFunctor.h"

#include <gtest/gtest.h>

#include <limits>
#include <optional>
#include <string>

#include "platform/Exception.h"

namespace orb::foundation {
namespace {

// Residuals of a line fit through (0, 1) and (1, 3); slopes above 10 are inadmissible,
// as a lens whose rays no longer trace would be.
struct LineFit {
  std::optional<VKSeries> residuals(const VKSeries& c) const {
    if (c.at(1) > 10) return std::nullopt;
    return VKSeries::seriesWithArray({c.at(0) - 1, c.at(0) + c.at(1) - 3});
  }
  VKSeries alwaysAdmissible(const VKSeries& c) const { return VKSeries::seriesWithArray({c.at(0), c.at(1)}); }
};

TEST(LeastSquaresFunctorTest, ResidualsAndHalfSumOfSquares) {
  LineFit fit;
  const LeastSquaresFunctor f = LeastSquaresFunctor::leastSquaresFunctorWithObject(fit, &LineFit::residuals);
  const VKSeries at = VKSeries::seriesWithArray({4, 3});
  ASSERT_TRUE(f.residualsAt(at).has_value());
  EXPECT_EQ(f.residualsAt(at)->array(), (std::vector<double>{3, 4}));
  EXPECT_EQ(f.valueAtCoordinate(at), 12.5);
  EXPECT_EQ(f.valueAtCoordinate(VKSeries::seriesWithArray({1, 2})), 0);

  // Used where a plain multivariate function is expected, an inadmissible point ranks worst.
  const MultivariateFunctor& asMultivariate = f;
  const VKSeries steep = VKSeries::seriesWithArray({0, 11});
  EXPECT_FALSE(f.residualsAt(steep).has_value());
  EXPECT_EQ(asMultivariate.valueAtCoordinate(steep), std::numeric_limits<double>::infinity());
}

TEST(LeastSquaresFunctorTest, BindsMethodsReturningPlainSeries) {
  LineFit fit;
  LeastSquaresFunctor f;
  try {
    f.residualsAt(VKSeries(2));
    ADD_FAILURE() << "no exception";
  } catch (const platform::Exception& e) {
    EXPECT_EQ(e.name(), "NSInternalInconsistencyException");
  }
  f.setObjectResidualSelector(fit, &LineFit::alwaysAdmissible);
  EXPECT_EQ(f.valueAtCoordinate(VKSeries::seriesWithArray({1, 1})), 1);
}

}  // namespace
}  // namespace orb::foundation
