#pragma once

#include <algorithm>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "geometry/solids/R3Curve.h"
#include "geometry/solids/R3Surface.h"
#include "geometry/values/DrawingSink.h"
#include "platform/Object.h"

namespace orb::geometry {

/// One face of a hull: the piece of a surface bounded by edge curves. Immutable apart from
/// the trivial mark.
class SurfacePatch : public platform::Object {
 public:
  /// Keeps a copy of the edge array (a null member is logged and kept).
  SurfacePatch(R3SurfacePtr surface, R3CurveArray edges);
  /// An empty patch, for an unarchiver to fill in with initWithCoder.
  SurfacePatch() = default;
  static std::shared_ptr<SurfacePatch> patchWithSurface(R3SurfacePtr surface, R3CurveArray edges) {
    return platform::makeObject<SurfacePatch>(std::move(surface), std::move(edges));
  }

  std::string className() const override { return "SurfacePatch"; }
  /// Keys "surface", "edges" and "trivial"; a keyed coder only. The surface and the edges
  /// archive as themselves, so only surfaces and curves with coding can be archived.
  void encodeWithCoder(platform::Coder& coder) const override;
  void initWithCoder(const platform::Coder& coder) override;
  /// "SurfacePatch[surface]", or "TrivialPatch[surface]" for a whole surface.
  std::string description() const override;

  const R3SurfacePtr& surface() const { return m_surface; }
  const R3CurveArray& edges() const { return m_edges; }
  bool trivial() const { return m_trivial; }
  void setTrivial(bool trivial) { m_trivial = trivial; }

  bool advancingUponOrigin() const { return m_surface->advancingUponOrigin(); }
  /// Strictly on the side the surface's normal points to.
  bool advancingUponPoint(const XYZValue& p) const { return m_surface->advancingUponPoint(p); }

  /// Draws each edge (segments and elliptic arcs; other curves have no drawing).
  void drawUsingOpenGL(DrawingSink& sink) const;

  /// The patch's area by polar integration about the origin point (a point of the patch).
  /// A failure of the integration propagates: a partial sum is never an area.
  double areaWithOrigin(const R3PointPtr& origin) const;

 private:
  R3SurfacePtr m_surface;
  R3CurveArray m_edges;
  bool m_trivial = false;
};

using SurfacePatchPtr = std::shared_ptr<SurfacePatch>;
using SurfacePatchArray = std::vector<SurfacePatchPtr>;

/// Side tests over sets of surfaces or patches.
struct Advancers {
  template <class A>
  static std::shared_ptr<A> firstObjectInArray(const std::vector<std::shared_ptr<A>>& advancers, const XYZValue& p) {
    for (const auto& a : advancers)
      if (a->advancingUponPoint(p)) return a;
    return nullptr;
  }
  /// The curves, in order, whose test point no advancer lies strictly behind.
  template <class A>
  static R3CurveArray curvesNotAdvancedUpon(const R3CurveArray& curves, const std::vector<std::shared_ptr<A>>& advancers) {
    R3CurveArray out;
    for (const auto& c : curves) {
      const auto t = c->testPoint();
      if (!t || !firstObjectInArray(advancers, *t)) out.push_back(c);
    }
    return out;
  }
};

/// Connected groups in nets of curves and points. Members are compared by identity.
struct NetAnalysis {
  /// Every member of every chain, once.
  template <class T>
  static std::set<T> verticesForChains(const std::vector<std::vector<T>>& chains) {
    std::set<T> out;
    for (const auto& c : chains) out.insert(c.begin(), c.end());
    return out;
  }
  /// The unordered pairs of consecutive vertices of each loop, the closing pair included.
  template <class T>
  static std::set<std::set<T>> edgesForLoops(const std::vector<std::vector<T>>& loops) {
    std::set<std::set<T>> out;
    for (const auto& loop : loops)
      for (std::size_t i = 0; i < loop.size(); ++i) out.insert(std::set<T>{loop[i], loop[(i + 1) % loop.size()]});
    return out;
  }
  /// Arrays that share a member (by identity, directly or through others) merge into one
  /// group; groups in the order of their first arrays, members in the order they joined.
  template <class T>
  static std::vector<std::vector<T>> mergeIntersectingArrays(const std::vector<std::vector<T>>& arrays) {
    std::vector<std::vector<T>> work(arrays), out;
    const auto contains = [](const std::vector<T>& v, const T& x) { return std::find(v.begin(), v.end(), x) != v.end(); };
    while (!work.empty()) {
      std::vector<T> group;
      for (const auto& x : work.front())
        if (!contains(group, x)) group.push_back(x);
      work.erase(work.begin());
      for (bool merged = true; merged;) {
        merged = false;
        for (std::size_t i = 0; i < work.size();) {
          const bool shares = std::any_of(work[i].begin(), work[i].end(), [&](const T& x) { return contains(group, x); });
          if (!shares) {
            ++i;
            continue;
          }
          for (const auto& x : work[i])
            if (!contains(group, x)) group.push_back(x);
          work.erase(work.begin() + static_cast<long>(i));
          merged = true;
        }
      }
      out.push_back(std::move(group));
    }
    return out;
  }
};

}  // namespace orb::geometry
