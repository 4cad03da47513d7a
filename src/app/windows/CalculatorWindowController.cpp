#include "app/windows/CalculatorWindowController.h"

#include <QAction>
#include <QGuiApplication>
#include <QSizePolicy>
#include <QTimer>
#include <QToolBar>
#include <QWidget>
#include <algorithm>
#include <cstdio>

#include "analysis/OBCalculator.h"
#include "analysis/OBCalculatorUpdater.h"
#include "app/Messages.h"
#include "app/document/SmartDocument.h"
#include "app/windows/OBWindow.h"
#include "app/windows/OptionPanelController.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "platform/Resources.h"
#include "rendering/ZoomView.h"

namespace orb::app {

namespace {

struct ToolbarItemSpec {
  const char* identifier;
  const char* image;
  const char* label;
  const char* toolTip;
};

constexpr ToolbarItemSpec kToolbarItems[] = {
    {"zoomToFit", "zoomToFit", "Zoom to fit", "Use option-click or scroll wheel to zoom in view"},
    {"SDE", "tb-surfaces", "Surfaces", "Show surface data editor"},
    {"sources", "tb-sources", "Sources", "Show source editor"},
    {"dice", "dice", "Randomize", "Generate new random ray set"},
    {"export", "export", "Export", "Export data"},
    {"sliders", "slider-icon-27", "Sliders", "Show sliders"},
    {"options", "options", "Options", "Summon options panel"},
};

}  // namespace

CalculatorWindowController::CalculatorWindowController(std::string nibName,
                                                       const std::shared_ptr<SmartDocument>& document)
    : WindowControllerWithDocumentController(std::move(nibName), document),
      m_calculatorController(platform::makeObject<ObjectController>()) {}

CalculatorWindowController::~CalculatorWindowController() { closeIfOpen(); }

std::shared_ptr<analysis::OBCalculator> CalculatorWindowController::calculator() const {
  return std::dynamic_pointer_cast<analysis::OBCalculator>(m_calculatorController->content());
}

void CalculatorWindowController::awakeFromNib() {
  WindowControllerWithDocumentController::awakeFromNib();
  if (m_awakeAlready) return;
  m_calculatorController->setContent(outlets().calculator);
  auto calculator = this->calculator();
  if (calculator) {
    // After a zero delay: the window is fully set up (restored settings applied) before
    // the first scheduling. A window closed before then never makes its updater.
    std::weak_ptr<analysis::OBCalculator> weak = calculator;
    QTimer::singleShot(0, this, [this, weak] {
      if (auto c = weak.lock(); c && !isClosing()) makeUpdaterForCalculator(c);
    });
    if (calculator->needsProgressMonitor()) {
      m_progressUpdateTimer = new QTimer(this);
      m_progressUpdateTimer->setInterval(100);
      connect(m_progressUpdateTimer, &QTimer::timeout, this, [this] {
        if (auto c = this->calculator()) c->updateProgress();
      });
      m_progressUpdateTimer->start();
    }
  }
  if (outlets().optionsPanel) {
    m_optionsPanelController = std::make_unique<OptionPanelController>(outlets().optionsPanel, window());
    outlets().optionsPanel = nullptr;  // the panel controller owns it now
    // The panel hides while the application is in the background, as panels do.
    m_applicationStateConnection = connect(qApp, &QGuiApplication::applicationStateChanged, this,
                                           [this](Qt::ApplicationState state) {
                                             auto* panel = m_optionsPanelController->panel();
                                             if (!panel) return;
                                             if (state != Qt::ApplicationActive && panel->isVisible()) {
                                               panel->hide();
                                               m_panelHiddenByDeactivation = true;
                                             } else if (state == Qt::ApplicationActive && m_panelHiddenByDeactivation) {
                                               m_panelHiddenByDeactivation = false;
                                               panel->show();
                                             }
                                           });
  }
  initializeToolbar();
  m_awakeAlready = true;
}

void CalculatorWindowController::makeUpdaterForCalculator(const std::shared_ptr<analysis::OBCalculator>& calculator) {
  m_calculatorUpdater = analysis::OBCalculatorUpdater::make(calculator);
}

std::vector<std::string> CalculatorWindowController::toolbarAllowedItemIdentifiers() const {
  return {kFlexibleSpace, "export", "zoomToFit", "options", "sources", "SDE", "sliders"};
}

std::vector<std::string> CalculatorWindowController::toolbarDefaultItemIdentifiers() const {
  return {"export", "zoomToFit", kFlexibleSpace, "SDE", "sources", kFlexibleSpace, "options"};
}

QAction* CalculatorWindowController::toolbarItem(const std::string& identifier) {
  auto it = m_toolbarItemDictionary.find(identifier);
  if (it != m_toolbarItemDictionary.end()) return it->second;
  QAction* item = makeToolbarItem(identifier);
  if (item) m_toolbarItemDictionary[identifier] = item;
  return item;
}

QAction* CalculatorWindowController::makeToolbarItem(const std::string& identifier) {
  const auto* spec = std::find_if(std::begin(kToolbarItems), std::end(kToolbarItems),
                                  [&](const ToolbarItemSpec& s) { return identifier == s.identifier; });
  if (spec == std::end(kToolbarItems)) return nullptr;
  auto* item = new QAction(QString::fromUtf8(spec->label), this);
  item->setObjectName(QString::fromUtf8(spec->identifier));
  item->setToolTip(QString::fromUtf8(spec->toolTip));
  if (auto path = platform::resources::pathFor(spec->image, "png")) item->setIcon(QIcon(QString::fromStdString(*path)));

  if (identifier == "zoomToFit") {
    connect(item, &QAction::triggered, this, [this] {
      if (auto* zoomView = dynamic_cast<rendering::ZoomView*>(view())) zoomView->zoomToFit();
    });
  } else if (identifier == "SDE") {
    connect(item, &QAction::triggered, this, [this] { performDocumentAction("showLensDataEditor"); });
  } else if (identifier == "sources") {
    connect(item, &QAction::triggered, this, [this] { performDocumentAction("showSources"); });
  } else if (identifier == "sliders") {
    connect(item, &QAction::triggered, this, [this] { performDocumentAction("showSliders"); });
  } else if (identifier == "dice") {
    connect(item, &QAction::triggered, this, [this] {
      if (outlets().randomize) outlets().randomize();
    });
  } else if (identifier == "export") {
    connect(item, &QAction::triggered, this, [this] { exportAction(); });
  } else if (identifier == "options") {
    connect(item, &QAction::triggered, this, [this] {
      if (m_optionsPanelController) m_optionsPanelController->summonWindow();
    });
  }
  return item;
}

void CalculatorWindowController::initializeToolbar() {
  // Each kind of analysis keeps its own toolbar, named after its calculator's class.
  auto calculator = this->calculator();
  m_toolbar = new QToolBar(window());
  m_toolbar->setObjectName(QString::fromStdString(calculator ? calculator->className() : nibName()));
  m_toolbar->setMovable(false);
  m_toolbar->setIconSize(QSize(16, 16));
  m_toolbar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
  for (const auto& identifier : toolbarDefaultItemIdentifiers()) {
    if (identifier == kFlexibleSpace) {
      auto* spacer = new QWidget(m_toolbar);
      spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
      m_toolbar->addWidget(spacer);
    } else if (QAction* item = toolbarItem(identifier)) {
      m_toolbar->addAction(item);
    }
  }
  window()->addToolBar(Qt::TopToolBarArea, m_toolbar);
}

void CalculatorWindowController::performDocumentAction(const std::string& action) {
  auto document = this->document();
  if (document && document->performAction(action)) return;
  showNotAvailableYet(isWindowLoaded() ? window() : nullptr, "The window \"" + action + "\"");
}

void CalculatorWindowController::exportAction() {
  showNotAvailableYet(isWindowLoaded() ? window() : nullptr, "Exporting data");
}

void CalculatorWindowController::windowDidBecomeMain() {
  if (!m_optionsPanelController || !m_optionsPanelController->panel()) return;
  if (m_needsOptionsPanel || m_optionsPanelController->isPanelVisible()) {
    // Directly behind the analysis window.
    auto* panel = m_optionsPanelController->panel();
    if (!panel->isVisible()) panel->show();
    panel->raise();
    window()->raise();
    m_needsOptionsPanel = false;
  }
}

void CalculatorWindowController::windowDidMiniaturize() {
  if (m_optionsPanelController && m_optionsPanelController->isPanelVisible()) {
    m_optionsPanelController->panel()->hide();
    m_needsOptionsPanel = true;
  }
}

void CalculatorWindowController::windowDidDeminiaturize() {
  if (m_needsOptionsPanel && m_optionsPanelController && m_optionsPanelController->panel()) {
    m_optionsPanelController->panel()->show();
    m_needsOptionsPanel = false;
  }
}

void CalculatorWindowController::windowFinalization() {
  if (m_needsOptionsPanel && m_optionsPanelController) m_optionsPanelController->showWindow();
  m_finalizationObservation.remove();
}

platform::Dictionary CalculatorWindowController::calculatorData() const {
  auto calculator = this->calculator();
  return calculator ? calculator->restorationDictionary() : platform::Dictionary();
}

void CalculatorWindowController::setCalculatorData(const platform::Dictionary& data) {
  if (auto calculator = this->calculator()) calculator->applyRestorationDictionary(data);
}

void CalculatorWindowController::encodeRestorableState(platform::Dictionary& state) const {
  WindowControllerWithDocumentController::encodeRestorableState(state);
  try {
    if (calculator()) state.set("calculatorData", calculatorData());
    if (m_optionsPanelController && m_optionsPanelController->isPanelVisible()) {
      const QRect f = m_optionsPanelController->panel()->frameGeometry();
      state.set("optionsPanelIsVisible", true);
      state.set("optionsPanelFrame", platform::format("%d %d %d %d", f.x(), f.y(), f.width(), f.height()));
    }
  } catch (const platform::Exception& e) {
    platform::log("window state not saved: %s", e.what());  // a window that can't say its state reopens plain
  }
}

void CalculatorWindowController::restoreState(const platform::Dictionary& state) {
  WindowControllerWithDocumentController::restoreState(state);
  auto find = [&](const char* key) { return state.find(platform::Value(key)); };
  if (auto* data = find("calculatorData"); data && data->isDictionary()) setCalculatorData(data->asDictionary());
  auto* visible = find("optionsPanelIsVisible");
  if (!visible || !visible->isNumber() || !visible->asBool()) return;
  if (auto* frame = find("optionsPanelFrame"); frame && frame->isString() && m_optionsPanelController &&
                                               m_optionsPanelController->panel()) {
    int x, y, w, h;
    if (std::sscanf(frame->asString().c_str(), "%d %d %d %d", &x, &y, &w, &h) == 4)
      m_optionsPanelController->panel()->setGeometry(x, y, w, h);
  }
  m_needsOptionsPanel = true;
  m_finalizationObservation = platform::NotificationCenter::defaultCenter().addObserver(
      "windowFinalizationNotification", {}, [this](const platform::Notification&) { windowFinalization(); });
}

void CalculatorWindowController::windowWillClose() {
  if (m_optionsPanelController) m_optionsPanelController->closeWindow();
  disconnect(m_applicationStateConnection);
  m_finalizationObservation.remove();
  // Toolbar items reach nothing from now on.
  for (auto& [identifier, item] : m_toolbarItemDictionary) {
    item->disconnect();
    item->setEnabled(false);
  }
  m_calculatorUpdater.reset();
  if (m_progressUpdateTimer) {
    m_progressUpdateTimer->stop();
    delete m_progressUpdateTimer;
    m_progressUpdateTimer = nullptr;
  }
  // Stop the worker here, on the main thread, rather than whenever the last reference
  // happens to go: nothing of this window's analysis runs after the window has closed.
  if (auto calculator = this->calculator()) calculator->stopWork();
  m_calculatorController->setContent(nullptr);
  WindowControllerWithDocumentController::windowWillClose();
}

}  // namespace orb::app
