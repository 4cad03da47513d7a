#pragma once

#include <memory>

#include "app/windows/ObjectController.h"
#include "app/windows/SmartWindowController.h"

namespace orb::app {

/// A window controller whose interface reaches the document (and through it the lens)
/// under "content" of its document controller.
class WindowControllerWithDocumentController : public SmartWindowController {
  Q_OBJECT
 public:
  explicit WindowControllerWithDocumentController(std::string nibName,
                                                  const std::shared_ptr<SmartDocument>& document = {});
  ~WindowControllerWithDocumentController() override;

  const std::shared_ptr<ObjectController>& documentController() const { return m_documentController; }

 protected:
  void awakeFromNib() override;
  void windowWillClose() override;

 private:
  std::shared_ptr<ObjectController> m_documentController;
};

}  // namespace orb::app
