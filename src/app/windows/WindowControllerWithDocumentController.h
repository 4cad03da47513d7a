#pragma once

#include <memory>

#include "app/windows/ObjectController.h"
#include "app/windows/SmartWindowController.h"
#include "platform/Observation.h"

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
  /// The lens document took another lens object (Revert, a file read into it): the window
  /// must now show and edit that one. The plain editor and listing windows build their
  /// contents around the lens, so they build them again; controllers that hold the lens
  /// elsewhere override this.
  virtual void documentLensWasReplaced() { reloadInterface(); }

 private:
  std::shared_ptr<ObjectController> m_documentController;
  platform::Observation m_lensReplaced;
};

}  // namespace orb::app
