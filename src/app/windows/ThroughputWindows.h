#pragma once

namespace orb::app {

/// Registers the interface files of the throughput analyses: "Throughput" (the passing
/// pupil area or solid angle against field height) and "Acceptance" (the passing solid
/// angle against the rays' transverse momentum), each a calculator, its plot view and an
/// options panel bound to its settings.
void registerThroughputWindows();

}  // namespace orb::app
