#pragma once

namespace orb::app {

/// The lens's list editors (Lens menu): fields ("FieldEditor", titled "Fields"), wavelengths ("WaveEditor",
/// "Wavelengths"), Gaussian beams ("Beams", "Gaussian Beams"), the emitting surfaces ("Sources", "Sources") and the
/// surfaces with an aperture or obscuration ("Apertures", "Apertures"). Each is a table of its part of the document's
/// lens with add and remove; every edit goes through the lens, so it is one change cycle and one undo step of the
/// document. Emissions and apertures are set and edited in their settings sheets.
void registerEditorWindows();

inline constexpr const char* kFieldEditorNibName = "FieldEditor";
inline constexpr const char* kWaveEditorNibName = "WaveEditor";
inline constexpr const char* kBeamsNibName = "Beams";
inline constexpr const char* kSourcesNibName = "Sources";
inline constexpr const char* kAperturesNibName = "Apertures";

}  // namespace orb::app
