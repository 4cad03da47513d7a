#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

namespace orb::platform {

class Object;

namespace detail {
/// Shared between an object and every Reference to it. Outlives the object, so a reference
/// can always answer whether its object is still there without touching freed memory.
struct Anchor {
  explicit Anchor(Object* o) : object(o) {}
  Object* const object;
  std::atomic<bool> alive{true};
};
}  // namespace detail

/// A weak handle on an Object: it never keeps the object alive, compares equal exactly
/// for handles on the same object (also as a dictionary key), and says when the object
/// has gone. Notifications carry it as their sender so neither side owns the other.
class Reference {
 public:
  Reference() = default;

  bool isNull() const { return !m_anchor; }
  /// True while the object exists and is not being destroyed.
  bool isAlive() const { return m_anchor && m_anchor->alive.load(std::memory_order_acquire); }
  /// The object, kept alive by the returned pointer; null when gone or never shared-owned.
  std::shared_ptr<Object> lock() const;
  /// The raw object pointer for identity checks on the main thread; null once gone.
  Object* get() const { return isAlive() ? m_anchor->object : nullptr; }

  friend bool operator==(const Reference& a, const Reference& b) { return a.m_anchor == b.m_anchor; }
  std::size_t hash() const { return std::hash<const void*>()(m_anchor.get()); }
  std::string description() const;

 private:
  friend class Object;
  Reference(std::shared_ptr<detail::Anchor> anchor, std::weak_ptr<Object> weak)
      : m_anchor(std::move(anchor)), m_weak(std::move(weak)) {}
  std::shared_ptr<detail::Anchor> m_anchor;
  std::weak_ptr<Object> m_weak;
};

}  // namespace orb::platform

template <>
struct std::hash<orb::platform::Reference> {
  std::size_t operator()(const orb::platform::Reference& r) const { return r.hash(); }
};
