#include "geometry/solids/SymmetricEigen.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "geometry/solids/ConicKernel.h"
#include "geometry/solids/Ordering.h"
#include "geometry/values/GeometryDebug.h"

namespace orb::geometry {

namespace {

void matMul(const double* A, const double* B, double* C) {
  double out[9];
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) out[3 * i + j] = A[3 * i] * B[j] + A[3 * i + 1] * B[3 + j] + A[3 * i + 2] * B[6 + j];
  std::copy(out, out + 9, C);
}
void matVec(const double* A, const double* x, double* y) {
  double out[3];
  for (int i = 0; i < 3; ++i) out[i] = A[3 * i] * x[0] + A[3 * i + 1] * x[1] + A[3 * i + 2] * x[2];
  std::copy(out, out + 3, y);
}
void transpose(const double* A, double* T) {
  double out[9];
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) out[3 * j + i] = A[3 * i + j];
  std::copy(out, out + 9, T);
}

}  // namespace

void affineIdentity(AffineFrame& f) {
  for (int i = 0; i < 9; ++i) f.M[i] = f.Minv[i] = (i % 4 == 0) ? 1 : 0;
  f.t[0] = f.t[1] = f.t[2] = 0;
}

void affineFromRotationOnly(AffineFrame& f, const double* R) {
  std::copy(R, R + 9, f.M);
  transpose(R, f.Minv);
}

void affineFromRotation(AffineFrame& f, const double* R, const double* t) {
  affineFromRotationOnly(f, R);
  std::copy(t, t + 3, f.t);
}

void affineScaleColumns(AffineFrame& f, const double* s) {
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) {
      f.M[3 * i + j] *= s[j];
      f.Minv[3 * j + i] /= s[j];
    }
}

void affineCompose(const AffineFrame& F, const AffineFrame& G, AffineFrame& H) {
  AffineFrame out;
  matMul(F.M, G.M, out.M);
  matMul(G.Minv, F.Minv, out.Minv);
  matVec(F.M, G.t, out.t);
  for (int i = 0; i < 3; ++i) out.t[i] += F.t[i];
  H = out;
}

void affineTransformEllipsoid(const AffineFrame& f, const double* Q, const double* c, double* Qout, double* cout) {
  double MT[9], tmp[9];
  transpose(f.M, MT);
  matMul(MT, Q, tmp);
  matMul(tmp, f.M, Qout);
  const double d[3] = {c[0] - f.t[0], c[1] - f.t[1], c[2] - f.t[2]};
  matVec(f.Minv, d, cout);
}

void affineTransformPlane(const AffineFrame& f, const double* n, const double* q, double* nOut, double* qOut) {
  double MinvT[9];
  transpose(f.Minv, MinvT);
  matVec(MinvT, n, nOut);
  affineApply(f, q, qOut);
}

void affineApply(const AffineFrame& f, const double* y, double* x) {
  matVec(f.M, y, x);
  for (int i = 0; i < 3; ++i) x[i] += f.t[i];
}

void affinePrint(const AffineFrame& f) {
  std::printf("transform\n");
  for (int i = 0; i < 3; ++i) std::printf("%10.3f %10.3f %10.3f\n", f.M[3 * i], f.M[3 * i + 1], f.M[3 * i + 2]);
  std::printf("inverse\n");
  for (int i = 0; i < 3; ++i)
    std::printf("%10.3f %10.3f %10.3f\n", f.Minv[3 * i], f.Minv[3 * i + 1], f.Minv[3 * i + 2]);
  std::printf("translation\n%10.3f %10.3f %10.3f\n", f.t[0], f.t[1], f.t[2]);
}

int symmetricEigenvalues3(const double* A, double* w) {
  const double a00 = A[0], a01 = A[1], a02 = A[2], a11 = A[4], a12 = A[5], a22 = A[8];
  const double m = a00 + a11 + a22;
  const double c1 = a00 * a11 + a00 * a22 + a11 * a22 - a01 * a01 - a02 * a02 - a12 * a12;
  const double c0 = a22 * a01 * a01 + a00 * a12 * a12 + a11 * a02 * a02 - a00 * a11 * a22 - 2 * a02 * a01 * a12;
  const double p = m * m - 3 * c1;
  const double q = m * (p - 1.5 * c1) - 13.5 * c0;
  const double phi =
      std::atan2(std::sqrt(std::fabs(27 * (0.25 * c1 * c1 * (p - c1) + c0 * (q + 6.75 * c0)))), q) / 3;
  const double sp = std::sqrt(std::fabs(p));
  const double c = sp * std::cos(phi), s = sp * std::sin(phi) * 0.5773502691896258;
  const double b = (m - c) / 3;
  w[0] = b + c, w[1] = b - s, w[2] = b + s;
  if (debugOutput()) std::printf("w = %g, %g, %g\n", w[0], w[1], w[2]);
  return 0;
}

int symmetricEigensystem3(const double* A, double* Q, double* w) {
  symmetricEigenvalues3(A, w);
  double wmax = std::max({std::fabs(w[0]), std::fabs(w[1]), std::fabs(w[2])});
  const double u = wmax < 1 ? wmax : wmax * wmax;
  const double n0 = u + A[0] * A[0] + A[1] * A[1] + A[2] * A[2];
  const double n1 = u + A[1] * A[1] + A[4] * A[4] + A[5] * A[5];
  const double threshold = 5.684341886080802e-14 * n0 * n1;
  double v[2][3];
  for (int k = 0; k < 2; ++k) {
    const double r0[3] = {A[0] - w[k], A[1], A[2]}, r1[3] = {A[3], A[4] - w[k], A[5]};
    double x[3] = {r0[1] * r1[2] - r0[2] * r1[1], r0[2] * r1[0] - r0[0] * r1[2], r0[0] * r1[1] - r0[1] * r1[0]};
    const double n2 = x[0] * x[0] + x[1] * x[1] + x[2] * x[2];
    if (!(n2 > threshold)) return dsyevq3(A, Q, w);
    const double n = std::sqrt(n2);
    for (int i = 0; i < 3; ++i) v[k][i] = x[i] / n;
  }
  const double v2[3] = {v[0][1] * v[1][2] - v[0][2] * v[1][1], v[0][2] * v[1][0] - v[0][0] * v[1][2],
                        v[0][0] * v[1][1] - v[0][1] * v[1][0]};
  for (int i = 0; i < 3; ++i) Q[3 * i] = v[0][i], Q[3 * i + 1] = v[1][i], Q[3 * i + 2] = v2[i];
  return 0;
}

void tridiagonalize3(const double* A, double* Q, double* d, double* e) {
  for (int i = 0; i < 9; ++i) Q[i] = (i % 4 == 0) ? 1 : 0;
  const double h = A[1] * A[1] + A[2] * A[2];
  const double g = A[1] > 0 ? -std::sqrt(h) : std::sqrt(h);
  e[0] = g;
  double f = g * A[1];
  double u[3] = {0, A[1] - g, A[2]}, q[3] = {0, 0, 0};
  double omega = h - f;
  if (omega > 0) {
    omega = 1 / omega;
    double K = 0;
    for (int i = 1; i < 3; ++i) {
      f = A[3 + i] * u[1] + A[3 * i + 2] * u[2];
      q[i] = omega * f;
      K += u[i] * f;
    }
    K *= 0.5 * omega * omega;
    for (int i = 1; i < 3; ++i) q[i] -= K * u[i];
    d[0] = A[0];
    d[1] = A[4] - 2 * q[1] * u[1];
    d[2] = A[8] - 2 * q[2] * u[2];
    for (int j = 1; j < 3; ++j) {
      f = omega * u[j];
      for (int i = 1; i < 3; ++i) Q[3 * i + j] -= f * u[i];
    }
    e[1] = A[5] - q[1] * u[2] - u[1] * q[2];
  } else {
    d[0] = A[0], d[1] = A[4], d[2] = A[8];
    e[1] = A[5];
  }
}

int dsyevq3(const double* A, double* Q, double* w) {
  double e[3] = {0, 0, 0};
  tridiagonalize3(A, Q, w, e);
  for (int l = 0; l < 2; ++l) {
    int iterations = 0;
    for (;;) {
      int m = l;
      for (; m <= 1; ++m) {
        const double g = std::fabs(w[m]) + std::fabs(w[m + 1]);
        if (std::fabs(e[m]) + g == g) break;
      }
      if (m == l) break;
      if (iterations++ >= 30) return -1;
      double g = (w[l + 1] - w[l]) / (e[l] + e[l]);
      double r = std::sqrt(g * g + 1);
      g = g > 0 ? w[m] - w[l] + e[l] / (g + r) : w[m] - w[l] + e[l] / (g - r);
      double s = 1, c = 1, p = 0;
      for (int i = m - 1; i >= l; --i) {
        const double f = s * e[i], b = c * e[i];
        if (std::fabs(f) > std::fabs(g)) {
          c = g / f;
          r = std::sqrt(c * c + 1);
          e[i + 1] = f * r;
          s = 1 / r;
          c *= s;
        } else {
          s = f / g;
          r = std::sqrt(s * s + 1);
          e[i + 1] = g * r;
          c = 1 / r;
          s *= c;
        }
        g = w[i + 1] - p;
        r = (w[i] - g) * s + 2 * c * b;
        p = s * r;
        w[i + 1] = g + p;
        g = c * r - b;
        for (int k = 0; k < 3; ++k) {
          const double t = Q[3 * k + i + 1];
          Q[3 * k + i + 1] = s * Q[3 * k + i] + c * t;
          Q[3 * k + i] = c * Q[3 * k + i] - s * t;
        }
      }
      w[l] -= p;
      e[l] = g;
      e[m] = 0;
    }
  }
  return 0;
}

int sortEigensystem3(double* Q, double* w) {
  int order[3] = {0, 1, 2};
  std::sort(order, order + 3, [&](int a, int b) { return lessNaNLast(w[a], w[b]); });
  double wOut[3], QOut[9];
  for (int j = 0; j < 3; ++j) {
    wOut[j] = w[order[j]];
    for (int i = 0; i < 3; ++i) QOut[3 * i + j] = Q[3 * i + order[j]];
  }
  std::copy(wOut, wOut + 3, w);
  std::copy(QOut, QOut + 9, Q);
  return order[1];
}

int separatingPlaneOfEllipsoids(const double* QA, const double* cA, const double* QB, const double* cB, double* normal,
                                double* point) {
  double vecA[9], wA[3];
  if (dsyevq3(QA, vecA, wA) != 0) return -1;
  if (!(wA[0] > 0 && wA[1] > 0 && wA[2] > 0)) return -1;
  AffineFrame T1;
  affineFromRotation(T1, vecA, cA);
  const double s[3] = {1 / std::sqrt(wA[0]), 1 / std::sqrt(wA[1]), 1 / std::sqrt(wA[2])};
  affineScaleColumns(T1, s);  // A becomes the unit sphere
  double QB1[9], cB1[3];
  affineTransformEllipsoid(T1, QB, cB, QB1, cB1);
  double vecB[9], wB[3];
  if (dsyevq3(QB1, vecB, wB) != 0) return -1;
  if (!(wB[0] > 0 && wB[1] > 0 && wB[2] > 0)) return -1;
  AffineFrame T2, T;
  affineFromRotation(T2, vecB, cB1);
  affineCompose(T1, T2, T);
  double QAt[9], cAt[3];
  affineTransformEllipsoid(T, QA, cA, QAt, cAt);
  // In T's frame B is axis-aligned at the origin and A a unit sphere centred at cAt.
  double p[3];
  closestPointOnEllipsoid(&p[0], &p[1], &p[2], 1 / std::sqrt(wB[0]), 1 / std::sqrt(wB[1]), 1 / std::sqrt(wB[2]),
                          cAt[0], cAt[1], cAt[2]);
  const double d[3] = {p[0] - cAt[0], p[1] - cAt[1], p[2] - cAt[2]};
  const double r = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
  if (!(r > 0)) return -1;
  double n[3] = {d[0] / r, d[1] / r, d[2] / r};
  double q[3] = {cAt[0] + n[0] * (1 + r) / 2, cAt[1] + n[1] * (1 + r) / 2, cAt[2] + n[2] * (1 + r) / 2};
  affineTransformPlane(T, n, q, normal, point);
  const double len = std::sqrt(normal[0] * normal[0] + normal[1] * normal[1] + normal[2] * normal[2]);
  for (int i = 0; i < 3; ++i) normal[i] /= len;
  return 0;
}

}  // namespace orb::geometry
