#include "app/tables/SmallTables.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeySequence>
#include <QLineEdit>
#include <QMimeData>
#include <QPointer>
#include <QPushButton>
#include <QTableView>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <charconv>
#include <fstream>
#include <iterator>
#include <sstream>

#include "app/Messages.h"
#include "app/document/ArrayColorizer.h"
#include "app/document/OBDocument.h"
#include "app/tables/DNDTableView.h"
#include "app/tables/Formatters.h"
#include "foundation/platform/CharacterSet.h"
#include "foundation/platform/Scanner.h"
#include "foundation/platform/StringExtensions.h"
#include "lens/Field.h"
#include "lens/Lens.h"
#include "lens/Parameter.h"
#include "lens/Surface.h"
#include "lens/Wave.h"
#include "platform/ArchiveRegistry.h"
#include "platform/Coder.h"
#include "platform/Exception.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "tracing/OBBeam.h"

namespace orb::app {

namespace {

/// printf's "%e", "%g" and "%.7f" without the process locale: the text goes to other programs.
std::string formatNumber(double value, std::chars_format format, int precision) {
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, format, precision);
  return std::string(buffer, result.ptr);
}

std::string labelText(const platform::Value& value) {
  if (value.isString()) return value.asString();
  if (value.isNumber()) return formatNumber(value.asDouble(), std::chars_format::general, 6);
  return value.description();
}

platform::Value valueOf(const ObjectPtr& object, std::string_view key) {
  if (!object) return {};
  try {
    return object->valueForKeyPath(key);
  } catch (const platform::Exception&) {
    return {};
  }
}

bool setValueOf(const ObjectPtr& object, std::string_view key, const platform::Value& value) {
  if (!object) return false;
  try {
    object->setValueForKeyPath(key, value);
    return true;
  } catch (const platform::Exception& e) {
    platform::logText(std::string("table edit: ") + e.what());
    return false;
  }
}

std::shared_ptr<const Formatter> gFormatter() {
  static const auto formatter = [] {
    auto f = formatterNamed("GFormatter");
    return f ? f : std::shared_ptr<const Formatter>(std::make_shared<GFormatter>());
  }();
  return formatter;
}

/// The text of a file for a text drop (read as bytes; the formats are ASCII).
std::optional<std::string> fileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

/// The local files of a drop, in order.
std::vector<std::string> localFiles(const QMimeData* data) {
  std::vector<std::string> files;
  if (!data || !data->hasUrls()) return files;
  for (const auto& url : data->urls())
    if (url.isLocalFile()) files.push_back(url.toLocalFile().toStdString());
  return files;
}

const char* kParameterSourceType = "application/x-orbelline-parameter-source";

QByteArray tagOf(const void* controller) { return QByteArray::number(reinterpret_cast<quintptr>(controller), 16); }

/// Runs `work` once from the event loop however often it is asked before then.
class Deferred {
 public:
  template <class F>
  void request(QObject* context, F work) {
    if (m_pending) return;
    m_pending = true;
    QPointer<QObject> guard = context;
    QMetaObject::invokeMethod(
        context,
        [this, guard, work] {
          if (!guard) return;
          m_pending = false;
          work();
        },
        Qt::QueuedConnection);
  }

 private:
  bool m_pending = false;
};

/// Shows "primary" for the primary wave, nothing for the others.
class PrimaryFlagFormatter : public Formatter {
 public:
  std::string className() const override { return "PrimaryFlagFormatter"; }
  QString stringForObjectValue(const platform::Value& value) const override {
    return value.isNumber() && value.asBool() ? QStringLiteral("primary") : QString();
  }
  bool getObjectValue(platform::Value&, const QString&, QString* error) const override {
    if (error) *error = QStringLiteral("Use Set Primary to choose the primary wavelength.");
    return false;
  }
};

}  // namespace

// --- KeyValueRow -------------------------------------------------------------------------------------

std::shared_ptr<KeyValueRow> KeyValueRow::row(platform::Dictionary values) {
  auto row = platform::makeObject<KeyValueRow>();
  row->m_values = std::move(values);
  return row;
}

platform::Value KeyValueRow::valueForUndefinedKey(std::string_view key) const {
  return m_values.get(platform::Value(key));
}

void KeyValueRow::setValueForUndefinedKey(std::string_view key, const platform::Value& value) {
  changeValueForKey(key, [&] {
    if (value.isNil())
      m_values.remove(platform::Value(key));
    else
      m_values.set(platform::Value(key), value);
  });
}

void KeyValueRow::encodeWithCoder(platform::Coder& coder) const { coder.encodeObject("values", m_values); }

void KeyValueRow::initWithCoder(const platform::Coder& coder) {
  const auto values = coder.decodeObject("values");
  m_values = values.isDictionary() ? values.asDictionary() : platform::Dictionary();
}

void KeyValueRow::registerArchiveClass() {
  auto& registry = platform::ArchiveRegistry::shared();
  if (!registry.byName("KeyValueRow")) registry.registerClass<KeyValueRow>("KeyValueRow", "NSObject");
}

// --- Text forms --------------------------------------------------------------------------------------

std::string parameterRowsText(const std::vector<ObjectPtr>& rows, std::string_view xKey, std::string_view yKey) {
  std::string text;
  for (const auto& row : rows) {
    const auto label = valueOf(row, xKey);
    const auto number = valueOf(row, yKey);
    if (label.isNil() || !number.isNumber()) continue;
    text += labelText(label) + '\t' + formatNumber(number.asDouble(), std::chars_format::scientific, 6) + '\n';
  }
  return text;
}

std::vector<std::pair<std::string, double>> scanTitledValues(const std::string& text) {
  std::vector<std::pair<std::string, double>> values;
  foundation::Scanner scanner(text);
  const auto& names = foundation::CharacterSet::alphanumericCharacterSet();
  for (;;) {
    std::string name;
    if (!scanner.scanCharactersFromSet(names, &name)) break;
    double value = 0;
    if (!scanner.scanDouble(&value)) value = 0;
    values.emplace_back(std::move(name), value);
  }
  return values;
}

std::vector<ObjectPtr> indexRowsFromString(std::string_view text) {
  std::vector<ObjectPtr> rows;
  for (const auto& line : foundation::lines(text)) {
    foundation::Scanner scanner(line);
    double wavelength = 0, index = 0;
    if (!scanner.scanDouble(&wavelength) || !scanner.scanDouble(&index)) break;
    platform::Dictionary values;
    values.set("wavelength", wavelength);
    values.set("indexOfRefraction", index);
    rows.push_back(KeyValueRow::row(std::move(values)));
  }
  return rows;
}

std::string indexRowsText(const std::vector<ObjectPtr>& rows) {
  std::string text;
  for (const auto& row : rows) {
    platform::logText("object = " + (row ? row->description() : std::string("nil")));
    const auto wavelength = valueOf(row, "wavelength");
    const auto index = valueOf(row, "indexOfRefraction");
    if (!wavelength.isNumber() || !index.isNumber()) continue;
    text += formatNumber(wavelength.asDouble(), std::chars_format::general, 6) + '\t' +
            formatNumber(index.asDouble(), std::chars_format::fixed, 7) + '\n';
  }
  return text;
}

// --- ParameterArrayController ------------------------------------------------------------------------

ParameterArrayController::ParameterArrayController(QObject* parent) : QAbstractTableModel(parent) {
  auto& center = platform::NotificationCenter::defaultCenter();
  QPointer<ParameterArrayController> self = this;
  m_observations.push_back(
      center.addObserver("startSurfaceReplacementNotification", {}, [self](const platform::Notification&) {
        if (self) self->startSurfaceReplacement();
      }));
  m_observations.push_back(
      center.addObserver("endSurfaceReplacementNotification", {}, [self](const platform::Notification&) {
        if (self) self->endSurfaceReplacement();
      }));
}

ParameterArrayController::~ParameterArrayController() = default;

QStringList ParameterArrayController::typesToDragIn() const {
  return {kStringPasteboardType, kFilenamesPasteboardType};
}

QStringList ParameterArrayController::typesToDragOut() const { return {kStringPasteboardType}; }

Qt::DropAction ParameterArrayController::dragOperationForMask(Qt::DropActions mask) const {
  if (mask & Qt::MoveAction) return Qt::MoveAction;
  return (mask & Qt::CopyAction) ? Qt::CopyAction : Qt::IgnoreAction;
}

void ParameterArrayController::setContent(std::function<std::vector<ObjectPtr>()> objects) {
  m_source = std::move(objects);
  reloadContent();
}

void ParameterArrayController::reloadContent() {
  beginResetModel();
  m_content = m_source ? m_source() : std::vector<ObjectPtr>();
  arrange();
  endResetModel();
  std::erase_if(m_selection, [&](std::size_t row) { return row >= m_arranged.size(); });
  pushSelectionToView();
  emit selectionChanged();
}

void ParameterArrayController::arrange() {
  m_arranged.clear();
  for (const auto& object : m_content) {
    if (!m_searchString.isEmpty()) {
      const auto title = valueOf(object, "title");
      if (!title.isString() || !QString::fromStdString(title.asString()).contains(m_searchString, Qt::CaseInsensitive))
        continue;
    }
    m_arranged.push_back(object);
  }
}

void ParameterArrayController::refreshValues() {
  if (!m_arranged.empty()) emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
}

void ParameterArrayController::setSearchString(const QString& text) {
  m_searchString = text;
  beginResetModel();
  arrange();
  endResetModel();
  m_selection.clear();
  pushSelectionToView();
  emit selectionChanged();
}

void ParameterArrayController::setTableView(QTableView* view) {
  m_view = view;
  if (!view) return;
  if (view->model() != this) view->setModel(this);
  connect(view->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] { pullSelectionFromView(); });
  pushSelectionToView();
}

void ParameterArrayController::pullSelectionFromView() {
  if (m_pushing || !m_view || !m_view->selectionModel()) return;
  std::vector<std::size_t> rows;
  for (const auto& index : m_view->selectionModel()->selectedRows())
    rows.push_back(static_cast<std::size_t>(index.row()));
  std::sort(rows.begin(), rows.end());
  m_selection = std::move(rows);
  emit selectionChanged();
}

void ParameterArrayController::pushSelectionToView() {
  if (!m_view || !m_view->selectionModel()) return;
  m_pushing = true;
  QItemSelection selection;
  for (auto row : m_selection)
    selection.select(index(static_cast<int>(row), 0), index(static_cast<int>(row), columnCount() - 1));
  m_view->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
  m_pushing = false;
}

std::vector<std::size_t> ParameterArrayController::selectionIndexes() const { return m_selection; }

void ParameterArrayController::setSelectionIndexes(const std::vector<std::size_t>& rows) {
  m_selection = sortedUnique(rows);
  std::erase_if(m_selection, [this](std::size_t row) { return row >= m_arranged.size(); });
  pushSelectionToView();
  emit selectionChanged();
}

std::vector<ObjectPtr> ParameterArrayController::selectedObjects() const {
  std::vector<ObjectPtr> objects;
  for (auto row : m_selection)
    if (row < m_arranged.size()) objects.push_back(m_arranged[row]);
  return objects;
}

std::string ParameterArrayController::stringFromRowIndexes(const std::vector<std::size_t>& rows) const {
  std::vector<ObjectPtr> objects;
  for (auto row : rows)
    if (row < m_arranged.size()) objects.push_back(m_arranged[row]);
  return parameterRowsText(objects, xKey(), yKey());
}

int ParameterArrayController::pasteString(const std::string& text) {
  int set = 0;
  for (const auto& [name, value] : scanTitledValues(text)) {
    platform::logText(name + " = " + formatNumber(value, std::chars_format::general, 6));
    // A named copy: clang before 16 cannot capture a structured binding.
    const std::string wanted = name;
    const auto found = std::find_if(m_arranged.begin(), m_arranged.end(), [&](const ObjectPtr& row) {
      const auto title = valueOf(row, xKey());
      return title.isString() && title.asString() == wanted;
    });
    if (found != m_arranged.end() && setValueOf(*found, yKey(), value)) ++set;
  }
  refreshValues();
  return set;
}

Qt::DropAction ParameterArrayController::validateDrop(const QMimeData* data) const {
  if (!m_editable || !data) return Qt::IgnoreAction;
  if (data->data(kParameterSourceType) == tagOf(this)) return Qt::IgnoreAction;
  const auto types = typesToDragIn();
  if (types.contains(kFilenamesPasteboardType) && !localFiles(data).empty()) return Qt::CopyAction;
  if (types.contains(kStringPasteboardType) && data->hasText()) return Qt::CopyAction;
  return Qt::IgnoreAction;
}

bool ParameterArrayController::acceptDrop(const QMimeData* data) {
  if (validateDrop(data) == Qt::IgnoreAction) return false;
  if (m_view) m_view->setCurrentIndex(m_view->currentIndex());  // ends an open edit
  const auto types = typesToDragIn();
  std::string text;
  const auto files = localFiles(data);
  // A file dragged from a file manager also comes as the text of its URL: take the file.
  if (types.contains(kFilenamesPasteboardType) && !files.empty()) {
    platform::logText("type = " + std::string(kFilenamesPasteboardType));
    const auto contents = fileText(files.front());
    if (!contents) return false;
    text = *contents;
  } else if (types.contains(kStringPasteboardType) && data->hasText()) {
    platform::logText("type = " + std::string(kStringPasteboardType));
    text = data->text().toStdString();
  } else {
    platform::logText("unimplemented drag type");
    return false;
  }
  pasteString(text);
  return true;
}

bool ParameterArrayController::pasteFromMimeData(const QMimeData* data) {
  if (!m_editable || !data || !data->hasText()) return false;
  pasteString(data->text().toStdString());
  return true;
}

QMimeData* ParameterArrayController::writeRows(const std::vector<std::size_t>& rows) const {
  auto* data = new QMimeData;
  data->setText(QString::fromStdString(stringFromRowIndexes(rows)));
  data->setData(kParameterSourceType, tagOf(this));
  return data;
}

void ParameterArrayController::copy() const {
  if (m_selection.empty()) return;
  QApplication::clipboard()->setMimeData(writeRows(m_selection));
}

void ParameterArrayController::paste() { pasteFromMimeData(QApplication::clipboard()->mimeData()); }

void ParameterArrayController::zero() {
  for (const auto& row : selectedObjects()) setValueOf(row, yKey(), 0.0);
  refreshValues();
}

void ParameterArrayController::negate() {
  for (const auto& row : selectedObjects()) {
    if (auto parameter = std::dynamic_pointer_cast<lens::Parameter>(row)) {
      parameter->negate();
    } else {
      const auto value = valueOf(row, yKey());
      if (value.isNumber()) setValueOf(row, yKey(), value.asDouble() == 0 ? 0.0 : -value.asDouble());
    }
  }
  refreshValues();
}

void ParameterArrayController::scaleSelected(double factor) {
  for (const auto& row : selectedObjects()) {
    if (auto parameter = std::dynamic_pointer_cast<lens::Parameter>(row)) {
      parameter->scaleByFactor(factor);
    } else {
      const auto value = valueOf(row, yKey());
      if (value.isNumber()) setValueOf(row, yKey(), value.asDouble() == 0 ? 0.0 : value.asDouble() * factor);
    }
  }
  refreshValues();
}

void ParameterArrayController::bigger() { scaleSelected(2.0); }
void ParameterArrayController::smaller() { scaleSelected(0.5); }

void ParameterArrayController::startSurfaceReplacement() {
  if (!m_memorizedSelection) m_memorizedSelection = m_selection;
}

void ParameterArrayController::endSurfaceReplacement() {
  if (m_memorizedSelection && !m_memorizedSelection->empty()) setSelectionIndexes(*m_memorizedSelection);
  m_memorizedSelection.reset();
}

int ParameterArrayController::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(m_arranged.size());
}

int ParameterArrayController::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 2; }

QVariant ParameterArrayController::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || static_cast<std::size_t>(index.row()) >= m_arranged.size()) return {};
  const auto& row = m_arranged[static_cast<std::size_t>(index.row())];
  if (index.column() == 0) {
    if (role == Qt::DisplayRole) return QString::fromStdString(labelText(valueOf(row, xKey())));
    if (role == Qt::ToolTipRole) {
      if (auto parameter = std::dynamic_pointer_cast<lens::Parameter>(row))
        if (auto text = parameter->parameterDescription()) return QString::fromStdString(*text);
    }
    return {};
  }
  const auto value = valueOf(row, yKey());
  if (role == Qt::DisplayRole) return gFormatter()->stringForObjectValue(value);
  if (role == Qt::EditRole) return gFormatter()->editingStringForObjectValue(value);
  if (role == Qt::TextAlignmentRole) return int(Qt::AlignRight | Qt::AlignVCenter);
  return {};
}

bool ParameterArrayController::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::EditRole || !index.isValid() || index.column() != 1 || !m_editable) return false;
  if (static_cast<std::size_t>(index.row()) >= m_arranged.size()) return false;
  platform::Value number;
  QString why;
  if (!gFormatter()->getObjectValue(number, value.toString(), &why)) {
    const auto& row = m_arranged[static_cast<std::size_t>(index.row())];
    showRefusedEntry(m_view, keptValueMessage(why, QString::fromStdString(labelText(valueOf(row, xKey()))),
                                              data(index, Qt::DisplayRole).toString()));
    return false;
  }
  if (!setValueOf(m_arranged[static_cast<std::size_t>(index.row())], yKey(), number)) return false;
  emit dataChanged(index, index);
  return true;
}

Qt::ItemFlags ParameterArrayController::flags(const QModelIndex& index) const {
  Qt::ItemFlags flags = Qt::ItemIsDropEnabled;
  if (!index.isValid()) return flags;
  flags |= Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled;
  if (index.column() == 1 && m_editable) flags |= Qt::ItemIsEditable;
  return flags;
}

QVariant ParameterArrayController::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole) return {};
  if (orientation == Qt::Vertical) return section + 1;
  if (section == 1) return QStringLiteral("Value");
  return xKey() == "title" ? QStringLiteral("Parameter") : QStringLiteral("Key");
}

QStringList ParameterArrayController::mimeTypes() const {
  auto types = typesToDragIn();
  for (const auto& t : typesToDragOut())
    if (!types.contains(t)) types << t;
  return types;
}

QMimeData* ParameterArrayController::mimeData(const QModelIndexList& indexes) const {
  std::vector<std::size_t> rows;
  for (const auto& index : indexes) rows.push_back(static_cast<std::size_t>(index.row()));
  return writeRows(sortedUnique(std::move(rows)));
}

bool ParameterArrayController::canDropMimeData(const QMimeData* data, Qt::DropAction, int, int,
                                               const QModelIndex&) const {
  // Any drop position means the whole table: rows are matched by title.
  return validateDrop(data) != Qt::IgnoreAction;
}

bool ParameterArrayController::dropMimeData(const QMimeData* data, Qt::DropAction action, int, int,
                                            const QModelIndex&) {
  if (action == Qt::IgnoreAction) return true;
  return acceptDrop(data);
}

Qt::DropActions ParameterArrayController::supportedDragActions() const { return Qt::CopyAction; }
Qt::DropActions ParameterArrayController::supportedDropActions() const { return Qt::CopyAction | Qt::MoveAction; }

// --- The parameter table widget ----------------------------------------------------------------------

namespace {

class ParameterTable : public QWidget {
 public:
  ParameterTable(const std::shared_ptr<OBDocument>& document, QWidget* parent) : QWidget(parent), m_document(document) {
    setObjectName(QStringLiteral("parameterTable"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_search = new QLineEdit(this);
    m_search->setObjectName(QStringLiteral("parameterSearch"));
    m_search->setPlaceholderText(QStringLiteral("Search parameters"));
    m_search->setClearButtonEnabled(true);
    layout->addWidget(m_search);
    m_view = new QTableView(this);
    m_view->setObjectName(QStringLiteral("parameters"));
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setDragEnabled(true);
    m_view->setAcceptDrops(true);
    m_view->setDragDropMode(QAbstractItemView::DragDrop);
    m_view->setDropIndicatorShown(false);
    m_view->horizontalHeader()->setStretchLastSection(true);
    m_view->verticalHeader()->setDefaultSectionSize(m_view->fontMetrics().height() + 6);
    layout->addWidget(m_view, 1);
    m_controller = new ParameterArrayController(this);
    m_controller->setContent([this] {
      std::vector<ObjectPtr> rows;
      if (m_surface)
        for (const auto& p : m_surface->parameterArray()) rows.push_back(p);
      return rows;
    });
    m_controller->setTableView(m_view);
    auto* buttons = new QHBoxLayout();
    const auto button = [&](const char* name, const QString& text, const QString& tip,
                            void (ParameterArrayController::*action)()) {
      auto* b = new QPushButton(text, this);
      b->setObjectName(QString::fromLatin1(name));
      b->setToolTip(tip);
      connect(b, &QPushButton::clicked, m_controller, action);
      buttons->addWidget(b);
    };
    button("zero", QStringLiteral("0"), QStringLiteral("Set the selected parameters to zero"),
           &ParameterArrayController::zero);
    button("negate", QStringLiteral("±"), QStringLiteral("Change the sign of the selected parameters"),
           &ParameterArrayController::negate);
    button("bigger", QStringLiteral("×2"), QStringLiteral("Double the selected parameters"),
           &ParameterArrayController::bigger);
    button("smaller", QStringLiteral("÷2"), QStringLiteral("Halve the selected parameters"),
           &ParameterArrayController::smaller);
    buttons->addStretch();
    layout->addLayout(buttons);
    connect(m_search, &QLineEdit::textChanged, m_controller, &ParameterArrayController::setSearchString);
    // Copy and paste exchange the "title value" text with other programs.
    auto* copy = new QAction(QStringLiteral("Copy"), m_view);
    copy->setShortcut(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WidgetShortcut);
    connect(copy, &QAction::triggered, m_controller, [this] { m_controller->copy(); });
    m_view->addAction(copy);
    auto* paste = new QAction(QStringLiteral("Paste"), m_view);
    paste->setShortcut(QKeySequence::Paste);
    paste->setShortcutContext(Qt::WidgetShortcut);
    connect(paste, &QAction::triggered, m_controller, [this] { m_controller->paste(); });
    m_view->addAction(paste);

    QPointer<ParameterTable> self = this;
    if (document) {
      m_ready = platform::NotificationCenter::defaultCenter().addObserver(
          analysis::kLensIsReadyNotification, document->reference(), [self](const platform::Notification&) {
            if (self) self->lensIsReady();
          });
      m_replaced = platform::NotificationCenter::defaultCenter().addObserver("endSurfaceReplacementNotification", {},
                                                                             [self](const platform::Notification&) {
                                                                               if (self) self->resolveSurface();
                                                                             });
    }
  }

  ParameterArrayController* controller() const { return m_controller; }

  void setSurface(const std::shared_ptr<lens::Surface>& surface) {
    if (surface == m_surface) return;
    m_surface = surface;
    m_surfaceIndex.reset();
    if (auto document = m_document.lock(); document && surface) {
      const auto& surfaces = document->lens()->surfaceArray();
      const auto it = std::find(surfaces.begin(), surfaces.end(), surface);
      if (it != surfaces.end()) m_surfaceIndex = static_cast<std::size_t>(it - surfaces.begin());
    }
    m_parameters = surface ? surface->addObserver("parameterArray",
                                                  [this](const platform::ObservedChange&) {
                                                    m_reload.request(this, [this] { m_controller->reloadContent(); });
                                                  })
                           : platform::Observation();
    m_controller->setSelectionIndexes({});
    m_controller->reloadContent();
  }

 private:
  // Undo and type changes put new surfaces in the lens: show the one at the same place.
  void resolveSurface() {
    auto document = m_document.lock();
    if (!document || !m_surface || !m_surfaceIndex) return;
    const auto& surfaces = document->lens()->surfaceArray();
    if (std::find(surfaces.begin(), surfaces.end(), m_surface) != surfaces.end()) return;
    if (*m_surfaceIndex >= surfaces.size()) return setSurface(nullptr);
    const auto selection = m_controller->selectionIndexes();
    setSurface(surfaces[*m_surfaceIndex]);
    m_controller->setSelectionIndexes(selection);
  }
  void lensIsReady() {
    resolveSurface();
    m_controller->refreshValues();
  }

  std::weak_ptr<OBDocument> m_document;
  std::shared_ptr<lens::Surface> m_surface;
  std::optional<std::size_t> m_surfaceIndex;
  QLineEdit* m_search;
  QTableView* m_view;
  ParameterArrayController* m_controller;
  platform::Observation m_parameters;
  platform::Observation m_ready;
  platform::Observation m_replaced;
  Deferred m_reload;
};

}  // namespace

QWidget* makeParameterTable(const std::shared_ptr<OBDocument>& document, QWidget* parent) {
  return new ParameterTable(document, parent);
}

void setParameterTableSurface(QWidget* table, const std::shared_ptr<lens::Surface>& surface) {
  if (auto* t = dynamic_cast<ParameterTable*>(table)) t->setSurface(surface);
}

ParameterArrayController* parameterTableController(QWidget* table) {
  auto* t = dynamic_cast<ParameterTable*>(table);
  return t ? t->controller() : nullptr;
}

// --- LensListController ------------------------------------------------------------------------------

namespace {
class ReloadRequests : public QObject {
 public:
  using QObject::QObject;
  Deferred deferred;
};
}  // namespace

LensListController::LensListController(std::shared_ptr<lens::Lens> lens, std::string arrayKey, QObject* parent)
    : DNDArrayController(parent), m_lens(std::move(lens)), m_colorThing(std::make_unique<ColorThing>()) {
  // Whatever changes the rows, the colours watched are those of the rows shown.
  const auto watch = [this] { watchColors(); };
  connect(this, &QAbstractItemModel::modelReset, this, watch);
  connect(this, &QAbstractItemModel::layoutChanged, this, watch);
  connect(this, &QAbstractItemModel::rowsInserted, this, watch);
  connect(this, &QAbstractItemModel::rowsRemoved, this, watch);
  connect(this, &QAbstractItemModel::rowsMoved, this, watch);
  if (!m_lens) return;
  QPointer<LensListController> self = this;
  // Inside the controller's own row operations the reload is skipped: they re-read the rows.
  m_arrayObservation = m_lens->addObserver(arrayKey, [self](const platform::ObservedChange&) {
    if (self) self->reloadContent();
  });
  m_readyObservation = m_lens->addObserver("isReady", [self](const platform::ObservedChange&) {
    if (self && self->m_lens->isReady()) self->refreshValues();
  });
}

QStringList LensListController::draggedTypes() const { return {kMovedRowsType, kColorPasteboardType}; }
QStringList LensListController::acceptableProperties() const { return {kColorPasteboardType}; }

std::string LensListController::keyForProperty(const QString& type) const {
  if (type == kColorPasteboardType) return "color";
  return DNDArrayController::keyForProperty(type);
}

void LensListController::rainbowColors() {
  platform::Array objects(arrangedObjects().begin(), arrangedObjects().end());
  ArrayColorizer::rainbowColorsForArray(objects, 1.0);
  refreshValues();
}

void LensListController::randomizeColors() {
  platform::Array objects(arrangedObjects().begin(), arrangedObjects().end());
  ArrayColorizer::randomizeColorsForArray(objects, 1.0);
  refreshValues();
}

void LensListController::watchColors() {
  m_colorThing->watchObjects(platform::Array(arrangedObjects().begin(), arrangedObjects().end()));
}

void LensListController::refreshValues() {
  if (rowCount() > 0 && columnCount() > 0) emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
}

namespace {

template <class T>
std::vector<ObjectPtr> objectsOf(const std::vector<std::shared_ptr<T>>& items) {
  return std::vector<ObjectPtr>(items.begin(), items.end());
}

TableColumn numberColumn(std::string key, std::string title, std::shared_ptr<const Formatter> formatter = nullptr) {
  TableColumn column;
  column.identifier = key;
  column.title = std::move(title);
  column.keyPath = std::move(key);
  column.formatter = formatter ? std::move(formatter) : gFormatter();
  return column;
}

bool removalLeavesNone(const DNDArrayController& controller) {
  const auto selection = controller.selectionIndexes();
  return !selection.empty() && selection.size() >= controller.arrangedObjects().size();
}

}  // namespace

// --- Fields ------------------------------------------------------------------------------------------

FieldArrayController::FieldArrayController(std::shared_ptr<lens::Lens> lens, QObject* parent)
    : LensListController(lens, "fieldArray", parent) {
  std::weak_ptr<lens::Lens> weak = lens;
  ArrayBinding binding;
  binding.objects = [weak] {
    auto l = weak.lock();
    return l ? objectsOf(l->fieldArray()) : std::vector<ObjectPtr>();
  };
  binding.insert = [weak](ObjectPtr object, std::size_t at) {
    auto l = weak.lock();
    auto field = std::dynamic_pointer_cast<lens::Field>(object);
    if (l && field) l->insertObjectInFieldArrayAtIndex(field, std::min(at, l->countOfFieldArray()));
  };
  binding.remove = [weak](std::size_t at) {
    if (auto l = weak.lock(); l && at < l->countOfFieldArray()) l->removeObjectFromFieldArrayAtIndex(at);
  };
  setColumns({numberColumn("x", "X"), numberColumn("y", "Y"), numberColumn("weight", "Weight"),
              numberColumn("PXA", "PXA"), numberColumn("PXB", "PXB"), numberColumn("PYA", "PYA"),
              numberColumn("PYB", "PYB")});
  setContent(std::move(binding));
}

ObjectPtr FieldArrayController::newObject() { return lens::Field::field(); }

bool FieldArrayController::canRemoveSelection(std::string* why) const {
  if (!removalLeavesNone(*this)) return true;
  if (why) *why = "The lens needs at least one field.";
  return false;
}

void FieldArrayController::remove() {
  std::string why;
  if (!canRemoveSelection(&why)) {
    showMessage(tableView() ? tableView()->window() : nullptr, why, "Add another field before removing this one.");
    return;
  }
  DNDArrayController::remove();
}

void FieldArrayController::clearVignetting() {
  for (const auto& field : selectedObjects()) {
    setValueOf(field, "PXA", lens::Field::kDefaultPXA);
    setValueOf(field, "PXB", lens::Field::kDefaultPXB);
    setValueOf(field, "PYA", lens::Field::kDefaultPYA);
    setValueOf(field, "PYB", lens::Field::kDefaultPYB);
  }
  refreshValues();
}

// --- Waves -------------------------------------------------------------------------------------------

WaveArrayController::WaveArrayController(std::shared_ptr<lens::Lens> lens, std::weak_ptr<OBDocument> document,
                                         QObject* parent)
    : LensListController(lens, "waveArray", parent), m_document(std::move(document)) {
  std::weak_ptr<lens::Lens> weak = lens;
  ArrayBinding binding;
  binding.objects = [weak] {
    auto l = weak.lock();
    return l ? objectsOf(l->waveArray()) : std::vector<ObjectPtr>();
  };
  binding.insert = [weak](ObjectPtr object, std::size_t at) {
    auto l = weak.lock();
    auto wave = std::dynamic_pointer_cast<lens::Wave>(object);
    if (l && wave) l->insertObjectInWaveArrayAtIndex(wave, std::min(at, l->countOfWaveArray()));
  };
  binding.remove = [weak](std::size_t at) {
    auto l = weak.lock();
    if (!l || at >= l->countOfWaveArray()) return;
    const bool wasPrimary = l->waveArray()[at]->isPrimary();
    l->removeObjectFromWaveArrayAtIndex(at);
    // The lens keeps one primary wave: the first remaining one takes over.
    if (wasPrimary && l->countOfWaveArray() > 0) l->validateWaves();
  };
  setColumns({numberColumn("wavelengthInNanometers", "Wavelength (nm)"), numberColumn("weight", "Weight"), [] {
                auto c = numberColumn("isPrimary", "Primary", std::make_shared<PrimaryFlagFormatter>());
                c.editable = false;
                return c;
              }()});
  setContent(std::move(binding));
}

ObjectPtr WaveArrayController::newObject() { return lens::Wave::wave(); }

bool WaveArrayController::canRemoveSelection(std::string* why) const {
  if (!removalLeavesNone(*this)) return true;
  if (why) *why = "The lens needs at least one wavelength.";
  return false;
}

void WaveArrayController::remove() {
  std::string why;
  if (!canRemoveSelection(&why)) {
    showMessage(tableView() ? tableView()->window() : nullptr, why, "Add another wavelength before removing this one.");
    return;
  }
  DNDArrayController::remove();
}

void WaveArrayController::useFdC() {
  if (!lens()) return;
  // Names the step the change registers; without a fresh snapshot there is no step to name.
  if (auto document = m_document.lock(); document && document->snapshotIsFresh())
    document->setUpcomingActionName("F,d,C");
  const auto waves = lens::Wave::FdC();
  lens()->setWaveArray(lens::Lens::Waves(waves.begin(), waves.end()));
  platform::Array objects(waves.begin(), waves.end());
  ArrayColorizer::rainbowColorsForArray(objects, 1.0);
  reloadContent();
  selectNone();
}

bool WaveArrayController::canSetWaveAsPrimary() const {
  const auto selection = selectionIndexes();
  return selection.size() == 1 && selection.front() != 0;
}

void WaveArrayController::setWaveAsPrimary() {
  const auto selected = selectedObjects();
  if (selected.size() != 1) return;
  for (const auto& wave : arrangedObjects()) setValueOf(wave, "isPrimary", false);
  setValueOf(selected.front(), "isPrimary", true);
  refreshValues();
}

// --- Beams -------------------------------------------------------------------------------------------

BeamArrayController::BeamArrayController(std::shared_ptr<lens::Lens> lens, QObject* parent)
    : LensListController(lens, "beamArray", parent) {
  std::weak_ptr<lens::Lens> weak = lens;
  ArrayBinding binding;
  binding.objects = [weak] {
    auto l = weak.lock();
    return l && l->beamArray() ? objectsOf(*l->beamArray()) : std::vector<ObjectPtr>();
  };
  binding.insert = [weak](ObjectPtr object, std::size_t at) {
    auto l = weak.lock();
    auto beam = std::dynamic_pointer_cast<lens::LensBeam>(object);
    if (l && beam) l->insertObjectInBeamArrayAtIndex(beam, std::min(at, l->countOfBeamArray()));
  };
  binding.remove = [weak](std::size_t at) {
    if (auto l = weak.lock(); l && at < l->countOfBeamArray()) l->removeObjectFromBeamArrayAtIndex(at);
  };
  TableColumn name;
  name.identifier = name.keyPath = "name";
  name.title = "Name";
  setColumns({name, numberColumn("positionX", "X"), numberColumn("positionY", "Y"), numberColumn("positionZ", "Z"),
              numberColumn("wavelengthInNanometers", "Wavelength (nm)"),
              numberColumn("gaussianWaistRadius", "Waist radius"),
              numberColumn("gaussianDistanceFromWaist", "Distance from waist"), numberColumn("emSquared", "M²"),
              numberColumn("indexOfRefraction", "Index")});
  setContent(std::move(binding));
}

ObjectPtr BeamArrayController::newObject() { return tracing::OBBeam::beam(); }

bool BeamArrayController::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (!DNDArrayController::setData(index, value, role)) return false;
  // A beam announces only its variable keys to the lens; the others are edits too.
  if (role == Qt::EditRole && lens()) lens()->enqueueLensChangedNotification();
  return true;
}

// --- Index data --------------------------------------------------------------------------------------

IndexArrayController::IndexArrayController(std::shared_ptr<std::vector<ObjectPtr>> rows, QObject* parent)
    : DNDArrayController(parent), m_rows(rows ? std::move(rows) : std::make_shared<std::vector<ObjectPtr>>()) {
  KeyValueRow::registerArchiveClass();
  setColumns({numberColumn("wavelength", "Wavelength"), numberColumn("indexOfRefraction", "Index")});
  setContent(bindingForVector(m_rows));
}

QStringList IndexArrayController::draggedTypes() const {
  return {kMovedRowsType, kStringPasteboardType, kFilenamesPasteboardType, kColorPasteboardType};
}

QStringList IndexArrayController::acceptableProperties() const { return {kColorPasteboardType}; }

std::string IndexArrayController::keyForProperty(const QString& type) const {
  if (type == kColorPasteboardType) return "color";
  return DNDArrayController::keyForProperty(type);
}

QStringList IndexArrayController::typesToDragOut() const {
  auto types = DNDArrayController::typesToDragOut();
  if (!types.contains(kStringPasteboardType)) types << kStringPasteboardType;
  return types;
}

std::vector<ObjectPtr> IndexArrayController::objectsFromFile(const std::string& path) {
  const auto text = fileText(path);
  return text ? objectsFromString(*text) : std::vector<ObjectPtr>();
}

std::vector<ObjectPtr> IndexArrayController::objectsFromString(const std::string& text) {
  return indexRowsFromString(text);
}

std::optional<std::string> IndexArrayController::stringFromRowIndexes(const std::vector<std::size_t>& rows) const {
  std::vector<ObjectPtr> objects;
  for (auto row : rows)
    if (row < arrangedObjects().size()) objects.push_back(arrangedObjects()[row]);
  return indexRowsText(objects);
}

ObjectPtr IndexArrayController::newObject() {
  platform::Dictionary values;
  values.set("wavelength", 0.58756);
  values.set("indexOfRefraction", 1.5);
  return KeyValueRow::row(std::move(values));
}

// --- Surfaces with an emission or an aperture --------------------------------------------------------

SurfaceFilterController::SurfaceFilterController(std::shared_ptr<lens::Lens> lens, std::string filterKey,
                                                 std::vector<Column> columns, QObject* parent)
    : QAbstractTableModel(parent),
      m_lens(std::move(lens)),
      m_filterKey(std::move(filterKey)),
      m_columns(std::move(columns)) {
  if (!m_lens) return;
  auto* requests = new ReloadRequests(this);
  QPointer<SurfaceFilterController> self = this;
  m_surfacesObservation = m_lens->addObserver("surfaceArray", [self, requests](const platform::ObservedChange&) {
    if (self)
      requests->deferred.request(requests, [self] {
        if (self) self->rearrangeObjects();
      });
  });
  m_readyObservation = m_lens->addObserver("isReady", [self](const platform::ObservedChange&) {
    if (self && self->m_lens->isReady() && self->rowCount() > 0)
      emit self->dataChanged(self->index(0, 0), self->index(self->rowCount() - 1, self->columnCount() - 1));
  });
  rearrangeObjects();
}

void SurfaceFilterController::watchSurfaces() {
  m_surfaceObservations.clear();
  auto* requests = findChild<ReloadRequests*>(QString(), Qt::FindDirectChildrenOnly);
  QPointer<SurfaceFilterController> self = this;
  for (const auto& surface : m_lens->surfaceArray())
    m_surfaceObservations.push_back(
        surface->addObserver(m_filterKey, [self, requests](const platform::ObservedChange&) {
          if (self && requests)
            requests->deferred.request(requests, [self] {
              if (self) self->rearrangeObjects();
            });
        }));
}

void SurfaceFilterController::rearrangeObjects() {
  beginResetModel();
  m_arranged.clear();
  for (const auto& surface : m_lens->surfaceArray())
    if (!valueOf(surface, m_filterKey).isNil()) m_arranged.push_back(surface);
  endResetModel();
  watchSurfaces();
}

int SurfaceFilterController::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(m_arranged.size());
}

int SurfaceFilterController::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(m_columns.size());
}

QVariant SurfaceFilterController::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || static_cast<std::size_t>(index.row()) >= m_arranged.size()) return {};
  if (role != Qt::DisplayRole && role != Qt::EditRole) return {};
  const auto& surface = m_arranged[static_cast<std::size_t>(index.row())];
  const auto& column = m_columns[static_cast<std::size_t>(index.column())];
  if (column.keyPath.empty()) {
    const auto& surfaces = m_lens->surfaceArray();
    const auto it = std::find(surfaces.begin(), surfaces.end(), surface);
    return it == surfaces.end() ? QVariant() : QVariant(static_cast<int>(it - surfaces.begin()));
  }
  const auto value = valueOf(surface, column.keyPath);
  if (value.isNumber())
    return role == Qt::DisplayRole ? gFormatter()->stringForObjectValue(value)
                                   : gFormatter()->editingStringForObjectValue(value);
  if (value.isString()) return QString::fromStdString(value.asString());
  return {};
}

bool SurfaceFilterController::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::EditRole || !(flags(index) & Qt::ItemIsEditable)) return false;
  const auto& surface = m_arranged[static_cast<std::size_t>(index.row())];
  const auto& column = m_columns[static_cast<std::size_t>(index.column())];
  platform::Value newValue;
  if (valueOf(surface, column.keyPath).isNumber()) {
    QString why;
    if (!gFormatter()->getObjectValue(newValue, value.toString(), &why)) {
      // The model knows no view: the cell's editor has the focus in the table's window.
      showRefusedEntry(QApplication::focusWidget(), keptValueMessage(why, QString::fromStdString(column.title),
                                                                     data(index, Qt::DisplayRole).toString()));
      return false;
    }
  } else {
    newValue = value.toString().toStdString();
  }
  if (!setValueOf(surface, column.keyPath, newValue)) return false;
  emit dataChanged(index, index);
  return true;
}

Qt::ItemFlags SurfaceFilterController::flags(const QModelIndex& index) const {
  if (!index.isValid() || static_cast<std::size_t>(index.row()) >= m_arranged.size()) return Qt::NoItemFlags;
  Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  if (m_columns[static_cast<std::size_t>(index.column())].editable) flags |= Qt::ItemIsEditable;
  return flags;
}

QVariant SurfaceFilterController::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole) return {};
  if (orientation == Qt::Vertical) return section + 1;
  if (section < 0 || static_cast<std::size_t>(section) >= m_columns.size()) return {};
  return QString::fromStdString(m_columns[static_cast<std::size_t>(section)].title);
}

EmitterArrayController::EmitterArrayController(std::shared_ptr<lens::Lens> lens, QObject* parent)
    : SurfaceFilterController(std::move(lens), "emission",
                              {{"Surface", "", false},
                               {"Comment", "comment", true},
                               {"Emission", "emissionType", false},
                               {"Wavelength (nm)", "emission.wavelengthInNanometers", true},
                               {"N.A.", "emission.numericalAperture", true}},
                              parent) {}

ApertureArrayController::ApertureArrayController(std::shared_ptr<lens::Lens> lens, QObject* parent)
    : SurfaceFilterController(std::move(lens), "aperture",
                              {{"Surface", "", false},
                               {"Comment", "comment", true},
                               {"Aperture", "apertureType", false},
                               {"Description", "aperture.apertureDescription", false}},
                              parent) {}

}  // namespace orb::app
