#include "geometry/solids/PolarIntegration.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "foundation/platform/ArrayExtensions.h"
#include "geometry/solids/Ordering.h"
#include "geometry/solids/R3Plane.h"
#include "geometry/values/GeometryDebug.h"
#include "platform/Log.h"

namespace orb::geometry {

using foundation::XYZ;

// --- VKRadialRangeFinder ----------------------------------------------------------------------

void VKRadialRangeFinder::setupForAngle(double theta) {
  const auto plane = m_map->planeForCosTheta(std::cos(theta), std::sin(theta));
  m_activeCurves.clear();
  for (const auto& curve : m_curves)
    if (!curve->intersectionsWithPlane(*plane).empty()) m_activeCurves.push_back(curve);
}

R3PointArray VKRadialRangeFinder::crossingsForCurves(const R3CurveArray& curves, const R3Plane& plane) {
  R3PointArray out;
  for (const auto& curve : curves)
    for (auto& p : curve->intersectionsWithPlane(plane)) out.push_back(std::move(p));
  return out;
}

std::vector<double> VKRadialRangeFinder::crossingsForAngle(double theta) const {
  const double c = std::cos(theta), s = std::sin(theta);
  const auto plane = m_map->planeForCosTheta(c, s);
  std::vector<double> values = m_map->sagittalCoordinatesForPoints(crossingsForCurves(m_curves, *plane), c, s);
  values.push_back(0);
  for (double limit : m_map->sagittalLimits()) values.push_back(limit);
  std::erase_if(values, [](double v) { return !(v >= 0.0); });
  std::sort(values.begin(), values.end());
  std::vector<double> out;
  for (std::size_t i = 0; i + 1 < values.size(); i += 2)
    if (values[i + 1] - values[i] > 1e-10) out.insert(out.end(), {values[i], values[i + 1]});
  return out;
}

void VKRadialRangeFinder::setAngle(double theta) {
  m_crossings = crossingsForAngle(theta);
  m_isSingleInterval = m_crossings.size() == 2;
  m_xMin = m_crossings.empty() ? 0 : m_crossings.front();
  m_xMax = m_crossings.empty() ? 0 : m_crossings.back();
}

// --- VKPolarDomain ------------------------------------------------------------------------------

VKPolarDomain::VKPolarDomain(R3CurveArray edges, std::shared_ptr<const PolarMap> map)
    : m_map(std::move(map)), m_edges(std::move(edges)) {
  const auto locus = m_map->locus();
  const auto normal = m_map->normal();
  for (const auto& edge : m_edges) {
    for (double a : m_map->anglesForPoints(edge->endpoints())) m_thetaArray.push_back(a);
    const auto tangentPoints = edge->tangentPointsForLocus(*locus, *normal);
    if (debugOutput()) platform::log("tangentPoints: %zu", tangentPoints.size());
    for (double a : m_map->anglesForPoints(tangentPoints)) m_thetaArray.push_back(a);
  }
  m_rangeFinder = std::make_unique<VKRadialRangeFinder>(m_map, m_edges);
}

std::vector<double> VKPolarDomain::angularMilestones() const {
  std::vector<double> angles = m_thetaArray;
  std::sort(angles.begin(), angles.end(), lessNaNLast);
  if (angles.empty())
    angles = {0, 2 * M_PI};
  else
    angles.push_back(angles.front() + 2 * M_PI);
  return foundation::runToOne(angles);
}

// --- BSSagittalOperand ------------------------------------------------------------------------

void BSSagittalOperand::setTheta(double theta) {
  m_cosTheta = std::cos(theta);
  m_sinTheta = std::sin(theta);
}

double BSSagittalOperand::evaluateAt(double s) {
  m_q = m_map->pointForSagittalCoordinate(s, m_cosTheta, m_sinTheta);
  m_J = m_map->surfaceElementSizeForSagittalCoordinate(s, m_cosTheta, m_sinTheta);
  const double Q = m_Q ? m_Q->valueAt(m_q->xyz()) : 0;
  m_f = m_J * Q;
  if (debugOutput()) platform::log("q=%s,J=%g,Q=%g,f=%g", m_q->description().c_str(), m_J, Q, m_f);
  if (m_pointMemory) m_pointMemory->push_back(m_q);
  return m_f;
}

R3PointPtr BSSagittalOperand::tangentAtOrigin() const {
  return m_map->directorForSagittalCoordinate(0, m_cosTheta, m_sinTheta);
}

// --- VKRadialIntegrator -----------------------------------------------------------------------

void VKRadialIntegrator::setIntegrationOrder(int n) {
  if (n != m_integrationOrder) m_integrator.reset();
  m_integrationOrder = n;
}

const foundation::IntegratorXYZ& VKRadialIntegrator::integrator() {
  if (!m_integrator) m_integrator = foundation::GaussLegendreIntegrator::integratorForOrder(m_integrationOrder);
  return *m_integrator;
}

XYZ VKRadialIntegrator::integrand(double u) { return {m_operand.evaluateAt(std::sqrt(u)), 0, 0}; }

void VKRadialIntegrator::evaluate() {
  const foundation::FunctorXYZ f([this](double u) { return integrand(u); });
  const XYZ r = integrator().integrateFunctorXYZ(f, m_rSquaredMin, m_rSquaredMax);
  m_integral[0] = r.x, m_integral[1] = r.y, m_integral[2] = r.z;
}

// --- VKPolarIntegrator ------------------------------------------------------------------------

void VKPolarIntegrator::evaluate() {
  std::fill(m_integral, m_integral + 4, 0.0);
  const int n = m_integrationOrder;
  if (!m_domain || !m_radialIntegrator || n < 2) return;
  VKRadialRangeFinder& finder = m_domain->rangeFinder();
  const std::vector<double> milestones = m_domain->angularMilestones();

  std::vector<double> node(n), weight(n);
  foundation::tanhSinhNodes(n, node.data(), weight.data(), 5.0 / (n - 1));
  // An even order yields the node 0 twice; taking the middle ray twice would weigh it
  // double and leave an error of the order of the step, so it is taken once.
  for (std::size_t i = 1; i < node.size(); ++i)
    if (node[i] == node[i - 1]) {
      node.erase(node.begin() + static_cast<long>(i));
      weight.erase(weight.begin() + static_cast<long>(i));
      break;
    }
  double total = 0;
  for (double w : weight) total += w;
  for (double& w : weight) w *= 2 / total;  // so that the weights integrate 1 to 2 exactly

  VKRadialIntegrator& radial = *m_radialIntegrator;
  for (std::size_t k = 0; k + 1 < milestones.size(); ++k) {
    const double a = milestones[k], b = milestones[k + 1];
    if (std::fabs(b - a) < 1e-9) continue;
    const double mid = (a + b) / 2, half = (b - a) / 2;
    finder.setupForAngle(mid);
    if (!finder.isNontrivial()) continue;
    double sector[4] = {0, 0, 0, 0};
    for (std::size_t i = 0; i < node.size(); ++i) {
      const double theta = node[i] * half + mid;
      radial.operand().setTheta(theta);
      finder.setAngle(theta);
      double ray[4] = {0, 0, 0, 0};
      const auto& crossings = finder.crossings();
      for (std::size_t j = 0; j + 1 < crossings.size(); j += 2) {
        radial.setIntegrationLowerLimit(crossings[j]);
        radial.setIntegrationUpperLimit(crossings[j + 1]);
        radial.evaluate();
        ray[0] += radial.integral0(), ray[1] += radial.integral1(), ray[2] += radial.integral2();
        ray[3] += radial.integral3();
      }
      for (int c = 0; c < 4; ++c) sector[c] += weight[i] * ray[c];
    }
    for (int c = 0; c < 4; ++c) m_integral[c] += half * sector[c];
  }
}

// --- BSParametrizedThetaFinder ----------------------------------------------------------------

std::string BSParametrizedThetaFinder::description() const {
  return (m_curve ? m_curve->description() : std::string("(null)")) + " " +
         (m_map ? m_map->description() : std::string("(null)")) + " " +
         (m_thetaFinder ? std::string("VKThetaFinder") : std::string("(null)"));
}

foundation::XY BSParametrizedThetaFinder::offsetAt(double t) const {
  if (!m_curve || !m_map) return {std::cos(t), std::sin(t)};
  const auto p = m_curve->pointForParameter(t);
  const foundation::XY w = m_map->R2ForR3(*p);
  return {w.x - m_s0, w.y - m_t0};
}

double BSParametrizedThetaFinder::valueAt(double t) const {
  const foundation::XY v = offsetAt(t);
  return m_thetaFinder ? m_thetaFinder->angleForDoubles(v.x, v.y) : std::atan2(v.y, v.x);
}

double BSParametrizedThetaFinder::radiusAt(double t) const {
  const foundation::XY v = offsetAt(t);
  return std::hypot(v.x, v.y);
}

}  // namespace orb::geometry
