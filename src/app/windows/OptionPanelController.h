#pragma once

#include <QObject>
#include <QPointer>
#include <QRect>
#include <vector>

#include "platform/Observation.h"

class QWidget;

namespace orb::app {

/// Runs the options panel of an analysis window: a tool window placed beside its
/// mother window, titled like it, that closes, hides and shows with the application-wide
/// "closeAllOptionPanelsNotification", "hideAllOptionPanelsNotification" and
/// "showAllOptionPanelsNotification".
class OptionPanelController : public QObject {
  Q_OBJECT
 public:
  /// Takes ownership of `panel` and makes it a tool window.
  OptionPanelController(QWidget* panel, QWidget* motherWindow, QObject* parent = nullptr);
  ~OptionPanelController() override;

  QWidget* panel() const { return m_panel.data(); }
  QWidget* motherWindow() const { return m_motherWindow.data(); }
  bool isPanelVisible() const;

  /// Places the panel beside the mother window, then shows it.
  void summonWindow();
  /// Titles the panel like the mother window, shows it and starts following the
  /// application-wide panel notifications.
  void showWindow();
  /// Closes the panel (it can be summoned again).
  void closeWindow();
  void adjustPosition();

  /// Where the panel goes: its top-left corner 5 right of the mother window's right edge
  /// and 6 below its top, then moved left and up by whatever runs off the right or the
  /// bottom of `visible` (screen coordinates, y down).
  static QPoint adjustedOrigin(const QRect& panelFrame, const QRect& motherFrame, const QRect& visible);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QPointer<QWidget> m_panel;
  QPointer<QWidget> m_motherWindow;
  std::vector<platform::Observation> m_observations;
};

}  // namespace orb::app
