#include "app/tables/SurfaceTable.h"

#include <QAction>
#include <QClipboard>
#include <QDrag>
#include <QGuiApplication>
#include <QHeaderView>
#include <QMenu>
#include <QMimeData>
#include <QShowEvent>
#include <algorithm>
#include <cmath>
#include <exception>
#include <functional>

#include "app/document/ArrayColorizer.h"
#include "app/tables/Formatters.h"
#include "app/tables/SolveSheets.h"
#include "interchange/ZemaxReader.h"
#include "lens/Lens.h"
#include "lens/Surface.h"
#include "lens/SurfaceEditing.h"
#include "lens/SurfaceTypeRegistry.h"
#include "materials/Glass.h"
#include "platform/Exception.h"
#include "platform/KeyedArchiver.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"

namespace orb::app {

namespace {

using lens::Surface;

bool isNumberColumn(const std::string& identifier) {
  return identifier == "radius" || identifier == "thickness" || identifier == "semidiameter" || identifier == "conic";
}

}  // namespace

SurfaceArrayController::SurfaceArrayController(std::shared_ptr<lens::Lens> lens, QObject* parent)
    : DNDArrayController(parent) {
  setColumns(surfaceColumns());
  // The rows are always those of the lens held now: setLens moves the table to another.
  ArrayBinding binding;
  binding.objects = [this] {
    std::vector<ObjectPtr> rows;
    if (m_lens)
      for (const auto& s : m_lens->surfaceArray()) rows.push_back(s);
    return rows;
  };
  binding.insert = [this](ObjectPtr object, std::size_t at) {
    auto surface = std::dynamic_pointer_cast<Surface>(object);
    if (m_lens && surface) m_lens->insertObjectInSurfaceArrayAtIndex(surface, std::min(at, m_lens->surfaceArray().size()));
  };
  binding.remove = [this](std::size_t at) {
    if (m_lens && at < m_lens->surfaceArray().size()) m_lens->removeObjectFromSurfaceArrayAtIndex(at);
  };
  setContent(std::move(binding));

  auto& center = platform::NotificationCenter::defaultCenter();
  m_startReplacement = center.addObserver("startSurfaceReplacementNotification", {},
                                          [this](const platform::Notification&) { startSurfaceReplacement(); });
  m_endReplacement = center.addObserver("endSurfaceReplacementNotification", {},
                                        [this](const platform::Notification&) { endSurfaceReplacement(); });
  connect(this, &DNDArrayController::selectionChanged, this, &SurfaceArrayController::surfaceSelectionChanged);
  setLens(std::move(lens));
}

void SurfaceArrayController::setLens(std::shared_ptr<lens::Lens> lens) {
  if (lens == m_lens && m_surfacesObservation.isActive()) return;
  m_surfacesObservation.remove();
  m_changed.remove();
  m_lens = std::move(lens);
  if (m_lens) {
    // Our own insertions and removals re-read the rows themselves; the base
    // ignores the notification then.
    m_surfacesObservation =
        m_lens->addObserver("surfaceArray", [this](const platform::ObservedChange&) { lensSurfacesChanged(); });
    // Values shown follow every end of the lens's change cycle (edits made
    // elsewhere, undo).
    m_changed = m_lens->addObserver("isReady", [this](const platform::ObservedChange&) { refreshValues(); });
  }
  // Another lens holds other surfaces: the selection keeps its rows where they still exist.
  const auto selection = selectionIndexes();
  reloadContent();
  std::vector<std::size_t> kept;
  for (std::size_t row : selection)
    if (row < arrangedObjects().size()) kept.push_back(row);
  setSelectionIndexes(kept);
}

SurfaceArrayController::~SurfaceArrayController() = default;

std::vector<TableColumn> SurfaceArrayController::surfaceColumns() {
  auto formatter = [](const char* name) { return formatterNamed(name); };
  return {
      {"type", "Type", "type", false, nullptr},
      {"comment", "Comment", "comment", true, nullptr},
      {"radius", "Radius", "radiusOfCurvature", true, formatter("RadiusFormatter")},
      {"curvatureSolve", "", "curvatureSolveLetter", false, nullptr},
      {"thickness", "Thickness", "thickness", true, formatter("ThicknessFormatter")},
      {"thicknessSolve", "", "thicknessSolveLetter", false, nullptr},
      {"glass", "Glass", "glassName", true, nullptr},
      {"glassSolve", "", "glassLetter", false, nullptr},
      {"semidiameter", "Semi-diameter", "semidiameterForGUI", true, formatter("SemidiameterFormatter")},
      {"semidiameterSolve", "", "semidiameterSolveLetter", false, nullptr},
      {"conic", "Conic", "conicConstant", true, formatter("GFormatter")},
      {"aperture", "Aperture", "apertureType", false, nullptr},
      {"emission", "Emission", "emissionType", false, nullptr},
  };
}

std::shared_ptr<const Formatter> SurfaceArrayController::formatterAt(const QModelIndex& index) const {
  // Only the object may stand infinitely far away; every other gap is finite.
  static const auto objectDistance = std::make_shared<const ThicknessFormatter>(true);
  if (index.column() == columnOf("thickness") && m_lens &&
      surfaceAt(static_cast<std::size_t>(index.row())) == m_lens->objectSurface())
    return objectDistance;
  return DNDArrayController::formatterAt(index);
}

int SurfaceArrayController::columnOf(const std::string& identifier) const {
  const auto& c = columns();
  for (std::size_t i = 0; i < c.size(); ++i)
    if (c[i].identifier == identifier) return static_cast<int>(i);
  return -1;
}

std::shared_ptr<Surface> SurfaceArrayController::surfaceAt(std::size_t row) const {
  const auto& rows = arrangedObjects();
  return row < rows.size() ? std::dynamic_pointer_cast<Surface>(rows[row]) : nullptr;
}

std::vector<std::shared_ptr<Surface>> SurfaceArrayController::selectedSurfaces() const {
  std::vector<std::shared_ptr<Surface>> surfaces;
  for (const auto& o : selectedObjects())
    if (auto s = std::dynamic_pointer_cast<Surface>(o)) surfaces.push_back(s);
  return surfaces;
}

void SurfaceArrayController::lensSurfacesChanged() {
  reloadContent();
  emit surfaceSelectionChanged();
}

void SurfaceArrayController::refreshValues() {
  if (rowCount() == 0 || columnCount() == 0) return;
  emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
  emit headerDataChanged(Qt::Vertical, 0, rowCount() - 1);
}

// --- hooks
// -----------------------------------------------------------------------------------------

QStringList SurfaceArrayController::draggedTypes() const {
  return {kMovedRowsType, kSurfacePasteboardType, kGlassPasteboardType, kColorPasteboardType, kStringPasteboardType};
}

QStringList SurfaceArrayController::acceptableObjects() const { return {kSurfacePasteboardType}; }

QStringList SurfaceArrayController::acceptableProperties() const {
  return {kGlassPasteboardType, kColorPasteboardType, kStringPasteboardType};
}

std::string SurfaceArrayController::keyForProperty(const QString& type) const {
  if (type == QLatin1String(kColorPasteboardType)) return "color";
  if (type == QLatin1String(kGlassPasteboardType)) return "glass";
  if (type == QLatin1String(kStringPasteboardType)) return "glassName";
  return {};
}

QStringList SurfaceArrayController::typesToDragOut() const { return {kMovedRowsType, kSurfacePasteboardType}; }

std::vector<ObjectPtr> SurfaceArrayController::objectsFromString(const std::string& text) {
  std::optional<platform::Dictionary> dictionary;
  try {
    auto options = interchange::ZemaxReadOptions::fromUserDefaults();
    options.source = "dropped text";
    dictionary = interchange::readZemaxString(text, options);  // gives up at the first line it cannot read
  } catch (const std::exception& e) {
    platform::log("dropped text is no Zemax lens: %s", e.what());
    return {};
  }
  if (!dictionary) return {};
  const auto surfaces = dictionary->get("surfaceArray");
  if (!surfaces.isArray()) return {};
  std::vector<ObjectPtr> objects;
  for (const auto& v : surfaces.asArray())
    if (auto s = v.objectIf<Surface>()) objects.push_back(s);
  return objects;
}

std::optional<std::vector<ObjectPtr>> SurfaceArrayController::prepareObjectsForInsertion(
    std::vector<ObjectPtr> objects) {
  std::vector<std::shared_ptr<Surface>> surfaces;
  for (const auto& o : objects) {
    auto s = std::dynamic_pointer_cast<Surface>(o);
    if (!s) return std::nullopt;  // only surfaces become rows
    surfaces.push_back(std::move(s));
  }
  const bool empty = !m_lens || m_lens->surfaceArray().empty();
  std::vector<ObjectPtr> prepared;
  for (auto& s : lens::prepareSurfacesForInsertion(std::move(surfaces), empty)) prepared.push_back(std::move(s));
  return prepared;
}

ObjectPtr SurfaceArrayController::newObject() { return Surface::create<Surface>(); }

QMimeData* SurfaceArrayController::writeSurfaceRows(const std::vector<std::size_t>& rows) {
  const auto sorted = sortedUnique(rows);
  // The base remembers the rows (for a drop on the Trash) and writes the
  // moved-row indexes.
  QMimeData* data = writeRows(sorted);
  std::vector<ObjectPtr> surfaces;
  for (auto r : sorted)
    if (auto s = surfaceAt(r)) surfaces.push_back(s);
  if (surfaces.empty()) return data;
  try {
    // One surface travels as itself, several as an array.
    if (surfaces.size() == 1) {
      const auto archive = platform::KeyedArchiver::archivedDataWithRootObject(platform::Value(surfaces.front()));
      data->setData(kSurfacePasteboardType,
                    QByteArray(reinterpret_cast<const char*>(archive.data()), static_cast<qsizetype>(archive.size())));
    } else {
      data->setData(kSurfacePasteboardType, archiveObjects(surfaces));
    }
  } catch (const std::exception& e) {
    platform::log("surfaces not archived: %s", e.what());
  }
  return data;
}

QMimeData* SurfaceArrayController::mimeData(const QModelIndexList& indexes) const {
  std::vector<std::size_t> rows;
  for (const auto& i : indexes)
    if (i.isValid()) rows.push_back(static_cast<std::size_t>(i.row()));
  return const_cast<SurfaceArrayController*>(this)->writeSurfaceRows(rows);
}

// --- actions
// ---------------------------------------------------------------------------------------

std::vector<std::shared_ptr<Surface>> SurfaceArrayController::possibleSolveSurfaces() const {
  const auto selected = selectedSurfaces();
  if (selected.empty()) return {};
  auto first = selected.front()->possibleSolveSurfaces();
  if (!first) return {};
  std::vector<std::shared_ptr<Surface>> common = *first;
  for (std::size_t i = 1; i < selected.size(); ++i) {
    const auto other = selected[i]->possibleSolveSurfaces();
    if (!other) return {};
    std::erase_if(common, [&](const auto& s) { return std::find(other->begin(), other->end(), s) == other->end(); });
  }
  return common;
}

bool SurfaceArrayController::canSetSurfaceAsStop() const {
  const auto rows = selectionIndexes();
  return rows.size() == 1 && rows.front() != 0 && rows.front() < arrangedObjects().size();
}

void SurfaceArrayController::setSurfaceAsStop() {
  const auto rows = selectionIndexes();
  if (rows.empty() || !m_lens) return;
  if (auto s = surfaceAt(rows.front())) m_lens->setStopSurface(s);
  refreshValues();
}

void SurfaceArrayController::changeEverySurface(void (Surface::*change)()) {
  for (const auto& o : arrangedObjects())
    if (auto s = std::dynamic_pointer_cast<Surface>(o)) (s.get()->*change)();
  refreshValues();
}

void SurfaceArrayController::removeAllSolves() { changeEverySurface(&Surface::removeSolves); }
void SurfaceArrayController::removeAllVariables() { changeEverySurface(&Surface::removeVariables); }
void SurfaceArrayController::removeGlassPickups() { changeEverySurface(&Surface::removeGlassPickup); }

void SurfaceArrayController::negateCurvatureSolveScale() {
  for (const auto& s : selectedSurfaces())
    s->setValueForKey("curvatureSolveScale", -s->valueForKey("curvatureSolveScale").asDouble());
  refreshValues();
}

void SurfaceArrayController::rainbowColors() {
  platform::Array rows;
  for (const auto& o : arrangedObjects()) rows.push_back(platform::Value(o));
  ArrayColorizer::rainbowColorsForArray(rows, 0.7);
}

void SurfaceArrayController::randomizeColors() {
  platform::Array rows;
  for (const auto& o : arrangedObjects()) rows.push_back(platform::Value(o));
  ArrayColorizer::randomizeColorsForArray(rows, 0.7);
}

void SurfaceArrayController::flipSurfaces() {
  const auto rows = selectionIndexes();
  if (rows.empty() || !m_lens) return;
  commitEditing();
  const std::size_t first = rows.front(), last = rows.back();
  try {
    lens::flipSurfaces(*m_lens, first, last);
  } catch (const std::exception& e) {
    platform::log("flip refused: %s", e.what());
  }
  reloadContent();
  selectRange(first, last - first + 1);
}

void SurfaceArrayController::add() {
  if (!m_lens) return;
  commitEditing();
  const auto rows = selectionIndexes();
  const std::size_t count = arrangedObjects().size();
  // After the selection, but never after the image surface nor before the
  // object surface.
  std::size_t at = rows.empty() ? count : rows.back() + 1;
  if (count >= 2) at = std::clamp<std::size_t>(at, 1, count - 1);
  auto surface = newObject();
  insertObjectAt(surface, std::min(at, count));
  if (arrangedObjects().size() > count) selectRange(std::min(at, count), 1);
}

void SurfaceArrayController::remove() {
  if (!m_lens) return;
  commitEditing();
  const auto rows = selectionIndexes();
  if (rows.empty()) return;
  try {
    lens::removeSurfaces(*m_lens, rows);
  } catch (const std::exception& e) {
    platform::log("removal refused: %s", e.what());
  }
  reloadContent();
  const auto count = arrangedObjects().size();
  if (count == 0)
    setSelectionIndexes({});
  else
    setSelectionIndexes({std::min(rows.front(), count - 1)});
  refreshValues();
}

void SurfaceArrayController::setGlassNameOfSelection(const std::string& glassName) {
  for (const auto& s : selectedSurfaces()) {
    try {
      s->setGlassName(glassName);
    } catch (const std::exception& e) {
      platform::log("glass name refused: %s", e.what());
    }
  }
  refreshValues();
}

void SurfaceArrayController::startSurfaceReplacement() {
  if (!m_memorizedSelectionIndexes) m_memorizedSelectionIndexes = selectionIndexes();
}

void SurfaceArrayController::endSurfaceReplacement() {
  reloadContent();
  const auto kept = std::move(m_memorizedSelectionIndexes);
  m_memorizedSelectionIndexes.reset();
  setSelectionIndexes({});
  if (kept) setSelectionIndexes(*kept);
}

// --- the table model
// ----------------------------------------------------------------------------------

QVariant SurfaceArrayController::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Vertical || role != Qt::DisplayRole)
    return DNDArrayController::headerData(section, orientation, role);
  const auto count = arrangedObjects().size();
  if (section < 0 || static_cast<std::size_t>(section) >= count) return {};
  if (section == 0) return QStringLiteral("OBJ");
  if (static_cast<std::size_t>(section) + 1 == count) return QStringLiteral("IMA");
  // The stop shows its letters; another surface with an aperture its number and
  // the mark.
  if (auto s = surfaceAt(static_cast<std::size_t>(section)))
    if (auto letter = s->stopLetter())
      return s->isStop() ? QString::fromStdString(*letter) : QString::number(section) + QString::fromStdString(*letter);
  return QString::number(section);
}

QVariant SurfaceArrayController::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || static_cast<std::size_t>(index.column()) >= columns().size())
    return DNDArrayController::data(index, role);
  const auto& column = columns()[static_cast<std::size_t>(index.column())];
  if (role == Qt::TextAlignmentRole)
    return QVariant::fromValue(isNumberColumn(column.identifier) ? Qt::AlignRight | Qt::AlignVCenter
                                                                 : Qt::AlignLeft | Qt::AlignVCenter);
  if (role == Qt::ToolTipRole && column.identifier == "glass")
    if (auto s = surfaceAt(static_cast<std::size_t>(index.row())); s && s->glass())
      return QString::fromStdString(s->glassDescription());
  return DNDArrayController::data(index, role);
}

Qt::ItemFlags SurfaceArrayController::flags(const QModelIndex& index) const {
  Qt::ItemFlags f = DNDArrayController::flags(index);
  if (!index.isValid() || !(f & Qt::ItemIsEditable)) return f;
  auto s = surfaceAt(static_cast<std::size_t>(index.row()));
  if (!s) return f;
  // A value a solve computes is shown, not typed.
  const auto& id = columns()[static_cast<std::size_t>(index.column())].identifier;
  bool editable = true;
  if (id == "radius")
    editable = s->canEditCurvature();
  else if (id == "thickness")
    editable = s->canEditThickness();
  else if (id == "glass")
    editable = s->canEditGlassName();
  else if (id == "semidiameter")
    editable = s->canEditSemidiameter();
  else if (id == "conic")
    editable = s->canEditConicConstant();
  if (!editable) f &= ~Qt::ItemIsEditable;
  return f;
}

// --- the table view
// ------------------------------------------------------------------------------------

SurfaceDataTableView::SurfaceDataTableView(QWidget* parent) : SurfaceTableView(parent) {
  setContextMenuPolicy(Qt::CustomContextMenu);
  connect(this, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    QMenu* menu = makeSurfaceMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(viewport()->mapToGlobal(at));
  });
}

SurfaceArrayController* SurfaceDataTableView::surfaceController() const {
  return qobject_cast<SurfaceArrayController*>(arrayController());
}

bool SurfaceDataTableView::popUpChoices(const QModelIndex& index) {
  auto* controller = surfaceController();
  if (!controller || !index.isValid()) return false;
  const auto& id = controller->columns()[static_cast<std::size_t>(index.column())].identifier;
  auto surface = controller->surfaceAt(static_cast<std::size_t>(index.row()));
  if (!surface) return false;
  // Not modal: the menu goes with its choice, and a test or a script can choose as a user would.
  auto* menu = new QMenu(this);
  menu->setObjectName(QStringLiteral("choicesMenu"));
  menu->setAttribute(Qt::WA_DeleteOnClose);
  QPointer<SolveSheetController> sheets = m_sheets;
  auto addChoice = [menu](const std::string& choice, bool checked, std::function<void()> choose) {
    QAction* a = menu->addAction(QString::fromStdString(choice));
    a->setCheckable(true);
    a->setChecked(checked);
    connect(a, &QAction::triggered, menu, std::move(choose));
  };
  if (id == "type") {
    for (const auto& type : lens::SurfaceTypeRegistry::types())
      addChoice(type, type == surface->type(), [surface, type] {
        if (type != surface->type()) surface->setType(type);
      });
  } else if (id == "aperture" || id == "emission") {
    fillApertureOrEmissionMenu(*menu, surface, id == "emission");
  } else if (const auto kind = solveKindForColumnIdentifier(id); kind && *kind != SolveSheetKind::Parameter) {
    // The model asks for its sheet when the new solve needs settings; the
    // window's sheet controller opens it for the selected surface.
    const std::string current = currentSolveChoice(*kind, surface);
    for (const auto& choice : solveChoices(*kind, surface))
      addChoice(choice, choice == current,
                [surface, k = *kind, choice, sheets] { chooseSolveFromMenu(k, surface, choice, sheets); });
  }
  if (menu->actions().isEmpty()) {
    delete menu;
    return false;
  }
  // A double click on a selected cell is a click too: one menu for both.
  for (auto* open : findChildren<QMenu*>(QStringLiteral("choicesMenu"), Qt::FindDirectChildrenOnly))
    if (open != menu && open->isVisible()) {
      delete menu;
      return true;
    }
  controller->setSelectionIndexes({static_cast<std::size_t>(index.row())});
  menu->popup(viewport()->mapToGlobal(visualRect(index).bottomLeft()));
  return true;
}

void SurfaceDataTableView::fillApertureOrEmissionMenu(QMenu& menu, const std::shared_ptr<lens::Surface>& surface,
                                                      bool emission) {
  QPointer<SolveSheetController> sheets = m_sheets;
  const auto current = emission ? surface->emissionType() : surface->apertureType();
  QAction* none = menu.addAction(QStringLiteral("None"));
  none->setCheckable(true);
  none->setChecked(!current);
  connect(none, &QAction::triggered, &menu,
          [surface, emission, sheets] { removeApertureOrEmission(surface, emission, sheets); });
  menu.addSeparator();
  for (const auto& type : apertureOrEmissionTypes(emission)) {
    QAction* a = menu.addAction(QString::fromStdString(type));
    a->setCheckable(true);
    a->setChecked(current == type);
    connect(a, &QAction::triggered, &menu,
            [surface, type, emission, sheets] { chooseApertureOrEmissionType(surface, type, emission, sheets); });
  }
}

void SurfaceDataTableView::sizeColumnsToContents() {
  auto* controller = surfaceController();
  if (!controller) return;
  // Room for the widest solve letter, even while no surface has one.
  const int letterWidth = fontMetrics().horizontalAdvance(QStringLiteral("MM")) + 8;
  const int widest = std::max(letterWidth, 24 * fontMetrics().averageCharWidth());
  for (int c = 0; c < controller->columnCount(); ++c) {
    if (horizontalHeader()->stretchLastSection() && c == controller->columnCount() - 1) continue;
    resizeColumnToContents(c);
    const bool letter = controller->columns()[static_cast<std::size_t>(c)].title.empty();
    setColumnWidth(c, std::clamp(columnWidth(c), letter ? letterWidth : 0, letter ? letterWidth : widest));
  }
}

void SurfaceDataTableView::showEvent(QShowEvent* event) {
  SurfaceTableView::showEvent(event);
  // Once: later the widths are the user's.
  if (!m_columnsSized && !event->spontaneous()) {
    m_columnsSized = true;
    sizeColumnsToContents();
  }
}

bool SurfaceDataTableView::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) {
  auto* controller = surfaceController();
  if (controller && index.isValid() && (trigger & (DoubleClicked | EditKeyPressed | SelectedClicked)) &&
      controller->isEditable() && popUpChoices(index))
    return false;
  if (controller && index.isValid() && index.column() == controller->columnOf("glass") && trigger != NoEditTriggers) {
    // A model or mutable glass is edited in its sheet, not as a name.
    auto s = controller->surfaceAt(static_cast<std::size_t>(index.row()));
    if (s && s->glass() && s->glass()->isEditable()) {
      if (trigger & (DoubleClicked | EditKeyPressed | AnyKeyPressed | SelectedClicked)) s->triggerModelGlassDialog();
      return false;
    }
  }
  return SurfaceTableView::edit(index, trigger, event);
}

void SurfaceDataTableView::copy() {
  auto* controller = surfaceController();
  if (!controller) return SurfaceTableView::copy();
  commitEditing();
  const auto rows = controller->selectionIndexes();
  if (rows.empty()) return;
  if (auto* clipboard = QGuiApplication::clipboard()) clipboard->setMimeData(controller->writeSurfaceRows(rows));
}

void SurfaceDataTableView::startDrag(Qt::DropActions supportedActions) {
  auto* controller = surfaceController();
  if (!controller) return SurfaceTableView::startDrag(supportedActions);
  const auto rows = controller->selectionIndexes();
  if (rows.empty()) return;
  auto* drag = new QDrag(this);
  drag->setMimeData(controller->writeSurfaceRows(rows));
  if (auto label = dragLabel(rows)) {
    const QPixmap image = dragImageForLabel(*label);
    drag->setPixmap(image);
    drag->setHotSpot(QPoint(image.width() / 2, image.height() / 2));
  }
  const Qt::DropActions inside = dragActionsInsideApplication();
  const Qt::DropAction preferred = (inside & Qt::MoveAction) ? Qt::MoveAction : Qt::CopyAction;
  const Qt::DropAction result = drag->exec(inside | dragActionsOutsideApplication(), preferred);
  dragEnded(result, drag->target() != nullptr);
}

QMenu* SurfaceDataTableView::makeSurfaceMenu(QWidget* parent) {
  auto* menu = new QMenu(parent);
  menu->setObjectName(QStringLiteral("surfaceMenu"));
  auto* c = surfaceController();
  if (!c) return menu;
  const bool any = !c->selectionIndexes().empty();
  auto add = [&](const char* name, const char* title, bool enabled, auto action) {
    QAction* a = menu->addAction(QString::fromUtf8(title));
    a->setObjectName(QString::fromUtf8(name));
    a->setEnabled(enabled);
    connect(a, &QAction::triggered, c, action);
  };
  add("insertSurface", "Insert Surface", true, [c] { c->add(); });
  add("removeSurfaces", "Remove Surfaces", any, [c] { c->remove(); });
  menu->addSeparator();
  add("flipSurfaces", "Flip Surfaces", any, [c] { c->flipSurfaces(); });
  add("setSurfaceAsStop", "Make Stop", c->canSetSurfaceAsStop(), [c] { c->setSurfaceAsStop(); });
  menu->addSeparator();
  add("copy", "Copy", any, [this] { copy(); });
  add("paste", "Paste", true, [this] { paste(); });
  menu->addSeparator();
  add("negateCurvatureSolveScale", "Negate Curvature Solve Scale", any, [c] { c->negateCurvatureSolveScale(); });
  add("removeAllSolves", "Remove All Solves", true, [c] { c->removeAllSolves(); });
  add("removeAllVariables", "Remove All Variables", true, [c] { c->removeAllVariables(); });
  add("removeGlassPickups", "Remove Glass Pickups", true, [c] { c->removeGlassPickups(); });
  menu->addSeparator();
  add("rainbowColors", "Rainbow Colors", true, [c] { c->rainbowColors(); });
  add("randomizeColors", "Random Colors", true, [c] { c->randomizeColors(); });
  return menu;
}

}  // namespace orb::app
