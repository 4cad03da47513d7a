#include "wavefront_illumination/ThroughputAgent.h"

#include <algorithm>
#include <cmath>

#include "lens/Aperture.h"
#include "lens/Field.h"
#include "lens/Lens.h"
#include "lens/Surface.h"
#include "lens/Wave.h"
#include "platform/Thread.h"
#include "tracing/LensSummary.h"
#include "tracing/PupilPatterns.h"
#include "tracing/RayGeneration.h"
#include "tracing/TraceDriver.h"

namespace orb::wavefront {

using foundation::VKInterval;
using foundation::VKSeries;
using foundation::XY;
using foundation::XYZ;
using geometry::TriangleNest;
using geometry::TriangleNestVertex;
using tracing::Ray;

namespace {

constexpr double kHalfPi = 1.5707963267948966;

XYZ cross(const XYZ& a, const XYZ& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
XYZ normalized(const XYZ& a) {
  const double l = std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z);
  return l > 0 ? XYZ{a.x / l, a.y / l, a.z / l} : a;
}

/// The sampled cone of directions: the octahedron's hemisphere about +x, squeezed to the
/// half-angle `halfAngle` (polar angles scaled, azimuths kept) and turned so that +x
/// becomes the base ray's direction D.
struct ConeFrame {
  XYZ D, e1, e2;
  double halfAngle = kHalfPi;

  XYZ direction(const XYZ& p) const {
    XYZ s = p;
    if (halfAngle < kHalfPi) {
      const double theta = std::acos(std::clamp(p.x, -1.0, 1.0)) * (halfAngle / kHalfPi);
      const double r = std::hypot(p.y, p.z);
      s = r > 0 ? XYZ{std::cos(theta), std::sin(theta) * p.y / r, std::sin(theta) * p.z / r} : XYZ{1, 0, 0};
    }
    return {s.x * D.x + s.y * e1.x + s.z * e2.x, s.x * D.y + s.y * e1.y + s.z * e2.y,
            s.x * D.z + s.y * e1.z + s.z * e2.z};
  }
};

/// A direction of the sampled cone. Midpoints are taken on the hemisphere before the
/// squeeze, so the edges along the hemisphere's rim stay on the cone's rim: a cone split
/// only at its mapped vertices would be cut short by great-circle chords.
class ConeVertex : public geometry::TriangleNestSphericalVertex {
 public:
  ConeVertex(const XYZ& p, std::shared_ptr<const ConeFrame> frame)
      : TriangleNestSphericalVertex(frame->direction(p)), m_p(p), m_frame(std::move(frame)) {}

  std::unique_ptr<TriangleNestVertex> makeMidwayBetweenPair(const TriangleNestVertex& a,
                                                            const TriangleNestVertex& b) const override {
    const XYZ &p = parameter(a), &r = parameter(b);
    return std::make_unique<ConeVertex>(normalized({p.x + r.x, p.y + r.y, p.z + r.z}), m_frame);
  }
  std::unique_ptr<TriangleNestVertex> makeMidwayBetweenTriple(const TriangleNestVertex& a,
                                                              const TriangleNestVertex& b,
                                                              const TriangleNestVertex& c) const override {
    const XYZ &p = parameter(a), &r = parameter(b), &s = parameter(c);
    return std::make_unique<ConeVertex>(normalized({p.x + r.x + s.x, p.y + r.y + s.y, p.z + r.z + s.z}), m_frame);
  }

 private:
  static const XYZ& parameter(const TriangleNestVertex& v) {
    // Every vertex of a cone mesh is a cone vertex.
    return static_cast<const ConeVertex&>(v).m_p;
  }
  XYZ m_p;
  std::shared_ptr<const ConeFrame> m_frame;
};

/// An orthonormal frame (D, e1, e2) about the unit direction D, e1 built from the
/// coordinate axis along which D is smallest.
void frameAbout(const XYZ& D, XYZ& e1, XYZ& e2) {
  XYZ a{1, 0, 0};
  double smallest = std::abs(D.x);
  if (std::abs(D.y) < smallest) a = {0, 1, 0}, smallest = std::abs(D.y);
  if (smallest > std::abs(D.z)) a = {0, 0, 1};
  e1 = normalized(cross(D, a));
  e2 = cross(D, e1);
}

}  // namespace

// --- settings --------------------------------------------------------------------------------------

bool ThroughputAgent::infiniteConjugate() const { return m_lens && tracing::isObjectAtInfinity(*m_lens); }

double ThroughputAgent::objectSpaceConeHalfAngle() const {
  if (!m_lens) return kHalfPi;
  const double na = tracing::objectSpaceNumericalAperture(*m_lens);
  double n = tracing::objectSpaceIndexOfRefraction(*m_lens);
  if (!(n > 0) || !std::isfinite(n)) n = 1;
  const double s = na / n;
  if (!(s > 0) || !(s < 1)) return kHalfPi;
  return std::asin(s);
}

void ThroughputAgent::initializeSamplingData() {
  // Nests point at vertices and edges: drop them first.
  m_samplingTriangles.clear();
  m_samplingEdges.clear();
  m_samplingVertices.clear();
}

// --- tracing and filters -------------------------------------------------------------------------

void ThroughputAgent::traceRays(std::span<Ray> rays) const {
  if (!m_lens || rays.empty()) return;
  tracing::traceRays(*m_lens, rays, m_surface.get(), tracing::TraceOptions::paraxial(m_paraxial));
  filterRays(rays, m_surface.get());
}

void ThroughputAgent::filterRays(std::span<Ray> rays, const lens::Surface* surface) const {
  if (!surface) return;
  if (const auto& aperture = surface->apertureObject()) filterRaysByAperture(rays, *surface, *aperture);
}

void ThroughputAgent::filterRaysByAperture(std::span<Ray> rays, const lens::Surface& surface,
                                           const lens::Aperture& aperture) {
  // Traced rays come back in global coordinates; the aperture is drawn in the surface's.
  const std::string nickname = surface.nickname();
  for (Ray& r : rays)
    if (r.isAlive() && !aperture.passesPoint(surface.transform().transformFromGlobal(r.position())))
      r.kill(tracing::causeOfDeath::kApertureDoesNotPass, nickname);
}

void FilteringAgent::filterRays(std::span<Ray> rays, const lens::Surface* surface) const {
  if (m_filterType == "Surface")
    ThroughputAgent::filterRays(rays, surface);
  else if (m_filterType == "Radius")
    filterRaysByRadius(rays, m_filterRadius);
}

void FilteringAgent::filterRaysByRadius(std::span<Ray> rays, double radius) {
  const double r2 = radius * radius;
  for (Ray& r : rays)
    if (r.isAlive() && r.x() * r.x() + r.y() * r.y() > r2) r.kill(tracing::causeOfDeath::kOutsideAcceptanceRadius);
}

// --- the base ray ----------------------------------------------------------------------------------

std::optional<Ray> ThroughputAgent::baseRayForField(const FieldPtr& field, const WavePtr& requestedWave) const {
  if (!m_lens || !field) return std::nullopt;
  const WavePtr wave = requestedWave ? requestedWave : m_lens->primaryWave();
  const XY centre{0, 0};
  const std::vector<Ray> chief = tracing::raysForFields(*m_lens, {field}, std::span(&centre, 1), {wave});
  if (chief.empty()) return std::nullopt;
  std::vector<Ray> traced = chief;
  traceRays(traced);
  if (platform::currentThreadIsCancelled()) return std::nullopt;
  if (traced.front().isAlive()) return chief.front();

  // The chief ray is lost (an obscured centre, a vignetted field): look along a fan.
  std::vector<Ray> fan;
  if (infiniteConjugate()) {
    fan = tracing::raysForFields(*m_lens, {field}, tracing::pupil::yFan(100), {wave});
  } else {
    const Ray& c = chief.front();
    const double A = m_useLensObjectSpaceNumericalAperture ? objectSpaceConeHalfAngle() : kHalfPi;
    const XYZ d = c.unitDirector();
    constexpr int kSteps = 1000;
    fan.reserve(kSteps + 1);
    for (int i = 0; i <= kSteps; ++i) {
      const double t = -A + 2 * A * i / kSteps;
      const double ct = std::cos(t), st = std::sin(t);
      Ray r(c.position(), {d.x, ct * d.y + st * d.z, ct * d.z - st * d.y}, c.indexOfRefraction());
      r.setWave(c.wave());
      r.tags().field = c.tags().field;
      fan.push_back(std::move(r));
    }
  }
  if (fan.empty()) return std::nullopt;
  traced = fan;
  traceRays(traced);
  if (platform::currentThreadIsCancelled()) return std::nullopt;
  std::size_t first = 0;
  while (first < traced.size() && !traced[first].isAlive()) ++first;
  if (first == traced.size()) return std::nullopt;
  std::size_t last = first;
  while (last + 1 < traced.size() && traced[last + 1].isAlive()) ++last;
  return fan[(first + last) / 2];
}

// --- sampling ------------------------------------------------------------------------------------

void ThroughputAgent::updateDataWithBaseRay(const Ray& base, std::size_t first) {
  if (platform::currentThreadIsCancelled() || first >= m_samplingVertices.size()) return;
  const bool infinite = infiniteConjugate();
  const XYZ P = base.position();
  const XYZ D = base.unitDirector();
  const double n = base.indexOfRefraction();
  std::vector<Ray> rays;
  rays.reserve(m_samplingVertices.size() - first);
  for (std::size_t i = first; i < m_samplingVertices.size(); ++i) {
    const XYZ& q = m_samplingVertices[i]->q();
    Ray r = infinite ? Ray(q, D, n) : Ray(P, q, n);
    r.setWave(base.wave());
    r.tags().field = base.tags().field;
    rays.push_back(std::move(r));
  }
  traceRays(rays);
  for (std::size_t i = first; i < m_samplingVertices.size(); ++i) {
    TriangleNestVertex& v = *m_samplingVertices[i];
    Ray& r = rays[i - first];
    v.setFlagged(r.isAlive());
    v.setPassenger(std::move(r));
  }
}

bool ThroughputAgent::generateSamplingDataForField(const FieldPtr& field, const WavePtr& wave) {
  if (platform::currentThreadIsCancelled() || !m_lens) return false;
  const std::optional<Ray> base = baseRayForField(field, wave);
  if (!base) return false;
  const XYZ P = base->position();
  const XYZ D = base->unitDirector();
  initializeSamplingData();

  XYZ e1, e2;
  frameAbout(D, e1, e2);
  if (infiniteConjugate()) {
    // The pupil: a hexagon through P normal to D, wide enough to hold the entrance pupil.
    TriangleNest::hexagonWithRadius(tracing::entrancePupilDiameter(*m_lens), m_samplingVertices, m_samplingEdges,
                                    m_samplingTriangles);
    for (auto& v : m_samplingVertices) {
      const XYZ q = v->q();
      v->setQ({P.x + q.x * e1.x + q.y * e2.x + q.z * D.x, P.y + q.x * e1.y + q.y * e2.y + q.z * D.y,
               P.z + q.x * e1.z + q.y * e2.z + q.z * D.z});
    }
  } else {
    // The octahedron's four faces about +x: the hemisphere x ≥ 0, made of cone vertices.
    geometry::TriangleNestVertexArray seedVertices;
    TriangleNest::octahedronUsingVertexArray(seedVertices, m_samplingEdges, m_samplingTriangles);
    for (std::size_t position : {6, 5, 2, 1}) m_samplingTriangles.erase(m_samplingTriangles.begin() + position);
    auto frame = std::make_shared<ConeFrame>();
    frame->D = D, frame->e1 = e1, frame->e2 = e2;
    if (m_useLensObjectSpaceNumericalAperture) frame->halfAngle = objectSpaceConeHalfAngle();
    // Replace the seed's vertices by cone vertices in the edges and faces that use them.
    std::vector<std::pair<TriangleNestVertex*, TriangleNestVertex*>> replaced;
    for (auto& v : seedVertices) {
      m_samplingVertices.push_back(std::make_unique<ConeVertex>(v->q(), frame));
      replaced.emplace_back(v.get(), m_samplingVertices.back().get());
    }
    auto swap = [&](TriangleNestVertex*& slot) {
      for (const auto& [from, to] : replaced)
        if (slot == from) {
          slot = to;
          return;
        }
    };
    for (auto& e : m_samplingEdges)
      for (auto& v : e->v()) swap(v);
    for (auto& t : m_samplingTriangles)
      for (auto& v : t->v()) swap(v);
  }

  m_presentDepth = 0;
  while (m_presentDepth < m_initialDepth) {
    if (platform::currentThreadIsCancelled()) return false;
    for (auto& t : m_samplingTriangles) t->subdivideLeavesUsingVertexArray(m_samplingVertices, m_samplingEdges);
    ++m_presentDepth;
  }
  updateDataWithBaseRay(*base, 0);
  if (platform::currentThreadIsCancelled()) return false;

  m_presentDepth = m_initialDepth;
  while (m_presentDepth < m_searchDepth) {
    if (platform::currentThreadIsCancelled()) return false;
    const std::size_t before = m_samplingVertices.size();
    Triangles boundary;
    for (auto& t : m_samplingTriangles) t->addLeavesWithSomeButNotAllVerticesFlaggedToArray(boundary);
    for (auto& v : m_samplingVertices) v->setChecked(false);
    for (TriangleNest* t : boundary)
      for (TriangleNestVertex* v : t->v()) v->setChecked(true);
    // Leaves that merely touch the boundary split as well.
    for (auto& t : m_samplingTriangles)
      t->subdivideLeavesWithAnyVertexCheckedUsingVertexArray(m_samplingVertices, m_samplingEdges);
    if (m_samplingVertices.size() == before) break;
    updateDataWithBaseRay(*base, before);
    ++m_presentDepth;
  }

  Triangles interior = interiorTriangles();
  const std::size_t m = m_samplingVertices.size();
  for (TriangleNest* t : interior) t->generateCenterUsingVertexArray(m_samplingVertices);
  updateDataWithBaseRay(*base, m);
  return !platform::currentThreadIsCancelled();
}

ThroughputAgent::Triangles ThroughputAgent::interiorTriangles() const {
  Triangles out;
  for (const auto& t : m_samplingTriangles) t->addLeavesWithAllVerticesFlaggedToArray(out);
  return out;
}

ThroughputAgent::Triangles ThroughputAgent::partiallyPassingTriangles() const {
  Triangles out;
  for (const auto& t : m_samplingTriangles) t->addLeavesWithAnyVerticesFlaggedToArray(out);
  return out;
}

VKInterval ThroughputAgent::throughputForField(const FieldPtr& field, const WavePtr& wave) {
  if (!generateSamplingDataForField(field, wave)) return VKInterval(0, 0);
  double lower = 0, upper = 0;
  for (const TriangleNest* t : interiorTriangles()) lower += t->area();
  for (const TriangleNest* t : partiallyPassingTriangles()) upper += t->area();
  return VKInterval::intervalWithDoubles(lower, upper);
}

const Ray* ThroughputAgent::passengerRay(const TriangleNestVertex& vertex) {
  return std::any_cast<Ray>(&vertex.passenger());
}

// --- acceptance ------------------------------------------------------------------------------------

CumulativeArea AcceptanceAgent::cumulativeAreaFunctionForTriangles(const Triangles& triangles) {
  // Each triangle spreads its area over s as a piecewise-linear density (a step where
  // the three momenta agree); knots carry the jumps of F, of the density g and of its
  // slope h, and F is integrated across them in order of s.
  struct Knot {
    double s, dF, dg, dh;
  };
  constexpr double kTolerance = 1e-6;
  std::vector<Knot> knots;
  knots.reserve(3 * triangles.size());
  for (const TriangleNest* t : triangles) {
    double s[3];
    for (int k = 0; k < 3; ++k) {
      const Ray* r = passengerRay(*t->v()[k]);
      s[k] = r ? r->transverseMomentumAmplitude() : 0.0;
    }
    std::sort(s, s + 3);
    const double A = t->area();
    const double d01 = s[1] - s[0], d12 = s[2] - s[1], d02 = s[2] - s[0];
    if (d12 <= kTolerance && d01 <= kTolerance) {
      knots.push_back({s[0], A, 0, 0});
    } else if (d12 <= kTolerance) {
      const double k = 2 * A / (d02 * d02);
      knots.push_back({s[0], 0, 0, k});
      knots.push_back({s[2], 0, -k * d02, -k});
    } else if (d01 <= kTolerance) {
      const double k = 2 * A / (d02 * d02);
      knots.push_back({s[0], 0, k * d02, -k});
      knots.push_back({s[2], 0, 0, k});
    } else {
      const double a = 2 * A / (d01 * d02), b = 2 * A / (d12 * d02);
      knots.push_back({s[0], 0, 0, a});
      knots.push_back({s[1], 0, 0, -(a + b)});
      knots.push_back({s[2], 0, 0, b});
    }
  }
  CumulativeArea out;
  if (knots.empty()) return out;
  std::sort(knots.begin(), knots.end(), [](const Knot& a, const Knot& b) { return a.s < b.s; });

  std::vector<double> xs, ys;
  double F = knots[0].dF, g = knots[0].dg, h = knots[0].dh;
  xs.push_back(knots[0].s);
  ys.push_back(F);
  for (std::size_t i = 1; i < knots.size(); ++i) {
    const double delta = knots[i].s - knots[i - 1].s;
    F += g * delta + h * delta * delta / 2 + knots[i].dF;
    g += h * delta + knots[i].dg;
    h += knots[i].dh;
    xs.push_back(knots[i].s);
    ys.push_back(F);
  }
  // Thin: the first and last records, and any further than 0.0001 from the last kept.
  std::vector<double> keptX{xs.front()}, keptY{ys.front()};
  for (std::size_t i = 1; i + 1 < xs.size(); ++i)
    if (xs[i] > keptX.back() + 0.0001) {
      keptX.push_back(xs[i]);
      keptY.push_back(ys[i]);
    }
  if (xs.size() > 1) {
    keptX.push_back(xs.back());
    keptY.push_back(ys.back());
  }
  out.x = VKSeries::seriesWithArray(keptX);
  out.y = VKSeries::seriesWithArray(keptY);
  return out;
}

std::optional<CumulativeArea> AcceptanceAgent::generateAcceptanceDataForField(const FieldPtr& field,
                                                                               const WavePtr& wave) {
  if (!generateSamplingDataForField(field, wave)) return std::nullopt;
  return cumulativeAreaFunctionForTriangles(interiorTriangles());
}

}  // namespace orb::wavefront
