#include "lens/SimpleSurfaceTypes.h"

#include "lens/CoordinateBreak.h"
#include "lens/SurfaceAsphere.h"
#include "lens/SurfaceAsphereOdd.h"
#include "lens/SurfaceGrating.h"
#include "lens/SurfaceParaxial.h"
#include "lens/SurfaceTilted.h"
#include "lens/SurfaceTypeRegistry.h"
#include "platform/ArchiveRegistry.h"

namespace orb::lens {

void registerSimpleSurfaceTypes(SurfaceTypeRegistry& registry) {
  registry.registerType<SurfaceAsphere>("EVENASPH");
  registry.registerType<SurfaceAsphere>("Asphere");
  registry.registerType<SurfaceAsphereOdd>("ODDASPHE");
  registry.registerType<SurfaceAsphereOdd>("Odd Asphere");
  registry.registerType<SurfaceParaxial>("PARAXIAL");
  registry.registerType<SurfaceParaxial>("Paraxial");
  registry.registerType<CoordinateBreak>("COORDBRK");
  registry.registerType<CoordinateBreak>("Break");
  registry.registerType<SurfaceGrating>("DGRATING");
  registry.registerType<SurfaceGrating>("Grating");
}

void registerSimpleSurfaceArchiveClasses() {
  auto& registry = platform::ArchiveRegistry::shared();
  registry.registerClass<CoordinateBreak>("CoordinateBreak", "Surface");
  registry.registerClass<SurfaceAsphere>("SurfaceAsphere", "Surface");
  registry.registerClass<SurfaceAsphereOdd>("SurfaceAsphereOdd", "SurfaceAsphere");
  registry.registerClass<SurfaceGrating>("SurfaceGrating", "Surface");
  registry.registerClass<SurfaceParaxial>("SurfaceParaxial", "Surface");
  registry.registerClass<SurfaceTilted>("SurfaceTilted", "Surface");
}

}  // namespace orb::lens
