#include "platform/Object.h"

#include "platform/ChangeCount.h"

#include <mutex>
#include <cxxabi.h>

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <typeinfo>
#include <vector>

namespace orb::platform {

namespace detail {

/// The key observers registered directly with one object.
struct ObserverList {
  struct Entry {
    std::string key;
    std::function<void(bool prior)> fire;
    std::atomic<bool> active{true};
  };
  std::vector<std::shared_ptr<Entry>> entries;

  static void add(Object& o, std::shared_ptr<Entry> e) {
    std::lock_guard lock(o.m_observersMutex);
    ObserverList* list = o.m_observers.load(std::memory_order_acquire);
    if (!list) {
      list = new ObserverList;
      o.m_observers.store(list, std::memory_order_release);
    }
    list->prune();
    list->entries.push_back(std::move(e));
  }

  void prune() {
    entries.erase(std::remove_if(entries.begin(), entries.end(), [](const auto& e) { return !e->active; }),
                  entries.end());
  }
};

namespace {

std::pair<std::string_view, std::string_view> splitFirst(std::string_view path) {
  auto dot = path.find('.');
  if (dot == std::string_view::npos) return {path, {}};
  return {path.substr(0, dot), path.substr(dot + 1)};
}

/// Watches the value at a key path below one object and calls `notify(prior)` before and
/// after every change of it. Follows child objects (and the objects of arrays) as the
/// keys leading to them change.
class PathWatcher : public std::enable_shared_from_this<PathWatcher> {
 public:
  PathWatcher(Object& object, std::string_view path, std::function<void(bool)> notify)
      : m_object(&object), m_notify(std::move(notify)) {
    auto [first, rest] = splitFirst(path);
    m_first = first;
    m_rest = rest;
  }

  void start(std::shared_ptr<ObserverList::Entry> entry) {
    m_entry = entry;
    rebindChildren();
  }

  void cancel() {
    if (auto e = m_entry.lock()) e->active = false;
    for (auto& c : m_children) c->cancel();
    m_children.clear();
  }

  void fired(bool prior) {
    if (!prior) rebindChildren();
    m_notify(prior);
  }

  const std::string& firstKey() const { return m_first; }

  static std::shared_ptr<PathWatcher> watch(Object& object, std::string_view path, std::function<void(bool)> notify);

 private:
  void rebindChildren() {
    for (auto& c : m_children) c->cancel();
    m_children.clear();
    if (m_rest.empty()) return;
    Value v;
    try {
      v = m_object->valueForKey(m_first);
    } catch (const Exception&) {
      return;
    }
    auto bind = [&](const Value& element) {
      if (auto child = element.objectIf<Object>()) m_children.push_back(watch(*child, m_rest, m_notify));
    };
    if (v.isArray())
      for (const auto& element : v.asArray()) bind(element);
    else
      bind(v);
  }

  Object* m_object;  // alive whenever our entry fires: the entry dies with the object
  std::string m_first, m_rest;
  std::function<void(bool)> m_notify;
  std::weak_ptr<ObserverList::Entry> m_entry;
  std::vector<std::shared_ptr<PathWatcher>> m_children;
};

/// One observation made by addObserver: a path watcher plus what the observer asked for.
class KeyPathObservation : public Registration, public std::enable_shared_from_this<KeyPathObservation> {
 public:
  KeyPathObservation(Object& object, std::string keyPath, ObserverFunction fn, unsigned options)
      : m_object(&object), m_keyPath(std::move(keyPath)), m_fn(std::move(fn)), m_options(options) {}

  void start() {
    std::weak_ptr<KeyPathObservation> weak = weak_from_this();
    m_watcher = PathWatcher::watch(*m_object, m_keyPath, [weak](bool prior) {
      if (auto self = weak.lock()) self->changed(prior);
    });
    if (m_options & ObservingOptions::Initial) {
      ObservedChange c{m_object, m_keyPath, {}, current(), false};
      m_fn(c);
    }
  }

  // Cancelling waits for a call in progress on another thread, so an observer is never
  // called once its owner has cancelled it (the owner may be tearing it down). A call on
  // the cancelling thread itself (an observer cancelling its own observation) goes on.
  void cancel() override {
    std::lock_guard lock(m_calling);
    m_cancelled.store(true);
    if (m_watcher) m_watcher->cancel();
  }

 private:
  Value current() const {
    try {
      return m_object->valueForKeyPath(m_keyPath);
    } catch (const Exception&) {
      return {};
    }
  }

  void changed(bool prior) {
    if (m_cancelled.load()) return;
    std::lock_guard lock(m_calling);
    if (m_cancelled.load()) return;
    if (prior) {
      m_oldValues.push_back((m_options & ObservingOptions::Old) ? current() : Value());
      if (m_options & ObservingOptions::Prior) {
        ObservedChange c{m_object, m_keyPath, m_oldValues.back(), {}, true};
        m_fn(c);
      }
      return;
    }
    ObservedChange c{m_object, m_keyPath, {}, {}, false};
    if (!m_oldValues.empty()) {
      c.oldValue = std::move(m_oldValues.back());
      m_oldValues.pop_back();
    }
    if (m_options & ObservingOptions::New) c.newValue = current();
    m_fn(c);
  }

  Object* m_object;
  std::string m_keyPath;
  ObserverFunction m_fn;
  unsigned m_options;
  std::shared_ptr<PathWatcher> m_watcher;
  std::vector<Value> m_oldValues;  // a stack: a setter may change the key again inside
  std::atomic<bool> m_cancelled{false};
  std::recursive_mutex m_calling;
};

}  // namespace
}  // namespace detail

// --- Object ------------------------------------------------------------------------------

Object::Object() = default;

Object::~Object() {
  m_deallocating.store(true, std::memory_order_release);
  if (m_anchor) m_anchor->alive.store(false, std::memory_order_release);
  delete m_observers.load();
}

void ObjectDeleter::operator()(Object* o) const {
  o->m_deallocating.store(true, std::memory_order_release);
  if (o->m_anchor) o->m_anchor->alive.store(false, std::memory_order_release);
  o->willDeallocate();
  delete o;
}

Reference Object::reference() const {
  std::call_once(m_anchorOnce, [this] { m_anchor = std::make_shared<detail::Anchor>(const_cast<Object*>(this)); });
  return Reference(m_anchor, std::const_pointer_cast<Object>(weak_from_this().lock()));
}

std::string Object::className() const {
  const char* mangled = typeid(*this).name();
  int status = 0;
  char* demangled = abi::__cxa_demangle(mangled, nullptr, nullptr, &status);
  std::string name = (status == 0 && demangled) ? demangled : mangled;
  std::free(demangled);
  auto colon = name.rfind("::");
  return colon == std::string::npos ? name : name.substr(colon + 2);
}

std::string Object::description() const { return format("<%s %p>", className().c_str(), static_cast<const void*>(this)); }

const KeyTable& Object::classKeys() {
  static const KeyTable table(nullptr, {});
  return table;
}

void Object::encodeWithCoder(Coder&) const {
  Exception::raise("NSInvalidArchiveOperationException", "objects of class %s cannot be archived", className().c_str());
}

void Object::initWithCoder(const Coder&) {}

// --- key-value coding --------------------------------------------------------------------

Value Object::valueForKey(std::string_view key) const {
  // An empty (nil) key never reaches the table: it is an undefined key.
  if (!key.empty())
    if (const KeyEntry* e = keys().find(key); e && e->get) return e->get(*this);
  return valueForUndefinedKey(key);
}

void Object::setValueForKey(std::string_view key, const Value& value) {
  const KeyEntry* e = key.empty() ? nullptr : keys().find(key);
  if (!e || !e->set) {
    setValueForUndefinedKey(key, value);
    return;
  }
  if (e->setAnnounces) willChangeValueForKey(key);
  e->set(*this, value);
  if (e->setAnnounces) didChangeValueForKey(key);
}

Value Object::valueForUndefinedKey(std::string_view key) const {
  Exception::raise("NSUnknownKeyException",
                   "[<%s> valueForUndefinedKey:]: this class is not key value coding-compliant for the key %.*s.",
                   className().c_str(), static_cast<int>(key.size()), key.data());
}

void Object::setValueForUndefinedKey(std::string_view key, const Value&) {
  Exception::raise("NSUnknownKeyException",
                   "[<%s> setValue:forUndefinedKey:]: this class is not key value coding-compliant for the key %.*s.",
                   className().c_str(), static_cast<int>(key.size()), key.data());
}

Value Object::valueForKeyPath(std::string_view keyPath) const {
  auto [first, rest] = detail::splitFirst(keyPath);
  Value v = valueForKey(first);
  return rest.empty() ? v : platform::valueForKeyPath(v, rest);
}

void Object::setValueForKeyPath(std::string_view keyPath, const Value& value) {
  // Named copies, not a structured binding: C++20 does not let a lambda capture bindings.
  const auto split = detail::splitFirst(keyPath);
  const auto first = split.first;
  const auto rest = split.second;
  if (rest.empty()) {
    setValueForKey(first, value);
    return;
  }
  Value v = valueForKey(first);
  auto setOn = [&](const Value& target) {
    if (target.isNil()) return;  // like messaging nothing: no effect
    if (auto o = target.objectIf<Object>()) {
      o->setValueForKeyPath(rest, value);
      return;
    }
    Exception::raise("NSUnknownKeyException", "cannot set key path %.*s on %s", static_cast<int>(rest.size()),
                     rest.data(), target.description().c_str());
  };
  if (v.isArray())
    for (const auto& element : v.asArray()) setOn(element);
  else
    setOn(v);
}

Value valueForKeyPath(const Value& root, std::string_view keyPath) {
  if (root.isArray()) {
    if (keyPath == "@count") return static_cast<std::int64_t>(root.asArray().size());
    Array out;
    out.reserve(root.asArray().size());
    for (const auto& element : root.asArray()) out.push_back(valueForKeyPath(element, keyPath));
    return out;
  }
  auto [first, rest] = detail::splitFirst(keyPath);
  Value v;
  switch (root.kind()) {
    case Value::Kind::Nil: return {};
    case Value::Kind::Object: v = root.asObject()->valueForKey(first); break;
    case Value::Kind::Dictionary: v = root.asDictionary().get(first); break;
    default:
      Exception::raise("NSUnknownKeyException", "a %s value has no key %.*s", Value::kindName(root.kind()),
                       static_cast<int>(first.size()), first.data());
  }
  return rest.empty() ? v : valueForKeyPath(v, rest);
}

// --- key-value observing ------------------------------------------------------------------

namespace detail {
namespace {
std::shared_ptr<PathWatcher> PathWatcher::watch(Object& object, std::string_view path,
                                                std::function<void(bool)> notify) {
  auto watcher = std::make_shared<PathWatcher>(object, path, std::move(notify));
  auto entry = std::make_shared<ObserverList::Entry>();
  entry->key = watcher->firstKey();
  std::weak_ptr<PathWatcher> weak = watcher;
  entry->fire = [weak](bool prior) {
    if (auto w = weak.lock()) w->fired(prior);
  };
  ObserverList::add(object, entry);
  watcher->start(entry);
  return watcher;
}
}  // namespace
}  // namespace detail

Observation Object::addObserver(std::string keyPath, ObserverFunction observer, unsigned options) {
  auto obs = std::make_shared<detail::KeyPathObservation>(*this, std::move(keyPath), std::move(observer), options);
  obs->start();
  return Observation(obs);
}

void Object::willChangeValueForKey(std::string_view key) { announce(key, true); }
void Object::didChangeValueForKey(std::string_view key) { announce(key, false); }

namespace {
std::atomic<std::uint64_t> gModelChanges{0};
}  // namespace

std::uint64_t modelChangeCount() { return gModelChanges.load(std::memory_order_acquire); }

void noteModelChange() { gModelChanges.fetch_add(1, std::memory_order_acq_rel); }

void Object::announce(std::string_view key, bool prior) {
  // Counted before the early return: what is derived from the object is stale whether or
  // not anyone observes it.
  noteModelChange();
  detail::ObserverList* list = m_observers.load(std::memory_order_acquire);
  if (!list) return;
  const auto& dependents = keys().dependentsOf(key);
  std::vector<std::shared_ptr<detail::ObserverList::Entry>> due;
  {
    std::lock_guard lock(m_observersMutex);
    list->prune();
    for (const auto& e : list->entries)
      if (e->key == key || std::find(dependents.begin(), dependents.end(), e->key) != dependents.end())
        due.push_back(e);
  }
  // Delivered outside the lock: an observer may add or remove observers, or change keys.
  for (const auto& e : due)
    if (e->active) e->fire(prior);
}

}  // namespace orb::platform
