#include "geometry/solids/PlaneManifold.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <vector>

#include "foundation/linear/FFT.h"
#include "foundation/quadrature/GaussLegendreIntegrator.h"
#include "geometry/solids/ConicKernel.h"
#include "geometry/solids/Ordering.h"
#include "geometry/solids/R3Ellipse.h"
#include "geometry/solids/R3Line.h"
#include "geometry/solids/SurfacePatch.h"
#include "geometry/solids/VKThetaFinder.h"
#include "geometry/solids/Vector3.h"
#include "geometry/values/GeometryDebug.h"
#include "platform/Exception.h"
#include "platform/Log.h"
#include "platform/Thread.h"

namespace orb::geometry {

using foundation::XYZ;

PlaneManifold::PlaneManifold(std::shared_ptr<const R3Plane> plane) : m_plane(std::move(plane)) {
  m_z = m_plane->normal()->xyz();
  m_x = v3::normalize(v3::cross(m_z, v3::leastAxis(m_z)));
  m_y = v3::cross(m_z, m_x);
}

std::string PlaneManifold::description() const { return "PlaneManifold[" + m_plane->description() + "]"; }

double PlaneManifold::angleForPoint(const XYZValue&, const XYZValue& tA, const XYZValue& tB) const {
  const XYZ a = tA.xyz(), b = tB.xyz();
  return std::atan2(v3::dot(m_z, v3::cross(a, b)), v3::dot(a, b));
}

// --- crossings --------------------------------------------------------------------------------

R3PointArray PlaneManifold::intersectionsOfCurveA(const R3Curve& a, const R3Curve& b) const {
  const auto* segA = dynamic_cast<const R3LineSegment*>(&a);
  const auto* segB = dynamic_cast<const R3LineSegment*>(&b);
  const auto* ellA = dynamic_cast<const R3Ellipse*>(&a);
  const auto* ellB = dynamic_cast<const R3Ellipse*>(&b);
  if (segA && segB) {
    if (auto p = intersectionOfLineA(*segA, *segB)) return {p};
    return {};
  }
  if (segA && ellB) return intersectionsOfLine(*segA, *ellB);
  if (ellA && segB) return intersectionsOfLine(*segB, *ellA);
  if (ellA && ellB) return intersectionsOfEllipseA(*ellA, *ellB);
  return {};
}

R3PointArray PlaneManifold::intersectionsOfCurveA(const R3Curve& a, const R3Curve& b, PointCoalescer&) const {
  return intersectionsOfCurveA(a, b);
}

R3PointPtr PlaneManifold::intersectionOfLineA(const R3Line& A, const R3Line& B) const {
  if (!A.hasEnds() || !B.hasEnds()) return nullptr;
  const XYZ o = A.q0()->xyz();
  const auto planar = [&](const XYZ& p) {
    const XYZ d = v3::sub(p, o);
    return std::array<double, 2>{v3::dot(d, m_x), v3::dot(d, m_y)};
  };
  const auto a1 = planar(A.q1()->xyz()), b0 = planar(B.q0()->xyz()), b1 = planar(B.q1()->xyz());
  // s·a1 + t·(b0 − b1) = b0
  const double c0 = b0[0] - b1[0], c1 = b0[1] - b1[1];
  const double det = -a1[0] * c1 + a1[1] * c0;  // cross(0 − a1, b0 − b1)
  if (det == 0) return nullptr;
  const double s = (b0[0] * c1 - b0[1] * c0) / (a1[0] * c1 - a1[1] * c0);
  const double P0 = s * a1[0], P1 = s * a1[1];
  const auto within = [](double px, double py, double x0, double y0, double x1, double y1) {
    const double mx = (x0 + x1) / 2, my = (y0 + y1) / 2, lx = x1 - x0, ly = y1 - y0;
    return (px - mx) * (px - mx) + (py - my) * (py - my) <= lx * lx + ly * ly;
  };
  if (!within(P0, P1, 0, 0, a1[0], a1[1]) || !within(P0, P1, b0[0], b0[1], b1[0], b1[1])) return nullptr;
  auto p = R3Point::pointWithXYZ(v3::add(o, v3::add(v3::scale(m_x, P0), v3::scale(m_y, P1))));
  if (A.intervalContainsPoint(*p) && B.intervalContainsPoint(*p)) return p;
  return nullptr;
}

std::shared_ptr<R3Plane> PlaneManifold::cuttingPlane(const XYZValue& p, const XYZ& d) const {
  const XYZ m = v3::cross(d, m_z);
  return R3Plane::planeWithCoefficients(m.x, m.y, m.z, v3::dot(m, p.xyz()));
}

R3PointArray PlaneManifold::intersectionsOfLine(const R3Line& segment, const R3Ellipse& ellipse) const {
  if (!segment.hasEnds()) return {};
  const auto plane = cuttingPlane(*segment.q0(), v3::sub(segment.q1()->xyz(), segment.q0()->xyz()));
  const auto points = ellipse.intersectionsWithPlane(*plane);
  if (points.empty()) return {};
  const auto kept = PointFilter::pointsInArray(points, segment, 1e-10);
  for (const auto& p : kept) {
    const double miss = v3::norm(v3::sub(p->xyz(), segment.pointForParameter(segment.parameterForPoint(*p))->xyz()));
    if (miss > 1e-8) {
      platform::log("zero? %g", miss);
      platform::log("line: %s", segment.description().c_str());
      platform::log("ellipse: %s", ellipse.description().c_str());
    }
  }
  return kept;
}

R3PointArray PlaneManifold::intersectionsOfEllipseA(const R3Ellipse& A, const R3Ellipse& B) const {
  const XYZ o = A.center()->xyz();
  const auto conic = [&](const R3Ellipse& e, double* k) {
    const XYZ c3 = v3::sub(e.center()->xyz(), o);
    const double cx = v3::dot(c3, m_x), cy = v3::dot(c3, m_y);
    const double ux = v3::dot(e.semiminorAxis()->xyz(), m_x), uy = v3::dot(e.semiminorAxis()->xyz(), m_y);
    const double vx = v3::dot(e.semimajorAxis()->xyz(), m_x), vy = v3::dot(e.semimajorAxis()->xyz(), m_y);
    const double uu = ux * ux + uy * uy, vv = vx * vx + vy * vy;
    const double ku = 1 / (uu * uu), kv = 1 / (vv * vv);
    const double m11 = ku * ux * ux + kv * vx * vx, m12 = ku * ux * uy + kv * vx * vy, m22 = ku * uy * uy + kv * vy * vy;
    k[0] = m11;
    k[1] = m12;  // the kernel's form carries 2·b·x·y
    k[2] = m22;
    k[3] = -2 * (m11 * cx + m12 * cy);
    k[4] = -2 * (m12 * cx + m22 * cy);
    k[5] = m11 * cx * cx + 2 * m12 * cx * cy + m22 * cy * cy - 1;
  };
  double kA[6], kB[6], points[8];
  conic(A, kA);
  conic(B, kB);
  int count = 0;
  if (EllipseIntersection(points, &count, kA, kB) != 0) return {};
  R3PointArray out;
  for (int i = 0; i < count && i < 4; ++i) {
    auto p = R3Point::pointWithXYZ(v3::add(o, v3::add(v3::scale(m_x, points[2 * i]), v3::scale(m_y, points[2 * i + 1]))));
    if (A.intervalContainsPoint(*p, 1e-10) && B.intervalContainsPoint(*p, 1e-10)) out.push_back(p);
  }
  return out;
}

// --- areas ---------------------------------------------------------------------------------------

double PlaneManifold::areaOfTriangleWithVertices(const XYZValue& a, const XYZValue& b, const XYZValue& c) const {
  return 0.5 * v3::dot(m_z, v3::cross(v3::sub(b.xyz(), a.xyz()), v3::sub(c.xyz(), a.xyz())));
}

double PlaneManifold::areaOfPolygonWithVertexArray(const R3PointArray& w) const {
  double sum = 0;
  for (std::size_t i = 1; i + 1 < w.size(); ++i) sum += areaOfTriangleWithVertices(*w[0], *w[i], *w[i + 1]);
  return sum;
}

double PlaneManifold::segmentAreaForCurve(const R3Curve& curve, const XYZValue& end) const {
  const auto vector = curve.segmentAreaVector();
  const double s = vector ? v3::dot(m_z, vector->xyz()) : 0;
  if (curve.hasEnds() && !end.isEqualTo(*curve.q1()) && end.isEqualTo(*curve.q0())) return -s;
  return s;
}

// --- point in face ---------------------------------------------------------------------------

bool PlaneManifold::face(const WEFacePtr& face, const XYZValue& p) const {
  if (!face || face->edges().empty()) return false;
  auto E = face->curveAt(0);
  auto q = E->pointForParameter(0.5);
  if (!q || q->isEqualTo(p)) return false;
  const auto P = R3Point::pointWithXYZ(p.xyz());
  for (std::size_t i = 1; i < face->count(); ++i) {
    const auto edge = face->curveAt(i);
    const auto S = R3LineSegment::lineSegmentWithStartingPoint(P, q);
    const auto plane = cuttingPlane(p, v3::sub(q->xyz(), p.xyz()));
    // The crossing nearest p, so that an edge crossed twice cannot hide the nearer crossing.
    R3PointPtr best;
    double bestT = std::numeric_limits<double>::infinity();
    for (const auto& x : PointFilter::pointsInArray(edge->intersectionsWithPlane(*plane), *S)) {
      const double t = S->parameterForPoint(*x);
      if (t < bestT && !x->isEqualTo(p)) best = x, bestT = t;
    }
    if (best) {
      q = best;
      E = edge;
    }
  }
  const auto t = E->tangentForPoint(*q);
  if (!t) return false;
  const double s = v3::dot(v3::cross(t->xyz(), v3::sub(p.xyz(), q->xyz())), m_z);
  return slotHolds(E->f()[0], face.get()) ? s > 0 : s < 0;
}

// --- joining networks -------------------------------------------------------------------------

namespace {

std::vector<R3CurveArray> facesAsCurveArrays(const WEFaceArray& faces) {
  std::vector<R3CurveArray> out;
  for (const auto& f : faces) {
    R3CurveArray a;
    for (std::size_t i = 0; i < f->count(); ++i) a.push_back(f->curveAt(i));
    out.push_back(std::move(a));
  }
  return out;
}

}  // namespace

WEFaceArray PlaneManifold::unifyEdgeArray(R3CurveArray& edges) const {
  auto self = std::shared_ptr<const Manifold>(std::shared_ptr<const Manifold>{}, this);
  WELinker linker(self);
  linker.linkWingedEdges(edges);
  auto faces = linker.addFacesToEdges(edges);
  const auto networks = NetAnalysis::mergeIntersectingArrays(facesAsCurveArrays(faces));
  if (networks.size() < 2) return faces;
  const auto& first = networks.front();
  const auto& last = networks.back();
  linker.linkWingedEdges(first);
  const auto facesA = linker.addFacesToEdges(first);
  linker.linkWingedEdges(last);
  const auto facesB = linker.addFacesToEdges(last);
  const auto containing = [&](const WEFaceArray& fs, const R3PointPtr& p) -> WEFacePtr {
    for (const auto& f : fs)
      if (p && face(f, *p)) return f;
    return nullptr;
  };
  const auto FA = containing(facesA, last.front()->q0());
  const auto FB = containing(facesB, first.front()->q0());
  const auto candidatesOf = [&](const WEFacePtr& f) {
    R3PointArray c;
    if (!f) return c;
    for (const auto& k : kinksForFace(f)) c.push_back(k);
    R3CurveArray curves;
    for (std::size_t i = 0; i < f->count(); ++i) curves.push_back(f->curveAt(i));
    for (const auto& e : R3Curve::endpointsOfCurves(curves)) c.push_back(e);
    return c;
  };
  const auto crosses = [&](const WEFacePtr& f, const R3LineSegment& s) {
    const auto plane = cuttingPlane(*s.q0(), s.directorXYZ());
    for (std::size_t i = 0; i < f->count(); ++i)
      for (const auto& x : PointFilter::pointsInArray(f->curveAt(i)->intersectionsWithPlane(*plane), s)) {
        const double t = s.parameterForPoint(*x);
        if (t > 1e-10 && t < 1 - 1e-10) return true;
      }
    return false;
  };
  struct Bridge {
    std::shared_ptr<R3LineSegment> segment;
    double length;
  };
  std::vector<Bridge> candidates;
  if (FA && FB) {
    for (const auto& a : candidatesOf(FA)) {
      for (const auto& b : candidatesOf(FB)) {
        if (candidates.size() > 20) break;
        if (a->isEqualTo(*b)) continue;
        auto s = R3LineSegment::lineSegmentWithStartingPoint(a, b);
        if (!crosses(FB, *s) && !crosses(FA, *s)) {
          if (debugOutput()) platform::log("add candidate: %s", s->description().c_str());
          candidates.push_back({s, v3::norm(s->directorXYZ())});
        }
      }
    }
  }
  if (candidates.empty()) return faces;
  // The shortest bridge is the one least likely to cross anything else.
  std::stable_sort(candidates.begin(), candidates.end(),
                   [](const Bridge& x, const Bridge& y) { return lessNaNLast(x.length, y.length); });
  edges.push_back(candidates.front().segment);
  linker.linkWingedEdges(edges);
  return linker.addFacesToEdges(edges);
}

bool PlaneManifold::verifySegmentsAreInteriorDisjoint(const R3CurveArray& arcs) {
  for (const auto& A : arcs)
    for (const auto& B : arcs) {
      if (A == B) continue;
      if (A->isEqualTo(*B)) {
        platform::log("Arcs are not interior disjoint");
        platform::log("Arcs are equal!");
        return false;
      }
      for (int i = 1; i <= 9; ++i) {
        const double s = 0.1 * i;
        const auto q = A->pointForParameter(s);
        if (q && B->intervalContainsPoint(*q)) {
          platform::log("Arcs are not interior disjoint");
          platform::log("s = %g", s);
          platform::log("q = %s", q->description().c_str());
          platform::log("arcA = %s -> s = %g", A->description().c_str(), A->parameterForPoint(*q));
          platform::log("arcB = %s -> s = %g", B->description().c_str(), B->parameterForPoint(*q));
          return false;
        }
      }
      if (!A->hasEnds()) continue;
      for (int k = 0; k < 2; ++k) {
        const auto& q = k ? A->q1() : A->q0();
        const double t = B->parameterForPoint(*q);
        if (t >= 1e-7 && t <= 0.9999999) {
          platform::log("Arcs are not interior disjoint");
          platform::log(k ? "arcA = %s -> q1 = %s" : "arcA = %s -> q0 = %s", A->description().c_str(),
                        q->description().c_str());
          platform::log("arcB = %s -> s = %.15f", B->description().c_str(), t);
          return false;
        }
      }
    }
  return true;
}

// --- quadrature ---------------------------------------------------------------------------------

int inverseDistanceConvolution(int n, const double* h, double* g) {
  std::vector<foundation::XY> a, b;
  try {
    a.resize(static_cast<std::size_t>(n));
    b.resize(static_cast<std::size_t>(n));
  } catch (const std::bad_alloc&) {
    return 1;
  }
  for (int k = 0; k < n; ++k) {
    a[k] = {h[k], 0};
    b[k] = {k == 0 ? double(n) : k < n / 2 ? 1.0 / k : 1.0 / (n - k), 0};
  }
  if (int status = foundation::fft_forward(a.data(), n)) return status;
  if (int status = foundation::fft_forward(b.data(), n)) return status;
  for (int k = 0; k < n; ++k)
    a[k] = {a[k].x * b[k].x - a[k].y * b[k].y, a[k].x * b[k].y + a[k].y * b[k].x};
  if (int status = foundation::fft_reverse(a.data(), n)) return status;
  for (int k = 0; k < n; ++k) g[k] = a[k].x;
  return 0;
}

double PlaneManifold::rotationAngleForQuadratureFrameOnFace(const WEFacePtr& face) const {
  constexpr int n = 256;
  double h[n] = {}, g[n] = {};
  for (std::size_t i = 0; i < face->count(); ++i) {
    const auto edge = face->curveAt(i);
    if (!edge) continue;
    VKThetaFinder finder;
    bool first = true;
    for (const auto& t : edge->representativeTangentPoints()) {
      if (!t) continue;
      const double x = v3::dot(t->xyz(), m_x), y = v3::dot(t->xyz(), m_y);
      double theta;
      if (first) {
        theta = std::atan2(y, x);
        finder.setThetaCut(theta + M_PI, theta);
        first = false;
      } else {
        theta = finder.angleForDoubles(x, y);
      }
      if (!std::isfinite(theta)) continue;
      const long bin = ((static_cast<long>(theta * n / M_PI) % n) + n) % n;
      h[bin] += 1;
    }
  }
  int status;
  {
    platform::Synchronized lock(platform::Synchronized::processWide());
    status = inverseDistanceConvolution(n, h, g);
  }
  // Without the convolution the plane's own frame serves.
  if (status != 0) return 0;
  int k = 0;
  for (int i = 1; i < n; ++i)
    if (g[i] < g[k]) k = i;
  return -M_PI / 2 + k * (M_PI / n);
}

NodeAndWeightArray PlaneManifold::nodeAndWeightArrayForFace(const WEFacePtr& face) const {
  NodeAndWeightArray out;
  const XYZ O = m_plane->closestPointToOrigin()->xyz();
  const double area = areaOfFace(face);
  if (area < 0) return out;
  const double theta = rotationAngleForQuadratureFrameOnFace(face);
  const XYZ U = v3::add(v3::scale(m_x, std::cos(theta)), v3::scale(m_y, std::sin(theta)));
  const XYZ V = v3::sub(v3::scale(m_y, std::cos(theta)), v3::scale(m_x, std::sin(theta)));
  const auto Up = R3Point::pointWithXYZ(U);

  std::vector<double> critical;
  {
    WEVertexEnumerator walk(face);
    while (auto w = walk.nextObject()) critical.push_back(v3::dot(U, w->xyz()));
  }
  std::vector<R3CurvePtr> edges;
  for (std::size_t i = 0; i < face->count(); ++i) edges.push_back(face->curveAt(i));
  for (const auto& e : edges)
    if (const auto* ellipse = dynamic_cast<const R3Ellipse*>(e.get()))
      for (const auto& p : ellipse->pointsWhereTangentIsOrthogonalToDirection(*Up)) critical.push_back(v3::dot(U, p->xyz()));
  std::sort(critical.begin(), critical.end(), lessNaNLast);

  // Polygonal faces take the plain 3 × 3 product rule, exact for the linear chord lengths
  // of a polygon. A face with a curved edge sees square-root behaviour where a chord ends
  // on a tangent of the curve or on a limb; there each strip and chord is mapped through
  // x = −cos φ, which makes such ends smooth, and a longer rule is used.
  const bool curved = std::any_of(edges.begin(), edges.end(),
                                  [](const R3CurvePtr& e) { return dynamic_cast<const R3Ellipse*>(e.get()); });
  const auto rule = foundation::GaussLegendreIntegrator::integratorForOrder(curved ? 8 : 3);
  const int order = rule->order(), middle = order / 2;
  // The abscissa and weight of node i on [a, b].
  const auto place = [&](int i, double a, double b, double& x, double& w) {
    const double mid = (a + b) / 2, half = (b - a) / 2, xi = rule->nodes()[i];
    if (!curved) {
      x = mid + xi * half;
      w = rule->weights()[i] * half;
    } else {
      const double phi = M_PI * (xi + 1) / 2;
      x = mid - half * std::cos(phi);
      w = rule->weights()[i] * half * std::sin(phi) * M_PI / 2;
    }
  };
  bool frontPlaced = false;
  for (std::size_t c = 0; c + 1 < critical.size(); ++c) {
    const double u0 = critical[c], u1 = critical[c + 1];
    if (!(u1 - u0 >= 1e-10)) continue;
    for (int i = 0; i < order; ++i) {
      double u, wu;
      place(i, u0, u1, u, wu);
      const auto plane = R3Plane::planeWithCoefficients(U.x, U.y, U.z, u);
      std::vector<double> crossings;
      for (const auto& e : edges) {
        if (e->hasEnds()) {
          const double f0 = plane->freedomForPoint(*e->q0()), f1 = plane->freedomForPoint(*e->q1());
          if (std::fabs(f0) < 1e-10 || std::fabs(f1) < 1e-10) {
            platform::log("DANGER: may have trouble with intersections");
            platform::log("edge = %s", e->description().c_str());
            platform::log("f0 = %g, f1 = %g", f0, f1);
          }
        }
        for (const auto& x : e->intersectionsWithPlane(*plane)) crossings.push_back(v3::dot(V, x->xyz()));
      }
      std::sort(crossings.begin(), crossings.end(), lessNaNLast);
      for (std::size_t k = 0; k + 1 < crossings.size(); k += 2) {
        for (int j = 0; j < order; ++j) {
          double v, wv;
          place(j, crossings[k], crossings[k + 1], v, wv);
          auto point = R3Point::pointWithXYZ(v3::add(O, v3::add(v3::scale(U, u), v3::scale(V, v))));
          PointAndParameter node(point, wu * wv);
          // A node well inside the face goes first: callers probe the face with it.
          if (!frontPlaced && i == middle && j == middle) {
            out.insert(out.begin(), node);
            frontPlaced = true;
          } else {
            out.push_back(node);
          }
        }
      }
    }
  }
  const double sum = sumOfWeightsInNodeAndWeightArray(out);
  if (std::fabs(area - sum) > 0.1 * std::fabs(area)) {
    platform::log("** Warning, plane quadrature did not reproduce area");
    platform::log("area                 = %e", area);
    platform::log("sum                  = %e", sum);
  }
  return out;
}

// --- LineFunctor ----------------------------------------------------------------------------------

LineFunctor::LineFunctor(std::shared_ptr<const R3Line> line, std::shared_ptr<const R3ToR1Map> rho)
    : m_line(std::move(line)), m_rho(std::move(rho)) {}

double LineFunctor::valueAt(double t) const { return m_rho->valueAt(m_line->pointAt(t)); }

}  // namespace orb::geometry
