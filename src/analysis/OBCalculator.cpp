#include "analysis/OBCalculator.h"

#include <bit>

#include "platform/Exception.h"
#include "platform/KeyTable.h"
#include "platform/Log.h"
#include "platform/Thread.h"

namespace orb::analysis {

using platform::Dictionary;
using platform::Keys;
using platform::Value;

namespace {
unsigned bit(int task) { return 1u << task; }
}  // namespace

const platform::KeyTable& OBCalculator::classKeys() {
  using K = Keys<OBCalculator>;
  static const platform::KeyTable table(
      &WorkerController::classKeys(),
      {
          K::property("isPaused", &OBCalculator::isPaused, &OBCalculator::setIsPaused),
          K::property("needsCalculation", &OBCalculator::needsCalculation, &OBCalculator::setNeedsCalculation),
          K::property("needsGenerateCurves", &OBCalculator::needsGenerateCurves,
                      &OBCalculator::setNeedsGenerateCurves),
          K::property("needsFinalizeCurves", &OBCalculator::needsFinalizeCurves,
                      &OBCalculator::setNeedsFinalizeCurves),
          K::getter("needsWork", &OBCalculator::needsWork)
              .dependsOn({"needsCalculation", "needsGenerateCurves", "needsFinalizeCurves"}),
          K::property("isBusyLevel", &OBCalculator::isBusyLevel, &OBCalculator::setIsBusyLevel),
          K::getter("isBusy", &OBCalculator::isBusy).dependsOn({"isBusyLevel"}),
          K::property("progressPercentage", &OBCalculator::progressPercentage,
                      &OBCalculator::setProgressPercentage),
          K::getter("status", &OBCalculator::status),
          platform::KeyEntry{"plotDictionary",
                             [](const platform::Object& o) -> Value {
                               const auto& d = static_cast<const OBCalculator&>(o).plotDictionary();
                               return d ? Value(*d) : Value();
                             }},
      });
  return table;
}

// --- flags ---------------------------------------------------------------------------------

void OBCalculator::setNeedsCalculation(bool on) { setAndAnnounce("needsCalculation", m_needsCalculation, on); }
void OBCalculator::setNeedsGenerateCurves(bool on) {
  setAndAnnounce("needsGenerateCurves", m_needsGenerateCurves, on);
}
void OBCalculator::setNeedsFinalizeCurves(bool on) {
  setAndAnnounce("needsFinalizeCurves", m_needsFinalizeCurves, on);
}

void OBCalculator::setIsPaused(bool paused) {
  setAndAnnounce("isPaused", m_isPaused, paused);
  if (paused) return;
  // Requests made while paused were ignored; raise them again for the updater.
  if (needsCalculation()) setNeedsCalculation(true);
  if (needsGenerateCurves()) setNeedsGenerateCurves(true);
  if (needsFinalizeCurves()) setNeedsFinalizeCurves(true);
}

void OBCalculator::setIsBusyLevel(std::uint32_t level) { setAndAnnounce("isBusyLevel", m_isBusyLevel, level); }

void OBCalculator::setIsBusy(bool busy) {
  changeValueForKey("isBusyLevel", [&] {
    if (busy) {
      m_isBusyLevel.fetch_add(1);
      return;
    }
    std::uint32_t level = m_isBusyLevel.load();
    while (level != 0 && !m_isBusyLevel.compare_exchange_weak(level, level - 1)) {
    }
  });
}

void OBCalculator::setProgressPercentage(double percentage) {
  setAndAnnounce("progressPercentage", m_progressPercentage, percentage);
}

void OBCalculator::updateProgress() {
  const double toDo = m_workToDo.load();
  setProgressPercentage(toDo > 0 ? 100.0 * m_workDone.load() / toDo : 0.0);
}

// --- plot dictionary and status ------------------------------------------------------------

void OBCalculator::setPlotDictionary(std::optional<Dictionary> dictionary) {
  setAndAnnounce("plotDictionary", m_plotDictionary, std::move(dictionary));
}

bool OBCalculator::setPlotDictionaryValue(std::string_view key, Value value) {
  if (!m_plotDictionary) return false;
  m_plotDictionary->set(Value(key), std::move(value));
  plotDictionaryWasMutated();
  return true;
}

void OBCalculator::plotDictionaryWasMutated() {
  willChangeValueForKey("plotDictionary");
  didChangeValueForKey("plotDictionary");
}

void OBCalculator::setStatus(std::string status) { setAndAnnounce("status", m_status, std::move(status)); }

void OBCalculator::publishPlotDictionary(Dictionary dictionary) {
  performOnMainThreadForRun([this, d = std::move(dictionary)]() mutable { setPlotDictionary(std::move(d)); });
}

// --- stages --------------------------------------------------------------------------------

void OBCalculator::calculate() {
  if (!platform::currentThreadIsCancelled()) setNeedsCalculation(false);
}
void OBCalculator::generateCurves() {
  if (!platform::currentThreadIsCancelled()) setNeedsGenerateCurves(false);
}
void OBCalculator::finalizeCurves() {
  if (!platform::currentThreadIsCancelled()) setNeedsFinalizeCurves(false);
}

// --- restoration ---------------------------------------------------------------------------

Dictionary OBCalculator::restorationDictionary() const {
  Dictionary d;
  addRestorationDataToDictionary(d);
  return d;
}

void OBCalculator::applyRestorationDictionary(const Dictionary& dictionary) {
  for (const auto& [key, value] : dictionary) {
    if (!key.isString()) continue;
    try {
      setValueForKey(key.asString(), value);
    } catch (const platform::Exception& e) {
      platform::log("restoring %s of %s: %s", key.asString().c_str(), className().c_str(), e.what());
    }
  }
}

void OBCalculator::setValueForUndefinedKey(std::string_view, const Value&) {}

// --- scheduling ----------------------------------------------------------------------------

std::vector<int> OBCalculator::workerTaskIndexSet() const {
  std::lock_guard lock(m_taskMutex);
  std::vector<int> tasks;
  for (int t = kCalculateTask; t <= kFinalizeCurvesTask; ++t)
    if (m_taskMask & bit(t)) tasks.push_back(t);
  return tasks;
}

void OBCalculator::clearTasks() {
  std::lock_guard lock(m_taskMutex);
  m_taskMask = 0;
}

void OBCalculator::scheduleWorkerTaskIndex(int task) {
  if (task < kCalculateTask || task > kFinalizeCurvesTask)
    platform::Exception::raise("NSInvalidArgumentException", "no worker task %d", task);
  bool restart;
  {
    std::lock_guard lock(m_taskMutex);
    restart = m_taskMask == 0 || std::countr_zero(m_taskMask) >= task;
  }
  if (restart) {
    stopWork();
    clearTasks();
  }
  bool order;
  {
    std::lock_guard lock(m_taskMutex);
    m_taskMask |= bit(task);
    // A kernel past its last task (or one that raised) takes no more: start a new run
    // rather than leave the request to a worker that is about to end.
    order = !hasWorkerThread() || m_kernelDone;
  }
  if (order) orderWork();
}

void OBCalculator::workWillStart() {
  WorkerController::workWillStart();
  std::lock_guard lock(m_taskMutex);
  m_kernelDone = false;
}

void OBCalculator::workDidStart() {
  WorkerController::workDidStart();
  if (!m_status.empty()) setStatus({});
  setIsBusy(true);
}

void OBCalculator::workDidStop(const WorkResult& result) {
  WorkerController::workDidStop(result);
  setIsBusy(false);
}

bool OBCalculator::runTask(int task, void (OBCalculator::*stage)()) {
  if (platform::currentThreadIsCancelled()) {
    clearTasks();
    return false;
  }
  {
    std::lock_guard lock(m_taskMutex);
    if (!(m_taskMask & bit(task))) return true;
  }
  struct RemoveTask {  // also when the stage raises
    OBCalculator* self;
    int task;
    ~RemoveTask() {
      std::lock_guard lock(self->m_taskMutex);
      self->m_taskMask &= ~bit(task);
    }
  } remove{this, task};
  (this->*stage)();
  return true;
}

void OBCalculator::workerKernel() {
  struct CloseTasks {
    OBCalculator* self;
    ~CloseTasks() {
      std::lock_guard lock(self->m_taskMutex);
      self->m_kernelDone = true;
    }
  } close{this};
  if (!runTask(kCalculateTask, &OBCalculator::calculate)) return;
  if (!runTask(kGenerateCurvesTask, &OBCalculator::generateCurves)) return;
  if (!runTask(kFinalizeCurvesTask, &OBCalculator::finalizeCurves)) return;
  clearTasks();
}

void OBCalculator::workDidRaise(const std::string& text) {
  WorkerController::workDidRaise(text);
  platform::log("%s: %s", className().c_str(), text.c_str());
  performOnMainThreadForRun([this, text] { setStatus(text); });
}

}  // namespace orb::analysis
