#include "lens/ArchiveClasses.h"

#include "geometry/values/ArchiveClasses.h"
#include "lens/AspectAperture.h"
#include "lens/CircularAperture.h"
#include "lens/Emission.h"
#include "lens/Field.h"
#include "lens/Lens.h"
#include "lens/Parameter.h"
#include "lens/FreeformSurfaceTypes.h"
#include "lens/SimpleSurfaceTypes.h"
#include "lens/SpiderAperture.h"
#include "lens/Surface.h"
#include "lens/SurfaceTypeRegistry.h"
#include "lens/Wave.h"
#include "materials/ArchiveClasses.h"
#include "platform/ArchiveRegistry.h"

namespace orb::lens {

void registerArchiveClasses() {
  geometry::registerArchiveClasses();
  materials::registerArchiveClasses();
  auto& registry = platform::ArchiveRegistry::shared();
  if (!registry.byName("VKObject")) registry.registerAbstract("VKObject", "NSObject");
  if (!registry.byName("VKColoredObject")) registry.registerAbstract("VKColoredObject", "VKObject");
  registry.registerClass<Field>("Field", "VKColoredObject");
  registry.registerClass<Wave>("Wave", "VKColoredObject");
  registry.registerClass<Parameter>("Parameter", "NSObject");
  registry.registerClass<Emission>("Emission", "VKObject");
  registry.registerClass<Aperture>("Aperture", "VKObject");
  registry.registerClass<CircularAperture>("CircularAperture", "Aperture");
  registry.registerClass<CircularObscuration>("CircularObscuration", "CircularAperture");
  registry.registerClass<FloatingAperture>("FloatingAperture", "CircularAperture");
  registry.registerAbstract("AspectAperture", "Aperture");
  registry.registerClass<EllipticalAperture>("EllipticalAperture", "AspectAperture");
  registry.registerClass<EllipticalObscuration>("EllipticalObscuration", "EllipticalAperture");
  registry.registerClass<RectangularAperture>("RectangularAperture", "AspectAperture");
  registry.registerClass<RectangularObscuration>("RectangularObscuration", "RectangularAperture");
  registry.registerClass<SpiderAperture>("SpiderAperture", "Aperture");
  // Surfaces stand under the pickable object of the 3-D views in stored files.
  if (!registry.byName("GLObject")) registry.registerAbstract("GLObject", "VKColoredObject");
  registry.registerClass<Surface>("Surface", "GLObject");
  registerSimpleSurfaceArchiveClasses();
  registerFreeformSurfaceArchiveClasses();
  registerSurfaceTypes();
  if (!registry.byName("OBObject")) registry.registerAbstract("OBObject", "VKObject");
  registry.registerClass<Lens>("Lens", "OBObject");
}

}  // namespace orb::lens
