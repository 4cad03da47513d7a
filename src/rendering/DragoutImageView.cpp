#include "rendering/DragoutImageView.h"

#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QDrag>
#include <QDragEnterEvent>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QUrl>

#include "platform/UserDefaults.h"
#include "rendering/PlotBackEnd.h"
#include "rendering/QtPlotBackEnd.h"

namespace orb::rendering {
namespace {

bool defaultsFlag(const char* key, bool fallback) {
  platform::Value v = platform::UserDefaults::standard().objectForKey(key);
  return v.isNumber() ? v.asBool() : fallback;
}

}  // namespace

DragoutImageView::DragoutImageView(QWidget* parent) : MightyMouseView(parent) {
  // The light alternative is the bezel highlight, which is white, not the selection colour
  // (QPalette::Highlight): plots are read as dark marks on white.
  m_backgroundColor = defaultsFlag("newWindowsUseBlackBackground", false) ? QColor(Qt::black) : QColor(Qt::white);
  m_useAntialiasing = defaultsFlag("useAntialiasing", true);
  m_dragTimer.setSingleShot(true);
  m_dragTimer.setInterval(kDragDelayMs);
  QObject::connect(&m_dragTimer, &QTimer::timeout, this, [this] { dragStart(); });
  m_sizeStringTimer.setSingleShot(true);
  m_sizeStringTimer.setInterval(kSizeStringDelayMs);
  QObject::connect(&m_sizeStringTimer, &QTimer::timeout, this, [this] { setSizeStringVisible(false); });
  setAcceptDrops(true);
  setCursor(defaultCursor());
}

void DragoutImageView::setBackgroundColor(const QColor& color) {
  m_backgroundColor = color;
  update();
}

void DragoutImageView::setBackgroundImage(const QImage& image) {
  m_backgroundImage = image;
  update();
}

void DragoutImageView::setDrawsBackgroundImage(bool draws) {
  m_drawsBackgroundImage = draws;
  update();
}

void DragoutImageView::setUseAntialiasing(bool use) {
  m_useAntialiasing = use;
  update();
}

void DragoutImageView::setSizeStringVisible(bool visible) {
  if (visible == m_sizeStringVisible) return;
  m_sizeStringVisible = visible;
  update();
}

void DragoutImageView::resizeEvent(QResizeEvent* event) {
  MightyMouseView::resizeEvent(event);
  // A view that was never shown is being laid out, not resized by the user.
  if (!isVisible()) return;
  setSizeStringVisible(true);
  m_sizeStringTimer.start();
}

void DragoutImageView::drawSizeString(QPainter& painter) {
  painter.save();
  painter.resetTransform();
  painter.setPen(colorHavingGoodContrastAgainstBackground());
  painter.drawText(QRectF(rect()).adjusted(4, 4, -4, -4), Qt::AlignRight | Qt::AlignBottom, sizeString());
  painter.restore();
}

QString DragoutImageView::sizeString() const {
  return QString::asprintf("%g,%g", double(width()), double(height()));
}

QColor DragoutImageView::colorHavingGoodContrastAgainstBackground() const {
  // QColor keeps 16-bit components, so a grey of 0.5 comes back as 0.500008; the
  // rounding must not tip a sum of exactly 1.5 over the threshold.
  QColor c = m_backgroundColor.toRgb();
  double sum = c.redF() + c.greenF() + c.blueF();
  return sum > 1.5 + 1e-4 ? QColor(Qt::black) : QColor(Qt::white);
}

void DragoutImageView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  drawRect(painter);
  if (m_sizeStringVisible) drawSizeString(painter);
}

void DragoutImageView::drawRect(QPainter& painter) {
  drawRootView(painter);
  painter.setRenderHint(QPainter::Antialiasing, m_useAntialiasing);
  painter.setRenderHint(QPainter::TextAntialiasing, m_useAntialiasing);
  if (m_drawsBackgroundImage) drawBackgroundImage(painter);
  QColor contrast = colorHavingGoodContrastAgainstBackground();
  setDrawingContrastColor(fromQColor(contrast));
  painter.setPen(contrast);
}

void DragoutImageView::drawRootView(QPainter& painter) {
  painter.fillRect(rect(), m_backgroundColor);
  QColor ring = palette().color(QPalette::Highlight);
  if (drawsFocusRing() && (m_dragHighlight || (hasFocus() && window()->isActiveWindow()))) {
    painter.save();
    painter.setPen(QPen(ring, 3.0));
    painter.drawRect(QRectF(rect()).adjusted(1.5, 1.5, -1.5, -1.5));
    painter.restore();
  }
  if (drawsDragRing() && m_dragHighlight) {
    painter.save();
    painter.setPen(QPen(ring, 2.0));
    painter.drawRect(QRectF(rect()).adjusted(1, 1, -1, -1));
    painter.restore();
  }
}

void DragoutImageView::drawBackgroundImage(QPainter& painter) {
  if (m_backgroundImage.isNull()) return;
  // The image covers the view: scaled by the larger ratio, cropped on the other side.
  double scale = std::max(double(width()) / m_backgroundImage.width(), double(height()) / m_backgroundImage.height());
  painter.save();
  painter.drawImage(QRectF(0, 0, m_backgroundImage.width() * scale, m_backgroundImage.height() * scale),
                    m_backgroundImage);
  painter.restore();
}

QByteArray DragoutImageView::pdfOfBounds() {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  QPdfWriter writer(&buffer);
  writer.setResolution(72);  // one view unit per PDF point
  writer.setPageLayout(QPageLayout(QPageSize(QSizeF(width(), height()), QPageSize::Point), QPageLayout::Portrait,
                                   QMarginsF()));
  QPainter painter(&writer);
  drawRect(painter);
  painter.end();
  return bytes;
}

QImage DragoutImageView::imageOfBounds() {
  QImage image(size() * devicePixelRatioF(), QImage::Format_ARGB32_Premultiplied);
  image.setDevicePixelRatio(devicePixelRatioF());
  image.fill(Qt::transparent);
  QPainter painter(&image);
  drawRect(painter);
  return image;
}

void DragoutImageView::copyGraphics() {
  auto* data = new QMimeData;
  data->setData(kPDFMimeType, pdfOfBounds());
  data->setImageData(imageOfBounds());
  QApplication::clipboard()->setMimeData(data);
}

void DragoutImageView::paste() { pasteFromMimeData(QApplication::clipboard()->mimeData()); }

bool DragoutImageView::pasteFromMimeData(const QMimeData* data) {
  if (!data) return false;
  if (data->hasImage()) {
    QImage image = qvariant_cast<QImage>(data->imageData());
    if (image.isNull()) return false;
    setBackgroundImage(image);
    return true;
  }
  if (data->hasUrls() && !data->urls().isEmpty()) {
    QString path = data->urls().first().toLocalFile();
    QImage image(path);
    if (image.isNull()) {
      reportUnreadableImage(path);
      return false;
    }
    setBackgroundImage(image);
    return true;
  }
  if (data->hasColor()) {
    setBackgroundColor(qvariant_cast<QColor>(data->colorData()));
    return true;
  }
  return false;
}

void DragoutImageView::reportUnreadableImage(const QString& path) {
  QMessageBox::warning(this, QString(), QStringLiteral("Perhaps not an image at \"%1\"").arg(path));
}

void DragoutImageView::leftMouseDown(QMouseEvent* event) {
  m_mouseWillDragData = false;
  if (mouseMode() == 0) m_dragTimer.start();
  shadowMouseDown(event);
}

void DragoutImageView::dragStart() {
  m_mouseWillDragData = true;
  if (!m_dragCursorActive) {
    QApplication::setOverrideCursor(dragCursor());
    m_dragCursorActive = true;
  }
  m_pdfData = pdfOfBounds();
  m_dragHighlight = true;
  update();
}

void DragoutImageView::stopDragTiming() { m_dragTimer.stop(); }

void DragoutImageView::leftMouseDragged(QMouseEvent* event) {
  stopDragTiming();
  if (m_mouseWillDragData) {
    m_mouseWillDragData = false;
    doDrag();
    if (m_dragCursorActive) {
      QApplication::restoreOverrideCursor();
      m_dragCursorActive = false;
    }
    m_dragHighlight = false;
    update();
  } else {
    shadowMouseDragged(event);
  }
}

void DragoutImageView::doDrag() {
  auto* data = new QMimeData;
  data->setData(kPDFMimeType, m_pdfData);
  QImage image = imageOfBounds();
  data->setImageData(image);
  auto* drag = new QDrag(this);
  drag->setMimeData(data);
  drag->setPixmap(QPixmap::fromImage(image).scaled(size() / 2, Qt::KeepAspectRatio, Qt::SmoothTransformation));
  m_draggingOut = true;
  drag->exec(Qt::CopyAction);
  m_draggingOut = false;
}

void DragoutImageView::leftMouseUp(QMouseEvent* event) {
  stopDragTiming();
  m_mouseWillDragData = false;
  if (m_dragCursorActive) {
    QApplication::restoreOverrideCursor();
    m_dragCursorActive = false;
  }
  m_dragHighlight = false;
  update();
  shadowMouseUp(event);
  MightyMouseView::leftMouseUp(event);
}

void DragoutImageView::dragEnterEvent(QDragEnterEvent* event) {
  // The view's own drag-out is refused.
  if (m_draggingOut || event->source() == this) {
    event->ignore();
    return;
  }
  m_dragHighlight = true;
  update();
  event->acceptProposedAction();
}

void DragoutImageView::dragMoveEvent(QDragMoveEvent* event) {
  if (m_draggingOut || event->source() == this)
    event->ignore();
  else
    event->acceptProposedAction();
}

void DragoutImageView::dragLeaveEvent(QDragLeaveEvent*) {
  m_dragHighlight = false;
  update();
}

void DragoutImageView::dropEvent(QDropEvent* event) {
  m_dragHighlight = false;
  if (pasteFromMimeData(event->mimeData())) event->acceptProposedAction();
  update();
}

void DragoutImageView::focusInEvent(QFocusEvent* event) {
  update();
  MightyMouseView::focusInEvent(event);
}

void DragoutImageView::focusOutEvent(QFocusEvent* event) {
  update();
  MightyMouseView::focusOutEvent(event);
}

}  // namespace orb::rendering
