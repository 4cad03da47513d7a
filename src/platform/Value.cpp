#include "platform/Value.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>
#include <unordered_set>

#include "platform/Object.h"

namespace orb::platform {

Value::Value(Data d) : m_v(std::make_shared<const Data>(std::move(d))) {}
Value::Value(Array a) : m_v(std::make_shared<const Array>(std::move(a))) {}
Value::Value(Dictionary d) : m_v(std::make_shared<const Dictionary>(std::move(d))) {}

const char* Value::kindName(Kind k) {
  switch (k) {
    case Kind::Nil: return "nil";
    case Kind::Bool: return "boolean";
    case Kind::Integer: return "integer";
    case Kind::Double: return "double";
    case Kind::String: return "string";
    case Kind::Data: return "data";
    case Kind::Array: return "array";
    case Kind::Dictionary: return "dictionary";
    case Kind::Object: return "object";
    case Kind::Reference: return "reference";
  }
  return "?";
}

void Value::wrongKind(const char* wanted) const {
  std::string shown = description();
  if (shown.size() > 80) shown = shown.substr(0, 77) + "...";
  Exception::raise("NSInvalidArgumentException", "expected %s but found %s %s", wanted, kindName(kind()),
                   shown.c_str());
}

bool Value::asBool() const {
  switch (kind()) {
    case Kind::Bool: return std::get<bool>(m_v);
    case Kind::Integer: return std::get<std::int64_t>(m_v) != 0;
    case Kind::Double: return std::get<double>(m_v) != 0.0;
    default: wrongKind("a number");
  }
}

bool holdsObject(const Value& value) {
  // Each shared array or dictionary is looked into once, so a chain of shared collections
  // costs its length, not its expansion.
  std::vector<const Value*> pending{&value};
  std::unordered_set<const void*> seen;
  while (!pending.empty()) {
    const Value* v = pending.back();
    pending.pop_back();
    switch (v->kind()) {
      case Value::Kind::Object:
      case Value::Kind::Reference: return true;
      case Value::Kind::Array:
        if (!seen.insert(v->storage()).second) break;
        for (const auto& e : v->asArray()) pending.push_back(&e);
        break;
      case Value::Kind::Dictionary:
        if (!seen.insert(v->storage()).second) break;
        for (const auto& [k, e] : v->asDictionary()) {
          pending.push_back(&k);
          pending.push_back(&e);
        }
        break;
      default: break;
    }
  }
  return false;
}

const void* Value::storage() const {
  switch (kind()) {
    case Kind::Data: return std::get<std::shared_ptr<const Data>>(m_v).get();
    case Kind::Array: return std::get<std::shared_ptr<const Array>>(m_v).get();
    case Kind::Dictionary: return std::get<std::shared_ptr<const Dictionary>>(m_v).get();
    case Kind::Object: return std::get<std::shared_ptr<Object>>(m_v).get();
    default: return nullptr;
  }
}

std::int64_t Value::asInt() const {
  switch (kind()) {
    case Kind::Bool: return std::get<bool>(m_v) ? 1 : 0;
    case Kind::Integer: return std::get<std::int64_t>(m_v);
    case Kind::Double: {
      double d = std::get<double>(m_v);
      if (std::isnan(d)) return 0;
      if (d >= 9.2e18) return INT64_MAX;
      if (d <= -9.2e18) return INT64_MIN;
      return static_cast<std::int64_t>(d);
    }
    default: wrongKind("a number");
  }
}

double Value::asDouble() const {
  switch (kind()) {
    case Kind::Bool: return std::get<bool>(m_v) ? 1.0 : 0.0;
    case Kind::Integer: return static_cast<double>(std::get<std::int64_t>(m_v));
    case Kind::Double: return std::get<double>(m_v);
    default: wrongKind("a number");
  }
}

const std::string& Value::asString() const {
  if (auto p = std::get_if<std::string>(&m_v)) return *p;
  wrongKind("a string");
}

const Data& Value::asData() const {
  if (auto p = std::get_if<std::shared_ptr<const Data>>(&m_v)) return **p;
  wrongKind("data");
}

const Array& Value::asArray() const {
  if (auto p = std::get_if<std::shared_ptr<const Array>>(&m_v)) return **p;
  wrongKind("an array");
}

const Dictionary& Value::asDictionary() const {
  if (auto p = std::get_if<std::shared_ptr<const Dictionary>>(&m_v)) return **p;
  wrongKind("a dictionary");
}

const Reference& Value::asReference() const {
  if (auto p = std::get_if<Reference>(&m_v)) return *p;
  wrongKind("a reference");
}

std::shared_ptr<Object> Value::asObject() const {
  if (isNil()) return nullptr;
  if (auto p = std::get_if<std::shared_ptr<Object>>(&m_v)) return *p;
  wrongKind("an object");
}

bool operator==(const Value& a, const Value& b) {
  using K = Value::Kind;
  if (a.isNumber() && b.isNumber()) {
    if (a.kind() == K::Double || b.kind() == K::Double) return a.asDouble() == b.asDouble();
    return a.asInt() == b.asInt();
  }
  if (a.kind() != b.kind()) return false;
  switch (a.kind()) {
    case K::Nil: return true;
    case K::String: return a.asString() == b.asString();
    case K::Data: return a.asData() == b.asData();
    case K::Array: return static_cast<const std::vector<Value>&>(a.asArray()) == b.asArray();
    case K::Dictionary: return a.asDictionary() == b.asDictionary();
    case K::Reference: return a.asReference() == b.asReference();
    case K::Object: {
      auto x = a.asObject(), y = b.asObject();
      return x == y || x->isEqualTo(*y);
    }
    default: return false;
  }
}

std::size_t Value::hash() const {
  using K = Kind;
  auto mix = [](std::size_t h, std::size_t v) { return h ^ (v + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2)); };
  switch (kind()) {
    case K::Nil: return 0;
    case K::Bool:
    case K::Integer:
    case K::Double: {
      // Equal numbers of different kinds must hash alike.
      double d = asDouble();
      if (d == 0.0) d = 0.0;  // -0 == +0
      if (std::isnan(d)) return 0x7ff8;
      if (kind() == K::Integer && static_cast<double>(asInt()) != d) return std::hash<std::int64_t>()(asInt());
      return std::hash<double>()(d);
    }
    case K::String: return std::hash<std::string>()(asString());
    case K::Data: return std::hash<std::string_view>()(
        std::string_view(reinterpret_cast<const char*>(asData().data()), asData().size()));
    case K::Array: {
      std::size_t h = asArray().size();
      for (const auto& v : asArray()) h = mix(h, v.hash());
      return h;
    }
    case K::Dictionary: {
      std::size_t h = asDictionary().size();
      for (const auto& [k, v] : asDictionary()) h += mix(k.hash(), v.hash());  // order-free
      return h;
    }
    case K::Object: return asObject()->hash();
    case K::Reference: return asReference().hash();
  }
  return 0;
}

namespace {
std::string quoted(const std::string& s) {
  bool plain = !s.empty();
  for (unsigned char c : s)
    if (!(std::isalnum(c) || c == '_' || c == '.' || c == '-' || c == '/')) plain = false;
  if (plain) return s;
  std::string out = "\"";
  for (char c : s) {
    if (c == '"' || c == '\\') out += '\\';
    if (c == '\n') {
      out += "\\n";
      continue;
    }
    out += c;
  }
  return out + "\"";
}

std::string formatDouble(double d) {
  // Shortest text that reads back to the same double, independent of the process locale.
  char buf[32];
  auto r = std::to_chars(buf, buf + sizeof buf, d);
  return std::string(buf, r.ptr);
}
}  // namespace

std::string Value::description() const {
  using K = Kind;
  switch (kind()) {
    case K::Nil: return "nil";
    case K::Bool: return asBool() ? "true" : "false";
    case K::Integer: return std::to_string(asInt());
    case K::Double: return formatDouble(asDouble());
    case K::String: return quoted(asString());
    case K::Data: {
      static const char* hex = "0123456789abcdef";
      std::string out = "<";
      for (std::size_t i = 0; i < asData().size(); ++i) {
        if (i && i % 4 == 0) out += ' ';
        out += hex[asData()[i] >> 4];
        out += hex[asData()[i] & 15];
      }
      return out + ">";
    }
    case K::Array: return asArray().description();
    case K::Dictionary: return asDictionary().description();
    case K::Object: return asObject()->description();
    case K::Reference: return asReference().description();
  }
  return {};
}

std::string Array::description() const {
  std::string out = "(";
  for (std::size_t i = 0; i < size(); ++i) {
    if (i) out += ", ";
    out += (*this)[i].description();
  }
  return out + ")";
}

Dictionary::Dictionary(std::initializer_list<Entry> entries) {
  for (const auto& [k, v] : entries) set(k, v);
}

const Value* Dictionary::find(const Value& key) const {
  auto it = m_index.find(key);
  return it == m_index.end() ? nullptr : &m_entries[it->second].second;
}

Value Dictionary::get(const Value& key) const {
  const Value* v = find(key);
  return v ? *v : Value();
}

void Dictionary::set(const Value& key, Value value) {
  auto it = m_index.find(key);
  if (it != m_index.end()) {
    m_entries[it->second].second = std::move(value);
    return;
  }
  m_index.emplace(key, m_entries.size());
  m_entries.emplace_back(key, std::move(value));
}

bool Dictionary::remove(const Value& key) {
  auto it = m_index.find(key);
  if (it == m_index.end()) return false;
  m_entries.erase(m_entries.begin() + static_cast<std::ptrdiff_t>(it->second));
  reindex();
  return true;
}

void Dictionary::clear() {
  m_entries.clear();
  m_index.clear();
}

void Dictionary::reindex() {
  m_index.clear();
  for (std::size_t i = 0; i < m_entries.size(); ++i) m_index.emplace(m_entries[i].first, i);
}

Array Dictionary::keys() const {
  Array out;
  out.reserve(size());
  for (const auto& e : m_entries) out.push_back(e.first);
  return out;
}

Array Dictionary::values() const {
  Array out;
  out.reserve(size());
  for (const auto& e : m_entries) out.push_back(e.second);
  return out;
}

bool operator==(const Dictionary& a, const Dictionary& b) {
  if (a.size() != b.size()) return false;
  for (const auto& [k, v] : a) {
    const Value* w = b.find(k);
    if (!w || !(*w == v)) return false;
  }
  return true;
}

std::string Dictionary::description() const {
  std::string out = "{";
  for (const auto& [k, v] : m_entries) out += k.description() + " = " + v.description() + "; ";
  return out + "}";
}

}  // namespace orb::platform
