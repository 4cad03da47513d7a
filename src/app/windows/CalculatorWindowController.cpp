#include "app/windows/CalculatorWindowController.h"

#include <QAbstractButton>
#include <QAction>
#include <QActionGroup>
#include <QBoxLayout>
#include <QFormLayout>
#include <QGridLayout>
#include <QIcon>
#include <QPainter>
#include <QPixmap>
#include <QShortcut>
#include <QToolButton>
#include <QGuiApplication>
#include <QMenu>
#include <QSaveFile>
#include <QTimer>
#include <QToolBar>
#include <QWidget>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <utility>

#include "analysis/OBCalculator.h"
#include "analysis/OBCalculatorUpdater.h"
#include "app/Messages.h"
#include "app/document/OBAppDel.h"
#include "app/document/SmartDocument.h"
#include "app/windows/ListingWindows.h"
#include "app/windows/OBWindow.h"
#include "app/windows/OptionPanelController.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"
#include "rendering/ZoomView.h"

namespace orb::app {

namespace {

constexpr toolbar::ItemDescription kToolbarItems[] = {
    {"zoomToFit", "zoomToFit", "Zoom to fit", "Use option-click or scroll wheel to zoom in view"},
    {"SDE", "tb-surfaces", "Surfaces", "Show surface data editor"},
    {"sources", "tb-sources", "Sources", "Show source editor"},
    {"dice", "dice", "Randomize", "Generate new random ray set"},
    {"export", "export", "Export", "Export data"},
    {"sliders", "slider-icon-27", "Sliders", "Show sliders"},
    {"glasses", "tb-glasses", "Glasses", "Show glasses"},
    {"layout", "tb-layout", "Layout", "Show planar view"},
    {"options", "options", "Options", "Summon options panel"},
    {"back", "green-back", "Back", "Back"},
    {"forward", "green-forward", "Forward", "Forward"},
    {"tumble", "reloadflip", "Tumble", "Change to a new view axis"},
    {"pfoc", "tb-pfoc", "Focus", "Quick paraxial focus"},
    {"glassLibrary", "GL", "Glass library", ""},
};

const toolbar::ItemDescription* toolbarItemDescription(const std::string& identifier) {
  return toolbar::findItemDescription(kToolbarItems, identifier);
}

constexpr const char* kDisplayModeKey = "TB Display Mode";

Qt::ToolButtonStyle toolButtonStyle(CalculatorWindowController::ToolbarDisplayMode mode) {
  using Mode = CalculatorWindowController::ToolbarDisplayMode;
  switch (mode) {
    case Mode::IconOnly:
      return Qt::ToolButtonIconOnly;
    case Mode::LabelOnly:
      return Qt::ToolButtonTextOnly;
    case Mode::Default:
    case Mode::IconAndLabel:
      break;
  }
  return Qt::ToolButtonTextUnderIcon;
}

}  // namespace

namespace {

/// A round "?" for the help button.
QIcon helpIcon() {
  QPixmap picture(40, 40);
  picture.setDevicePixelRatio(2);
  picture.fill(Qt::transparent);
  QPainter painter(&picture);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(QColor(120, 120, 120), 1));
  painter.setBrush(QColor(250, 250, 250));
  painter.drawEllipse(QRectF(1, 1, 18, 18));
  QFont font = painter.font();
  font.setBold(true);
  font.setPixelSize(13);
  painter.setFont(font);
  painter.setPen(QColor(40, 40, 40));
  painter.drawText(QRectF(0, 0, 20, 20), Qt::AlignCenter, QStringLiteral("?"));
  return QIcon(picture);
}

/// Puts `row` under everything else in `panel`, whatever lays the panel out.
void addAtBottom(QWidget* panel, QWidget* row) {
  QLayout* layout = panel->layout();
  if (auto* box = qobject_cast<QBoxLayout*>(layout)) {
    box->addWidget(row, 0, Qt::AlignLeft);
  } else if (auto* grid = qobject_cast<QGridLayout*>(layout)) {
    grid->addWidget(row, grid->rowCount(), 0, 1, -1, Qt::AlignLeft);
  } else if (auto* form = qobject_cast<QFormLayout*>(layout)) {
    form->addRow(row);
  } else if (layout) {
    layout->addWidget(row);
  } else {
    // Laid out by hand: the panel grows by the row.
    row->adjustSize();
    panel->resize(panel->width(), panel->height() + row->height() + 8);
    row->move(8, panel->height() - row->height() - 4);
  }
}

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
  // Help: the options panel's button opens this analysis's section; the Help key the
  // general one.
  if (QWidget* panel = m_optionsPanelController ? m_optionsPanelController->panel() : nullptr) {
    auto* help = new QToolButton(panel);
    help->setObjectName(QStringLiteral("helpButton"));
    help->setText(QString::fromStdString(helpAnchor()));  // the title names the anchor
    help->setToolButtonStyle(Qt::ToolButtonIconOnly);
    help->setIcon(helpIcon());
    help->setAutoRaise(true);
    help->setToolTip(QStringLiteral("Help"));
    connect(help, &QToolButton::clicked, this, [this, help] { showHelp(help); });
    addAtBottom(panel, help);
  }
  auto* helpKey = new QShortcut(QKeySequence::HelpContents, window(), window(), [this] { showHelp(nullptr); });
  helpKey->setObjectName(QStringLiteral("showHelp"));
  initializeToolbar();
  m_awakeAlready = true;
}

void CalculatorWindowController::showHelp(QObject* sender) {
  std::string anchor = kDefaultHelpAnchor;
  if (auto* button = qobject_cast<QAbstractButton*>(sender); button && !button->text().isEmpty())
    anchor = button->text().toStdString();
  HelpLauncher::showHelpAnchor(anchor);
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
  const toolbar::ItemDescription* described = toolbarItemDescription(identifier);
  if (!described) return nullptr;
  QAction* item = toolbar::makeItemAction(*described, this);

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
  } else if (identifier == "glasses") {
    connect(item, &QAction::triggered, this, [this] { performDocumentAction("showGlassMonitor"); });
  } else if (identifier == "layout") {
    connect(item, &QAction::triggered, this, [this] { performDocumentAction("showLayout"); });
  } else if (identifier == "pfoc") {
    connect(item, &QAction::triggered, this, [this] { performDocumentAction("quickFocus"); });
  } else if (identifier == "glassLibrary") {
    connect(item, &QAction::triggered, this, [] { OBAppDel::shared().showGlassLibrary(); });
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
  connectToolbarItem(identifier, item);
  return item;
}

void CalculatorWindowController::initializeToolbar() {
  m_toolbar = toolbar::makeToolbar(window(), QString::fromStdString(toolbarIdentifier()), this,
                                   [this](QMenu& menu) { populateToolbarContextMenu(menu); });
  // The window's own menu of toolbars hides and shows it too.
  connect(m_toolbar->toggleViewAction(), &QAction::triggered, this, [this](bool shown) {
    m_toolbarIsShown = shown;
    saveToolbarConfiguration();
  });
  m_toolbarItemIdentifiers = usableToolbarItemIdentifiers(toolbarDefaultItemIdentifiers());
  readToolbarConfiguration();
  rebuildToolbar();
  window()->addToolBar(Qt::TopToolBarArea, m_toolbar);
}

std::string CalculatorWindowController::toolbarIdentifier() const {
  auto calculator = this->calculator();
  return calculator ? calculator->className() : nibName();
}

std::string CalculatorWindowController::toolbarConfigurationKey(const std::string& identifier) {
  return "NSToolbar Configuration " + identifier;
}

std::vector<std::string> CalculatorWindowController::usableToolbarItemIdentifiers(
    const std::vector<std::string>& identifiers) const {
  return toolbar::usableItemIdentifiers(identifiers, toolbarAllowedItemIdentifiers(), [this](const std::string& item) {
    if (toolbarItemDescription(item)) return true;
    platform::log("toolbar %s: skipping unknown item \"%s\"", toolbarIdentifier().c_str(), item.c_str());
    return false;
  });
}

void CalculatorWindowController::readToolbarConfiguration() {
  const platform::Value stored =
      platform::UserDefaults::standard().objectForKey(toolbarConfigurationKey(toolbarIdentifier()));
  if (!stored.isDictionary()) return;
  const platform::Dictionary& configuration = stored.asDictionary();
  // Each part is taken on its own: one of a wrong type leaves that part at its default.
  if (const auto identifiers = toolbar::storedItemIdentifiers(configuration))
    m_toolbarItemIdentifiers = usableToolbarItemIdentifiers(*identifiers);
  if (const auto* mode = configuration.find(kDisplayModeKey); mode && mode->isNumber()) {
    const auto value = mode->asInt();
    if (value >= 0 && value <= static_cast<int>(ToolbarDisplayMode::LabelOnly))
      m_toolbarDisplayMode = static_cast<ToolbarDisplayMode>(value);
  }
  if (const auto* shown = configuration.find(toolbar::kIsShownKey); shown && shown->isNumber())
    m_toolbarIsShown = shown->asBool();
}

void CalculatorWindowController::saveToolbarConfiguration() const {
  platform::Dictionary configuration{
      {toolbar::kItemIdentifiersKey, toolbar::itemIdentifierArray(m_toolbarItemIdentifiers)},
      {kDisplayModeKey, static_cast<int>(m_toolbarDisplayMode)},
      {toolbar::kIsShownKey, m_toolbarIsShown}};
  platform::UserDefaults::standard().setObject(toolbarConfigurationKey(toolbarIdentifier()), configuration);
}

void CalculatorWindowController::rebuildToolbar() {
  toolbar::fillToolbar(m_toolbar, m_toolbarItemIdentifiers, m_toolbarSpacers,
                       [this](const std::string &identifier) {
                         return toolbarItem(identifier);
                       });
  m_toolbar->setToolButtonStyle(toolButtonStyle(m_toolbarDisplayMode));
  m_toolbar->setVisible(m_toolbarIsShown);
}

void CalculatorWindowController::setToolbarItemIdentifiers(const std::vector<std::string>& identifiers) {
  if (!m_toolbar) return;
  m_toolbarItemIdentifiers = usableToolbarItemIdentifiers(identifiers);
  rebuildToolbar();
  saveToolbarConfiguration();
}

bool CalculatorWindowController::isToolbarItemShown(const std::string& identifier) const {
  return std::find(m_toolbarItemIdentifiers.begin(), m_toolbarItemIdentifiers.end(), identifier) !=
         m_toolbarItemIdentifiers.end();
}

void CalculatorWindowController::setToolbarItemShown(const std::string& identifier, bool shown) {
  if (identifier == kFlexibleSpace || shown == isToolbarItemShown(identifier)) return;
  auto identifiers = m_toolbarItemIdentifiers;
  if (!shown) {
    std::erase(identifiers, identifier);
  } else {
    // Beside its neighbours in the default order: after the nearest earlier item shown,
    // else before the nearest later one, else last.
    const auto defaults = toolbarDefaultItemIdentifiers();
    const auto inDefaults = std::find(defaults.begin(), defaults.end(), identifier);
    auto isShown = [&](const std::string& other) {
      return other != kFlexibleSpace && std::find(identifiers.begin(), identifiers.end(), other) != identifiers.end();
    };
    auto shownAt = [&](const std::string& other) { return std::find(identifiers.begin(), identifiers.end(), other); };
    auto place = identifiers.end();
    if (inDefaults != defaults.end()) {
      const auto earlier = std::find_if(std::make_reverse_iterator(inDefaults), defaults.rend(), isShown);
      const auto later = std::find_if(inDefaults + 1, defaults.end(), isShown);
      if (earlier != defaults.rend())
        place = shownAt(*earlier) + 1;
      else if (later != defaults.end())
        place = shownAt(*later);
    }
    identifiers.insert(place, identifier);
  }
  setToolbarItemIdentifiers(identifiers);
}

void CalculatorWindowController::restoreDefaultToolbarItems() {
  setToolbarItemIdentifiers(toolbarDefaultItemIdentifiers());
}

void CalculatorWindowController::setToolbarDisplayMode(ToolbarDisplayMode mode) {
  if (!m_toolbar) return;
  m_toolbarDisplayMode = mode;
  m_toolbar->setToolButtonStyle(toolButtonStyle(mode));
  saveToolbarConfiguration();
}

void CalculatorWindowController::setToolbarShown(bool shown) {
  if (!m_toolbar) return;
  m_toolbarIsShown = shown;
  m_toolbar->setVisible(shown);
  saveToolbarConfiguration();
}

void CalculatorWindowController::populateToolbarContextMenu(QMenu& menu) {
  for (const auto& identifier : toolbarAllowedItemIdentifiers()) {
    const toolbar::ItemDescription* described = toolbarItemDescription(identifier);
    if (!described) continue;  // flexible spaces come back with the default items
    QAction* item = menu.addAction(QString::fromUtf8(described->label));
    item->setCheckable(true);
    item->setChecked(isToolbarItemShown(identifier));
    connect(item, &QAction::toggled, this, [this, identifier](bool on) { setToolbarItemShown(identifier, on); });
  }
  menu.addSeparator();
  auto* modes = new QActionGroup(&menu);
  const std::pair<const char*, ToolbarDisplayMode> kModes[] = {{"Icon and Text", ToolbarDisplayMode::IconAndLabel},
                                                               {"Icon Only", ToolbarDisplayMode::IconOnly},
                                                               {"Text Only", ToolbarDisplayMode::LabelOnly}};
  const ToolbarDisplayMode present =
      m_toolbarDisplayMode == ToolbarDisplayMode::Default ? ToolbarDisplayMode::IconAndLabel : m_toolbarDisplayMode;
  for (const auto& [label, mode] : kModes) {
    QAction* item = menu.addAction(QString::fromUtf8(label));
    item->setCheckable(true);
    item->setChecked(mode == present);
    modes->addAction(item);
    connect(item, &QAction::triggered, this, [this, mode = mode] { setToolbarDisplayMode(mode); });
  }
  menu.addSeparator();
  connect(menu.addAction(QStringLiteral("Restore Default Items")), &QAction::triggered, this,
          [this] { restoreDefaultToolbarItems(); });
}

void CalculatorWindowController::performDocumentAction(const std::string& action) {
  auto document = this->document();
  if (document && document->performAction(action)) return;
  showNotAvailableYet(isWindowLoaded() ? window() : nullptr, "The window \"" + action + "\"");
}

void CalculatorWindowController::exportAction() {
  showNotAvailableYet(isWindowLoaded() ? window() : nullptr, "Exporting data");
}

void CalculatorWindowController::saveData() {
  if (isClosing()) return;
  QPointer<CalculatorWindowController> self = this;
  m_savePathChooser(window(), SavePanelOptions{"Save Data", "txt", "Exports in ASCII format (.txt)"},
                    [self](const std::string& path) {
                      if (self && !self->isClosing()) self->exportDataToPath(path);
                    });
}

bool CalculatorWindowController::exportDataToPath(const std::string& path) {
  QWidget* parent = isWindowLoaded() ? window() : nullptr;
  auto calculator = this->calculator();
  if (!calculator) return false;
  auto failed = [&](const char* what, const std::string& reason) {
    showMessage(parent, "The file \"" + path + "\" could not be " + what + ".", reason);
    return false;
  };
  // Written beside the target and renamed over it only once complete.
  QSaveFile file(QString::fromStdString(path));
  if (!file.open(QIODevice::WriteOnly)) return failed("created", file.errorString().toStdString());
  // The calculator writes through stdio: it gets a stream of its own on a copy of the
  // descriptor, so closing the stream leaves the save file's descriptor open.
  const int descriptor = ::dup(file.handle());
  std::FILE* stream = descriptor >= 0 ? ::fdopen(descriptor, "w") : nullptr;
  if (!stream) {
    const std::string reason = std::strerror(errno);
    if (descriptor >= 0) ::close(descriptor);
    file.cancelWriting();
    return failed("created", reason);
  }
  bool exported = false;
  std::string error;
  try {
    exported = calculator->exportToFile(stream);
  } catch (const std::exception& e) {
    error = e.what();
  }
  int writeError = std::ferror(stream) ? (errno ? errno : EIO) : 0;
  if (std::fclose(stream) != 0 && !writeError) writeError = errno ? errno : EIO;
  if (!error.empty()) {
    file.cancelWriting();
    return failed("written", error);
  }
  if (!exported) {
    file.cancelWriting();
    showMessage(parent, "This analysis has no data to export.");
    return false;
  }
  if (writeError) {
    file.cancelWriting();
    return failed("written", std::strerror(writeError));
  }
  if (!file.commit()) return failed("written", file.errorString().toStdString());
  return true;
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
    if (const auto restored = OBWindow::restoredFrame(frame->asString()))
      m_optionsPanelController->panel()->setGeometry(*restored);
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
