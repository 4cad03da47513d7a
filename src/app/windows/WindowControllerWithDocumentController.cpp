#include "app/windows/WindowControllerWithDocumentController.h"

#include <QPointer>

#include "app/document/OBDocument.h"
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
  if (auto lensDocument = std::dynamic_pointer_cast<OBDocument>(document())) {
    QPointer<WindowControllerWithDocumentController> self = this;
    m_lensReplaced = lensDocument->addObserver("lens", [self](const platform::ObservedChange&) {
      if (self && !self->isClosing()) self->documentLensWasReplaced();
    });
  }
}

void WindowControllerWithDocumentController::windowWillClose() {
  m_lensReplaced.remove();
  m_documentController->setContent(nullptr);
  SmartWindowController::windowWillClose();
}

}  // namespace orb::app
