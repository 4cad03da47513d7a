#pragma once

#include <QColor>
#include <QPixmap>
#include <QTableView>

#include <cstddef>
#include <optional>
#include <vector>

namespace orb::app {

class DNDArrayController;

/// The table of a DNDArrayController: drags its rows (moving them inside the own table,
/// copying or moving them elsewhere), takes drops through the controller, copies and pastes
/// through the clipboard. A drag that ends as a move outside the application (the file
/// manager's trash, for one) removes the dragged rows.
class DNDTableView : public QTableView {
  Q_OBJECT
 public:
  explicit DNDTableView(QWidget* parent = nullptr);
  /// The controller serving this table (the model, when it is one).
  DNDArrayController* arrayController() const;

  /// The operations a drag offers to tables of the application and to other programs.
  virtual Qt::DropActions dragActionsInsideApplication() const { return Qt::MoveAction; }
  virtual Qt::DropActions dragActionsOutsideApplication() const { return Qt::CopyAction | Qt::MoveAction; }
  /// Whether a drag that ends as a move outside the application removes the dragged rows.
  virtual bool removesRowsMovedOutside() const { return true; }
  /// The label and colour of the drag image; no label gives the platform's default image.
  virtual std::optional<QString> dragLabel(const std::vector<std::size_t>& rows) const;
  virtual QColor dragColor() const { return QColor(Qt::lightGray); }
  virtual QColor dragTextColor() const { return QColor(Qt::black); }
  /// The drag image of a label: the label's size plus 6 in each direction, filled with the
  /// colour at alpha 0.7, the label at (3, 3) at alpha 0.7.
  QPixmap dragImageForLabel(const QString& label) const;

  /// Where a drop at `pos` (viewport coordinates) goes: a row and whether it is on the row
  /// (true) or between rows above it (false).
  void dropTargetAt(const QPoint& pos, int& row, bool& onRow) const;
  /// Ends an open cell edit, keeping the edited text.
  void commitEditing();

 public slots:
  virtual void copy();
  virtual void paste();

 protected:
  void startDrag(Qt::DropActions supportedActions) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dragLeaveEvent(QDragLeaveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  /// The source operations of a drag event: a table of the application offers its inside
  /// operations, anything else what the event carries.
  static Qt::DropActions sourceMask(const QDropEvent* event);
  /// Called when a drag of this table's rows ended with `result`, `insideApplication` telling
  /// whether a widget of the application took it.
  virtual void dragEnded(Qt::DropAction result, bool insideApplication);

 private:
  bool updateDropTarget(QDropEvent* event);
  int m_dropRow = -1;
  bool m_dropOn = false;
};

/// A table with a spreadsheet entry mode: Return ends the edit and edits the same column of
/// the next row, adding a row after the last.
class DataEntryTableView : public DNDTableView {
  Q_OBJECT
 public:
  explicit DataEntryTableView(QWidget* parent = nullptr);
  bool spreadsheetMode() const { return m_spreadsheetMode; }
  void setSpreadsheetMode(bool on) { m_spreadsheetMode = on; }
  void toggleSpreadsheetMode() { m_spreadsheetMode = !m_spreadsheetMode; }
  /// Edits the cell and selects its text.
  void editWithInfo(int column, int row);
  /// What follows the end of an edit of `index`; `returnKey` when Return ended it.
  void textDidEndEditing(const QModelIndex& index, bool returnKey);

 protected slots:
  void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;

 private:
  bool m_spreadsheetMode = false;
};

class GlassTableView : public DNDTableView {
  Q_OBJECT
 public:
  using DNDTableView::DNDTableView;
  Qt::DropActions dragActionsInsideApplication() const override { return Qt::CopyAction | Qt::MoveAction; }
  Qt::DropActions dragActionsOutsideApplication() const override {
    return Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
  }
  std::optional<QString> dragLabel(const std::vector<std::size_t>& rows) const override;
  QColor dragColor() const override { return QColor(Qt::lightGray); }
};

class LensTableView : public DNDTableView {
  Q_OBJECT
 public:
  using DNDTableView::DNDTableView;
  std::optional<QString> dragLabel(const std::vector<std::size_t>& rows) const override;
  QColor dragColor() const override { return QColor(Qt::magenta); }
};

/// The surface table's drag image and entry mode; its surface behaviour lives with the surface table.
class SurfaceTableView : public DataEntryTableView {
  Q_OBJECT
 public:
  using DataEntryTableView::DataEntryTableView;
  std::optional<QString> dragLabel(const std::vector<std::size_t>& rows) const override;
  QColor dragColor() const override { return QColor(Qt::blue); }
};

class MyTableView : public DataEntryTableView {
  Q_OBJECT
 public:
  using DataEntryTableView::DataEntryTableView;
  Qt::DropActions dragActionsInsideApplication() const override { return Qt::CopyAction | Qt::MoveAction; }
  Qt::DropActions dragActionsOutsideApplication() const override {
    return Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
  }
  virtual QString singularObjectNameForDrag() const { return QStringLiteral("object"); }
  virtual QString pluralObjectNameForDrag() const { return QStringLiteral("objects"); }
  std::optional<QString> dragLabel(const std::vector<std::size_t>& rows) const override;
  QColor dragColor() const override { return QColor(Qt::lightGray); }
  QColor dragTextColor() const override { return QColor(Qt::blue); }
  void paste() override;
};

class ParameterTableView : public DataEntryTableView {
  Q_OBJECT
 public:
  using DataEntryTableView::DataEntryTableView;
  Qt::DropActions dragActionsInsideApplication() const override { return Qt::CopyAction | Qt::MoveAction; }
  Qt::DropActions dragActionsOutsideApplication() const override {
    return Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
  }
  bool removesRowsMovedOutside() const override { return false; }
  std::optional<QString> dragLabel(const std::vector<std::size_t>& rows) const override;
  QColor dragColor() const override { return QColor(Qt::magenta); }
};

/// A table whose selected cells are not highlighted (a white highlight).
class TableViewWithNoHighlight : public QTableView {
  Q_OBJECT
 public:
  explicit TableViewWithNoHighlight(QWidget* parent = nullptr);
};

}  // namespace orb::app
