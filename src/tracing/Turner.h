#pragma once

#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "foundation/objects/XY.h"
#include "tracing/SurfaceShape.h"

namespace orb::tracing {

class Ray;
class RayWithFrame;

/// Bends rays at a surface, after the pusher has put them on it and left the unit normal
/// on the ray: exact refraction and reflection in momentum form, first-order refraction
/// and reflection about the vertex, and the transfer-matrix and basis update of framed
/// rays. Positions and momenta are in the surface's local frame.
///
/// A turner is made per surface and per trace and keeps no per-ray state (the Seidel
/// scratch values it writes belong to the paraxial trace of one ray at a time); it is not
/// shared between threads. A lost ray dies with "TIR" (or "Invalid index of refraction")
/// and the surface's nickname; nothing here throws.
///
/// Subclasses change where the vertex curvature comes from or the whole deflection law.
/// The Ray and RayWithFrame overloads are both virtual; a subclass that overrides one
/// brings the others in with a using-declaration.
class Turner {
 public:
  Turner() = default;
  explicit Turner(std::shared_ptr<const SurfaceShape> surface) { Turner::setSurface(std::move(surface)); }
  virtual ~Turner() = default;

  /// Stores the surface and snapshots its vertex second derivatives (cxx, cxy, cyy);
  /// null sets them to 0. Subclasses call this first.
  virtual void setSurface(std::shared_ptr<const SurfaceShape> surface);
  const SurfaceShape* surface() const { return m_surface.get(); }
  const std::string& nickname() const { return m_nickname; }

  /// Slope of the vertex tangent plane; (0, 0) here.
  virtual foundation::XY surfaceTilt() const { return {0, 0}; }
  /// Vertex curvature for the Seidel analysis; 0 here.
  double curvature() const { return m_curvature; }
  /// Fourth-order sag beyond the osculating sphere; 0 here.
  double seidelA4() const { return m_seidelA4; }
  double dispersion() const { return m_dispersion; }
  void setDispersion(double d) { m_dispersion = d; }
  double seidelP() const { return m_seidelP; }
  double seidelQ() const { return m_seidelQ; }
  double seidelR() const { return m_seidelR; }
  void setSeidelP(double v) { m_seidelP = v; }
  void setSeidelQ(double v) { m_seidelQ = v; }
  void setSeidelR(double v) { m_seidelR = v; }
  int lightPipeMaxBounces() const { return m_lightPipeMaxBounces; }
  void setLightPipeMaxBounces(int n) { m_lightPipeMaxBounces = n; }

  /// Light pipes and elbows kill rays here; nothing in the base.
  virtual void validateRay(Ray&) {}
  /// Whether validateRay or processRay do anything: a turner that overrides either answers
  /// true. The trace driver calls those hooks per ray only then, sparing two virtual
  /// calls per ray per surface for every other turner.
  virtual bool hasRayHooks() const { return false; }

  // --- Exact ---------------------------------------------------------------------------
  /// Into index n′ (signed): tangential momentum kept, normal part √(n′² − |t|²) on the
  /// side of the incoming one, flipped once per negative index. |t| > |n′| dies "TIR";
  /// n′ of 0, NaN or ±∞ dies "Invalid index of refraction".
  virtual void refractRay(Ray& ray, double finalIndex);
  virtual void refractRay(RayWithFrame& ray, double finalIndex);
  /// The live rays of the span; dead ones are left alone.
  virtual void refractRays(std::span<Ray> rays, double finalIndex);
  /// p′ = p − 2(p·N)N; the reflected flag and the index are left alone.
  virtual void reflectRay(Ray& ray);
  virtual void reflectRay(RayWithFrame& ray);
  virtual void reflectRays(std::span<Ray> rays);

  // --- Paraxial --------------------------------------------------------------------------
  /// The surface slope at transverse position q to first order.
  virtual foundation::XY paraxialTiltForQ(const foundation::XY& q) const {
    return {m_cxx * q.x + m_cxy * q.y, m_cxy * q.x + m_cyy * q.y};
  }
  /// First-order Snell law about the vertex plane: ñ′(u′ + t) = ñ(u + t).
  virtual void paraxiallyRefractRay(Ray& ray, double finalIndex);
  virtual void paraxiallyRefractRay(RayWithFrame& ray, double finalIndex);
  /// u′ = −u − 2t, reflected flag toggled.
  virtual void paraxiallyReflectRay(Ray& ray);
  virtual void paraxiallyReflectRay(RayWithFrame& ray);

  /// Hooks for turners that carry a ray through a multi-bounce part; nothing here.
  virtual void processRay(Ray&) {}
  virtual void paraxiallyProcessRay(Ray&) {}
  virtual void straightlineProcessRay(Ray&) {}

  // --- Framed rays -------------------------------------------------------------------------
  /// Transfer matrix and basis through refraction from n to n′ (generalised Coddington
  /// refraction); the ray still holds its incoming momentum. Nothing when |n − n′| < 1e-10.
  void refractRayWithFrame(RayWithFrame& ray, double initialIndex, double finalIndex) const;
  /// The same for reflection.
  void reflectRayWithFrame(RayWithFrame& ray) const;

 protected:
  /// Shared by the Ray and RayWithFrame overloads; the framed ones update the matrix
  /// while the ray still holds its incoming momentum.
  template <class R>
  void refractImpl(R& ray, double finalIndex);
  template <class R>
  void paraxiallyRefractImpl(R& ray, double finalIndex);
  template <class R>
  void paraxiallyReflectImpl(R& ray);

  std::shared_ptr<const SurfaceShape> m_surface;
  std::string m_nickname;
  double m_cxx = 0, m_cxy = 0, m_cyy = 0;
  double m_curvature = 0;
  double m_seidelA4 = 0;
  double m_dispersion = 0;
  double m_seidelP = 0, m_seidelQ = 0, m_seidelR = 0;
  int m_lightPipeMaxBounces = 100;
};

/// The turner of standard surfaces: curvature c and seidelA4 = K c³/8 from the surface.
class TurnerStandard : public Turner {
 public:
  TurnerStandard() = default;
  explicit TurnerStandard(std::shared_ptr<const SurfaceShape> surface) { TurnerStandard::setSurface(std::move(surface)); }
  void setSurface(std::shared_ptr<const SurfaceShape> surface) override;
};

/// The vertex curvature and r⁴ term of a conic plus polynomial: curvature c + 2·a2, and
/// the fourth-order sag coefficient beyond the osculating sphere of that curvature.
class TurnerAsphere : public TurnerStandard {
 public:
  TurnerAsphere() = default;
  explicit TurnerAsphere(std::shared_ptr<const SurfaceShape> surface) { TurnerAsphere::setSurface(std::move(surface)); }
  void setSurface(std::shared_ptr<const SurfaceShape> surface) override;
};

/// Zernike sag surfaces: as an asphere; their Seidel terms are not yet worked out (logged
/// once per process).
class TurnerZernike : public TurnerAsphere {
 public:
  TurnerZernike() = default;
  explicit TurnerZernike(std::shared_ptr<const SurfaceShape> surface) { TurnerZernike::setSurface(std::move(surface)); }
  void setSurface(std::shared_ptr<const SurfaceShape> surface) override;
};

/// Polynomial surfaces may be tilted at the vertex: the paraxial tilt is the exact slope
/// difference from the vertex, and the vertex tilt is applied after the paraxial turn.
class TurnerPoly : public TurnerStandard {
 public:
  TurnerPoly() = default;
  explicit TurnerPoly(std::shared_ptr<const SurfaceShape> surface) { TurnerStandard::setSurface(std::move(surface)); }
  foundation::XY surfaceTilt() const override;
  foundation::XY paraxialTiltForQ(const foundation::XY& q) const override;
};

/// Leaves rays unchanged, exactly and paraxially.
class TurnerPhaser : public Turner {
 public:
  using Turner::Turner;
  void refractRay(Ray&, double) override {}
  void refractRay(RayWithFrame&, double) override {}
  void refractRays(std::span<Ray>, double) override {}
  void reflectRay(Ray&) override {}
  void reflectRay(RayWithFrame&) override {}
  void reflectRays(std::span<Ray>) override {}
  void paraxiallyRefractRay(Ray&, double) override {}
  void paraxiallyRefractRay(RayWithFrame&, double) override {}
  void paraxiallyReflectRay(Ray&) override {}
  void paraxiallyReflectRay(RayWithFrame&) override {}
};

/// The turner named ("Turner", "TurnerStandard", "TurnerPhaser", "TurnerAsphere",
/// "TurnerZernike", "TurnerPoly", "Diffracter", "TurnerParaxial", "TurnerParaxialXY",
/// "TurnerParaxialFlyEye", "TurnerLightPipe", "TurnerLightPipeGeneric", "TurnerElbow");
/// null for an unknown name. The pipe turners raise unless the shape is their pipe's.
/// The diffracter and the ideal lenses read their phase and parameters from the shape's
/// lens surface.
std::unique_ptr<Turner> makeTurner(std::string_view name, std::shared_ptr<const SurfaceShape> surface);

/// The turner the surface's type names, on the surface's shape; null when not built here.
/// The surface must outlive the turner.
std::unique_ptr<Turner> turnerForSurface(const lens::Surface& surface);

}  // namespace orb::tracing
