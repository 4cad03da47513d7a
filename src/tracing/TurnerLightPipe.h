#pragma once

#include <memory>
#include <span>
#include <vector>

#include "foundation/objects/OBTransform.h"
#include "foundation/objects/XYZ.h"
#include "tracing/Pusher.h"
#include "tracing/Turner.h"

namespace orb::geometry {
class R3Quadric;
class R3Surface;
class R3Torus;
}  // namespace orb::geometry

namespace orb::lens {
class Surface;
}

namespace orb::tracing {

/// One bounding surface of a pipe as the bounce loop sees it: plain numbers for planes,
/// the solid-geometry object for the curved walls (which stay alive in the turner).
struct PipeWall {
  enum class Kind { Plane, Quadric, Torus };
  Kind kind = Kind::Plane;
  double a = 0, b = 0, c = 0, d = 0;  // a plane a·x + b·y + c·z = d, unit normal outwards
  const geometry::R3Quadric* quadric = nullptr;
  const geometry::R3Torus* torus = nullptr;

  static PipeWall of(const geometry::R3Surface& surface);
  /// The crossings of p + t·m, in the surface's order; at most 4.
  int crossings(const foundation::XYZ& p, const foundation::XYZ& m, double* t) const;
  /// The outward unit normal at p.
  foundation::XYZ normalAt(const foundation::XYZ& p) const;
  /// Strictly outside (planes, cones) or outside or on the wall (the torus).
  bool isOutside(const foundation::XYZ& p) const;
};

/// What light pipes and elbows share: the bounce loop that carries a ray refracted into
/// the entrance face along the walls to the exit face, or kills it there with its cause
/// ("Misses all surfaces of light pipe", "Bounceback", "FTIR", "Too many bounces").
/// Hits within 1e-6 of one another make one reflection about their mean plane, so a
/// ray meeting an edge or a corner reflects about the bisecting plane. Trajectories get
/// the entrance point and every reflection point.
///
/// A framed ray's matrix follows the free paths; its frame is marked dazed at the first
/// wall (its basis is reflected as at a flat mirror, which holds for plane walls only).
class PipeTurner : public Turner {
 public:
  bool hasRayHooks() const override { return true; }
  void processRay(Ray& ray) override;
  int numberOfWalls() const { return static_cast<int>(m_walls.size()); }

 protected:
  /// Takes the bounding surfaces (entrance first, exit second), the pipe's frame and the
  /// wall's numerical aperture.
  void takeWalls(std::vector<std::shared_ptr<geometry::R3Surface>> surfaces, const lens::Surface& surface,
                 double numericalAperture);
  /// The parameter of wall i as a candidate for the next hit, or none (+∞ / NaN / ≤ 0).
  virtual double candidate(std::size_t i, const foundation::XYZ& p, const foundation::XYZ& m, int bounces,
                           bool wasHit) const = 0;
  /// Where the search starts: 1 when the entrance face is never a candidate.
  virtual std::size_t firstCandidate() const { return 0; }
  /// A vertex at the ray's place (global frame) when it records a trajectory.
  void updateTrajectoryForRay(Ray& ray) const;
  /// The first wall other than the entrance face that the ray stands outside of.
  bool outsideSomeWall(const foundation::XYZ& p) const;

  std::vector<std::shared_ptr<geometry::R3Surface>> m_surfaces;
  std::vector<PipeWall> m_walls;
  foundation::OBTransform m_transform;
  const lens::Surface* m_lensSurface = nullptr;
  double m_numericalAperture = 0;
  /// Reflects at the walls; its shape is a flat face.
  Turner m_reflector;
};

/// Polygonal light pipes: the walls are planes.
class TurnerLightPipe : public PipeTurner {
 public:
  TurnerLightPipe() = default;
  /// Raises "TurnerLightPipe" / "Must have LightPipe class for TurnerLightPipe" unless
  /// the shape is that of a light pipe.
  void setSurface(std::shared_ptr<const SurfaceShape> surface) override;
  /// At the entrance: not finite, or not inside every side and the exit plane by 1e-10.
  bool rejectsRay(const Ray& ray) const;
  void validateRay(Ray& ray) override;

 protected:
  double candidate(std::size_t i, const foundation::XYZ& p, const foundation::XYZ& m, int bounces,
                   bool wasHit) const override;
};

/// Circular (elliptic, tapered) light pipes: the wall is a quadric cone. Rays are tested
/// as they are refracted in, also in analysis traces; paraxially a ray is carried
/// straight to the exit face.
class TurnerLightPipeGeneric : public PipeTurner {
 public:
  TurnerLightPipeGeneric() = default;
  void setSurface(std::shared_ptr<const SurfaceShape> surface) override;
  bool rejectsRay(const Ray& ray) const;
  using Turner::refractRay;
  void refractRay(Ray& ray, double finalIndex) override;
  void refractRay(RayWithFrame& ray, double finalIndex) override;
  void refractRays(std::span<Ray> rays, double finalIndex) override;
  void paraxiallyRefractRay(Ray& ray, double finalIndex) override;
  void paraxiallyRefractRay(RayWithFrame& ray, double finalIndex) override;

 protected:
  double candidate(std::size_t i, const foundation::XYZ& p, const foundation::XYZ& m, int bounces,
                   bool wasHit) const override;

 private:
  template <class R>
  void passStraight(R& ray);
  double m_length = 0;
};

/// The bent rod of an elbow: the walls are the exit plane and a torus (the entrance face
/// is never met again). Paraxial and straight-line passes carry a ray along the
/// straightened rod and turn it into the exit frame in one step.
class TurnerElbow : public PipeTurner {
 public:
  TurnerElbow() = default;
  /// Raises "TurnerElbow" / "Must have Elbow class for TurnerElbow" unless the shape is
  /// that of an elbow.
  void setSurface(std::shared_ptr<const SurfaceShape> surface) override;
  /// Not finite, or outside the rod (the planes are not tested).
  bool rejectsRay(const Ray& ray) const;
  void validateRay(Ray& ray) override;
  /// Takes a ray at the end of the straightened rod to the same place on the exit face.
  void teleportRay(Ray& ray) const;
  void paraxiallyProcessRay(Ray& ray) override;
  void straightlineProcessRay(Ray& ray) override;

 protected:
  double candidate(std::size_t i, const foundation::XYZ& p, const foundation::XYZ& m, int bounces,
                   bool wasHit) const override;
  std::size_t firstCandidate() const override { return 1; }

 private:
  void passStraight(Ray& ray, bool paraxially);
  double m_length = 0;
  foundation::TransformationMatrix m_exitFrame{};
};

}  // namespace orb::tracing
