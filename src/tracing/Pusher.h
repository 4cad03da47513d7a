#pragma once

#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "foundation/objects/XY.h"
#include "foundation/objects/XYZ.h"
#include "tracing/SurfaceShape.h"

namespace orb::tracing {

class Ray;
class RayWithFrame;

/// Moves rays, given in a surface's local frame, straight onto the surface: finds the
/// crossing, moves the position there, adds the optical path, stores the surface normal
/// on the ray, advances a framed ray's transfer matrix by the free step, and kills the
/// ray with a fixed cause when there is no usable crossing. Nothing here throws.
///
/// A move by the reduced path length t sends q to q + t·p; the optical path grows by
/// t·|p|². "Reflected" coordinates mean the ray travels towards −z; the flag decides which
/// side of the surface is active.
///
/// The base class intersects the plane z = 0. One pusher per surface per trace; the
/// iterative pushers keep scratch state and must not be shared between threads.
class Pusher {
 public:
  static constexpr double kDefaultRayAcquisitionTolerance = 0.0001;

  Pusher() = default;
  explicit Pusher(std::shared_ptr<const SurfaceShape> surface) { Pusher::setSurface(std::move(surface)); }
  virtual ~Pusher() = default;

  /// Stores the surface and its nickname; closed-form pushers also copy their constants.
  virtual void setSurface(std::shared_ptr<const SurfaceShape> surface);
  const SurfaceShape* surface() const { return m_surface.get(); }
  const std::string& nickname() const { return m_nickname; }
  /// 0 for the base class.
  virtual double curvature() const { return 0; }
  double rayAcquisitionTolerance() const { return m_tolerance; }
  void setRayAcquisitionTolerance(double tolerance) { m_tolerance = tolerance; }

  /// The full acquisition.
  void acquireRay(Ray& ray, bool coordinatesReflected = false) { acquire(ray, coordinatesReflected); }
  void acquireRay(RayWithFrame& ray, bool coordinatesReflected = false);
  /// Every live ray of the span; dead ones are left alone.
  virtual void acquireRays(std::span<Ray> rays, bool coordinatesReflected = false);

  /// The first-order transfer to the vertex plane: x, y moved along the tangents by −z,
  /// z = 0, optical path + n·(−z) (n signed), the normal untouched; a framed ray is
  /// advanced by −z/n.
  virtual void paraxiallyAcquireRay(Ray& ray);
  virtual void paraxiallyAcquireRay(RayWithFrame& ray);

 protected:
  /// Moves the ray onto the surface or kills it; answers the reduced path length moved,
  /// by which the framed overload advances the transfer matrix of a surviving ray.
  virtual double acquire(Ray& ray, bool reflected);
  std::shared_ptr<const SurfaceShape> m_surface;
  std::string m_nickname;
  double m_tolerance = kDefaultRayAcquisitionTolerance;
};

/// The quadric c(x² + y² + (K + 1)z²) − 2z = 0 of a standard surface, in closed form.
/// Its normal points to −z at the vertex.
class PusherConicoid : public Pusher {
 public:
  PusherConicoid() = default;
  explicit PusherConicoid(std::shared_ptr<const SurfaceShape> surface) { PusherConicoid::setSurface(std::move(surface)); }
  /// A conic given by its numbers, for callers without a surface object.
  PusherConicoid(double curvature, double conicConstant, std::string nickname = {});
  void setSurface(std::shared_ptr<const SurfaceShape> surface) override;
  double curvature() const override { return m_c; }
  double conicConstant() const { return m_k; }
  void acquireRays(std::span<Ray> rays, bool coordinatesReflected = false) override;

 protected:
  double acquire(Ray& ray, bool reflected) override;
  double m_c = 0, m_k = 0;
};

/// The quadric curved in x only: c((K + 1)z² + x²) − 2z = 0. Normal +z at the vertex.
class PusherConicX : public PusherConicoid {
 public:
  using PusherConicoid::PusherConicoid;
  void acquireRays(std::span<Ray> rays, bool coordinatesReflected = false) override;

 protected:
  double acquire(Ray& ray, bool reflected) override;
};

/// The quadric curved in y only: c((K + 1)z² + y²) − 2z = 0. Normal +z at the vertex.
class PusherConicY : public PusherConicoid {
 public:
  using PusherConicoid::PusherConicoid;
  void acquireRays(std::span<Ray> rays, bool coordinatesReflected = false) override;

 protected:
  double acquire(Ray& ray, bool reflected) override;
};

/// The plane z = tangentX·x + tangentY·y (the surface's "tiltX", "tiltY").
class PusherTilted : public Pusher {
 public:
  PusherTilted() = default;
  explicit PusherTilted(std::shared_ptr<const SurfaceShape> surface) { PusherTilted::setSurface(std::move(surface)); }
  void setSurface(std::shared_ptr<const SurfaceShape> surface) override;
  double tangentX() const { return m_tx; }
  double tangentY() const { return m_ty; }
  void setTangentX(double t) { m_tx = t; }
  void setTangentY(double t) { m_ty = t; }
  /// The plane's slope, the same everywhere.
  foundation::XY paraxialTiltForQ(const foundation::XY&) const { return {m_tx, m_ty}; }
  void acquireRays(std::span<Ray> rays, bool coordinatesReflected = false) override;

 protected:
  double acquire(Ray& ray, bool reflected) override;
  double m_tx = 0, m_ty = 0;
};

/// Any sag surface: brackets and bisects z + pz·t − sag(x + px·t, y + py·t) along the ray
/// (the sag at the maximum radius outside the valid region) to the acquisition tolerance,
/// then polishes the root with Newton's steps so that the hit lies on the surface. The
/// root taken is the one the first bracket holds, which may lie behind the ray.
class PusherIterative : public Pusher {
 public:
  using Pusher::Pusher;
  /// The crossing without bracketing, as the column trace takes it: Newton's steps from the
  /// base conic's crossing (the vertex plane's where that has none). True with q moved onto
  /// the surface, the optical path added and the unit normal (+z at the vertex); false, with
  /// nothing changed, for a ray that does not settle, leaves the valid region or meets the
  /// inactive side: acquireRay decides those. Keeps no state.
  bool acquireByNewton(foundation::XYZ& q, const foundation::XYZ& p, bool reflected, double& increment,
                       foundation::XYZ& normal) const;
  /// The scratch state: the ray's position and momentum, t = 0, increment 0.
  void setStateFromRay(const Ray& ray);
  /// Moves the state to reduced path length T, accumulating the optical path.
  void moveToReducedPathLength(double T);
  /// The surface's crossing function at t from the state's current point.
  virtual double crossingFunction(double t) const;
  double opticalPathLengthIncrement() const { return m_increment; }

 protected:
  double acquire(Ray& ray, bool reflected) override;
  /// After the state reached the crossing at t: store it on the ray, then the validity
  /// and side tests.
  double finish(Ray& ray, bool reflected, double t, bool testValidity);
  /// Newton's steps on the sag crossing of the ray from q along p, from t: the t at which
  /// a step moves the ray by a few ulps, or NaN off the valid region or when unsettled.
  double newtonCrossing(const foundation::XYZ& q, const foundation::XYZ& p, double t) const;
  foundation::XYZ m_q{0, 0, 0}, m_p{0, 0, 0};
  double m_t = 0;
  double m_increment = 0;
};

/// A surface given by its implicit function F(q) = 0 (normal −∇F/|∇F|). No surface type
/// uses it yet.
class PusherImplicit : public PusherIterative {
 public:
  using PusherIterative::PusherIterative;
  double crossingFunction(double t) const override;

 protected:
  double acquire(Ray& ray, bool reflected) override;
};

/// The ideal-lens surface: the plane acquisition, also for the paraxial trace.
class PusherParaxial : public Pusher {
 public:
  using Pusher::Pusher;
  void paraxiallyAcquireRay(Ray& ray) override { acquireRay(ray); }
  void paraxiallyAcquireRay(RayWithFrame& ray) override;
};

/// The pusher a surface type names ("Pusher", "PusherConicoid", "PusherConicX",
/// "PusherConicY", "PusherTilted", "PusherIterative", "PusherImplicit", "PusherParaxial");
/// null for a name not built here ("PusherGraded" needs its medium: see pusherWithMedium).
std::unique_ptr<Pusher> makePusher(std::string_view name, std::shared_ptr<const SurfaceShape> surface);

/// The pusher the surface's type names, on the surface's shape; null for a pusher not
/// built here. The surface must outlive the pusher.
std::unique_ptr<Pusher> pusherForSurface(const lens::Surface& surface);

}  // namespace orb::tracing
