#include <gtest/gtest.h>

#include "InterchangeTestSupport.h"
#include "tracing/ParaxialMeasurement.h"
#include "tracing/Regeneration.h"

namespace orb::interchange::test {

// A file read and regenerated gives the first-order data a hand calculation gives: a
// plano-convex lens with its curved side first has 1/f = (n − 1)/R1 whatever its
// thickness, and its back focal distance is f − t/n. N-BK7 at 587.56 nm has n = 1.516800
// (maker's datasheet), so R1 = 51.68 gives f = 100.000 and BFL = 97.3629.
TEST(ZemaxParaxial, SingletFileGivesTheHandCalculatedFocalLength) {
  tracing::registerSystemGenerator();
  const ReadOutcome read = readZemaxFile("fixtures/singlet.zmx");
  ASSERT_TRUE(read.dictionary);
  auto lens = lensFromDictionary(*read.dictionary);
  lens->validateStop();
  lens->validateFields();
  lens->validateWaves();
  lens->generateSystemFromParaxialSpecification();
  ASSERT_FALSE(lens->warningReSystemGeneration().has_value()) << *lens->warningReSystemGeneration();

  const double n = 1.516800, r1 = 51.68, t = 4;
  const double f = r1 / (n - 1);
  EXPECT_NEAR(*tracing::numberForKey(lens->paraxialData(), "focalLength"), f, 1e-3);
  EXPECT_NEAR(f - t / n, 97.3629, 1e-4);  // the file's image distance is the paraxial focus
}

}  // namespace orb::interchange::test
