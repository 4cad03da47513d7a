#include "platform/NotificationCenter.h"

#include <algorithm>
#include <atomic>

namespace orb::platform {

bool Notification::senderIsGone() const {
  return object.kind() == Value::Kind::Reference && !object.asReference().isNull() && !object.asReference().isAlive();
}

struct NotificationCenter::Record : detail::Registration {
  std::string name;
  Value sender;
  NotificationHandler handler;
  std::atomic<bool> active{true};
  void cancel() override { active = false; }
  bool matches(const Notification& n) const {
    return (name.empty() || name == n.name) && (sender.isNil() || sender == n.object);
  }
};

NotificationCenter& NotificationCenter::defaultCenter() {
  static auto* center = new NotificationCenter();  // never destroyed: observers may outlive statics
  return *center;
}

Observation NotificationCenter::addObserver(std::string name, Value sender, NotificationHandler handler) {
  auto record = std::make_shared<Record>();
  record->name = std::move(name);
  record->sender = std::move(sender);
  record->handler = std::move(handler);
  std::lock_guard lock(m_mutex);
  m_records.erase(std::remove_if(m_records.begin(), m_records.end(), [](const auto& r) { return !r->active; }),
                  m_records.end());
  m_records.push_back(record);
  return Observation(record);
}

void NotificationCenter::post(const Notification& notification) {
  std::vector<std::shared_ptr<Record>> due;
  {
    std::lock_guard lock(m_mutex);
    for (const auto& r : m_records)
      if (r->active && r->matches(notification)) due.push_back(r);
  }
  for (const auto& r : due)
    if (r->active) r->handler(notification);
}

void NotificationCenter::post(std::string name, Value sender, Dictionary userInfo) {
  post(Notification{std::move(name), std::move(sender), std::move(userInfo)});
}

}  // namespace orb::platform
