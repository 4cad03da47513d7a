#include "tracing/RayWithFrame.h"

#include <cmath>
#include <cstdio>

#include "platform/Exception.h"
#include "platform/Log.h"

namespace orb::tracing {

using foundation::XYZ;
using platform::Value;

namespace {

std::string format(const char* fmt, auto... args) {
  char buffer[512];
  std::snprintf(buffer, sizeof buffer, fmt, args...);
  return buffer;
}

double dot(const XYZ& a, const XYZ& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
XYZ cross(const XYZ& a, const XYZ& b) {
  return XYZ{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
double norm(const XYZ& a) { return std::sqrt(dot(a, a)); }
XYZ scaled(const XYZ& a, double s) { return XYZ{a.x * s, a.y * s, a.z * s}; }
XYZ plus(const XYZ& a, const XYZ& b) { return XYZ{a.x + b.x, a.y + b.y, a.z + b.z}; }
XYZ minus(const XYZ& a, const XYZ& b) { return XYZ{a.x - b.x, a.y - b.y, a.z - b.z}; }

Transfer4 multiply(const Transfer4& a, const Transfer4& b) {
  Transfer4 p{};
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c)
      p[4 * r + c] = a[4 * r] * b[c] + a[4 * r + 1] * b[4 + c] + a[4 * r + 2] * b[8 + c] + a[4 * r + 3] * b[12 + c];
  return p;
}

foundation::SquareMatrix columnsMatrix(const std::array<XYZ, 3>& e) {
  return foundation::SquareMatrix(
      3, {{e[0].x, e[1].x, e[2].x}, {e[0].y, e[1].y, e[2].y}, {e[0].z, e[1].z, e[2].z}});
}

// Element names in (px, py, qx, qy) order.
constexpr const char* kStateNames[] = {"px", "py", "qx", "qy"};

int stateIndex(std::string_view name) {
  for (int i = 0; i < 4; ++i)
    if (name == kStateNames[i]) return i;
  return -1;
}

}  // namespace

RayWithFrame::RayWithFrame(const XYZ& position, const XYZ& direction, double n)
    : Ray(position, direction, n), m_initialIndex(n) {
  alignBasisWithRayDirection();
}

RayWithFrame::RayWithFrame(const Ray& ray) : Ray(ray), m_initialIndex(ray.indexOfRefraction()) {
  alignBasisWithRayDirection();
}

foundation::SquareMatrix RayWithFrame::defaultBasis() {
  return foundation::SquareMatrix(3, {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}});
}

foundation::SymplecticMatrix RayWithFrame::defaultTransferMatrix() {
  return foundation::SymplecticMatrix::identityMatrixWithDimension(4);
}

foundation::SquareMatrix RayWithFrame::basis() const { return columnsMatrix(m_e); }

void RayWithFrame::setBasis(const foundation::Matrix& b) {
  for (int j = 0; j < 3; ++j) m_e[j] = XYZ{b.at(0, j), b.at(1, j), b.at(2, j)};
}

foundation::SymplecticMatrix RayWithFrame::transferMatrix() const {
  return foundation::SymplecticMatrix(foundation::Matrix(4, 4, m_M.data()));
}

void RayWithFrame::setTransferMatrix(const foundation::Matrix& M) {
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) m_M[4 * r + c] = M.at(r, c);
}

void RayWithFrame::leftMultiplyTransfer(const Transfer4& T) { m_M = multiply(T, m_M); }

foundation::SquareMatrix RayWithFrame::surfaceFrame() const {
  return m_surfaceFrameIsBasis ? basis() : columnsMatrix(m_f);
}

void RayWithFrame::setSurfaceFrameColumns(const XYZ& f1, const XYZ& f2, const XYZ& f3) {
  m_f = {f1, f2, f3};
  m_surfaceFrameIsBasis = false;
}

void RayWithFrame::alignBasisWithRayDirection() {
  const XYZ u = unitDirector();
  const double rho = std::sqrt(u.x * u.x + u.z * u.z);
  if (rho > 0) {
    m_e[0] = XYZ{u.z / rho, 0, -u.x / rho};
    m_e[1] = XYZ{-u.x * u.y / rho, rho, -u.y * u.z / rho};
  } else {
    // Along ±y the formula divides by zero; any e1 perpendicular to y makes a frame.
    m_e[0] = XYZ{1, 0, 0};
    m_e[1] = cross(u, m_e[0]);
  }
  m_e[2] = u;
}

void RayWithFrame::updateTransferMatrixForReducedPathLength(double t) {
  if (t == 0) return;
  // Rows qx and qy gain t times rows px and py.
  for (int c = 0; c < 4; ++c) {
    m_M[8 + c] += t * m_M[c];
    m_M[12 + c] += t * m_M[4 + c];
  }
}

void RayWithFrame::transformByMatrix(const foundation::TransformationMatrix& matrix) {
  if (misalignment() > 1e-6 && !m_dazed) {
    platform::log("RayWithFrame detects misalignment");
    platform::logText(formattedDescription());
  }
  Ray::transformByMatrix(matrix);
  const auto& m = matrix.m;
  if (m[0] == 0 && m[1] == 0 && m[2] == 0 && m[4] == 0 && m[5] == 0 && m[6] == 0 && m[8] == 0 && m[9] == 0 &&
      m[10] == 0)
    return;
  for (XYZ& e : m_e) e = foundation::applyToDirection(matrix, e);
}

double RayWithFrame::misalignment() const {
  const double c = std::abs(dot(momentum(), m_e[2])) / (p() * norm(m_e[2]));
  if (!(c < 1)) return 0;
  return std::acos(c);
}

bool RayWithFrame::isRetrograde() const { return dot(momentum(), m_e[2]) < 0; }

void RayWithFrame::consistencyCheck() const {
  const double a = misalignment();
  if (std::abs(a) > 1e-5 && !m_dazed) platform::log("** warning, misalignment = %g", a);
}

void RayWithFrame::rollCos(double c, double s) {
  if (std::abs(c - 1) < 1e-10 && std::abs(s) < 1e-10) return;
  const XYZ e1 = m_e[0], e2 = m_e[1];
  m_e[0] = plus(scaled(e1, c), scaled(e2, s));
  m_e[1] = plus(scaled(e1, -s), scaled(e2, c));
  // M ← Rb · M · Ra, Ra = diag([[c, s], [−s, c]] ×2), Rb = diag([[c, −s], [s, c]] ×2).
  const Transfer4 Ra{c, s, 0, 0, -s, c, 0, 0, 0, 0, c, s, 0, 0, -s, c};
  const Transfer4 Rb{c, -s, 0, 0, s, c, 0, 0, 0, 0, c, -s, 0, 0, s, c};
  m_M = multiply(Rb, multiply(m_M, Ra));
}

void RayWithFrame::attachToSurface() {
  consistencyCheck();
  XYZ N = surfaceNormal();
  const double n = norm(N);
  if (std::abs(n - 1) > 1e-10) {
    platform::log("%s warning: surface normal not normalized", description().c_str());
    N = scaled(N, 1 / n);
  }
  XYZ w = cross(m_e[2], N);
  const double wl = norm(w);
  if (wl <= 1e-10) {
    m_cosPhi = 1, m_sinPhi = 0, m_cosTheta = 1, m_sinTheta = 0;
    m_surfaceFrameIsBasis = true;
    return;
  }
  w = scaled(w, 1 / wl);
  const double a = dot(w, m_e[0]), b = dot(w, m_e[1]);
  const double ab = std::sqrt(a * a + b * b);
  m_cosPhi = a / ab;
  m_sinPhi = b / ab;
  rollCos(m_cosPhi, m_sinPhi);
  const XYZ Nw = cross(N, w);
  m_cosTheta = dot(m_e[2], N);
  m_sinTheta = dot(m_e[2], Nw);
  setSurfaceFrameColumns(w, Nw, N);
}

void RayWithFrame::detachFromSurface() {
  if (m_cosPhi == 1 && m_sinPhi == 0) return;
  rollCos(m_cosPhi, -m_sinPhi);
}

void RayWithFrame::setupSurfaceFrameForSmoothSurface() {
  XYZ N = surfaceNormal();
  N = scaled(N, 1 / norm(N));
  XYZ w = cross(m_e[2], N);
  const double wl = norm(w);
  if (wl <= 1e-10) {
    m_surfaceFrameIsBasis = true;
    return;
  }
  w = scaled(w, 1 / wl);
  setSurfaceFrameColumns(w, cross(N, w), N);
}

void RayWithFrame::attachToDiffractiveSurface() {
  if (m_surfaceFrameIsBasis) {
    m_cosPhi = 1, m_sinPhi = 0, m_cosTheta = 1, m_sinTheta = 0;
    return;
  }
  const double a = dot(m_f[0], m_e[0]), b = dot(m_f[0], m_e[1]);
  const double ab = std::sqrt(a * a + b * b);
  m_cosPhi = a / ab;
  m_sinPhi = b / ab;
  rollCos(m_cosPhi, m_sinPhi);
  m_sinTheta = dot(m_e[2], m_f[1]);
  m_cosTheta = dot(m_e[2], m_f[2]);
}

double RayWithFrame::aU() const { return m_M[4 * 1 + 1] * m_initialIndex / indexOfRefraction(); }
double RayWithFrame::bU() const { return m_M[4 * 1 + 3] * m_initialIndex / indexOfRefraction(); }
double RayWithFrame::marginalU() const {
  return (m_ma * m_M[5] + m_mb * m_M[7]) * m_initialIndex / indexOfRefraction();
}
double RayWithFrame::chiefU() const { return (m_ca * m_M[5] + m_cb * m_M[7]) * m_initialIndex / indexOfRefraction(); }

std::vector<Ray> RayWithFrame::swarm() const {
  constexpr double h = 0.001;
  std::vector<Ray> out(8, ray());
  const SwarmID ids[] = {SwarmID::qxp, SwarmID::qxm, SwarmID::qyp, SwarmID::qym,
                         SwarmID::pxp, SwarmID::pxm, SwarmID::pyp, SwarmID::pym};
  const XYZ steps[] = {scaled(m_e[0], h), scaled(m_e[0], -h), scaled(m_e[1], h), scaled(m_e[1], -h)};
  const double n = p();
  for (int i = 0; i < 8; ++i) {
    Ray& r = out[i];
    r.tags().swarmID = ids[i];
    if (i < 4) {
      r.displaceBy(steps[i]);
    } else {
      r.setMomentum(plus(r.momentum(), steps[i - 4]));
      r.rescaleToIndexOfRefraction(n);
    }
  }
  return out;
}

foundation::SymplecticMatrix RayWithFrame::transferMatrixWithSwarm(std::span<const Ray> s) const {
  if (s.size() < 8)
    platform::Exception::raise("NSInvalidArgumentException", "transferMatrixWithSwarm needs 8 rays, got %zu",
                               s.size());
  foundation::SymplecticMatrix M(4);
  // Columns px, py, qx, qy come from the pairs 4–5, 6–7, 0–1, 2–3.
  const int pairs[4] = {4, 6, 0, 2};
  for (int k = 0; k < 4; ++k) {
    const Ray& a = s[pairs[k]];
    const Ray& b = s[pairs[k] + 1];
    const XYZ dp = scaled(minus(a.momentum(), b.momentum()), 1 / 0.002);
    const XYZ dq = scaled(minus(a.position(), b.position()), 1 / 0.002);
    M.atPut(0, k, dot(dp, m_e[0]));
    M.atPut(1, k, dot(dp, m_e[1]));
    M.atPut(2, k, dot(dq, m_e[0]));
    M.atPut(3, k, dot(dq, m_e[1]));
  }
  return M;
}

Value RayWithFrame::valueForKeyPath(std::string_view key) const {
  for (std::string_view prefix : {"M.", "transferMatrix."}) {
    if (key.starts_with(prefix) && key.size() == prefix.size() + 4) {
      const int r = stateIndex(key.substr(prefix.size(), 2));
      const int c = stateIndex(key.substr(prefix.size() + 2, 2));
      if (r >= 0 && c >= 0) return m_M[4 * r + c];
      return Value();
    }
  }
  if (key == "aH") return aH();
  if (key == "aU") return aU();
  if (key == "bH") return bH();
  if (key == "bU") return bU();
  if (key == "marginalH") return marginalH();
  if (key == "marginalU") return marginalU();
  if (key == "chiefH") return chiefH();
  if (key == "chiefU") return chiefU();
  if (key == "cosTheta") return m_cosTheta;
  if (key == "sinTheta") return m_sinTheta;
  if (key == "cosPhi") return m_cosPhi;
  if (key == "sinPhi") return m_sinPhi;
  if (key == "initialIndexOfRefraction") return m_initialIndex;
  if (key == "amplitudeFactor") return m_amplitudeFactor;
  if (key == "misalignment") return misalignment();
  if (key == "dazed") return m_dazed;
  if (key == "isRetrograde") return isRetrograde();
  return Ray::valueForKeyPath(key);
}

std::string RayWithFrame::description() const {
  return format("RayWithFrame{x=(%g,%g,%g),p=(%g,%g,%g)%s}{B=%s,M=%s}", x(), y(), z(), px(), py(), pz(),
                isAlive() ? "" : ",dead", basis().matlabDescription().c_str(),
                transferMatrix().matlabDescription().c_str());
}

std::string RayWithFrame::formattedDescription() const {
  if (!isAlive()) return deadDescription();
  std::string s = Ray::formattedDescription();
  s += "Basis transformation:\n";
  for (int r = 0; r < 3; ++r) {
    auto row = [&](const XYZ& e) { return r == 0 ? e.x : (r == 1 ? e.y : e.z); };
    s += format("%9.6f %9.6f %9.6f\n", row(m_e[0]), row(m_e[1]), row(m_e[2]));
  }
  s += formattedDescriptionOfTransferMatrix(transferMatrix());
  const double err = misalignment();
  if (std::abs(err) > 0.1) s += format("** warning, err = %g, please contact support", err);
  return s;
}

std::string RayWithFrame::formattedDescriptionOfTransferMatrix(const foundation::Matrix& matrix) const {
  std::string basisString = tags().transferMatrixBasisString().value_or("(px,py,qx,qy)");
  int order[4] = {0, 1, 2, 3};
  if (basisString == "(qx,qy,px,py)") {
    order[0] = 2, order[1] = 3, order[2] = 0, order[3] = 1;
  } else if (basisString != "(px,py,qx,qy)") {
    // "(a,b,c,d)" with names from px, py, qx, qy; anything else keeps the natural order.
    if (basisString.size() == 13 && basisString.front() == '(' && basisString.back() == ')') {
      int parsed[4];
      bool ok = true;
      for (int i = 0; i < 4; ++i) {
        parsed[i] = stateIndex(std::string_view(basisString).substr(1 + 3 * i, 2));
        ok = ok && parsed[i] >= 0 && (i == 3 || basisString[3 + 3 * i] == ',');
      }
      if (ok)
        for (int i = 0; i < 4; ++i) order[i] = parsed[i];
    }
  }
  std::string s = format("Transfer matrix in %s basis:\n", basisString.c_str());
  for (int r = 0; r < 4; ++r)
    s += format("%9.4f %9.4f %9.4f %9.4f\n", matrix.at(order[r], order[0]), matrix.at(order[r], order[1]),
                matrix.at(order[r], order[2]), matrix.at(order[r], order[3]));
  s += format("symplecticError = %g\n", foundation::SquareMatrix(matrix).symplecticError());
  return s;
}

std::string RayWithFrame::dumpBasis() const {
  std::string s;
  s += format(" %15.7f %15.7f %15.7f\n", m_e[0].x, m_e[1].x, m_e[2].x);
  s += format(" %15.7f %15.7f %15.7f\n", m_e[0].y, m_e[1].y, m_e[2].y);
  s += format(" %15.7f %15.7f %15.7f\n", m_e[0].z, m_e[1].z, m_e[2].z);
  return s;
}

}  // namespace orb::tracing
