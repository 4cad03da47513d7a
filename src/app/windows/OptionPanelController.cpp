#include "app/windows/OptionPanelController.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <algorithm>

#include "app/windows/OBWindow.h"
#include "app/windows/SmartWindowController.h"
#include "platform/NotificationCenter.h"

namespace orb::app {

OptionPanelController::OptionPanelController(QWidget* panel, QWidget* motherWindow, QObject* parent)
    : QObject(parent), m_panel(panel), m_motherWindow(motherWindow) {
  if (!m_panel) return;
  // Unparented, so it can stand behind its analysis window rather than always above it.
  m_panel->setParent(nullptr, Qt::Tool);
  m_panel->installEventFilter(this);
}

OptionPanelController::~OptionPanelController() {
  m_observations.clear();
  delete m_panel.data();
}

bool OptionPanelController::isPanelVisible() const { return m_panel && m_panel->isVisible(); }

QPoint OptionPanelController::adjustedOrigin(const QRect& panelFrame, const QRect& motherFrame, const QRect& visible) {
  QRect frame(QPoint(motherFrame.right() + 1 + 5, motherFrame.top() + 6), panelFrame.size());
  const int rightOverhang = (frame.right() + 1) - (visible.right() + 1);
  const int bottomOverhang = (frame.bottom() + 1) - (visible.bottom() + 1);
  if (rightOverhang > 0) frame.translate(-rightOverhang, 0);
  if (bottomOverhang > 0) frame.translate(0, -bottomOverhang);
  return frame.topLeft();
}

void OptionPanelController::adjustPosition() {
  if (!m_panel || !m_motherWindow) return;
  QScreen* screen = m_motherWindow->screen() ? m_motherWindow->screen() : QGuiApplication::primaryScreen();
  const QRect visible = screen ? screen->availableGeometry() : QRect(0, 0, 1 << 20, 1 << 20);
  m_panel->move(adjustedOrigin(m_panel->frameGeometry(), m_motherWindow->frameGeometry(), visible));
}

void OptionPanelController::summonWindow() {
  adjustPosition();
  showWindow();
}

void OptionPanelController::showWindow() {
  if (!m_panel) return;
  if (m_motherWindow) m_panel->setWindowTitle(shownWindowTitle(*m_motherWindow));
  m_panel->show();
  m_panel->raise();
  if (!m_observations.empty()) return;
  auto& center = platform::NotificationCenter::defaultCenter();
  QPointer<QWidget> panel = m_panel;
  m_observations.push_back(center.addObserver("closeAllOptionPanelsNotification", {}, [panel](const auto&) {
    if (panel) panel->close();
  }));
  m_observations.push_back(center.addObserver("hideAllOptionPanelsNotification", {}, [panel](const auto&) {
    if (panel) panel->hide();
  }));
  m_observations.push_back(center.addObserver("showAllOptionPanelsNotification", {}, [panel](const auto&) {
    if (panel) panel->show();
  }));
}

void OptionPanelController::closeWindow() {
  if (m_panel) m_panel->close();
}

bool OptionPanelController::eventFilter(QObject* watched, QEvent* event) {
  // A closed panel stops following the application-wide notifications.
  if (watched == m_panel && event->type() == QEvent::Close) m_observations.clear();
  return QObject::eventFilter(watched, event);
}

}  // namespace orb::app
