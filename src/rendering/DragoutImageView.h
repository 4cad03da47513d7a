#pragma once

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QTimer>

#include "rendering/MightyMouseView.h"

class QMimeData;
class QPainter;

namespace orb::rendering {

/// A 2-D view the user can take away or decorate: background colour or image, focus and
/// drop rings, press-and-hold to drag the contents out as PDF, copy as PDF and image,
/// paste or drop colours, images and image files. While it draws it publishes the colour
/// that contrasts with its background (`drawingContrastColor`).
class DragoutImageView : public MightyMouseView {
 public:
  /// MIME type of the PDF copies; images go out as the platform's image data.
  static constexpr const char* kPDFMimeType = "application/pdf";

  explicit DragoutImageView(QWidget* parent = nullptr);

  QColor backgroundColor() const { return m_backgroundColor; }
  void setBackgroundColor(const QColor& color);
  const QImage& backgroundImage() const { return m_backgroundImage; }
  void setBackgroundImage(const QImage& image);
  void clearBackgroundImage() { setBackgroundImage(QImage()); }
  bool drawsBackgroundImage() const { return m_drawsBackgroundImage; }
  void setDrawsBackgroundImage(bool draws);
  bool useAntialiasing() const { return m_useAntialiasing; }
  void setUseAntialiasing(bool use);
  const QByteArray& pdfData() const { return m_pdfData; }
  bool sizeStringVisible() const { return m_sizeStringVisible; }
  void setSizeStringVisible(bool visible);
  /// Seconds the size string stays after the last resize.
  static constexpr int kSizeStringDelayMs = 1000;
  bool sizeStringTimerActive() const { return m_sizeStringTimer.isActive(); }
  /// "%g,%g" of the width and height.
  QString sizeString() const;
  bool dragHighlight() const { return m_dragHighlight; }
  bool mouseWillDragData() const { return m_mouseWillDragData; }

  /// Black when red + green + blue of the background exceed 1.5, else white.
  QColor colorHavingGoodContrastAgainstBackground() const;

  virtual bool drawsFocusRing() const { return true; }
  virtual bool drawsDragRing() const { return true; }
  QCursor defaultCursor() const override { return Qt::CrossCursor; }
  virtual QCursor dragCursor() const { return Qt::ArrowCursor; }

  /// The contents as one-page PDF, the size of the view.
  QByteArray pdfOfBounds();
  /// The contents as an image, the size of the view.
  QImage imageOfBounds();
  /// Puts the contents on the clipboard as PDF and as an image.
  void copyGraphics();
  virtual void copy() { copyGraphics(); }
  void paste();
  /// The first thing offered among PDF-as-image, image, image file and colour becomes
  /// the background; false when none is offered or the file is no image.
  bool pasteFromMimeData(const QMimeData* data);

  /// The press-and-hold delay before a drag-out is armed (seconds).
  static constexpr int kDragDelayMs = 1000;
  bool dragTimerActive() const { return m_dragTimer.isActive(); }
  /// Arms the drag-out (what the press-and-hold timer does).
  void dragStart();

  void paintEvent(QPaintEvent* event) override;
  /// Background, rings, antialiasing, background image, contrast colour; subclasses draw
  /// on after calling it.
  virtual void drawRect(QPainter& painter);

  void leftMouseDown(QMouseEvent* event) override;
  void leftMouseDragged(QMouseEvent* event) override;
  void leftMouseUp(QMouseEvent* event) override;

 protected:
  virtual void drawRootView(QPainter& painter);
  virtual void drawBackgroundImage(QPainter& painter);
  virtual void shadowMouseDown(QMouseEvent*) {}
  virtual void shadowMouseDragged(QMouseEvent*) {}
  virtual void shadowMouseUp(QMouseEvent*) {}
  /// Says that a dropped or pasted file is no image; a modal alert by default.
  virtual void reportUnreadableImage(const QString& path);
  /// Runs the drag of the PDF contents (blocking in its own event loop).
  virtual void doDrag();

  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dragLeaveEvent(QDragLeaveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  /// Qt has no live-resize start and end: every resize shows the size string and restarts
  /// the timer that hides it.
  void resizeEvent(QResizeEvent* event) override;
  /// The size string in the bottom-right corner, over everything else.
  virtual void drawSizeString(QPainter& painter);

  /// Drops a pending press-and-hold: the press acts on the view instead.
  void stopDragTiming();

 private:
  QTimer m_dragTimer;
  QTimer m_sizeStringTimer;
  QColor m_backgroundColor;
  bool m_drawsBackgroundImage = true;
  QImage m_backgroundImage;
  bool m_sizeStringVisible = false;
  QByteArray m_pdfData;
  bool m_useAntialiasing = true;
  bool m_dragHighlight = false;
  bool m_dragCursorActive = false;
  bool m_mouseWillDragData = false;
  bool m_draggingOut = false;
};

}  // namespace orb::rendering
