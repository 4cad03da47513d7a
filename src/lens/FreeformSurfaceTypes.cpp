#include "lens/FreeformSurfaceTypes.h"

#include "lens/Elbow.h"
#include "lens/LightPipe.h"
#include "lens/SurfaceBiconic.h"
#include "lens/SurfaceConicY.h"
#include "lens/SurfaceDiffuser.h"
#include "lens/SurfaceGradient.h"
#include "lens/SurfaceKinoform.h"
#include "lens/SurfaceParaxialXY.h"
#include "lens/SurfacePoly.h"
#include "lens/SurfaceToric.h"
#include "lens/SurfaceTypeRegistry.h"
#include "lens/SurfaceVortex.h"
#include "lens/SurfaceZernikeSag.h"
#include "platform/ArchiveRegistry.h"

namespace orb::lens {


void registerFreeformSurfaceTypes(SurfaceTypeRegistry& registry) {
  registry.registerType<SurfaceParaxialXY>("PARAX_XY");
  registry.registerType<SurfaceParaxialXY>("Paraxial XY");
  registry.registerType<SurfaceKinoform>("BINARY_2");
  registry.registerType<SurfaceKinoform>("Kinoform");
  registry.registerType<SurfaceToricY>("TOROIDAL");
  registry.registerType<SurfaceToricY>("Toric Y");
  registry.registerType<SurfaceFresnel>("FRESNELS");
  registry.registerType<SurfaceFresnel>("Fresnel");
  registry.registerType<SurfaceBiconic>("BICONICX");
  registry.registerType<SurfaceBiconic>("Biconic");
  registry.registerType<SurfaceZernikeSag>("ZERNSURF");
  registry.registerType<SurfaceZernikeSag>("SZERNSAG");
  registry.registerType<SurfaceZernikeSag>("Zernike");
  registry.registerType<SurfacePoly>("Polynomial");
  registry.registerType<SurfaceToricX>("Toric X");
  registry.registerType<SurfaceVortex>("Vortex");
  registry.registerType<SurfaceDiffuser>("Diffuser");
  registry.registerType<SurfaceParaxialFlyEye>("Paraxial Fly Eye");
  registry.registerType<SurfaceGradient2>("GRINSUR2");
  registry.registerType<SurfaceGradient2>("Gradient 2");
  registry.registerType<SurfaceGradient5>("GRINSUR5");
  registry.registerType<SurfaceGradient5>("Gradient 5");
  registry.registerType<LightPipe>("Light pipe");
  registry.registerType<Elbow>("Elbow");
}

void registerFreeformSurfaceArchiveClasses() {
  auto& registry = platform::ArchiveRegistry::shared();
  registry.registerClass<SurfacePoly>("SurfacePoly", "Surface");
  if (!registry.byName("SurfaceToric")) registry.registerAbstract("SurfaceToric", "SurfaceAsphere");
  registry.registerClass<SurfaceToricX>("SurfaceToricX", "SurfaceToric");
  registry.registerClass<SurfaceToricY>("SurfaceToricY", "SurfaceToric");
  registry.registerClass<SurfaceBiconic>("SurfaceBiconic", "Surface");
  registry.registerClass<SurfaceZernikeSag>("SurfaceZernikeSag", "SurfaceAsphere");
  registry.registerClass<SurfaceKinoform>("SurfaceKinoform", "SurfaceAsphere");
  registry.registerClass<SurfaceFresnel>("SurfaceFresnel", "SurfaceAsphere");
  registry.registerClass<SurfaceConicY>("SurfaceConicY", "Surface");
  registry.registerClass<SurfaceParaxialXY>("SurfaceParaxialXY", "SurfaceParaxial");
  registry.registerClass<SurfaceParaxialFlyEye>("SurfaceParaxialFlyEye", "SurfaceParaxial");
  registry.registerClass<SurfaceVortex>("SurfaceVortex", "Surface");
  registry.registerClass<SurfaceDiffuser>("SurfaceDiffuser", "Surface");
  if (!registry.byName("SurfaceGradientZemax")) registry.registerAbstract("SurfaceGradientZemax", "Surface");
  registry.registerClass<SurfaceGradient2>("SurfaceGradient2", "SurfaceGradientZemax");
  registry.registerClass<SurfaceGradient5>("SurfaceGradient5", "SurfaceGradientZemax");
  registry.registerClass<LightPipe>("LightPipe", "Surface");
  registry.registerClass<Elbow>("Elbow", "Surface");
}

}  // namespace orb::lens
