#include "optimisation/MeritFunctionEvaluator.h"

#include "platform/NotificationQueue.h"

namespace orb::optimisation {

namespace {
constexpr unsigned kNameAndSender = platform::Coalescing::OnName | platform::Coalescing::OnSender;
}

std::shared_ptr<MeritFunctionEvaluator> MeritFunctionEvaluator::create(const MeritFunctionPtr& meritFunction) {
  auto e = platform::makeObject<MeritFunctionEvaluator>();
  e->start(meritFunction);
  return e;
}

void MeritFunctionEvaluator::start(const MeritFunctionPtr& meritFunction) {
  m_meritFunction = meritFunction;
  if (meritFunction)
    m_needsEvaluationWatch =
        meritFunction->addObserver("needsEvaluation", [this](const platform::ObservedChange& change) {
          if (change.newValue.isNumber() && change.newValue.asBool()) enqueueEvaluationRequiredNotification();
        });
  m_notificationObservation = platform::NotificationCenter::defaultCenter().addObserver(
      kEvaluationRequiredNotification, platform::Value(reference()),
      [this](const platform::Notification& n) { evaluateWithNotification(n); });
  enqueueEvaluationRequiredNotification();
}

platform::Notification MeritFunctionEvaluator::evaluationRequiredNotification() const {
  return platform::Notification(kEvaluationRequiredNotification, platform::Value(reference()));
}

void MeritFunctionEvaluator::enqueueEvaluationRequiredNotification() {
  platform::NotificationQueue::defaultQueue().enqueue(evaluationRequiredNotification(), platform::PostingStyle::ASAP,
                                                      kNameAndSender);
}

void MeritFunctionEvaluator::processEvaluationRequiredNotification() {
  platform::NotificationQueue::defaultQueue().enqueue(evaluationRequiredNotification(), platform::PostingStyle::Now,
                                                      kNameAndSender);
}

void MeritFunctionEvaluator::dequeueEvaluationRequiredNotification() {
  platform::NotificationQueue::defaultQueue().dequeueMatching(evaluationRequiredNotification(), kNameAndSender);
}

void MeritFunctionEvaluator::evaluateWithNotification(const platform::Notification&) {
  if (auto f = meritFunction()) f->evaluate();
}

void MeritFunctionEvaluator::willDeallocate() {
  m_needsEvaluationWatch.remove();
  m_notificationObservation.remove();
  VKObject::willDeallocate();
}

}  // namespace orb::optimisation
