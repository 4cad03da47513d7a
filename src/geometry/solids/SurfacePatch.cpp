#include "geometry/solids/SurfacePatch.h"

#include "geometry/solids/Coding.h"
#include "geometry/solids/PolarIntegration.h"
#include "geometry/solids/PolarMap.h"
#include "geometry/solids/R3Ellipse.h"
#include "geometry/solids/R3Line.h"
#include "geometry/values/GeometryDebug.h"
#include "geometry/values/R3ToR1Map.h"
#include "platform/Exception.h"
#include "platform/Log.h"

namespace orb::geometry {

SurfacePatch::SurfacePatch(R3SurfacePtr surface, R3CurveArray edges)
    : m_surface(std::move(surface)), m_edges(std::move(edges)) {
  for (const auto& e : m_edges)
    if (!e) platform::log("SurfacePatch can not contain class %s", "(null)");
}

void SurfacePatch::encodeWithCoder(platform::Coder& coder) const {
  coding::requireKeyedArchiver(coder);
  coder.encodeObject("surface", platform::Value(m_surface));
  platform::Array edges;
  for (const auto& e : m_edges) edges.push_back(platform::Value(e));
  coder.encodeObject("edges", platform::Value(std::move(edges)));
  coder.encodeBool("trivial", m_trivial);
}

void SurfacePatch::initWithCoder(const platform::Coder& coder) {
  coding::requireKeyedArchiver(coder);
  m_surface = coder.decodeObjectOfClass<R3Surface>("surface");
  m_edges = coder.decodeArrayOfClass<R3Curve>("edges");
  m_trivial = coder.decodeBool("trivial");
}

std::string SurfacePatch::description() const {
  return std::string(m_trivial ? "TrivialPatch" : "SurfacePatch") + "[" +
         (m_surface ? m_surface->description() : std::string("(null)")) + "]";
}

void SurfacePatch::drawUsingOpenGL(DrawingSink& sink) const {
  for (const auto& e : m_edges) {
    if (const auto* segment = dynamic_cast<const R3LineSegment*>(e.get()))
      segment->drawUsingOpenGL(sink);
    else if (const auto* ellipse = dynamic_cast<const R3Ellipse*>(e.get()))
      ellipse->drawUsingOpenGL(sink);
  }
}

double SurfacePatch::areaWithOrigin(const R3PointPtr& origin) const {
  if (debugOutput()) {
    platform::log("areaWithOrigin: %s", origin ? origin->description().c_str() : "(null)");
    platform::log("patch = %s", description().c_str());
  }
  std::shared_ptr<const PolarMap> map = m_surface->polarMapForLocus(origin);
  if (!map)
    throw platform::Exception("NSInternalInconsistencyException",
                              "areaWithOrigin: " + m_surface->description() + " has no polar map");
  auto domain = std::make_shared<VKPolarDomain>(m_edges, map);
  auto radial = std::make_shared<VKRadialIntegrator>();
  radial->operand().setMap(map);
  radial->operand().setChargeDensityFunctor(std::make_shared<R3ToR1MapConstant>(1.0));
  radial->operand().setPointMemory(std::make_shared<R3PointArray>());
  radial->setIntegrationOrder(5);
  VKPolarIntegrator polar;
  polar.setDomain(domain);
  polar.setRadialIntegrator(radial);
  polar.setIntegrationOrder(10);
  // A failure inside the integration reaches the caller: the partial sum it leaves behind
  // is not the area.
  polar.evaluate();
  if (debugOutput()) platform::log("H = %g,%g,%g", polar.integral0(), polar.integral1(), polar.integral2());
  return polar.integral0() * 0.5;
}

}  // namespace orb::geometry
