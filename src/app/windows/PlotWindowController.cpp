#include "app/windows/PlotWindowController.h"

#include "analysis/OBCalculator.h"
#include "analysis/PlotDictionary.h"
#include "app/windows/ExportSheet.h"
#include "app/windows/OBWindow.h"
#include "platform/Exception.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "rendering/ZoomPlotView.h"

namespace orb::app {

PlotViewBinding::PlotViewBinding() = default;
PlotViewBinding::~PlotViewBinding() = default;

void PlotViewBinding::bind(CalculatorWindowController& controller) {
  auto* plotView = dynamic_cast<rendering::ZoomPlotView*>(controller.view());
  if (!plotView) return;
  QPointer<rendering::ZoomPlotView> view = plotView;
  m_modelChanged = platform::NotificationCenter::defaultCenter().addObserver(
      "modelChangedNotification", {}, [view](const platform::Notification&) {
        if (view) view->modelChanged();
      });
  try {
    plotView->bindPlotDictionary(controller.calculatorController(), "selection.plotDictionary");
    m_bound = true;
  } catch (const platform::Exception& e) {
    platform::log("IGNORING: %s", e.what());
  }
}

void PlotViewBinding::unbind(CalculatorWindowController& controller) {
  m_modelChanged.remove();
  if (m_exportSheet) m_exportSheet->endSheet();
  if (!m_bound) return;
  m_bound = false;
  if (auto* plotView = dynamic_cast<rendering::ZoomPlotView*>(controller.view())) plotView->unbindPlotDictionary();
}

void PlotViewBinding::beginExportSheet(CalculatorWindowController& controller) {
  if (controller.isClosing()) return;
  if (!m_exportSheet) m_exportSheet = platform::makeObject<ExportSheetController>();
  m_exportSheet->setMainWindow(controller.window());
  platform::Array curves;
  if (auto calculator = controller.calculator(); calculator && calculator->plotDictionary()) {
    const platform::Value* found = calculator->plotDictionary()->find(analysis::plot::kCurves);
    if (found && found->isArray()) curves = found->asArray();
  }
  m_exportSheet->setCurves(std::move(curves));
  m_exportSheet->beginSheet();
}

PlotWindowController::PlotWindowController(std::string nibName, const std::shared_ptr<SmartDocument>& document)
    : CalculatorWindowController(std::move(nibName), document) {}

PlotWindowController::~PlotWindowController() { closeIfOpen(); }

void PlotWindowController::awakeFromNib() {
  CalculatorWindowController::awakeFromNib();
  if (m_awakeAlready) return;
  m_awakeAlready = true;
  m_binding.bind(*this);
}

void PlotWindowController::exportAction() { m_binding.beginExportSheet(*this); }

void PlotWindowController::windowWillClose() {
  m_binding.unbind(*this);
  CalculatorWindowController::windowWillClose();
}

}  // namespace orb::app
