#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/WorkerController.h"
#include "platform/Value.h"

namespace orb::analysis {

/// The base of every analysis and of the optimiser. It adds to the worker controller a
/// busy count, a paused flag, three stage flags that request work, the task set that the
/// worker works through in the fixed order calculate (0), generate curves (1), finalize
/// curves (2), progress figures, the published plot dictionary and a status text.
///
/// Subclasses override the three stages. A stage runs on the worker thread, returns early
/// when `platform::currentThreadIsCancelled()`, and hands its plot dictionary to the main
/// thread with `publishPlotDictionary`. A setting that needs new rays sets
/// `needsCalculation`, one that needs new curves `needsGenerateCurves`, and one that only
/// changes how the result is shown edits the published dictionary in place
/// (`setPlotDictionaryValue`). The calculator updater turns the flags into scheduled tasks.
///
/// Observable keys: "isPaused", "needsCalculation", "needsGenerateCurves",
/// "needsFinalizeCurves", "needsWork" (depends on the three flags), "isBusyLevel",
/// "isBusy" (depends on it), "progressPercentage", "plotDictionary", "status".
class OBCalculator : public WorkerController {
 public:
  static constexpr int kCalculateTask = 0;
  static constexpr int kGenerateCurvesTask = 1;
  static constexpr int kFinalizeCurvesTask = 2;

  static const platform::KeyTable& classKeys();
  const platform::KeyTable& keys() const override { return classKeys(); }

  /// True for calculators whose runs are long; their window then polls `updateProgress`.
  virtual bool needsProgressMonitor() const { return false; }

  // --- stage flags (settable from any thread; every set is announced) -------------------
  bool needsCalculation() const { return m_needsCalculation.load(); }
  void setNeedsCalculation(bool on);
  bool needsGenerateCurves() const { return m_needsGenerateCurves.load(); }
  void setNeedsGenerateCurves(bool on);
  bool needsFinalizeCurves() const { return m_needsFinalizeCurves.load(); }
  void setNeedsFinalizeCurves(bool on);
  bool needsWork() const { return needsCalculation() || needsGenerateCurves() || needsFinalizeCurves(); }

  /// While paused the updater ignores flag changes; unpausing sets again each flag that
  /// is still raised (stage 0 first), so the pending requests reach the updater.
  bool isPaused() const { return m_isPaused.load(); }
  void setIsPaused(bool paused);

  // --- busy count (1 from the start of a run to its completion or stop) -----------------
  std::uint32_t isBusyLevel() const { return m_isBusyLevel.load(); }
  void setIsBusyLevel(std::uint32_t level);
  /// True adds one; false takes one away, never below zero.
  void setIsBusy(bool busy);
  bool isBusy() const { return isBusyLevel() != 0; }

  // --- progress ------------------------------------------------------------------------
  void setWorkDone(double amount) { m_workDone.store(amount); }
  void setWorkToDo(double amount) { m_workToDo.store(amount); }
  double progressPercentage() const { return m_progressPercentage; }
  void setProgressPercentage(double percentage);
  /// Percentage = 100 · done / to do, or 0 when there is nothing to do.
  void updateProgress();
  void workDidProgress() override { updateProgress(); }

  // --- published result (main thread) ------------------------------------------------
  const std::optional<platform::Dictionary>& plotDictionary() const { return m_plotDictionary; }
  /// Stores the dictionary (none clears it) and announces "plotDictionary".
  void setPlotDictionary(std::optional<platform::Dictionary> dictionary);
  /// Sets one key of the published dictionary in place and announces the change; does
  /// nothing when nothing is published. For display settings that need no new curves.
  bool setPlotDictionaryValue(std::string_view key, platform::Value value);
  /// The published dictionary for in-place edits, or null; call plotDictionaryWasMutated
  /// afterwards.
  platform::Dictionary* mutablePlotDictionary() { return m_plotDictionary ? &*m_plotDictionary : nullptr; }
  void plotDictionaryWasMutated();

  /// "name: reason" of the last stage that raised, empty once a new run starts.
  const std::string& status() const { return m_status; }
  void setStatus(std::string status);

  // --- stages (worker thread) ----------------------------------------------------------
  /// Task 0: compute the data; the base clears its flag unless cancelled.
  virtual void calculate();
  /// Task 1: build the curves and publish them; the base clears its flag unless cancelled.
  virtual void generateCurves();
  /// Task 2: finish the curves for display; the base clears its flag unless cancelled.
  virtual void finalizeCurves();

  /// Called when a surface replacement of the lens ends.
  virtual void verifySurfaceOfInterest() {}
  /// Colour number to colour; calculators with coloured rays or curves override it.
  virtual void updateColorsWithDictionary(const platform::Dictionary& colors) { (void)colors; }

  // --- data export (main thread) --------------------------------------------------------
  /// Writes the analysis's data as text to `file` ("Save Data…"). False means this analysis
  /// has nothing to export and wrote nothing, so the window can say so rather than leave
  /// an empty file; the base has nothing.
  virtual bool exportToFile(std::FILE* file) {
    (void)file;
    return false;
  }

  // --- persisted settings ----------------------------------------------------------------
  /// The calculator's settings, by key.
  platform::Dictionary restorationDictionary() const;
  /// Each class first calls its base and then adds its own settings (nil allowed).
  virtual void addRestorationDataToDictionary(platform::Dictionary& dictionary) const { (void)dictionary; }
  /// Applies saved settings through the setters (so their side effects happen); keys the
  /// calculator does not have are ignored, and a value of the wrong type is logged and
  /// skipped so one bad entry cannot keep a window from opening. Calculators whose
  /// setters convert other settings override it to restore the stored numbers as they are.
  virtual void applyRestorationDictionary(const platform::Dictionary& dictionary);
  /// Unknown keys are ignored (reading one still raises).
  void setValueForUndefinedKey(std::string_view key, const platform::Value& value) override;

  // --- scheduling (main thread) --------------------------------------------------------
  /// The scheduled tasks in ascending order.
  std::vector<int> workerTaskIndexSet() const;
  /// Asks for task 0, 1 or 2. A task no later than the first pending one stops the
  /// running work and restarts from it; a later one joins the running work.
  void scheduleWorkerTaskIndex(int task);

  void workWillStart() override;
  void workDidStart() override;
  void workDidStop(const WorkResult& result) override;

 protected:
  void workerKernel() override;
  void workDidRaise(const std::string& text) override;

  /// From a stage: hands a finished dictionary to the main thread without waiting; it is
  /// stored there unless this run has been stopped meanwhile.
  void publishPlotDictionary(platform::Dictionary dictionary);

 private:
  bool runTask(int task, void (OBCalculator::*stage)());
  void clearTasks();

  std::atomic<bool> m_isPaused{false};
  std::atomic<bool> m_needsCalculation{false};
  std::atomic<bool> m_needsGenerateCurves{false};
  std::atomic<bool> m_needsFinalizeCurves{false};
  std::atomic<std::uint32_t> m_isBusyLevel{0};
  std::atomic<double> m_workDone{0};
  std::atomic<double> m_workToDo{0};
  double m_progressPercentage = 0;

  mutable std::mutex m_taskMutex;  // the task set is added to by the main thread, emptied by the worker
  unsigned m_taskMask = 0;
  bool m_kernelDone = true;  // the present kernel takes no more tasks

  std::optional<platform::Dictionary> m_plotDictionary;
  std::string m_status;
};

}  // namespace orb::analysis
