#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <typeindex>
#include <unordered_map>
#include <vector>

#include "platform/Object.h"

namespace orb::platform {

/// The classes a keyed archive may name. Decoding makes only registered classes, so a
/// file can never make arbitrary objects. Each layer registers its classes in one
/// explicit function (registerArchiveClasses of that layer), called at start-up.
class ArchiveRegistry {
 public:
  struct Entry {
    std::string name;
    std::string superName;                           ///< empty for a root class
    std::function<std::shared_ptr<Object>()> make;   ///< empty for abstract classes
  };

  static ArchiveRegistry& shared();

  /// Registers T under `name` (the archive's class name) with its superclass's name.
  template <class T>
  void registerClass(const std::string& name, const std::string& superName) {
    add(Entry{name, superName, [] { return std::static_pointer_cast<Object>(makeObject<T>()); }}, typeid(T));
  }
  /// A class that appears only as a superclass in archives.
  void registerAbstract(const std::string& name, const std::string& superName);

  const Entry* byName(const std::string& name) const;
  /// The registered entry for an object's exact class, or null.
  const Entry* byType(const std::type_info& type) const;
  /// [name, superclass, …, root]: what an archive's class entry lists.
  std::vector<std::string> hierarchy(const std::string& name) const;

 private:
  ArchiveRegistry();
  void add(Entry entry, const std::type_info& type);
  mutable std::mutex m_mutex;
  std::unordered_map<std::string, Entry> m_byName;
  std::unordered_map<std::type_index, std::string> m_byType;
};

}  // namespace orb::platform
