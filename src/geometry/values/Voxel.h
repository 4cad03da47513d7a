#pragma once

#include "foundation/objects/XYZ.h"
#include "geometry/values/BoxProtocol.h"

namespace orb::geometry {

/// Signs (±1, ±1, ±1) of daughter slot i of a cube: bit 0 is x, bit 1 y, bit 2 z, a clear
/// bit the plus side. (0, 0, 0) outside 0 to 7.
foundation::XYZ subcellDisplacementSignsForIndex(int i);

/// An immutable cube given by its centre and inscribed radius r (half its side).
class Voxel : public BoxProtocol {
 public:
  Voxel() = default;
  Voxel(const foundation::XYZ& center, double inscribedRadius) : m_center(center), m_inscribedRadius(inscribedRadius) {}

  static Voxel voxelWithCenter(const foundation::XYZ& center, double inscribedRadius) {
    return Voxel(center, inscribedRadius);
  }
  /// A copy of another voxel; the zero cube for none. Logged when debugOutput() is on.
  static Voxel voxelWithVoxel(const Voxel* other);
  /// The cube centred on the box's midpoints with half its largest range as radius.
  static Voxel voxelEnclosingExtents(const BoxProtocol& box);

  foundation::XYZ center() const { return m_center; }
  double inscribedRadius() const { return m_inscribedRadius; }
  double xMin() const override { return m_center.x - m_inscribedRadius; }
  double xMax() const override { return m_center.x + m_inscribedRadius; }
  double yMin() const override { return m_center.y - m_inscribedRadius; }
  double yMax() const override { return m_center.y + m_inscribedRadius; }
  double zMin() const override { return m_center.z - m_inscribedRadius; }
  double zMax() const override { return m_center.z + m_inscribedRadius; }

  /// (2r/u)³.
  double volumeInUnitsOf(double u) const;
  /// The corner on the side of daughter slot i; (0, 0, 0) outside 0 to 7.
  foundation::XYZ cornerWithIndex(int i) const;
  /// Strictly inside: a point on a face is not contained.
  bool containsPoint(const foundation::XYZ& p) const;

 private:
  foundation::XYZ m_center{0, 0, 0};
  double m_inscribedRadius = 0;
};

}  // namespace orb::geometry
