#pragma once

#include "app/windows/LensCalculatorWindowController.h"

namespace orb::app {

/// The single-ray trace window ("Trace"): the listing of one test ray of the document's
/// lens, its options panel naming the ray, and a toolbar of the lens's editors.
class TracerWindowController : public LensCalculatorWindowController {
  Q_OBJECT
 public:
  using LensCalculatorWindowController::LensCalculatorWindowController;
  std::vector<std::string> toolbarAllowedItemIdentifiers() const override;
  std::vector<std::string> toolbarDefaultItemIdentifiers() const override;
};

/// Registers the controller class "TracerWindowController".
void registerTracerWindowController();

}  // namespace orb::app
