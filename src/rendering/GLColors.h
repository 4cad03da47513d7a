#pragma once

namespace orb::platform {
class Color;
}

namespace orb::rendering {

/// Number of slots in the ring that rgba() writes into.
inline constexpr int kRgbaRingSize = 8;

/// The colour as four floats red, green, blue, alpha, for GL calls that take a pointer.
/// The floats live in a process-wide ring of eight slots: the pointer stays valid until
/// eight more calls, so a caller may hold a few colours at once without owning storage.
/// Main thread (GL) use; concurrent callers get distinct slots but may overrun one
/// another after eight calls.
const float* rgba(const platform::Color& color);

/// Writes red, green, blue and alpha into `out`.
void getRedGreenBlueAlphaIntoArray(const platform::Color& color, float out[4]);

/// glClearColor with the colour's components.
void glClearColor(const platform::Color& color);
/// glColor4f with the colour's components.
void glColor(const platform::Color& color);

}  // namespace orb::rendering
