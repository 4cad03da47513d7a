#include "foundation/objects/TransformStack.h"

#include <cmath>
#include <numbers>

namespace orb::foundation {

namespace {

constexpr double kRadiansPerDegree = 0.017453292519943295;

TransformNode& topPushingIfEmpty(TransformStack& stack) {
  if (stack.empty()) xformPush(stack);
  return stack.nodes.back();
}

/// Identity except rows i and j, which hold (c, s) and (-s, c) in columns i and j.
TransformationMatrix planeRotation(int i, int j, double angleDegrees) {
  const XY sc = sinCosDegrees(angleDegrees);
  TransformationMatrix m = TransformationMatrix::identity();
  m(i, i) = sc.y;
  m(i, j) = sc.x;
  m(j, i) = -sc.x;
  m(j, j) = sc.y;
  return m;
}

void concatRotation(TransformStack& stack, const TransformationMatrix& m) { xformConcat(stack, m, transpose(m)); }

}  // namespace

XY sinCosDegrees(double a) {
  if (a < 0) a += 360;
  if (a == 0) return {0, 1};
  if (a == 90) return {1, 0};
  if (a == 180) return {0, -1};
  if (a == 270) return {-1, 0};
  const double r = a * kRadiansPerDegree;
  return {std::sin(r), std::cos(r)};
}

void xformPush(TransformStack& stack) {
  if (stack.empty())
    stack.nodes.push_back({TransformationMatrix::identity(), TransformationMatrix::identity()});
  else
    stack.nodes.push_back(stack.nodes.back());
}

void xformPop(TransformStack& stack) {
  if (!stack.empty()) stack.nodes.pop_back();
}

void xformFreeAll(TransformStack& stack) { stack.nodes.clear(); }

void xformGetTop(const TransformStack& stack, TransformationMatrix* forward, TransformationMatrix* inverse) {
  const TransformNode top = stack.empty()
                                ? TransformNode{TransformationMatrix::identity(), TransformationMatrix::identity()}
                                : stack.nodes.back();
  if (forward) *forward = top.forward;
  if (inverse) *inverse = top.inverse;
}

void xformSetTop(TransformStack& stack, const TransformationMatrix& forward, const TransformationMatrix& inverse) {
  TransformNode& top = topPushingIfEmpty(stack);
  top.forward = forward;
  top.inverse = inverse;
}

void xformLoadIdentity(TransformStack& stack) {
  xformSetTop(stack, TransformationMatrix::identity(), TransformationMatrix::identity());
}

void xformConcat(TransformStack& stack, const TransformationMatrix& m, const TransformationMatrix& mInverse) {
  TransformNode& top = topPushingIfEmpty(stack);
  top.forward = top.forward * m;
  top.inverse = mInverse * top.inverse;
}

void xformPreConcat(TransformStack& stack, const TransformationMatrix& m, const TransformationMatrix& mInverse) {
  TransformNode& top = topPushingIfEmpty(stack);
  top.forward = m * top.forward;
  top.inverse = top.inverse * mInverse;
}

void xformTranslate(TransformStack& stack, const XYZ& t) {
  xformConcat(stack, TransformationMatrix::translation(t), TransformationMatrix::translation({-t.x, -t.y, -t.z}));
}

void xformPreTranslate(TransformStack& stack, const XYZ& t) {
  xformPreConcat(stack, TransformationMatrix::translation(t), TransformationMatrix::translation({-t.x, -t.y, -t.z}));
}

void xformTranslateForwardOnly(TransformStack& stack, const XYZ& t) {
  xformConcat(stack, TransformationMatrix::translation(t), TransformationMatrix::identity());
}

void xformRotateX(TransformStack& stack, double angleDegrees) { concatRotation(stack, planeRotation(1, 2, angleDegrees)); }

// Rows (c, 0, s), (0, 1, 0), (-s, 0, c): the same pattern in the (x, z) plane, which turns
// the other way about y than the x and z rotations do about their axes.
void xformRotateY(TransformStack& stack, double angleDegrees) { concatRotation(stack, planeRotation(0, 2, angleDegrees)); }

void xformRotateZ(TransformStack& stack, double angleDegrees) { concatRotation(stack, planeRotation(0, 1, angleDegrees)); }

TransformationMatrix eulerMatrix(double phiDegrees, double thetaDegrees, double psiDegrees) {
  const XY a = sinCosDegrees(phiDegrees), b = sinCosDegrees(thetaDegrees), c = sinCosDegrees(psiDegrees);
  const double s1 = a.x, c1 = a.y, s2 = b.x, c2 = b.y, s3 = c.x, c3 = c.y;
  return TransformationMatrix{{c1 * c3 - s1 * c2 * s3, s1 * c3 + c1 * c2 * s3, s2 * s3, 0,    //
                               -c1 * s3 - s1 * c2 * c3, c1 * c2 * c3 - s1 * s3, s2 * c3, 0,  //
                               s1 * s2, -c1 * s2, c2, 0,                                     //
                               0, 0, 0, 1}};
}

void xformRotateEuler(TransformStack& stack, double phiDegrees, double thetaDegrees, double psiDegrees) {
  concatRotation(stack, eulerMatrix(phiDegrees, thetaDegrees, psiDegrees));
}

void xformRotateEulerTransposed(TransformStack& stack, double phiDegrees, double thetaDegrees, double psiDegrees) {
  concatRotation(stack, transpose(eulerMatrix(phiDegrees, thetaDegrees, psiDegrees)));
}

void xformScale(TransformStack& stack, double sx, double sy, double sz) {
  TransformationMatrix m = TransformationMatrix::identity(), mInverse = TransformationMatrix::identity();
  m(0, 0) = sx;
  m(1, 1) = sy;
  m(2, 2) = sz;
  mInverse(0, 0) = 1 / sx;
  mInverse(1, 1) = 1 / sy;
  mInverse(2, 2) = 1 / sz;
  xformConcat(stack, m, mInverse);
}

void xformApplyTop(const TransformStack& stack, XYZ& v, bool isPoint) {
  if (!stack.empty()) xformApplyMatrix(stack.nodes.back().forward, v, isPoint);
}

void xformApplyTopInverse(const TransformStack& stack, XYZ& v, bool isPoint) {
  if (!stack.empty()) xformApplyMatrix(stack.nodes.back().inverse, v, isPoint);
}

void xformGetEulerAngles(const TransformStack& stack, XYZ& translation, double& phiDegrees, double& thetaDegrees,
                         double& psiDegrees) {
  if (stack.empty()) {
    translation = {0, 0, 0};
    phiDegrees = thetaDegrees = psiDegrees = 0;
    return;
  }
  const auto& m = stack.nodes.back().forward.m;
  translation = {m[3], m[7], m[11]};
  const double theta = m[10] < -1 ? std::numbers::pi : m[10] > 1 ? 0 : std::acos(m[10]);
  double phi, psi = 0;
  if (std::fabs(std::sin(theta)) > 0.001) {
    phi = std::atan2(m[2], -m[6]);
    psi = std::atan2(m[8], m[9]);
  } else {
    // With sin θ = 0 only one in-plane turn is left: m0 = cos and m4 = sin of φ + ψ at
    // θ = 0 and of φ - ψ at θ = 180; taking it as φ with ψ = 0 rebuilds the matrix in
    // both cases (m1 would carry the sign of cos θ and flip φ at 180).
    phi = std::atan2(m[4], m[0]);
  }
  phiDegrees = phi / kRadiansPerDegree;
  thetaDegrees = theta / kRadiansPerDegree;
  psiDegrees = psi / kRadiansPerDegree;
}

}  // namespace orb::foundation
