#include "app/tables/Widgets.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QDrag>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QFocusEvent>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QStyleOptionFocusRect>
#include <QTimer>
#include <QUrl>
#include <algorithm>

#include "platform/Log.h"
#include "platform/NotificationCenter.h"

namespace orb::app {

namespace {

bool gDragHighlight = false;

QByteArray pngOf(const QImage &image) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return bytes;
}

} // namespace

// --- DragThing
// --------------------------------------------------------------------------------------

DragThing::DragThing(QWidget *parent)
    : QWidget(parent), m_backgroundColor(QColor::fromRgbF(1, 0, 0, 1)) {
  setAcceptDrops(true);
  setFocusPolicy(Qt::ClickFocus);
}

void DragThing::setBackgroundColor(const QColor &color) {
  m_backgroundColor = color;
  update();
}

void DragThing::setBackgroundImage(const QImage &image) {
  m_backgroundImage = image;
  update();
}

void DragThing::clearBackgroundImage() { setBackgroundImage(QImage()); }

bool DragThing::dragHighlight() { return gDragHighlight; }

void DragThing::setDragHighlight(bool on) {
  gDragHighlight = on;
  update();
}

QStringList DragThing::registeredDragTypes() {
  return {kColorType, kPDFType,       kTIFFType,
          kPNGType,   kFilenamesType, kGlassDictionaryType};
}

void DragThing::paintEvent(QPaintEvent *) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  drawRings(painter);
  drawBackgroundImage(painter);
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(Qt::blue));
  painter.drawEllipse(QRectF(rect()));
}

void DragThing::drawRings(QPainter &painter) {
  if (drawsFocusRing() &&
      (gDragHighlight || (window()->isActiveWindow() && hasFocus()))) {
    QStyleOptionFocusRect option;
    option.initFrom(this);
    option.rect = rect();
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
  }
  if (drawsDragRing() && gDragHighlight) {
    painter.save();
    painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRectF(rect()).adjusted(1, 1, -1, -1));
    painter.restore();
  }
}

void DragThing::drawBackgroundImage(QPainter &painter) {
  if (m_backgroundImage.isNull() || m_backgroundImage.width() <= 0 ||
      m_backgroundImage.height() <= 0)
    return;
  // Cover the bounds keeping the image's proportions.
  const double scale = std::max(double(width()) / m_backgroundImage.width(),
                                double(height()) / m_backgroundImage.height());
  const QRectF target(0, 0, m_backgroundImage.width() * scale,
                      m_backgroundImage.height() * scale);
  painter.save();
  painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
  painter.setOpacity(1.0);
  painter.drawImage(target, m_backgroundImage);
  painter.restore();
}

bool DragThing::pasteFromMimeData(const QMimeData *data) {
  if (!data)
    return false;
  // A PDF or raster image the data offers; PDF is first but only taken when it
  // reads as an image.
  for (const char *type : {kPDFType, kTIFFType, kPNGType}) {
    if (!data->hasFormat(type))
      continue;
    QImage image;
    if (image.loadFromData(data->data(type)) && !image.isNull()) {
      setBackgroundImage(image);
      return true;
    }
  }
  if (data->hasImage()) {
    const QImage image = qvariant_cast<QImage>(data->imageData());
    if (!image.isNull()) {
      setBackgroundImage(image);
      return true;
    }
  }
  if (data->hasUrls()) {
    const QList<QUrl> urls = data->urls();
    if (!urls.isEmpty()) {
      const QString path = urls.first().isLocalFile()
                               ? urls.first().toLocalFile()
                               : urls.first().toString();
      QImage image(path);
      if (image.isNull()) {
        runAlert(QStringLiteral("Perhaps not an image at \"%1\"").arg(path));
        return false;
      }
      setBackgroundImage(image);
      return true;
    }
  }
  if (data->hasColor()) {
    const QColor color = qvariant_cast<QColor>(data->colorData());
    if (color.isValid()) {
      setBackgroundColor(color);
      return true;
    }
  }
  return false;
}

bool DragThing::paste() {
  return pasteFromMimeData(QApplication::clipboard()->mimeData());
}

QByteArray DragThing::pdfOfBounds() {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  {
    QPdfWriter writer(&buffer);
    writer.setResolution(72);
    writer.setPageSize(QPageSize(
        QSizeF(std::max(1, width()), std::max(1, height())), QPageSize::Point));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    QPainter painter(&writer);
    render(&painter, QPoint(), QRegion(), QWidget::DrawChildren);
  }
  return bytes;
}

void DragThing::copy() {
  platform::log("DragThing copy");
  auto *data = new QMimeData;
  data->setData(kPDFType, pdfOfBounds());
  const QImage image = grab().toImage();
  data->setData(kPNGType, pngOf(image));
  data->setImageData(image);
  QApplication::clipboard()->setMimeData(data);
}

QMimeData *DragThing::mimeDataForDrag() const {
  auto *data = new QMimeData;
  data->setData(kPDFType, m_PDFData);
  if (!m_pressImage.isNull()) {
    data->setData(kPNGType, pngOf(m_pressImage));
    data->setImageData(m_pressImage);
  }
  return data;
}

void DragThing::draggingSessionEnded(Qt::DropAction action) {
  if (action == Qt::MoveAction)
    clearBackgroundImage();
}

void DragThing::dragEnterEvent(QDragEnterEvent *event) {
  if (event->source() == this) { // a drag that started here goes nowhere here
    event->ignore();
    return;
  }
  const QStringList types = registeredDragTypes();
  const bool known =
      std::any_of(types.begin(), types.end(), [&](const QString &t) {
        return event->mimeData()->hasFormat(t);
      });
  if (!known) {
    event->ignore();
    return;
  }
  setDragHighlight(true);
  event->setDropAction(Qt::CopyAction);
  event->accept();
}

void DragThing::dragLeaveEvent(QDragLeaveEvent *event) {
  setDragHighlight(false);
  event->accept();
}

void DragThing::dropEvent(QDropEvent *event) {
  setDragHighlight(false);
  if (event->source() == this || !pasteFromMimeData(event->mimeData())) {
    event->ignore();
    return;
  }
  event->setDropAction(Qt::CopyAction);
  event->accept();
}

void DragThing::mousePressEvent(QMouseEvent *event) {
  if (event->button() != Qt::LeftButton)
    return QWidget::mousePressEvent(event);
  m_PDFData = pdfOfBounds();
  m_pressImage = grab().toImage();
  m_pressPosition = event->position().toPoint();
  m_pressed = true;
  setDragHighlight(true);
  event->accept();
}

void DragThing::mouseReleaseEvent(QMouseEvent *event) {
  m_pressed = false;
  if (gDragHighlight)
    setDragHighlight(false);
  event->accept();
}

void DragThing::mouseMoveEvent(QMouseEvent *event) {
  if (!m_pressed || !(event->buttons() & Qt::LeftButton))
    return QWidget::mouseMoveEvent(event);
  if ((event->position().toPoint() - m_pressPosition).manhattanLength() <
      QApplication::startDragDistance())
    return;
  m_pressed = false;
  auto *drag = new QDrag(this);
  drag->setMimeData(mimeDataForDrag());
  if (!m_pressImage.isNull())
    drag->setPixmap(QPixmap::fromImage(m_pressImage));
  // Copy is what the picture offers; a target that takes it away (a trash)
  // moves it.
  const Qt::DropAction action =
      drag->exec(Qt::CopyAction | Qt::MoveAction, Qt::CopyAction);
  if (gDragHighlight)
    setDragHighlight(false);
  draggingSessionEnded(action);
}

void DragThing::focusInEvent(QFocusEvent *event) {
  update();
  QWidget::focusInEvent(event);
}

void DragThing::focusOutEvent(QFocusEvent *event) {
  update();
  QWidget::focusOutEvent(event);
}

void DragThing::runAlert(const QString &message) {
  QMessageBox box(QMessageBox::Warning, QString(), message, QMessageBox::Ok,
                  this);
  box.exec();
}

// --- Popovers
// ---------------------------------------------------------------------------------------

OBPopoverController::OBPopoverController(QObject *parent) : QObject(parent) {}

OBPopoverController::~OBPopoverController() { releasePopover(); }

void OBPopoverController::createPopover() {
  if (m_popover)
    return;
  auto *popup =
      new QFrame(nullptr, Qt::Popup); // transient: a click outside closes it
  popup->setAttribute(Qt::WA_DeleteOnClose, false);
  popup->setFrameShape(QFrame::StyledPanel);
  if (m_content) {
    m_content->setParent(popup);
    m_content->move(popup->contentsRect().topLeft());
    m_content->show();
    popup->resize(m_content->sizeHint().expandedTo(m_content->size()) +
                  QSize(2 * popup->frameWidth(), 2 * popup->frameWidth()));
  }
  popup->installEventFilter(this);
  m_popover = popup;
}

void OBPopoverController::showPopoverAction(QWidget *sender) {
  createPopover();
  if (!m_popover)
    return;
  if (sender) {
    // On the sender's right edge, centred on it.
    const QPoint at = sender->mapToGlobal(QPoint(
        sender->width(), sender->height() / 2 - m_popover->height() / 2));
    m_popover->move(at);
  }
  m_popover->show();
}

void OBPopoverController::hidePopoverAction() {
  if (m_popover)
    m_popover->close();
}

bool OBPopoverController::eventFilter(QObject *watched, QEvent *event) {
  if (watched == m_popover && event->type() == QEvent::Hide) {
    // Closed, by the action or by a click outside: the next show makes a new
    // popup.
    QTimer::singleShot(0, this, [this] {
      if (m_popover && !m_popover->isVisible()) {
        releasePopover();
        emit popoverDidClose();
      }
    });
  }
  return QObject::eventFilter(watched, event);
}

void OBPopoverController::releasePopover() {
  if (!m_popover)
    return;
  QWidget *popup = m_popover;
  m_popover = nullptr;
  popup->removeEventFilter(this);
  if (m_content && m_content->parent() == popup) {
    m_content->hide();
    m_content->setParent(nullptr);
  }
  popup->deleteLater();
}

// --- MFClickThroughDisabler
// -----------------------------------------------------------------------------

MFClickThroughDisabler::MFClickThroughDisabler(QWidget *view, QObject *parent)
    : QObject(parent), m_view(view) {
  if (!m_view)
    return;
  m_window = m_view->window();
  m_windowIsActive = m_window->isActiveWindow();
  m_window->installEventFilter(this);
  m_view->setEnabled(m_windowIsActive);
}

std::unique_ptr<MFClickThroughDisabler>
MFClickThroughDisabler::clickThroughDisablerWithView(QWidget *view) {
  return std::make_unique<MFClickThroughDisabler>(view);
}

MFClickThroughDisabler::~MFClickThroughDisabler() {
  if (m_window)
    m_window->removeEventFilter(this);
}

bool MFClickThroughDisabler::eventFilter(QObject *watched, QEvent *event) {
  if (watched != m_window)
    return false;
  switch (event->type()) {
  case QEvent::WindowActivate:
    m_windowIsActive = true;
    // Not now: the click that activated the window must not reach the control.
    QTimer::singleShot(0, this, [this] {
      if (m_view && m_windowIsActive)
        m_view->setEnabled(true);
    });
    break;
  case QEvent::WindowDeactivate:
    m_windowIsActive = false;
    if (m_view)
      m_view->setEnabled(false);
    break;
  case QEvent::Close:
    m_view = nullptr;
    m_window->removeEventFilter(this);
    m_window = nullptr;
    break;
  default:
    break;
  }
  return false;
}

// --- Menu items
// -------------------------------------------------------------------------------------------

NoStateMenuItem::NoStateMenuItem(const QString &text, QObject *parent)
    : QAction(text, parent) {
  setCheckable(false);
}

TogglingMenuItem::TogglingMenuItem(const QString &text, QObject *parent)
    : QAction(text, parent) {
  setCheckable(true);
  connect(this, &QAction::triggered, this, [this] {
    toggle();
    // Triggering a checkable action flips its mark; the mark shows only what
    // setState said.
    const QSignalBlocker blocker(this);
    setChecked(m_state != Qt::Unchecked);
  });
}

void TogglingMenuItem::setState(Qt::CheckState state) {
  m_state = state;
  setChecked(state != Qt::Unchecked);
}

// --- VKSheetUncoverer
// -------------------------------------------------------------------------------------

VKSheetUncoverer::VKSheetUncoverer()
    : m_observation(platform::NotificationCenter::defaultCenter().addObserver(
          kWindowWillBeginSheetNotification, {},
          [this](const platform::Notification &) {
            respondToWindowWillBeginSheetNotification();
          })) {}

// --- Copying a field's text
// ----------------------------------------------------------------------------------

bool copyFieldText(const QWidget *field) {
  QString text;
  if (auto *line = qobject_cast<const QLineEdit *>(field))
    text = line->text();
  else if (auto *label = qobject_cast<const QLabel *>(field))
    text = label->text();
  else if (auto *spin = qobject_cast<const QAbstractSpinBox *>(field))
    text = spin->text();
  else
    return false;
  auto *data = new QMimeData;
  data->setText(text);
  QApplication::clipboard()->setMimeData(data);
  return true;
}

} // namespace orb::app
