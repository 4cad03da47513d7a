#include "geometry/values/GeometryDebug.h"

#include <atomic>

namespace orb::geometry {

namespace {
std::atomic<bool> g_debugOutput{false};
}

bool debugOutput() { return g_debugOutput.load(std::memory_order_relaxed); }
void setDebugOutput(bool on) { g_debugOutput.store(on, std::memory_order_relaxed); }

}  // namespace orb::geometry
