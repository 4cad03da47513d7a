#include "app/windows/TracerWindowController.h"

#include "app/document/WindowActions.h"

namespace orb::app {

std::vector<std::string> TracerWindowController::toolbarAllowedItemIdentifiers() const {
  // "layout" is among the default items, so it must be allowed too.
  return {kFlexibleSpace, "glasses", "sources", "SDE", "layout", "options"};
}

std::vector<std::string> TracerWindowController::toolbarDefaultItemIdentifiers() const {
  return {kFlexibleSpace, "sources", "SDE", "layout", kFlexibleSpace, "options"};
}

void registerTracerWindowController() {
  registerControllerClass("TracerWindowController", [](const std::string& nib, const auto& document) {
    return new TracerWindowController(nib, document);
  });
}

}  // namespace orb::app
