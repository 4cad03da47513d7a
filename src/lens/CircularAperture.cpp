#include "lens/CircularAperture.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "foundation/minimise/MersenneTwister.h"
#include "lens/ApertureDrawing.h"
#include "platform/Coder.h"
#include "platform/Exception.h"

namespace orb::lens {

using foundation::VKInterval;
using foundation::XY;
using platform::format;
using platform::Keys;

std::shared_ptr<CircularAperture> CircularAperture::annulusWithMinRadius(double rMin, double rMax) {
  auto a = platform::makeObject<CircularAperture>();
  a->m_rMin = rMin;
  a->m_rMax = rMax;
  return a;
}

std::shared_ptr<CircularObscuration> CircularObscuration::annulusWithMinRadius(double rMin, double rMax) {
  auto a = platform::makeObject<CircularObscuration>();
  a->setRMin(rMin);
  a->setRMax(rMax);
  return a;
}

std::shared_ptr<FloatingAperture> FloatingAperture::aperture() { return platform::makeObject<FloatingAperture>(); }

void FloatingAperture::followSemidiameter(double semidiameter) {
  setRMin(0);
  setRMax(semidiameter);
}

void CircularAperture::setRMin(double r) { setAndAnnounce("rMin", m_rMin, r); }
void CircularAperture::setRMax(double r) { setAndAnnounce("rMax", m_rMax, r); }
void CircularAperture::setRMinIsVariable(bool v) { setAndAnnounce("rMinIsVariable", m_rMinIsVariable, v); }
void CircularAperture::setRMaxIsVariable(bool v) { setAndAnnounce("rMaxIsVariable", m_rMaxIsVariable, v); }

void CircularAperture::setSize(XY size) {
  setRMin(0);
  setRMax(std::max(size.x, size.y) / 2);
}

static std::vector<VKInterval> circularIntervals(double centre, double rMin, double rMax) {
  if (rMin > 0) return {VKInterval(centre - rMax, centre - rMin), VKInterval(centre + rMin, centre + rMax)};
  return {VKInterval(centre - rMax, centre + rMax)};
}

std::vector<VKInterval> CircularAperture::xIntervals() const { return circularIntervals(decenterX(), m_rMin, m_rMax); }
std::vector<VKInterval> CircularAperture::yIntervals() const { return circularIntervals(decenterY(), m_rMin, m_rMax); }

// The nearest point of the box to the centre decides "outside the disc", the farthest
// corner "inside the hole"; corners alone would miss a box that holds the whole disc or
// straddles the rim between two corners.
int CircularAperture::boxSurfaceTest(const geometry::BoxProtocol& box) const {
  if (m_rMin >= m_rMax) return 2;
  const double x0 = box.xMin() - decenterX(), x1 = box.xMax() - decenterX();
  const double y0 = box.yMin() - decenterY(), y1 = box.yMax() - decenterY();
  const double nx = std::clamp(0.0, std::min(x0, x1), std::max(x0, x1));
  const double ny = std::clamp(0.0, std::min(y0, y1), std::max(y0, y1));
  const double nearest = std::hypot(nx, ny);
  const double farthest = std::hypot(std::max(std::abs(x0), std::abs(x1)), std::max(std::abs(y0), std::abs(y1)));
  if (nearest > m_rMax) return 2;
  if (m_rMin > farthest) return 2;
  if (nearest >= m_rMin && farthest <= m_rMax) return 1;
  return 0;
}

XY CircularAperture::randomPointInAperture() const {
  using foundation::mersenneTwisterRandom;
  if (m_rMin > 0) {
    const double u1 = mersenneTwisterRandom();
    const double u2 = mersenneTwisterRandom();
    const double r = std::sqrt(u1 * (m_rMax * m_rMax - m_rMin * m_rMin) + m_rMin * m_rMin);
    const double theta = 2 * std::numbers::pi * u2;
    return {decenterX() + r * std::cos(theta), decenterY() + r * std::sin(theta)};
  }
  double s, t;
  do {
    s = 2 * mersenneTwisterRandom() - 1;
    t = 2 * mersenneTwisterRandom() - 1;
  } while (s * s + t * t > 1);
  return {decenterX() + m_rMax * s, decenterY() + m_rMax * t};
}

std::optional<std::string> CircularAperture::zemaxCommandForApertureType() const {
  return format("CLAP %g %g", m_rMin, m_rMax);
}
std::optional<std::string> CircularObscuration::zemaxCommandForApertureType() const {
  return format("OBSC %g %g\n", rMin(), rMax());
}
std::optional<std::string> FloatingAperture::zemaxCommandForApertureType() const {
  return format("FLAP %g %g", rMin(), rMax());
}

std::string CircularAperture::apertureDescription() const {
  return format("rmin %g, rmax %g, decenter: x %g y %g", m_rMin, m_rMax, decenterX(), decenterY());
}

std::string CircularAperture::description() const {
  return format("%s(%g,%g)", className().c_str(), m_rMin, m_rMax);
}

// --- Drawing ----------------------------------------------------------------------------

PlanarPath CircularAperture::planarPath(double c) const {
  PlanarPath path{{{0, c - 2 * m_rMax}, {0, c - m_rMax}}, {{0, c + m_rMax}, {0, c + 2 * m_rMax}}};
  if (m_rMin > 0) path.push_back({{0, c - m_rMin}, {0, c + m_rMin}});
  return path;
}

PlanarPath CircularObscuration::planarPath(double c) const {
  if (rMin() == 0) return {{{0, c - rMax()}, {0, c + rMax()}}};
  return {{{0, c - rMax()}, {0, c - rMin()}}, {{0, c + rMin()}, {0, c + rMax()}}};
}

void CircularAperture::zyDrawWithPixelWidth(PlanarSink& sink, double pixelWidth) const {
  drawRimMarks(sink, pixelWidth, 3 * pixelWidth, true);
}

void CircularAperture::zxDrawWithPixelWidth(PlanarSink& sink, double pixelWidth) const {
  drawRimMarks(sink, pixelWidth, 5 * pixelWidth, false);
}

// The marks sit on the surface at the rim of the decentred aperture, so they follow the
// sag and the decentre in both sections.
void CircularAperture::drawRimMarks(PlanarSink& sink, double pixelWidth, double s, bool alongY) const {
  const double c = alongY ? decenterY() : decenterX();
  auto sagAt = [&](double t) { return alongY ? surfaceSag(0, t) : surfaceSag(t, 0); };
  const double lo = c - m_rMax, hi = c + m_rMax;
  const double zLo = sagAt(lo), zHi = sagAt(hi);
  sink.fillSquare({zLo, lo}, s);
  sink.fillSquare({zHi, hi}, s);
  PlanarPath path{{{zLo, lo - 5 * s}, {zLo, lo}}, {{zHi, hi}, {zHi, hi + 5 * s}}};
  if (m_rMin > 0) path.push_back({{sagAt(c - m_rMin), c - m_rMin}, {sagAt(c + m_rMin), c + m_rMin}});
  sink.strokePath(path, pixelWidth);
}

void CircularAperture::draw(geometry::DrawingSink& sink, const DrawOptions& o) const {
  const XY centre{decenterX(), decenterY()};
  if (m_rMin > 0)
    detail::drawEllipticalBand(sink, centre, {0, 0}, {m_rMin, m_rMin}, o.segmentsPerRevolution, o.drawAlsoReversed,
                               false);
  detail::drawEllipticalBand(sink, centre, {m_rMax, m_rMax}, {1.2 * m_rMax, 1.2 * m_rMax}, o.segmentsPerRevolution,
                             o.drawAlsoReversed, false);
}

void CircularObscuration::draw(geometry::DrawingSink& sink, const DrawOptions& o) const {
  detail::drawEllipticalBand(sink, {decenterX(), decenterY()}, {rMin(), rMin()}, {rMax(), rMax()},
                             o.segmentsPerRevolution, o.drawAlsoReversed, false);
}

// --- Archive, keys -----------------------------------------------------------------------

void CircularAperture::encodeWithCoder(platform::Coder& coder) const {
  Aperture::encodeWithCoder(coder);
  coder.encodeDouble("rMin", m_rMin);
  coder.encodeDouble("rMax", m_rMax);
  coder.encodeBool("rMinIsVariable", m_rMinIsVariable);
  coder.encodeBool("rMaxIsVariable", m_rMaxIsVariable);
}

void CircularAperture::initWithCoder(const platform::Coder& coder) {
  Aperture::initWithCoder(coder);
  setRMin(coder.decodeDouble("rMin"));
  setRMax(coder.decodeDouble("rMax"));
  setRMinIsVariable(coder.decodeBool("rMinIsVariable"));
  setRMaxIsVariable(coder.decodeBool("rMaxIsVariable"));
}

const platform::KeyTable& CircularAperture::classKeys() {
  using K = Keys<CircularAperture>;
  static const platform::KeyTable table(&Aperture::classKeys(), [] {
    std::vector<platform::KeyEntry> entries{
        K::property("rMin", &CircularAperture::rMin, &CircularAperture::setRMin),
        K::property("rMax", &CircularAperture::rMax, &CircularAperture::setRMax),
        K::property("rMinIsVariable", &CircularAperture::rMinIsVariable, &CircularAperture::setRMinIsVariable),
        K::property("rMaxIsVariable", &CircularAperture::rMaxIsVariable, &CircularAperture::setRMaxIsVariable),
        K::getter("xRadius", &CircularAperture::xRadius).dependsOn({"rMax"}),
        K::getter("yRadius", &CircularAperture::yRadius).dependsOn({"rMax"}),
        K::getter("xMin", &CircularAperture::xMin).dependsOn({"decenterX", "rMax"}),
        K::getter("xMax", &CircularAperture::xMax).dependsOn({"decenterX", "rMax"}),
        K::getter("yMin", &CircularAperture::yMin).dependsOn({"decenterY", "rMax"}),
        K::getter("yMax", &CircularAperture::yMax).dependsOn({"decenterY", "rMax"}),
    };
    for (auto& e : summaryKeyEntries({"isSoft", "decenterX", "decenterY", "rMin", "rMax"},
                                     {"decenterXIsVariable", "decenterYIsVariable", "rMinIsVariable", "rMaxIsVariable"}))
      entries.push_back(std::move(e));
    return entries;
  }());
  return table;
}

}  // namespace orb::lens
