#pragma once

#include <array>
#include <span>
#include <string>
#include <vector>

#include "foundation/linear/Matrix.h"
#include "foundation/linear/SymplecticMatrix.h"
#include "tracing/Ray.h"

namespace orb::tracing {

/// The 4×4 transfer matrix of a framed ray, row-major, rows and columns in the state
/// order (px, py, qx, qy): a fixed array, so framed tracing allocates nothing.
using Transfer4 = std::array<double, 16>;

/// A ray that carries an orthonormal basis (e1, e2, e3; e3 along the direction of travel)
/// and the 4×4 transfer matrix M from small displacements of its start state to those of
/// its current state, so one trace follows the ray's whole neighbourhood: the paraxial
/// measurement, Seidel sums, listings and irradiance read it. Pushers advance M along
/// free paths; turners attach the frame to the surface, multiply in the surface's
/// refraction or reflection matrix and detach.
///
/// Operations here hide Ray's of the same name (isRetrograde, consistencyCheck,
/// transformByMatrix); work on framed rays goes through their static type.
class RayWithFrame : public Ray {
 public:
  /// As Ray, then the basis aligned with the direction, identity M, initial index n.
  RayWithFrame(const foundation::XYZ& position, const foundation::XYZ& direction, double indexOfRefraction);
  /// From a plain ray: aligned basis, identity M, its current index as the initial one.
  explicit RayWithFrame(const Ray& ray);
  RayWithFrame(const RayWithFrame&) = default;
  RayWithFrame& operator=(const RayWithFrame&) = default;

  static foundation::SquareMatrix defaultBasis();
  static foundation::SymplecticMatrix defaultTransferMatrix();

  // --- Basis and matrix ---------------------------------------------------------------
  /// Basis columns.
  const foundation::XYZ& e1() const { return m_e[0]; }
  const foundation::XYZ& e2() const { return m_e[1]; }
  const foundation::XYZ& e3() const { return m_e[2]; }
  void setBasisColumns(const foundation::XYZ& e1, const foundation::XYZ& e2, const foundation::XYZ& e3) {
    m_e = {e1, e2, e3};
  }
  /// The basis as a 3×3 matrix with columns e1, e2, e3 (alias B).
  foundation::SquareMatrix basis() const;
  foundation::SquareMatrix B() const { return basis(); }
  void setBasis(const foundation::Matrix& basis);

  const Transfer4& transfer() const { return m_M; }
  void setTransfer(const Transfer4& M) { m_M = M; }
  /// M as a SymplecticMatrix (alias M).
  foundation::SymplecticMatrix transferMatrix() const;
  foundation::SymplecticMatrix M() const { return transferMatrix(); }
  void setTransferMatrix(const foundation::Matrix& M);
  /// M ← T · M.
  void leftMultiplyTransfer(const Transfer4& T);

  /// Columns w, N × w, N of the surface at the current hit.
  foundation::SquareMatrix surfaceFrame() const;
  void setSurfaceFrameColumns(const foundation::XYZ& f1, const foundation::XYZ& f2, const foundation::XYZ& f3);

  double initialIndexOfRefraction() const { return m_initialIndex; }
  void setInitialIndexOfRefraction(double n) { m_initialIndex = n; }
  double cosPhi() const { return m_cosPhi; }
  double sinPhi() const { return m_sinPhi; }
  double cosTheta() const { return m_cosTheta; }
  double sinTheta() const { return m_sinTheta; }
  double amplitudeFactor() const { return m_amplitudeFactor; }
  void setAmplitudeFactor(double a) { m_amplitudeFactor = a; }
  /// Set once the frame means nothing any more (light pipes); silences misalignment logs.
  bool dazed() const { return m_dazed; }
  void setDazed(bool dazed) { m_dazed = dazed; }

  // --- Frame operations ---------------------------------------------------------------
  /// e3 = unit direction, e1 in the xz plane: (uz, 0, −ux)/ρ with ρ = √(ux² + uz²). A ray
  /// along ±y (ρ = 0) gets e1 = (1, 0, 0), e2 = e3 × e1.
  void alignBasisWithRayDirection();
  /// M ← T · M with T the free step q += t · p; nothing for t = 0.
  void updateTransferMatrixForReducedPathLength(double t);
  /// The Ray transform, then the basis rotated by the matrix's 3×3 block (unless zero).
  void transformByMatrix(const foundation::TransformationMatrix& matrix);
  /// The angle between p and e3; 0 when they are parallel.
  double misalignment() const;
  /// p · e3 < 0.
  bool isRetrograde() const;
  /// Logs a misalignment above 1e-5 unless dazed.
  void consistencyCheck() const;
  /// Rolls the basis about e3: e1' = c e1 + s e2, e2' = −s e1 + c e2, and M to match.
  void rollCos(double c, double s);
  /// Rolls e1 perpendicular to the plane of incidence on the surface met (normal: the
  /// ray's surfaceNormal) and reads the angle of incidence.
  void attachToSurface();
  /// Undoes attachToSurface's roll.
  void detachFromSurface();
  /// Stores the frame of the surface met without rolling the basis.
  void setupSurfaceFrameForSmoothSurface();
  /// Rolls e1 onto the stored surface frame's first column and reads the angle of incidence.
  void attachToDiffractiveSurface();

  // --- Paraxial readings --------------------------------------------------------------
  double aH() const { return m_M[4 * 3 + 1]; }
  double aU() const;
  double bH() const { return m_M[4 * 3 + 3]; }
  double bU() const;
  void setMarginalA(double a, double b) { m_ma = a, m_mb = b; }
  void setChiefA(double a, double b) { m_ca = a, m_cb = b; }
  double marginalH() const { return m_ma * m_M[13] + m_mb * m_M[15]; }
  double marginalU() const;
  double chiefH() const { return m_ca * m_M[13] + m_cb * m_M[15]; }
  double chiefU() const;

  // --- Swarm --------------------------------------------------------------------------
  /// Eight plain copies displaced by ±0.001 along e1, e2 in position (qxp, qxm, qyp,
  /// qym), then in momentum (pxp, pxm, pyp, pym; rescaled to the ray's index).
  std::vector<Ray> swarm() const;
  /// M by central differences of the eight traced satellites (in swarm order), projected
  /// on the current e1, e2. Raises "NSInvalidArgumentException" for fewer than eight.
  foundation::SymplecticMatrix transferMatrixWithSwarm(std::span<const Ray> satellites) const;

  // --- Key-value access and texts -----------------------------------------------------
  /// Adds "M.<element>" / "transferMatrix.<element>" (e.g. "M.qypy"), "aH", "aU", "bH",
  /// "bU", "marginalH", "marginalU", "chiefH", "chiefU", "cosTheta", "sinTheta",
  /// "initialIndexOfRefraction", "amplitudeFactor", "misalignment", "dazed".
  platform::Value valueForKeyPath(std::string_view keyPath) const override;
  std::string description() const override;
  std::string formattedDescription() const override;
  /// The transfer matrix listed in the basis named by "tags.transferMatrixBasisString"
  /// (default "(px,py,qx,qy)"), ending with its symplectic error.
  std::string formattedDescriptionOfTransferMatrix(const foundation::Matrix& matrix) const;
  /// The three rows of the basis, for the log.
  std::string dumpBasis() const;

 private:
  std::array<foundation::XYZ, 3> m_e{foundation::XYZ{1, 0, 0}, foundation::XYZ{0, 1, 0}, foundation::XYZ{0, 0, 1}};
  Transfer4 m_M{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  std::array<foundation::XYZ, 3> m_f{foundation::XYZ{1, 0, 0}, foundation::XYZ{0, 1, 0}, foundation::XYZ{0, 0, 1}};
  bool m_surfaceFrameIsBasis = false;
  bool m_dazed = false;
  double m_initialIndex = 1;
  double m_cosPhi = 1, m_sinPhi = 0, m_cosTheta = 1, m_sinTheta = 0;
  double m_amplitudeFactor = 0;
  double m_ma = 0, m_mb = 0, m_ca = 0, m_cb = 0;
};

}  // namespace orb::tracing
