#pragma once

class QAbstractSlider;

namespace orb::app {

/// Raises the process-wide immediate-update flag while the user drags `slider` and
/// restores it on release (or when the slider goes mid-drag), so analyses follow the
/// knob instead of waiting for the notification queue. Sliders of the slider panel and
/// any other live-preview control use it.
void raiseImmediateUpdateWhileDragging(QAbstractSlider* slider);

}  // namespace orb::app
