#pragma once

#include <memory>
#include <string_view>
#include <vector>

#include "platform/Value.h"

namespace orb::platform {
class Color;
class Object;
}  // namespace orb::platform

namespace orb::lens {
class Lens;
}

namespace orb::app {

/// Colours a whole array of coloured objects at once: a rainbow from violet to red, or
/// random hues. Colours go in through key-value coding ("color"), so tables, plots and
/// the colour controller see every change.
class ArrayColorizer {
 public:
  /// The hue of the first object of a rainbow (violet); the last is red (hue 0).
  static constexpr double kRainbowFirstHue = 0.777;

  /// Object i of n gets hue 0.777 − i · 0.777 / (n − 1) (a single object 0.777), the given
  /// saturation, brightness 1 and alpha 1. Elements that are no objects are passed over.
  static void rainbowColorsForArray(const platform::Array& objects, double saturation);
  /// Each object gets a hue drawn from the shared Mersenne-twister sequence.
  static void randomizeColorsForArray(const platform::Array& objects, double saturation);

  /// The colour of hue, saturation and brightness in 0…1 (hexcone model; hue 1 is hue 0).
  static std::shared_ptr<platform::Color> colorWithHue(double hue, double saturation, double brightness = 1.0,
                                                       double alpha = 1.0);
};

/// The lens document's colour actions, in menu order: "rainbowSurfaceColors",
/// "randomizeSurfaceColors", … "rainbowGlassColors", "randomizeGlassColors".
const std::vector<std::string_view>& colorActionNames();
/// Runs the colour action `action` on its lens collection; false for an unknown name.
bool applyColorAction(lens::Lens& lens, std::string_view action);
/// Rainbow colours for the fields, waves, surfaces and glasses of `lens`.
void colorizeLensWithRainbows(lens::Lens& lens);
/// Replaces the waves of `lens` with five of 0.4 to 0.7 µm in rainbow colours, violet to
/// red. The first (0.4 µm) is primary, as Lens::validateWaves makes it.
void generateRainbow(lens::Lens& lens);
/// True when `object` is one of the lens's waves, fields or glasses (the same object, not
/// an equal one), looked up in that order; surfaces and anything else give false.
bool lensOwnsColoredObject(const lens::Lens& lens, const platform::Object* object);

}  // namespace orb::app
