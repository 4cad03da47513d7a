#pragma once

namespace orb::lens {

class SurfaceTypeRegistry;

/// Registers the break, the aspheres, the grating and the paraxial lens under their menu
/// names and Zemax codes. The tilted plane is deliberately absent: it is made directly,
/// never by name.
void registerSimpleSurfaceTypes(SurfaceTypeRegistry& registry);

/// Registers the archive classes of the same types, the tilted plane included (files may
/// hold one). Needs "Surface" registered first.
void registerSimpleSurfaceArchiveClasses();

}  // namespace orb::lens
