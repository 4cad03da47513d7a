#pragma once

#include <memory>

#include "foundation/objects/VKObject.h"
#include "optimisation/MeritFunction.h"
#include "platform/NotificationCenter.h"
#include "platform/Observation.h"

namespace orb::optimisation {

inline constexpr const char* kEvaluationRequiredNotification = "evaluationRequiredNotification";

/// Re-evaluates a merit function on the main thread on demand: whenever the merit
/// function becomes stale it queues "evaluationRequiredNotification" (as soon as
/// possible, coalesced by name and sender), so a burst of edits within one pass of the
/// run loop gives one evaluation. It queues one at creation, so a merit function opened
/// in an editor is evaluated at once. It holds the merit function weakly; whoever makes
/// the evaluator keeps the merit function.
class MeritFunctionEvaluator : public foundation::VKObject {
 public:
  static std::shared_ptr<MeritFunctionEvaluator> create(const MeritFunctionPtr& meritFunction);
  MeritFunctionEvaluator() = default;

  MeritFunctionPtr meritFunction() const { return m_meritFunction.lock(); }
  platform::Notification evaluationRequiredNotification() const;
  void enqueueEvaluationRequiredNotification();
  void processEvaluationRequiredNotification();
  void dequeueEvaluationRequiredNotification();
  void evaluateWithNotification(const platform::Notification& notification);

 protected:
  void willDeallocate() override;

 private:
  void start(const MeritFunctionPtr& meritFunction);
  std::weak_ptr<MeritFunction> m_meritFunction;
  platform::Observation m_needsEvaluationWatch;
  platform::Observation m_notificationObservation;
};

}  // namespace orb::optimisation
