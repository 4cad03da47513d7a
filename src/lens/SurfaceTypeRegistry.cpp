#include "lens/SurfaceTypeRegistry.h"

#include "lens/FreeformSurfaceTypes.h"
#include "lens/SimpleSurfaceTypes.h"
#include "lens/Surface.h"
#include "platform/Exception.h"

namespace orb::lens {

SurfaceTypeRegistry& SurfaceTypeRegistry::shared() {
  static SurfaceTypeRegistry registry;
  return registry;
}

void SurfaceTypeRegistry::registerType(const std::string& key, Factory factory) {
  std::lock_guard lock(m_mutex);
  m_factories[key] = std::move(factory);
}

bool SurfaceTypeRegistry::isRegistered(const std::string& key) const {
  std::lock_guard lock(m_mutex);
  return m_factories.count(key) != 0;
}

std::shared_ptr<Surface> SurfaceTypeRegistry::surfaceOfType(const std::string& type, const Surface* from) const {
  Factory factory;
  {
    std::lock_guard lock(m_mutex);
    auto it = m_factories.find(type);
    if (it != m_factories.end()) factory = it->second;
  }
  if (!factory) platform::Exception::raise("OBException", "Unimplemented surface");
  auto surface = factory();
  if (from)
    surface->initWithSurface(*from);
  else
    surface->init();
  return surface;
}

const std::vector<std::string>& SurfaceTypeRegistry::types() {
  static const std::vector<std::string> types{
      "Standard", "Asphere", "Odd Asphere", "Paraxial",  "Paraxial XY", "Break", "Polynomial",       "Fresnel", "Kinoform",
      "Biconic",  "Grating", "Toric X",     "Toric Y",   "Light pipe",  "Elbow", "Diffuser", "Paraxial Fly Eye"};
  return types;
}

const std::vector<std::string>& SurfaceTypeRegistry::zemaxTypes() {
  static const std::vector<std::string> types{
      "ABCDSURF", "ALTERNAT", "ATMOSPHR", "BICONICX", "BINARY_1", "BINARY_2", "CONJUGAT", "COORDBRK", "CUSPLINE",
      "DGRATING", "ELLIGRAT", "EVENASPH", "FRESNELS", "GEN_FRES", "GRID_PHA", "GRID_SAG", "GRINSU10", "GRINSUR1",
      "GRINSUR2", "GRINSUR3", "GRINSUR4", "GRINSUR5", "GRINSUR6", "GRINSUR7", "GRINSUR8", "GRINSUR9", "HOLOGRM1",
      "HOLOGRM2", "IRREGULA", "JONESMAT", "ODDASPHE", "PARAXIAL", "PARAX_XY", "PERIODIC", "POLYNOMI", "STANDARD",
      "SUPERCON", "TILTSURF", "TOROGRAT", "TOROHOLO", "TOROIDAL", "USERSURF", "VARLSGRT", "XASPHERE", "XCUSPLIN",
      "XFRESNEL", "XOSPHERE", "XPOLYNOM", "ZERNPHAS", "ZERNSURF", "ZONEPLAT"};
  return types;
}

void registerSurfaceTypes() {
  auto& registry = SurfaceTypeRegistry::shared();
  registry.registerType<Surface>("STANDARD");
  registry.registerType<Surface>("Standard");
  registerSimpleSurfaceTypes(registry);
  registerFreeformSurfaceTypes(registry);
}

}  // namespace orb::lens
