#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QRect>
#include <optional>
#include <string>

#include "platform/Value.h"

namespace orb::app {

class SmartWindowController;

/// The window of every document and analysis window. It reports closing, activation
/// and minimising to its controller, and can be told to ignore one move (restoration
/// places windows itself and must not be undone by the window system's placement).
class OBWindow : public QMainWindow {
  Q_OBJECT
 public:
  explicit OBWindow(SmartWindowController* controller);
  ~OBWindow() override;

  SmartWindowController* controller() const { return m_controller.data(); }
  /// "OB:" and a number, unique in the process; restoration records refer to it.
  const std::string& identifier() const { return m_identifier; }
  void setIdentifier(std::string identifier) { m_identifier = std::move(identifier); }

  void ignoreOneSetFrameOrigin() { m_ignoreOneSetFrameOrigin = true; }
  /// Moves the window's frame to `origin`, unless told to ignore this one move (which
  /// clears the flag). New windows are placed through it, so a restored window keeps its
  /// frame.
  void setFrameOrigin(const QPoint& origin);

  /// The frame Zoom gives the window: the available area of its screen as the controller
  /// cuts it (windowWillUseStandardFrame).
  QRect standardFrame() const;
  /// Window ▸ Zoom: to the standard frame, or back to the user's frame when zoomed. The
  /// title bar's maximise button zooms the same way when the controller cuts the frame.
  void zoom();
  bool isZoomed() const { return m_zoomed; }

  /// A frame kept in a document ("x y width height") as a frame on the screen: four whole
  /// numbers and nothing else, width and height above 0; the size is cut to `available`
  /// and the frame moved inside it. Nothing for any other text: the window keeps its
  /// default frame. Files come from anywhere, so no value is taken unchecked.
  static std::optional<QRect> restoredFrame(const std::string& text, const QRect& available);
  /// The same, bounded by the available area of the screen under the frame's top-left
  /// corner (the primary screen when none is).
  static std::optional<QRect> restoredFrame(const std::string& text);

  /// The frame ("NSWindowFrame", "x y width height"), the controller's class name
  /// ("controllerClassName") and its interface-file name ("nibName").
  void encodeRestorableState(platform::Dictionary& state) const;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  QPointer<SmartWindowController> m_controller;
  std::string m_identifier;
  bool m_ignoreOneSetFrameOrigin = false;
  bool m_zoomed = false;
  QRect m_userFrame;    // the frame before zooming
  QRect m_zoomedFrame;  // the frame zooming gave
};

/// A window's title as the window system shows it: the modified mark's placeholder
/// ("[*]") replaced by "*" while the window is modified, dropped otherwise.
QString shownWindowTitle(const QWidget& window);

}  // namespace orb::app
