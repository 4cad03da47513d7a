#pragma once

namespace orb::app {

/// The lens's small editor windows (Lens menu): system data, advanced options,
/// source divergence, pupil data, vignetting factors, the glasses in use and
/// the configurations. Each shows its part of the document's lens, follows it
/// as it changes, and writes edits through key-value coding on the lens, so
/// every edit is one change cycle and one undo step of the document. Editing
/// the configurations themselves (not applying one) is recorded on the
/// document's undo stack directly, since the lens's undo snapshots do not carry
/// them.
void registerLensEditorWindows();

inline constexpr const char* kSystemNibName = "System";
inline constexpr const char* kAdvancedNibName = "Advanced";
inline constexpr const char* kSourceDivergenceNibName = "SourceDivergenceControl";
inline constexpr const char* kPupilDataNibName = "PupilData";
inline constexpr const char* kVignettingFactorsNibName = "VignettingFactors";
inline constexpr const char* kGlassMonitorNibName = "GlassMonitor";
inline constexpr const char* kMulticonfigurationsNibName = "Multiconfigurations";
inline constexpr const char* kConfigurationTableNibName = "MC";

}  // namespace orb::app
