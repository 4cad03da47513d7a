#include "optimisation/ArchiveClasses.h"

#include "lens/ArchiveClasses.h"
#include "optimisation/MeritFunction.h"
#include "optimisation/MeritoidHexRays.h"
#include "optimisation/MeritoidIllumination.h"
#include "optimisation/MeritoidTrace.h"
#include "optimisation/MeritoidKeyPath.h"
#include "platform/ArchiveRegistry.h"

namespace orb::optimisation {

void registerArchiveClasses() {
  lens::registerArchiveClasses();
  auto& registry = platform::ArchiveRegistry::shared();
  if (registry.byName("MeritFunction")) return;
  if (!registry.byName("VKObject")) registry.registerAbstract("VKObject", "NSObject");
  registry.registerClass<MeritFunction>("MeritFunction", "VKObject");
  registry.registerClass<Meritoid>("Meritoid", "VKObject");
  registry.registerClass<MeritoidKeyPath>("MeritoidKeyPath", "Meritoid");
  registry.registerClass<MeritoidFScript>("MeritoidFScript", "MeritoidKeyPath");
  registry.registerAbstract("MeritoidWithHexRays", "Meritoid");
  registry.registerClass<MeritoidRMS>("MeritoidRMS", "MeritoidWithHexRays");
  registry.registerClass<MeritoidRMSOPD>("MeritoidRMSOPD", "MeritoidWithHexRays");
  registry.registerClass<MeritoidTrace>("MeritoidTrace", "Meritoid");
  registry.registerClass<MeritoidAcceptance>("MeritoidAcceptance", "Meritoid");
  registry.registerClass<MeritoidEmitterEfficiency>("MeritoidEmitterEfficiency", "Meritoid");
}

}  // namespace orb::optimisation
