#include "geometry/values/ArchiveClasses.h"

#include "geometry/values/Extents.h"
#include "platform/ArchiveRegistry.h"

namespace orb::geometry {

void registerArchiveClasses() {
  auto& registry = platform::ArchiveRegistry::shared();
  registry.registerClass<Extents>("Extents", "NSObject");
  registry.registerClass<MutableExtents>("MutableExtents", "Extents");
}

}  // namespace orb::geometry
