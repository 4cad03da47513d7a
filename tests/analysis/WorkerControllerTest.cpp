#include "analysis/WorkerController.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>

#include "AnalysisTestSupport.h"
#include "analysis/ImmediateUpdate.h"
#include "platform/NotificationCenter.h"
#include "platform/Thread.h"

namespace orb::analysis {
namespace {

using testing::Gates;
using testing::pumpUntil;

/// What a probe saw, kept outside it so a test can look after the probe has gone.
struct Record {
  std::vector<WorkResult> stops;  // main-thread workDidStop calls
  std::atomic<int> kernels{0};
  std::string threadName;
  bool canStart = true;
};

/// A controller whose kernel may be held at the gate "kernel", may raise, and leaves
/// {"run": n} as its result unless told to leave nothing.
class Probe : public WorkerController {
 public:
  Probe(std::shared_ptr<Record> record, std::shared_ptr<Gates> gates)
      : m_record(std::move(record)), m_gates(std::move(gates)) {}
  bool raise = false;
  bool leaveResult = true;
  std::function<void()> extraWork;

  bool workCanStart() override { return m_record->canStart; }
  void workDidStop(const WorkResult& result) override { m_record->stops.push_back(result); }

 protected:
  void workerKernel() override {
    const int run = ++m_record->kernels;
    m_record->threadName = platform::currentThreadName();
    if (extraWork) extraWork();
    m_gates->pass("kernel");
    if (raise) throw platform::Exception("OBException", "boom");
    if (leaveResult && !platform::currentThreadIsCancelled()) setWorkResult(platform::Dictionary{{"run", run}});
  }

 private:
  std::shared_ptr<Record> m_record;
  std::shared_ptr<Gates> m_gates;
};

struct WorkerControllerTest : ::testing::Test {
  std::shared_ptr<Record> record = std::make_shared<Record>();
  std::shared_ptr<Gates> gates = std::make_shared<Gates>();
  std::shared_ptr<Probe> probe;
  int workDonePosts = 0;
  platform::Observation workDoneObserver;

  void SetUp() override {
    testing::drainMainLoop();
    probe = platform::makeObject<Probe>(record, gates);
    workDoneObserver = platform::NotificationCenter::defaultCenter().addObserver(
        kWorkDoneNotification, probe->reference(), [this](const platform::Notification&) { ++workDonePosts; });
  }
  void TearDown() override {
    probe.reset();
    testing::drainMainLoop();
  }
  bool idle() { return !probe->hasWorkerThread() && !platform::RunLoop::main().hasPendingWork(); }
  std::optional<std::int64_t> runOf(const WorkResult& r) {
    if (!r) return std::nullopt;
    return r->get("run").asInt();
  }
};

TEST_F(WorkerControllerTest, StopWithoutAStartReturnsAtOnceWithNoResult) {
  probe->stopWork();
  ASSERT_EQ(record->stops.size(), 1u);
  EXPECT_FALSE(record->stops[0]);
  EXPECT_EQ(record->kernels, 0);
}

TEST_F(WorkerControllerTest, ResultReachesTheMainThreadThroughOneCoalescedNotification) {
  probe->orderWork();  // its stop delivers one empty workDidStop first
  ASSERT_TRUE(pumpUntil([&] { return record->stops.size() == 2; }));
  EXPECT_EQ(record->threadName, "worker");
  EXPECT_EQ(runOf(record->stops[1]), 1);
  EXPECT_EQ(workDonePosts, 1);

  // Two runs that end before the queue posts: one completion, the later run's.
  record->stops.clear();
  workDonePosts = 0;
  probe->startWork();
  while (probe->hasWorkerThread()) std::this_thread::yield();  // ended; the loop has not run
  probe->startWork();
  ASSERT_TRUE(pumpUntil([&] { return idle(); }));
  EXPECT_EQ(workDonePosts, 1);
  ASSERT_EQ(record->stops.size(), 1u);
  EXPECT_EQ(runOf(record->stops[0]), 3);
}

TEST_F(WorkerControllerTest, StopWaitsForTheKernelAndNothingOfTheRunIsDeliveredAfterIt) {
  std::shared_ptr<platform::WorkerThread> helper;
  std::atomic<bool> helperSawCancel{false};
  probe->extraWork = [&] {
    helper = std::make_shared<platform::WorkerThread>("tracer-0", [&] {
      while (!platform::currentThreadIsCancelled()) std::this_thread::yield();
      helperSawCancel = true;
    });
    probe->addSubthread(helper);
  };
  gates->hold("kernel");
  probe->orderWork();
  ASSERT_TRUE(gates->waitArrived("kernel"));
  probe->stopWork();  // returns only once the held kernel has seen the cancellation
  EXPECT_FALSE(probe->hasWorkerThread());
  helper->join();
  EXPECT_TRUE(helperSawCancel);
  testing::drainMainLoop();
  EXPECT_EQ(workDonePosts, 0);
  for (const auto& r : record->stops) EXPECT_FALSE(r);
}

// A run that has finished and queued its completion, then is stopped before the main
// loop gets to it: the stop withdraws it, also on the immediate path, which bypasses the
// notification queue.
TEST_F(WorkerControllerTest, CompletionQueuedBeforeAStopIsWithdrawn) {
  for (bool immediate : {false, true}) {
    SCOPED_TRACE(immediate ? "immediate update" : "queued");
    setImmediateUpdate(immediate);
    record->stops.clear();
    probe->startWork();
    while (probe->hasWorkerThread()) std::this_thread::yield();  // completion handed over, not yet run
    probe->stopWork();
    testing::drainMainLoop();
    ASSERT_EQ(record->stops.size(), 1u);
    EXPECT_FALSE(record->stops[0]);
  }
  setImmediateUpdate(false);
  EXPECT_EQ(workDonePosts, 0);
}

TEST_F(WorkerControllerTest, ImmediateUpdateDeliversWithoutTheNotification) {
  ImmediateUpdateScope dragging;
  probe->startWork();
  ASSERT_TRUE(pumpUntil([&] { return record->stops.size() == 1; }));
  EXPECT_EQ(runOf(record->stops[0]), 1);
  EXPECT_EQ(workDonePosts, 0);
}

TEST_F(WorkerControllerTest, FailedOrEmptyRunDeliversNoResult) {
  probe->startWork();
  ASSERT_TRUE(pumpUntil([&] { return record->stops.size() == 1; }));
  ASSERT_TRUE(record->stops[0]);

  probe->raise = true;  // raised: completion with nothing
  probe->startWork();
  ASSERT_TRUE(pumpUntil([&] { return record->stops.size() == 2; }));
  EXPECT_FALSE(record->stops[1]);

  probe->raise = false;  // left nothing: the first run's result is not handed on again
  probe->leaveResult = false;
  probe->startWork();
  ASSERT_TRUE(pumpUntil([&] { return record->stops.size() == 3; }));
  EXPECT_FALSE(record->stops[2]);
}

TEST_F(WorkerControllerTest, VetoedStartLeavesTheControllerStopped) {
  record->canStart = false;
  probe->orderWork();
  testing::drainMainLoop();
  EXPECT_EQ(record->kernels, 0);
  ASSERT_EQ(record->stops.size(), 1u);  // from the stop that came first
  EXPECT_FALSE(record->stops[0]);
}

// The window lets go of its controller while a run is under way, and again just after a
// run queued its completion: the run is stopped and nothing calls back.
TEST_F(WorkerControllerTest, ControllerReleasedDuringItsRunIsNeverCalledBack) {
  gates->hold("kernel");
  probe->startWork();
  ASSERT_TRUE(gates->waitArrived("kernel"));
  probe.reset();  // cancels and waits for the kernel
  testing::drainMainLoop();
  EXPECT_TRUE(record->stops.empty());

  gates->release("kernel");
  probe = platform::makeObject<Probe>(record, gates);
  probe->startWork();
  while (probe->hasWorkerThread()) std::this_thread::yield();
  probe.reset();
  testing::drainMainLoop();
  EXPECT_TRUE(record->stops.empty());
  EXPECT_EQ(record->kernels, 2);
}

TEST_F(WorkerControllerTest, StopFromTheWorkerItselfIsRefused) {
  std::string refused;
  probe->extraWork = [&] {
    try {
      probe->stopWork();
    } catch (const platform::Exception& e) {
      refused = e.name();
    }
  };
  probe->startWork();
  ASSERT_TRUE(pumpUntil([&] { return record->stops.size() == 1; }));
  EXPECT_EQ(refused, "NSInternalInconsistencyException");
}

}  // namespace
}  // namespace orb::analysis
