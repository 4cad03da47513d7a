#include "platform/PropertyList.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <locale.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

#include "platform/AtomicFile.h"
#include "platform/PlistNode.h"

namespace orb::platform {
namespace detail {

namespace {

constexpr int kMaxDepth = 2000;  // deeper nesting only comes from damaged or hostile files

/// libplist formats and parses XML reals with the C library, which follows the process
/// locale; Qt sets that from the environment. Switch this thread to the C locale while
/// libplist runs so "0.1" stays "0.1" everywhere.
class CLocaleScope {
 public:
  CLocaleScope() {
    static locale_t cLocale = newlocale(LC_ALL_MASK, "C", nullptr);
    m_previous = uselocale(cLocale);
  }
  ~CLocaleScope() { uselocale(m_previous); }

 private:
  locale_t m_previous;
};

}  // namespace

plist_t parseNode(const Data& bytes, const std::string& what, const std::string& errorName) {
  if (bytes.empty()) throw Exception(errorName, what + " is empty");
  if (bytes.size() > 0xFFFFFFFFu) throw Exception(errorName, what + " is too large");
  checkBeforeParsing(bytes, what, errorName);
  plist_t node = nullptr;
  CLocaleScope c;
  plist_from_memory(reinterpret_cast<const char*>(bytes.data()), static_cast<uint32_t>(bytes.size()), &node);
  if (!node) throw Exception(errorName, what + " is damaged or is not a property list");
  return node;
}

Data serializeNode(plist_t node, PlistFormat format) {
  char* out = nullptr;
  uint32_t length = 0;
  CLocaleScope c;
  if (format == PlistFormat::Binary)
    plist_to_bin(node, &out, &length);
  else
    plist_to_xml(node, &out, &length);
  if (!out) throw Exception("NSInternalInconsistencyException", "could not write a property list");
  Data data(reinterpret_cast<std::uint8_t*>(out), reinterpret_cast<std::uint8_t*>(out) + length);
  if (format == PlistFormat::Binary)
    plist_to_bin_free(out);
  else
    plist_to_xml_free(out);
  return data;
}

std::optional<std::uint64_t> uidOf(plist_t node) {
  if (!node) return std::nullopt;
  if (plist_get_node_type(node) == PLIST_UID) {
    std::uint64_t v = 0;
    plist_get_uid_val(node, &v);
    return v;
  }
  if (plist_get_node_type(node) == PLIST_DICT && plist_dict_get_size(node) == 1) {
    plist_t n = plist_dict_get_item(node, "CF$UID");
    if (n && plist_get_node_type(n) == PLIST_UINT) {
      std::uint64_t v = 0;
      plist_get_uint_val(n, &v);
      return v;
    }
  }
  return std::nullopt;
}

std::vector<plist_t> arrayItems(plist_t array) {
  std::vector<plist_t> items;
  items.reserve(plist_array_get_size(array));
  plist_array_iter it = nullptr;
  plist_array_new_iter(array, &it);
  for (;;) {
    plist_t item = nullptr;
    plist_array_next_item(array, it, &item);
    if (!item) break;
    items.push_back(item);
  }
  std::free(it);
  return items;
}

namespace {

/// `bytes` as UTF-8: valid sequences kept, every other byte taken as Latin-1.
std::string validUtf8(std::string_view bytes) {
  auto continuation = [&](std::size_t at) { return at < bytes.size() && (static_cast<unsigned char>(bytes[at]) & 0xC0) == 0x80; };
  std::string out;
  out.reserve(bytes.size());
  for (std::size_t i = 0; i < bytes.size();) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    std::size_t n = 0;
    if (c < 0x80) n = 1;
    else if (c >= 0xC2 && c <= 0xDF) n = 2;
    else if (c >= 0xE0 && c <= 0xEF) n = 3;
    else if (c >= 0xF0 && c <= 0xF4) n = 4;
    bool ok = n > 0;
    for (std::size_t k = 1; ok && k < n; ++k) ok = continuation(i + k);
    if (ok && n >= 3) {
      // No overlong forms, no surrogates, nothing past U+10FFFF.
      const auto c1 = static_cast<unsigned char>(bytes[i + 1]);
      if (c == 0xE0 && c1 < 0xA0) ok = false;
      if (c == 0xED && c1 >= 0xA0) ok = false;
      if (c == 0xF0 && c1 < 0x90) ok = false;
      if (c == 0xF4 && c1 >= 0x90) ok = false;
    }
    if (ok) {
      out.append(bytes.substr(i, n));
      i += n;
    } else {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
      ++i;
    }
  }
  return out;
}

std::string checkedText(std::string_view bytes) {
  if (bytes.find('\0') != std::string_view::npos)
    throw Exception("NSInvalidArgumentException", "property list string holds a NUL character");
  return validUtf8(bytes);
}

}  // namespace

std::string stringOf(plist_t node) {
  if (!node || plist_get_node_type(node) != PLIST_STRING) return {};
  // Not plist_get_string_val: it aborts on a string with a NUL before its end.
  std::uint64_t length = 0;
  const char* s = plist_get_string_ptr(node, &length);
  return s ? checkedText(std::string_view(s, length)) : std::string();
}

std::vector<std::pair<std::string, plist_t>> dictionaryItems(plist_t dict) {
  std::vector<std::pair<std::string, plist_t>> items;
  plist_dict_iter it = nullptr;
  plist_dict_new_iter(dict, &it);
  for (;;) {
    char* key = nullptr;
    plist_t item = nullptr;
    plist_dict_next_item(dict, it, &key, &item);
    if (!item) {
      std::free(key);
      break;
    }
    std::string text = key ? key : "";
    std::free(key);
    items.emplace_back(validUtf8(text), item);
  }
  std::free(it);
  return items;
}

plist_t toNode(const Value& value) {
  using K = Value::Kind;
  switch (value.kind()) {
    case K::Bool: return plist_new_bool(value.asBool() ? 1 : 0);
    case K::Integer: return plist_new_uint(static_cast<std::uint64_t>(value.asInt()));
    case K::Double: return plist_new_real(value.asDouble());
    case K::String: return plist_new_string(value.asString().c_str());
    case K::Data:
      return plist_new_data(reinterpret_cast<const char*>(value.asData().data()), value.asData().size());
    case K::Array: {
      PlistHolder array(plist_new_array());
      for (const auto& v : value.asArray()) plist_array_append_item(array.get(), toNode(v));
      return array.release();
    }
    case K::Dictionary: {
      PlistHolder dict(plist_new_dict());
      for (const auto& [k, v] : value.asDictionary()) {
        if (!k.isString())
          Exception::raise("NSInvalidArgumentException", "property list keys must be strings, not %s",
                           k.description().c_str());
        plist_dict_set_item(dict.get(), k.asString().c_str(), toNode(v));
      }
      return dict.release();
    }
    default:
      Exception::raise("NSInvalidArgumentException", "a %s cannot be stored in a property list (%s)",
                       Value::kindName(value.kind()), value.description().c_str());
  }
}

Value fromNode(plist_t node, int depth) {
  if (depth > kMaxDepth) throw Exception("NSInvalidArgumentException", "property list is nested too deeply");
  switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
      uint8_t b = 0;
      plist_get_bool_val(node, &b);
      return Value(b != 0);
    }
    case PLIST_UINT: {
      std::uint64_t u = 0;
      plist_get_uint_val(node, &u);
      return Value(static_cast<std::int64_t>(u));
    }
    case PLIST_REAL: {
      double d = 0;
      plist_get_real_val(node, &d);
      return Value(d);
    }
    case PLIST_STRING: return Value(stringOf(node));
    case PLIST_DATA: {
      char* bytes = nullptr;
      uint64_t length = 0;
      plist_get_data_val(node, &bytes, &length);
      Data d(reinterpret_cast<std::uint8_t*>(bytes), reinterpret_cast<std::uint8_t*>(bytes) + length);
      std::free(bytes);
      return Value(std::move(d));
    }
    case PLIST_DATE: {
      int32_t sec = 0, usec = 0;
      plist_get_date_val(node, &sec, &usec);
      return Value(sec + usec * 1e-6);  // seconds since 2001-01-01
    }
    case PLIST_ARRAY: {
      Array out;
      for (plist_t element : arrayItems(node)) out.push_back(fromNode(element, depth + 1));
      return Value(std::move(out));
    }
    case PLIST_DICT: {
      Dictionary out;
      for (const auto& [key, item] : dictionaryItems(node)) out.set(Value(key), fromNode(item, depth + 1));
      return Value(std::move(out));
    }
    case PLIST_UID: {
      std::uint64_t v = 0;
      plist_get_uid_val(node, &v);
      return Value(Dictionary{{"CF$UID", static_cast<std::int64_t>(v)}});
    }
    default: return Value();
  }
}

}  // namespace detail

namespace plist {

Data serialize(const Value& value, PlistFormat format) {
  detail::PlistHolder node(detail::toNode(value));
  return detail::serializeNode(node.get(), format);
}

Value parse(const Data& bytes, const std::string& what) {
  detail::PlistHolder node(detail::parseNode(bytes, what, "NSInvalidArgumentException"));
  return detail::fromNode(node.get());
}

std::optional<Data> readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  Data data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return std::nullopt;
  return data;
}

void writeFileAtomically(const std::string& path, const Data& bytes) { platform::writeFileAtomically(path, bytes); }

Value readPlistFile(const std::string& path) {
  auto data = readFile(path);
  if (!data) Exception::raise("NSInvalidArgumentException", "cannot read %s", path.c_str());
  return parse(*data, path);
}

void writePlistFile(const std::string& path, const Value& value, PlistFormat format) {
  writeFileAtomically(path, serializeReadably(value, format, path));
}

Data serializeReadably(const Value& value, PlistFormat format, const std::string& what) {
  Data bytes = serialize(value, format);
  verifyReadable(bytes, what);
  return bytes;
}

void verifyReadable(const Data& bytes, const std::string& what) {
  try {
    detail::PlistHolder node(detail::parseNode(bytes, what, "NSInternalInconsistencyException"));
  } catch (const Exception& e) {
    throw Exception("NSInternalInconsistencyException", "the property list made for " + what +
                                                            " could not be read back (" + e.reason() + ")");
  }
}

}  // namespace plist
}  // namespace orb::platform
