#include "app/windows/WindowControllerWithDocumentController.h"

#include "app/document/SmartDocument.h"

namespace orb::app {

WindowControllerWithDocumentController::WindowControllerWithDocumentController(
    std::string nibName, const std::shared_ptr<SmartDocument>& document)
    : SmartWindowController(std::move(nibName), document),
      m_documentController(platform::makeObject<ObjectController>()) {}

WindowControllerWithDocumentController::~WindowControllerWithDocumentController() { closeIfOpen(); }

void WindowControllerWithDocumentController::awakeFromNib() {
  SmartWindowController::awakeFromNib();
  m_documentController->setContent(document());
}

void WindowControllerWithDocumentController::windowWillClose() {
  m_documentController->setContent(nullptr);
  SmartWindowController::windowWillClose();
}

}  // namespace orb::app
