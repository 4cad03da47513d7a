#include "geometry/values/ArchiveClasses.h"

#include "geometry/solids/R3Cylinder.h"
#include "geometry/solids/R3Ellipse.h"
#include "geometry/solids/R3Hull.h"
#include "geometry/solids/R3Line.h"
#include "geometry/solids/R3Plane.h"
#include "geometry/solids/SurfacePatch.h"
#include "geometry/values/Extents.h"
#include "platform/ArchiveRegistry.h"

namespace orb::geometry {

void registerArchiveClasses() {
  auto& registry = platform::ArchiveRegistry::shared();
  registry.registerClass<Extents>("Extents", "NSObject");
  registry.registerClass<MutableExtents>("MutableExtents", "Extents");

  registry.registerAbstract("R3Surface", "NSObject");
  registry.registerClass<R3Plane>("R3Plane", "R3Surface");
  registry.registerAbstract("R3Cylinder", "R3Surface");
  registry.registerClass<R3CylinderZ>("R3CylinderZ", "R3Cylinder");
  registry.registerAbstract("R3Curve", "NSObject");
  registry.registerClass<R3Line>("R3Line", "R3Curve");
  registry.registerClass<R3LineSegment>("R3LineSegment", "R3Line");
  registry.registerClass<R3Ellipse>("R3Ellipse", "R3Curve");
  registry.registerClass<R3EllipseSegment>("R3EllipseSegment", "R3Ellipse");
  registry.registerClass<SurfacePatch>("SurfacePatch", "NSObject");
  registry.registerClass<R3Hull>("R3Hull", "NSObject");
}

}  // namespace orb::geometry
