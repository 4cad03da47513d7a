#include "geometry/solids/ConicKernel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "geometry/solids/SymmetricEigen.h"
#include "geometry/values/GeometryDebug.h"

namespace orb::geometry {
namespace {

using Point2 = std::pair<double, double>;

std::vector<Point2> intersect(const std::array<double, 6>& a, const std::array<double, 6>& b) {
  double pts[8];
  int count = -1;
  EXPECT_EQ(EllipseIntersection(pts, &count, a.data(), b.data()), 0);
  std::vector<Point2> out;
  for (int i = 0; i < count; ++i) out.emplace_back(pts[2 * i], pts[2 * i + 1]);
  std::sort(out.begin(), out.end());
  return out;
}

void expectPoints(std::vector<Point2> got, std::vector<Point2> want, double tol) {
  std::sort(want.begin(), want.end());
  ASSERT_EQ(got.size(), want.size());
  for (std::size_t i = 0; i < want.size(); ++i) {
    EXPECT_NEAR(got[i].first, want[i].first, tol) << i;
    EXPECT_NEAR(got[i].second, want[i].second, tol) << i;
  }
}

TEST(ConicKernelTest, AnUnsolvableResultantReportsMinusOne) {
  // A conic that is not a number, and one whose coefficients overflow the resultant's
  // products (1e200² is beyond double range): status −1 and no crossings.
  const double nan = std::nan(""), circle[6] = {1, 0, 1, 0, 0, -1};
  const double notANumber[6] = {nan, 0, 1, 0, 0, -1}, huge[6] = {1e200, 0, 1e200, 0, 0, -1e200};
  const double other[6] = {1e200, 0, 4e200, 1e200, 0, -1e200};
  double pts[8];
  for (const auto& [a, b] : {std::pair{notANumber, circle}, std::pair{huge, other}}) {
    int count = -1;
    EXPECT_EQ(EllipseIntersection(pts, &count, a, b), -1);
    EXPECT_EQ(count, 0);
  }
  // Scaled down to size the same pair meets: the status is the solver's, not the data's.
  const double small[6] = {1, 0, 1, 0, 0, -1}, otherSmall[6] = {1, 0, 4, 1, 0, -1};
  int count = -1;
  EXPECT_EQ(EllipseIntersection(pts, &count, small, otherSmall), 0);
  EXPECT_GT(count, 0);
}

TEST(ConicKernelTest, ConicIntersectionFindsEveryCrossing) {
  const double s58 = std::sqrt(5.0 / 8), s278 = std::sqrt(27.0 / 8), k = 2 / std::sqrt(5.0);
  struct Case {
    std::string name;
    std::array<double, 6> a, b;
    std::vector<Point2> crossings;
  };
  const std::vector<Case> cases = {
      // x² + y² = 4 and x²/9 + y² = 1: the resultant in y has two double roots ±√(5/8).
      {"circle and ellipse", {1, 0, 1, 0, 0, -4}, {1.0 / 9, 0, 1, 0, 0, -1},
       {{-s278, -s58}, {-s278, s58}, {s278, -s58}, {s278, s58}}},
      // x²/4 + y² = 1 and x² + y²/4 = 1 cross at (±2/√5, ±2/√5).
      {"crossed ellipses", {0.25, 0, 1, 0, 0, -1}, {1, 0, 0.25, 0, 0, -1}, {{-k, -k}, {-k, k}, {k, -k}, {k, k}}},
      // The unit circle and the line x + y = 1 meet at (1, 0) and at (0, 1), where the
      // circle's tangent is horizontal (a double root of the circle in x).
      {"horizontal tangent", {1, 0, 1, 0, 0, -1}, {0, 0, 0, 1, 1, -1}, {{0, 1}, {1, 0}}},
      // The same at the top of x² + y² = 2, where y = √2 is not exact and the circle's
      // discriminant comes out a rounding error either side of 0.
      {"horizontal tangent, irrational", {1, 0, 1, 0, 0, -2}, {0, 0, 0, 1, 1, -std::sqrt(2.0)},
       {{0, std::sqrt(2.0)}, {std::sqrt(2.0), 0}}},
      // x = (y − 2.5)² and the circle about (1.75, 2.5) of radius² 2.5: the resultant in y
      // is a multiple of (y − 1)(y − 2)(y − 3)(y − 4).
      {"resultant with roots 1, 2, 3, 4", {0, 0, -1, 1, 5, -6.25}, {1, 0, 1, -3.5, -5, 6.8125},
       {{2.25, 1}, {0.25, 2}, {0.25, 3}, {2.25, 4}}},
      // Unit circles about (0, 0) and (1, 0): two crossings (½, ±√3/2).
      {"two circles", {1, 0, 1, 0, 0, -1}, {1, 0, 1, -2, 0, 0}, {{0.5, -std::sqrt(0.75)}, {0.5, std::sqrt(0.75)}}},
      {"touching side by side", {1, 0, 1, 0, 0, -1}, {1, 0, 1, -4, 0, 3}, {{1, 0}}},
      {"touching one above the other", {1, 0, 1, 0, 0, -1}, {1, 0, 1, 0, -4, 3}, {{0, 1}}},
      {"disjoint", {1, 0, 1, 0, 0, -1}, {1, 0, 1, -10, 0, 24}, {}},
      {"identical", {1, 0, 1, 0, 0, -1}, {1, 0, 1, 0, 0, -1}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    expectPoints(intersect(c.a, c.b), c.crossings, 1e-7);
  }
}

TEST(ConicKernelTest, GeneralPairCrossesAtFourPointsOnBothConics) {
  // x² + 4y² − 4 = 0 and (x − 1)² + (y − 0.5)²/4 − 1 = 0, expanded with the halved xy term.
  const std::array<double, 6> a = {1, 0, 4, 0, 0, -4};
  const std::array<double, 6> b = {1, 0, 0.25, -2, -0.25, 1.0 / 16};
  const auto points = intersect(a, b);
  ASSERT_EQ(points.size(), 4u);
  for (const auto& [x, y] : points) {
    EXPECT_NEAR(x * x + 4 * y * y - 4, 0, 1e-9);
    EXPECT_NEAR((x - 1) * (x - 1) + (y - 0.5) * (y - 0.5) / 4 - 1, 0, 1e-9);
  }
  for (std::size_t i = 1; i < points.size(); ++i)
    EXPECT_GT(std::hypot(points[i].first - points[i - 1].first, points[i].second - points[i - 1].second), 1e-3);
}

TEST(ConicKernelTest, NearestPointsOnEllipseAndEllipsoid) {
  double x, y, z;
  closestPointOnEllipse(&x, &y, 2, 1, 3, 0);
  EXPECT_NEAR(x, 2, 1e-12);
  EXPECT_NEAR(y, 0, 1e-12);
  // Off-axis: the nearest point lies on the ellipse and p − q is along its normal.
  const double px = 2.5, py = 1.7;
  closestPointOnEllipse(&x, &y, 2, 1, px, py);
  EXPECT_NEAR(x * x / 4 + y * y, 1, 1e-10);
  EXPECT_NEAR((px - x) * (y / 1) - (py - y) * (x / 4), 0, 1e-10);
  // A circle projects radially.
  closestPointOnEllipse(&x, &y, 2, 2, 3, 4);
  EXPECT_NEAR(x, 1.2, 1e-15);
  EXPECT_NEAR(y, 1.6, 1e-15);

  closestPointOnEllipsoid(&x, &y, &z, 2, 3, 4, 0, 5, 0);
  EXPECT_NEAR(y, 3, 1e-12);
  closestPointOnEllipsoid(&x, &y, &z, 2, 3, 4, 0.5, 0.5, 0.5);  // inside: itself
  EXPECT_EQ(x, 0.5);
  EXPECT_EQ(z, 0.5);
}

TEST(ConicKernelTest, PolarSectionOfTheSphereAndAMissingPlane) {
  // From (0, 0, 2) the unit sphere's limb is the circle z = ½ of radius √3/2.
  const double axes[3] = {1, 1, 1}, pole[3] = {0, 0, 2};
  double g[3], m[3], a1[3], a2[3];
  ASSERT_EQ(ellipsoidPolarSection(axes, pole, g, m, a1, a2, 1), 0);
  EXPECT_NEAR(m[2], 0.5, 1e-15);
  EXPECT_NEAR(std::hypot(a1[0], a1[1], a1[2]), std::sqrt(0.75), 1e-14);
  EXPECT_NEAR(std::hypot(a2[0], a2[1], a2[2]), std::sqrt(0.75), 1e-14);
  EXPECT_NEAR(a1[2], 0, 1e-15);

  // The plane z = 2 misses (q = 4) and z = 1 only touches (q = 1): no ellipse, no NaN axes.
  for (double h : {2.0, 1.0}) {
    SCOPED_TRACE(h);
    const double p[3] = {0, 0, 1};
    EXPECT_EQ(ellipsoidPolarSection(axes, p, g, m, a1, a2, h), -1);
  }
}

TEST(ConicKernelTest, CylinderSectionsAndProjection) {
  // The unit cylinder about z cut by the plane z = x: semi-axes 1 and √2.
  double n[3] = {-1, 0, 1}, U[3], V[3];
  const double axis[3] = {0, 0, 1};
  ASSERT_EQ(cylinderPlaneSection(n, axis, U, V, 1), 0);
  EXPECT_NEAR(std::hypot(U[0], U[1], U[2]), 1, 1e-15);
  EXPECT_NEAR(std::hypot(V[0], V[1], V[2]), std::sqrt(2.0), 1e-15);
  EXPECT_NEAR(U[0] * V[0] + U[1] * V[1] + U[2] * V[2], 0, 1e-15);
  double parallel[3] = {1, 0, 0};
  EXPECT_EQ(cylinderPlaneSection(parallel, axis, U, V, 1), -1);

  // That ellipse lies on a cylinder of radius 1 whose axis is z again.
  double w[3], k[3], rho;
  ASSERT_EQ(cylinderOfEllipse(U, V, w, k, &rho), 0);
  EXPECT_NEAR(rho, 1, 1e-15);
  EXPECT_NEAR(std::fabs(k[2]), 1, 1e-12);
  EXPECT_EQ(cylinderOfEllipse(V, U, w, k, &rho), -1);  // the longer axis given first

  double m2[4] = {2, 1, 1, 2}, vec[4], lambda[2];
  symmetricEigen2(m2, vec, lambda);
  EXPECT_NEAR(lambda[0], 1, 1e-15);
  EXPECT_NEAR(lambda[1], 3, 1e-15);
  EXPECT_NEAR(std::fabs(vec[0] * vec[1] + vec[2] * vec[3]), 0, 1e-15);
}

TEST(SymmetricEigenTest, KnownSpectrumAndRepeatedEigenvalues) {
  // A = R·diag(1, 2, 3)·Rᵀ with R a rotation about (1, 1, 1).
  const double c = std::cos(0.7), s = std::sin(0.7), t = 1 - c, k = 1 / std::sqrt(3.0);
  const double R[9] = {c + t * k * k, t * k * k - s * k, t * k * k + s * k, t * k * k + s * k, c + t * k * k,
                       t * k * k - s * k, t * k * k - s * k, t * k * k + s * k, c + t * k * k};
  const double D[3] = {1, 2, 3};
  double A[9];
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) {
      A[3 * i + j] = 0;
      for (int m = 0; m < 3; ++m) A[3 * i + j] += R[3 * i + m] * D[m] * R[3 * j + m];
    }
  const double diag[9] = {2, 0, 0, 0, 2, 0, 0, 0, 5};
  struct Solver {
    const char* name;
    int (*solve)(const double*, double*, double*);
  };
  for (const Solver& solver : {Solver{"eigensystem", symmetricEigensystem3}, Solver{"QL", dsyevq3}}) {
    for (const auto& [matrix, spectrum] : {std::pair<const double*, std::array<double, 3>>{A, {1, 2, 3}},
                                           std::pair<const double*, std::array<double, 3>>{diag, {2, 2, 5}}}) {
      SCOPED_TRACE(solver.name);
      double Q[9], w[3];
      ASSERT_EQ(solver.solve(matrix, Q, w), 0);
      sortEigensystem3(Q, w);
      for (int j = 0; j < 3; ++j) {
        EXPECT_NEAR(w[j], spectrum[j], 1e-12);
        // A·q = λ·q for each column, and the columns are unit vectors.
        double norm = 0;
        for (int i = 0; i < 3; ++i) {
          const double Aq = matrix[3 * i] * Q[j] + matrix[3 * i + 1] * Q[3 + j] + matrix[3 * i + 2] * Q[6 + j];
          EXPECT_NEAR(Aq, w[j] * Q[3 * i + j], 1e-12);
          norm += Q[3 * i + j] * Q[3 * i + j];
        }
        EXPECT_NEAR(norm, 1, 1e-12);
      }
    }
  }
}

TEST(SymmetricEigenTest, EigenvaluesPrintOnlyWithDebugOutput) {
  const double A[9] = {1, 0, 0, 0, 2, 0, 0, 0, 3};
  double w[3];
  testing::internal::CaptureStdout();
  symmetricEigenvalues3(A, w);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  setDebugOutput(true);
  testing::internal::CaptureStdout();
  symmetricEigenvalues3(A, w);
  setDebugOutput(false);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "w = 3, 1, 2\n");
}

TEST(SymmetricEigenTest, AffineFramesAndSeparatingPlane) {
  AffineFrame id, F, H;
  affineIdentity(id);
  const double R[9] = {0, -1, 0, 1, 0, 0, 0, 0, 1}, t[3] = {1, 2, 3}, s[3] = {2, 3, 4};
  affineFromRotation(F, R, t);
  affineScaleColumns(F, s);
  affineCompose(id, F, H);
  for (int i = 0; i < 9; ++i) EXPECT_EQ(H.M[i], F.M[i]);
  affineCompose(F, id, H);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(H.t[i], F.t[i]);
  // M·M⁻¹ = I after scaling.
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) {
      double sum = 0;
      for (int m = 0; m < 3; ++m) sum += F.M[3 * i + m] * F.Minv[3 * m + j];
      EXPECT_NEAR(sum, i == j ? 1 : 0, 1e-15);
    }

  // Unit spheres about (−3, 0, 0) and (3, 0, 0) are separated by the plane x = 0.
  const double I[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1}, cA[3] = {-3, 0, 0}, cB[3] = {3, 0, 0};
  double normal[3], point[3];
  ASSERT_EQ(separatingPlaneOfEllipsoids(I, cA, I, cB, normal, point), 0);
  EXPECT_NEAR(std::fabs(normal[0]), 1, 1e-12);
  EXPECT_NEAR(point[0], 0, 1e-12);
}

TEST(ConicKernelTest, ShadowOfOneSphereInTheLightOfAnother) {
  // Worked by hand: the light A is a sphere of radius ρA = 3 about cA, the occluder B one of
  // radius ρB = 1 about cB, L = |cA − cB| = 10 along û = (0.6, 0, 0.8). A line tangent to
  // both with unit normal ν satisfies ν·cB + ρB = ν·cA ± ρA. With both bodies on one side
  // (umbral) ν·û = (ρB − ρA)/L = −0.2 and the contacts are cB + ρB·ν, cA + ρA·ν; passing
  // between them (penumbral) ν·û = (ρA + ρB)/L = 0.4 and the contacts are cB + ρB·ν,
  // cA − ρA·ν. So each contact has a fixed offset along û from its centre and a fixed
  // distance from the line of centres, whatever the sample plane:
  //   umbral on B: −0.2, √0.96;  on A: −0.6, 3√0.96;
  //   penumbral on B: 0.4, √0.84;  on A: −1.2, 3√0.84.
  const double QA[9] = {1.0 / 9, 0, 0, 0, 1.0 / 9, 0, 0, 0, 1.0 / 9}, QB[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
  const double cB[3] = {1, 2, 3}, cA[3] = {7, 2, 11}, u[3] = {0.6, 0, 0.8};
  const int n = 6;
  double umbralA[3 * n], umbralB[3 * n], penumbralA[3 * n], penumbralB[3 * n];
  testing::internal::CaptureStdout();
  const int rc = umbralAndPenumbralPoints(QA, cA, QB, cB, n, umbralA, umbralB, penumbralA, penumbralB);
  const std::string printed = testing::internal::GetCapturedStdout();
  ASSERT_EQ(rc, 0) << printed;
  EXPECT_EQ(printed.rfind("Initial ellipsoids\n", 0), 0u);
  EXPECT_NE(printed.find("rx,ry,rz=0.333333,0.333333,0.333333\n"), std::string::npos);
  struct Expected {
    const char* name;
    const double* points;
    const double* centre;
    double along, off;
  };
  const std::vector<Expected> table = {
      {"umbral on B", umbralB, cB, -0.2, std::sqrt(0.96)},
      {"umbral on A", umbralA, cA, -0.6, 3 * std::sqrt(0.96)},
      {"penumbral on B", penumbralB, cB, 0.4, std::sqrt(0.84)},
      {"penumbral on A", penumbralA, cA, -1.2, 3 * std::sqrt(0.84)},
  };
  for (const auto& e : table)
    for (int k = 0; k < n; ++k) {
      double d[3];
      for (int i = 0; i < 3; ++i) d[i] = e.points[3 * k + i] - e.centre[i];
      const double along = d[0] * u[0] + d[1] * u[1] + d[2] * u[2];
      const double off2 = d[0] * d[0] + d[1] * d[1] + d[2] * d[2] - along * along;
      EXPECT_NEAR(along, e.along, 1e-9) << e.name << " " << k;
      EXPECT_NEAR(std::sqrt(off2), e.off, 1e-9) << e.name << " " << k;
    }
  // In one sample the contacts on B and the umbral one on A lie on one side of the line of
  // centres, the penumbral one on A (cA − ρA·ν) on the other; the samples turn round it by
  // 2π/n.
  const auto side = [&](const double* points, int k, const double* centre) {
    double d[3];
    for (int i = 0; i < 3; ++i) d[i] = points[3 * k + i] - centre[i];
    const double along = d[0] * u[0] + d[1] * u[1] + d[2] * u[2];
    for (int i = 0; i < 3; ++i) d[i] -= along * u[i];
    const double len = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    return std::vector<double>{d[0] / len, d[1] / len, d[2] / len};
  };
  for (int k = 0; k < n; ++k) {
    const auto s = side(umbralB, k, cB);
    const std::vector<std::pair<std::vector<double>, double>> others = {
        {side(umbralA, k, cA), 1}, {side(penumbralB, k, cB), 1}, {side(penumbralA, k, cA), -1}};
    for (const auto& [other, cosine] : others)
      EXPECT_NEAR(s[0] * other[0] + s[1] * other[1] + s[2] * other[2], cosine, 1e-9) << k;
    const auto next = side(umbralB, (k + 1) % n, cB);
    EXPECT_NEAR(s[0] * next[0] + s[1] * next[1] + s[2] * next[2], std::cos(2 * M_PI / n), 1e-9) << k;
  }

  // The set-up alone prints the same frames and each sample's 2-D problem: B's section is
  // a circle of radius 1/3 in A's unit frame (N = 9·I) and A's centre 10/3 away.
  testing::internal::CaptureStdout();
  EXPECT_EQ(printShadowSetUp(QA, cA, QB, cB, 2), 0);
  const std::string setUp = testing::internal::GetCapturedStdout();
  EXPECT_NE(setUp.find("Ellipse matrix\nN\n     9.000      0.000\n     0.000      9.000\n"), std::string::npos) << setUp;
  EXPECT_NE(setUp.find("center of unit circle in 2-d frame\nx = 3.33333\n"), std::string::npos);

  // Concentric spheres: no limb is seen from the centre.
  testing::internal::CaptureStdout();
  EXPECT_EQ(umbralAndPenumbralPoints(QA, cB, QB, cB, n, umbralA, umbralB, penumbralA, penumbralB), -1);
  testing::internal::GetCapturedStdout();
  // An occluder of radius 8 overlaps the light (8 + 3 > 10): no line passes between them.
  const double QBig[9] = {1.0 / 64, 0, 0, 0, 1.0 / 64, 0, 0, 0, 1.0 / 64};
  testing::internal::CaptureStdout();
  EXPECT_EQ(umbralAndPenumbralPoints(QA, cA, QBig, cB, 1, umbralA, umbralB, penumbralA, penumbralB), -1);
  const std::string overlap = testing::internal::GetCapturedStdout();
  EXPECT_NE(overlap.find("no penumbral point\n"), std::string::npos) << overlap;
}

}  // namespace
}  // namespace orb::geometry
