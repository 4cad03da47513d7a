#pragma once

#include <QCursor>
#include <QOpenGLWidget>
#include <functional>

class QMouseEvent;

namespace orb::rendering {

/// Root of the GL view stack: a present mouse mode (its meaning belongs to subclasses),
/// modifier keys that switch it while held, and the routing of a press to the left-, right-
/// or other-button gesture according to the mode, so that a one-button mouse reaches every
/// gesture. Draws nothing.
///
/// Modifiers as held on this platform: Alt is the option key, Control the control key;
/// Meta (the "super" key) stands for the command key and, like Shift, never switches modes.
class MouseOpenGLView : public QOpenGLWidget {
 public:
  explicit MouseOpenGLView(QWidget* parent = nullptr);

  int mouseMode() const { return m_mouseMode; }
  void setMouseMode(int mode);
  /// Told each new mode (temporary ones included), for a mode control that shows it.
  void setMouseModeChangedHandler(std::function<void(int)> handler) { m_mouseModeChanged = std::move(handler); }
  /// Remembers the present mode (unless a temporary one is already in force) and switches.
  void setTemporaryMouseMode(int mode);
  void restorePermanentMouseMode();
  bool mouseModeIsTemporary() const { return m_mouseModeIsTemporary; }
  int permanentMouseMode() const { return m_permanentMouseMode; }
  /// The action of the mode control, which sets `mouseMode` itself first: choosing the
  /// present mode a second time stresses it.
  virtual void mouseModeAction();
  virtual void mouseModeStress() {}

  virtual int rightMouseMode() const { return -1; }
  virtual int otherMouseMode() const { return -1; }
  virtual QCursor defaultCursor() const { return Qt::ArrowCursor; }
  virtual QCursor cursorForMouseMode(int) const { return defaultCursor(); }
  /// The mode for held modifiers (already masked, never empty).
  virtual int mouseModeForModifiers(Qt::KeyboardModifiers) const { return 0; }
  /// When true, Control switches modes and the right button is a gesture of its own;
  /// when false, both belong to the contextual menu.
  virtual bool disableContextualMenus() const { return true; }

  /// Whether the view takes presses.
  void setMouseEnabled(bool enabled) { m_enabled = enabled; }
  bool mouseEnabled() const { return m_enabled; }
  bool mouseIsDown() const { return m_mouseIsDown; }

  /// Held modifiers changed: enter or leave a temporary mode. Ignored while a press is on,
  /// so a key released during a drag takes effect when the drag ends.
  virtual void flagsChanged(Qt::KeyboardModifiers modifiers);
  /// The modifiers that may switch modes (Shift, keypad and command removed, and Control
  /// too when it belongs to the contextual menu).
  Qt::KeyboardModifiers modeModifiers(Qt::KeyboardModifiers modifiers) const;
  void synchronizeCursorWithMouseMode();

  // The platform's press, drag and release, dispatched by button and mode. Public so that
  // a host or a test can drive the gestures without a window system.
  void mouseDown(QMouseEvent* event);
  void mouseDragged(QMouseEvent* event);
  void mouseUp(QMouseEvent* event);

  // Gestures by route. The release handlers of this class end the press and re-read the
  // modifiers; subclasses call them last.
  virtual void leftMouseDown(QMouseEvent*) {}
  virtual void leftMouseDragged(QMouseEvent*) {}
  virtual void leftMouseUp(QMouseEvent* event);
  virtual void rightMouseDown(QMouseEvent*) {}
  virtual void rightMouseDragged(QMouseEvent*) {}
  virtual void rightMouseUp(QMouseEvent* event);
  virtual void otherMouseDown(QMouseEvent*) {}
  virtual void otherMouseDragged(QMouseEvent*) {}
  virtual void otherMouseUp(QMouseEvent* event);

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void endMouseDown(QMouseEvent* event);

 private:
  enum class Route { Left, Right, Other };

  int m_mouseMode = 0;
  int m_permanentMouseMode = 0;
  bool m_mouseModeIsTemporary = false;
  int m_mouseModeButton = -1;
  bool m_mouseIsDown = false;
  bool m_enabled = true;
  Route m_pressRoute = Route::Left;
  Qt::MouseButton m_pressButton = Qt::NoButton;
  std::function<void(int)> m_mouseModeChanged;
};

}  // namespace orb::rendering
