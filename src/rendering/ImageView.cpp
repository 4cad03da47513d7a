#include "rendering/ImageView.h"

#include "platform/Log.h"

#include <QAction>
#include <QBuffer>
#include <QClipboard>
#include <QFileDialog>
#include <QGridLayout>
#include <QGuiApplication>
#include <QImageWriter>
#include <QLabel>
#include <QMimeData>
#include <QPainter>
#include <QSaveFile>
#include <QTextDocumentFragment>
#include <qdrawutil.h>

#include <algorithm>
#include <cmath>

namespace orb::rendering {

ImageView::ImageView(QWidget* parent) : QWidget(parent) {
  setFocusPolicy(Qt::ClickFocus);  // Ctrl+C reaches the view once it is clicked
  m_copyAction = new QAction(QStringLiteral("Copy"), this);
  m_copyAction->setShortcut(QKeySequence::Copy);
  m_copyAction->setShortcutContext(Qt::WidgetWithChildrenShortcut);
  connect(m_copyAction, &QAction::triggered, this, [this] { copyGraphics(); });
  m_copyToolTipAction = new QAction(QStringLiteral("Copy Tool Tip"), this);
  connect(m_copyToolTipAction, &QAction::triggered, this, [this] { copyToolTip(); });
  m_saveAction = new QAction(QStringLiteral("Save as PNG\u2026"), this);
  connect(m_saveAction, &QAction::triggered, this, [this] { save(); });
  addActions({m_copyAction, m_copyToolTipAction, m_saveAction});
  setContextMenuPolicy(Qt::ActionsContextMenu);
}

void ImageView::setImage(const QImage& image) {
  m_image = image;
  update();
}

void ImageView::setFrameStyle(FrameStyle style) {
  m_frameStyle = style;
  update();
}

void ImageView::setImageScaling(ImageScaling scaling) {
  m_imageScaling = scaling;
  update();
}

void ImageView::setImageAlignment(ImageAlignment alignment) {
  m_imageAlignment = alignment;
  update();
}

// --- geometry --------------------------------------------------------------------------------

QSizeF ImageView::sizeByScalingProportionallyToSize(QSizeF target, QSizeF source) {
  const double tw = target.width(), th = target.height();
  const double sw = source.width(), sh = source.height();
  if (!(sw > 0) || !(sh > 0)) return QSizeF(0, 0);  // no aspect to keep
  // Fit the height first for a wide source, the width first for a tall one; when that
  // overflows the other side, the other side limits.
  if (sw > sh) {
    const double w = th * sw / sh;
    return w >= tw ? QSizeF(tw, tw * sh / sw) : QSizeF(w, th);
  }
  const double h = tw * sh / sw;
  return h >= th ? QSizeF(th * sw / sh, th) : QSizeF(tw, h);
}

QRectF ImageView::frameInterior() const {
  const QRectF bounds(rect());
  switch (m_frameStyle) {
    case FrameStyle::Groove:
    case FrameStyle::Button: return bounds.adjusted(2, 2, -2, -2);
    case FrameStyle::GrayBezel: return bounds.adjusted(8, 8, -8, -8);
    case FrameStyle::Photo:
      // One pixel of border left and top, two right and bottom where the shadow falls. Qt's
      // y grows downwards, so the extra pixel is at the larger y.
      return QRectF(bounds.x() + 1, bounds.y() + 1, bounds.width() - 3, bounds.height() - 3);
    case FrameStyle::None: break;
  }
  return bounds;
}

QRect ImageView::imageFrame() const {
  const QRectF r = frameInterior();
  const QSizeF imageSize = m_image.isNull() ? QSizeF(0, 0) : m_image.deviceIndependentSize();
  QSizeF size;
  switch (m_imageScaling) {
    case ImageScaling::ProportionallyUpOrDown: size = sizeByScalingProportionallyToSize(r.size(), imageSize); break;
    case ImageScaling::AxesIndependently: size = r.size(); break;
    case ImageScaling::None: size = imageSize; break;
    case ImageScaling::ProportionallyDown:
    default:
      size = sizeByScalingProportionallyToSize(
          QSizeF(std::min(r.width(), imageSize.width()), std::min(r.height(), imageSize.height())), imageSize);
      break;
  }

  // Centred unless the alignment names a side. Qt's y grows downwards: "top" is the
  // rectangle's smallest y, "bottom" its largest less the image's height.
  double x = r.x() + r.width() / 2 - size.width() / 2;
  double y = r.y() + r.height() / 2 - size.height() / 2;
  switch (m_imageAlignment) {
    case ImageAlignment::Top:
    case ImageAlignment::TopLeft:
    case ImageAlignment::TopRight: y = r.y(); break;
    case ImageAlignment::Bottom:
    case ImageAlignment::BottomLeft:
    case ImageAlignment::BottomRight: y = r.y() + r.height() - size.height(); break;
    default: break;
  }
  switch (m_imageAlignment) {
    case ImageAlignment::TopLeft:
    case ImageAlignment::Left:
    case ImageAlignment::BottomLeft: x = r.x(); break;
    case ImageAlignment::TopRight:
    case ImageAlignment::BottomRight:
    case ImageAlignment::Right: x = r.x() + r.width() - size.width(); break;
    default: break;
  }
  // Whole pixels: the origin to the nearest (halves away from zero), the size never smaller.
  return QRect(static_cast<int>(std::round(x)), static_cast<int>(std::round(y)),
               static_cast<int>(std::ceil(size.width())), static_cast<int>(std::ceil(size.height())));
}

// --- drawing ---------------------------------------------------------------------------------

void ImageView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QRect bounds = rect();
  switch (m_frameStyle) {
    case FrameStyle::Photo: {
      const QRect border = bounds.adjusted(0, 0, -2, -2);
      painter.setPen(palette().color(QPalette::Mid));
      painter.drawRect(border);
      painter.setPen(palette().color(QPalette::Shadow));
      painter.drawLine(border.right() + 1, border.top() + 2, border.right() + 1, border.bottom() + 1);
      painter.drawLine(border.left() + 2, border.bottom() + 1, border.right() + 1, border.bottom() + 1);
      break;
    }
    case FrameStyle::GrayBezel: {
      const QBrush gray(palette().color(QPalette::Button));
      qDrawShadePanel(&painter, bounds, palette(), true, 2, &gray);
      break;
    }
    case FrameStyle::Groove: qDrawShadeRect(&painter, bounds, palette(), true, 1, 0); break;
    case FrameStyle::Button: qDrawWinButton(&painter, bounds, palette(), false); break;
    case FrameStyle::None: break;
  }
  if (m_image.isNull()) return;
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.drawImage(QRectF(imageFrame()), m_image);
}

// --- copy and save ---------------------------------------------------------------------------

void ImageView::copyGraphics() {
  if (m_image.isNull()) return;
  const bool tiff = QImageWriter::supportedImageFormats().contains("tiff");
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  auto* data = new QMimeData;
  data->setImageData(m_image);
  if (m_image.save(&buffer, tiff ? "TIFF" : "PNG"))
    data->setData(tiff ? QStringLiteral("image/tiff") : QStringLiteral("image/png"), bytes);
  QGuiApplication::clipboard()->setMimeData(data);
}

void ImageView::copyToolTip() {
  const QString tip = toolTip();
  QGuiApplication::clipboard()->setText(Qt::mightBeRichText(tip) ? QTextDocumentFragment::fromHtml(tip).toPlainText()
                                                                 : tip);
}

void ImageView::setSavePathChooser(SavePathChooser chooser) { m_chooseSavePath = std::move(chooser); }

QString ImageView::runSaveDialog(ImageView& view) {
  QFileDialog dialog(view.window(), QStringLiteral("Save"));
  // Our own dialog, so the accessory label can go into its layout.
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setWindowModality(Qt::WindowModal);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setNameFilter(QStringLiteral("PNG image (*.png)"));
  dialog.setDefaultSuffix(QStringLiteral("png"));
  if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout()))
    grid->addWidget(new QLabel(QString::fromUtf8(kSaveAccessoryText), &dialog), grid->rowCount(), 0, 1, grid->columnCount());
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().front();
}

bool ImageView::save() {
  if (m_image.isNull()) return false;
  const QString path = m_chooseSavePath ? m_chooseSavePath(*this) : runSaveDialog(*this);
  if (path.isEmpty()) return false;
  QSaveFile file(path);  // written aside and renamed on commit: a failure leaves the old file
  if (!file.open(QIODevice::WriteOnly) || !m_image.save(&file, "PNG") || !file.commit()) {
    platform::log("could not save the image to %s: %s", qPrintable(path), qPrintable(file.errorString()));
    return false;
  }
  return true;
}

}  // namespace orb::rendering
