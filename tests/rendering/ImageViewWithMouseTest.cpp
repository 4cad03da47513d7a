#include "rendering/ImageViewWithMouse.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QTest>

#include <optional>
#include <vector>

namespace orb::rendering {
namespace {

QImage squareImage() {
  QImage image(100, 100, QImage::Format_ARGB32);
  image.fill(Qt::blue);
  return image;
}

// A 100 × 100 image centred in a 200 × 100 view occupies x 50 … 150: clicks at its corners
// and centre give the unit square's corners and centre, y upward.
TEST(ImageViewWithMouse, ReportsClicksAsPointsOfTheUnitSquareWithYUp) {
  ImageViewWithMouse view;
  view.resize(200, 100);
  view.setImageScaling(ImageView::ImageScaling::ProportionallyUpOrDown);
  view.setImage(squareImage());
  ASSERT_EQ(view.imageFrame(), QRect(50, 0, 100, 100));
  std::vector<QPointF> reported;
  view.setDelegate([&](QPointF p) { reported.push_back(p); });
  struct Case {
    QPoint click;
    QPointF expected;
  };
  const std::vector<Case> cases = {{{50, 100}, {0, 0}}, {{150, 0}, {1, 1}}, {{50, 0}, {0, 1}},
                                   {{150, 100}, {1, 0}}, {{100, 50}, {0.5, 0.5}}, {{25, 75}, {-0.25, 0.25}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.click.x() << ", " << c.click.y());
    reported.clear();
    QTest::mouseClick(&view, Qt::LeftButton, Qt::NoModifier, c.click);
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_DOUBLE_EQ(reported[0].x(), c.expected.x());
    EXPECT_DOUBLE_EQ(reported[0].y(), c.expected.y());
  }
  // Without an image there is no square to point into.
  view.setImage(QImage());
  reported.clear();
  QTest::mouseClick(&view, Qt::LeftButton, Qt::NoModifier, QPoint(100, 50));
  EXPECT_TRUE(reported.empty());
  EXPECT_FALSE(view.fractionalImageCoordinatesForLocation(QPointF(100, 50)));
}

TEST(OBImageView, ClickShowsTheToolTipBesideTheViewLevelWithItsBottom) {
  OBImageView view;
  view.resize(120, 80);
  view.setImage(squareImage());
  view.show();
  QTest::mouseClick(&view, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
  EXPECT_FALSE(view.instantTooltip());  // no tool tip, nothing to show

  view.setToolTip(QStringLiteral("Point spread"));
  QTest::mouseClick(&view, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
  QWidget* tip = view.instantTooltip();
  ASSERT_TRUE(tip);
  EXPECT_TRUE(tip->isVisible());
  const QPoint anchor = view.mapToGlobal(QPoint(124, 80));
  EXPECT_EQ(view.instantTooltipAnchor(), anchor);
  EXPECT_EQ(tip->geometry().left(), anchor.x());
  EXPECT_EQ(tip->geometry().top() + tip->geometry().height(), anchor.y());
  const auto* label = tip->findChild<QLabel*>();
  ASSERT_TRUE(label);
  EXPECT_EQ(label->text(), QStringLiteral("Point spread"));

  view.hide();
  EXPECT_FALSE(view.instantTooltip());
}

}  // namespace
}  // namespace orb::rendering
