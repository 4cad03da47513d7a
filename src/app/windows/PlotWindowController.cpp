#include "app/windows/PlotWindowController.h"

#include <QLabel>
#include <QPointer>
#include <QStatusBar>

#include "analysis/OBCalculator.h"
#include "analysis/PlotDictionary.h"
#include "app/windows/ExportSheet.h"
#include "app/windows/OBWindow.h"
#include "platform/Exception.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "rendering/PlotViewWithPOI.h"
#include "rendering/ZoomPlotView.h"

namespace orb::app {

std::string plotReadoutText(rendering::ZoomPlotView& view) {
  if (auto* poi = dynamic_cast<rendering::PlotViewWithPOI*>(&view); poi && poi->hasPointOfInterest())
    if (!poi->pointOfInterestDescription().empty()) return poi->pointOfInterestDescription();
  if (!view.mouseValid()) return {};
  const platform::Dictionary& plot = view.filteredPlotDictionary();
  auto label = [&plot](const char* key, const char* fallback) {
    const platform::Value* v = plot.find(key);
    return v && v->isString() && !v->asString().empty() ? v->asString() : std::string(fallback);
  };
  return label("xLabel", "x") + " = " + platform::format("%g", view.xMouse()) + ", " + label("yLabel", "y") +
         " = " + platform::format("%g", view.yMouse());
}

PlotViewBinding::PlotViewBinding() = default;
PlotViewBinding::~PlotViewBinding() = default;

void PlotViewBinding::bind(CalculatorWindowController& controller) {
  auto* plotView = dynamic_cast<rendering::ZoomPlotView*>(controller.view());
  if (!plotView) return;
  QPointer<rendering::ZoomPlotView> view = plotView;
  installReadout(controller, *plotView);
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
  if (auto* plotView = dynamic_cast<rendering::ZoomPlotView*>(controller.view())) {
    plotView->unbindPlotDictionary();
    plotView->setReadoutChangedHandler({});
    if (auto* poi = dynamic_cast<rendering::PlotViewWithPOI*>(plotView)) poi->setPointOfInterestChangedHandler({});
  }
}

void PlotViewBinding::installReadout(CalculatorWindowController& controller, rendering::ZoomPlotView& plotView) {
  QMainWindow* window = controller.window();
  if (!window) return;
  auto* label = new QLabel(window->statusBar());
  label->setObjectName(QStringLiteral("plotReadout"));
  label->setTextInteractionFlags(Qt::TextSelectableByMouse);
  window->statusBar()->addPermanentWidget(label);
  QPointer<QLabel> readout = label;
  QPointer<rendering::ZoomPlotView> view = &plotView;
  auto refresh = [readout, view] {
    if (readout && view) readout->setText(QString::fromStdString(plotReadoutText(*view)));
  };
  plotView.setReadoutChangedHandler(refresh);
  if (auto* poi = dynamic_cast<rendering::PlotViewWithPOI*>(&plotView)) poi->setPointOfInterestChangedHandler(refresh);
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
