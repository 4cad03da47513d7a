#pragma once

namespace orb::app {

/// Registers the interface file "SpotWindow": a spot-diagram calculator (each field in a
/// band of its own, with a legend, sizes in microns until restored settings say
/// otherwise), its plot view (from the Designer form) and an options panel holding every
/// setting of the calculator, bound both ways.
void registerSpotWindow();

}  // namespace orb::app
