#pragma once

#include <QCursor>
#include <QWidget>

class QMouseEvent;

namespace orb::rendering {

/// Root of the 2-D view stack: a current mouse mode (its meaning belongs to subclasses),
/// modifier keys that switch it temporarily, and routing of the primary button as a
/// right-, other- or left-button press according to the mode, so that a one-button
/// mouse reaches every gesture. Draws nothing.
class MightyMouseView : public QWidget {
 public:
  explicit MightyMouseView(QWidget* parent = nullptr);

  int mouseMode() const { return m_mouseMode; }
  void setMouseMode(int mode);
  void setTemporaryMouseMode(int mode);
  void restorePermanentMouseMode();
  bool mouseModeIsTemporary() const { return m_mouseModeIsTemporary; }
  bool mouseIsDown() const { return m_mouseIsDown; }
  /// The action of the mode buttons, which set `mouseMode` first: pressing the button of
  /// the active mode again stresses it.
  void mouseModeAction();
  virtual void mouseModeStress() {}

  virtual int rightMouseMode() const { return -1; }
  virtual int otherMouseMode() const { return -1; }
  /// The temporary mode for held modifier keys (Shift already removed).
  virtual int mouseModeForModifiers(Qt::KeyboardModifiers modifiers) const;
  virtual QCursor defaultCursor() const { return Qt::ArrowCursor; }
  virtual QCursor cursorForMouseMode(int mode) const;
  /// YES: modifier changes never switch modes.
  virtual bool disablePseudoSuper() const { return false; }
  virtual bool disableContextualMenus() const { return true; }

  /// Whether the view takes mouse presses (the platform's enabled state is separate).
  void setMouseEnabled(bool enabled) { m_enabled = enabled; }
  bool mouseEnabled() const { return m_enabled; }

  /// Held modifiers changed: switch to or from a temporary mode (not while the button is down).
  virtual void flagsChanged(Qt::KeyboardModifiers modifiers);
  void synchronizeCursorWithMouseMode();

  // Dispatched gestures; the primary button arrives here through the mode.
  virtual void leftMouseDown(QMouseEvent*) {}
  virtual void leftMouseDragged(QMouseEvent*) {}
  virtual void leftMouseUp(QMouseEvent* event);
  virtual void rightMouseDown(QMouseEvent*) {}
  virtual void rightMouseDragged(QMouseEvent*) {}
  virtual void rightMouseUp(QMouseEvent* event);
  virtual void otherMouseDown(QMouseEvent*) {}
  virtual void otherMouseDragged(QMouseEvent*) {}
  virtual void otherMouseUp(QMouseEvent* event);
  /// The pointer moved with no button down.
  virtual void mouseMoved(QMouseEvent*) {}

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void clearMouseDown() { m_mouseIsDown = false; }

 private:
  enum class Route { Left, Right, Other };
  Route routeForMode() const;

  int m_mouseMode = 0;
  bool m_mouseModeIsTemporary = false;
  int m_permanentMouseMode = 0;
  int m_mouseModeButton = 0;
  bool m_mouseIsDown = false;
  Route m_pressRoute = Route::Left;
  Qt::MouseButton m_pressButton = Qt::NoButton;
  bool m_enabled = true;
};

}  // namespace orb::rendering
