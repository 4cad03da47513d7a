#pragma once

namespace orb::app {

/// Registers the interface files of the transfer-function analyses: "GOTF" (the
/// geometric and hybrid OTF against frequency) and "FGOTF" (the same against defocus),
/// each a calculator, its plot view and an options panel bound to its settings.
void registerOTFWindows();

}  // namespace orb::app
