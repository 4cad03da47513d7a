#pragma once

#include <concepts>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include <variant>
#include <vector>

#include "platform/Exception.h"
#include "platform/Reference.h"

namespace orb::platform {

class Object;
class Value;
class Array;
class Dictionary;

/// Raw bytes (archived colours, enciphered catalogs, file contents).
using Data = std::vector<std::uint8_t>;

/// The dynamic value carried by dictionaries, key-value coding, plot dictionaries and
/// user defaults. Scalars, strings and data are values; arrays and dictionaries are
/// immutable once stored (copy out, change, store back); objects are shared.
///
/// Numbers (bool, integer, double) compare by numeric value, as a user of a lens
/// dictionary expects 1 and 1.0 to be the same key.
class Value {
 public:
  enum class Kind { Nil, Bool, Integer, Double, String, Data, Array, Dictionary, Object, Reference };

  Value() = default;
  Value(std::nullptr_t) {}
  Value(bool b) : m_v(b) {}
  template <std::integral T>
    requires(!std::same_as<T, bool>)
  Value(T i) : m_v(static_cast<std::int64_t>(i)) {}
  Value(double d) : m_v(d) {}
  Value(float f) : m_v(static_cast<double>(f)) {}
  Value(const char* s) : m_v(std::string(s)) {}
  Value(std::string s) : m_v(std::move(s)) {}
  Value(std::string_view s) : m_v(std::string(s)) {}
  Value(Data d);
  Value(Array a);
  Value(Dictionary d);
  Value(Reference r) : m_v(std::move(r)) {}
  template <class T>
    requires std::derived_from<T, Object>
  Value(std::shared_ptr<T> o) {
    if (o) m_v = std::shared_ptr<Object>(std::move(o));
  }

  Kind kind() const { return static_cast<Kind>(m_v.index()); }
  bool isNil() const { return kind() == Kind::Nil; }
  bool isNumber() const { return kind() == Kind::Bool || kind() == Kind::Integer || kind() == Kind::Double; }
  bool isString() const { return kind() == Kind::String; }
  bool isArray() const { return kind() == Kind::Array; }
  bool isDictionary() const { return kind() == Kind::Dictionary; }
  bool isObject() const { return kind() == Kind::Object; }

  // Typed access. Numbers convert among themselves; anything else of the wrong kind
  // raises "NSInvalidArgumentException" naming the kind found.
  bool asBool() const;
  std::int64_t asInt() const;
  double asDouble() const;
  const std::string& asString() const;
  const Data& asData() const;
  const Array& asArray() const;
  const Dictionary& asDictionary() const;
  const Reference& asReference() const;
  /// The object, or null for nil; raises for any other kind.
  std::shared_ptr<Object> asObject() const;
  /// The object as a T; raises when it is not one (a nil value gives null).
  template <class T>
  std::shared_ptr<T> asObject() const;
  /// The object as a T, or null when the value holds anything else.
  template <class T>
  std::shared_ptr<T> objectIf() const;

  /// The shared storage behind data, an array, a dictionary or an object (null for other
  /// kinds): two values with the same storage are one stored value, not equal copies.
  const void* storage() const;

  friend bool operator==(const Value& a, const Value& b);
  std::size_t hash() const;
  /// A readable rendering, property-list style: (1, 2), {a = 1; }, "text".
  std::string description() const;
  static const char* kindName(Kind k);

 private:
  [[noreturn]] void wrongKind(const char* wanted) const;
  std::variant<std::monostate, bool, std::int64_t, double, std::string, std::shared_ptr<const Data>,
               std::shared_ptr<const Array>, std::shared_ptr<const Dictionary>, std::shared_ptr<Object>,
               Reference>
      m_v;
};

/// Whether an object or a weak reference is anywhere inside `value`. An object that keeps
/// a decoded value as it is takes only one without: a file could otherwise make the
/// object hold itself, a cycle of shared pointers that is never freed.
bool holdsObject(const Value& value);

/// An ordered array of values.
class Array : public std::vector<Value> {
 public:
  using std::vector<Value>::vector;
  Array() = default;
  std::string description() const;
};

/// A dictionary of values keyed by values, iterated in insertion order (so descriptions,
/// archives and exports are deterministic). Equality ignores order.
class Dictionary {
 public:
  using Entry = std::pair<Value, Value>;
  Dictionary() = default;
  Dictionary(std::initializer_list<Entry> entries);

  std::size_t size() const { return m_entries.size(); }
  bool empty() const { return m_entries.empty(); }
  bool contains(const Value& key) const { return find(key) != nullptr; }
  /// The stored value, or null when the key is absent.
  const Value* find(const Value& key) const;
  /// The stored value, or nil when absent.
  Value get(const Value& key) const;
  Value operator[](const Value& key) const { return get(key); }
  /// Sets or replaces; a replaced key keeps its place in the order.
  void set(const Value& key, Value value);
  bool remove(const Value& key);
  void clear();

  Array keys() const;
  Array values() const;
  std::vector<Entry>::const_iterator begin() const { return m_entries.begin(); }
  std::vector<Entry>::const_iterator end() const { return m_entries.end(); }

  friend bool operator==(const Dictionary& a, const Dictionary& b);
  std::string description() const;

 private:
  struct KeyHash {
    std::size_t operator()(const Value& v) const { return v.hash(); }
  };
  void reindex();
  std::vector<Entry> m_entries;
  std::unordered_map<Value, std::size_t, KeyHash> m_index;
};

template <class T>
std::shared_ptr<T> Value::objectIf() const {
  if (auto p = std::get_if<std::shared_ptr<Object>>(&m_v)) return std::dynamic_pointer_cast<T>(*p);
  return nullptr;
}

template <class T>
std::shared_ptr<T> Value::asObject() const {
  if (isNil()) return nullptr;
  auto o = asObject();
  auto t = std::dynamic_pointer_cast<T>(o);
  if (!t) Exception::raise("NSInvalidArgumentException", "value %s is not of the expected class", description().c_str());
  return t;
}

}  // namespace orb::platform

template <>
struct std::hash<orb::platform::Value> {
  std::size_t operator()(const orb::platform::Value& v) const { return v.hash(); }
};
