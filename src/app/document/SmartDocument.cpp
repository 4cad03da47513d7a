#include "app/document/SmartDocument.h"

#include <algorithm>

#include "app/document/DocumentController.h"
#include "app/windows/SmartWindowController.h"

namespace orb::app {

void SmartDocument::addWindowController(SmartWindowController* controller) {
  removeWindowController(controller);
  m_windowControllers.emplace_back(controller);
}

void SmartDocument::removeWindowController(SmartWindowController* controller) {
  std::erase_if(m_windowControllers, [&](const auto& c) { return c.isNull() || c.data() == controller; });
}

std::vector<SmartWindowController*> SmartDocument::windowControllers() const {
  std::vector<SmartWindowController*> controllers;
  for (const auto& c : m_windowControllers)
    if (c) controllers.push_back(c.data());
  return controllers;
}

bool SmartDocument::readFromPlainText(const std::string&, std::string* error) {
  if (error) *error = "This kind of document does not read text.";
  return false;
}

void SmartDocument::showWindows() {
  for (auto* c : windowControllers()) c->showWindow();
}

void SmartDocument::close() {
  // Keep this document alive while its windows and the controller let go of it.
  auto self = std::static_pointer_cast<SmartDocument>(shared_from_this());
  for (auto* c : windowControllers()) c->close();
  DocumentController::shared().removeDocument(self);
}

}  // namespace orb::app
