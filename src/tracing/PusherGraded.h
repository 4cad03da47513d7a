#pragma once

#include <memory>
#include <vector>

#include "foundation/objects/OBTransform.h"
#include "foundation/objects/XYZ.h"
#include "foundation/objects/XYZTensor.h"
#include "foundation/minimise/MinimiserRecords.h"
#include "tracing/Pusher.h"
#include "tracing/RayWithFrame.h"

namespace orb::materials {
class Medium;
class NonuniformMedium;
}  // namespace orb::materials

namespace orb::tracing {

/// Carries a ray through a gradient-index medium up to the surface: the ray equation
/// d²q/dt² = F(q), F = ∇(n²/2), in reduced path length t (dq/dt = p, |p| = n) is
/// integrated in steps of the medium's integrationStep with a fourth-order
/// Runge–Kutta–Nyström scheme; the crossing is bracketed by walking and then bisected on
/// the surface's implicit function. A framed ray has its basis transported and its
/// transfer matrix propagated along the curved path. Where the medium has a bounce radius
/// the ray is reflected specularly at that cylinder.
///
/// The state is in the surface's local frame; the medium answers in the global frame, so
/// forces are rotated by Rᵀ and gradients to RᵀGR (R the local-to-global rotation).
///
/// Keeps per-ray scratch state: one pusher per thread.
class PusherGraded : public PusherIterative {
 public:
  /// `localToGlobal` places the surface; without it the lens surface's own transform is
  /// used (identity for a shape given by numbers).
  PusherGraded(std::shared_ptr<const materials::NonuniformMedium> medium, std::shared_ptr<const SurfaceShape> surface,
               std::optional<foundation::OBTransform> localToGlobal = std::nullopt);

  const materials::NonuniformMedium& medium() const { return *m_medium; }
  double dt() const { return m_dt; }

  void acquireRays(std::span<Ray> rays, bool coordinatesReflected = false) override;
  /// There is no paraxial gradient-index transfer: the full acquisition.
  void paraxiallyAcquireRay(Ray& ray) override;
  void paraxiallyAcquireRay(RayWithFrame& ray) override;

  // The stepping, public for inspection.
  void setStateFromRay(const Ray& ray);
  /// One integration step of h (negative h steps backwards), without the bounce.
  void freeStepByDelta(double h);
  /// One step with the bounce-radius check.
  void stepByDelta(double h);
  /// Integrates the state from its t to T.
  void moveToReducedPathLength(double T);
  /// Moves the state to T and answers the surface's implicit function there.
  double crossingFunctionAt(double T);
  const foundation::XYZ& statePosition() const { return m_q; }
  const foundation::XYZ& stateMomentum() const { return m_p; }
  double stateReducedPathLength() const { return m_t; }

  /// The local force and force gradient at a local point (for the ray's wave).
  foundation::XYZ localForce(const foundation::XYZ& q) const;
  foundation::XYZTensor localForceGradient(const foundation::XYZ& q) const;

 protected:
  double acquire(Ray& ray, bool reflected) override;

 private:
  void saveTrajectoryPoint();
  /// Halves the bracket to the acquisition tolerance, then takes the chord's zero; +∞
  /// for a pair without a sign change.
  double rootInBracket(const foundation::VKBracketingDoublet& bracket);

  std::shared_ptr<const materials::NonuniformMedium> m_medium;
  foundation::OBTransform m_frame;
  double m_R[9];  // local-to-global rotation, row-major
  double m_dt = 0;
  double m_lambda = 0.5875618;
  bool m_framed = false;
  foundation::XYZ m_hatx{1, 0, 0}, m_haty{0, 1, 0};
  Transfer4 m_M{};
  std::vector<RayVertex>* m_trajectory = nullptr;
  std::vector<RayVertex> m_trajectoryBuffer;
  double m_trajectoryStartValue = 0;
};

/// The pusher for `surface` when the ray reaches it through `medium` (the medium behind
/// the previous surface): the gradient pusher for a graded medium, else the one the
/// surface's type names; null for a pusher not built here. The surface must outlive it.
std::unique_ptr<Pusher> pusherWithMedium(const lens::Surface& surface, const std::shared_ptr<materials::Medium>& medium);

}  // namespace orb::tracing
