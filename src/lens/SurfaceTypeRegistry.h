#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/Object.h"

namespace orb::lens {

class Surface;

/// Surface types by name: the menu names ("Standard", "Asphere", …) and the Zemax
/// surface-type codes ("STANDARD", "EVENASPH", …) both map to a surface class. Importers,
/// the lens (when the user changes a surface's type) and documents make surfaces through
/// it. Filled once by registerSurfaceTypes().
class SurfaceTypeRegistry {
 public:
  /// A fresh, uninitialised object of the class (makeObject<T>()).
  using Factory = std::function<std::shared_ptr<Surface>()>;

  static SurfaceTypeRegistry& shared();

  /// Maps `key` (a menu name or a Zemax code) to class T; a later registration of the
  /// same key replaces the earlier one.
  template <class T>
  void registerType(const std::string& key) {
    registerType(key, [] { return std::static_pointer_cast<Surface>(platform::makeObject<T>()); });
  }
  void registerType(const std::string& key, Factory factory);
  bool isRegistered(const std::string& key) const;

  /// A new surface of the class registered under `type`: made from `from` (its values and
  /// parameters carried over, as for a type change) or, without `from`, with the defaults.
  /// An unregistered name raises "OBException" "Unimplemented surface".
  std::shared_ptr<Surface> surfaceOfType(const std::string& type, const Surface* from = nullptr) const;

  /// The surface-type menu, in order.
  static const std::vector<std::string>& types();
  /// Every Zemax surface-type code the system knows by name, alphabetical.
  static const std::vector<std::string>& zemaxTypes();

 private:
  SurfaceTypeRegistry() = default;
  mutable std::mutex m_mutex;
  std::unordered_map<std::string, Factory> m_factories;
};

/// Fills the registry with every surface type, both names of each. Called from
/// lens::registerArchiveClasses(); calling it again is harmless. Each surface type adds
/// its lines here (and its archive class in registerArchiveClasses).
void registerSurfaceTypes();

}  // namespace orb::lens
