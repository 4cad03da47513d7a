#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/windows/LensPlotWindowController.h"
#include "platform/Observation.h"

namespace orb::rendering {
class VKMatrixView;
class VKMatrixViewDelegate;
}  // namespace orb::rendering

namespace orb::app {

class SmartDocument;

/// Registers the interface files of the illumination analyses: "IntensityFan" (the
/// irradiance along the sagittal and tangential fans) and "IntensityScreen" (the
/// irradiance screen of the lens's emitters: its bins as a grey picture in a matrix view
/// named "matrixView", over a plot of its slice), each a calculator, its plot view and
/// an options panel bound to its settings.
void registerIlluminationWindows();

/// The irradiance-screen window: a lens plot window with "Randomize" (new emitter rays)
/// whose "Export" writes the screen's bins as CSV (one line per row of bins along x).
/// Its matrix view shows the calculator's "intensityField" with the calculator as the
/// view's delegate: a click or drag there moves the monitored bin (read out in the
/// status line), a release picks the slice through it.
class ScreenWindowController : public RandomizableLensPlotWindowController {
  Q_OBJECT
 public:
  using RandomizableLensPlotWindowController::RandomizableLensPlotWindowController;
  ~ScreenWindowController() override;

  /// The view of the screen's bins; null before the window is loaded.
  rendering::VKMatrixView* matrixView() const;

  /// "export", flexible space, "dice", "options": the picture needs no zoom and no editors.
  std::vector<std::string> toolbarDefaultItemIdentifiers() const override;

  /// A save panel for a ".csv" file, then `exportCSVToPath`.
  void exportAction() override;
  /// Writes the screen to `path` (replacing it only once complete); says why not to the
  /// user and answers false when there is no screen yet or writing fails.
  bool exportCSVToPath(const std::string& path);
  /// Tests replace the save panel.
  void setCSVPathChooser(SavePathChooser chooser) { m_csvPathChooser = std::move(chooser); }

 protected:
  void windowDidLoad() override;
  void windowWillClose() override;

 private:
  /// The calculator's monitor read-out in the status line (cleared when there is none).
  void showMonitorString();

  SavePathChooser m_csvPathChooser = runSavePanel;
  std::shared_ptr<rendering::VKMatrixViewDelegate> m_matrixDelegate;
  std::vector<platform::Observation> m_matrixObservations;
};

/// The factory of "ScreenWindowController".
SmartWindowController* makeScreenWindowController(const std::string& nibName,
                                                  const std::shared_ptr<SmartDocument>& document);

}  // namespace orb::app
