#include "lens/SpiderAperture.h"

#include <cmath>
#include <numbers>

#include "platform/Coder.h"
#include "platform/Exception.h"
#include "platform/Log.h"

namespace orb::lens {

using platform::format;
using platform::Keys;

std::shared_ptr<SpiderAperture> SpiderAperture::spiderWithNumberOfArms(int numberOfArms, double widthOfArms) {
  auto s = platform::makeObject<SpiderAperture>();
  s->setNumberOfArms(numberOfArms);
  s->setWidthOfArms(widthOfArms);
  return s;
}

void SpiderAperture::setNumberOfArms(int n) {
  setAndAnnounce("numberOfArms", m_numberOfArms, n);
  updateArmDirections();
}

void SpiderAperture::setWidthOfArms(double width) { setAndAnnounce("widthOfArms", m_widthOfArms, width); }

// Directions are made here, not per ray, so the pass test does no trigonometry.
void SpiderAperture::updateArmDirections() {
  m_armDirections.clear();
  for (int k = 0; k < m_numberOfArms; ++k) {
    const double angle = 2 * std::numbers::pi * k / m_numberOfArms;
    m_armDirections.push_back({std::cos(angle), std::sin(angle)});
  }
}

bool SpiderAperture::shapePasses(double x, double y) const {
  const double px = x - decenterX(), py = y - decenterY();
  const double halfWidth = 0.5 * m_widthOfArms;
  bool passes = true;
  if (halfWidth > 0)
    for (const auto& e : m_armDirections) {
      const double along = px * e.x + py * e.y;
      const double across = px * e.y - py * e.x;
      if (along >= 0 && std::abs(across) <= halfWidth) {
        passes = false;
        break;
      }
    }
  if (logsEachRay()) platform::log("spider aperture %s ray at (%g, %g)", passes ? "passes" : "stops", x, y);
  return passes;
}

void SpiderAperture::copyUninformedStateFrom(const Aperture& other) {
  if (auto* spider = dynamic_cast<const SpiderAperture*>(&other)) {
    setNumberOfArms(spider->m_numberOfArms);
    setWidthOfArms(spider->m_widthOfArms);
  }
}

std::optional<std::string> SpiderAperture::zemaxCommandForApertureType() const {
  return format("SPID %d %g", m_numberOfArms, m_widthOfArms);
}

void SpiderAperture::encodeWithCoder(platform::Coder& coder) const {
  Aperture::encodeWithCoder(coder);
  coder.encodeInt("numberOfArms", m_numberOfArms);
  coder.encodeDouble("widthOfArms", m_widthOfArms);
}

void SpiderAperture::initWithCoder(const platform::Coder& coder) {
  Aperture::initWithCoder(coder);
  setNumberOfArms(static_cast<int>(coder.decodeInt("numberOfArms")));
  setWidthOfArms(coder.decodeDouble("widthOfArms"));
}

const platform::KeyTable& SpiderAperture::classKeys() {
  using K = Keys<SpiderAperture>;
  static const platform::KeyTable table(&Aperture::classKeys(), [] {
    std::vector<platform::KeyEntry> entries{
        K::property("numberOfArms", &SpiderAperture::numberOfArms, &SpiderAperture::setNumberOfArms),
        K::property("widthOfArms", &SpiderAperture::widthOfArms, &SpiderAperture::setWidthOfArms),
    };
    for (auto& e : summaryKeyEntries({"isSoft", "decenterX", "decenterY", "numberOfArms", "widthOfArms"},
                                     {"decenterXIsVariable", "decenterYIsVariable"}))
      entries.push_back(std::move(e));
    return entries;
  }());
  return table;
}

}  // namespace orb::lens
