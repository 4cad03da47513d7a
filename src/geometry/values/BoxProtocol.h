#pragma once

namespace orb::geometry {

/// An axis-aligned box as bounders and voxels see it: its six faces.
class BoxProtocol {
 public:
  virtual ~BoxProtocol() = default;
  virtual double xMin() const = 0;
  virtual double xMax() const = 0;
  virtual double yMin() const = 0;
  virtual double yMax() const = 0;
  virtual double zMin() const = 0;
  virtual double zMax() const = 0;
};

/// Tells how a cell lies against a solid (an aperture's passing region, a surface's
/// outline): 2 wholly outside, 1 wholly inside, anything else across it or unknown.
class BoxSurfaceTest {
 public:
  virtual ~BoxSurfaceTest() = default;
  virtual int boxSurfaceTest(const BoxProtocol& cell) const = 0;
};

}  // namespace orb::geometry
