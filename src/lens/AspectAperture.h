#pragma once

#include <cmath>

#include "lens/Aperture.h"

namespace orb::lens {

/// An aperture given by half widths in x and y about the decentre. With
/// u = (x − decenterX) / xRadius and v = (y − decenterY) / yRadius (0 for an infinite
/// radius, which leaves that direction unlimited), the elliptical shape passes
/// u² + v² ≤ 1 and the rectangular |u| ≤ 1 and |v| ≤ 1.
class AspectAperture : public Aperture {
 public:
  double xRadius() const override { return m_xRadius; }
  double yRadius() const override { return m_yRadius; }
  void setXRadius(double r);
  void setYRadius(double r);
  bool xRadiusIsVariable() const { return m_xRadiusIsVariable; }
  bool yRadiusIsVariable() const { return m_yRadiusIsVariable; }
  void setXRadiusIsVariable(bool v);
  void setYRadiusIsVariable(bool v);

  /// The larger of the two radii.
  double rMax() const override { return m_xRadius > m_yRadius ? m_xRadius : m_yRadius; }
  double xMin() const override { return decenterX() - m_xRadius; }
  double xMax() const override { return decenterX() + m_xRadius; }
  double yMin() const override { return decenterY() - m_yRadius; }
  double yMax() const override { return decenterY() + m_yRadius; }
  bool isAxisymmetric() const override { return false; }

  std::vector<std::string> possibleVariables() const override {
    return {"decenterX", "decenterY", "xRadius", "yRadius"};
  }
  std::vector<std::string> informationImportKeys() const override {
    return {"isSoft", "decenterX", "decenterY", "xRadius", "yRadius"};
  }
  /// "radii: x %g, y %g; decenter: x %g, y %g".
  std::string apertureDescription() const override;
  std::optional<std::string> sheetNibName() const override { return "SVRectangularAperture"; }

  std::string className() const override { return "AspectAperture"; }
  const platform::KeyTable& keys() const override { return classKeys(); }
  static const platform::KeyTable& classKeys();
  void encodeWithCoder(platform::Coder& coder) const override;
  void initWithCoder(const platform::Coder& coder) override;

 protected:
  /// u and v of the shape tests.
  double u(double x) const { return std::isinf(m_xRadius) ? 0.0 : (x - decenterX()) / m_xRadius; }
  double v(double y) const { return std::isinf(m_yRadius) ? 0.0 : (y - decenterY()) / m_yRadius; }
  bool ellipseShapePasses(double x, double y) const {
    double uu = u(x), vv = v(y);
    return uu * uu + vv * vv <= 1;
  }
  bool rectangleShapePasses(double x, double y) const {
    double uu = u(x), vv = v(y);
    return -1 <= uu && uu <= 1 && -1 <= vv && vv <= 1;
  }
  int ellipseBoxTest(const geometry::BoxProtocol& box) const;
  int rectangleBoxTest(const geometry::BoxProtocol& box) const;

 private:
  double m_xRadius = 0;
  double m_yRadius = 0;
  bool m_xRadiusIsVariable = false;
  bool m_yRadiusIsVariable = false;
};

class EllipticalAperture : public AspectAperture {
 public:
  static std::shared_ptr<EllipticalAperture> apertureWithXRadius(double xRadius, double yRadius);
  bool shapePasses(double x, double y) const override { return ellipseShapePasses(x, y); }
  int boxSurfaceTest(const geometry::BoxProtocol& box) const override { return ellipseBoxTest(box); }
  bool canGenerateRandomPoint() const override { return true; }
  foundation::XY randomPointInAperture() const override;
  std::shared_ptr<Aperture> makeEmpty() const override { return platform::makeObject<EllipticalAperture>(); }
  /// "ELAP %g %g" of the radii.
  std::optional<std::string> zemaxCommandForApertureType() const override;
  std::string className() const override { return "EllipticalAperture"; }

 protected:
  void draw(geometry::DrawingSink& sink, const DrawOptions& options) const override;
};

/// Blocks exactly what the elliptical aperture of the same radii passes.
class EllipticalObscuration : public EllipticalAperture {
 public:
  static std::shared_ptr<EllipticalObscuration> apertureWithXRadius(double xRadius, double yRadius);
  bool shapePasses(double x, double y) const override { return !ellipseShapePasses(x, y); }
  /// The axis outside the blocked span (and through a hole): where light passes.
  std::vector<foundation::VKInterval> xIntervals() const override { return complementOf(EllipticalAperture::xIntervals()); }
  std::vector<foundation::VKInterval> yIntervals() const override { return complementOf(EllipticalAperture::yIntervals()); }
  bool canGenerateRandomPoint() const override { return false; }
  std::shared_ptr<Aperture> makeEmpty() const override { return platform::makeObject<EllipticalObscuration>(); }
  /// "ELOB %g %g".
  std::optional<std::string> zemaxCommandForApertureType() const override;
  std::string className() const override { return "EllipticalObscuration"; }

 protected:
  void draw(geometry::DrawingSink& sink, const DrawOptions& options) const override;
};

class RectangularAperture : public AspectAperture {
 public:
  static std::shared_ptr<RectangularAperture> apertureWithXRadius(double xRadius, double yRadius);
  bool shapePasses(double x, double y) const override { return rectangleShapePasses(x, y); }
  int boxSurfaceTest(const geometry::BoxProtocol& box) const override { return rectangleBoxTest(box); }
  bool canGenerateRandomPoint() const override { return true; }
  foundation::XY randomPointInAperture() const override;
  std::shared_ptr<Aperture> makeEmpty() const override { return platform::makeObject<RectangularAperture>(); }
  /// "SQAP %g %g".
  std::optional<std::string> zemaxCommandForApertureType() const override;
  /// Marks outside the edges.
  PlanarPath zyBezierPathRepresentation() const override;
  PlanarPath zxBezierPathRepresentation() const override;
  std::string className() const override { return "RectangularAperture"; }

 protected:
  void draw(geometry::DrawingSink& sink, const DrawOptions& options) const override;
};

/// Blocks exactly what the rectangular aperture of the same radii passes.
class RectangularObscuration : public RectangularAperture {
 public:
  static std::shared_ptr<RectangularObscuration> apertureWithXRadius(double xRadius, double yRadius);
  bool shapePasses(double x, double y) const override { return !rectangleShapePasses(x, y); }
  /// The axis outside the blocked span (and through a hole): where light passes.
  std::vector<foundation::VKInterval> xIntervals() const override { return complementOf(RectangularAperture::xIntervals()); }
  std::vector<foundation::VKInterval> yIntervals() const override { return complementOf(RectangularAperture::yIntervals()); }
  bool canGenerateRandomPoint() const override { return false; }
  std::shared_ptr<Aperture> makeEmpty() const override { return platform::makeObject<RectangularObscuration>(); }
  /// "SQOB %g %g\n".
  std::optional<std::string> zemaxCommandForApertureType() const override;
  /// The blocked span.
  PlanarPath zyBezierPathRepresentation() const override;
  PlanarPath zxBezierPathRepresentation() const override;
  std::string className() const override { return "RectangularObscuration"; }

 protected:
  void draw(geometry::DrawingSink& sink, const DrawOptions& options) const override;
};

}  // namespace orb::lens
