#pragma once

#include <memory>
#include <string>
#include <vector>

#include "foundation/objects/TransformationMatrix.h"
#include "foundation/objects/XYZ.h"

namespace orb::platform {
class Object;
}

namespace orb::tracing {

/// One recorded point of a ray's path (global coordinates), for layouts, 3-D views, DXF
/// export and trace listings.
struct RayVertex {
  /// Reduced path length at which a gradient-index pusher took the point; 0 otherwise.
  /// Not carried by copyVertex.
  double reducedPathLength = 0;
  foundation::XYZ position{0, 0, 0};
  foundation::XYZ momentum{0, 0, 0};
  /// The surface the point belongs to (not owned; the lens outlives its rays' listings).
  const platform::Object* surface = nullptr;

  /// The vertex without its reduced path length.
  RayVertex copyVertex() const { return RayVertex{0, position, momentum, surface}; }
  void transformByMatrix(const foundation::TransformationMatrix& m) {
    position = foundation::applyToPoint(m, position);
    momentum = foundation::applyToDirection(m, momentum);
  }
  void transformPositionByMatrix(const foundation::TransformationMatrix& m) {
    position = foundation::applyToPoint(m, position);
  }
  void transformMomentumByMatrix(const foundation::TransformationMatrix& m) {
    momentum = foundation::applyToDirection(m, momentum);
  }
  /// "<RayVertex>q=(…)p=(…) surface <description>".
  std::string description() const;
};

/// A ray's recorded path, in path order.
using Trajectory = std::vector<RayVertex>;

namespace detail {
/// A sole-owner pointer whose copies copy the pointee: keeps a value type small when a
/// member is usually absent.
template <class T>
class CopyingPtr {
 public:
  CopyingPtr() = default;
  CopyingPtr(const CopyingPtr& o) : m_p(o.m_p ? std::make_unique<T>(*o.m_p) : nullptr) {}
  CopyingPtr& operator=(const CopyingPtr& o) {
    if (this != &o) m_p = o.m_p ? std::make_unique<T>(*o.m_p) : nullptr;
    return *this;
  }
  CopyingPtr(CopyingPtr&&) noexcept = default;
  CopyingPtr& operator=(CopyingPtr&&) noexcept = default;
  void reset(T* p = nullptr) { m_p.reset(p); }
  T* get() const { return m_p.get(); }
  T* operator->() const { return m_p.get(); }
  T& operator*() const { return *m_p; }
  explicit operator bool() const { return static_cast<bool>(m_p); }

 private:
  std::unique_ptr<T> m_p;
};
}  // namespace detail

}  // namespace orb::tracing
