#include "analysis/ImmediateUpdate.h"

#include <atomic>

namespace orb::analysis {

namespace {
std::atomic<bool> g_immediateUpdate{false};
}

bool isImmediateUpdate() { return g_immediateUpdate.load(std::memory_order_acquire); }
void setImmediateUpdate(bool on) { g_immediateUpdate.store(on, std::memory_order_release); }

}  // namespace orb::analysis
