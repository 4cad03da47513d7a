#include "materials/ArchiveClasses.h"

#include "materials/GlassCatalog.h"
#include "materials/GlassWithIndexData.h"
#include "materials/GrinDispersion.h"
#include "materials/Medium2.h"
#include "materials/Medium5.h"
#include "materials/UniformMedium.h"
#include "materials/OsloGlass.h"
#include "platform/ArchiveRegistry.h"

namespace orb::materials {

void registerArchiveClasses() {
  auto& registry = platform::ArchiveRegistry::shared();
  // Superclasses archives name after the class; abstract here, as nothing decodes them alone.
  if (!registry.byName("VKObject")) registry.registerAbstract("VKObject", "NSObject");
  if (!registry.byName("VKColoredObject")) registry.registerAbstract("VKColoredObject", "VKObject");
  registry.registerClass<Glass>("Glass", "VKColoredObject");
  registry.registerClass<GlassWithCoefficients>("GlassWithCoefficients", "Glass");
  registry.registerClass<ZemaxGlass>("ZemaxGlass", "GlassWithCoefficients");
  registry.registerClass<OsloGlass>("OsloGlass", "ZemaxGlass");
  registry.registerClass<GlassWithIndexData>("GlassWithIndexData", "ZemaxGlass");
  registry.registerClass<GlassCatalog>("GlassCatalog", "VKObject");
  registry.registerClass<GrinDispersion>("GrinDispersion", "Glass");
  registry.registerClass<Medium>("Medium", "NSObject");
  registry.registerClass<UniformMedium>("UniformMedium", "Medium");
  registry.registerClass<NonuniformMedium>("NonuniformMedium", "Medium");
  registry.registerClass<Medium2>("Medium2", "NonuniformMedium");
  registry.registerClass<Medium5>("Medium5", "NonuniformMedium");
}

}  // namespace orb::materials
