#pragma once

#include <memory>
#include <string>

#include "app/windows/LensPlotWindowController.h"

namespace orb::app {

class SmartDocument;

/// Registers the interface files of the Huygens analyses: "HPSF" (the Huygens
/// point-spread function, shown as its x and y sections) and "HLSF" (its line-spread
/// functions, or with the calculator's "plotOTF" on its MTF), each a calculator, its plot
/// view and an options panel bound to its settings and its screen.
void registerHuygensWindows();

/// The Huygens point-spread window: a lens plot window that zooms to a nearly square frame.
class HPSFWindowController : public LensPlotWindowController {
  Q_OBJECT
 public:
  using LensPlotWindowController::LensPlotWindowController;
  /// The proposed zoomed frame, its width cut to its height minus 60 when wider.
  QRect windowWillUseStandardFrame(const QRect& defaultFrame) const;
};

/// The factory of "HPSFWindowController".
SmartWindowController* makeHPSFWindowController(const std::string& nibName,
                                                const std::shared_ptr<SmartDocument>& document);

}  // namespace orb::app
