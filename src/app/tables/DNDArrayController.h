#pragma once

#include <QAbstractTableModel>
#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTableView>

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Object.h"

class QMimeData;
class QItemSelectionModel;

namespace orb::app {

class Formatter;
class DNDTableView;

using ObjectPtr = std::shared_ptr<platform::Object>;

inline constexpr const char* kMovedRowsType = "MovedRowsType";
inline constexpr const char* kCopiedRowsType = "CopiedRowsType";
/// The application's own MIME type for surfaces (a keyed archive of a surface or an array of them).
inline constexpr const char* kSurfacePasteboardType = "application/x-orbelline-surfaces";
inline constexpr const char* kGlassPasteboardType = "Glass pasteboard type";
inline constexpr const char* kGlassDictionaryPasteboardType = "Glass dictionary pasteboard type";
/// The system types the tables exchange with other programs.
inline constexpr const char* kStringPasteboardType = "text/plain";
inline constexpr const char* kColorPasteboardType = "application/x-color";
inline constexpr const char* kFilenamesPasteboardType = "text/uri-list";

struct TableColumn {
  std::string identifier;                      // e.g. "radius"
  std::string title;                           // header text
  std::string keyPath;                         // read/written on the row object through key-value coding
  bool editable = true;
  std::shared_ptr<const Formatter> formatter;  // null: the value's plain description; numbers as "%g"
};

/// What the controller's rows are: a model collection reached through accessors, so every
/// insertion and removal goes through the model (and its undo and change cycle).
struct ArrayBinding {
  std::function<std::vector<ObjectPtr>()> objects;
  std::function<void(ObjectPtr, std::size_t)> insert;
  std::function<void(std::size_t)> remove;
};

/// Row indexes in ascending order, each once.
std::vector<std::size_t> sortedUnique(std::vector<std::size_t> rows);

/// An ArrayBinding over a plain vector the caller keeps (lists that are not model collections).
ArrayBinding bindingForVector(std::shared_ptr<std::vector<ObjectPtr>> objects);

/// The table model of every editable list of a document. Rows are the objects of a model
/// collection; every insertion and removal goes through the binding, one object at a time,
/// so the model sees (and can undo) each step. Subclasses adapt drops, pastes and drags only
/// through the hook methods; the row logic lives here.
class DNDArrayController : public QAbstractTableModel {
  Q_OBJECT
 public:
  explicit DNDArrayController(QObject* parent = nullptr);
  ~DNDArrayController() override;

  void setContent(ArrayBinding binding);  // then reloadContent()
  void reloadContent();                   // re-reads the rows (call when the model changed)
  const std::vector<ObjectPtr>& arrangedObjects() const;
  void setColumns(std::vector<TableColumn> columns);
  const std::vector<TableColumn>& columns() const;
  void setEditable(bool editable);
  bool isEditable() const;
  /// Makes the object add() appends; without one (and without an override of newObject) add() does nothing.
  void setObjectFactory(std::function<ObjectPtr()> factory);

  // Selection (kept in step with the table view's selection model when a view is set).
  void setTableView(DNDTableView* view);
  DNDTableView* tableView() const;
  QItemSelectionModel* selectionModel() const { return m_selectionModel; }
  std::vector<std::size_t> selectionIndexes() const;
  void setSelectionIndexes(const std::vector<std::size_t>& rows);
  std::vector<ObjectPtr> selectedObjects() const;

  // Hooks (base values of the family).
  virtual QStringList draggedTypes() const;
  virtual QStringList acceptableObjects() const;
  virtual QStringList acceptableProperties() const;
  virtual std::string keyForProperty(const QString& type) const;
  virtual QStringList typesToDragOut() const;
  virtual bool dragCanMoveRows() const;
  virtual bool forceIntoGapsForLocalDrag() const;
  virtual Qt::DropAction dragOperationForMask(Qt::DropActions mask) const;
  virtual std::vector<ObjectPtr> objectsFromFile(const std::string& path);
  virtual std::vector<ObjectPtr> objectsFromString(const std::string& text);
  virtual std::optional<std::string> stringFromRowIndexes(const std::vector<std::size_t>& rows) const;
  virtual std::optional<std::vector<ObjectPtr>> prepareObjectsForInsertion(std::vector<ObjectPtr> objects);
  virtual void reacquaintObjects(const std::vector<ObjectPtr>& objects);
  /// The type a drop is read as: from the own table the moved rows, else the first available
  /// of draggedTypesExcludingMovedRows(); empty when none.
  virtual QString typeFromDrop(const QMimeData* data, bool fromOwnTable) const;
  /// A copy of a row object for a copying drag (base: a keyed-archive round trip).
  virtual ObjectPtr copyOfObject(const ObjectPtr& object) const;
  /// The object add() appends (base: the factory's, or null).
  virtual ObjectPtr newObject();
  QStringList draggedTypesExcludingMovedRows() const;

  // Row operations.
  virtual QMimeData* writeRows(const std::vector<std::size_t>& rows);  // drag or copy
  /// Drop validation: may retarget `row` and `onRow`; answers the operation or IgnoreAction.
  Qt::DropAction validateDrop(const QMimeData* data, int& row, bool& onRow, Qt::DropActions sourceMask,
                              bool fromOwnTable) const;
  virtual bool acceptDrop(const QMimeData* data, int row, bool onRow, Qt::DropActions sourceMask,
                          bool fromOwnTable);
  bool pasteFromMimeData(const QMimeData* data);
  void moveArrangedObjectsFromIndexes(const std::vector<std::size_t>& rows, std::size_t to);
  void copyArrangedObjectsFromIndexes(const std::vector<std::size_t>& rows, std::size_t to);
  void removeRowsInvolvedInDrag();  // drop on the Trash
  const std::vector<std::size_t>& rowIndexesInvolvedInDrag() const { return m_rowsInvolvedInDrag; }
  /// Whether `data` was written by this controller (a drag or copy of its own rows).
  bool isOwnData(const QMimeData* data) const;

  /// The row-index payload of "MovedRowsType"; decoding gives nothing for damaged data.
  static QByteArray encodeRowIndexes(const std::vector<std::size_t>& rows);
  static std::optional<std::vector<std::size_t>> decodeRowIndexes(const QByteArray& bytes);
  /// Row objects as a keyed archive (an array, or one object) and back; decoding makes only
  /// registered classes and answers nothing for anything else.
  static QByteArray archiveObjects(const std::vector<ObjectPtr>& objects);
  static std::optional<std::vector<ObjectPtr>> unarchiveObjects(const QByteArray& bytes);

  // Actions.
  void selectAll();
  void selectNone();
  void negateSelection();
  void reverseOrder() {}
  void copy();
  void paste();
  bool canReverse() const;
  bool onlyOneSelection() const;
  virtual void add();     // appends a new row (subclasses make the object)
  virtual void remove();  // removes the selected rows

  // QAbstractTableModel.
  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
  QStringList mimeTypes() const override;
  QMimeData* mimeData(const QModelIndexList& indexes) const override;
  bool canDropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                       const QModelIndex& parent) const override;
  bool dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                    const QModelIndex& parent) override;
  Qt::DropActions supportedDragActions() const override;
  Qt::DropActions supportedDropActions() const override;

  /// Row changes through the binding, one object at a time, keeping the view and the selection in step.
  /// Inserts `objects` at consecutive indexes from `at`.
  void insertObjects(const std::vector<ObjectPtr>& objects, std::size_t at);
  void insertObjectAt(const ObjectPtr& object, std::size_t at);
  void removeObjectAt(std::size_t at);
  void selectRange(std::size_t from, std::size_t count);

  /// The text a cell shows for `value` without a formatter.
  static QString plainText(const platform::Value& value);
  /// The formatter of one cell (base: its column's); rows may differ where a
  /// value's bounds depend on the row.
  virtual std::shared_ptr<const Formatter> formatterAt(const QModelIndex& index) const;

 signals:
  void selectionChanged();
  /// A typed text was not read; `message` names the column, the text and the
  /// value kept. It is also shown in the status line of the table's window.
  void entryRefused(const QModelIndex& index, const QString& message);

 protected:
  /// Ends an open cell edit in the view, keeping the edited text.
  void commitEditing();

 private:
  void pushSelectionToModel();
  void selectionModelChanged();
  bool insertDecodedObjects(std::vector<ObjectPtr> objects, std::size_t at);
  /// Objects read from pasted or dropped text, inserted and selected at `at`.
  bool insertObjectsFromText(const QString& text, std::size_t at);
  platform::Value propertyValue(const QMimeData* data, const QString& type) const;

  ArrayBinding m_binding;
  std::vector<ObjectPtr> m_objects;
  std::vector<TableColumn> m_columns;
  bool m_editable = true;
  std::function<ObjectPtr()> m_factory;
  QPointer<DNDTableView> m_view;
  QItemSelectionModel* m_selectionModel = nullptr;
  std::vector<std::size_t> m_selection;  // sorted, unique
  bool m_pushingSelection = false;
  int m_inChange = 0;  // inside one of our own row changes
  std::vector<std::size_t> m_rowsInvolvedInDrag;
  QByteArray m_sourceTag;  // marks the drags and copies of this controller
};

/// The controller of a one-glass editor: accepts one glass dictionary and hands it to its
/// delegate (an object answering "glass", "glassDictionary" and "glass.agfEntry").
class DropArrayController : public QObject {
  Q_OBJECT
 public:
  explicit DropArrayController(QObject* parent = nullptr);
  ~DropArrayController() override;

  void setTableView(QTableView* view);  // takes the view's drops
  QTableView* tableView() const { return m_view; }
  void setDelegate(ObjectPtr delegate) { m_delegate = std::move(delegate); }
  const ObjectPtr& delegate() const { return m_delegate; }
  void setEditable(bool editable) { m_editable = editable; }
  bool isEditable() const { return m_editable; }

  QStringList draggedTypes() const { return {kGlassDictionaryPasteboardType}; }
  bool dragCanMoveRows() const { return false; }
  Qt::DropAction dragOperationForMask(Qt::DropActions mask) const;
  std::vector<ObjectPtr> objectsFromFile(const std::string&) { return {}; }

  QString typeFromDrop(const QMimeData* data, bool fromOwnTable) const;
  Qt::DropAction validateDrop(const QMimeData* data, bool fromOwnTable) const;
  bool acceptDrop(const QMimeData* data, bool fromOwnTable);
  bool pasteFromMimeData(const QMimeData* data);
  void paste();
  /// The glass of the editor as an archive, its dictionary and its text.
  QMimeData* writeRow() const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QPointer<QTableView> m_view;
  ObjectPtr m_delegate;
  bool m_editable = true;
};

}  // namespace orb::app
