#include "analysis/LensBuffer.h"
#include "lens/Lens.h"

#include <gtest/gtest.h>

#include "AnalysisTestSupport.h"
#include "analysis/OBCalculatorUpdater.h"
#include "platform/KeyTable.h"
#include "platform/NotificationCenter.h"

namespace orb::analysis {
namespace {

using Strings = std::vector<std::string>;

/// Stands in for the document.
class FakeDocument : public platform::Object, public LensProvider {
 public:
  static const platform::KeyTable& classKeys() {
    using K = platform::Keys<FakeDocument>;
    static const platform::KeyTable table(&Object::classKeys(),
                                          {K::field("lensKeyPathUpdateDictionary", &FakeDocument::m_renames)});
    return table;
  }
  const platform::KeyTable& keys() const override { return classKeys(); }
  LensPtr lens() const override { return m_lens; }
  platform::Dictionary lensKeyPathUpdateDictionary() const override { return m_renames; }
  void postLensIsReady() {
    m_lens->setIsReady(true);
    platform::NotificationCenter::defaultCenter().post(kLensIsReadyNotification, reference());
  }
  std::shared_ptr<lens::Lens> m_lens = lens::Lens::create();
  platform::Dictionary m_renames;
};

/// A lens user that logs what it is handed.
class RecordingUser : public LensUser {
 public:
  LensPtr lens() const override { return m_lens; }
  void setLens(LensPtr lens) override {
    calls.push_back("setLens");
    m_lens = std::move(lens);
  }
  void firstTimeWithLens(const LensPtr&) override { calls.push_back("firstTimeWithLens"); }
  void setLensKeyPathUpdateDictionary(const platform::Dictionary& renames) override {
    calls.push_back("renames");
    lastRenames = renames;
  }
  LensPtr m_lens;
  Strings calls;
  platform::Dictionary lastRenames;
};

struct LensBufferTest : ::testing::Test {
  std::shared_ptr<FakeDocument> document = platform::makeObject<FakeDocument>();
  std::shared_ptr<RecordingUser> user = std::make_shared<RecordingUser>();
};

TEST_F(LensBufferTest, FirstLensArrivesOnceThenEveryReadyHandsItOver) {
  for (bool readyAtCreation : {false, true}) {
    SCOPED_TRACE(readyAtCreation ? "ready at creation" : "not ready at creation");
    document = platform::makeObject<FakeDocument>();
    user = std::make_shared<RecordingUser>();
    document->m_lens->setIsReady(readyAtCreation);
    LensBuffer buffer(document, user);
    EXPECT_EQ(user->calls, readyAtCreation ? (Strings{"firstTimeWithLens", "setLens"}) : Strings{});
    document->postLensIsReady();
    document->postLensIsReady();
    const Strings expected = readyAtCreation
                                 ? Strings{"firstTimeWithLens", "setLens", "setLens", "setLens"}
                                 : Strings{"firstTimeWithLens", "setLens", "setLens"};
    EXPECT_EQ(user->calls, expected);
    EXPECT_EQ(user->m_lens, document->m_lens);
  }
}

TEST_F(LensBufferTest, UserWithALensIsNeverGivenTheFirstTime) {
  user->m_lens = lens::Lens::create();
  document->m_lens->setIsReady(true);
  LensBuffer buffer(document, user);
  EXPECT_EQ(user->calls, (Strings{"setLens"}));
}

TEST_F(LensBufferTest, OtherProvidersAndGoneBuffersAreIgnored) {
  auto other = platform::makeObject<FakeDocument>();
  {
    LensBuffer buffer(document, user);
    other->postLensIsReady();
    EXPECT_TRUE(user->calls.empty());
  }
  document->postLensIsReady();  // the buffer has gone
  EXPECT_TRUE(user->calls.empty());
}

TEST_F(LensBufferTest, RenameMapsArePassedOn) {
  LensBuffer buffer(document, user);
  const platform::Dictionary renames{{"s3", "s4"}, {"s4", "s5"}};
  document->setValueForKey("lensKeyPathUpdateDictionary", renames);
  EXPECT_EQ(user->calls, (Strings{"renames"}));
  EXPECT_EQ(user->lastRenames, renames);
}

TEST_F(LensBufferTest, TweaksReachOnlyAPrivateCopy) {
  LensBuffer buffer(document, user);
  const platform::Dictionary tweak{{"f0.y", 5.0}};
  user->m_lens = document->m_lens;  // analyses the document's own lens: nothing to do
  platform::NotificationCenter::defaultCenter().post(kLensTweakNotification, document->reference(), tweak);
  EXPECT_EQ(document->m_lens->valueForKeyPath("f0.y").asDouble(), 0);

  auto copy = lens::Lens::create();
  user->m_lens = copy;
  platform::NotificationCenter::defaultCenter().post(kLensTweakNotification, document->reference(), tweak);
  EXPECT_EQ(copy->valueForKeyPath("f0.y").asDouble(), 5);
  EXPECT_EQ(document->m_lens->valueForKeyPath("f0.y").asDouble(), 0);
}

TEST_F(LensBufferTest, ProviderMustBeAnObservableObject) {
  struct BareProvider : LensProvider {
    LensPtr lens() const override { return nullptr; }
    platform::Dictionary lensKeyPathUpdateDictionary() const override { return {}; }
  };
  try {
    LensBuffer buffer(std::make_shared<BareProvider>(), user);
    FAIL() << "a provider that cannot be observed must be refused";
  } catch (const platform::Exception& e) {
    EXPECT_EQ(e.name(), "NSInvalidArgumentException");
  }
}

/// A calculator that analyses the handed lens, as the ray calculators do: a new lens
/// object stops the running work, a ready lens asks for calculation.
class LensCalculator : public testing::TestCalculator, public LensUser {
 public:
  using TestCalculator::TestCalculator;
  LensPtr lens() const override { return m_lens; }
  void setLens(LensPtr lens) override {
    if (lens != m_lens && !isDeallocating()) stopWork();
    m_lens = std::move(lens);
    if (lensIsReady(m_lens.get())) setNeedsCalculation(true);
  }
  void firstTimeWithLens(const LensPtr&) override { ++firstTimes; }
  void setLensKeyPathUpdateDictionary(const platform::Dictionary&) override {}
  bool workCanStart() override { return TestCalculator::workCanStart() && lensIsReady(m_lens.get()); }
  int firstTimes = 0;

 private:
  LensPtr m_lens;
};

// The window's wiring: document, lens buffer, calculator and updater; each ready lens
// leads to one calculation.
TEST(LensBufferWiringTest, ReadyLensLeadsToCalculation) {
  testing::drainMainLoop();
  auto journal = std::make_shared<testing::Journal>();
  auto calculator = platform::makeObject<LensCalculator>(journal, std::make_shared<testing::Gates>());
  auto document = platform::makeObject<FakeDocument>();
  auto updater = OBCalculatorUpdater::make(calculator);
  LensBuffer buffer(document, calculator);
  platform::RunLoop::main().runUntilIdle();
  EXPECT_EQ(journal->starts, 0);  // no ready lens yet

  document->postLensIsReady();
  document->postLensIsReady();
  ASSERT_TRUE(testing::pumpUntil([&] { return journal->snapshot().size() == 1 && !calculator->isBusy(); }));
  EXPECT_EQ(calculator->firstTimes, 1);
  EXPECT_EQ(journal->snapshot(), (Strings{"calculate"}));
  testing::drainMainLoop();
}

}  // namespace
}  // namespace orb::analysis
