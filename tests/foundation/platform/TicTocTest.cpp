#include "foundation/platform/TicToc.h"

#include <gtest/gtest.h>

#include <cmath>

namespace orb::foundation {
namespace {

// The stopwatch is process-wide, so one test walks the whole story in order.
TEST(TicToc, PairsTicsAndTocsAtAnyDepth) {
  EXPECT_TRUE(std::isnan(TicToc::toc())) << "a toc without a tic has nothing to measure";

  TicToc::tic("outer");
  TicToc::tic();
  EXPECT_GE(TicToc::toc(), 0.0);
  EXPECT_GE(TicToc::toc(), 0.0);

  const std::size_t depth = TicToc::kCapacity + 5;
  for (std::size_t i = 0; i < depth; ++i) TicToc::tic();
  for (std::size_t i = depth; i-- > 0;) {
    const double seconds = TicToc::toc();
    if (i >= TicToc::kCapacity)
      EXPECT_TRUE(std::isnan(seconds)) << "depth " << i;
    else
      EXPECT_GE(seconds, 0.0) << "depth " << i;
  }
  EXPECT_TRUE(std::isnan(TicToc::toc())) << "every tic has been matched";
}

}  // namespace
}  // namespace orb::foundation
