#pragma once

namespace orb::app {

/// Registers the interface file "SpotWindow": a spot-diagram calculator, its plot view
/// (from the Designer form) and an options panel with the number of rays.
void registerSpotWindow();

}  // namespace orb::app
