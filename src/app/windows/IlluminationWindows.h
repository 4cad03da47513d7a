#pragma once

#include <memory>
#include <string>

#include "app/windows/LensPlotWindowController.h"

namespace orb::app {

class SmartDocument;

/// Registers the interface files of the illumination analyses: "IntensityFan" (the
/// irradiance along the sagittal and tangential fans) and "IntensityScreen" (the
/// irradiance screen of the lens's emitters, shown as its x and y sections through the
/// centre until matrices are drawn as images), each a calculator, its plot view and an
/// options panel bound to its settings.
void registerIlluminationWindows();

/// The irradiance-screen window: a lens plot window with "Randomize" (new emitter rays)
/// whose "Export" writes the screen's bins as CSV (one line per row of bins along x).
class ScreenWindowController : public RandomizableLensPlotWindowController {
  Q_OBJECT
 public:
  using RandomizableLensPlotWindowController::RandomizableLensPlotWindowController;

  /// A save panel for a ".csv" file, then `exportCSVToPath`.
  void exportAction() override;
  /// Writes the screen to `path` (replacing it only once complete); says why not to the
  /// user and answers false when there is no screen yet or writing fails.
  bool exportCSVToPath(const std::string& path);
  /// Tests replace the save panel.
  void setCSVPathChooser(SavePathChooser chooser) { m_csvPathChooser = std::move(chooser); }

 private:
  SavePathChooser m_csvPathChooser = runSavePanel;
};

/// The factory of "ScreenWindowController".
SmartWindowController* makeScreenWindowController(const std::string& nibName,
                                                  const std::shared_ptr<SmartDocument>& document);

}  // namespace orb::app
