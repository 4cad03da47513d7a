#pragma once

namespace orb::geometry {

// Plain numeric kernels for conics of the plane and for ellipses and ellipsoids of
// 3-space, on arrays of doubles. Points are (x, y, z) or (x, y); a conic is (a, b, c, d, e,
// f) for a·x² + 2b·x·y + c·y² + d·x + e·y + f = 0; matrices are row by row. Functions that
// can fail return 0 or a negative status and never raise; outputs may be partly written on
// failure.

/// The crossings of two conics (at most four, written as (x, y) pairs). A crossing where
/// A's tangent is horizontal (a double root of A in x) is kept. Status 0, or −1 with no
/// crossings when the resultant's coefficients overflow or are not numbers (conics with
/// non-finite or overly large coefficients): the resultant cannot then be solved.
int EllipseIntersection(double* points, int* count, const double* conicA, const double* conicB);

/// The nearest point of the ellipse x²/a² + y²/b² = 1 to (px, py). Exact outside the
/// ellipse; for a point inside, the nearest of 101 samples of its quadrant.
void closestPointOnEllipse(double* x, double* y, double a, double b, double px, double py);
/// The nearest point of x²/a² + y²/b² + z²/c² = 1 to p; a point inside or on the ellipsoid
/// is returned as it is.
void closestPointOnEllipsoid(double* x, double* y, double* z, double a, double b, double c, double px, double py,
                             double pz);

/// The ellipse cut from x²/a² + y²/b² + z²/c² = 1 by the plane g·x = h, with g = (px/a²,
/// py/b², pz/c²) the gradient at the pole p: h = 1 gives the limb seen from p, h = 0 the
/// limb seen along p. Writes g, the centre m and the longer (axis1) and shorter (axis2)
/// semi-axis vectors. Status 0, or −1 when the plane misses or only touches the ellipsoid
/// or the set-up is degenerate.
int ellipsoidPolarSection(const double* semiAxes, const double* pole, double* g, double* m, double* axis1,
                          double* axis2, double h);

void setSymmetricMatrixAndVector(double* matrix, double* vector, double m11, double m12, double m13, double m22,
                                 double m23, double m33, double s1, double s2, double s3);

/// The right circular cylinder of radius |u| that holds the ellipse of semiminor axis u and
/// semimajor axis v: the ellipse's unit normal w, the cylinder's unit axis k, the radius ρ.
int cylinderOfEllipse(const double* u, const double* v, double* w, double* k, double* rho);

/// The section of the cylinder (axis k, radius ρ) by the plane of normal w, projected along
/// p onto a plane of normal n, as the section of a new cylinder (axis k′, radius ρ′) by that
/// plane. Status 0, or −1 … −7 by the check that failed.
int projectCylinderSection(const double* w, const double* k, const double* p, const double* n, double* kPrime,
                           double* rhoPrime, double rho);

/// The ellipse cut from the cylinder of unit axis a and radius ρ by a plane of normal n
/// (normalised in place): semiminor axis U and semimajor axis V, U × V along n. Status 0,
/// or −1 for a degenerate normal or a plane parallel to the axis.
int cylinderPlaneSection(double* n, const double* a, double* U, double* V, double rho);

/// A rotation (columns e₁, e₂, w) that takes the z axis to the direction d.
void frameWithAxis(double* matrix, double x, double y, double z);

/// The null directions of the symmetric form Q restricted to the plane normal to d: four
/// unit vectors (first, −first, second, −second) when the restricted form is indefinite,
/// else none.
int nullDirectionsInPlane(const double* Q, const double* d, double* directions, int* count);

/// Eigen-decomposition of [[a, b], [b, d]] (read from matrix[0], [1], [3]): eigenvalues
/// ascending, eigenvectors as the columns of (x₁, x₂, y₁, y₂).
void symmetricEigen2(const double* matrix, double* eigenvectors, double* eigenvalues);

}  // namespace orb::geometry
