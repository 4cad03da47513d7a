#pragma once

#include <gtest/gtest.h>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "analysis/OBCalculator.h"
#include "analysis/PlotDictionary.h"
#include "platform/RunLoop.h"
#include "platform/Thread.h"

namespace orb::analysis::testing {

/// Pumps the main run loop until `done` holds. The bound only guards against a hang.
inline bool pumpUntil(const std::function<bool()>& done) {
  for (long i = 0; i < 20'000'000; ++i) {
    if (done()) return true;
    if (!platform::RunLoop::main().runOnce()) std::this_thread::yield();
  }
  return done();
}

/// Drains what earlier tests left on the main loop.
inline void drainMainLoop() { platform::RunLoop::main().runUntilIdle(); }

/// Places where worker code can be held until the test releases it (or the worker is
/// cancelled), with a hand-shake telling the test the worker has arrived.
class Gates {
 public:
  void hold(const std::string& name) {
    std::lock_guard lock(m_mutex);
    m_held.insert(name);
  }
  void release(const std::string& name) {
    {
      std::lock_guard lock(m_mutex);
      m_held.erase(name);
    }
    m_changed.notify_all();
  }
  /// Called by worker code: waits while `name` is held, returning early on cancellation.
  void pass(const std::string& name) {
    std::unique_lock lock(m_mutex);
    m_arrived.insert(name);
    m_changed.notify_all();
    while (m_held.count(name) && !platform::currentThreadIsCancelled())
      m_changed.wait_for(lock, std::chrono::milliseconds(1));  // the cancel flag is polled
  }
  /// Called by the test: waits until the worker has reached `name`.
  bool waitArrived(const std::string& name) {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::seconds(60), [&] { return m_arrived.count(name) > 0; });
  }

 private:
  std::mutex m_mutex;
  std::condition_variable m_changed;
  std::set<std::string> m_held, m_arrived;
};

/// What a test calculator did, kept outside it so a test can look after it has gone.
struct Journal {
  std::mutex mutex;
  std::vector<std::string> events;  // "calculate", "generateCurves", "cancelled generateCurves", ...
  int starts = 0;
  std::vector<WorkResult> stops;    // every workDidStop, in order
  void add(std::string e) {
    std::lock_guard lock(mutex);
    events.push_back(std::move(e));
  }
  std::vector<std::string> snapshot() {
    std::lock_guard lock(mutex);
    return events;
  }
};

/// A calculator whose stages log themselves, can be held at gates ("calculate",
/// "generateCurves", "finalizeCurves", "raised"), can raise, and publish a small plot.
class TestCalculator : public OBCalculator {
 public:
  TestCalculator(std::shared_ptr<Journal> journal, std::shared_ptr<Gates> gates)
      : m_journal(std::move(journal)), m_gates(std::move(gates)) {}

  std::string raiseIn;           // stage that raises "OBException: boom"
  bool calculateRequestsCurves = false;

  void calculate() override { stage("calculate", [this] { OBCalculator::calculate(); }); }
  void generateCurves() override {
    stage("generateCurves", [this] {
      publishPlotDictionary(platform::Dictionary{{plot::kTitle, "test plot"}});
      OBCalculator::generateCurves();
    });
  }
  void finalizeCurves() override { stage("finalizeCurves", [this] { OBCalculator::finalizeCurves(); }); }
  void workDidStart() override {
    OBCalculator::workDidStart();
    ++m_journal->starts;
  }
  void workDidStop(const WorkResult& result) override {
    OBCalculator::workDidStop(result);
    m_journal->stops.push_back(result);
  }

 protected:
  void workDidRaise(const std::string& text) override {
    OBCalculator::workDidRaise(text);
    m_gates->pass("raised");
  }

 private:
  template <class F>
  void stage(const std::string& name, F base) {
    m_gates->pass(name);
    if (platform::currentThreadIsCancelled()) {
      m_journal->add("cancelled " + name);
      return;
    }
    m_journal->add(name);
    if (raiseIn == name) throw platform::Exception("OBException", "boom");
    base();
    if (name == "calculate" && calculateRequestsCurves) setNeedsGenerateCurves(true);
  }

  std::shared_ptr<Journal> m_journal;
  std::shared_ptr<Gates> m_gates;
};

/// A fresh journal, gates and test calculator per test, and an empty main loop.
struct CalculatorFixture : ::testing::Test {
  std::shared_ptr<Journal> journal = std::make_shared<Journal>();
  std::shared_ptr<Gates> gates = std::make_shared<Gates>();
  std::shared_ptr<TestCalculator> calculator;

  void SetUp() override {
    drainMainLoop();
    calculator = platform::makeObject<TestCalculator>(journal, gates);
  }
  void TearDown() override {
    calculator.reset();
    drainMainLoop();
  }
  /// Pumps until the calculator is idle with its last run delivered.
  bool settle() {
    return pumpUntil([&] {
      return !calculator->hasWorkerThread() && !platform::RunLoop::main().hasPendingWork();
    });
  }
};

}  // namespace orb::analysis::testing
