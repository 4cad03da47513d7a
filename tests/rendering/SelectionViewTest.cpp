#include "rendering/SelectionView.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <string>
#include <vector>

#include "ViewTestSupport.h"
#include "analysis/ImmediateUpdate.h"
#include "rendering/Cursors.h"

namespace orb::rendering {
namespace {

// Records the hooks the planar view forwards to its model.
struct RecordingSelectionView : SelectionView {
  std::vector<std::string> calls;
  std::vector<QRectF> begun;
  std::vector<double> moves;
  std::vector<bool> immediateDuringMove;
  std::optional<double> shift;
  void beginMovingRect(const QRectF& r) override {
    calls.push_back("begin");
    begun.push_back(r);
  }
  std::optional<double> moveRectBy(double dx) override {
    calls.push_back("move");
    moves.push_back(dx);
    immediateDuringMove.push_back(analysis::isImmediateUpdate());
    return shift;
  }
  void endMovingRect() override { calls.push_back("end"); }
};

// A 200 × 200 view showing −100…100 on both axes: one view point is one user unit, view
// x = user x + 100 and view y = user y + 100 (y up); Qt's widget y is 200 − view y.
struct SelectionFixture : ::testing::Test {
  RecordingSelectionView view;
  void SetUp() override {
    view.resize(200, 200);
    view.setIsotropic(false);
    view.setZoomData({-100, 100, -100, 100});
    view.setMouseMode(ZoomView::Select);
  }
  static QPointF widget(double vx, double vy) { return {vx, 200 - vy}; }
  void drag(QPointF fromView, QPointF toView) {
    test::click(&view, widget(fromView.x(), fromView.y()), widget(toView.x(), toView.y()));
  }
  void key(int k) {
    QKeyEvent press(QEvent::KeyPress, k, Qt::NoModifier);
    QApplication::sendEvent(&view, &press);
  }
};

void expectRect(const QRectF& r, double x, double y, double w, double h) {
  EXPECT_NEAR(r.x(), x, 1e-9);
  EXPECT_NEAR(r.y(), y, 1e-9);
  EXPECT_NEAR(r.width(), w, 1e-9);
  EXPECT_NEAR(r.height(), h, 1e-9);
}

TEST_F(SelectionFixture, MoveBandOnlyWhereTheSelectionSpansTheAxisByFivePoints) {
  struct Case {
    const char* name;
    double yMin, yMax;
    bool band;
  };
  // The inset selection (2 points in from each edge) must reach view y 95 and 105.
  const Case cases[] = {
      {"reaches-exactly", -7, 7, true},
      {"well-across", -40, 30, true},
      {"one-point-short-below", -6, 7, false},
      {"one-point-short-above", -7, 6, false},
      {"off-the-axis", 10, 40, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    view.setSelectionRect(QRectF(-50, c.yMin, 100, c.yMax - c.yMin));
    QRectF band = view.viewRectForSurfaceMove();
    if (c.band)
      expectRect(band, 52, 95, 96, 10);
    else
      EXPECT_TRUE(band.isEmpty());
  }
}

TEST_F(SelectionFixture, DragInTheBandMovesTheObjectsHorizontally) {
  view.setSelectionRect(QRectF(-50, -20, 100, 40));
  analysis::setImmediateUpdate(false);
  drag({100, 100}, {130, 103});  // only the 30 points across count
  EXPECT_EQ(view.calls, (std::vector<std::string>{"begin", "move", "end"}));
  expectRect(view.begun.at(0), -50, -20, 100, 40);
  ASSERT_EQ(view.moves.size(), 1u);
  EXPECT_NEAR(view.moves[0], 30, 1e-9);
  EXPECT_TRUE(view.immediateDuringMove[0]);
  EXPECT_FALSE(analysis::isImmediateUpdate());
  expectRect(view.selectionRect(), -20, -20, 100, 40);

  // The model scrolls by 5 to follow: the range and the selection go along.
  view.calls.clear();
  view.shift = 5.0;
  drag({130, 100}, {140, 100});
  EXPECT_NEAR(view.xMin(), -95, 1e-9);
  EXPECT_NEAR(view.xMax(), 105, 1e-9);
  expectRect(view.selectionRect(), -5, -20, 100, 40);
}

TEST_F(SelectionFixture, SelectionWithoutBandIsNotDragged) {
  view.setSelectionRect(QRectF(-50, -6, 100, 13));  // inset 96…105: short of 95
  drag({100, 100}, {130, 100});                       // a press inside
  EXPECT_TRUE(view.calls.empty());
  expectRect(view.selectionRect(), -50, -6, 100, 13);
}

TEST_F(SelectionFixture, EdgesResizeAndTheTopWinsFromItsYMinusOne) {
  struct Case {
    const char* name;
    QRectF selection;
    QPointF press;  // view point
    QRectF after;   // after a drag of +10, +10
  };
  const Case cases[] = {
      {"top", {-50, -20, 100, 40}, {100, 120}, {-50, -20, 100, 50}},
      {"bottom", {-50, -20, 100, 40}, {100, 80}, {-50, -10, 100, 30}},
      {"left", {-50, -20, 100, 40}, {50, 100}, {-40, -20, 90, 40}},
      {"right", {-50, -20, 100, 40}, {150, 100}, {-50, -20, 110, 40}},
      // A flat selection (view y 99…101): the handles overlap, top handle from y 99.
      {"flat-at-top-minus-one", {-50, -1, 100, 2}, {100, 98}, {-50, -1, 100, 12}},
      {"flat-above-top-minus-one", {-50, -1, 100, 2}, {100, 98.5}, {-50, -1, 100, 12}},
      {"flat-below-top-minus-one", {-50, -1, 100, 2}, {100, 97.5}, {-50, 1, 100, 8}},  // past the top: normalised
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    view.setSelectionRect(c.selection);
    drag(c.press, c.press + QPointF(10, 10));
    expectRect(view.selectionRect(), c.after.x(), c.after.y(), c.after.width(), c.after.height());
    EXPECT_TRUE(view.drawsSelectionRect());
  }
}

TEST_F(SelectionFixture, HoverCursorFollowsTheHandlesInSelectModeOnly) {
  view.setSelectionRect(QRectF(-50, -20, 100, 40));  // view 50…150 × 80…120
  struct Case {
    const char* name;
    int mode;
    QPointF at;  // view point
    Qt::CursorShape shape;
  };
  const Case cases[] = {
      {"band", ZoomView::Select, {100, 100}, leftRightCursor().shape()},
      {"top", ZoomView::Select, {100, 121}, Qt::SizeVerCursor},
      {"bottom", ZoomView::Select, {100, 79}, Qt::SizeVerCursor},
      {"left", ZoomView::Select, {49, 90}, Qt::SizeHorCursor},
      {"inside-off-the-band", ZoomView::Select, {100, 110}, Qt::PointingHandCursor},
      {"zoom-mode", ZoomView::Zoom, {100, 121}, Qt::CrossCursor},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    view.setMouseMode(c.mode);
    test::sendMouse(&view, QEvent::MouseMove, widget(c.at.x(), c.at.y()), Qt::NoButton);
    EXPECT_EQ(view.cursor().shape(), c.shape);
  }
}

TEST_F(SelectionFixture, NewRectangleNeedsMoreThanTwoPoints) {
  struct Case {
    const char* name;
    QPointF to;
    bool shown;
  };
  const Case cases[] = {
      {"click", {20, 20}, false},
      {"two-across-two-up", {22, 22}, false},
      {"three-across", {23, 20}, true},
      {"three-down", {20, 17}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    view.setSelectionRect(QRectF(-50, -20, 100, 40));  // a press outside replaces it
    view.begun.clear();
    drag({20, 20}, c.to);
    EXPECT_EQ(view.drawsSelectionRect(), c.shown);
    // The model is offered the new rectangle either way (an empty one deselects).
    ASSERT_EQ(view.begun.size(), 1u);
    QRectF expected = QRectF(QPointF(-80, -80), QPointF(c.to.x() - 100, c.to.y() - 100)).normalized();
    expectRect(view.begun[0], expected.x(), expected.y(), expected.width(), expected.height());
  }
}

TEST_F(SelectionFixture, ArrowKeysMoveByATenthOnlyWhileShown) {
  key(Qt::Key_Right);
  EXPECT_TRUE(view.calls.empty());

  view.setSelectionRect(QRectF(-50, -20, 100, 40));
  key(Qt::Key_Right);
  EXPECT_EQ(view.calls, (std::vector<std::string>{"begin", "move", "end"}));
  EXPECT_NEAR(view.selectionRect().x(), -49.9, 1e-12);
  key(Qt::Key_Left);
  key(Qt::Key_Left);
  EXPECT_NEAR(view.selectionRect().x(), -50.1, 1e-12);
  EXPECT_EQ(view.moves, (std::vector<double>{0.1, -0.1, -0.1}));
  key(Qt::Key_Up);
  EXPECT_EQ(view.moves.size(), 3u);

  view.mouseModeStress();  // hidden: the keys stop
  key(Qt::Key_Right);
  EXPECT_EQ(view.moves.size(), 3u);
}

TEST_F(SelectionFixture, ModeButtonAgainHidesAndShowsInSelectModeOnly) {
  view.setSelectionRect(QRectF(-50, -20, 100, 40));
  view.mouseModeStress();
  EXPECT_FALSE(view.drawsSelectionRect());
  EXPECT_TRUE(view.latentSelectionRect());
  view.mouseModeStress();
  EXPECT_TRUE(view.drawsSelectionRect());
  EXPECT_FALSE(view.latentSelectionRect());
  view.setMouseMode(ZoomView::Zoom);
  view.mouseModeStress();  // zoom to fit instead
  EXPECT_TRUE(view.drawsSelectionRect());
}

TEST_F(SelectionFixture, ContextMenuAndCopyDependOnTheSelection) {
  QMenu graphics, selection;
  view.setGraphicsMenu(&graphics);
  view.setSelectionMenu(&selection);
  EXPECT_EQ(view.menuForViewPoint({100, 100}), &graphics);
  view.setSelectionRect(QRectF(-50, -20, 100, 40));  // view 50…150 × 80…120, inset by 2
  EXPECT_EQ(view.menuForViewPoint({100, 100}), &selection);
  EXPECT_EQ(view.menuForViewPoint({51, 100}), &graphics);  // on the edge handle
  EXPECT_EQ(view.menuForViewPoint({10, 10}), &graphics);

  QApplication::clipboard()->setText("before");
  view.copy();
  EXPECT_FALSE(QApplication::clipboard()->mimeData()->hasFormat(DragoutImageView::kPDFMimeType));
  EXPECT_EQ(QApplication::clipboard()->text(), "before");
  view.setSelectionRect(view.selectionRect(), false);
  view.copy();
  EXPECT_TRUE(QApplication::clipboard()->mimeData()->hasFormat(DragoutImageView::kPDFMimeType));
}

}  // namespace
}  // namespace orb::rendering
