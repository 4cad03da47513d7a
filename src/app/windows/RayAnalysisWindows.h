#pragma once

namespace orb::app {

/// Registers the interface files of the fan, aberration and field-scan analyses ("RayFan",
/// "OPD", "LSA", "ChromaticFocalShift", "ChiefRayAngle", "CRS", "Distortion",
/// "FieldCurvature", "OSC", "GEE"): each a calculator, its
/// plot view (from the Designer form of the same name) and an options panel bound both
/// ways to the calculator's settings.
void registerRayAnalysisWindows();

}  // namespace orb::app
