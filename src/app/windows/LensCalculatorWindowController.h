#pragma once

#include <memory>

#include "app/windows/CalculatorWindowController.h"

namespace orb::analysis {
class LensBuffer;
}

namespace orb::app {

/// An analysis window of a lens document: its calculator is handed the document's lens
/// on every "lensIsReadyNotification", through a lens buffer that the window owns.
/// The document must take the lens-provider role and the calculator the lens-user role;
/// otherwise the window simply has no buffer (and says so in the log).
class LensCalculatorWindowController : public CalculatorWindowController {
  Q_OBJECT
 public:
  explicit LensCalculatorWindowController(std::string nibName, const std::shared_ptr<SmartDocument>& document = {});
  ~LensCalculatorWindowController() override;

  analysis::LensBuffer* lensBuffer() const { return m_lensBuffer.get(); }

 protected:
  void awakeFromNib() override;
  void windowWillClose() override;

 private:
  std::unique_ptr<analysis::LensBuffer> m_lensBuffer;
  bool m_awakeAlready = false;
};

}  // namespace orb::app
