#include "analysis/OBCalculatorUpdater.h"

#include <charconv>

#include "analysis/ImmediateUpdate.h"
#include "analysis/OBCalculator.h"
#include "platform/NotificationCenter.h"
#include "platform/NotificationQueue.h"
#include "platform/RunLoop.h"
#include "platform/Thread.h"

namespace orb::analysis {

using platform::Notification;

std::shared_ptr<OBCalculatorUpdater> OBCalculatorUpdater::make(std::shared_ptr<OBCalculator> calculator) {
  auto updater = platform::makeObject<OBCalculatorUpdater>(std::move(calculator));
  // Observers are added once the updater is shared, so work queued for it can find it.
  updater->startObserving();
  if (updater->m_calculator->needsCalculation() && !updater->m_calculator->isPaused())
    updater->enqueueNotificationForTaskIndex(OBCalculator::kCalculateTask);
  return updater;
}

OBCalculatorUpdater::OBCalculatorUpdater(std::shared_ptr<OBCalculator> calculator)
    : m_calculator(std::move(calculator)) {}

void OBCalculatorUpdater::willDeallocate() {
  m_observations.clear();
  OBObject::willDeallocate();
}

const std::vector<std::string>& OBCalculatorUpdater::keyPathsRequiringCalculation() {
  static const std::vector<std::string> keys{"needsCalculation", "needsGenerateCurves", "needsFinalizeCurves"};
  return keys;
}

std::string OBCalculatorUpdater::notificationNameForTaskIndex(std::size_t task) {
  return kNotificationPrefix + std::to_string(task);
}

std::size_t OBCalculatorUpdater::taskIndexForNotificationName(std::string_view name) {
  const std::string_view prefix = kNotificationPrefix;
  if (name.substr(0, prefix.size()) != prefix) return std::string_view::npos;
  name.remove_prefix(prefix.size());
  std::size_t task = 0;
  auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), task);
  if (error != std::errc() || end == name.data()) return std::string_view::npos;
  return task;
}

Notification OBCalculatorUpdater::notificationForTaskIndex(std::size_t task) const {
  return Notification(notificationNameForTaskIndex(task), reference());
}

void OBCalculatorUpdater::startObserving() {
  // Handlers reach the updater through its reference: observers may be called on other
  // threads while the window lets go of the updater.
  const platform::Reference ref = reference();
  auto withSelf = [ref](auto action) {
    return [ref, action](const auto&... args) {
      if (auto self = std::static_pointer_cast<OBCalculatorUpdater>(ref.lock())) action(*self, args...);
    };
  };

  // Flags are often raised on the worker thread (a stage asking for the next); the queue
  // and all scheduling belong to the main thread. The calculator is alive while it calls.
  const auto& keys = keyPathsRequiringCalculation();
  OBCalculator* calculator = m_calculator.get();
  for (std::size_t task = 0; task < keys.size(); ++task)
    m_observations.push_back(calculator->addObserver(keys[task], [=](const platform::ObservedChange& c) {
      const bool raised = !c.newValue.isNil() && c.newValue.asBool();
      if (!raised || calculator->isPaused()) return;
      auto enqueue = withSelf([task](OBCalculatorUpdater& self) { self.enqueueNotificationForTaskIndex(task); });
      if (platform::isMainThread())
        enqueue();
      else
        platform::performOnMainThread(enqueue);
    }));

  auto& center = platform::NotificationCenter::defaultCenter();
  auto observe = [&](const std::string& name, platform::Value sender, auto action) {
    m_observations.push_back(center.addObserver(name, std::move(sender), withSelf(action)));
  };
  for (std::size_t task = 0; task < keys.size(); ++task)
    observe(notificationNameForTaskIndex(task), ref,
            [](OBCalculatorUpdater& self, const Notification& n) { self.calculateWithNotification(n); });
  observe("colorChangedNotification", {},
          [](OBCalculatorUpdater& self, const Notification& n) { self.colorChangedWithNotification(n); });
  observe("makeSliderFriendlyNotification", {},
          [](OBCalculatorUpdater& self, const Notification&) { self.makeSliderFriendly(true); });
  observe("makeSliderUnfriendlyNotification", {},
          [](OBCalculatorUpdater& self, const Notification&) { self.makeSliderFriendly(false); });
  observe("startSurfaceReplacementNotification", {},
          [](OBCalculatorUpdater& self, const Notification&) { self.startSurfaceReplacement(); });
  observe("endSurfaceReplacementNotification", {},
          [](OBCalculatorUpdater& self, const Notification&) { self.endSurfaceReplacement(); });
  observe("startMeritFunctionEvaluationNotification", {},
          [](OBCalculatorUpdater& self, const Notification&) { self.setPaused(true); });
  observe("endMeritFunctionEvaluationNotification", {},
          [](OBCalculatorUpdater& self, const Notification&) { self.setPaused(false); });
}

void OBCalculatorUpdater::enqueueNotificationForTaskIndex(std::size_t task) {
  if (isDeallocating() || m_paused) return;
  platform::NotificationQueue::defaultQueue().enqueue(
      notificationForTaskIndex(task), isImmediateUpdate() ? platform::PostingStyle::Now : platform::PostingStyle::ASAP,
      platform::Coalescing::OnName | platform::Coalescing::OnSender);
}

void OBCalculatorUpdater::calculateWithNotification(const Notification& notification) {
  const std::size_t task = taskIndexForNotificationName(notification.name);
  if (task > static_cast<std::size_t>(OBCalculator::kFinalizeCurvesTask)) return;
  m_calculator->scheduleWorkerTaskIndex(static_cast<int>(task));
}

void OBCalculatorUpdater::colorChangedWithNotification(const Notification& notification) {
  if (!platform::isMainThread() || !notification.object.isDictionary()) return;
  m_calculator->updateColorsWithDictionary(notification.object.asDictionary());
}

void OBCalculatorUpdater::makeSliderFriendly(bool friendly) {
  if (auto* scaling = dynamic_cast<ScaleOnlyExpanding*>(m_calculator.get())) scaling->setScaleOnlyExpands(friendly);
}

void OBCalculatorUpdater::startSurfaceReplacement() {
  m_calculator->stopWork();
  setPaused(true);
}

void OBCalculatorUpdater::endSurfaceReplacement() {
  m_calculator->verifySurfaceOfInterest();
  setPaused(false);
}

}  // namespace orb::analysis
