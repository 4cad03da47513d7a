#include "app/tables/GlassControllers.h"

#include <QApplication>
#include <QItemSelectionModel>
#include <QMimeData>
#include <algorithm>
#include <exception>

#include "app/Messages.h"
#include "app/document/ArrayColorizer.h"
#include "app/tables/Formatters.h"
#include "lens/Surface.h"
#include "materials/Glass.h"
#include "materials/ZemaxGlass.h"
#include "platform/KeyedArchiver.h"
#include "platform/Log.h"
#include "platform/PropertyList.h"

namespace orb::app {

namespace {

constexpr double kColorSaturation = 0.7;

QByteArray toBytes(const platform::Data& data) {
  return QByteArray(reinterpret_cast<const char*>(data.data()), static_cast<qsizetype>(data.size()));
}

std::string lowerCase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::tolower(c)); });
  return text;
}

GlassPtr asGlass(const ObjectPtr& object) { return std::dynamic_pointer_cast<materials::Glass>(object); }

/// The glass a dropped object stands for: a glass itself, a surface its glass.
GlassPtr glassOfObject(const ObjectPtr& object) {
  if (auto glass = asGlass(object)) return glass;
  if (auto surface = std::dynamic_pointer_cast<lens::Surface>(object)) return surface->glass();
  return nullptr;
}

platform::Array valueArray(const std::vector<ObjectPtr>& objects) {
  platform::Array array;
  for (const auto& o : objects) array.push_back(platform::Value(o));
  return array;
}

}  // namespace

// --- GlassCatalogController ---------------------------------------------------------------------

GlassCatalogController::GlassCatalogController(QObject* parent) : DNDArrayController(parent) {
  connect(this, &DNDArrayController::selectionChanged, this, [this] { handSelectionToIndex(); });
}

GlassCatalogController::~GlassCatalogController() = default;

void GlassCatalogController::setGlassContent(ArrayBinding binding) {
  m_all = std::move(binding);
  m_pinned.clear();
  ArrayBinding searched;
  searched.objects = [this] { return searchedObjects(); };
  // Row indexes count the searched rows; the collection is reached through its own indexes.
  searched.insert = [this](ObjectPtr object, std::size_t row) {
    if (!m_all.insert || !m_all.objects) return;
    const auto all = m_all.objects();
    const auto rows = searchedObjects();
    std::size_t at = all.size();
    if (row < rows.size()) {
      at = std::size_t(std::find(all.begin(), all.end(), rows[row]) - all.begin());
    } else if (!rows.empty()) {
      at = std::size_t(std::find(all.begin(), all.end(), rows.back()) - all.begin());
      at = std::min(at + 1, all.size());
    }
    if (!m_searchString.empty()) m_pinned.push_back(object.get());
    m_all.insert(std::move(object), at);
    emit contentEdited();
  };
  searched.remove = [this](std::size_t row) {
    if (!m_all.remove || !m_all.objects) return;
    const auto rows = searchedObjects();
    if (row >= rows.size()) return;
    const auto all = m_all.objects();
    const auto at = std::size_t(std::find(all.begin(), all.end(), rows[row]) - all.begin());
    if (at >= all.size()) return;
    std::erase(m_pinned, rows[row].get());
    m_all.remove(at);
    emit contentEdited();
  };
  setContent(std::move(searched));
}

std::vector<GlassPtr> GlassCatalogController::allGlasses() const {
  std::vector<GlassPtr> glasses;
  if (m_all.objects)
    for (const auto& o : m_all.objects())
      if (auto glass = asGlass(o)) glasses.push_back(std::move(glass));
  return glasses;
}

bool GlassCatalogController::passesSearch(const ObjectPtr& object) const {
  if (m_searchString.empty()) return true;
  if (std::find(m_pinned.begin(), m_pinned.end(), object.get()) != m_pinned.end()) return true;
  const auto glass = asGlass(object);
  return glass && lowerCase(glass->name()).find(lowerCase(m_searchString)) != std::string::npos;
}

std::vector<ObjectPtr> GlassCatalogController::searchedObjects() const {
  std::vector<ObjectPtr> rows;
  if (!m_all.objects) return rows;
  for (auto& o : m_all.objects())
    if (passesSearch(o)) rows.push_back(std::move(o));
  return rows;
}

void GlassCatalogController::setSearchString(std::string text) {
  commitEditing();
  const auto selected = selectedObjects();
  m_searchString = std::move(text);
  m_pinned.clear();
  reloadContent();
  std::vector<std::size_t> rows;
  const auto& arranged = arrangedObjects();
  for (const auto& o : selected)
    if (auto it = std::find(arranged.begin(), arranged.end(), o); it != arranged.end())
      rows.push_back(std::size_t(it - arranged.begin()));
  setSelectionIndexes(sortedUnique(rows));
}

void GlassCatalogController::search(const QString& text) {
  const auto selected = selectedObjects();
  const ObjectPtr remembered = selected.empty() ? nullptr : selected.front();
  setSearchString(text.toStdString());
  const auto& arranged = arrangedObjects();
  if (remembered) {
    if (auto it = std::find(arranged.begin(), arranged.end(), remembered); it != arranged.end()) {
      setSelectionIndexes({std::size_t(it - arranged.begin())});
      return;
    }
  }
  setSelectionIndexes(arranged.empty() ? std::vector<std::size_t>{} : std::vector<std::size_t>{0});
}

GlassPtr GlassCatalogController::selectedGlass() const {
  const auto selected = selectedObjects();
  return selected.size() == 1 ? asGlass(selected.front()) : nullptr;
}

void GlassCatalogController::setIndexHandler(IndexHandler handler) {
  m_indexHandler = std::move(handler);
  handSelectionToIndex();
}

void GlassCatalogController::handSelectionToIndex() {
  if (m_indexHandler) m_indexHandler(selectedGlass());
}

void GlassCatalogController::removeUnusedGlasses() {
  if (!isEditable()) return;  // a list of glasses it does not own
  commitEditing();
  const auto& arranged = arrangedObjects();
  std::vector<std::size_t> unused;
  for (std::size_t row = 0; row < arranged.size(); ++row)
    if (auto glass = asGlass(arranged[row]); glass && glass->usageCount() == 0) unused.push_back(row);
  if (unused.empty()) return;
  for (auto it = unused.rbegin(); it != unused.rend(); ++it) removeObjectAt(*it);
  setSelectionIndexes({});
}

void GlassCatalogController::insertObjectsAtIndexes(const std::vector<ObjectPtr>& objects,
                                                    const std::vector<std::size_t>& rows) {
  std::vector<std::size_t> inserted;
  for (std::size_t i = 0; i < objects.size() && i < rows.size(); ++i) {
    const auto before = arrangedObjects().size();
    insertObjectAt(objects[i], rows[i]);
    if (arrangedObjects().size() == before + 1) inserted.push_back(std::min(rows[i], before));
  }
  setSelectionIndexes(sortedUnique(inserted));
}

void GlassCatalogController::cloneSelectedGlasses(
    const std::function<ObjectPtr(const materials::Glass&)>& makeClone) {
  if (!isEditable()) return;  // a list of glasses it does not own
  commitEditing();
  const auto rows = selectionIndexes();
  const auto& arranged = arrangedObjects();
  std::vector<ObjectPtr> clones;
  std::vector<std::size_t> at;
  for (auto row : rows) {
    const auto glass = asGlass(arranged[row]);
    if (!glass) continue;
    clones.push_back(makeClone(*glass));
    at.push_back(row);
  }
  insertObjectsAtIndexes(clones, at);
}

void GlassCatalogController::cloneAsModelGlasses() {
  cloneSelectedGlasses([](const materials::Glass& glass) -> ObjectPtr {
    auto clone = materials::Glass::glassWithGlass<materials::Glass>(glass);
    clone->setIsDummy(false);
    clone->removeVariables();
    clone->setVersion(std::string("model"));
    return clone;
  });
}

void GlassCatalogController::cloneAsMutableGlasses() {
  cloneSelectedGlasses(
      [](const materials::Glass& glass) -> ObjectPtr { return materials::Glass::mutableGlassWithGlass(glass); });
}

void GlassCatalogController::rainbowColors() {
  if (!isEditable()) return;  // a list of glasses it does not own
  ArrayColorizer::rainbowColorsForArray(valueArray(arrangedObjects()), kColorSaturation);
  emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
  emit contentEdited();
}

void GlassCatalogController::randomizeColors() {
  if (!isEditable()) return;  // a list of glasses it does not own
  ArrayColorizer::randomizeColorsForArray(valueArray(arrangedObjects()), kColorSaturation);
  emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
  emit contentEdited();
}

QStringList GlassCatalogController::draggedTypes() const {
  return {kMovedRowsType, kGlassPasteboardType, kSurfacePasteboardType, kColorPasteboardType};
}

QStringList GlassCatalogController::acceptableObjects() const { return {kGlassPasteboardType, kSurfacePasteboardType}; }

QStringList GlassCatalogController::acceptableProperties() const {
  return {kGlassPasteboardType, kColorPasteboardType};
}

std::string GlassCatalogController::keyForProperty(const QString& type) const {
  if (type == QLatin1String(kColorPasteboardType)) return "color";
  if (type == QLatin1String(kGlassPasteboardType)) return "glass";
  return {};
}

std::optional<std::vector<ObjectPtr>> GlassCatalogController::prepareObjectsForInsertion(
    std::vector<ObjectPtr> objects) {
  if (objects.empty()) return objects;
  const auto all = m_all.objects ? m_all.objects() : std::vector<ObjectPtr>{};
  std::vector<ObjectPtr> kept;
  for (const auto& object : objects) {
    const auto glass = glassOfObject(object);
    if (!glass) continue;
    // A dragged glass arrives as an unarchived copy: the list holds it when it holds an equal glass.
    const auto held = [&](const ObjectPtr& o) { return o.get() == glass.get() || (o && o->isEqualTo(*glass)); };
    if (std::any_of(all.begin(), all.end(), held) || std::any_of(kept.begin(), kept.end(), held)) continue;
    kept.push_back(glass);
  }
  return kept;
}

QMimeData* GlassCatalogController::writeRows(const std::vector<std::size_t>& rows) {
  QMimeData* data = DNDArrayController::writeRows(rows);  // remembers the drag rows, marks the source
  data->removeFormat(QString::fromLatin1(kCopiedRowsType));
  if (rows.empty()) {
    data->removeFormat(QString::fromLatin1(kMovedRowsType));
    return data;
  }
  const auto& arranged = arrangedObjects();
  try {
    if (rows.size() == 1) {
      if (rows.front() < arranged.size())
        if (const auto glass = asGlass(arranged[rows.front()])) {
          data->setData(
              kGlassDictionaryPasteboardType,
              toBytes(platform::plist::serialize(platform::Value(glass->dictionary()), platform::PlistFormat::XML)));
          data->setData(kGlassPasteboardType, toBytes(platform::KeyedArchiver::archivedDataWithRootObject(
                                                  platform::Value(prepareGlassForExport(glass)))));
        }
    } else {
      std::vector<ObjectPtr> objects;
      for (auto r : rows)
        if (r < arranged.size()) objects.push_back(arranged[r]);
      data->setData(kGlassPasteboardType, archiveObjects(objects));
    }
  } catch (const std::exception& e) {
    platform::log("glasses not written: %s", e.what());
  }
  return data;
}

// --- GlassSingletonController -------------------------------------------------------------------

QStringList GlassSingletonController::draggedTypes() const {
  return {kGlassPasteboardType, kColorPasteboardType, kSurfacePasteboardType};
}

QStringList GlassSingletonController::acceptableProperties() const { return {kColorPasteboardType}; }

GlassPtr GlassSingletonController::prepareGlassForExport(const GlassPtr& glass) const {
  if (!glass) return nullptr;
  auto copy = glass->makeEmpty();
  copy->initWithGlass(*glass);
  return copy;
}

std::optional<std::vector<ObjectPtr>> GlassSingletonController::prepareObjectsForInsertion(
    std::vector<ObjectPtr> objects) {
  if (objects.empty()) return std::nullopt;
  GlassPtr glass;
  for (const auto& object : objects)
    if ((glass = glassOfObject(object))) break;
  if (!glass) return std::vector<ObjectPtr>{};
  GlassPtr copy;
  if (dynamic_cast<const materials::ZemaxGlass*>(glass.get()))
    copy = materials::Glass::mutableGlassWithGlass(*glass);
  else
    copy = materials::Glass::mutableGlassWithGlass(*materials::Glass::glassWithGlass<materials::ZemaxGlass>(*glass));
  // The dropped glass takes the place of the one the list held.
  while (!arrangedObjects().empty()) removeObjectAt(arrangedObjects().size() - 1);
  return std::vector<ObjectPtr>{copy};
}

// --- GlassArrayController -----------------------------------------------------------------------

QString GlassArrayController::typeFromDrop(const QMimeData* data, bool) const {
  if (!data) return {};
  for (const auto& type : draggedTypesExcludingMovedRows())
    if (data->hasFormat(type)) return type;
  return {};
}

void GlassArrayController::remove() {
  commitEditing();
  auto rows = selectionIndexes();
  if (rows.empty()) rows = sortedUnique(rowIndexesInvolvedInDrag());
  const auto& arranged = arrangedObjects();
  try {
    for (auto r : rows)
      if (r < arranged.size())
        if (auto glass = asGlass(arranged[r])) glass->setGlass(nullptr);
  } catch (const std::exception& e) {
    platform::log("glass not released: %s", e.what());
  }
  for (auto it = rows.rbegin(); it != rows.rend(); ++it) removeObjectAt(*it);
  setSelectionIndexes({});
}

// --- Glasser --------------------------------------------------------------------------------------

Glasser::Glasser(QObject* parent) : QAbstractTableModel(parent) {}

Glasser::~Glasser() { m_observation.remove(); }

void Glasser::setContent(const GlassPtr& glass) {
  m_observation.remove();
  m_glass = glass;
  if (m_glass)
    m_observation = m_glass->addObserver("coefficientDictionary",
                                         [this](const platform::ObservedChange&) { updateCoefficientData(); });
  updateCoefficientData();
}

void Glasser::updateCoefficientData() {
  beginResetModel();
  m_coefficientData = m_glass ? m_glass->invertedCoefficientDictionary() : platform::Array{};
  endResetModel();
}

std::string Glasser::rowName(int row) const {
  if (row < 0 || std::size_t(row) >= m_coefficientData.size() || !m_coefficientData[row].isDictionary()) return {};
  const auto name = m_coefficientData[row].asDictionary().get("coefficientName");
  return name.isString() ? name.asString() : std::string();
}

bool Glasser::setCoefficientValue(int row, double value) {
  const auto name = rowName(row);
  if (!m_glass || name.empty()) return false;
  m_glass->setCoefficientValue(value, name);
  emit glassEdited();
  return true;
}

bool Glasser::setCoefficientIsVariable(int row, bool variable) {
  const auto name = rowName(row);
  if (!m_glass || name.empty()) return false;
  m_glass->setCoefficientIsVariable(variable, name);
  emit glassEdited();
  return true;
}

int Glasser::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(m_coefficientData.size());
}

int Glasser::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 3; }

QVariant Glasser::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || std::size_t(index.row()) >= m_coefficientData.size()) return {};
  const auto& row = m_coefficientData[index.row()];
  if (!row.isDictionary()) return {};
  const auto& d = row.asDictionary();
  switch (index.column()) {
    case NameColumn:
      if (role == Qt::DisplayRole) return QString::fromStdString(rowName(index.row()));
      break;
    case ValueColumn:
      if (role == Qt::DisplayRole || role == Qt::EditRole) {
        const auto v = d.get("coefficientValue");
        if (!v.isNumber()) return {};
        return role == Qt::EditRole ? QVariant(v.asDouble()) : QVariant(QString::number(v.asDouble(), 'g', 12));
      }
      break;
    case VariableColumn:
      if (role == Qt::CheckStateRole) {
        const auto v = d.get("coefficientIsVariable");
        return (v.isNumber() && v.asBool()) ? Qt::Checked : Qt::Unchecked;
      }
      break;
    default:
      break;
  }
  return {};
}

bool Glasser::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (!index.isValid() || !m_editable) return false;
  if (index.column() == ValueColumn && role == Qt::EditRole) {
    QString why;
    if (const auto number = typedNumber(value.toString(), false, &why))
      return setCoefficientValue(index.row(), *number);
    // The model knows no view: the cell's editor has the focus in the table's window.
    showRefusedEntry(QApplication::focusWidget(),
                     keptValueMessage(why, QString::fromStdString(rowName(index.row())),
                                      data(index, Qt::DisplayRole).toString()));
    return false;
  }
  if (index.column() == VariableColumn && role == Qt::CheckStateRole)
    return setCoefficientIsVariable(index.row(), value.toInt() == Qt::Checked);
  return false;
}

Qt::ItemFlags Glasser::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  auto f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  if (m_editable && index.column() == ValueColumn) f |= Qt::ItemIsEditable;
  if (m_editable && index.column() == VariableColumn) f |= Qt::ItemIsUserCheckable;
  return f;
}

QVariant Glasser::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  switch (section) {
    case NameColumn:
      return QStringLiteral("Coefficient");
    case ValueColumn:
      return QStringLiteral("Value");
    case VariableColumn:
      return QStringLiteral("Variable");
    default:
      return {};
  }
}

}  // namespace orb::app
