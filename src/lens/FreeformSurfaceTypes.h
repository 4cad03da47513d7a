#pragma once

namespace orb::lens {

class SurfaceTypeRegistry;

/// Registers the polynomial, toric, biconic, Zernike, kinoform, Fresnel, paraxial XY,
/// fly-eye, vortex and diffuser surfaces under their menu names and Zemax codes. The
/// conic Y cylinder is made directly, never by name.
void registerFreeformSurfaceTypes(SurfaceTypeRegistry& registry);

/// Their archive classes, the conic Y included. Needs "Surface" and "SurfaceAsphere"
/// registered first.
void registerFreeformSurfaceArchiveClasses();

}  // namespace orb::lens
