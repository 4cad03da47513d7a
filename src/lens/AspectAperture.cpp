#include "lens/AspectAperture.h"

#include <algorithm>
#include <cmath>

#include "foundation/minimise/MersenneTwister.h"
#include "lens/ApertureDrawing.h"
#include "platform/Coder.h"
#include "platform/Exception.h"

namespace orb::lens {

using foundation::XY;
using platform::format;
using platform::Keys;

namespace {

template <class T>
std::shared_ptr<T> withRadii(double xRadius, double yRadius) {
  auto a = platform::makeObject<T>();
  a->setXRadius(xRadius);
  a->setYRadius(yRadius);
  return a;
}

}  // namespace

std::shared_ptr<EllipticalAperture> EllipticalAperture::apertureWithXRadius(double xRadius, double yRadius) {
  return withRadii<EllipticalAperture>(xRadius, yRadius);
}
std::shared_ptr<EllipticalObscuration> EllipticalObscuration::apertureWithXRadius(double xRadius, double yRadius) {
  return withRadii<EllipticalObscuration>(xRadius, yRadius);
}
std::shared_ptr<RectangularAperture> RectangularAperture::apertureWithXRadius(double xRadius, double yRadius) {
  return withRadii<RectangularAperture>(xRadius, yRadius);
}
std::shared_ptr<RectangularObscuration> RectangularObscuration::apertureWithXRadius(double xRadius, double yRadius) {
  return withRadii<RectangularObscuration>(xRadius, yRadius);
}

void AspectAperture::setXRadius(double r) { setAndAnnounce("xRadius", m_xRadius, r); }
void AspectAperture::setYRadius(double r) { setAndAnnounce("yRadius", m_yRadius, r); }
void AspectAperture::setXRadiusIsVariable(bool v) { setAndAnnounce("xRadiusIsVariable", m_xRadiusIsVariable, v); }
void AspectAperture::setYRadiusIsVariable(bool v) { setAndAnnounce("yRadiusIsVariable", m_yRadiusIsVariable, v); }

std::string AspectAperture::apertureDescription() const {
  return format("radii: x %g, y %g; decenter: x %g, y %g", m_xRadius, m_yRadius, decenterX(), decenterY());
}

// In u, v the ellipse is the unit circle: the box's nearest point to the centre decides
// "outside", its farthest corner "inside" (corners alone would call a box that holds the
// whole ellipse outside).
int AspectAperture::ellipseBoxTest(const geometry::BoxProtocol& box) const {
  const double ua = u(box.xMin()), ub = u(box.xMax()), va = v(box.yMin()), vb = v(box.yMax());
  const double nu = std::clamp(0.0, std::min(ua, ub), std::max(ua, ub));
  const double nv = std::clamp(0.0, std::min(va, vb), std::max(va, vb));
  const double nearest = std::hypot(nu, nv);
  const double farthest = std::hypot(std::max(std::abs(ua), std::abs(ub)), std::max(std::abs(va), std::abs(vb)));
  if (nearest > 1) return 2;
  return farthest <= 1 ? 1 : 0;
}

int AspectAperture::rectangleBoxTest(const geometry::BoxProtocol& box) const {
  const double ua = u(box.xMin()), ub = u(box.xMax()), va = v(box.yMin()), vb = v(box.yMax());
  const double u1 = std::min(ua, ub), u2 = std::max(ua, ub), v1 = std::min(va, vb), v2 = std::max(va, vb);
  if (u1 > 1 || u2 < -1 || v1 > 1 || v2 < -1) return 2;
  return (u1 >= -1 && u2 <= 1 && v1 >= -1 && v2 <= 1) ? 1 : 0;
}

XY EllipticalAperture::randomPointInAperture() const {
  using foundation::mersenneTwisterRandom;
  double s, t;
  do {
    s = 2 * mersenneTwisterRandom() - 1;
    t = 2 * mersenneTwisterRandom() - 1;
  } while (s * s + t * t > 1);
  return {decenterX() + xRadius() * s, decenterY() + yRadius() * t};
}

XY RectangularAperture::randomPointInAperture() const {
  using foundation::mersenneTwisterRandom;
  const double u1 = mersenneTwisterRandom();
  const double u2 = mersenneTwisterRandom();
  return {decenterX() + xRadius() * (2 * u1 - 1), decenterY() + yRadius() * (2 * u2 - 1)};
}

std::optional<std::string> EllipticalAperture::zemaxCommandForApertureType() const {
  return format("ELAP %g %g", xRadius(), yRadius());
}
std::optional<std::string> EllipticalObscuration::zemaxCommandForApertureType() const {
  return format("ELOB %g %g", xRadius(), yRadius());
}
std::optional<std::string> RectangularAperture::zemaxCommandForApertureType() const {
  return format("SQAP %g %g", xRadius(), yRadius());
}
std::optional<std::string> RectangularObscuration::zemaxCommandForApertureType() const {
  return format("SQOB %g %g\n", xRadius(), yRadius());
}

// --- Drawing ----------------------------------------------------------------------------

static PlanarPath outsideMarks(double c, double r) {
  return {{{0, c - 2 * r}, {0, c - r}}, {{0, c + r}, {0, c + 2 * r}}};
}

PlanarPath RectangularAperture::zyBezierPathRepresentation() const { return outsideMarks(decenterY(), yRadius()); }
PlanarPath RectangularAperture::zxBezierPathRepresentation() const { return outsideMarks(decenterX(), xRadius()); }
PlanarPath RectangularObscuration::zyBezierPathRepresentation() const {
  return {{{0, decenterY() - yRadius()}, {0, decenterY() + yRadius()}}};
}
PlanarPath RectangularObscuration::zxBezierPathRepresentation() const {
  return {{{0, decenterX() - xRadius()}, {0, decenterX() + xRadius()}}};
}

void EllipticalAperture::draw(geometry::DrawingSink& sink, const DrawOptions& o) const {
  detail::drawEllipticalBand(sink, {decenterX(), decenterY()}, {xRadius(), yRadius()},
                             {1.2 * xRadius(), 1.2 * yRadius()}, o.segmentsPerRevolution, o.drawAlsoReversed, true);
}

void EllipticalObscuration::draw(geometry::DrawingSink& sink, const DrawOptions& o) const {
  detail::drawEllipticalBand(sink, {decenterX(), decenterY()}, {0, 0}, {xRadius(), yRadius()},
                             o.segmentsPerRevolution, o.drawAlsoReversed, true);
}

void RectangularAperture::draw(geometry::DrawingSink& sink, const DrawOptions& o) const {
  const XY centre{decenterX(), decenterY()};
  detail::drawRectangleOutline(sink, centre, xRadius(), yRadius());
  detail::drawRectangleOutline(sink, centre, 1.2 * xRadius(), 1.2 * yRadius());
  detail::drawRectangularBand(sink, centre, {xRadius(), yRadius()}, {1.2 * xRadius(), 1.2 * yRadius()},
                              o.drawAlsoReversed);
}

void RectangularObscuration::draw(geometry::DrawingSink& sink, const DrawOptions& o) const {
  const XY centre{decenterX(), decenterY()};
  detail::drawRectangleOutline(sink, centre, xRadius(), yRadius());
  detail::drawRectangularBand(sink, centre, {0, 0}, {xRadius(), yRadius()}, o.drawAlsoReversed);
}

// --- Archive, keys -----------------------------------------------------------------------

void AspectAperture::encodeWithCoder(platform::Coder& coder) const {
  Aperture::encodeWithCoder(coder);
  coder.encodeDouble("xRadius", m_xRadius);
  coder.encodeDouble("yRadius", m_yRadius);
  coder.encodeBool("xRadiusIsVariable", m_xRadiusIsVariable);
  coder.encodeBool("yRadiusIsVariable", m_yRadiusIsVariable);
}

void AspectAperture::initWithCoder(const platform::Coder& coder) {
  Aperture::initWithCoder(coder);
  setXRadius(coder.decodeDouble("xRadius"));
  setYRadius(coder.decodeDouble("yRadius"));
  setXRadiusIsVariable(coder.decodeBool("xRadiusIsVariable"));
  setYRadiusIsVariable(coder.decodeBool("yRadiusIsVariable"));
}

const platform::KeyTable& AspectAperture::classKeys() {
  using K = Keys<AspectAperture>;
  static const platform::KeyTable table(&Aperture::classKeys(), [] {
    std::vector<platform::KeyEntry> entries{
        K::property("xRadius", &AspectAperture::xRadius, &AspectAperture::setXRadius),
        K::property("yRadius", &AspectAperture::yRadius, &AspectAperture::setYRadius),
        K::property("xRadiusIsVariable", &AspectAperture::xRadiusIsVariable, &AspectAperture::setXRadiusIsVariable),
        K::property("yRadiusIsVariable", &AspectAperture::yRadiusIsVariable, &AspectAperture::setYRadiusIsVariable),
        K::getter("rMax", &AspectAperture::rMax).dependsOn({"xRadius", "yRadius"}),
        K::getter("xMin", &AspectAperture::xMin).dependsOn({"decenterX", "xRadius"}),
        K::getter("xMax", &AspectAperture::xMax).dependsOn({"decenterX", "xRadius"}),
        K::getter("yMin", &AspectAperture::yMin).dependsOn({"decenterY", "yRadius"}),
        K::getter("yMax", &AspectAperture::yMax).dependsOn({"decenterY", "yRadius"}),
        K::getter("isAxisymmetric", &AspectAperture::isAxisymmetric),
    };
    for (auto& e : summaryKeyEntries(
             {"isSoft", "decenterX", "decenterY", "xRadius", "yRadius"},
             {"decenterXIsVariable", "decenterYIsVariable", "xRadiusIsVariable", "yRadiusIsVariable"}))
      entries.push_back(std::move(e));
    return entries;
  }());
  return table;
}

}  // namespace orb::lens
