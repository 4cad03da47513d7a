#include "analysis/OBCalculator.h"

#include <gtest/gtest.h>

#include "AnalysisTestSupport.h"

namespace orb::analysis {
namespace {

using testing::CalculatorFixture;
using testing::pumpUntil;
using Strings = std::vector<std::string>;

using OBCalculatorTest = CalculatorFixture;

TEST_F(OBCalculatorTest, LaterTaskJoinsTheRunningWork) {
  gates->hold("calculate");
  calculator->scheduleWorkerTaskIndex(OBCalculator::kCalculateTask);
  ASSERT_TRUE(gates->waitArrived("calculate"));
  EXPECT_TRUE(calculator->isBusy());
  calculator->scheduleWorkerTaskIndex(OBCalculator::kGenerateCurvesTask);
  gates->release("calculate");
  ASSERT_TRUE(settle());
  EXPECT_EQ(journal->snapshot(), (Strings{"calculate", "generateCurves"}));
  EXPECT_EQ(journal->starts, 1);
  ASSERT_TRUE(calculator->plotDictionary());
  EXPECT_EQ(calculator->plotDictionary()->get(plot::kTitle), platform::Value("test plot"));
  EXPECT_EQ(calculator->isBusyLevel(), 0u);
}

TEST_F(OBCalculatorTest, EarlierTaskStopsTheRunningWorkAndRestarts) {
  gates->hold("generateCurves");
  calculator->scheduleWorkerTaskIndex(OBCalculator::kGenerateCurvesTask);
  ASSERT_TRUE(gates->waitArrived("generateCurves"));
  calculator->scheduleWorkerTaskIndex(OBCalculator::kCalculateTask);
  ASSERT_TRUE(settle());
  EXPECT_EQ(journal->starts, 2);
  EXPECT_EQ(journal->snapshot(), (Strings{"cancelled generateCurves", "calculate"}));
  EXPECT_EQ(calculator->isBusyLevel(), 0u);
}

TEST_F(OBCalculatorTest, StoppedRunPublishesNothing) {
  gates->hold("finalizeCurves");
  calculator->scheduleWorkerTaskIndex(OBCalculator::kGenerateCurvesTask);
  calculator->scheduleWorkerTaskIndex(OBCalculator::kFinalizeCurvesTask);
  ASSERT_TRUE(gates->waitArrived("finalizeCurves"));  // the plot is on its way to the main thread
  calculator->stopWork();
  testing::drainMainLoop();
  EXPECT_FALSE(calculator->plotDictionary());
  EXPECT_EQ(journal->snapshot(), (Strings{"generateCurves", "cancelled finalizeCurves"}));
  EXPECT_TRUE(calculator->workerTaskIndexSet().empty());
  EXPECT_EQ(calculator->isBusyLevel(), 0u);
}

TEST_F(OBCalculatorTest, RaisingStageEndsTheRunWithAStatusAndNoResult) {
  calculator->setPlotDictionary(platform::Dictionary{{plot::kTitle, "old"}});
  calculator->raiseIn = "calculate";
  gates->hold("calculate");
  calculator->scheduleWorkerTaskIndex(OBCalculator::kCalculateTask);
  ASSERT_TRUE(gates->waitArrived("calculate"));
  calculator->scheduleWorkerTaskIndex(OBCalculator::kGenerateCurvesTask);
  gates->release("calculate");
  ASSERT_TRUE(settle());
  EXPECT_EQ(calculator->plotDictionary()->get(plot::kTitle), platform::Value("old"));
  EXPECT_EQ(calculator->status(), "OBException: boom");
  EXPECT_EQ(calculator->isBusyLevel(), 0u);
  ASSERT_FALSE(journal->stops.empty());
  EXPECT_FALSE(journal->stops.back());
  EXPECT_EQ(journal->snapshot(), (Strings{"calculate"}));

  calculator->raiseIn.clear();  // a good run clears the status
  calculator->scheduleWorkerTaskIndex(OBCalculator::kCalculateTask);
  ASSERT_TRUE(settle());
  EXPECT_EQ(calculator->status(), "");
}

// A request that arrives after a stage raised but before its worker has gone must not be
// left to that worker.
TEST_F(OBCalculatorTest, RequestJoiningAWorkerThatRaisedStillRuns) {
  calculator->raiseIn = "calculate";
  gates->hold("calculate");
  gates->hold("raised");
  calculator->scheduleWorkerTaskIndex(OBCalculator::kCalculateTask);
  ASSERT_TRUE(gates->waitArrived("calculate"));
  calculator->scheduleWorkerTaskIndex(OBCalculator::kGenerateCurvesTask);  // joins: {0, 1}
  gates->release("calculate");
  ASSERT_TRUE(gates->waitArrived("raised"));  // 0 removed, 1 left; the worker still exists
  calculator->raiseIn.clear();
  calculator->scheduleWorkerTaskIndex(OBCalculator::kFinalizeCurvesTask);
  gates->release("raised");
  ASSERT_TRUE(settle());
  EXPECT_EQ(journal->snapshot(), (Strings{"calculate", "generateCurves", "finalizeCurves"}));
  EXPECT_EQ(calculator->isBusyLevel(), 0u);
}

TEST_F(OBCalculatorTest, BusyCountNeverGoesNegative) {
  calculator->setIsBusy(false);
  EXPECT_EQ(calculator->isBusyLevel(), 0u);
  calculator->setIsBusy(true);
  calculator->setIsBusy(true);
  calculator->setIsBusy(false);
  EXPECT_TRUE(calculator->isBusy());
  calculator->stopWork();
  calculator->stopWork();
  EXPECT_EQ(calculator->isBusyLevel(), 0u);
}

TEST_F(OBCalculatorTest, UnpausingRaisesPendingFlagsAgain) {
  std::vector<std::string> seen;
  std::vector<platform::Observation> observations;
  for (const char* key : {"needsCalculation", "needsGenerateCurves", "needsFinalizeCurves", "needsWork"})
    observations.push_back(calculator->addObserver(key, [&seen, key](const platform::ObservedChange& c) {
      if (c.newValue.asBool()) seen.push_back(key);
    }));
  calculator->setIsPaused(true);
  calculator->setNeedsGenerateCurves(true);
  seen.clear();
  calculator->setIsPaused(false);
  EXPECT_EQ(seen, (Strings{"needsGenerateCurves", "needsWork"}));
}

TEST_F(OBCalculatorTest, ProgressIsAPercentageOfWorkToDo) {
  struct Case {
    const char* name;
    double done, toDo, percentage;
  };
  for (const Case& c : {Case{"nothing to do", 3, 0, 0}, Case{"negative to do", 3, -1, 0},
                        Case{"a quarter", 1, 4, 25}, Case{"all", 8, 8, 100}}) {
    SCOPED_TRACE(c.name);
    calculator->setWorkDone(c.done);
    calculator->setWorkToDo(c.toDo);
    calculator->workDidProgress();
    EXPECT_DOUBLE_EQ(calculator->progressPercentage(), c.percentage);
  }
}

TEST_F(OBCalculatorTest, DisplaySettingEditsThePublishedDictionaryInPlace) {
  int changes = 0;
  auto observation = calculator->addObserver("plotDictionary", [&](const platform::ObservedChange&) { ++changes; });
  EXPECT_FALSE(calculator->setPlotDictionaryValue(plot::kPlotTight, true));  // nothing published
  calculator->setPlotDictionary(platform::Dictionary{{plot::kTitle, "t"}});
  EXPECT_TRUE(calculator->setPlotDictionaryValue(plot::kPlotTight, true));
  EXPECT_EQ(changes, 2);
  EXPECT_TRUE(calculator->plotDictionary()->get(plot::kPlotTight).asBool());
}

/// A calculator with two settings of its own, saved in its restoration dictionary.
class SettingsCalculator : public OBCalculator {
 public:
  static const platform::KeyTable& classKeys() {
    using K = platform::Keys<SettingsCalculator>;
    static const platform::KeyTable table(&OBCalculator::classKeys(),
                                          {K::property("numberOfRays", &SettingsCalculator::numberOfRays,
                                                       &SettingsCalculator::setNumberOfRays),
                                           K::field("comment", &SettingsCalculator::m_comment)});
    return table;
  }
  const platform::KeyTable& keys() const override { return classKeys(); }
  int numberOfRays() const { return m_numberOfRays; }
  void setNumberOfRays(int n) {
    setAndAnnounce("numberOfRays", m_numberOfRays, n);
    setNeedsCalculation(true);
  }
  void addRestorationDataToDictionary(platform::Dictionary& d) const override {
    OBCalculator::addRestorationDataToDictionary(d);
    for (const char* key : {"numberOfRays", "comment"}) d.set(key, valueForKey(key));
  }
  int m_numberOfRays = 10;
  std::string m_comment;
};

TEST(OBCalculatorRestorationTest, SettingsRoundTripAndUnknownKeysAreIgnored) {
  auto saved = platform::makeObject<SettingsCalculator>();
  saved->setNumberOfRays(99);
  saved->m_comment = "kept";
  platform::Dictionary d = saved->restorationDictionary();
  EXPECT_EQ(d.size(), 2u);
  d.set("fanType", "hexapolar");         // a key of another calculator class
  d.set("needsWork", true);              // read-only here
  d.set("comment", platform::Value(7));  // wrong type: skipped, logged

  auto restored = platform::makeObject<SettingsCalculator>();
  restored->applyRestorationDictionary(d);
  EXPECT_EQ(restored->numberOfRays(), 99);
  EXPECT_TRUE(restored->needsCalculation());  // the setter's side effect happened
  EXPECT_EQ(restored->m_comment, "");
  try {
    restored->valueForKey("fanType");
    FAIL() << "reading an unknown key must raise";
  } catch (const platform::Exception& e) {
    EXPECT_EQ(e.name(), "NSUnknownKeyException");
  }
}

TEST_F(OBCalculatorTest, UnknownTaskIsRefused) {
  EXPECT_THROW(calculator->scheduleWorkerTaskIndex(3), platform::Exception);
  EXPECT_FALSE(calculator->hasWorkerThread());
}

}  // namespace
}  // namespace orb::analysis
