#pragma once

#include <functional>
#include <string>

#include "rendering/BindingView.h"

namespace orb::rendering {

/// Publishes the mouse position for a read-out. The position is marked valid or invalid
/// after a short delay so that a read-out does not flicker.
class ActiveMouseView : public BindingView {
 public:
  explicit ActiveMouseView(QWidget* parent = nullptr) : BindingView(parent) {}

  double xMouse() const { return m_xMouse; }
  double yMouse() const { return m_yMouse; }
  void setXMouse(double x);
  void setYMouse(double y);
  bool mouseValid() const { return m_mouseValid; }
  void setMouseValid(bool valid);
  void setMouseValidAfterDelay(bool valid, double seconds);
  /// "%g,%g" of the position; subclasses say more.
  virtual std::string commentForPresentMousePosition() const;
  /// Called whenever the position or its validity changes (for a read-out label).
  void setReadoutChangedHandler(std::function<void()> handler) { m_readoutChanged = std::move(handler); }

  void mouseMoved(QMouseEvent* event) override;

 protected:
  void leaveEvent(QEvent* event) override;
  void readoutChanged() {
    if (m_readoutChanged) m_readoutChanged();
  }

 private:
  double m_xMouse = 0, m_yMouse = 0;
  bool m_mouseValid = false;
  std::function<void()> m_readoutChanged;
};

}  // namespace orb::rendering
