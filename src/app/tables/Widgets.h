#pragma once

#include <QAction>
#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QWidget>
#include <memory>

#include "platform/Observation.h"

class QMimeData;

namespace orb::app {

// --- DragThing
// --------------------------------------------------------------------------------------

/// An image well: takes an image (PDF or raster data, an image file) or a
/// colour by drop or paste, and gives its own picture away by drag or copy.
///
/// Raster images travel as PNG ("image/png") beside the TIFF type, since PNG is
/// what every Qt build reads and writes. A PDF that cannot be turned into an
/// image here is passed over for the next type offered, so a paste never claims
/// success without an image.
class DragThing : public QWidget {
  Q_OBJECT
public:
  static constexpr const char *kPDFType = "application/pdf";
  static constexpr const char *kTIFFType = "image/tiff";
  static constexpr const char *kPNGType = "image/png";
  static constexpr const char *kColorType = "application/x-color";
  static constexpr const char *kFilenamesType = "text/uri-list";
  static constexpr const char *kGlassDictionaryType =
      "Glass dictionary pasteboard type";

  explicit DragThing(QWidget *parent = nullptr);

  QColor backgroundColor() const { return m_backgroundColor; }
  void setBackgroundColor(const QColor &color);
  const QImage &backgroundImage() const { return m_backgroundImage; }
  void setBackgroundImage(const QImage &image);
  void clearBackgroundImage();
  const QByteArray &PDFData() const { return m_PDFData; }
  void setPDFData(QByteArray data) { m_PDFData = std::move(data); }

  /// Shared by every DragThing: set while a drag is over one or a press is held
  /// on one.
  static bool dragHighlight();

  /// Subclasses that draw rings answer true; DragThing draws none.
  virtual bool drawsFocusRing() const { return false; }
  virtual bool drawsDragRing() const { return false; }

  /// The types a drop may carry to be considered at all.
  static QStringList registeredDragTypes();

  /// Takes the first of PDF, raster image, file names and colour that the data
  /// offers; false when none could be taken.
  bool pasteFromMimeData(const QMimeData *data);
  /// The same from the clipboard.
  bool paste();
  /// The view's picture on the clipboard as PDF and as raster image.
  void copy();

  /// The view's bounds drawn into a one-page PDF.
  QByteArray pdfOfBounds();
  /// What a drag of this view carries: its PDF (taken at the press) and the
  /// raster form.
  QMimeData *mimeDataForDrag() const;
  /// Where a drag started here ended: a target that moved the picture away (the
  /// trash of a file manager) clears the background image.
  void draggingSessionEnded(Qt::DropAction action);

protected:
  void paintEvent(QPaintEvent *event) override;
  void dragEnterEvent(QDragEnterEvent *event) override;
  void dragLeaveEvent(QDragLeaveEvent *event) override;
  void dropEvent(QDropEvent *event) override;
  void mousePressEvent(QMouseEvent *event) override;
  void mouseMoveEvent(QMouseEvent *event) override;
  void mouseReleaseEvent(QMouseEvent *event) override;
  void focusInEvent(QFocusEvent *event) override;
  void focusOutEvent(QFocusEvent *event) override;

  /// Shows a modal alert; tests replace it.
  virtual void runAlert(const QString &message);

private:
  void drawRings(QPainter &painter);
  void drawBackgroundImage(QPainter &painter);
  void setDragHighlight(bool on);

  QColor m_backgroundColor;
  QImage m_backgroundImage;
  QByteArray m_PDFData;
  QImage m_pressImage; // the raster form of PDFData, taken with it
  QPoint m_pressPosition;
  bool m_pressed = false;
};

// --- Popovers
// ---------------------------------------------------------------------------------------

/// Shows a content widget in a transient popup beside the control that asked
/// for it. The popup is made on demand and dropped when it closes; the content
/// widget is kept and reused.
class OBPopoverController : public QObject {
  Q_OBJECT
public:
  explicit OBPopoverController(QObject *parent = nullptr);
  ~OBPopoverController() override;

  QWidget *popoverViewController() const { return m_content; }
  void setPopoverViewController(QWidget *content) { m_content = content; }
  /// The popup while it exists, else null.
  QWidget *popover() const { return m_popover; }

  void createPopover();
  /// Shows the popup to the right of the sender, centred on it.
  void showPopoverAction(QWidget *sender);
  void hidePopoverAction();

signals:
  void popoverDidClose();

protected:
  bool eventFilter(QObject *watched, QEvent *event) override;

private:
  void releasePopover();

  QPointer<QWidget> m_content;
  QPointer<QWidget> m_popover;
};

class CSPopoverController : public OBPopoverController {
  Q_OBJECT
public:
  using OBPopoverController::OBPopoverController;
};

// --- MFClickThroughDisabler
// -----------------------------------------------------------------------------

/// Keeps a control disabled while its window is not the active one, and enables
/// it only on the event-loop pass after the window becomes active, so the click
/// that activates the window does not reach the control. Does not own the view.
class MFClickThroughDisabler : public QObject {
  Q_OBJECT
public:
  /// Starts watching the view's window at once when a view is given.
  explicit MFClickThroughDisabler(QWidget *view = nullptr,
                                  QObject *parent = nullptr);
  static std::unique_ptr<MFClickThroughDisabler>
  clickThroughDisablerWithView(QWidget *view);
  ~MFClickThroughDisabler() override;

  QWidget *view() const { return m_view; }

protected:
  bool eventFilter(QObject *watched, QEvent *event) override;

private:
  QPointer<QWidget> m_view;
  QPointer<QWidget> m_window;
  bool m_windowIsActive = false;
};

// --- Menu items
// -------------------------------------------------------------------------------------------

/// A menu item that never shows a state mark.
class NoStateMenuItem : public QAction {
  Q_OBJECT
public:
  explicit NoStateMenuItem(const QString &text = {}, QObject *parent = nullptr);
  void setState(Qt::CheckState) {}
};

/// A menu item whose mark shows the state it is given; choosing it does not
/// change the state (its `toggle` does nothing), so the mark always tells the
/// model's state.
class TogglingMenuItem : public QAction {
  Q_OBJECT
public:
  explicit TogglingMenuItem(const QString &text = {},
                            QObject *parent = nullptr);
  void setState(Qt::CheckState state);
  Qt::CheckState state() const { return m_state; }
public slots:
  void toggle() {}

private:
  Qt::CheckState m_state = Qt::Unchecked;
};

// --- VKSheetUncoverer
// -------------------------------------------------------------------------------------

/// Listens for sheets about to begin on any window, and does nothing with them.
class VKSheetUncoverer {
public:
  static constexpr const char *kWindowWillBeginSheetNotification =
      "NSWindowWillBeginSheetNotification";
  VKSheetUncoverer();
  void respondToWindowWillBeginSheetNotification() {}

private:
  platform::Observation m_observation;
};

// --- Copying a field's text
// ----------------------------------------------------------------------------------

/// Puts the whole text of a line edit, label or spin box on the clipboard as
/// plain text; false for other widgets.
bool copyFieldText(const QWidget *field);

} // namespace orb::app
