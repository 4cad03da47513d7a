#pragma once

#include <QRect>
#include <memory>
#include <string>

#include "app/windows/LensPlotWindowController.h"

namespace orb::app {

class SmartDocument;

/// Registers the interface files of the FFT diffraction analyses: "DOTF" (the diffraction
/// MTF, or with the calculator's "plotOTF" off the line-spread function) and "DPSF" (the
/// FFT point-spread function, shown as its x and y sections), each a calculator, its plot
/// view and an options panel bound to its settings.
void registerDiffractionWindows();

/// The FFT point-spread window: a lens plot window that zooms to a nearly square frame.
class DPSFWindowController : public LensPlotWindowController {
  Q_OBJECT
 public:
  using LensPlotWindowController::LensPlotWindowController;
  /// The proposed zoomed frame, its width cut to its height minus 60 when wider.
  QRect windowWillUseStandardFrame(const QRect& defaultFrame) const;
};

/// The factory of "DPSFWindowController".
SmartWindowController* makeDPSFWindowController(const std::string& nibName,
                                                const std::shared_ptr<SmartDocument>& document);

}  // namespace orb::app
