#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/Value.h"

namespace orb::platform {

class Object;

/// One key-value coding key of a class: how to read it, how to write it (absent for
/// read-only keys) and which other keys' changes also change it.
struct KeyEntry {
  std::string key;
  std::function<Value(const Object&)> get;
  std::function<void(Object&, const Value&)> set{};
  /// True when `set` writes a field directly, so key-value coding announces the change;
  /// setter methods announce their own changes (Object::changeValueForKey).
  bool setAnnounces = false;
  /// Keys of the same object whose change also changes this one.
  std::vector<std::string> affectedBy{};
  /// A summary key: every other key of the class affects it.
  bool affectedByAll = false;

  KeyEntry&& dependsOn(std::vector<std::string> keys) && {
    affectedBy = std::move(keys);
    return std::move(*this);
  }
  KeyEntry&& dependsOnEveryKey() && {
    affectedByAll = true;
    return std::move(*this);
  }
};

/// The keys of one class, declared once and inherited by subclasses through `parent`.
/// Everything that needs a class's fields by name (key-value coding, key paths,
/// observation, table models, archiving helpers) derives from this one table.
class KeyTable {
  struct StringHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>()(s); }
  };
  template <class V>
  using StringMap = std::unordered_map<std::string, V, StringHash, std::equal_to<>>;

 public:
  KeyTable(const KeyTable* parent, std::vector<KeyEntry> entries);

  /// The entry for `key`, searching this class first, then its ancestors.
  const KeyEntry* find(std::string_view key) const;
  /// Every key, ancestors' first, each once.
  std::vector<std::string> allKeys() const;
  /// The keys whose value changes when `key` changes (transitively), not `key` itself.
  const std::vector<std::string>& dependentsOf(std::string_view key) const;

 private:
  void buildDependents();
  const KeyTable* m_parent;
  std::vector<KeyEntry> m_entries;
  StringMap<std::size_t> m_index;
  StringMap<std::vector<std::string>> m_dependents;
  std::vector<std::string> m_summaryKeys;  // keys that depend on every key
};

// ---------------------------------------------------------------------------------------
// Conversions between C++ field types and Value, used by the typed key builders.

template <class M, class = void>
struct ValueConversion;

template <>
struct ValueConversion<Value> {
  static Value to(const Value& v) { return v; }
  static Value from(const Value& v) { return v; }
};
template <>
struct ValueConversion<bool> {
  static Value to(bool v) { return v; }
  static bool from(const Value& v) { return v.asBool(); }
};
template <>
struct ValueConversion<double> {
  static Value to(double v) { return v; }
  static double from(const Value& v) { return v.asDouble(); }
};
template <class I>
struct ValueConversion<I, std::enable_if_t<std::is_integral_v<I> && !std::is_same_v<I, bool>>> {
  static Value to(I v) { return v; }
  static I from(const Value& v) { return static_cast<I>(v.asInt()); }
};
template <class E>
struct ValueConversion<E, std::enable_if_t<std::is_enum_v<E>>> {
  static Value to(E v) { return static_cast<std::int64_t>(v); }
  static E from(const Value& v) { return static_cast<E>(v.asInt()); }
};
template <>
struct ValueConversion<std::string> {
  static Value to(const std::string& v) { return v; }
  static std::string from(const Value& v) { return v.isNil() ? std::string() : v.asString(); }
};
template <>
struct ValueConversion<Array> {
  static Value to(const Array& v) { return v; }
  static Array from(const Value& v) { return v.isNil() ? Array() : v.asArray(); }
};
template <>
struct ValueConversion<Dictionary> {
  static Value to(const Dictionary& v) { return v; }
  static Dictionary from(const Value& v) { return v.isNil() ? Dictionary() : v.asDictionary(); }
};
template <>
struct ValueConversion<Data> {
  static Value to(const Data& v) { return v; }
  static Data from(const Value& v) { return v.isNil() ? Data() : v.asData(); }
};
template <class T>
struct ValueConversion<std::shared_ptr<T>, std::enable_if_t<std::is_base_of_v<Object, T>>> {
  static Value to(const std::shared_ptr<T>& v) { return Value(v); }
  static std::shared_ptr<T> from(const Value& v) { return v.template asObject<T>(); }
};

/// Typed builders of key entries for class T:
///   Keys<Thing>::field("width", &Thing::m_width)                 // read/write field
///   Keys<Thing>::property("name", &Thing::name, &Thing::setName) // accessor methods
///   Keys<Thing>::getter("area", &Thing::area).dependsOn({"width", "height"})
template <class T>
struct Keys {
  template <class M>
  static KeyEntry field(std::string key, M T::*member) {
    KeyEntry e;
    e.key = std::move(key);
    e.get = [member](const Object& o) { return ValueConversion<M>::to(static_cast<const T&>(o).*member); };
    e.set = [member](Object& o, const Value& v) { static_cast<T&>(o).*member = ValueConversion<M>::from(v); };
    e.setAnnounces = true;
    return e;
  }
  template <class M>
  static KeyEntry readOnlyField(std::string key, M T::*member) {
    KeyEntry e;
    e.key = std::move(key);
    e.get = [member](const Object& o) { return ValueConversion<M>::to(static_cast<const T&>(o).*member); };
    return e;
  }
  template <class G>
  static KeyEntry getter(std::string key, G (T::*get)() const) {
    using M = std::remove_cvref_t<G>;
    KeyEntry e;
    e.key = std::move(key);
    e.get = [get](const Object& o) { return ValueConversion<M>::to((static_cast<const T&>(o).*get)()); };
    return e;
  }
  template <class G, class S>
  static KeyEntry property(std::string key, G (T::*get)() const, void (T::*set)(S)) {
    using M = std::remove_cvref_t<S>;
    KeyEntry e = getter(std::move(key), get);
    e.set = [set](Object& o, const Value& v) { (static_cast<T&>(o).*set)(ValueConversion<M>::from(v)); };
    return e;
  }
};

}  // namespace orb::platform
