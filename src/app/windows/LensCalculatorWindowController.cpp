#include "app/windows/LensCalculatorWindowController.h"

#include "analysis/LensBuffer.h"
#include "analysis/OBCalculator.h"
#include "app/document/SmartDocument.h"
#include "platform/Log.h"

namespace orb::app {

LensCalculatorWindowController::LensCalculatorWindowController(std::string nibName,
                                                               const std::shared_ptr<SmartDocument>& document)
    : CalculatorWindowController(std::move(nibName), document) {}

LensCalculatorWindowController::~LensCalculatorWindowController() { closeIfOpen(); }

void LensCalculatorWindowController::awakeFromNib() {
  CalculatorWindowController::awakeFromNib();
  if (m_awakeAlready) return;
  m_awakeAlready = true;
  auto provider = std::dynamic_pointer_cast<analysis::LensProvider>(document());
  auto user = std::dynamic_pointer_cast<analysis::LensUser>(calculator());
  if (provider && user)
    m_lensBuffer = std::make_unique<analysis::LensBuffer>(provider, user);
  else
    platform::log("%s: no lens buffer (%s)", nibName().c_str(),
                  provider ? "the calculator takes no lens" : "the document provides no lens");
}

void LensCalculatorWindowController::windowWillClose() {
  m_lensBuffer.reset();
  CalculatorWindowController::windowWillClose();
}

}  // namespace orb::app
