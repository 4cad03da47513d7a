#pragma once

namespace orb::geometry {

// Eigen-solvers for symmetric 3×3 matrices (nine doubles, row by row; eigenvectors are
// written as the columns of a 3×3 matrix) and the affine frames that carry one ellipsoid
// to the unit sphere and another to its principal axes. An ellipsoid is a symmetric Q and
// a centre c: the points x with (x − c)ᵀQ(x − c) = 1.

/// x = M·y + t, with M⁻¹ kept beside M.
struct AffineFrame {
  double M[9];
  double Minv[9];
  double t[3];
};

void affineIdentity(AffineFrame& frame);
/// M = R, M⁻¹ = Rᵀ (R a rotation), translation t.
void affineFromRotation(AffineFrame& frame, const double* R, const double* t);
/// As affineFromRotation, leaving the translation as it was.
void affineFromRotationOnly(AffineFrame& frame, const double* R);
/// Column j of M times sⱼ, row j of M⁻¹ over sⱼ: a scaling applied before the frame.
void affineScaleColumns(AffineFrame& frame, const double* s);
/// H = F ∘ G.
void affineCompose(const AffineFrame& F, const AffineFrame& G, AffineFrame& H);
/// The ellipsoid (Q, c) in frame coordinates: Q′ = MᵀQM, c′ = M⁻¹(c − t).
void affineTransformEllipsoid(const AffineFrame& frame, const double* Q, const double* c, double* Qout, double* cout);
/// A plane (normal n through q) carried from frame coordinates out: n′ = M⁻ᵀn, q′ = Mq + t.
/// Outputs may alias inputs.
void affineTransformPlane(const AffineFrame& frame, const double* n, const double* q, double* nOut, double* qOut);
/// x = M·y + t; x may alias y.
void affineApply(const AffineFrame& frame, const double* y, double* x);
/// The frame on standard output, for diagnostics.
void affinePrint(const AffineFrame& frame);

/// The three eigenvalues by the trigonometric form of Cardano's formula, in the order
/// largest, then the two others (not sorted). Printed when geometry debug output is on.
int symmetricEigenvalues3(const double* A, double* w);
/// Eigenvalues from symmetricEigenvalues3, eigenvectors from cross products of rows of
/// A − λI; falls back to dsyevq3 where a cross product is too short to trust (repeated
/// eigenvalues). Status 0 or dsyevq3's.
int symmetricEigensystem3(const double* A, double* eigenvectors, double* w);
/// Householder reduction followed by QL with implicit shifts; −1 when an eigenvalue does
/// not converge within 30 sweeps.
int dsyevq3(const double* A, double* eigenvectors, double* w);
/// A = Q·T·Qᵀ with T tridiagonal (diagonal d, off-diagonal e).
void tridiagonalize3(const double* A, double* Q, double* d, double* e);
/// Eigenvalues ascending, eigenvector columns with them; the old index of the middle one.
int sortEigensystem3(double* eigenvectors, double* w);

/// A plane between two disjoint ellipsoids: its unit normal and a point of it. Status 0 or
/// −1 when a decomposition fails.
int separatingPlaneOfEllipsoids(const double* QA, const double* cA, const double* QB, const double* cB, double* normal,
                                double* point);

/// The shadow that ellipsoid B casts in the light of ellipsoid A, sampled in n planes
/// through the line of centres (at the angles 2πk/n from the axes of B's limb seen from A's
/// centre): in each, the lines tangent to both bodies that keep them on one side (umbral)
/// and that pass between them (penumbral), on one side of the line of centres. Writes, for
/// sample k, the contact points (three doubles each at index 3k) on A and on B of the
/// umbral line and of the penumbral line. Prints its working to standard output. Status 0,
/// −1 when a check fails (with its message), or the limb section's code.
int umbralAndPenumbralPoints(const double* QA, const double* cA, const double* QB, const double* cB, int n,
                             double* umbralA, double* umbralB, double* penumbralA, double* penumbralB);
/// Prints the frames, the limb and each sample plane's 2-D set-up of the same
/// construction. Status 0, or −1 when a decomposition or the limb fails.
int printShadowSetUp(const double* QA, const double* cA, const double* QB, const double* cB, int n);

}  // namespace orb::geometry
