#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>

#include "platform/KeyTable.h"
#include "platform/Observation.h"
#include "platform/Reference.h"
#include "platform/Value.h"

namespace orb::platform {

class Coder;

namespace detail {
struct ObserverList;
}

/// What an observer is told about one change of an observed key path.
struct ObservedChange {
  Object* object = nullptr;  ///< the object the observer registered with
  std::string keyPath;       ///< the key path it registered for
  Value oldValue;            ///< with ObservingOptions::Old
  Value newValue;            ///< with ObservingOptions::New or Initial
  bool isPrior = false;      ///< the call before the change (ObservingOptions::Prior)
};

namespace ObservingOptions {
enum : unsigned { None = 0, New = 1, Old = 2, Initial = 4, Prior = 8 };
}

using ObserverFunction = std::function<void(const ObservedChange&)>;

/// The root of every model and controller object: shared ownership, a weak `reference`,
/// key-value coding through the class's key table, and key-value observation.
///
/// Make objects with makeObject<T>(...): the last release then marks the object as
/// deallocating and calls willDeallocate() before any destructor runs, so tear-down code
/// (and work that reaches the object through a Reference) can tell it is going.
class Object : public std::enable_shared_from_this<Object> {
 public:
  Object();
  Object(const Object&) = delete;
  Object& operator=(const Object&) = delete;
  virtual ~Object();

  /// The weak handle on this object; the same handle (equal, same hash) for its whole life.
  Reference reference() const;
  /// True from the moment the last owner lets go (see makeObject) or destruction begins.
  bool isDeallocating() const { return m_deallocating.load(std::memory_order_acquire); }

  /// The class name used in messages and descriptions.
  virtual std::string className() const;
  virtual std::string description() const;
  /// Equality used by Value comparisons; identity unless a class compares contents.
  virtual bool isEqualTo(const Object& other) const { return this == &other; }
  virtual std::size_t hash() const { return std::hash<const void*>()(this); }

  // --- key-value coding ---------------------------------------------------------------
  /// The class's key table; every subclass with keys overrides this and chains its
  /// parent's table (static classKeys()).
  virtual const KeyTable& keys() const { return classKeys(); }
  static const KeyTable& classKeys();

  Value valueForKey(std::string_view key) const;
  void setValueForKey(std::string_view key, const Value& value);
  /// Dotted path; arrays along the way answer the array of their elements' values.
  Value valueForKeyPath(std::string_view keyPath) const;
  void setValueForKeyPath(std::string_view keyPath, const Value& value);
  /// Answers keys that are not in the table. Subclasses override it for computed keys;
  /// the default raises "NSUnknownKeyException".
  virtual Value valueForUndefinedKey(std::string_view key) const;
  virtual void setValueForUndefinedKey(std::string_view key, const Value& value);

  // --- archiving --------------------------------------------------------------------
  /// Writes the object's state under its coder keys. Archivable classes override both and
  /// register with ArchiveRegistry; the default raises "NSInvalidArchiveOperationException".
  virtual void encodeWithCoder(Coder& coder) const;
  /// Reads the state back into a freshly made object (the object is already registered
  /// with the unarchiver, so cycles through it resolve to it).
  virtual void initWithCoder(const Coder& coder);

  // --- key-value observing ------------------------------------------------------------
  /// Calls `observer` once per change of the value at `keyPath` (dependent keys
  /// included); a key path through child objects follows the children as they change.
  Observation addObserver(std::string keyPath, ObserverFunction observer,
                          unsigned options = ObservingOptions::New);

  /// Announce a change of `key` (and of the keys that depend on it). Setters call these,
  /// or changeValueForKey around the assignment; they cost nothing without observers.
  void willChangeValueForKey(std::string_view key);
  void didChangeValueForKey(std::string_view key);
  template <class F>
  void changeValueForKey(std::string_view key, F&& mutate) {
    willChangeValueForKey(key);
    std::forward<F>(mutate)();
    didChangeValueForKey(key);
  }
  /// Assigns and announces: setters of plain fields are one line.
  template <class M, class V>
  void setAndAnnounce(std::string_view key, M& member, V&& value) {
    willChangeValueForKey(key);
    member = std::forward<V>(value);
    didChangeValueForKey(key);
  }

 protected:
  /// Called once, when the last owner lets go, before any destructor runs: the place for
  /// tear-down that needs the whole object (stop observing, leave registries).
  virtual void willDeallocate() {}

 private:
  friend struct ObjectDeleter;
  friend struct detail::ObserverList;
  void announce(std::string_view key, bool prior);

  mutable std::once_flag m_anchorOnce;
  mutable std::shared_ptr<detail::Anchor> m_anchor;
  std::atomic<bool> m_deallocating{false};
  std::atomic<detail::ObserverList*> m_observers{nullptr};  // made on first observation
  std::mutex m_observersMutex;
};

/// Deleter used by makeObject: marks the object deallocating, lets it tear down, deletes.
struct ObjectDeleter {
  void operator()(Object* o) const;
};

/// Makes a shared object whose last release marks it deallocating before destruction.
template <class T, class... A>
std::shared_ptr<T> makeObject(A&&... args) {
  return std::shared_ptr<T>(new T(std::forward<A>(args)...), ObjectDeleter{});
}

/// Key-path lookup on any value: objects by key-value coding, dictionaries by key, arrays
/// element by element; nil stays nil.
Value valueForKeyPath(const Value& root, std::string_view keyPath);

}  // namespace orb::platform
