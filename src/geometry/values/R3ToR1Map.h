#pragma once

#include <memory>

#include "foundation/objects/XYZ.h"
#include "geometry/values/R3Point.h"

namespace orb::geometry {

class R3ToR3Map;

/// A scalar field on 3-space, the integrand of hull integrals and patch areas: 1 for areas
/// and volumes, x, y, z for first moments, the six products for second moments. Immutable.
/// The base field is 0 everywhere.
class R3ToR1Map {
 public:
  virtual ~R3ToR1Map() = default;
  /// At a point's components (an R3Point's xyz()).
  virtual double valueAt(const foundation::XYZ& p) const;
};

class R3ToR1MapConstant : public R3ToR1Map {
 public:
  explicit R3ToR1MapConstant(double value) : m_constantValue(value) {}
  double valueAt(const foundation::XYZ&) const override { return m_constantValue; }

 private:
  double m_constantValue;
};

/// first(p) · second(p).
class R3ToR1MapProduct : public R3ToR1Map {
 public:
  R3ToR1MapProduct(std::shared_ptr<const R3ToR1Map> first, std::shared_ptr<const R3ToR1Map> second)
      : m_firstFunction(std::move(first)), m_secondFunction(std::move(second)) {}
  double valueAt(const foundation::XYZ& p) const override {
    return m_firstFunction->valueAt(p) * m_secondFunction->valueAt(p);
  }

 private:
  std::shared_ptr<const R3ToR1Map> m_firstFunction, m_secondFunction;
};

/// first(p) · second(p) of two vector fields.
class R3ToR1MapInnerProduct : public R3ToR1Map {
 public:
  R3ToR1MapInnerProduct(std::shared_ptr<const R3ToR3Map> first, std::shared_ptr<const R3ToR3Map> second)
      : m_firstFunction(std::move(first)), m_secondFunction(std::move(second)) {}
  double valueAt(const foundation::XYZ& p) const override;

 private:
  std::shared_ptr<const R3ToR3Map> m_firstFunction, m_secondFunction;
};

class R3ToR1MapX : public R3ToR1Map {
 public:
  double valueAt(const foundation::XYZ& p) const override { return p.x; }
};
class R3ToR1MapY : public R3ToR1Map {
 public:
  double valueAt(const foundation::XYZ& p) const override { return p.y; }
};
class R3ToR1MapZ : public R3ToR1Map {
 public:
  double valueAt(const foundation::XYZ& p) const override { return p.z; }
};
class R3ToR1MapXX : public R3ToR1Map {
 public:
  double valueAt(const foundation::XYZ& p) const override { return p.x * p.x; }
};
class R3ToR1MapXY : public R3ToR1Map {
 public:
  double valueAt(const foundation::XYZ& p) const override { return p.x * p.y; }
};
class R3ToR1MapXZ : public R3ToR1Map {
 public:
  double valueAt(const foundation::XYZ& p) const override { return p.x * p.z; }
};
class R3ToR1MapYY : public R3ToR1Map {
 public:
  double valueAt(const foundation::XYZ& p) const override { return p.y * p.y; }
};
class R3ToR1MapYZ : public R3ToR1Map {
 public:
  double valueAt(const foundation::XYZ& p) const override { return p.y * p.z; }
};
class R3ToR1MapZZ : public R3ToR1Map {
 public:
  double valueAt(const foundation::XYZ& p) const override { return p.z * p.z; }
};

/// A vector field on 3-space; the base field is the origin everywhere.
class R3ToR3Map {
 public:
  virtual ~R3ToR3Map() = default;
  virtual foundation::XYZ valueAt(const foundation::XYZ& p) const;
};

class R3ToR3MapConstant : public R3ToR3Map {
 public:
  explicit R3ToR3MapConstant(const foundation::XYZ& v) : m_constantValue(R3Point::pointWithXYZ(v)) {}
  explicit R3ToR3MapConstant(const double* xyz) : m_constantValue(R3Point::pointWithDoubles(xyz)) {}
  /// Keeps the point itself.
  explicit R3ToR3MapConstant(std::shared_ptr<R3Point> point) : m_constantValue(std::move(point)) {}
  foundation::XYZ valueAt(const foundation::XYZ&) const override { return m_constantValue->xyz(); }
  const std::shared_ptr<R3Point>& constantValue() const { return m_constantValue; }

 private:
  std::shared_ptr<R3Point> m_constantValue;
};

}  // namespace orb::geometry
