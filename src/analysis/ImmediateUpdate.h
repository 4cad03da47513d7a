#pragma once

namespace orb::analysis {

/// The process-wide immediate-update flag. The application raises it while the user drags
/// a slider, a selection rectangle or previews a catalog entry; meanwhile calculator
/// updaters post their task notifications at once and finished work reaches its
/// calculator directly instead of through the coalescing notification queue, so the views
/// follow the mouse. Readable from any thread.
bool isImmediateUpdate();
void setImmediateUpdate(bool on);

/// Raises the flag for the lifetime of the scope and restores the previous value.
class ImmediateUpdateScope {
 public:
  ImmediateUpdateScope() : m_previous(isImmediateUpdate()) { setImmediateUpdate(true); }
  ~ImmediateUpdateScope() { setImmediateUpdate(m_previous); }
  ImmediateUpdateScope(const ImmediateUpdateScope&) = delete;
  ImmediateUpdateScope& operator=(const ImmediateUpdateScope&) = delete;

 private:
  bool m_previous;
};

}  // namespace orb::analysis
