#pragma once

#include <memory>
#include <string>

#include "app/windows/LensCalculatorWindowController.h"
#include "app/windows/LensPlotWindowController.h"

namespace orb::app {

class SmartDocument;

/// Registers the interface files of the Huygens analyses: "HPSF" (the Huygens
/// point-spread function as an image with its colour key) and "HLSF" (its line-spread
/// functions, or with the calculator's "plotOTF" on its MTF, in a plot view), each with an
/// options panel bound to its calculator's settings and its screen.
void registerHuygensWindows();

/// The Huygens point-spread window: an analysis window of the lens that zooms to a nearly
/// square frame.
class HPSFWindowController : public LensCalculatorWindowController {
  Q_OBJECT
 public:
  using LensCalculatorWindowController::LensCalculatorWindowController;
  /// The proposed zoomed frame, its width cut to its height minus 80 when wider.
  QRect windowWillUseStandardFrame(const QRect& defaultFrame) const override;
  /// Toolbar "Export": the field as text, as "Save Data…" writes it (there are no curves).
  void exportAction() override { saveData(); }
};

/// The factory of "HPSFWindowController".
SmartWindowController* makeHPSFWindowController(const std::string& nibName,
                                                const std::shared_ptr<SmartDocument>& document);

}  // namespace orb::app
