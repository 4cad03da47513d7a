#pragma once

namespace orb::app {

/// The lens's list editors (Lens menu): fields ("FieldEditor", titled "Fields"), wavelengths ("WaveEditor",
/// "Wavelengths"), Gaussian beams ("Beams", "Gaussian Beams") and the emitting surfaces ("Sources", "Sources"). Each is
/// a table of its part of the document's lens with add and remove; every edit goes through the lens, so it is one
/// change cycle and one undo step of the document.
void registerEditorWindows();

inline constexpr const char* kFieldEditorNibName = "FieldEditor";
inline constexpr const char* kWaveEditorNibName = "WaveEditor";
inline constexpr const char* kBeamsNibName = "Beams";
inline constexpr const char* kSourcesNibName = "Sources";

}  // namespace orb::app
