#include "app/document/ArrayColorizer.h"

#include <array>
#include <cmath>

#include "foundation/minimise/MersenneTwister.h"
#include "lens/Field.h"
#include "lens/Lens.h"
#include "lens/Wave.h"
#include "platform/Color.h"

namespace orb::app {

namespace {

void setColor(const platform::Value& element, const std::shared_ptr<platform::Color>& color) {
  if (auto object = element.objectIf<platform::Object>()) object->setValueForKey("color", platform::Value(color));
}

enum class Scheme { Rainbow, Random };

struct ColorAction {
  std::string_view name;
  std::string_view collection;  // the lens key of the array coloured
  double saturation;
  Scheme scheme;
};

// Surfaces and glasses are drawn as areas and read better in softer colours; fields and
// waves are lines and dots and take full saturation.
constexpr std::array<ColorAction, 8> kColorActions{{
    {"rainbowSurfaceColors", "surfaceArray", 0.7, Scheme::Rainbow},
    {"randomizeSurfaceColors", "surfaceArray", 0.7, Scheme::Random},
    {"rainbowFieldColors", "fieldArray", 1.0, Scheme::Rainbow},
    {"randomizeFieldColors", "fieldArray", 1.0, Scheme::Random},
    {"rainbowWaveColors", "waveArray", 1.0, Scheme::Rainbow},
    {"randomizeWaveColors", "waveArray", 1.0, Scheme::Random},
    {"rainbowGlassColors", "glassArray", 0.7, Scheme::Rainbow},
    {"randomizeGlassColors", "glassArray", 0.7, Scheme::Random},
}};

void apply(lens::Lens& lens, const ColorAction& action) {
  const platform::Value members = lens.valueForKey(action.collection);
  if (!members.isArray()) return;
  if (action.scheme == Scheme::Rainbow)
    ArrayColorizer::rainbowColorsForArray(members.asArray(), action.saturation);
  else
    ArrayColorizer::randomizeColorsForArray(members.asArray(), action.saturation);
}

template <class Members>
bool contains(const Members& members, const platform::Object* object) {
  for (const auto& m : members)
    if (m.get() == object) return true;
  return false;
}

}  // namespace

std::shared_ptr<platform::Color> ArrayColorizer::colorWithHue(double hue, double saturation, double brightness,
                                                              double alpha) {
  // Hexcone: the hue picks one of six sectors; within it one component rises or falls.
  const double h6 = (hue - std::floor(hue)) * 6.0;
  const int sector = static_cast<int>(h6) % 6;
  const double f = h6 - std::floor(h6);
  const double v = brightness;
  const double p = v * (1 - saturation);
  const double q = v * (1 - saturation * f);
  const double t = v * (1 - saturation * (1 - f));
  switch (sector) {
    case 0: return platform::Color::make(v, t, p, alpha);
    case 1: return platform::Color::make(q, v, p, alpha);
    case 2: return platform::Color::make(p, v, t, alpha);
    case 3: return platform::Color::make(p, q, v, alpha);
    case 4: return platform::Color::make(t, p, v, alpha);
    default: return platform::Color::make(v, p, q, alpha);
  }
}

void ArrayColorizer::rainbowColorsForArray(const platform::Array& objects, double saturation) {
  const std::size_t n = objects.size();
  if (n == 0) return;
  const double step = n > 1 ? kRainbowFirstHue / static_cast<double>(n - 1) : 0.0;
  for (std::size_t i = 0; i < n; ++i)
    setColor(objects[i], colorWithHue(kRainbowFirstHue - static_cast<double>(i) * step, saturation));
}

void ArrayColorizer::randomizeColorsForArray(const platform::Array& objects, double saturation) {
  for (const auto& element : objects) setColor(element, colorWithHue(foundation::mersenneTwisterRandom(), saturation));
}

const std::vector<std::string_view>& colorActionNames() {
  static const std::vector<std::string_view> names = [] {
    std::vector<std::string_view> n;
    for (const auto& a : kColorActions) n.push_back(a.name);
    return n;
  }();
  return names;
}

bool applyColorAction(lens::Lens& lens, std::string_view action) {
  for (const auto& a : kColorActions)
    if (a.name == action) {
      apply(lens, a);
      return true;
    }
  return false;
}

void colorizeLensWithRainbows(lens::Lens& lens) {
  for (std::string_view action : {"rainbowFieldColors", "rainbowWaveColors", "rainbowSurfaceColors", "rainbowGlassColors"})
    applyColorAction(lens, action);
}

void generateRainbow(lens::Lens& lens) {
  platform::Array waves;
  // 0.4 to 0.7 µm; given in nanometres, the waves' own unit, so the values stay exact.
  for (double nanometres : {400.0, 475.0, 550.0, 625.0, 700.0}) {
    auto wave = lens::Wave::wave();
    wave->setWavelengthInNanometers(nanometres);
    waves.push_back(platform::Value(wave));
  }
  // Five waves give the hues 0.777, 0.58275, 0.3885, 0.19425 and 0.
  ArrayColorizer::rainbowColorsForArray(waves, 1.0);
  lens::Lens::Waves newWaves;
  for (const auto& w : waves) newWaves.push_back(w.asObject<lens::Wave>());
  lens.setWaveArray(std::move(newWaves));
  lens.validateWaves();
}

bool lensOwnsColoredObject(const lens::Lens& lens, const platform::Object* object) {
  if (!object) return false;
  return contains(lens.waveArray(), object) || contains(lens.fieldArray(), object) ||
         contains(lens.glassArray(), object);
}

}  // namespace orb::app
