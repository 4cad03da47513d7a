#pragma once

#include "lens/Aperture.h"

namespace orb::lens {

/// A disc of radius rMax about the decentre, or with rMin > 0 the annulus between rMin
/// and rMax. Passes radii from rMin to rMax inclusive (with 1e-10 of slack on r², so a
/// ray exactly on the rim passes).
class CircularAperture : public Aperture {
 public:
  static std::shared_ptr<CircularAperture> annulusWithMinRadius(double rMin, double rMax);

  double rMin() const override { return m_rMin; }
  double rMax() const override { return m_rMax; }
  void setRMin(double r);
  void setRMax(double r);
  bool rMinIsVariable() const { return m_rMinIsVariable; }
  bool rMaxIsVariable() const { return m_rMaxIsVariable; }
  void setRMinIsVariable(bool v);
  void setRMaxIsVariable(bool v);

  double xRadius() const override { return m_rMax; }
  double yRadius() const override { return m_rMax; }
  double xMin() const override { return decenterX() - m_rMax; }
  double xMax() const override { return decenterX() + m_rMax; }
  double yMin() const override { return decenterY() - m_rMax; }
  double yMax() const override { return decenterY() + m_rMax; }
  std::vector<foundation::VKInterval> xIntervals() const override;
  std::vector<foundation::VKInterval> yIntervals() const override;
  /// (2·rMax, 2·rMax).
  foundation::XY size() const { return {2 * m_rMax, 2 * m_rMax}; }
  /// A full disc of half the larger of width and height.
  void setSize(foundation::XY size);

  bool shapePasses(double x, double y) const override { return circleShapePasses(x, y); }
  int boxSurfaceTest(const geometry::BoxProtocol& box) const override;
  bool canGenerateRandomPoint() const override { return true; }
  foundation::XY randomPointInAperture() const override;

  std::vector<std::string> possibleVariables() const override { return {"decenterX", "decenterY", "rMin", "rMax"}; }
  std::vector<std::string> informationImportKeys() const override {
    return {"isSoft", "decenterX", "decenterY", "rMin", "rMax"};
  }
  std::shared_ptr<Aperture> makeEmpty() const override { return platform::makeObject<CircularAperture>(); }

  /// "CLAP %g %g" of rMin, rMax.
  std::optional<std::string> zemaxCommandForApertureType() const override;
  /// "rmin %g, rmax %g, decenter: x %g y %g".
  std::string apertureDescription() const override;
  std::optional<std::string> sheetNibName() const override { return "SVCircularAperture"; }
  /// "%@(%g,%g)": class, rMin, rMax.
  std::string description() const override;

  /// Short marks outside the rim (and across the hole of an annulus).
  PlanarPath zyBezierPathRepresentation() const override { return planarPath(decenterY()); }
  PlanarPath zxBezierPathRepresentation() const override { return planarPath(decenterX()); }
  /// Filled squares on the surface at the rim and short marks outward from them.
  void zyDrawWithPixelWidth(PlanarSink& sink, double pixelWidth) const override;
  void zxDrawWithPixelWidth(PlanarSink& sink, double pixelWidth) const override;

  std::string className() const override { return "CircularAperture"; }
  const platform::KeyTable& keys() const override { return classKeys(); }
  static const platform::KeyTable& classKeys();
  void encodeWithCoder(platform::Coder& coder) const override;
  void initWithCoder(const platform::Coder& coder) override;

 protected:
  bool circleShapePasses(double x, double y) const {
    double dx = x - decenterX(), dy = y - decenterY();
    double r2 = dx * dx + dy * dy;
    return m_rMin * m_rMin - 1e-10 <= r2 && r2 <= m_rMax * m_rMax + 1e-10;
  }
  virtual PlanarPath planarPath(double centre) const;
  void draw(geometry::DrawingSink& sink, const DrawOptions& options) const override;

 private:
  void drawRimMarks(PlanarSink& sink, double pixelWidth, double squareSide, bool alongY) const;

  double m_rMin = 0;
  double m_rMax = 0;
  bool m_rMinIsVariable = false;
  bool m_rMaxIsVariable = false;
};

/// Blocks exactly what the circular aperture of the same radii passes.
class CircularObscuration : public CircularAperture {
 public:
  static std::shared_ptr<CircularObscuration> annulusWithMinRadius(double rMin, double rMax);

  bool shapePasses(double x, double y) const override { return !circleShapePasses(x, y); }
  /// The axis outside the blocked span (and through a hole): where light passes.
  std::vector<foundation::VKInterval> xIntervals() const override { return complementOf(CircularAperture::xIntervals()); }
  std::vector<foundation::VKInterval> yIntervals() const override { return complementOf(CircularAperture::yIntervals()); }
  bool canGenerateRandomPoint() const override { return false; }
  std::shared_ptr<Aperture> makeEmpty() const override { return platform::makeObject<CircularObscuration>(); }
  /// "OBSC %g %g\n".
  std::optional<std::string> zemaxCommandForApertureType() const override;
  std::string className() const override { return "CircularObscuration"; }

 protected:
  PlanarPath planarPath(double centre) const override;
  void draw(geometry::DrawingSink& sink, const DrawOptions& options) const override;
};

/// A circular aperture that stands for the surface's semidiameter: the trace driver
/// resizes it (followSemidiameter) whenever it updates semidiameters.
class FloatingAperture : public CircularAperture {
 public:
  static std::shared_ptr<FloatingAperture> aperture();

  /// rMin 0, rMax = `semidiameter`.
  void followSemidiameter(double semidiameter);

  std::vector<std::string> informationImportKeys() const override { return {"rMin", "rMax"}; }
  std::shared_ptr<Aperture> makeEmpty() const override { return aperture(); }
  /// "FLAP %g %g" of rMin, rMax.
  std::optional<std::string> zemaxCommandForApertureType() const override;
  /// "equal to semidiameter".
  std::string apertureDescription() const override { return "equal to semidiameter"; }
  std::optional<std::string> sheetNibName() const override { return std::nullopt; }
  std::string className() const override { return "FloatingAperture"; }
};

}  // namespace orb::lens
