#pragma once

#include "tracing/Turner.h"

namespace orb::lens {
class Surface;
}

namespace orb::tracing {

/// The turner of diffractive surfaces (gratings, kinoforms, diffusers): refraction as
/// Turner's with the tangential phase gradient of the texture, scaled by λ/2π, added to
/// the tangential momentum — the grating equation n′ sin θ′ = n sin θ + m λ T in vector
/// form. One order per ray, the one the texture's phase describes; an order that cannot
/// propagate dies "TIR". The optical path gains λφ/2π, so rays of one order stay in phase.
///
/// The texture is the lens surface that answers the phase (usually the surface itself);
/// without one the diffracter refracts as a standard turner. A diffractive mirror obeys
/// the same law on reflection: the tangential momentum gains the phase gradient and the
/// normal part is rebuilt on the incoming side, so order 0 is the plain mirror and order
/// m leaves at sin θ′ = sin θ + m λ T from the specular direction. The paraxial trace adds
/// the phase's first-order term either way.
class Diffracter : public TurnerStandard {
 public:
  Diffracter() = default;
  Diffracter(std::shared_ptr<const SurfaceShape> surface, const lens::Surface* texture);

  const lens::Surface* texture() const { return m_texture; }
  void setTexture(const lens::Surface* texture) { m_texture = texture; }

  /// k·(φxx qx + φxy qy, φxy qx + φyy qy), k = λ/2π, second derivatives at the vertex: the
  /// first-order slope change of the phase. λ in millimetres.
  foundation::XY paraxialDiffractionForQ(const foundation::XY& q, double wavelengthInMillimeters) const;

  void refractRay(Ray& ray, double finalIndex) override;
  void refractRay(RayWithFrame& ray, double finalIndex) override;
  void refractRays(std::span<Ray> rays, double finalIndex) override;
  void paraxiallyRefractRay(Ray& ray, double finalIndex) override;
  void paraxiallyRefractRay(RayWithFrame& ray, double finalIndex) override;
  void paraxiallyReflectRay(Ray& ray) override;
  void paraxiallyReflectRay(RayWithFrame& ray) override;
  void reflectRay(Ray& ray) override;
  void reflectRay(RayWithFrame& ray) override;
  void reflectRays(std::span<Ray> rays) override;

 private:
  template <class R>
  void diffract(R& ray, double finalIndex);
  template <class R>
  void diffractOnReflection(R& ray);
  template <class R>
  void paraxiallyDiffract(R& ray, double finalIndex);
  template <class R>
  void paraxiallyReflect(R& ray);
  /// Transfer matrix and basis through a diffraction from n to n′ ending in momentum p′
  /// (the ray still holds the incoming one). A mirror is the refraction into −n with the
  /// exit direction unfolded, so the basis ends retrograde as after a plain reflection.
  void diffractRayWithFrame(RayWithFrame& ray, double n, double n1, const foundation::XYZ& p1, double k,
                            bool mirror = false) const;

  const lens::Surface* m_texture = nullptr;
};

}  // namespace orb::tracing
