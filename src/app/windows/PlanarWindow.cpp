#include "app/windows/PlanarWindow.h"

#include <QAction>
#include <QActionGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QMenu>
#include <QVBoxLayout>

#include "analysis/LayoutCalculator.h"
#include "app/document/OBDocument.h"
#include "app/windows/AnalysisOptions.h"
#include "app/windows/AnalysisPanel.h"
#include "app/windows/InterfaceFile.h"
#include "app/windows/LayoutPlanarModel.h"
#include "app/windows/OBWindow.h"
#include "geometry/values/Extents.h"
#include "lens/Lens.h"
#include "platform/NotificationCenter.h"
#include "rendering/PlanarView.h"

namespace orb::app {

namespace {

using analysis::LayoutCalculator;
using rendering::PlanarView;

constexpr const char* kOrientationKey = "orientation";

// The section and the axis line belong to the view; the rest is the
// calculator's.
QWidget* makeOptionsPanel(const std::shared_ptr<LayoutCalculator>& calculator, PlanarView* view) {
  auto* panel = new QWidget();
  panel->setObjectName(QStringLiteral("layoutOptions"));
  panel->setWindowTitle(QStringLiteral("Layout Options"));
  auto* column = new QVBoxLayout(panel);
  QFormLayout* form = nullptr;
  column->addWidget(options::group("Drawing", form));
  auto* section = new QComboBox;
  section->setObjectName(QStringLiteral("orientation"));
  section->addItem(QStringLiteral("ZY (y up)"), PlanarView::ZY);
  section->addItem(QStringLiteral("ZX (x up)"), PlanarView::ZX);
  section->setCurrentIndex(view->orientation());
  QObject::connect(section, &QComboBox::activated, view, [view](int index) {
    view->setOrientation(index);
    view->waitForZoomToFit();  // the other section has other extents
    view->zoomToFit();
  });
  form->addRow(QStringLiteral("Section"), section);
  auto* axis = new QCheckBox(QStringLiteral("Optical axis"));
  axis->setObjectName(QStringLiteral("drawOpticalAxis"));
  axis->setChecked(view->drawOpticalAxis());
  QObject::connect(axis, &QCheckBox::toggled, view, [view](bool on) { view->setDrawOpticalAxis(on); });
  form->addRow(axis);
  // The fields traced, as every ray analysis offers them: a lens with several fields
  // shows each one's beam in its own colour.
  column->addWidget(options::group("Source", form));
  options::Binder<LayoutCalculator> b(calculator, panel);
  std::weak_ptr<analysis::RaysCalculator> weak = calculator;
  form->addRow(QStringLiteral("Fields"),
               b.choice("fieldOfInterestKeyPath", [weak] { return analysispanel::fieldChoices(weak, "All fields"); },
                        {"lens"}));
  addLayoutCalculatorOptions(column, calculator, panel);
  column->addStretch();
  return panel;
}

// The view's contextual menu: mouse modes (select is how surfaces are picked
// and moved), the section, zoom to fit and copy.
QMenu* makeGraphicsMenu(PlanarView* view) {
  auto* menu = new QMenu(view);
  menu->setObjectName(QStringLiteral("graphicsMenu"));
  auto* modes = new QActionGroup(menu);
  const std::pair<const char*, int> modeItems[] = {{"Select Surfaces", rendering::ZoomView::Select},
                                                   {"Zoom", rendering::ZoomView::Zoom},
                                                   {"Pan", rendering::ZoomView::Pan}};
  for (const auto& [title, mode] : modeItems) {
    QAction* a = menu->addAction(QString::fromUtf8(title));
    a->setCheckable(true);
    a->setActionGroup(modes);
    QObject::connect(a, &QAction::triggered, view, [view, m = mode] { view->setMouseMode(m); });
  }
  QObject::connect(menu, &QMenu::aboutToShow, menu, [view, modes] {
    const auto actions = modes->actions();
    const int mode = view->mouseMode();
    if (mode >= 0 && mode < actions.size()) actions[mode]->setChecked(true);
  });
  menu->addSeparator();
  menu->addAction(QStringLiteral("ZY Section"), view, [view] { view->orientZY(); });
  menu->addAction(QStringLiteral("ZX Section"), view, [view] { view->orientZX(); });
  menu->addSeparator();
  menu->addAction(QStringLiteral("Zoom to Fit"), view, [view] { view->zoomToFit(); });
  menu->addAction(QStringLiteral("Copy"), view, [view] { view->copy(); });
  menu->addAction(QStringLiteral("Print…"), view, [view] { view->print(); });
  return menu;
}

InterfaceOutlets loadPlanarView(OBWindow& window) {
  auto* view = new PlanarView(&window);
  view->setObjectName(QStringLiteral("planarView"));
  QMenu* menu = makeGraphicsMenu(view);
  view->setGraphicsMenu(menu);
  view->setSelectionMenu(menu);
  window.setCentralWidget(view);
  auto* print = new QAction(QStringLiteral("Print Layout…"), &window);
  print->setObjectName(QStringLiteral("printLayout"));
  print->setShortcut(QKeySequence::Print);
  QObject::connect(print, &QAction::triggered, view, [view] { view->print(); });
  window.addAction(print);
  window.setWindowTitle(QStringLiteral("Layout"));
  window.resize(800, 420);
  return layoutWindowOutlets(view, [view](const auto& calculator) { return makeOptionsPanel(calculator, view); });
}

}  // namespace

PlanarWindowController::PlanarWindowController(std::string nibName, const std::shared_ptr<SmartDocument>& document)
    : LayoutViewWindowController(std::move(nibName), document) {}

PlanarWindowController::~PlanarWindowController() { closeIfOpen(); }

PlanarView* PlanarWindowController::planarView() const { return dynamic_cast<PlanarView*>(view()); }

bool PlanarWindowController::attachModel() {
  auto* view = planarView();
  auto calculator = std::dynamic_pointer_cast<LayoutCalculator>(this->calculator());
  if (!view || !calculator) return false;
  m_model = std::make_shared<LayoutPlanarModel>(calculator);
  // The end of a drag closes its one undo step: the document snapshots the
  // lens as it was left.
  std::weak_ptr<OBDocument> document = std::dynamic_pointer_cast<OBDocument>(this->document());
  m_model->setMoveEndedHandler([document] {
    if (auto d = document.lock()) d->enqueueSnapshotRequiredNotification();
  });
  m_model->setSelectionHandler([document](const std::vector<std::size_t>& indexes) {
    if (auto d = document.lock()) d->setSelectedSurfaceIndexes(indexes);
  });
  m_model->setUndoNamer([document](const std::string& name) {
    if (auto d = document.lock()) d->setUpcomingActionName(name);
  });
  view->setModel(m_model);
  if (auto d = document.lock())
    m_sharedSelectionObservation = platform::NotificationCenter::defaultCenter().addObserver(
        OBDocument::kSurfaceSelectionChangedNotification, d->reference(),
        [this](const platform::Notification&) { showSharedSelection(); });
  return true;
}

void PlanarWindowController::showSharedSelection() {
  auto* view = planarView();
  auto document = std::dynamic_pointer_cast<OBDocument>(this->document());
  const auto calculator = m_model ? m_model->calculator() : nullptr;
  if (!view || !document || !calculator) return;
  const auto& indexes = document->selectedSurfaceIndexes();
  // The layout selects a run of surfaces: its own selection comes back unchanged.
  if (indexes == m_model->selectedSurfaceIndexes()) return;
  const auto lens = calculator->lens();
  std::vector<std::shared_ptr<platform::Object>> surfaces;
  if (lens)
    for (std::size_t i : indexes)
      if (i < lens->surfaceArray().size()) surfaces.push_back(lens->surfaceArray()[i]);
  calculator->selectSurfacesByArray(surfaces);
  const auto band = calculator->bandOfSelectedSurfaces();
  const auto box = m_model->extents();
  if (!band || !box) {
    view->setSelectionRect(view->selectionRect(), false);
    return;
  }
  // Across the whole lens, so that the band on the axis drags the surfaces.
  const bool zy = view->orientation() == rendering::PlanarView::ZY;
  const double low = zy ? box->yMin() : box->xMin(), high = zy ? box->yMax() : box->xMax();
  const double margin = (high - low) * 0.05;
  view->setSelectionRect(QRectF(QPointF(band->first, low - margin), QPointF(band->second, high + margin)));
}

void PlanarWindowController::detachModel() {
  m_sharedSelectionObservation.remove();
  if (auto* v = planarView()) {
    v->setModel(nullptr);
    v->invalidateAnimationTimer();
  }
  m_model.reset();
}

void PlanarWindowController::modelDidChange() {
  if (auto* v = planarView()) v->modelChanged();
}

bool PlanarWindowController::modelHasExtents() { return planarView() && m_model && m_model->extents(); }

void PlanarWindowController::zoomViewToFitAtOnce() {
  auto* view = planarView();
  if (!view) return;
  view->waitForZoomToFit();  // a new window shows its lens at once, with no
                             // history step
  view->zoomToFit();
}

std::optional<LayoutViewWindowController::ViewHistory> PlanarWindowController::viewHistory() const {
  auto* v = planarView();
  if (!v) return std::nullopt;
  const auto& history = v->backManager();
  return ViewHistory{history.canGoBack(), history.canGoForward(), history.backActionName(),
                     history.forwardActionName()};
}

void PlanarWindowController::stepViewHistory(bool forward) {
  if (auto* v = planarView()) forward ? v->forwardAction() : v->backAction();
}

std::vector<std::string> PlanarWindowController::toolbarAllowedItemIdentifiers() const {
  return {kFlexibleSpace, "back", "forward", "zoomToFit", "glasses", "sliders",
          "sources", "SDE", "dice", "pfoc", "options"};
}

std::vector<std::string> PlanarWindowController::toolbarDefaultItemIdentifiers() const {
  return {"back", "forward", "zoomToFit", kFlexibleSpace, "sources",
          "SDE", "glasses", kFlexibleSpace, "dice", "options"};
}

void PlanarWindowController::connectToolbarItem(const std::string& identifier, QAction* item) {
  // The zoom view behind the layout already answers "zoomToFit".
  if (identifier == "zoomToFit") item->setToolTip(QStringLiteral("Zoom to fit"));
  LayoutViewWindowController::connectToolbarItem(identifier, item);
}

void PlanarWindowController::encodeRestorableState(platform::Dictionary& state) const {
  LayoutViewWindowController::encodeRestorableState(state);
  const auto* v = planarView();
  if (!v) return;
  encodeZoomData(state, v->zoomData());
  state.set(kOrientationKey, static_cast<std::int64_t>(v->orientation()));
}

void PlanarWindowController::restoreState(const platform::Dictionary& state) {
  LayoutViewWindowController::restoreState(state);
  auto* v = planarView();
  if (!v) return;
  if (const auto o = state.get(kOrientationKey);
      o.isNumber() && (o.asInt() == PlanarView::ZY || o.asInt() == PlanarView::ZX))
    v->setOrientation(static_cast<int>(o.asInt()));
  if (const auto zoom = decodeZoomData(state)) {
    cancelPendingZoomToFit();
    v->setZoomData(*zoom);
  }
}

void registerPlanarWindow() { interfacefile::registerLoader("PlanarView", loadPlanarView); }

SmartWindowController* makePlanarWindowController(const std::string& nibName,
                                                  const std::shared_ptr<SmartDocument>& document) {
  return new PlanarWindowController(nibName, document);
}

}  // namespace orb::app
