#include "rendering/TooltipLikeWindow.h"

#include <gtest/gtest.h>

#include <QPalette>
#include <QRect>
#include <QWidget>

#include "rendering/WidgetGeometry.h"

namespace orb::rendering {
namespace {

TEST(TooltipLikeWindow, FloatsOverThingsAndLetsTheMouseThrough) {
  const QRect where(40, 60, 120, 30);
  auto window = tooltipLikeWindowWithContentRect(where);
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(window->isWindow());
  EXPECT_EQ(window->geometry(), where);
  EXPECT_EQ(frameoriginy(window.get()), 60);
  const Qt::WindowFlags flags = window->windowFlags();
  EXPECT_EQ(flags & Qt::WindowType_Mask, Qt::ToolTip);
  EXPECT_TRUE(flags & Qt::FramelessWindowHint);
  EXPECT_TRUE(flags & Qt::WindowStaysOnTopHint);
  EXPECT_TRUE(flags & Qt::WindowTransparentForInput);
  EXPECT_TRUE(window->autoFillBackground());
  const QColor background = window->palette().color(QPalette::Window);
  EXPECT_NEAR(background.redF(), 1.0, 1e-3);
  EXPECT_NEAR(background.greenF(), 0.96, 1e-3);
  EXPECT_NEAR(background.blueF(), 0.76, 1e-3);
  EXPECT_EQ(background.alphaF(), 1.0f);
}

}  // namespace
}  // namespace orb::rendering
