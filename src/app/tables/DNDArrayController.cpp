#include "app/tables/DNDArrayController.h"

#include <QClipboard>
#include <QColor>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QMimeData>
#include <QTableView>
#include <QUrl>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <exception>

#include "app/Messages.h"
#include "app/tables/DNDTableView.h"
#include "app/tables/Formatters.h"
#include "platform/Color.h"
#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"
#include "platform/Log.h"
#include "platform/PropertyList.h"

namespace orb::app {

namespace {

// Marks the drags and copies of one controller, so a drop can tell its own rows.
constexpr const char* kSourceTagType = "application/x-orbelline-row-source";

platform::Data toData(const QByteArray& bytes) {
  return platform::Data(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                        reinterpret_cast<const std::uint8_t*>(bytes.constData()) + bytes.size());
}

QByteArray toBytes(const platform::Data& data) {
  return QByteArray(reinterpret_cast<const char*>(data.data()), static_cast<qsizetype>(data.size()));
}

QString firstAvailable(const QMimeData* data, const QStringList& types) {
  if (!data) return {};
  for (const auto& type : types)
    if (data->hasFormat(type)) return type;
  return {};
}

std::string joined(const QStringList& list) { return list.join(QStringLiteral(", ")).toStdString(); }

}  // namespace

std::vector<std::size_t> sortedUnique(std::vector<std::size_t> rows) {
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  return rows;
}

ArrayBinding bindingForVector(std::shared_ptr<std::vector<ObjectPtr>> objects) {
  ArrayBinding binding;
  binding.objects = [objects] { return *objects; };
  binding.insert = [objects](ObjectPtr object, std::size_t at) {
    objects->insert(objects->begin() + static_cast<std::ptrdiff_t>(std::min(at, objects->size())), std::move(object));
  };
  binding.remove = [objects](std::size_t at) {
    if (at < objects->size()) objects->erase(objects->begin() + static_cast<std::ptrdiff_t>(at));
  };
  return binding;
}

// ---------------------------------------------------------------------------------------------

DNDArrayController::DNDArrayController(QObject* parent)
    : QAbstractTableModel(parent), m_selectionModel(new QItemSelectionModel(this, this)) {
  static std::atomic<unsigned long long> serial{0};
  m_sourceTag = QByteArray::number(QCoreApplication::applicationPid()) + ':' + QByteArray::number(++serial);
  connect(m_selectionModel, &QItemSelectionModel::selectionChanged, this,
          [this](const QItemSelection&, const QItemSelection&) { selectionModelChanged(); });
}

DNDArrayController::~DNDArrayController() = default;

void DNDArrayController::setContent(ArrayBinding binding) {
  m_binding = std::move(binding);
  reloadContent();
}

void DNDArrayController::reloadContent() {
  // A model notification during one of our own insertions or removals: that step re-reads the rows itself.
  if (m_inChange > 0) return;
  ++m_inChange;
  beginResetModel();
  m_objects = m_binding.objects ? m_binding.objects() : std::vector<ObjectPtr>{};
  endResetModel();
  --m_inChange;
  const auto old = m_selection;
  std::erase_if(m_selection, [this](std::size_t r) { return r >= m_objects.size(); });
  pushSelectionToModel();
  if (old != m_selection) emit selectionChanged();
}

const std::vector<ObjectPtr>& DNDArrayController::arrangedObjects() const { return m_objects; }

void DNDArrayController::setColumns(std::vector<TableColumn> columns) {
  beginResetModel();
  m_columns = std::move(columns);
  endResetModel();
  pushSelectionToModel();
}

const std::vector<TableColumn>& DNDArrayController::columns() const { return m_columns; }
void DNDArrayController::setEditable(bool editable) { m_editable = editable; }
bool DNDArrayController::isEditable() const { return m_editable; }
void DNDArrayController::setObjectFactory(std::function<ObjectPtr()> factory) { m_factory = std::move(factory); }

// --- selection ---------------------------------------------------------------------------------

void DNDArrayController::setTableView(DNDTableView* view) {
  m_view = view;
  if (!view) return;
  if (view->model() != this) view->setModel(this);
  if (view->selectionModel() != m_selectionModel) {
    QItemSelectionModel* old = view->selectionModel();
    view->setSelectionModel(m_selectionModel);
    if (old && old != m_selectionModel && old->parent() == view) old->deleteLater();
  }
  view->setSelectionBehavior(QAbstractItemView::SelectRows);
  view->setDragEnabled(true);
  view->setAcceptDrops(true);
  view->viewport()->setAcceptDrops(true);
  view->setDropIndicatorShown(false);  // the table draws its own
  pushSelectionToModel();
}

DNDTableView* DNDArrayController::tableView() const { return m_view; }

std::vector<std::size_t> DNDArrayController::selectionIndexes() const { return m_selection; }

void DNDArrayController::setSelectionIndexes(const std::vector<std::size_t>& rows) {
  auto selection = sortedUnique(rows);
  std::erase_if(selection, [this](std::size_t r) { return r >= m_objects.size(); });
  const bool changed = selection != m_selection;
  m_selection = std::move(selection);
  pushSelectionToModel();
  if (changed) emit selectionChanged();
}

std::vector<ObjectPtr> DNDArrayController::selectedObjects() const {
  std::vector<ObjectPtr> objects;
  for (auto r : m_selection)
    if (r < m_objects.size()) objects.push_back(m_objects[r]);
  return objects;
}

void DNDArrayController::pushSelectionToModel() {
  if (m_columns.empty()) return;
  QItemSelection selection;
  for (auto r : m_selection)
    if (r < m_objects.size())
      selection.select(index(static_cast<int>(r), 0),
                       index(static_cast<int>(r), static_cast<int>(m_columns.size()) - 1));
  m_pushingSelection = true;
  m_selectionModel->select(selection, QItemSelectionModel::ClearAndSelect);
  m_pushingSelection = false;
}

void DNDArrayController::selectionModelChanged() {
  if (m_pushingSelection || m_inChange > 0) return;
  std::vector<std::size_t> rows;
  for (const auto& index : m_selectionModel->selectedIndexes()) rows.push_back(static_cast<std::size_t>(index.row()));
  rows = sortedUnique(std::move(rows));
  if (rows == m_selection) return;
  m_selection = std::move(rows);
  emit selectionChanged();
}

void DNDArrayController::selectRange(std::size_t from, std::size_t count) {
  std::vector<std::size_t> rows;
  for (std::size_t i = 0; i < count; ++i) rows.push_back(from + i);
  setSelectionIndexes(rows);
}

// --- hooks ---------------------------------------------------------------------------------------

QStringList DNDArrayController::draggedTypes() const { return {kMovedRowsType}; }
QStringList DNDArrayController::acceptableObjects() const { return {kCopiedRowsType}; }
QStringList DNDArrayController::acceptableProperties() const { return {}; }

std::string DNDArrayController::keyForProperty(const QString& type) const {
  return type == QLatin1String(kColorPasteboardType) ? "color" : std::string();
}

QStringList DNDArrayController::typesToDragOut() const { return {kMovedRowsType, kCopiedRowsType}; }
bool DNDArrayController::dragCanMoveRows() const { return true; }
bool DNDArrayController::forceIntoGapsForLocalDrag() const { return true; }

Qt::DropAction DNDArrayController::dragOperationForMask(Qt::DropActions mask) const {
  if (mask & Qt::MoveAction) return Qt::MoveAction;
  return (mask & Qt::CopyAction) ? Qt::CopyAction : Qt::IgnoreAction;
}

std::vector<ObjectPtr> DNDArrayController::objectsFromFile(const std::string&) { return {}; }
std::vector<ObjectPtr> DNDArrayController::objectsFromString(const std::string&) { return {}; }
std::optional<std::string> DNDArrayController::stringFromRowIndexes(const std::vector<std::size_t>&) const {
  return std::nullopt;
}

std::optional<std::vector<ObjectPtr>> DNDArrayController::prepareObjectsForInsertion(std::vector<ObjectPtr> objects) {
  return objects;
}

void DNDArrayController::reacquaintObjects(const std::vector<ObjectPtr>& objects) {
  if (objects.empty() || !objects.back()) return;
  const auto* entry = objects.back()->keys().find("container");
  if (!entry || !entry->set) return;
  platform::Array array;
  for (const auto& o : objects) array.push_back(platform::Value(o));
  for (const auto& o : objects) {
    try {
      if (o) o->setValueForKey("container", platform::Value(array));
    } catch (const std::exception&) {
    }
  }
}

QString DNDArrayController::typeFromDrop(const QMimeData* data, bool fromOwnTable) const {
  if (fromOwnTable) return firstAvailable(data, {kMovedRowsType});
  return firstAvailable(data, draggedTypesExcludingMovedRows());
}

QStringList DNDArrayController::draggedTypesExcludingMovedRows() const {
  auto types = draggedTypes();
  types.removeAll(QString::fromLatin1(kMovedRowsType));
  return types;
}

ObjectPtr DNDArrayController::copyOfObject(const ObjectPtr& object) const {
  if (!object) return nullptr;
  try {
    auto copy = platform::KeyedUnarchiver::unarchiveObjectWithData(
        platform::KeyedArchiver::archivedDataWithRootObject(platform::Value(object)));
    return copy.objectIf<platform::Object>();
  } catch (const std::exception& e) {
    platform::log("cannot copy %s: %s", object->className().c_str(), e.what());
    return nullptr;
  }
}

ObjectPtr DNDArrayController::newObject() { return m_factory ? m_factory() : nullptr; }

// --- archives ------------------------------------------------------------------------------------

QByteArray DNDArrayController::encodeRowIndexes(const std::vector<std::size_t>& rows) {
  platform::Array array;
  for (auto r : rows) array.push_back(platform::Value(static_cast<std::int64_t>(r)));
  return toBytes(platform::KeyedArchiver::archivedDataWithRootObject(platform::Value(array)));
}

std::optional<std::vector<std::size_t>> DNDArrayController::decodeRowIndexes(const QByteArray& bytes) {
  try {
    const auto value = platform::KeyedUnarchiver::unarchiveObjectWithData(toData(bytes));
    if (!value.isArray()) return std::nullopt;
    std::vector<std::size_t> rows;
    for (const auto& v : value.asArray()) {
      if (v.kind() != platform::Value::Kind::Integer || v.asInt() < 0) return std::nullopt;
      rows.push_back(static_cast<std::size_t>(v.asInt()));
    }
    return rows;
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

QByteArray DNDArrayController::archiveObjects(const std::vector<ObjectPtr>& objects) {
  platform::Array array;
  for (const auto& o : objects) array.push_back(platform::Value(o));
  return toBytes(platform::KeyedArchiver::archivedDataWithRootObject(platform::Value(array)));
}

std::optional<std::vector<ObjectPtr>> DNDArrayController::unarchiveObjects(const QByteArray& bytes) {
  if (bytes.isEmpty()) return std::nullopt;
  try {
    // The unarchiver makes only registered classes: anything else raises and the drop is refused.
    const auto value = platform::KeyedUnarchiver::unarchiveObjectWithData(toData(bytes));
    std::vector<ObjectPtr> objects;
    if (value.isObject()) {
      objects.push_back(value.asObject());
    } else if (value.isArray()) {
      for (const auto& v : value.asArray()) {
        auto object = v.objectIf<platform::Object>();
        if (!object) return std::nullopt;
        objects.push_back(std::move(object));
      }
    } else {
      return std::nullopt;
    }
    if (objects.empty()) return std::nullopt;
    return objects;
  } catch (const std::exception& e) {
    platform::log("refused archived rows: %s", e.what());
    return std::nullopt;
  }
}

bool DNDArrayController::isOwnData(const QMimeData* data) const {
  return data && data->hasFormat(kSourceTagType) && data->data(kSourceTagType) == m_sourceTag;
}

// --- row changes through the binding -------------------------------------------------------------

void DNDArrayController::insertObjectAt(const ObjectPtr& object, std::size_t at) {
  if (!m_binding.insert || !object) return;
  at = std::min(at, m_objects.size());
  const auto before = m_objects.size();
  ++m_inChange;
  beginInsertRows(QModelIndex(), static_cast<int>(at), static_cast<int>(at));
  try {
    m_binding.insert(object, at);
  } catch (const std::exception& e) {
    platform::log("row not inserted: %s", e.what());  // the re-read below shows what the model has
  }
  m_objects = m_binding.objects ? m_binding.objects() : std::vector<ObjectPtr>{};
  endInsertRows();
  --m_inChange;
  for (auto& r : m_selection)
    if (r >= at) ++r;
  pushSelectionToModel();
  if (m_objects.size() != before + 1) reloadContent();  // the model did something else: show what it has
}

void DNDArrayController::removeObjectAt(std::size_t at) {
  if (!m_binding.remove || at >= m_objects.size()) return;
  const auto before = m_objects.size();
  ++m_inChange;
  beginRemoveRows(QModelIndex(), static_cast<int>(at), static_cast<int>(at));
  try {
    m_binding.remove(at);
  } catch (const std::exception& e) {
    platform::log("row not removed: %s", e.what());
  }
  m_objects = m_binding.objects ? m_binding.objects() : std::vector<ObjectPtr>{};
  endRemoveRows();
  --m_inChange;
  const bool wasSelected = std::erase(m_selection, at) > 0;
  for (auto& r : m_selection)
    if (r > at) --r;
  pushSelectionToModel();
  if (wasSelected) emit selectionChanged();
  if (m_objects.size() + 1 != before) reloadContent();
}

void DNDArrayController::insertObjects(const std::vector<ObjectPtr>& objects, std::size_t at) {
  at = std::min(at, m_objects.size());
  for (std::size_t i = 0; i < objects.size(); ++i) insertObjectAt(objects[i], at + i);
}

bool DNDArrayController::insertDecodedObjects(std::vector<ObjectPtr> objects, std::size_t at) {
  auto prepared = prepareObjectsForInsertion(std::move(objects));
  if (!prepared) return false;
  reacquaintObjects(*prepared);
  at = std::min(at, m_objects.size());
  insertObjects(*prepared, at);
  selectRange(at, prepared->size());
  return true;
}

bool DNDArrayController::insertObjectsFromText(const QString& text, std::size_t at) {
  auto objects = objectsFromString(text.toStdString());
  if (objects.empty()) return false;
  auto prepared = prepareObjectsForInsertion(std::move(objects));
  if (!prepared || prepared->empty()) return false;
  insertObjects(*prepared, at);
  selectRange(at, prepared->size());
  return true;
}

void DNDArrayController::moveArrangedObjectsFromIndexes(const std::vector<std::size_t>& rows, std::size_t to) {
  const auto sorted = sortedUnique(rows);
  if (sorted.empty() || sorted.back() >= m_objects.size() || to > m_objects.size()) return;
  std::size_t ins = to;
  std::size_t above = 0;
  for (auto it = sorted.rbegin(); it != sorted.rend(); ++it) {
    std::size_t removal;
    if (*it >= ins) {
      removal = *it + above;
      ++above;
    } else {
      removal = *it;
      --ins;
    }
    if (removal >= m_objects.size()) return;
    auto object = m_objects[removal];
    removeObjectAt(removal);
    insertObjectAt(object, ins);
  }
}

void DNDArrayController::copyArrangedObjectsFromIndexes(const std::vector<std::size_t>& rows, std::size_t to) {
  const auto sorted = sortedUnique(rows);
  if (sorted.empty() || sorted.back() >= m_objects.size() || to > m_objects.size()) return;
  std::size_t copied = 0;
  for (auto it = sorted.rbegin(); it != sorted.rend(); ++it) {
    const std::size_t read = *it >= to ? *it + copied++ : *it;
    if (read >= m_objects.size()) return;
    if (auto copy = copyOfObject(m_objects[read])) insertObjectAt(copy, to);
  }
}

void DNDArrayController::removeRowsInvolvedInDrag() {
  auto rows = sortedUnique(m_rowsInvolvedInDrag);
  m_rowsInvolvedInDrag.clear();
  for (auto it = rows.rbegin(); it != rows.rend(); ++it)
    if (*it < m_objects.size()) removeObjectAt(*it);
}

// --- drag, drop, paste ---------------------------------------------------------------------------

QMimeData* DNDArrayController::writeRows(const std::vector<std::size_t>& rows) {
  const auto types = typesToDragOut();
  m_rowsInvolvedInDrag = rows;
  auto* data = new QMimeData;
  data->setData(kSourceTagType, m_sourceTag);
  if (types.contains(kMovedRowsType)) data->setData(kMovedRowsType, encodeRowIndexes(rows));
  if (types.contains(kCopiedRowsType)) {
    std::vector<ObjectPtr> objects;
    for (auto r : rows)
      if (r < m_objects.size()) objects.push_back(m_objects[r]);
    try {
      data->setData(kCopiedRowsType, archiveObjects(objects));
    } catch (const std::exception& e) {
      platform::log("rows not archived: %s", e.what());
    }
  }
  if (types.contains(kStringPasteboardType))
    if (auto text = stringFromRowIndexes(rows)) data->setText(QString::fromStdString(*text));
  return data;
}

Qt::DropAction DNDArrayController::validateDrop(const QMimeData* data, int& row, bool& onRow,
                                                Qt::DropActions sourceMask, bool fromOwnTable) const {
  if (!m_editable) return Qt::IgnoreAction;
  if (fromOwnTable && forceIntoGapsForLocalDrag()) {
    if (!dragCanMoveRows()) return Qt::IgnoreAction;
    onRow = false;
    return dragOperationForMask(sourceMask);
  }
  const QString type = typeFromDrop(data, fromOwnTable);
  if (type.isEmpty()) return Qt::IgnoreAction;
  if (type == QLatin1String(kFilenamesPasteboardType) || type == QLatin1String(kStringPasteboardType)) {
    onRow = false;
    return Qt::CopyAction;
  }
  if (!onRow) return acceptableObjects().contains(type) ? Qt::CopyAction : Qt::IgnoreAction;
  if (row >= 0 && acceptableProperties().contains(type)) return Qt::LinkAction;
  return Qt::IgnoreAction;
}

platform::Value DNDArrayController::propertyValue(const QMimeData* data, const QString& type) const {
  if (type == QLatin1String(kStringPasteboardType)) return platform::Value(data->text().toStdString());
  if (type == QLatin1String(kColorPasteboardType)) {
    const QColor color = data->colorData().value<QColor>();
    if (!color.isValid()) return {};
    return platform::Value(platform::Color::make(color.redF(), color.greenF(), color.blueF(), color.alphaF()));
  }
  try {
    return platform::KeyedUnarchiver::unarchiveObjectWithData(toData(data->data(type)));
  } catch (const std::exception& e) {
    platform::log("refused dropped %s: %s", type.toUtf8().constData(), e.what());
    return {};
  }
}

bool DNDArrayController::acceptDrop(const QMimeData* data, int row, bool onRow, Qt::DropActions sourceMask,
                                    bool fromOwnTable) {
  if (!data) return false;
  commitEditing();
  const Qt::DropAction operation = dragOperationForMask(sourceMask);
  const QString type = typeFromDrop(data, fromOwnTable);
  if (type.isEmpty()) return false;
  const std::size_t count = m_objects.size();
  const std::size_t at = std::min(static_cast<std::size_t>(std::max(row, 0)), count);

  if (type == QLatin1String(kMovedRowsType)) {
    if (!fromOwnTable) return false;
    auto rows = decodeRowIndexes(data->data(kMovedRowsType));
    if (!rows || rows->empty()) return false;
    rows = sortedUnique(std::move(*rows));
    if (rows->back() >= count) return false;  // a forged or stale drag: nothing to move
    if (operation == Qt::CopyAction) {
      copyArrangedObjectsFromIndexes(*rows, at);
      selectRange(at, rows->size());
    } else if (operation == Qt::MoveAction) {
      const auto below =
          static_cast<std::size_t>(std::count_if(rows->begin(), rows->end(), [at](auto r) { return r < at; }));
      moveArrangedObjectsFromIndexes(*rows, at);
      selectRange(at - below, rows->size());
    }
    return true;
  }

  if (type == QLatin1String(kFilenamesPasteboardType)) {
    const auto urls = data->urls();
    QStringList paths;
    for (const auto& url : urls) paths << (url.isLocalFile() ? url.toLocalFile() : url.toString());
    platform::log("filenames = %s", joined(paths).c_str());
    if (paths.isEmpty()) return false;
    for (const auto& path : paths) {
      auto objects = objectsFromFile(path.toStdString());
      if (objects.empty()) continue;
      insertObjects(objects, at);
      selectRange(at, objects.size());
      break;
    }
    return true;
  }

  if (type == QLatin1String(kStringPasteboardType)) return insertObjectsFromText(data->text(), at);

  if (onRow && acceptableProperties().contains(type)) {
    if (row < 0 || static_cast<std::size_t>(row) >= count) return false;
    const auto value = propertyValue(data, type);
    const std::string key = keyForProperty(type);
    if (value.isNil() || key.empty()) return false;
    try {
      m_objects[static_cast<std::size_t>(row)]->setValueForKey(key, value);
    } catch (const std::exception& e) {
      platform::log("drop on row refused: %s", e.what());
      return false;
    }
    emit dataChanged(index(row, 0), index(row, std::max(0, columnCount() - 1)));
    return true;
  }

  if (!onRow && acceptableObjects().contains(type)) {
    auto objects = unarchiveObjects(data->data(type));
    if (!objects) return false;
    return insertDecodedObjects(std::move(*objects), at);
  }
  return false;
}

bool DNDArrayController::pasteFromMimeData(const QMimeData* data) {
  if (!data) return false;
  const std::size_t at = m_selection.empty() ? 0 : std::min(m_selection.back(), m_objects.size());
  const QString type = firstAvailable(data, draggedTypesExcludingMovedRows());
  if (type.isEmpty()) return false;

  if (acceptableObjects().contains(type)) {
    auto objects = unarchiveObjects(data->data(type));
    if (!objects) return false;
    return insertDecodedObjects(std::move(*objects), at);
  }
  if (acceptableProperties().contains(type)) {
    const auto value = propertyValue(data, type);
    if (value.isNil()) return false;
    std::string key = keyForProperty(type);
    if (key.empty()) key = "property";
    for (const auto& object : selectedObjects()) {
      try {
        object->setValueForKey(key, value);
      } catch (const std::exception& e) {
        platform::log("paste refused: %s", e.what());
      }
    }
    if (!m_objects.empty()) emit dataChanged(index(0, 0), index(rowCount() - 1, std::max(0, columnCount() - 1)));
    return true;
  }
  if (type == QLatin1String(kStringPasteboardType)) return insertObjectsFromText(data->text(), at);
  return false;
}

void DNDArrayController::commitEditing() {
  if (m_view) m_view->commitEditing();
}

// --- actions -------------------------------------------------------------------------------------

void DNDArrayController::selectAll() {
  std::vector<std::size_t> rows(m_objects.size());
  for (std::size_t i = 0; i < rows.size(); ++i) rows[i] = i;
  setSelectionIndexes(rows);
}

void DNDArrayController::selectNone() { setSelectionIndexes({}); }

void DNDArrayController::negateSelection() {
  std::vector<std::size_t> rows;
  for (std::size_t i = 0; i < m_objects.size(); ++i)
    if (!std::binary_search(m_selection.begin(), m_selection.end(), i)) rows.push_back(i);
  setSelectionIndexes(rows);
}

void DNDArrayController::copy() {
  if (m_selection.empty()) return;
  if (auto* clipboard = QGuiApplication::clipboard()) clipboard->setMimeData(writeRows(m_selection));
}

void DNDArrayController::paste() {
  if (auto* clipboard = QGuiApplication::clipboard()) pasteFromMimeData(clipboard->mimeData());
}

bool DNDArrayController::canReverse() const { return m_selection.size() >= 2; }
bool DNDArrayController::onlyOneSelection() const { return m_selection.size() == 1; }

void DNDArrayController::add() {
  commitEditing();
  auto object = newObject();
  if (!object) return;
  const auto at = m_objects.size();
  insertObjectAt(object, at);
  if (m_objects.size() > at) selectRange(at, 1);
}

void DNDArrayController::remove() {
  commitEditing();
  const auto rows = m_selection;
  if (rows.empty()) return;
  for (auto it = rows.rbegin(); it != rows.rend(); ++it) removeObjectAt(*it);
  // As a list keeps a selection: the row that took the first removed one's place.
  if (!m_objects.empty()) setSelectionIndexes({std::min(rows.front(), m_objects.size() - 1)});
  else setSelectionIndexes({});
}

// --- the table model -----------------------------------------------------------------------------

int DNDArrayController::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(m_objects.size());
}

int DNDArrayController::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(m_columns.size());
}

QString DNDArrayController::plainText(const platform::Value& value) {
  switch (value.kind()) {
    case platform::Value::Kind::Nil:
      return {};
    case platform::Value::Kind::Bool:
      return value.asBool() ? QStringLiteral("1") : QStringLiteral("0");
    case platform::Value::Kind::Integer:
      return QString::number(value.asInt());
    case platform::Value::Kind::Double:
      return QString::asprintf("%g", value.asDouble());
    case platform::Value::Kind::String:
      return QString::fromStdString(value.asString());
    case platform::Value::Kind::Object:
      return value.asObject() ? QString::fromStdString(value.asObject()->description()) : QString();
    default:
      return QString::fromStdString(value.description());
  }
}

QVariant DNDArrayController::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || static_cast<std::size_t>(index.row()) >= m_objects.size() ||
      static_cast<std::size_t>(index.column()) >= m_columns.size())
    return {};
  if (role != Qt::DisplayRole && role != Qt::EditRole) return {};
  const auto& column = m_columns[static_cast<std::size_t>(index.column())];
  const auto& object = m_objects[static_cast<std::size_t>(index.row())];
  if (!object || column.keyPath.empty()) return {};
  platform::Value value;
  try {
    value = object->valueForKeyPath(column.keyPath);
  } catch (const std::exception&) {
    return {};
  }
  if (const auto formatter = formatterAt(index))
    return role == Qt::EditRole ? formatter->editingStringForObjectValue(value)
                                : formatter->stringForObjectValue(value);
  return plainText(value);
}

std::shared_ptr<const Formatter> DNDArrayController::formatterAt(const QModelIndex& index) const {
  const auto column = static_cast<std::size_t>(index.column());
  return column < m_columns.size() ? m_columns[column].formatter : nullptr;
}

bool DNDArrayController::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::EditRole || !index.isValid() || !(flags(index) & Qt::ItemIsEditable)) return false;
  const auto& column = m_columns[static_cast<std::size_t>(index.column())];
  const auto& object = m_objects[static_cast<std::size_t>(index.row())];
  const QString text = value.toString();
  platform::Value newValue;
  QString reason;
  bool read = true;
  if (const auto formatter = formatterAt(index)) {
    read = formatter->getObjectValue(newValue, text, &reason);
  } else {
    platform::Value old;
    try {
      old = object->valueForKeyPath(column.keyPath);
    } catch (const std::exception&) {
    }
    switch (old.kind()) {
      case platform::Value::Kind::Integer:
        if (const auto number = typedNumber(text, false, &reason)) {
          // A count or an index: a fraction would be cut off unseen.
          read = *number == std::trunc(*number) && std::abs(*number) < 9e15;
          if (read)
            newValue = static_cast<std::int64_t>(*number);
          else
            reason = QStringLiteral("\"%1\" is not a whole number").arg(text.trimmed());
        } else {
          read = false;
        }
        break;
      case platform::Value::Kind::Double:
      case platform::Value::Kind::Bool:
        if (const auto number = typedNumber(text, false, &reason))
          newValue = *number;
        else
          read = false;
        break;
      default:
        newValue = platform::Value(text.toStdString());
    }
  }
  if (!read) {
    const QString message =
        keptValueMessage(reason, QString::fromStdString(column.title.empty() ? column.identifier : column.title),
                         data(index, Qt::DisplayRole).toString());
    if (m_view) showRefusedEntry(m_view, message);
    emit entryRefused(index, message);
    return false;
  }
  try {
    object->setValueForKeyPath(column.keyPath, newValue);
  } catch (const std::exception& e) {
    platform::log("edit refused: %s", e.what());
    return false;
  }
  if (m_view) clearRefusedEntry(m_view);
  // Other cells of the row may follow the edited one.
  emit dataChanged(this->index(index.row(), 0), this->index(index.row(), columnCount() - 1));
  return true;
}

Qt::ItemFlags DNDArrayController::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::ItemIsDropEnabled;
  Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled;
  if (!acceptableProperties().isEmpty()) f |= Qt::ItemIsDropEnabled;
  const auto c = static_cast<std::size_t>(index.column());
  if (m_editable && c < m_columns.size() && m_columns[c].editable && !m_columns[c].keyPath.empty())
    f |= Qt::ItemIsEditable;
  return f;
}

QVariant DNDArrayController::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
      static_cast<std::size_t>(section) < m_columns.size())
    return QString::fromStdString(m_columns[static_cast<std::size_t>(section)].title);
  return QAbstractTableModel::headerData(section, orientation, role);
}

QStringList DNDArrayController::mimeTypes() const {
  auto types = draggedTypes();
  for (const auto& t : acceptableObjects())
    if (!types.contains(t)) types << t;
  return types;
}

QMimeData* DNDArrayController::mimeData(const QModelIndexList& indexes) const {
  std::vector<std::size_t> rows;
  for (const auto& i : indexes)
    if (i.isValid()) rows.push_back(static_cast<std::size_t>(i.row()));
  return const_cast<DNDArrayController*>(this)->writeRows(sortedUnique(std::move(rows)));
}

namespace {
void qtDropTarget(int row, const QModelIndex& parent, int rowCount, int& target, bool& onRow) {
  onRow = row < 0 && parent.isValid();
  // Qt's "no row" below the last row means the end of the list.
  target = onRow ? parent.row() : (row < 0 ? rowCount : row);
}
}  // namespace

bool DNDArrayController::canDropMimeData(const QMimeData* data, Qt::DropAction action, int row, int,
                                         const QModelIndex& parent) const {
  int target;
  bool onRow;
  qtDropTarget(row, parent, rowCount(), target, onRow);
  return validateDrop(data, target, onRow, action, isOwnData(data)) != Qt::IgnoreAction;
}

bool DNDArrayController::dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int,
                                      const QModelIndex& parent) {
  int target;
  bool onRow;
  qtDropTarget(row, parent, rowCount(), target, onRow);
  const bool own = isOwnData(data);
  if (validateDrop(data, target, onRow, action, own) == Qt::IgnoreAction) return false;
  return acceptDrop(data, target, onRow, action, own);
}

Qt::DropActions DNDArrayController::supportedDragActions() const { return Qt::CopyAction | Qt::MoveAction; }
Qt::DropActions DNDArrayController::supportedDropActions() const {
  return Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
}

// ---------------------------------------------------------------------------------------------
// DropArrayController

DropArrayController::DropArrayController(QObject* parent) : QObject(parent) {}
DropArrayController::~DropArrayController() = default;

void DropArrayController::setTableView(QTableView* view) {
  if (m_view) m_view->viewport()->removeEventFilter(this);
  m_view = view;
  if (!view) return;
  view->setAcceptDrops(true);
  view->viewport()->setAcceptDrops(true);
  view->viewport()->installEventFilter(this);
}

Qt::DropAction DropArrayController::dragOperationForMask(Qt::DropActions mask) const {
  if (mask & Qt::MoveAction) return Qt::MoveAction;
  return (mask & Qt::CopyAction) ? Qt::CopyAction : Qt::IgnoreAction;
}

QString DropArrayController::typeFromDrop(const QMimeData* data, bool fromOwnTable) const {
  if (fromOwnTable) return {};
  const QString type = firstAvailable(data, draggedTypes());
  platform::log("DropArrayController dragged type = %s", type.toUtf8().constData());
  return type;
}

Qt::DropAction DropArrayController::validateDrop(const QMimeData* data, bool fromOwnTable) const {
  if (m_view) m_view->clearSelection();
  if (!m_editable) return Qt::IgnoreAction;
  if (typeFromDrop(data, fromOwnTable) == QLatin1String(kGlassDictionaryPasteboardType)) return Qt::CopyAction;
  return Qt::IgnoreAction;
}

namespace {
bool handGlassDictionary(const ObjectPtr& delegate, const QMimeData* data) {
  try {
    const auto value = platform::plist::parse(toData(data->data(kGlassDictionaryPasteboardType)), "glass dictionary");
    if (!value.isDictionary() || !delegate) return false;
    delegate->setValueForKey("glassDictionary", value);
    return true;
  } catch (const std::exception& e) {
    platform::log("glass dictionary refused: %s", e.what());
    return false;
  }
}
}  // namespace

bool DropArrayController::acceptDrop(const QMimeData* data, bool fromOwnTable) {
  if (!data) return false;
  const QString type = typeFromDrop(data, fromOwnTable);
  platform::log("type = %s", type.toUtf8().constData());
  if (type != QLatin1String(kGlassDictionaryPasteboardType)) {
    platform::log("unimplemented drag type %s", type.toUtf8().constData());
    return false;
  }
  return handGlassDictionary(m_delegate, data);
}

bool DropArrayController::pasteFromMimeData(const QMimeData* data) {
  if (!data) return false;
  platform::log("DropArrayController pasteFromPasteboard, available types = %s", joined(data->formats()).c_str());
  if (!data->hasFormat(kGlassDictionaryPasteboardType)) {
    platform::log("unimplemented paste type %s", kGlassDictionaryPasteboardType);
    return false;
  }
  return handGlassDictionary(m_delegate, data);
}

void DropArrayController::paste() {
  if (auto* clipboard = QGuiApplication::clipboard()) pasteFromMimeData(clipboard->mimeData());
}

QMimeData* DropArrayController::writeRow() const {
  auto* data = new QMimeData;
  if (!m_delegate) return data;
  try {
    const auto glass = m_delegate->valueForKey("glass");
    if (!glass.isNil())
      data->setData(kGlassPasteboardType, toBytes(platform::KeyedArchiver::archivedDataWithRootObject(glass)));
    const auto dictionary = m_delegate->valueForKey("glassDictionary");
    if (dictionary.isDictionary())
      data->setData(kGlassDictionaryPasteboardType,
                    toBytes(platform::plist::serialize(dictionary, platform::PlistFormat::XML)));
    const auto entry = m_delegate->valueForKeyPath("glass.agfEntry");
    if (entry.isString()) data->setText(QString::fromStdString(entry.asString()));
  } catch (const std::exception& e) {
    platform::log("glass not written: %s", e.what());
  }
  return data;
}

bool DropArrayController::eventFilter(QObject* watched, QEvent* event) {
  if (!m_view || watched != m_view->viewport()) return QObject::eventFilter(watched, event);
  switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
      auto* e = static_cast<QDragMoveEvent*>(event);
      const auto action = validateDrop(e->mimeData(), e->source() == m_view);
      if (action == Qt::IgnoreAction) {
        e->ignore();
      } else {
        e->setDropAction(action);
        e->accept();
      }
      return true;
    }
    case QEvent::Drop: {
      auto* e = static_cast<QDropEvent*>(event);
      if (acceptDrop(e->mimeData(), e->source() == m_view)) {
        e->setDropAction(Qt::CopyAction);
        e->accept();
      } else {
        e->ignore();
      }
      return true;
    }
    default:
      return QObject::eventFilter(watched, event);
  }
}

}  // namespace orb::app
