#include "app/tables/DNDTableView.h"

#include <QDrag>
#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLineEdit>
#include <QMimeData>
#include <QPainter>
#include <QPalette>
#include <QTimer>

#include <exception>

#include "app/tables/DNDArrayController.h"
#include "platform/Log.h"

namespace orb::app {

namespace {

ObjectPtr rowObject(const DNDArrayController* controller, std::size_t row) {
  if (!controller || row >= controller->arrangedObjects().size()) return nullptr;
  return controller->arrangedObjects()[row];
}

QString stringForKey(const ObjectPtr& object, const char* key) {
  if (!object) return {};
  try {
    const auto value = object->valueForKey(key);
    if (value.isString()) return QString::fromStdString(value.asString());
  } catch (const std::exception&) {
  }
  return {};
}

}  // namespace

DNDTableView::DNDTableView(QWidget* parent) : QTableView(parent) {
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setDragEnabled(true);
  setAcceptDrops(true);
  viewport()->setAcceptDrops(true);
  setDropIndicatorShown(false);  // drawn here: the drop target comes from the controller
  setDragDropMode(QAbstractItemView::DragDrop);
}

DNDArrayController* DNDTableView::arrayController() const { return qobject_cast<DNDArrayController*>(model()); }

std::optional<QString> DNDTableView::dragLabel(const std::vector<std::size_t>&) const { return std::nullopt; }

QPixmap DNDTableView::dragImageForLabel(const QString& label) const {
  const QFontMetrics metrics(font());
  const QSize size = metrics.size(0, label) + QSize(6, 6);
  QPixmap image(size);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  QColor fill = dragColor();
  fill.setAlphaF(0.7f);
  painter.fillRect(image.rect(), fill);
  QColor text = dragTextColor();
  text.setAlphaF(0.7f);
  painter.setPen(text);
  painter.drawText(QRect(QPoint(3, 3), size - QSize(6, 6)), Qt::AlignLeft | Qt::AlignTop, label);
  return image;
}

void DNDTableView::startDrag(Qt::DropActions) {
  auto* controller = arrayController();
  if (!controller) return;
  const auto rows = controller->selectionIndexes();
  if (rows.empty()) return;
  auto* drag = new QDrag(this);
  drag->setMimeData(controller->writeRows(rows));
  if (auto label = dragLabel(rows)) {
    const QPixmap image = dragImageForLabel(*label);
    drag->setPixmap(image);
    drag->setHotSpot(QPoint(image.width() / 2, image.height() / 2));  // the image centred on the pointer
  }
  const Qt::DropActions inside = dragActionsInsideApplication();
  const Qt::DropAction preferred = (inside & Qt::MoveAction) ? Qt::MoveAction : Qt::CopyAction;
  const Qt::DropAction result = drag->exec(inside | dragActionsOutsideApplication(), preferred);
  dragEnded(result, drag->target() != nullptr);
}

void DNDTableView::dragEnded(Qt::DropAction result, bool insideApplication) {
  // Qt has no trash operation: a move taken by another program stands for it.
  if (!insideApplication && result == Qt::MoveAction && removesRowsMovedOutside())
    if (auto* controller = arrayController()) controller->removeRowsInvolvedInDrag();
}

Qt::DropActions DNDTableView::sourceMask(const QDropEvent* event) {
  if (auto* source = qobject_cast<const DNDTableView*>(event->source())) return source->dragActionsInsideApplication();
  return event->possibleActions();
}

void DNDTableView::dropTargetAt(const QPoint& pos, int& row, bool& onRow) const {
  const QModelIndex index = indexAt(pos);
  onRow = false;
  if (!index.isValid()) {
    row = model() ? model()->rowCount() : 0;
    return;
  }
  const QRect rect = visualRect(index);
  const int margin = std::max(2, rect.height() / 4);
  if (pos.y() < rect.top() + margin) {
    row = index.row();
  } else if (pos.y() > rect.bottom() - margin) {
    row = index.row() + 1;
  } else {
    row = index.row();
    onRow = true;
  }
}

bool DNDTableView::updateDropTarget(QDropEvent* event) {
  auto* controller = arrayController();
  int row = -1;
  bool onRow = false;
  Qt::DropAction action = Qt::IgnoreAction;
  if (controller) {
    dropTargetAt(event->position().toPoint(), row, onRow);
    action = controller->validateDrop(event->mimeData(), row, onRow, sourceMask(event), event->source() == this);
  }
  const int oldRow = m_dropRow;
  const bool oldOn = m_dropOn;
  if (action == Qt::IgnoreAction) {
    m_dropRow = -1;
    event->ignore();
  } else {
    m_dropRow = row;
    m_dropOn = onRow;
    event->setDropAction(action);
    event->accept();
  }
  if (oldRow != m_dropRow || oldOn != m_dropOn) viewport()->update();
  return action != Qt::IgnoreAction;
}

void DNDTableView::dragEnterEvent(QDragEnterEvent* event) {
  if (!arrayController()) return QTableView::dragEnterEvent(event);
  // Whether a drop is taken depends on where it lands: the moves decide.
  updateDropTarget(event);
  event->accept();
}

void DNDTableView::dragMoveEvent(QDragMoveEvent* event) {
  if (!arrayController()) return QTableView::dragMoveEvent(event);
  updateDropTarget(event);
}

void DNDTableView::dragLeaveEvent(QDragLeaveEvent* event) {
  m_dropRow = -1;
  viewport()->update();
  QTableView::dragLeaveEvent(event);
}

void DNDTableView::dropEvent(QDropEvent* event) {
  auto* controller = arrayController();
  if (!controller) return QTableView::dropEvent(event);
  m_dropRow = -1;
  viewport()->update();
  int row = -1;
  bool onRow = false;
  dropTargetAt(event->position().toPoint(), row, onRow);
  const bool own = event->source() == this;
  const Qt::DropAction action = controller->validateDrop(event->mimeData(), row, onRow, sourceMask(event), own);
  if (action != Qt::IgnoreAction && controller->acceptDrop(event->mimeData(), row, onRow, sourceMask(event), own)) {
    event->setDropAction(action);
    event->accept();
  } else {
    event->ignore();
  }
}

void DNDTableView::paintEvent(QPaintEvent* event) {
  QTableView::paintEvent(event);
  if (m_dropRow < 0 || !model()) return;
  QPainter painter(viewport());
  painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
  const int rows = model()->rowCount();
  const int lastColumn = std::max(0, model()->columnCount() - 1);
  if (m_dropOn && m_dropRow < rows) {
    const QRect rect =
        visualRect(model()->index(m_dropRow, 0)).united(visualRect(model()->index(m_dropRow, lastColumn)));
    painter.drawRect(rect.adjusted(1, 1, -1, -1));
  } else {
    int y = 0;
    if (m_dropRow < rows) y = visualRect(model()->index(m_dropRow, 0)).top();
    else if (rows > 0) y = visualRect(model()->index(rows - 1, 0)).bottom() + 1;
    painter.drawLine(0, y, viewport()->width(), y);
  }
}

void DNDTableView::keyPressEvent(QKeyEvent* event) {
  if (event->matches(QKeySequence::Copy)) {
    copy();
    return;
  }
  if (event->matches(QKeySequence::Paste)) {
    paste();
    return;
  }
  QTableView::keyPressEvent(event);
}

void DNDTableView::copy() {
  if (auto* controller = arrayController()) controller->copy();
}

void DNDTableView::paste() {
  if (auto* controller = arrayController()) controller->paste();
}

void DNDTableView::commitEditing() {
  if (state() != QAbstractItemView::EditingState) return;
  if (QWidget* editor = indexWidget(currentIndex())) {
    commitData(editor);
    closeEditor(editor, QAbstractItemDelegate::NoHint);
  }
}

// --- spreadsheet entry -----------------------------------------------------------------------------

DataEntryTableView::DataEntryTableView(QWidget* parent) : DNDTableView(parent) {}

void DataEntryTableView::editWithInfo(int column, int row) {
  if (!model()) return;
  const QModelIndex index = model()->index(row, column);
  if (!index.isValid()) return;
  setCurrentIndex(index);
  edit(index);
  if (auto* line = qobject_cast<QLineEdit*>(indexWidget(index))) line->selectAll();
}

void DataEntryTableView::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) {
  const QModelIndex index = currentIndex();
  DNDTableView::closeEditor(editor, hint);
  // Return ends an edit with SubmitModelCache.
  textDidEndEditing(index, hint == QAbstractItemDelegate::SubmitModelCache);
}

void DataEntryTableView::textDidEndEditing(const QModelIndex& index, bool returnKey) {
  if (!m_spreadsheetMode || !returnKey || !index.isValid() || !model()) return;
  const int row = index.row();
  const int column = index.column();
  if (row == model()->rowCount() - 1) {
    if (auto* controller = arrayController()) controller->add();
    if (model()->rowCount() <= row + 1) {
      // The row may come later (a model that adds on its next turn): edit it then.
      QTimer::singleShot(0, this, [this, column, row] { editWithInfo(column, row + 1); });
      return;
    }
  }
  editWithInfo(column, row + 1);
}

// --- the row tables --------------------------------------------------------------------------------

std::optional<QString> GlassTableView::dragLabel(const std::vector<std::size_t>& rows) const {
  if (rows.size() == 1) return stringForKey(rowObject(arrayController(), rows.front()), "name");
  return QStringLiteral("%1 glasses").arg(rows.size());
}

std::optional<QString> LensTableView::dragLabel(const std::vector<std::size_t>& rows) const {
  if (rows.size() == 1) return stringForKey(rowObject(arrayController(), rows.front()), "name");
  return QStringLiteral("%1 lenses").arg(rows.size());
}

std::optional<QString> SurfaceTableView::dragLabel(const std::vector<std::size_t>& rows) const {
  if (rows.size() == 1) return QStringLiteral("one surface");
  return QStringLiteral("%1 surfaces").arg(rows.size());
}

std::optional<QString> MyTableView::dragLabel(const std::vector<std::size_t>& rows) const {
  return QStringLiteral("%1 %2").arg(rows.size()).arg(rows.size() == 1 ? singularObjectNameForDrag()
                                                                         : pluralObjectNameForDrag());
}

void MyTableView::paste() {
  if (!arrayController()) {
    platform::log("wrong class");
    return;
  }
  DataEntryTableView::paste();
}

std::optional<QString> ParameterTableView::dragLabel(const std::vector<std::size_t>& rows) const {
  if (rows.size() == 1) {
    const auto object = rowObject(arrayController(), rows.front());
    QString text = stringForKey(object, "description");
    if (text.isEmpty() && object) text = QString::fromStdString(object->description());
    return text;
  }
  return QStringLiteral("%1 parameters").arg(rows.size());
}

TableViewWithNoHighlight::TableViewWithNoHighlight(QWidget* parent) : QTableView(parent) {
  QPalette p = palette();
  for (auto group : {QPalette::Active, QPalette::Inactive}) {
    p.setColor(group, QPalette::Highlight, QColor::fromRgbF(1, 1, 1, 1));
    p.setColor(group, QPalette::HighlightedText, p.color(group, QPalette::Text));
  }
  setPalette(p);
}

}  // namespace orb::app
