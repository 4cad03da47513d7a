#include "app/windows/LensPlotWindowController.h"

#include <algorithm>

namespace orb::app {

LensPlotWindowController::LensPlotWindowController(std::string nibName, const std::shared_ptr<SmartDocument>& document)
    : LensCalculatorWindowController(std::move(nibName), document) {}

LensPlotWindowController::~LensPlotWindowController() { closeIfOpen(); }

void LensPlotWindowController::awakeFromNib() {
  LensCalculatorWindowController::awakeFromNib();
  if (m_awakeAlready) return;
  m_awakeAlready = true;
  m_binding.bind(*this);
}

void LensPlotWindowController::exportAction() { m_binding.beginExportSheet(*this); }

void LensPlotWindowController::windowWillClose() {
  m_binding.unbind(*this);
  LensCalculatorWindowController::windowWillClose();
}

std::vector<std::string> RandomizableLensPlotWindowController::toolbarAllowedItemIdentifiers() const {
  auto identifiers = LensPlotWindowController::toolbarAllowedItemIdentifiers();
  identifiers.push_back("dice");
  return identifiers;
}

std::vector<std::string> RandomizableLensPlotWindowController::toolbarDefaultItemIdentifiers() const {
  auto identifiers = LensPlotWindowController::toolbarDefaultItemIdentifiers();
  auto options = std::find(identifiers.begin(), identifiers.end(), "options");
  identifiers.insert(options, "dice");
  return identifiers;
}

}  // namespace orb::app
