#include "platform/KeyedArchiver.h"

#include "platform/ArchiveRegistry.h"
#include "platform/AtomicFile.h"
#include "platform/PlistNode.h"

namespace orb::platform {

using detail::PlistHolder;

KeyedArchiver::KeyedArchiver() : m_top(plist_new_dict()) { m_objects.push_back(plist_new_string("$null")); }

KeyedArchiver::~KeyedArchiver() {
  for (plist_t p : m_objects)
    if (p) plist_free(p);
  if (m_top) plist_free(m_top);
}

std::uint64_t KeyedArchiver::reserve() {
  m_objects.push_back(nullptr);
  return m_objects.size() - 1;
}

// Data, arrays and dictionaries stored once in memory are written once, as objects are;
// written out in full, a chain of shared arrays doubles per level.
std::optional<std::uint64_t> KeyedArchiver::sharedUID(const Value& value) const {
  auto it = m_sharedUIDs.find(value.storage());
  if (it == m_sharedUIDs.end()) return std::nullopt;
  return it->second;
}

std::uint64_t KeyedArchiver::reserveShared(const Value& value) {
  std::uint64_t uid = reserve();
  m_sharedUIDs.emplace(value.storage(), uid);
  // Kept alive to the end, so that no later temporary takes over its address.
  m_keptAlive.push_back(value);
  return uid;
}

std::uint64_t KeyedArchiver::classUID(const std::string& name) {
  auto it = m_classUIDs.find(name);
  if (it != m_classUIDs.end()) return it->second;
  PlistHolder entry(plist_new_dict());
  plist_dict_set_item(entry.get(), "$classname", plist_new_string(name.c_str()));
  PlistHolder classes(plist_new_array());
  for (const auto& n : ArchiveRegistry::shared().hierarchy(name)) plist_array_append_item(classes.get(), plist_new_string(n.c_str()));
  plist_dict_set_item(entry.get(), "$classes", classes.release());
  std::uint64_t uid = reserve();
  m_objects[uid] = entry.release();
  m_classUIDs.emplace(name, uid);
  return uid;
}

std::uint64_t KeyedArchiver::encodeValue(const Value& value) {
  using K = Value::Kind;
  switch (value.kind()) {
    case K::Nil: return 0;
    case K::String: {
      auto it = m_stringUIDs.find(value.asString());
      if (it != m_stringUIDs.end()) return it->second;
      std::uint64_t uid = reserve();
      m_objects[uid] = plist_new_string(value.asString().c_str());
      m_stringUIDs.emplace(value.asString(), uid);
      return uid;
    }
    case K::Bool:
    case K::Integer:
    case K::Double: {
      std::uint64_t uid = reserve();
      m_objects[uid] = detail::toNode(value);
      return uid;
    }
    case K::Data: {
      if (auto shared = sharedUID(value)) return *shared;
      std::uint64_t uid = reserveShared(value);
      m_objects[uid] = detail::toNode(value);
      return uid;
    }
    case K::Array: {
      if (auto shared = sharedUID(value)) return *shared;
      std::uint64_t uid = reserveShared(value);
      PlistHolder uids(plist_new_array());
      for (const auto& element : value.asArray()) plist_array_append_item(uids.get(), plist_new_uid(encodeValue(element)));
      PlistHolder entry(plist_new_dict());
      plist_dict_set_item(entry.get(), "NS.objects", uids.release());
      plist_dict_set_item(entry.get(), "$class", plist_new_uid(classUID("NSArray")));
      m_objects[uid] = entry.release();
      return uid;
    }
    case K::Dictionary: {
      if (auto shared = sharedUID(value)) return *shared;
      std::uint64_t uid = reserveShared(value);
      PlistHolder keys(plist_new_array()), objects(plist_new_array());
      for (const auto& [k, v] : value.asDictionary()) {
        plist_array_append_item(keys.get(), plist_new_uid(encodeValue(k)));
        plist_array_append_item(objects.get(), plist_new_uid(encodeValue(v)));
      }
      PlistHolder entry(plist_new_dict());
      plist_dict_set_item(entry.get(), "NS.keys", keys.release());
      plist_dict_set_item(entry.get(), "NS.objects", objects.release());
      plist_dict_set_item(entry.get(), "$class", plist_new_uid(classUID("NSDictionary")));
      m_objects[uid] = entry.release();
      return uid;
    }
    case K::Object: {
      auto object = value.asObject();
      auto seen = m_objectUIDs.find(object.get());
      if (seen != m_objectUIDs.end()) return seen->second;
      const Object& archived = *object;
      const ArchiveRegistry::Entry* entry = ArchiveRegistry::shared().byType(typeid(archived));
      if (!entry)
        Exception::raise("NSInvalidArchiveOperationException", "class %s is not registered for archiving",
                         object->className().c_str());
      // Registered before its contents are written, so a cycle back to it finds its UID.
      std::uint64_t uid = reserve();
      m_objectUIDs.emplace(object.get(), uid);
      m_objects[uid] = plist_new_dict();
      m_current.push_back(m_objects[uid]);
      try {
        object->encodeWithCoder(*this);
      } catch (...) {
        m_current.pop_back();
        throw;
      }
      m_current.pop_back();
      plist_dict_set_item(m_objects[uid], "$class", plist_new_uid(classUID(entry->name)));
      return uid;
    }
    case K::Reference:
      throw Exception("NSInvalidArchiveOperationException", "a weak reference cannot be archived");
  }
  return 0;
}

void KeyedArchiver::setInCurrent(std::string_view key, plist_t node) {
  if (m_current.empty()) {
    plist_free(node);
    throw Exception("NSInvalidArchiveOperationException", "encoding outside of an object being archived");
  }
  plist_dict_set_item(m_current.back(), std::string(key).c_str(), node);
}

void KeyedArchiver::encodeObject(std::string_view key, const Value& value) {
  std::uint64_t uid = encodeValue(value);
  setInCurrent(key, plist_new_uid(uid));
}

void KeyedArchiver::encodeDouble(std::string_view key, double value) { setInCurrent(key, plist_new_real(value)); }
void KeyedArchiver::encodeInt(std::string_view key, std::int64_t value) {
  setInCurrent(key, plist_new_uint(static_cast<std::uint64_t>(value)));
}
void KeyedArchiver::encodeBool(std::string_view key, bool value) { setInCurrent(key, plist_new_bool(value ? 1 : 0)); }

void KeyedArchiver::encodeRootObject(const Value& root) {
  plist_dict_set_item(m_top, "root", plist_new_uid(encodeValue(root)));
}

Data KeyedArchiver::archivedData(PlistFormat format) {
  PlistHolder archive(plist_new_dict());
  plist_dict_set_item(archive.get(), "$archiver", plist_new_string("NSKeyedArchiver"));
  plist_dict_set_item(archive.get(), "$version", plist_new_uint(100000));
  plist_dict_set_item(archive.get(), "$top", plist_copy(m_top));
  PlistHolder objects(plist_new_array());
  for (plist_t p : m_objects) plist_array_append_item(objects.get(), plist_copy(p));
  plist_dict_set_item(archive.get(), "$objects", objects.release());
  return detail::serializeNode(archive.get(), format);
}

Data KeyedArchiver::archivedDataWithRootObject(const Value& root, PlistFormat format) {
  KeyedArchiver archiver;
  archiver.encodeRootObject(root);
  return archiver.archivedData(format);
}

void KeyedArchiver::archiveRootObjectToFile(const Value& root, const std::string& path, PlistFormat format) {
  const Data bytes = archivedDataWithRootObject(root, format);
  plist::verifyReadable(bytes, path);
  writeFileAtomically(path, bytes);
}

}  // namespace orb::platform
