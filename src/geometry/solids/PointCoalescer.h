#pragma once

#include <memory>
#include <vector>

#include "foundation/objects/XYZ.h"
#include "geometry/values/XYZValue.h"

namespace orb::geometry {

/// Makes nearly equal points one object, so that later steps can compare points by
/// identity: the corner where three surfaces meet, found on each of the three curves.
///
/// A point matches a representative when it lies within the tolerance on every axis (a
/// box, not a ball); the earliest representative that matches wins, so the result depends
/// on the order of adding. Representatives are never removed. The scan is linear: keep one
/// coalescer per operation and per kind of quantity.
class PointCoalescer {
 public:
  explicit PointCoalescer(double tolerance = 1e-10) : m_tol(tolerance) {}
  virtual ~PointCoalescer() = default;

  double tolerance() const { return m_tol; }

  /// The representative for p, adding p as a new one when none matches; null for null.
  virtual std::shared_ptr<XYZValue> addPoint(const std::shared_ptr<XYZValue>& p);
  /// addPoint for a caller that wants its own point class back (the representative's
  /// class must be P or derive from it, as it does when a coalescer holds one class).
  template <class P>
  std::shared_ptr<P> addPointAs(const std::shared_ptr<P>& p) {
    return std::dynamic_pointer_cast<P>(addPoint(p));
  }
  /// As addPoint, but p is stored only when `add` is set; an unmatched p is returned
  /// either way.
  std::shared_ptr<XYZValue> coalescePoint(const std::shared_ptr<XYZValue>& p, bool add);
  /// addPoint of each member, in order.
  std::vector<std::shared_ptr<XYZValue>> addPointsInArray(const std::vector<std::shared_ptr<XYZValue>>& points);
  /// The representatives in the order first added.
  std::vector<std::shared_ptr<XYZValue>> pointArray() const { return m_masterPointArray; }

 protected:
  /// Index of the first representative within tol of p on every axis (of −p too when
  /// `eitherSign`), or −1.
  long find(const foundation::XYZ& p, bool eitherSign) const;
  void append(const std::shared_ptr<XYZValue>& p);

 private:
  double m_tol;
  std::vector<std::shared_ptr<XYZValue>> m_masterPointArray;
  std::vector<foundation::XYZ> m_coordinates;  // the representatives' components, scanned contiguously
};

/// Coalesces directions taken up to sign: a vector matches a representative or its
/// negative.
class UnorientedCoalescer : public PointCoalescer {
 public:
  using PointCoalescer::PointCoalescer;
  std::shared_ptr<XYZValue> addPoint(const std::shared_ptr<XYZValue>& p) override;
};

}  // namespace orb::geometry
