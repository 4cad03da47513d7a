#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/objects/OBObject.h"
#include "platform/Observation.h"

namespace orb::platform {
struct Notification;
}

namespace orb::analysis {

class OBCalculator;

/// A calculator whose plot scaling follows slider drags: while the user drags, its axes
/// only ever grow. The ray calculators implement it.
class ScaleOnlyExpanding {
 public:
  virtual ~ScaleOnlyExpanding() = default;
  virtual void setScaleOnlyExpands(bool on) = 0;
};

/// Connects one calculator to the main thread's notification queue. Every stage flag
/// that becomes true (on any thread) becomes a queued task notification, coalesced by
/// name and sender, so a burst of edits costs one scheduling per stage and run-loop pass;
/// when it is posted, the matching task is scheduled on the calculator. A flag that
/// becomes false withdraws nothing: a request once made stands.
///
/// It also forwards colour changes, switches plot scaling for slider drags and pauses
/// while the lens replaces surfaces. Make it with platform::makeObject; the window owns it.
class OBCalculatorUpdater : public foundation::OBObject {
 public:
  static constexpr const char* kNotificationPrefix = "OBCalculatorUpdaterNotification";

  /// Starts observing; queues task 0 at once when the calculator needs calculation and
  /// is not paused.
  static std::shared_ptr<OBCalculatorUpdater> make(std::shared_ptr<OBCalculator> calculator);
  explicit OBCalculatorUpdater(std::shared_ptr<OBCalculator> calculator);

  const std::shared_ptr<OBCalculator>& calculator() const { return m_calculator; }

  bool paused() const { return m_paused; }
  void setPaused(bool paused) { m_paused = paused; }

  /// "needsCalculation", "needsGenerateCurves", "needsFinalizeCurves": position = task.
  static const std::vector<std::string>& keyPathsRequiringCalculation();
  static std::string notificationNameForTaskIndex(std::size_t task);
  /// The task index in a task notification's name, or npos.
  static std::size_t taskIndexForNotificationName(std::string_view name);
  platform::Notification notificationForTaskIndex(std::size_t task) const;

  /// Queues the task's notification (now, while immediate update is on), unless the
  /// updater is paused or going away. Main thread.
  void enqueueNotificationForTaskIndex(std::size_t task);

 protected:
  void willDeallocate() override;

 private:
  void startObserving();
  void calculateWithNotification(const platform::Notification& notification);
  void colorChangedWithNotification(const platform::Notification& notification);
  void makeSliderFriendly(bool friendly);
  void startSurfaceReplacement();
  void endSurfaceReplacement();

  std::shared_ptr<OBCalculator> m_calculator;
  bool m_paused = false;  // main thread
  std::vector<platform::Observation> m_observations;
};

}  // namespace orb::analysis
