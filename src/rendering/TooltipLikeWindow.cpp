#include "rendering/TooltipLikeWindow.h"

#include <QColor>
#include <QPalette>
#include <QRect>
#include <QWidget>

namespace orb::rendering {

std::unique_ptr<QWidget> tooltipLikeWindowWithContentRect(const QRect& contentRect) {
  auto window = std::make_unique<QWidget>(
      nullptr, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowTransparentForInput);
  window->setAttribute(Qt::WA_ShowWithoutActivating);
  window->setAttribute(Qt::WA_TransparentForMouseEvents);
  QPalette palette = window->palette();
  palette.setColor(QPalette::Window, QColor::fromRgbF(1.0f, 0.96f, 0.76f, 1.0f));
  window->setPalette(palette);
  window->setAutoFillBackground(true);
  window->setGeometry(contentRect);
  return window;
}

}  // namespace orb::rendering
