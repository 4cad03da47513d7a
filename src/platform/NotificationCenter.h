#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Observation.h"
#include "platform/Value.h"

namespace orb::platform {

/// A named announcement. `object` is the sender, usually the sender's Reference so that
/// neither side keeps the other alive.
struct Notification {
  Notification() = default;
  Notification(std::string name_, Value object_ = {}, Dictionary userInfo_ = {})
      : name(std::move(name_)), object(std::move(object_)), userInfo(std::move(userInfo_)) {}

  std::string name;
  Value object;
  Dictionary userInfo;

  /// True when the sender is a Reference whose object has gone.
  bool senderIsGone() const;
};

using NotificationHandler = std::function<void(const Notification&)>;

/// Delivers posted notifications at once, on the posting thread, to every observer whose
/// name (empty: any) and sender (nil: any) match. Safe to use from any thread; an observer
/// may add or remove observers while it is being called.
class NotificationCenter {
 public:
  static NotificationCenter& defaultCenter();

  Observation addObserver(std::string name, Value sender, NotificationHandler handler);
  void post(const Notification& notification);
  void post(std::string name, Value sender = {}, Dictionary userInfo = {});

  struct Record;

 private:
  std::mutex m_mutex;
  std::vector<std::shared_ptr<Record>> m_records;
};

}  // namespace orb::platform
