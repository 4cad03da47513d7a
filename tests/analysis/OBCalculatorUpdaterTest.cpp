#include "analysis/OBCalculatorUpdater.h"

#include <gtest/gtest.h>

#include "AnalysisTestSupport.h"
#include "analysis/ImmediateUpdate.h"
#include "platform/NotificationCenter.h"

namespace orb::analysis {
namespace {

using testing::pumpUntil;
using Strings = std::vector<std::string>;

struct OBCalculatorUpdaterTest : testing::CalculatorFixture {
  std::shared_ptr<OBCalculatorUpdater> updater;
  int taskPosts[3] = {0, 0, 0};
  std::vector<platform::Observation> observations;

  void makeUpdater() {
    updater = OBCalculatorUpdater::make(calculator);
    for (int task = 0; task < 3; ++task)
      observations.push_back(platform::NotificationCenter::defaultCenter().addObserver(
          OBCalculatorUpdater::notificationNameForTaskIndex(task), updater->reference(),
          [this, task](const platform::Notification&) { ++taskPosts[task]; }));
  }
  void TearDown() override {
    observations.clear();
    updater.reset();
    CalculatorFixture::TearDown();
  }
};

TEST_F(OBCalculatorUpdaterTest, BurstOfRequestsSchedulesOnce) {
  makeUpdater();
  for (int i = 0; i < 3; ++i) calculator->setNeedsCalculation(true);
  EXPECT_EQ(taskPosts[0], 0);  // queued, not yet posted
  ASSERT_TRUE(settle());
  EXPECT_EQ(taskPosts[0], 1);
  EXPECT_EQ(journal->starts, 1);
  EXPECT_EQ(journal->snapshot(), (Strings{"calculate"}));
  EXPECT_FALSE(calculator->needsCalculation());
}

TEST_F(OBCalculatorUpdaterTest, ImmediateUpdatePostsInsideTheSet) {
  makeUpdater();
  ImmediateUpdateScope dragging;
  calculator->setNeedsCalculation(true);
  EXPECT_EQ(taskPosts[0], 1);
  EXPECT_EQ(journal->starts, 1);  // the worker was started inside the call
  ASSERT_TRUE(settle());
  EXPECT_EQ(calculator->isBusyLevel(), 0u);
}

// The stage asks for the next stage on the worker thread; the request travels to the main
// thread, is scheduled there and the curves are published.
TEST_F(OBCalculatorUpdaterTest, StageRequestsFromTheWorkerReachTheMainThread) {
  calculator->calculateRequestsCurves = true;
  calculator->setNeedsCalculation(true);  // already raised when the updater is made
  makeUpdater();
  ASSERT_TRUE(pumpUntil([&] { return calculator->plotDictionary().has_value(); }));
  ASSERT_TRUE(settle());
  EXPECT_EQ(taskPosts[0], 1);  // queued by the updater's creation
  EXPECT_EQ(taskPosts[1], 1);
  const Strings events = journal->snapshot();
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.front(), "calculate");
  EXPECT_EQ(events.back(), "generateCurves");
  EXPECT_EQ(calculator->isBusyLevel(), 0u);
}

TEST_F(OBCalculatorUpdaterTest, ClearedFlagWithdrawsNothing) {
  makeUpdater();
  calculator->setNeedsFinalizeCurves(true);
  calculator->setNeedsFinalizeCurves(false);
  ASSERT_TRUE(settle());
  EXPECT_EQ(taskPosts[2], 1);
  EXPECT_EQ(journal->snapshot(), (Strings{"finalizeCurves"}));
}

TEST_F(OBCalculatorUpdaterTest, PausedCalculatorQueuesNothingUntilUnpaused) {
  makeUpdater();
  calculator->setIsPaused(true);
  calculator->setNeedsGenerateCurves(true);
  ASSERT_TRUE(settle());
  EXPECT_EQ(taskPosts[1], 0);
  calculator->setIsPaused(false);  // replays the pending request
  ASSERT_TRUE(settle());
  EXPECT_EQ(taskPosts[1], 1);
  EXPECT_EQ(journal->snapshot(), (Strings{"generateCurves"}));
}

TEST_F(OBCalculatorUpdaterTest, SurfaceReplacementStopsWorkAndDropsRequestsMeanwhile) {
  makeUpdater();
  gates->hold("calculate");
  calculator->setNeedsCalculation(true);
  ASSERT_TRUE(pumpUntil([&] { return calculator->isBusy(); }));
  ASSERT_TRUE(gates->waitArrived("calculate"));
  platform::NotificationCenter::defaultCenter().post("startSurfaceReplacementNotification");
  EXPECT_FALSE(calculator->hasWorkerThread());
  EXPECT_TRUE(updater->paused());
  calculator->setNeedsGenerateCurves(true);
  platform::NotificationCenter::defaultCenter().post("endSurfaceReplacementNotification");
  ASSERT_TRUE(settle());
  EXPECT_FALSE(updater->paused());
  EXPECT_EQ(taskPosts[1], 0);  // not replayed
  EXPECT_EQ(journal->snapshot(), (Strings{"cancelled calculate"}));
}

TEST_F(OBCalculatorUpdaterTest, RequestsAfterTheUpdaterHasGoneAreDropped) {
  makeUpdater();
  calculator->setNeedsCalculation(true);
  updater.reset();  // the window closed before the queue posted
  calculator->setNeedsCalculation(true);
  ASSERT_TRUE(settle());
  EXPECT_EQ(journal->starts, 0);
}

/// A calculator whose axes can be told to only grow.
class ScalingCalculator : public testing::TestCalculator, public ScaleOnlyExpanding {
 public:
  using TestCalculator::TestCalculator;
  void setScaleOnlyExpands(bool on) override { scaleOnlyExpands = on; }
  void updateColorsWithDictionary(const platform::Dictionary& colors) override { colorUpdates.push_back(colors); }
  bool scaleOnlyExpands = false;
  std::vector<platform::Dictionary> colorUpdates;
};

TEST_F(OBCalculatorUpdaterTest, ForwardsColoursAndSliderScaling) {
  auto scaling = platform::makeObject<ScalingCalculator>(journal, gates);
  auto plainUpdater = OBCalculatorUpdater::make(calculator);  // not ScaleOnlyExpanding: ignored
  auto scalingUpdater = OBCalculatorUpdater::make(scaling);
  auto& center = platform::NotificationCenter::defaultCenter();
  center.post("makeSliderFriendlyNotification");
  EXPECT_TRUE(scaling->scaleOnlyExpands);
  center.post("makeSliderUnfriendlyNotification");
  EXPECT_FALSE(scaling->scaleOnlyExpands);

  const platform::Dictionary colors{{1, platform::Color::make(1, 0, 0)}};
  center.post("colorChangedNotification", colors);
  center.post("colorChangedNotification", "not a dictionary");
  ASSERT_EQ(scaling->colorUpdates.size(), 1u);
  EXPECT_EQ(scaling->colorUpdates[0], colors);
}

TEST(OBCalculatorUpdaterNames, TaskIndexFromNotificationName) {
  struct Case {
    std::string name;
    std::size_t task;
  };
  const std::size_t none = std::string_view::npos;
  for (const Case& c : {Case{"OBCalculatorUpdaterNotification0", 0}, Case{"OBCalculatorUpdaterNotification2", 2},
                        Case{"OBCalculatorUpdaterNotification", none}, Case{"OBCalculatorUpdaterNotificationx", none},
                        Case{"otherNotification1", none}}) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(OBCalculatorUpdater::taskIndexForNotificationName(c.name), c.task);
  }
  EXPECT_EQ(OBCalculatorUpdater::notificationNameForTaskIndex(1), "OBCalculatorUpdaterNotification1");
}

}  // namespace
}  // namespace orb::analysis
