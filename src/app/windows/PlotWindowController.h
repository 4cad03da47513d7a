#pragma once

#include <memory>

#include "app/windows/CalculatorWindowController.h"
#include "platform/Observation.h"

namespace orb::app {

/// What the plot windows add to their calculator window: the main view (a plot view)
/// draws the calculator controller's "selection.plotDictionary" and redraws on
/// "modelChangedNotification". Shared by the plot windows of both bases.
class PlotViewBinding {
 public:
  void bind(CalculatorWindowController& controller);
  void unbind(CalculatorWindowController& controller);

 private:
  platform::Observation m_modelChanged;
  bool m_bound = false;
};

/// An analysis window that shows a plot, for analyses that need no lens.
class PlotWindowController : public CalculatorWindowController {
  Q_OBJECT
 public:
  explicit PlotWindowController(std::string nibName, const std::shared_ptr<SmartDocument>& document = {});
  ~PlotWindowController() override;

 protected:
  void awakeFromNib() override;
  void windowWillClose() override;

 private:
  PlotViewBinding m_binding;
  bool m_awakeAlready = false;
};

}  // namespace orb::app
