#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "analysis/LensRoles.h"
#include "foundation/objects/VKObject.h"
#include "optimisation/VariableDescriptor.h"
#include "platform/Observation.h"

namespace orb::platform {
class UserDefaults;
}

namespace orb::optimisation {

using analysis::LensPtr;

/// Name of the user-defaults dictionary of remembered scales by last key-path component.
inline constexpr const char* kOptimizerScaleDictionaryKey = "OptimizerScaleDictionary";

/// Turns the lens's variable values into variable descriptors, one per key path the lens
/// marks as variable (with `includeFocus`, also the focus thickness). An edit of a
/// descriptor's value reaches the lens at once while real-time update is on; the
/// optimiser suspends updating, sets every value and writes them in one pass on resuming.
///
/// Each variable's scale, bounds and enabled flag are remembered by full key path in the
/// scale memory (the document's) and each scale by last key-path component in the user
/// defaults, so a variable that comes back, or a like variable on another surface, starts
/// from the remembered settings.
///
/// Threads: main thread, except during an optimiser run, when the optimiser's worker sets
/// values (and the controller's lens is then the optimiser's private copy).
class VariablesController : public foundation::VKObject, public analysis::LensUser {
 public:
  using Descriptors = std::vector<VariableDescriptorPtr>;

  /// `defaults` holds "OptimizerScaleDictionary"; it must outlive the controller.
  static std::shared_ptr<VariablesController> create(platform::UserDefaults& defaults);
  explicit VariablesController(platform::UserDefaults& defaults) : m_defaults(&defaults) {}

  // --- LensUser ----------------------------------------------------------------------------
  LensPtr lens() const override { return m_lens; }
  /// Watches the lens's variable key paths and rebuilds the descriptors.
  void setLens(LensPtr lens) override;
  void firstTimeWithLens(const LensPtr& lens) override { (void)lens; }
  /// Renames the descriptors' first key-path components through the map.
  void setLensKeyPathUpdateDictionary(const platform::Dictionary& renames) override;

  bool includeFocus() const { return m_includeFocus; }
  void setIncludeFocus(bool on);

  const Descriptors& arrayOfVariableDescriptors() const { return m_descriptors; }
  void setArrayOfVariableDescriptors(Descriptors descriptors);
  Descriptors enabledVariables() const;
  void enableAll();
  void disableAll();
  void removeConstraints();

  void suspendUpdate() { m_realTimeUpdate = false; }
  /// Deselects and blocks the table with updating off while something else changes the
  /// values; `covertActionCompleted` undoes both.
  void getReadyForCovertAction() {
    m_blocking = true;
    m_realTimeUpdate = false;
  }
  void covertActionCompleted() {
    m_blocking = false;
    m_realTimeUpdate = true;
  }
  /// True while the table must not select rows.
  bool blocking() const { return m_blocking; }
  void resumeUpdate();
  bool realTimeUpdate() const { return m_realTimeUpdate; }
  /// Writes the values when they differ from the lens.
  void updateLens();
  /// Writes every value into `lens` and runs its change cycle, unless the lens is busy in
  /// one (the values then stay pending).
  void updateLens(const LensPtr& lens);
  bool lensNeedsUpdate() const { return m_lensNeedsUpdate; }

  /// While set, rebuilds asked for by the lens wait (the optimiser's worker owns the
  /// descriptors during a run).
  void setRebuildSuspended(bool on);
  void updateArrayOfVariableDescriptors();

  // --- memory ------------------------------------------------------------------------------
  const std::shared_ptr<ScaleMemory>& scaleMemory() const { return m_scaleMemory; }
  void setScaleMemory(std::shared_ptr<ScaleMemory> memory) { m_scaleMemory = std::move(memory); }
  void saveScaleMemory();
  void updateScaleMemoryForEntry(const VariableDescriptor& descriptor);
  /// Stores the scale under the key path's last component unless it is stored already.
  void saveScaleForLastElementOfKeyPath(double scale, const std::string& keyPath);
  /// The stored scale for the key path's last component, else 0.01.
  double scaleForLastElementOfKeyPath(const std::string& keyPath) const;

 protected:
  void willDeallocate() override;

 private:
  void watch(const VariableDescriptorPtr& d);
  void descriptorChanged(VariableDescriptor& d, const std::string& key);

  platform::UserDefaults* m_defaults;
  LensPtr m_lens;
  bool m_includeFocus = false;
  Descriptors m_descriptors;
  bool m_realTimeUpdate = true;
  bool m_blocking = false;
  std::shared_ptr<ScaleMemory> m_scaleMemory = std::make_shared<ScaleMemory>();
  bool m_internalSetValue = false;
  bool m_lensNeedsUpdate = false;
  std::atomic<bool> m_rebuildSuspended{false};
  std::atomic<bool> m_rebuildPending{false};
  platform::Observation m_lensWatch;
  std::unordered_map<const VariableDescriptor*, std::vector<platform::Observation>> m_watches;
};

/// Runs the lens's change cycle now on the calling thread, also for a copy, which has
/// nobody listening for its change notification.
void runChangeCycle(analysis::Lens& lens);

}  // namespace orb::optimisation
