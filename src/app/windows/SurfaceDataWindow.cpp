#include "app/windows/SurfaceDataWindow.h"

#include <QAction>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUndoStack>
#include <QVBoxLayout>
#include <algorithm>

#include "app/document/OBDocument.h"
#include "app/tables/SmallTables.h"
#include "app/tables/SolveSheets.h"
#include "app/tables/SurfaceTable.h"
#include "app/windows/InterfaceFile.h"
#include "app/windows/OBWindow.h"
#include "app/windows/ToolbarSupport.h"
#include "lens/Lens.h"
#include "lens/Surface.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"

namespace orb::app {

namespace {

constexpr toolbar::ItemDescription kToolbarItems[] = {
    {"info", "tb-info", "Info", "Show lens information", "showSystemWindow"},
    {"sources", "tb-sources", "Sources", "Show source editor", "showSources"},
    {"glasses", "tb-glasses", "Glasses", "Show glasses", "showGlassMonitor"},
    {"sliders", "slider-icon-27", "Sliders", "Show sliders", "showSliders"},
    {"layout", "tb-layout", "Layout", "Show planar view", "showLayout"},
    {"pfoc", "tb-pfoc", "Focus", "Quick paraxial focus", "quickFocus"},
};

const toolbar::ItemDescription* toolbarItemDescription(const std::string& identifier) {
  return toolbar::findItemDescription(kToolbarItems, identifier);
}

constexpr const char* kLowerPartIsHiddenKey = "lowerPartIsHidden";

QPushButton* smallButton(const char* name, const char* title, const char* toolTip, QWidget* parent) {
  auto* b = new QPushButton(QString::fromUtf8(title), parent);
  b->setObjectName(QString::fromUtf8(name));
  b->setToolTip(QString::fromUtf8(toolTip));
  b->setAutoDefault(false);
  return b;
}

InterfaceOutlets loadSurfaceData(OBWindow& window) {
  window.setWindowTitle(QStringLiteral("Surface Data"));
  auto* content = new QWidget(&window);
  auto* column = new QVBoxLayout(content);
  // No spacing between the parts: folding removes exactly the lower part's
  // height.
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);

  auto* upper = new QWidget(content);
  upper->setObjectName(QStringLiteral("upperPart"));
  auto* upperColumn = new QVBoxLayout(upper);
  upperColumn->setContentsMargins(6, 6, 6, 4);
  auto* table = new SurfaceDataTableView(upper);
  table->setObjectName(QStringLiteral("surfaceTable"));
  table->setAlternatingRowColors(true);
  table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 6);
  table->verticalHeader()->setDefaultAlignment(Qt::AlignCenter);
  table->horizontalHeader()->setHighlightSections(false);
  table->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                         QAbstractItemView::AnyKeyPressed);
  upperColumn->addWidget(table, 1);
  auto* buttons = new QHBoxLayout();
  buttons->addWidget(smallButton("insertSurface", "Insert", "Insert a surface after the selection", upper));
  buttons->addWidget(smallButton("removeSurfaces", "Remove", "Remove the selected surfaces", upper));
  buttons->addWidget(smallButton("flipSurfaces", "Flip", "Turn the selected surfaces end for end", upper));
  buttons->addWidget(
      smallButton("setSurfaceAsStop", "Make Stop", "Make the selected surface the aperture stop", upper));
  buttons->addStretch();
  auto* toggle = new QToolButton(upper);
  toggle->setObjectName(QStringLiteral("showHideTheLowerPart"));
  toggle->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  toggle->setAutoRaise(true);
  buttons->addWidget(toggle);
  upperColumn->addLayout(buttons);
  column->addWidget(upper, 1);

  auto* lower = new QWidget(content);
  lower->setObjectName(QStringLiteral("lowerPart"));
  lower->setFixedHeight(SurfaceDataWindowController::kLowerPartHeight);
  auto* lowerColumn = new QVBoxLayout(lower);
  lowerColumn->setObjectName(QStringLiteral("lowerPartLayout"));
  lowerColumn->setContentsMargins(6, 0, 6, 6);
  column->addWidget(lower, 0);

  window.setCentralWidget(content);
  // Room for a dozen surfaces above the lower part.
  window.resize(920, 400 + SurfaceDataWindowController::kLowerPartHeight);
  return {};
}

}  // namespace

SurfaceDataWindowController::SurfaceDataWindowController(std::string nibName,
                                                         const std::shared_ptr<SmartDocument>& document)
    : WindowControllerWithDocumentController(std::move(nibName), document) {}

SurfaceDataWindowController::~SurfaceDataWindowController() { closeIfOpen(); }

SurfaceDataTableView* SurfaceDataWindowController::surfaceTable() const {
  return isWindowLoaded() ? const_cast<SurfaceDataWindowController*>(this)->window()->findChild<SurfaceDataTableView*>(
                                QStringLiteral("surfaceTable"))
                          : nullptr;
}

QWidget* SurfaceDataWindowController::lowerPart() const {
  return isWindowLoaded() ? const_cast<SurfaceDataWindowController*>(this)->window()->findChild<QWidget*>(
                                QStringLiteral("lowerPart"))
                          : nullptr;
}

QVBoxLayout* SurfaceDataWindowController::lowerPartLayout() const {
  auto* lower = lowerPart();
  return lower ? qobject_cast<QVBoxLayout*>(lower->layout()) : nullptr;
}

void SurfaceDataWindowController::awakeFromNib() {
  WindowControllerWithDocumentController::awakeFromNib();
  auto document = std::dynamic_pointer_cast<OBDocument>(this->document());
  auto* table = surfaceTable();
  if (document && table) {
    m_surfaceArrayController = new SurfaceArrayController(document->lens(), this);
    m_surfaceArrayController->setTableView(table);
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    table->horizontalHeader()->setStretchLastSection(true);
    // The columns take their content's width when the table is first shown.
    connect(m_surfaceArrayController, &SurfaceArrayController::surfaceSelectionChanged, this,
            &SurfaceDataWindowController::selectionChanged);
    shareSurfaceSelection(document);

    auto* c = m_surfaceArrayController;
    auto wire = [&](const char* name, auto action) {
      if (auto* b = window()->findChild<QPushButton*>(QString::fromUtf8(name)))
        connect(b, &QPushButton::clicked, c, action);
    };
    wire("insertSurface", [c] { c->add(); });
    wire("removeSurfaces", [c] { c->remove(); });
    wire("flipSurfaces", [c] { c->flipSurfaces(); });
    wire("setSurfaceAsStop", [c] { c->setSurfaceAsStop(); });

    // The tables of the selected surface.
    if (auto* layout = lowerPartLayout()) {
      m_parameterTable = makeParameterTable(document, lowerPart());
      if (m_parameterTable) layout->addWidget(m_parameterTable);
    }

    // Solve sheets open over this window for the surfaces and parameters
    // selected here.
    QPointer<SurfaceDataWindowController> self = this;
    m_solveSheetController = new SolveSheetController(window(), [self]() {
      std::vector<ObjectPtr> selected;
      if (!self) return selected;
      if (auto* sc = self->m_surfaceArrayController) selected = sc->selectedObjects();
      if (self->m_parameterTable)
        if (auto* pc = parameterTableController(self->m_parameterTable))
          for (const auto& p : pc->selectedObjects()) selected.push_back(p);
      return selected;
    });
    m_solveSheetController->setParent(window());
    std::weak_ptr<OBDocument> weak = document;
    m_solveSheetController->setLensProvider([weak] {
      auto d = weak.lock();
      return d ? d->lens() : nullptr;
    });
    m_solveSheetController->setUndoNamer([weak](const std::string& name) {
      if (auto d = weak.lock()) d->setUpcomingActionName(name);
    });
    m_solveSheetController->setOriginOfExpansion(table);
    // A solve chosen from a menu whose sheet is cancelled is taken back: the lens returns to the snapshot the
    // choice's undo step holds, and that step leaves nothing to redo.
    m_solveSheetController->setChoiceReverter(
        [weak] {
          auto d = weak.lock();
          return d ? d->undoStack().index() : -1;
        },
        [weak](int mark) {
          auto d = weak.lock();
          if (!d || mark < 0) return;
          QUndoStack& stack = d->undoStack();
          // Only the choice's own step: anything else since then stays.
          if (stack.index() != mark + 1 || stack.count() != mark + 1) return;
          d->undo();
          if (const QUndoCommand* choice = stack.command(stack.index())) {
            const_cast<QUndoCommand*>(choice)->setObsolete(true);
            stack.redo();  // an obsolete command is dropped, not redone
          }
        });
    table->setSolveSheetController(m_solveSheetController);
  }
  if (auto* toggle = window()->findChild<QToolButton*>(QStringLiteral("showHideTheLowerPart")))
    connect(toggle, &QToolButton::clicked, this, [this] { showHideTheLowerPart(); });
  updateLowerPartToggle();
  initializeToolbar();
  selectionChanged();
}

void SurfaceDataWindowController::documentLensWasReplaced() {
  // The parameter table and the solve sheets ask the document each time; the surface table holds its lens.
  auto document = std::dynamic_pointer_cast<OBDocument>(this->document());
  if (m_surfaceArrayController && document) m_surfaceArrayController->setLens(document->lens());
  selectionChanged();
}

void SurfaceDataWindowController::shareSurfaceSelection(const std::shared_ptr<OBDocument>& document) {
  auto* c = m_surfaceArrayController;
  auto apply = [c](const std::vector<std::size_t>& shared) {
    std::vector<std::size_t> rows;
    for (std::size_t row : shared)
      if (row < c->arrangedObjects().size()) rows.push_back(row);
    if (rows != c->selectionIndexes()) c->setSelectionIndexes(rows);
  };
  // A table opened after a layout picked surfaces shows them selected.
  apply(document->selectedSurfaceIndexes());
  std::weak_ptr<OBDocument> weak = document;
  connect(c, &DNDArrayController::selectionChanged, this, [weak, c] {
    if (auto d = weak.lock()) d->setSelectedSurfaceIndexes(c->selectionIndexes());
  });
  m_sharedSelectionObservation = platform::NotificationCenter::defaultCenter().addObserver(
      OBDocument::kSurfaceSelectionChangedNotification, document->reference(),
      [weak, apply](const platform::Notification&) {
        if (auto d = weak.lock()) apply(d->selectedSurfaceIndexes());
      });
}

void SurfaceDataWindowController::windowWillClose() {
  m_sharedSelectionObservation.remove();
  if (m_toolbarUpdateTimer) m_toolbarUpdateTimer->stop();
  WindowControllerWithDocumentController::windowWillClose();
}

void SurfaceDataWindowController::selectionChanged() {
  auto* c = m_surfaceArrayController;
  if (!c || !isWindowLoaded()) return;
  const bool any = !c->selectionIndexes().empty();
  auto enable = [&](const char* name, bool on) {
    if (auto* b = window()->findChild<QPushButton*>(QString::fromUtf8(name))) b->setEnabled(on);
  };
  enable("removeSurfaces", any);
  enable("flipSurfaces", any);
  enable("setSurfaceAsStop", c->canSetSurfaceAsStop());
  if (m_parameterTable) {
    const auto selected = c->selectedSurfaces();
    setParameterTableSurface(m_parameterTable, selected.size() == 1 ? selected.front() : nullptr);
  }
}

// --- folding
// ---------------------------------------------------------------------------------------

void SurfaceDataWindowController::showHideTheLowerPart() {
  auto* w = window();
  auto* lower = lowerPart();
  if (!lower) return;
  const int delta = m_lowerPartIsHidden ? kLowerPartHeight : -kLowerPartHeight;
  QRect frame = w->geometry();
  QSize minimum = w->minimumSize();
  minimum.setHeight(std::max(0, minimum.height() + delta));
  // The top edge stays; the window grows or shrinks at the bottom by the lower
  // part alone.
  frame.setHeight(frame.height() + delta);
  lower->setVisible(m_lowerPartIsHidden);
  m_lowerPartIsHidden = !m_lowerPartIsHidden;
  w->setMinimumSize(minimum);
  w->setGeometry(frame);
  updateLowerPartToggle();
}

void SurfaceDataWindowController::showTheLowerPart() {
  if (m_lowerPartIsHidden) showHideTheLowerPart();
}

void SurfaceDataWindowController::hideTheLowerPart() {
  if (!m_lowerPartIsHidden) showHideTheLowerPart();
}

void SurfaceDataWindowController::updateLowerPartToggle() {
  if (!isWindowLoaded()) return;
  auto* toggle = window()->findChild<QToolButton*>(QStringLiteral("showHideTheLowerPart"));
  if (!toggle) return;
  toggle->setArrowType(m_lowerPartIsHidden ? Qt::RightArrow : Qt::DownArrow);
  toggle->setText(m_lowerPartIsHidden ? QStringLiteral("Show Surface Details")
                                      : QStringLiteral("Hide Surface Details"));
}

// --- toolbar
// -----------------------------------------------------------------------------------------

std::vector<std::string> SurfaceDataWindowController::toolbarAllowedItemIdentifiers() {
  return {kFlexibleSpace, "info", "sources", "glasses", "layout", "pfoc", "sliders"};
}

std::vector<std::string> SurfaceDataWindowController::toolbarDefaultItemIdentifiers() {
  return {kFlexibleSpace, "info", "sources", "glasses", "layout", "pfoc", kFlexibleSpace};
}

std::string SurfaceDataWindowController::toolbarConfigurationKey() { return "NSToolbar Configuration SDE"; }

QAction* SurfaceDataWindowController::toolbarItem(const std::string& identifier) {
  if (auto it = m_toolbarItemDictionary.find(identifier); it != m_toolbarItemDictionary.end()) return it->second;
  const toolbar::ItemDescription* described = toolbarItemDescription(identifier);
  if (!described) return nullptr;
  QAction* item = toolbar::makeItemAction(*described, this);
  const std::string action = described->action;
  connect(item, &QAction::triggered, this, [this, action] {
    if (auto d = document()) d->performAction(action);
  });
  m_toolbarItemDictionary[identifier] = item;
  return item;
}

void SurfaceDataWindowController::initializeToolbar() {
  m_toolbar = toolbar::makeToolbar(window(), QStringLiteral("SDE"), this,
                                   [this](QMenu& menu) { populateToolbarContextMenu(menu); });
  m_toolbar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
  bool shown = true;
  std::vector<std::string> identifiers = toolbarDefaultItemIdentifiers();
  const auto stored = platform::UserDefaults::standard().objectForKey(toolbarConfigurationKey());
  if (stored.isDictionary()) {
    if (auto items = toolbar::storedItemIdentifiers(stored.asDictionary())) identifiers = std::move(*items);
    if (const auto* s = stored.asDictionary().find(toolbar::kIsShownKey); s && s->isNumber()) shown = s->asBool();
  }
  m_toolbarItemIdentifiers = toolbar::usableItemIdentifiers(identifiers, toolbarAllowedItemIdentifiers());
  rebuildToolbar();
  m_toolbar->setVisible(shown);
  window()->addToolBar(Qt::TopToolBarArea, m_toolbar);
  m_toolbarUpdateTimer = new QTimer(this);
  m_toolbarUpdateTimer->setInterval(1000);
  connect(m_toolbarUpdateTimer, &QTimer::timeout, this, [this] { validateToolbar(); });
  m_toolbarUpdateTimer->start();
  validateToolbar();
}

void SurfaceDataWindowController::rebuildToolbar() {
  toolbar::fillToolbar(m_toolbar, m_toolbarItemIdentifiers, m_toolbarSpacers,
                       [this](const std::string& identifier) { return toolbarItem(identifier); });
}

void SurfaceDataWindowController::setToolbarItemIdentifiers(const std::vector<std::string>& identifiers) {
  if (!m_toolbar) return;
  m_toolbarItemIdentifiers = toolbar::usableItemIdentifiers(identifiers, toolbarAllowedItemIdentifiers());
  rebuildToolbar();
  validateToolbar();
  platform::UserDefaults::standard().setObject(
      toolbarConfigurationKey(),
      platform::Dictionary{{toolbar::kItemIdentifiersKey, toolbar::itemIdentifierArray(m_toolbarItemIdentifiers)},
                           {toolbar::kIsShownKey, m_toolbar->isVisibleTo(window())}});
}

void SurfaceDataWindowController::validateToolbar() {
  auto document = this->document();
  for (const auto& identifier : m_toolbarItemIdentifiers) {
    const toolbar::ItemDescription* described = toolbarItemDescription(identifier);
    if (!described) continue;
    if (auto* item = toolbarItem(identifier)) item->setEnabled(document && document->validateAction(described->action));
  }
}

void SurfaceDataWindowController::populateToolbarContextMenu(QMenu& menu) {
  for (const auto& identifier : toolbarAllowedItemIdentifiers()) {
    const toolbar::ItemDescription* described = toolbarItemDescription(identifier);
    if (!described) continue;
    QAction* item = menu.addAction(QString::fromUtf8(described->label));
    item->setCheckable(true);
    const bool shown = std::find(m_toolbarItemIdentifiers.begin(), m_toolbarItemIdentifiers.end(), identifier) !=
                       m_toolbarItemIdentifiers.end();
    item->setChecked(shown);
    connect(item, &QAction::toggled, this, [this, identifier](bool on) {
      auto identifiers = m_toolbarItemIdentifiers;
      if (on) {
        // Before the trailing flexible space, where the default items end.
        auto place = identifiers.end();
        if (!identifiers.empty() && identifiers.back() == kFlexibleSpace) --place;
        identifiers.insert(place, identifier);
      } else {
        std::erase(identifiers, identifier);
      }
      setToolbarItemIdentifiers(identifiers);
    });
  }
  menu.addSeparator();
  connect(menu.addAction(QStringLiteral("Restore Default Items")), &QAction::triggered, this,
          [this] { setToolbarItemIdentifiers(toolbarDefaultItemIdentifiers()); });
}

// --- restoration
// ----------------------------------------------------------------------------------------

void SurfaceDataWindowController::encodeRestorableState(platform::Dictionary& state) const {
  WindowControllerWithDocumentController::encodeRestorableState(state);
  state.set(kLowerPartIsHiddenKey, m_lowerPartIsHidden);
}

void SurfaceDataWindowController::restoreState(const platform::Dictionary& state) {
  WindowControllerWithDocumentController::restoreState(state);
  // The frame, restored before this, already has the folded height: only the
  // part hides.
  if (const auto hidden = state.get(kLowerPartIsHiddenKey);
      hidden.isNumber() && hidden.asBool() && !m_lowerPartIsHidden) {
    if (auto* lower = lowerPart()) {
      lower->setVisible(false);
      QSize minimum = window()->minimumSize();
      minimum.setHeight(std::max(0, minimum.height() - kLowerPartHeight));
      window()->setMinimumSize(minimum);
      m_lowerPartIsHidden = true;
      updateLowerPartToggle();
    }
  }
}

void registerSurfaceDataWindow() { interfacefile::registerLoader("SurfaceData", loadSurfaceData); }

SmartWindowController* makeSurfaceDataWindowController(const std::string& nibName,
                                                       const std::shared_ptr<SmartDocument>& document) {
  return new SurfaceDataWindowController(nibName, document);
}

}  // namespace orb::app
