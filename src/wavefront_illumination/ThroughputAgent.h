#pragma once

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "foundation/linear/VKInterval.h"
#include "foundation/linear/VKSeries.h"
#include "geometry/values/TriangleNest.h"
#include "tracing/Ray.h"

namespace orb::lens {
class Aperture;
class Field;
class Lens;
class Surface;
class Wave;
}  // namespace orb::lens

namespace orb::wavefront {

/// Measures how much of the light leaving one field point at one wavelength gets through
/// a lens: the passing part of the entrance-pupil area (object at infinity, mm²) or of the
/// hemisphere of directions about the chief ray (finite object, steradians).
///
/// The domain is sampled by an adaptive triangle mesh: a seed (a flat hexagon of radius
/// the entrance-pupil diameter, or the four octants of the unit sphere around the base
/// ray) is split uniformly `initialDepth` times, every vertex is traced as a ray, and the
/// triangles that touch the boundary between passing and failing rays are split further
/// until `searchDepth`. Triangles whose three rays pass bound the passing part from below,
/// triangles with any passing ray from above.
///
/// An agent runs on its caller's thread and polls the thread's cancelled flag. It reads
/// the lens only; a caller that shares the lens with other threads holds its lock.
class ThroughputAgent {
 public:
  using LensPtr = std::shared_ptr<lens::Lens>;
  using SurfacePtr = std::shared_ptr<lens::Surface>;
  using FieldPtr = std::shared_ptr<lens::Field>;
  using WavePtr = std::shared_ptr<lens::Wave>;
  using Triangles = std::vector<geometry::TriangleNest*>;

  ThroughputAgent() = default;
  virtual ~ThroughputAgent() = default;
  ThroughputAgent(const ThroughputAgent&) = delete;
  ThroughputAgent& operator=(const ThroughputAgent&) = delete;

  const LensPtr& lens() const { return m_lens; }
  void setLens(LensPtr lens) { m_lens = std::move(lens); }
  /// The surface the rays are traced to and filtered at; null traces through the whole
  /// lens, with nothing for the aperture filter to test.
  const SurfacePtr& surface() const { return m_surface; }
  void setSurface(SurfacePtr surface) { m_surface = std::move(surface); }
  bool paraxial() const { return m_paraxial; }
  void setParaxial(bool on) { m_paraxial = on; }
  /// Uniform subdivision passes (3 by default).
  int initialDepth() const { return m_initialDepth; }
  void setInitialDepth(int depth) { m_initialDepth = depth; }
  /// Depth up to which boundary triangles are refined (8 by default).
  int searchDepth() const { return m_searchDepth; }
  void setSearchDepth(int depth) { m_searchDepth = depth; }
  /// The depth the last sampling reached.
  int presentDepth() const { return m_presentDepth; }
  /// Finite objects: sample only the cone of the lens's object-space numerical aperture.
  bool useLensObjectSpaceNumericalAperture() const { return m_useLensObjectSpaceNumericalAperture; }
  void setUseLensObjectSpaceNumericalAperture(bool on) { m_useLensObjectSpaceNumericalAperture = on; }

  /// The lens's object is at infinity (false without a lens).
  bool infiniteConjugate() const;
  /// Half-angle in radians of the cone that the numerical-aperture restriction samples:
  /// asin(NA / n) of the lens's object space, π/2 when that is not below 1 or the lens
  /// gives no aperture.
  double objectSpaceConeHalfAngle() const;

  /// Drops the mesh of the last sampling.
  void initializeSamplingData();
  /// Traces the rays to the agent's surface (paraxially when set), then filters them there.
  void traceRays(std::span<tracing::Ray> rays) const;
  /// Kills the rays that the surface's aperture does not pass (positions read in the
  /// surface's frame). Filtering agents override it.
  virtual void filterRays(std::span<tracing::Ray> rays, const lens::Surface* surface) const;
  static void filterRaysByAperture(std::span<tracing::Ray> rays, const lens::Surface& surface,
                                   const lens::Aperture& aperture);

  /// The ray that anchors the mesh: the chief ray when it passes, else the middle ray of
  /// the first passing run of a fan across the object-space directions (finite object)
  /// or across the pupil (object at infinity). None when nothing passes.
  std::optional<tracing::Ray> baseRayForField(const FieldPtr& field, const WavePtr& wave) const;
  /// Traces a ray for every vertex from `first` on and flags those that pass.
  void updateDataWithBaseRay(const tracing::Ray& base, std::size_t first);
  /// Builds and traces the mesh; false when cancelled or without a base ray.
  bool generateSamplingDataForField(const FieldPtr& field, const WavePtr& wave);
  /// [area of the fully passing leaves, area of the leaves with any passing vertex];
  /// [0, 0] when sampling fails.
  foundation::VKInterval throughputForField(const FieldPtr& field, const WavePtr& wave);

  /// The leaves whose three vertices pass (after sampling). Each vertex's passenger is
  /// its traced tracing::Ray.
  Triangles interiorTriangles() const;
  /// Every leaf with some vertex passing.
  Triangles partiallyPassingTriangles() const;
  const geometry::TriangleNestArray& samplingTriangles() const { return m_samplingTriangles; }
  const geometry::TriangleNestVertexArray& samplingVertices() const { return m_samplingVertices; }

  /// The traced ray a vertex carries, or null.
  static const tracing::Ray* passengerRay(const geometry::TriangleNestVertex& vertex);

 private:
  LensPtr m_lens;
  SurfacePtr m_surface;
  bool m_paraxial = false;
  bool m_useLensObjectSpaceNumericalAperture = false;
  int m_initialDepth = 3;
  int m_searchDepth = 8;
  int m_presentDepth = 0;
  geometry::TriangleNestVertexArray m_samplingVertices;
  geometry::TriangleNestEdgeArray m_samplingEdges;
  geometry::TriangleNestArray m_samplingTriangles;
};

/// A throughput agent with a filter at the target surface: "None" (and an empty type)
/// filters nothing, "Surface" tests the surface's aperture, "Radius" kills the rays whose
/// position lies further than `filterRadius` from the axis.
class FilteringAgent : public ThroughputAgent {
 public:
  const std::string& filterType() const { return m_filterType; }
  void setFilterType(std::string type) { m_filterType = std::move(type); }
  /// In lens length units.
  double filterRadius() const { return m_filterRadius; }
  void setFilterRadius(double radius) { m_filterRadius = radius; }

  void filterRays(std::span<tracing::Ray> rays, const lens::Surface* surface) const override;
  /// Kills the rays with x² + y² > r² ("Ray radius outside acceptance radius").
  static void filterRaysByRadius(std::span<tracing::Ray> rays, double radius);

 private:
  std::string m_filterType;
  double m_filterRadius = 0;
};

/// The passing area as a cumulative function F(s) of the rays' transverse momentum s:
/// F(s) is the area of the passing triangles over which the momentum is below s, taking
/// the momentum to vary linearly across each triangle.
struct CumulativeArea {
  foundation::VKSeries x{0};  ///< transverse momentum, ascending
  foundation::VKSeries y{0};  ///< passing area up to it
};

/// A filtering agent that also answers the passing solid angle against the transverse
/// momentum of the rays at the target: the lens's acceptance. The callable core of the
/// acceptance analysis and of the optimiser's acceptance operand.
class AcceptanceAgent : public FilteringAgent {
 public:
  /// The function over `triangles` (each vertex carrying its traced ray); empty series
  /// for no triangles.
  static CumulativeArea cumulativeAreaFunctionForTriangles(const Triangles& triangles);
  /// Samples the field and wave and answers the function of the fully passing
  /// triangles; none when sampling fails (cancelled, nothing passes).
  std::optional<CumulativeArea> generateAcceptanceDataForField(const FieldPtr& field, const WavePtr& wave);
};

}  // namespace orb::wavefront
