#pragma once

#include <array>
#include <cstddef>
#include <optional>

#include "rendering/ZoomHistory.h"

namespace orb::rendering {

/// A rotation as the fixed-function pipeline takes it: angle in degrees about an axis.
struct GLRotation {
  float angle = 0, x = 1, y = 0, z = 0;
  friend bool operator==(const GLRotation&, const GLRotation&) = default;
  /// The 16-byte exchange form (four floats); null for data shorter than 16 bytes.
  static std::optional<GLRotation> fromBytes(const unsigned char* data, std::size_t size);
};

/// The orientation a new view starts in: a three-quarter view of the optical axis.
inline constexpr GLRotation kDefaultWorldRotation{298.111f, 0.610083f, 0.211584f, 0.763565f};

/// Three floats (a centre); null for data shorter than 12 bytes.
std::optional<std::array<float, 3>> centerFromBytes(const unsigned char* data, std::size_t size);

/// The orthographic projection's box: the zoom box widened in one direction so that its
/// aspect ratio matches the view's, keeping its centre.
ZoomData windowBoxForZoomBox(const ZoomData& zoom, double width, double height);

/// Model units per view point across the window box, in x and in y.
std::array<double, 2> pixelScaleForWindowBox(const ZoomData& window, double width, double height);

/// The model point under a view point (view y grows upwards from the bottom of the bounds,
/// whose origin is `originX`, `originY`).
std::array<double, 2> userPointForViewPoint(const ZoomData& window, double originX, double originY, double width,
                                            double height, double px, double py);

}  // namespace orb::rendering
