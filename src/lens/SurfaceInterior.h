#pragma once

#include <memory>

namespace orb::lens {

class Surface;

/// The lens body behind a surface, as something a layout can name and select
/// apart from the surface itself. It does not keep the surface alive: once the
/// surface is gone it names nothing.
class SurfaceInterior {
 public:
  explicit SurfaceInterior(const std::shared_ptr<Surface>& surface) : m_surface(surface) {}
  std::shared_ptr<Surface> surface() const { return m_surface.lock(); }

 private:
  std::weak_ptr<Surface> m_surface;
};

}  // namespace orb::lens
