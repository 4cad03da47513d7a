#include <cmath>
#include <cstdio>
#include <initializer_list>

#include "geometry/solids/ConicKernel.h"
#include "geometry/solids/SymmetricEigen.h"

namespace orb::geometry {

namespace {

void printRows3(const char* title, const double* M) {
  std::printf("%s\n", title);
  for (int i = 0; i < 3; ++i) std::printf("%10.3f %10.3f %10.3f\n", M[3 * i], M[3 * i + 1], M[3 * i + 2]);
}
void printVector3(const char* title, const double* v) {
  std::printf("%s\n%10.3f %10.3f %10.3f\n", title, v[0], v[1], v[2]);
}
double dot3(const double* a, const double* b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

/// The frames of the construction: T carries A to a unit sphere centred at `a` and B to an
/// axis-aligned ellipsoid at the origin with semi-axes `radii`.
struct ShadowFrame {
  AffineFrame T;
  double a[3];
  double radii[3];
};

/// Steps shared by both routines: the frames (printed), the separating plane and B's limb
/// seen from A's centre. Status 0, −1 or the limb section's code.
int setUp(const double* QA, const double* cA, const double* QB, const double* cB, ShadowFrame& frame, double* limbCentre,
          double* limbU, double* limbV, bool reportDecomposition) {
  printRows3("Initial ellipsoids\nMA", QA);
  printVector3("cA", cA);
  printRows3("MB", QB);
  printVector3("cB", cB);
  double vecA[9], wA[3];
  if (dsyevq3(QA, vecA, wA) != 0 || !(wA[0] > 0 && wA[1] > 0 && wA[2] > 0)) {
    if (reportDecomposition) std::printf("dsyevq3 fails\n");
    return -1;
  }
  AffineFrame T1;
  affineFromRotation(T1, vecA, cA);
  const double s[3] = {1 / std::sqrt(wA[0]), 1 / std::sqrt(wA[1]), 1 / std::sqrt(wA[2])};
  affineScaleColumns(T1, s);
  printVector3("wA", wA);
  std::printf("T1\n");
  affinePrint(T1);
  double QA1[9], cA1[3], QB1[9], cB1[3];
  affineTransformEllipsoid(T1, QA, cA, QA1, cA1);
  printRows3("tMA", QA1);
  printVector3("tcA", cA1);
  affineTransformEllipsoid(T1, QB, cB, QB1, cB1);
  double vecB[9], wB[3];
  if (dsyevq3(QB1, vecB, wB) != 0 || !(wB[0] > 0 && wB[1] > 0 && wB[2] > 0)) return -1;
  AffineFrame T2;
  affineFromRotation(T2, vecB, cB1);
  printVector3("wB", wB);
  std::printf("T2\n");
  affinePrint(T2);
  double QB2[9], cB2[3];
  affineTransformEllipsoid(T2, QB1, cB1, QB2, cB2);
  std::printf("affine2 verification\n");
  printRows3("tMB", QB2);
  printVector3("tcB", cB2);
  affineCompose(T1, T2, frame.T);
  std::printf("===== composed affine transformation T\n");
  affinePrint(frame.T);
  double QAt[9], QBt[9], cBt[3];
  affineTransformEllipsoid(frame.T, QA, cA, QAt, frame.a);
  affineTransformEllipsoid(frame.T, QB, cB, QBt, cBt);
  printRows3("Final transformed ellipsoids\ntMA", QAt);
  printVector3("tcA", frame.a);
  printRows3("tMB", QBt);
  printVector3("tcB", cBt);
  for (int i = 0; i < 3; ++i) frame.radii[i] = 1 / std::sqrt(wB[i]);
  std::printf("rx,ry,rz=%g,%g,%g\n", frame.radii[0], frame.radii[1], frame.radii[2]);

  // The separating plane, halfway between A's surface and B's nearest point.
  double p[3];
  closestPointOnEllipsoid(&p[0], &p[1], &p[2], frame.radii[0], frame.radii[1], frame.radii[2], frame.a[0], frame.a[1],
                          frame.a[2]);
  const double d[3] = {p[0] - frame.a[0], p[1] - frame.a[1], p[2] - frame.a[2]};
  const double r = std::sqrt(dot3(d, d));
  std::printf("r = %g\n", r);
  if (r > 0) {
    double nu[3] = {d[0] / r, d[1] / r, d[2] / r}, q[3];
    for (int i = 0; i < 3; ++i) q[i] = frame.a[i] + nu[i] * (1 + r) / 2;
    std::printf("equation of plane in affine frame\n");
    std::printf("n = %g,%g,%g  q0 = %g,%g,%g\n", nu[0], nu[1], nu[2], q[0], q[1], q[2]);
    affineTransformPlane(frame.T, nu, q, nu, q);
    std::printf("equation of plane in original frame\n");
    std::printf("n = %g,%g,%g  q0 = %g,%g,%g\n", nu[0], nu[1], nu[2], q[0], q[1], q[2]);
  }

  // B's outline seen from A's centre.
  double g[3];
  const int rc = ellipsoidPolarSection(frame.radii, frame.a, g, limbCentre, limbV, limbU, 1);
  if (rc != 0) return rc;
  std::printf("center of limb\n");
  std::printf("c = %g,%g,%g\n", limbCentre[0], limbCentre[1], limbCentre[2]);
  std::printf("u = %g,%g,%g\n", limbU[0], limbU[1], limbU[2]);
  std::printf("v = %g,%g,%g\n", limbV[0], limbV[1], limbV[2]);
  return 0;
}

/// Sample k's plane: the unit axis x̂ from B's centre towards A's, and ŷ, the direction at
/// 2πk/n between the limb's axes made perpendicular to x̂. False when ŷ has no length.
bool samplePlane(const ShadowFrame& frame, const double* limbU, const double* limbV, int k, int n, double* x, double* y) {
  const double L = std::sqrt(dot3(frame.a, frame.a));
  for (int i = 0; i < 3; ++i) x[i] = frame.a[i] / L;
  const double phi = 2 * M_PI * k / n, nu = std::sqrt(dot3(limbU, limbU)), nv = std::sqrt(dot3(limbV, limbV));
  for (int i = 0; i < 3; ++i) y[i] = std::cos(phi) * limbU[i] / nu + std::sin(phi) * limbV[i] / nv;
  const double along = dot3(y, x);
  for (int i = 0; i < 3; ++i) y[i] -= along * x[i];
  const double ny = std::sqrt(dot3(y, y));
  if (!(ny > 1e-12)) return false;
  for (int i = 0; i < 3; ++i) y[i] /= ny;
  return true;
}

/// B's section by the sample plane as the 2-D form N (B is centred at the origin of the
/// 2-D frame, A's unit circle at (|a|, 0)), printed.
void sectionMatrix(const ShadowFrame& frame, const double* x, const double* y, double* N) {
  const auto form = [&](const double* p, const double* q) {
    double sum = 0;
    for (int i = 0; i < 3; ++i) sum += p[i] * q[i] / (frame.radii[i] * frame.radii[i]);
    return sum;
  };
  N[0] = form(x, x), N[1] = N[2] = form(x, y), N[3] = form(y, y);
  std::printf("Ellipse matrix\nN\n%10.3f %10.3f\n%10.3f %10.3f\n", N[0], N[1], N[2], N[3]);
  std::printf("center of unit circle in 2-d frame\nx = %g\n", std::sqrt(dot3(frame.a, frame.a)));
  std::printf("center of ellipse in 2-d frame\nd = %g,%g\n", 0.0, 0.0);
}

}  // namespace

int umbralAndPenumbralPoints(const double* QA, const double* cA, const double* QB, const double* cB, int n,
                             double* umbralA, double* umbralB, double* penumbralA, double* penumbralB) {
  ShadowFrame frame;
  double limbC[3], limbU[3], limbV[3];
  const int rc = setUp(QA, cA, QB, cB, frame, limbC, limbU, limbV, true);
  if (rc != 0) return rc;
  const double sep[3] = {frame.a[0] - limbC[0], frame.a[1] - limbC[1], frame.a[2] - limbC[2]};
  if (!(dot3(sep, sep) > 0)) {
    std::printf("insufficient separation\n");
    return -1;
  }
  if (n < 1) return 0;
  const double L = std::sqrt(dot3(frame.a, frame.a));
  for (int k = 0; k < n; ++k) {
    double x[3], y[3], N[4];
    if (!samplePlane(frame, limbU, limbV, k, n, x, y)) {
      std::printf("q not distinct\n");
      return -1;
    }
    sectionMatrix(frame, x, y, N);
    double P[4], lambda[2];
    symmetricEigen2(N, P, lambda);
    // The circle's centre (L, 0) lies at (L·P₀₀, L·P₀₁) in the principal frame: the
    // eigenvectors' signs put it in the first quadrant, and where that leaves P a
    // reflection, the frame's ŷ (ours to orient) is turned over, which mirrors the 2-D
    // problem and makes P a rotation.
    if (P[0] < 0) P[0] = -P[0], P[2] = -P[2];
    if (P[1] < 0) P[1] = -P[1], P[3] = -P[3];
    if (P[0] * P[3] - P[1] * P[2] < 0) {
      for (double& c : y) c = -c;
      N[1] = N[2] = -N[1];
      P[2] = -P[2], P[3] = -P[3];
    }
    // Pᵀ·N·P must be diagonal.
    const double off = P[0] * (N[0] * P[1] + N[1] * P[3]) + P[2] * (N[2] * P[1] + N[3] * P[3]);
    if (std::fabs(off) > 1e-10) {
      std::printf("P\n%10.3f %10.3f\n%10.3f %10.3f\nmatrix did not diagonalize\n", P[0], P[1], P[2], P[3]);
      return -1;
    }
    const double cx = L * P[0], cy = L * P[1];
    std::printf("circle is at %g,%g\n", cx, cy);
    if (cx < 0 || cy < 0) {
      std::printf("circle is at %g,%g\nnot in first quadrant\n", cx, cy);
      return -1;
    }
    const double l1 = lambda[0], l2 = lambda[1];
    const double ellipse[6] = {l1, 0, l2, 0, 0, -1};
    const double tangents[6] = {(cx * cx - 1) * l1 * l1, cx * cy * l1 * l2, (cy * cy - 1) * l2 * l2, -2 * l1 * cx,
                                -2 * l2 * cy, 1};
    double zB[8];
    int count = 0;
    const int irc = EllipseIntersection(zB, &count, ellipse, tangents);
    if (irc != 0) {
      std::printf("EllipseIntersection rc = %d\n", irc);
      return -1;
    }
    std::printf("%d intersections\n", count);
    for (int i = 0; i < count; ++i)
      std::printf("(%g,%g)   1 ?= %g\n", zB[2 * i], zB[2 * i + 1],
                  l1 * zB[2 * i] * zB[2 * i] + l2 * zB[2 * i + 1] * zB[2 * i + 1]);
    bool haveUmbral = false, havePenumbral = false;
    double uA[2] = {0, 0}, uB[2] = {0, 0}, pA[2] = {0, 0}, pB[2] = {0, 0};
    for (int i = 0; i < count; ++i) {
      const double zx = zB[2 * i], zy = zB[2 * i + 1];
      const double gx = l1 * zx, gy = l2 * zy, gg = gx * gx + gy * gy;
      const double mu = ((cy - zy) * gx - (cx - zx) * gy) / gg;
      const double wx = zx - mu * gy, wy = zy + mu * gx;
      const double r2 = (wx - cx) * (wx - cx) + (wy - cy) * (wy - cy);
      if (std::fabs(r2 - 1) > 1e-8) {
        std::printf("radius squared = %g\n", r2);
        return -1;
      }
      const double along = (gy * (wx - cx) - gx * (wy - cy)) / std::sqrt(gg);
      if (std::fabs(along) > 1e-10) {
        std::printf("cross = %g\n", along);
        return -1;
      }
      if (!(gy * cx - gx * cy > 0)) continue;
      if (gx * (wx - cx) + gy * (wy - cy) > 0) {
        haveUmbral = true, uA[0] = wx, uA[1] = wy, uB[0] = zx, uB[1] = zy;
      } else {
        havePenumbral = true, pA[0] = wx, pA[1] = wy, pB[0] = zx, pB[1] = zy;
      }
    }
    if (!haveUmbral || !havePenumbral) {
      std::printf(haveUmbral ? "no penumbral point\n" : "no umbral point\n");
      for (int i = 0; i < count; ++i) std::printf("zB[%d] = (%g,%g)\n", i, zB[2 * i], zB[2 * i + 1]);
      return -1;
    }
    // From the principal frame to the sample plane's 2-D frame, then into T's 3-D frame.
    const auto embed = [&](const double* w, double* out) {
      const double X = P[0] * w[0] + P[1] * w[1], Y = P[2] * w[0] + P[3] * w[1];
      for (int i = 0; i < 3; ++i) out[i] = X * x[i] + Y * y[i];
    };
    embed(uA, umbralA + 3 * k);
    embed(uB, umbralB + 3 * k);
    embed(pA, penumbralA + 3 * k);
    embed(pB, penumbralB + 3 * k);
  }
  for (double* points : {umbralA, umbralB, penumbralA, penumbralB})
    for (int k = 0; k < n; ++k) affineApply(frame.T, points + 3 * k, points + 3 * k);
  return 0;
}

int printShadowSetUp(const double* QA, const double* cA, const double* QB, const double* cB, int n) {
  ShadowFrame frame;
  double limbC[3], limbU[3], limbV[3];
  if (setUp(QA, cA, QB, cB, frame, limbC, limbU, limbV, false) != 0) return -1;
  for (int k = 0; k < n; ++k) {
    double x[3], y[3], N[4];
    if (!samplePlane(frame, limbU, limbV, k, n, x, y)) return -1;
    sectionMatrix(frame, x, y, N);
  }
  return 0;
}

}  // namespace orb::geometry
