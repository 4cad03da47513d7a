#include "platform/KeyedUnarchiver.h"

#include "platform/ArchiveRegistry.h"
#include "platform/PlistNode.h"

namespace orb::platform {

namespace {
constexpr int kMaxDepth = 5000;  // nesting beyond this only comes from damaged or hostile files
constexpr std::uint64_t kMaxExpanded = 1u << 20;
const char* const kError = "NSInvalidArchiveOperationException";
}  // namespace

KeyedUnarchiver::KeyedUnarchiver(const Data& archive) : m_root(detail::parseNode(archive, "archive", kError)) {
  // m_root owns the tree from here, so a refusal below frees it.
  if (plist_get_node_type(m_root.get()) != PLIST_DICT) damaged("it is not a dictionary");
  plist_t objects = plist_dict_get_item(m_root.get(), "$objects");
  if (!objects || plist_get_node_type(objects) != PLIST_ARRAY) damaged("it has no $objects");
  plist_t top = plist_dict_get_item(m_root.get(), "$top");
  if (!top || plist_get_node_type(top) != PLIST_DICT) damaged("it has no $top");
  m_objects = detail::arrayItems(objects);
  m_count = static_cast<std::uint32_t>(m_objects.size());
  m_decoded.resize(m_count);
  m_state.resize(m_count, 0);
  m_expanded.resize(m_count, 0);
}

KeyedUnarchiver::~KeyedUnarchiver() = default;

void KeyedUnarchiver::damaged(const std::string& why) const {
  throw Exception(kError, "the archive is damaged: " + why);
}

Value KeyedUnarchiver::decodeRootObject() {
  plist_t top = plist_dict_get_item(m_root.get(), "$top");
  plist_t root = plist_dict_get_item(top, "root");
  if (!root && plist_dict_get_size(top) == 1) root = detail::dictionaryItems(top).front().second;
  auto uid = detail::uidOf(root);
  if (!uid) damaged("$top names no root object");
  return decodeUID(*uid);
}

Value KeyedUnarchiver::decodeUID(std::uint64_t uid) const {
  if (uid >= m_count) damaged("a reference points past the end of $objects");
  if (m_state[uid] == 2) return m_decoded[uid];
  if (m_state[uid] == 1) {
    // Only objects may be reached again while they are being decoded (a cycle through an
    // object); they are cached before their contents are read. A collection cannot.
    if (m_decoded[uid].isObject()) return m_decoded[uid];
    damaged("a collection contains itself");
  }
  if (++m_depth > kMaxDepth) {
    --m_depth;
    damaged("objects are nested too deeply");
  }
  m_state[uid] = 1;
  Value v;
  try {
    v = decodeNode(m_objects[uid], uid);
  } catch (...) {
    --m_depth;
    m_state[uid] = 0;
    m_decoded[uid] = Value();
    throw;
  }
  --m_depth;
  m_decoded[uid] = v;
  m_state[uid] = 2;
  return v;
}

Value KeyedUnarchiver::decodeNode(plist_t node, std::uint64_t uid) const {
  if (!node) damaged("a missing entry");
  switch (plist_get_node_type(node)) {
    case PLIST_STRING: {
      std::string s = detail::stringOf(node);
      return s == "$null" ? Value() : Value(s);
    }
    case PLIST_DICT: break;
    case PLIST_ARRAY:
    case PLIST_UID: damaged("an entry of $objects is of an unexpected kind");
    default: return detail::fromNode(node);
  }
  auto classRef = detail::uidOf(plist_dict_get_item(node, "$class"));
  if (!classRef || *classRef >= m_count) damaged("an object has no valid $class");
  plist_t classEntry = m_objects[*classRef];
  if (plist_get_node_type(classEntry) != PLIST_DICT) damaged("a $class entry is not a dictionary");
  std::string name = detail::stringOf(plist_dict_get_item(classEntry, "$classname"));
  if (name.empty()) damaged("a $class entry has no $classname");

  auto uidsIn = [&](const char* key) {
    std::vector<std::uint64_t> out;
    plist_t array = plist_dict_get_item(node, key);
    if (!array || plist_get_node_type(array) != PLIST_ARRAY) damaged(name + " without " + key);
    for (plist_t element : detail::arrayItems(array)) {
      auto uid = detail::uidOf(element);
      if (!uid) damaged(name + " holds something that is not a reference");
      // Checked here, before any of them is counted or decoded.
      if (*uid >= m_count) damaged(name + " holds a reference past the end of $objects");
      out.push_back(*uid);
    }
    return out;
  };

  if (name == "NSArray" || name == "NSMutableArray" || name == "NSSet" || name == "NSMutableSet" ||
      name == "NSOrderedSet") {
    Array out;
    std::uint64_t expanded = 1;
    for (auto uid : uidsIn("NS.objects")) {
      out.push_back(decodeUID(uid));
      expanded = countExpanded(expanded, uid);
    }
    m_expanded[uid] = expanded;
    return out;
  }
  if (name == "NSDictionary" || name == "NSMutableDictionary") {
    auto keys = uidsIn("NS.keys");
    auto objects = uidsIn("NS.objects");
    if (keys.size() != objects.size()) damaged("a dictionary with unequal key and value counts");
    Dictionary out;
    std::uint64_t expanded = 1;
    for (std::size_t i = 0; i < keys.size(); ++i) {
      Value key = decodeUID(keys[i]);
      expanded = countExpanded(countExpanded(expanded, keys[i]), objects[i]);
      out.set(std::move(key), decodeUID(objects[i]));
    }
    m_expanded[uid] = expanded;
    return out;
  }
  if (name == "NSString" || name == "NSMutableString") return Value(detail::stringOf(plist_dict_get_item(node, "NS.string")));
  if (name == "NSData" || name == "NSMutableData") {
    plist_t bytes = plist_dict_get_item(node, "NS.bytes");
    return bytes ? detail::fromNode(bytes) : Value(Data());
  }

  const ArchiveRegistry::Entry* entry = ArchiveRegistry::shared().byName(name);
  if (!entry || !entry->make)
    Exception::raise(kError, "the archive names the class %s, which cannot be decoded here", name.c_str());
  std::shared_ptr<Object> object = entry->make();
  // Cached before its contents are read, so a cycle back to it resolves to it.
  m_decoded[uid] = Value(object);
  m_current.push_back(node);
  try {
    object->initWithCoder(*this);
  } catch (...) {
    m_current.pop_back();
    throw;
  }
  m_current.pop_back();
  return Value(object);
}

std::uint64_t KeyedUnarchiver::countExpanded(std::uint64_t sum, std::uint64_t uid) const {
  // Decoding keeps a collection reached twice shared, but whatever walks the values
  // (comparing, describing, hashing as a key) meets every copy: a chain of shared arrays
  // doubles per level. Each collection counts what it holds with every copy counted.
  if (uid >= m_count) damaged("a reference points past the end of $objects");
  sum += std::max<std::uint64_t>(m_expanded[uid], 1);
  if (sum > kMaxExpanded) damaged("shared collections expand to more than " + std::to_string(kMaxExpanded) + " values");
  return sum;
}

plist_t KeyedUnarchiver::item(std::string_view key) const {
  if (m_current.empty()) throw Exception(kError, "decoding outside of an object being unarchived");
  return plist_dict_get_item(m_current.back(), std::string(key).c_str());
}

bool KeyedUnarchiver::containsValueForKey(std::string_view key) const { return item(key) != nullptr; }

Value KeyedUnarchiver::decodeObject(std::string_view key) const {
  plist_t node = item(key);
  if (!node) return {};
  if (auto uid = detail::uidOf(node)) return decodeUID(*uid);
  return detail::fromNode(node);  // a scalar written inline
}

Value KeyedUnarchiver::decodeInline(std::string_view key) const {
  Value v = decodeObject(key);
  if (!v.isNil() && !v.isNumber())
    Exception::raise(kError, "value for key %.*s is not a number", static_cast<int>(key.size()), key.data());
  return v;
}

double KeyedUnarchiver::decodeDouble(std::string_view key) const {
  Value v = decodeInline(key);
  return v.isNil() ? 0.0 : v.asDouble();
}

std::int64_t KeyedUnarchiver::decodeInt(std::string_view key) const {
  Value v = decodeInline(key);
  return v.isNil() ? 0 : v.asInt();
}

bool KeyedUnarchiver::decodeBool(std::string_view key) const {
  Value v = decodeInline(key);
  return !v.isNil() && v.asBool();
}

Value KeyedUnarchiver::unarchiveObjectWithData(const Data& archive) {
  KeyedUnarchiver unarchiver(archive);
  return unarchiver.decodeRootObject();
}

Value KeyedUnarchiver::unarchiveObjectWithFile(const std::string& path) {
  auto data = plist::readFile(path);
  if (!data) Exception::raise(kError, "cannot read %s", path.c_str());
  return unarchiveObjectWithData(*data);
}

}  // namespace orb::platform
