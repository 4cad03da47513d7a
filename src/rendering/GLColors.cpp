#include "rendering/GLColors.h"

#include "platform/Color.h"

#include <GL/gl.h>

#include <atomic>

namespace orb::rendering {

namespace {
float g_ring[kRgbaRingSize][4];
// Calls made so far: call k (from 0) uses slot k mod 8, as an index that starts at −1 and
// advances before each use. The count wraps at 2³², a multiple of 8, without a jump.
std::atomic<unsigned> g_calls{0};
}  // namespace

const float* rgba(const platform::Color& color) {
  float* slot = g_ring[g_calls.fetch_add(1, std::memory_order_relaxed) % kRgbaRingSize];
  getRedGreenBlueAlphaIntoArray(color, slot);
  return slot;
}

void getRedGreenBlueAlphaIntoArray(const platform::Color& color, float out[4]) {
  out[0] = static_cast<float>(color.red());
  out[1] = static_cast<float>(color.green());
  out[2] = static_cast<float>(color.blue());
  out[3] = static_cast<float>(color.alpha());
}

// These take their own floats rather than a ring slot, so pointers callers hold from rgba()
// last as long as promised.
void glClearColor(const platform::Color& color) {
  float c[4];
  getRedGreenBlueAlphaIntoArray(color, c);
  ::glClearColor(c[0], c[1], c[2], c[3]);
}

void glColor(const platform::Color& color) {
  float c[4];
  getRedGreenBlueAlphaIntoArray(color, c);
  ::glColor4f(c[0], c[1], c[2], c[3]);
}

}  // namespace orb::rendering
