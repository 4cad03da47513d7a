#pragma once

#include <memory>
#include <vector>

#include "foundation/objects/XY.h"

namespace orb::platform {
class Color;
}

namespace orb::lens {

/// A 2-D affine map (x', y') = (m11·x + m21·y + tX, m12·x + m22·y + tY), as the planar
/// layouts use it.
struct PlanarAffineTransform {
  double m11 = 1, m12 = 0, m21 = 0, m22 = 1, tX = 0, tY = 0;

  foundation::XY apply(const foundation::XY& p) const {
    return {m11 * p.x + m21 * p.y + tX, m12 * p.x + m22 * p.y + tY};
  }
  /// This map after `first`: p ↦ this(first(p)).
  PlanarAffineTransform after(const PlanarAffineTransform& first) const;
  /// The inverse map; the identity's for a singular one.
  PlanarAffineTransform inverted() const;
};

/// One straight mark of a planar (zy or zx) drawing: `from` and `to` hold (z, y) or
/// (z, x) in the surface's local frame, z first.
struct PlanarSegment {
  foundation::XY from;
  foundation::XY to;

  friend bool operator==(const PlanarSegment&, const PlanarSegment&) = default;
};

/// Separate segments (each starts with a move), as the planar layout strokes them.
using PlanarPath = std::vector<PlanarSegment>;

/// A path of moves, lines and closes, as the layout builds profiles and lens bodies.
class PlanarBezierPath {
 public:
  enum class Op { Move, Line, Close };
  struct Element {
    Op op;
    foundation::XY point;
    friend bool operator==(const Element&, const Element&) = default;
  };

  bool empty() const { return m_elements.empty(); }
  const std::vector<Element>& elements() const { return m_elements; }
  void moveTo(const foundation::XY& p) { m_elements.push_back({Op::Move, p}); }
  void lineTo(const foundation::XY& p) { m_elements.push_back({Op::Line, p}); }
  /// A move on an empty path, else a line: how profiles are appended.
  void addPoint(const foundation::XY& p) { empty() ? moveTo(p) : lineTo(p); }
  void close() { m_elements.push_back({Op::Close, {0, 0}}); }
  /// Appends another path's elements; its first move becomes a line unless this is empty.
  void append(const PlanarBezierPath& other);
  /// Separate segments as moves and lines.
  void appendSegments(const PlanarPath& segments, const PlanarAffineTransform& transform);
  double lineWidth() const { return m_lineWidth; }
  void setLineWidth(double width) { m_lineWidth = width; }

 private:
  std::vector<Element> m_elements;
  double m_lineWidth = 1;
};

/// Where the model draws planar marks; the planar layout views implement it. Lengths are
/// in drawing units (lens units) of the current section.
class PlanarSink {
 public:
  virtual ~PlanarSink() = default;
  virtual void strokePath(const PlanarPath& path, double lineWidth) = 0;
  /// A filled, axis-aligned square of side `side` centred at (z, y) or (z, x).
  virtual void fillSquare(foundation::XY centre, double side) = 0;
};

/// The 2-D painter the layout draws into: a graphics state (colour, transform) that can
/// be saved and restored, paths stroked and filled, and discs. The views paint it with
/// Qt; tests record it.
class Painter2D : public PlanarSink {
 public:
  virtual void saveGraphicsState() = 0;
  virtual void restoreGraphicsState() = 0;
  /// Maps every following drawing by `transform` after the current one.
  virtual void concat(const PlanarAffineTransform& transform) = 0;
  /// Null means black.
  virtual void setColor(const std::shared_ptr<const platform::Color>& color) = 0;
  virtual void stroke(const PlanarBezierPath& path) = 0;
  virtual void fill(const PlanarBezierPath& path) = 0;
  virtual void fillCircle(foundation::XY centre, double radius) = 0;
  virtual void strokeCircle(foundation::XY centre, double radius) = 0;
};

}  // namespace orb::lens
