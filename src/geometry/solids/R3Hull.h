#pragma once

#include <memory>
#include <string>
#include <vector>

#include "foundation/objects/XYZ.h"
#include "foundation/objects/XYZTensor.h"
#include "geometry/solids/R3Surface.h"
#include "geometry/solids/SurfacePatch.h"
#include "platform/Object.h"

namespace orb::geometry {

/// A closed solid: the intersection of the inner sides of its bounding surfaces, as the
/// patches of those surfaces that bound it. Immutable apart from its caches (edges, area,
/// volume and moments are computed once, on first request; a failed computation leaves
/// nothing cached).
class R3Hull : public platform::Object {
 public:
  /// Takes the next reference number and builds the edges at once.
  explicit R3Hull(SurfacePatchArray patches);
  /// An empty hull with the next reference number, for an unarchiver to fill in with
  /// initWithCoder (the edges are built on first use).
  R3Hull();

  /// Intersects every pair of surfaces, cuts the curves where the other surfaces cross
  /// them, drops the pieces outside any other surface and groups what is left into
  /// patches (in ascending order of the surfaces' exact descriptions). Null when no patch
  /// forms. Exceptions of the surface and curve operations pass through.
  static std::shared_ptr<R3Hull> hullWithSurfaces(const std::vector<R3SurfacePtr>& surfaces);
  static std::shared_ptr<R3Hull> hullWithPatches(SurfacePatchArray patches);
  /// Groups of edges linked through shared end points; closed curves join one group with
  /// every other edge.
  static std::vector<R3CurveArray> connectedEdgesForEdges(const R3CurveArray& edges);

  std::string className() const override { return "R3Hull"; }
  /// Key "patches"; a keyed coder only. Edges and the cached integrals are not archived.
  void encodeWithCoder(platform::Coder& coder) const override;
  void initWithCoder(const platform::Coder& coder) override;
  /// "Hull#%d[patches]".
  std::string description() const override;

  int referenceNumber() const { return m_referenceNumber; }
  const SurfacePatchArray& patches() const { return m_patches; }
  /// Each distinct edge once.
  const R3CurveArray& edges() const;
  /// The distinct end-point objects of the edges.
  R3PointArray points() const;
  /// points − edges + patches.
  int eulerSum() const;
  /// The hull of the surfaces of both (a surface repeated within 1e-6 as a quadric is taken
  /// once); null when they do not meet.
  std::shared_ptr<R3Hull> intersectionWithHull(const R3Hull& other) const;
  /// A point of the patch, the polar origin of its area integral.
  R3PointPtr testPointForPatch(const SurfacePatch& patch) const;

  double surfaceArea() const;
  double volume() const;
  foundation::XYZ firstMomentVector() const;
  foundation::XYZTensor secondMomentTensor() const;

 private:
  void makeEdges() const;

  int m_referenceNumber;
  SurfacePatchArray m_patches;
  mutable R3CurveArray m_edges;
  mutable bool m_haveEdges = false;
  mutable bool m_haveSurfaceArea = false, m_haveVolume = false, m_haveFirstMomentVector = false,
               m_haveSecondMomentTensor = false;
  mutable double m_surfaceArea = 0, m_volume = 0;
  mutable foundation::XYZ m_firstMomentVector{};
  mutable foundation::XYZTensor m_secondMomentTensor{};
};

using R3HullPtr = std::shared_ptr<R3Hull>;

}  // namespace orb::geometry
