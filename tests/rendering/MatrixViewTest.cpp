#include "rendering/MatrixView.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QImage>
#include <cmath>
#include <limits>
#include <set>
#include <thread>
#include <utility>
#include <vector>

#include "ViewTestSupport.h"

namespace orb::rendering {
namespace {

using foundation::Matrix;
using Cells = std::set<std::pair<int, int>>;

struct FakeDelegate : VKMatrixViewDelegate {
  std::vector<QPointF> points;
  int kicks = 0;
  bool elementCursor = false, sliceCursor = false, slice = false, diagonal = false, skew = false;
  int dimension = 1;
  std::int64_t index = 0;
  std::pair<double, double> monitor{0, 0};

  void setDrawsElementCursor(bool draws) override { elementCursor = draws; }
  void setPointInUnitSquare(double u, double v) override { points.emplace_back(u, v); }
  void kick() override { ++kicks; }
  bool drawsSliceCursor() const override { return sliceCursor; }
  bool useSlice() const override { return slice; }
  bool useDiagonal() const override { return diagonal; }
  bool useSkew() const override { return skew; }
  int binDimension() const override { return dimension; }
  std::int64_t sliceIndex() const override { return index; }
  bool drawsElementCursor() const override { return elementCursor; }
  std::pair<double, double> matrixIndexForMonitorPoint() const override { return monitor; }
};

void showMatrix(VKMatrixView& view, int w, int h, Matrix m) {
  view.resize(w, h);
  view.setMatrix(std::make_shared<const Matrix>(std::move(m)));
}

int grey(const QImage& image, int x, int y) { return qRed(image.pixel(x, y)); }

TEST(MatrixView, ThreeByTwoIsCentredInSquareCellsAndDrawnByValue) {
  VKMatrixView view;
  showMatrix(view, 300, 300, Matrix(3, 2, {{1, 2}, {3, 4}, {5, 6}}));
  const QImage image = view.imageOfBounds().convertToFormat(QImage::Format_RGB32);
  EXPECT_DOUBLE_EQ(view.matrixElementSize(), 100);  // min(300/3, 300/2)
  EXPECT_DOUBLE_EQ(view.x0(), 0);
  EXPECT_DOUBLE_EQ(view.y0(), 50);  // (300 − 2·100)/2
  // Rows run along x, columns upwards: cell (i, j) is centred at x = 50 + 100i and,
  // counted from the top, at 300 − (50 + 100j + 50).
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 2; ++j) {
      SCOPED_TRACE(testing::Message() << "cell " << i << "," << j);
      const double value = 2 * i + j + 1;
      EXPECT_NEAR(grey(image, 50 + 100 * i, 200 - 100 * j), 255 * value / 6, 1);
    }
  // Above and below the picture: the background, not a cell.
  EXPECT_EQ(image.pixel(150, 25), view.backgroundColor().rgb());
  EXPECT_EQ(image.pixel(150, 275), view.backgroundColor().rgb());
  EXPECT_NE(image.pixel(150, 51), view.backgroundColor().rgb());
}

// A matrix published on a worker thread is taken at once; the widget itself changes only
// on its own thread.
TEST(MatrixView, MatrixFromAnotherThreadRedrawsOnTheViewsThread) {
  VKMatrixView view;
  view.setBackgroundColor(Qt::red);
  auto matrix = std::make_shared<const Matrix>(2, 2);
  std::thread worker([&] { view.setMatrix(matrix); });
  worker.join();
  EXPECT_EQ(view.matrix(), matrix);
  EXPECT_EQ(view.backgroundColor(), QColor(Qt::red));
  QCoreApplication::processEvents();
  EXPECT_EQ(view.backgroundColor(), view.palette().color(QPalette::Base));
}

TEST(MatrixView, GreyLevelsAreClampedNormalisedValues) {
  constexpr double inf = std::numeric_limits<double>::infinity(), nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    const char* name;
    double a, b;
    bool enhance;
    int greyA, greyB;
  };
  const std::vector<Case> cases = {
      {"largest is white", 1, 0.25, false, 255, 64},
      {"enhance: 0.25 → √0.25", 1, 0.25, true, 255, 128},
      {"negative largest magnitude is black", -4, 2, false, 0, 128},
      {"all zero is black", 0, 0, false, 0, 0},
      {"all zero with enhance", 0, 0, true, 0, 0},
      {"an infinite element leaves no scale", inf, 1, false, 0, 0},
      {"NaN counts as nothing", nan, 2, false, 0, 255},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    VKMatrixView view;
    view.setEnhance(c.enhance);
    showMatrix(view, 200, 100, Matrix(2, 1, {{c.a}, {c.b}}));  // cells of 100 side by side
    const QImage image = view.imageOfBounds().convertToFormat(QImage::Format_RGB32);
    EXPECT_NEAR(grey(image, 50, 50), c.greyA, 1);
    EXPECT_NEAR(grey(image, 150, 50), c.greyB, 1);
  }
}

TEST(MatrixView, CellSizeAndFractionalCellsShareEdges) {
  VKMatrixView view;
  struct Case {
    std::size_t rows, cols;
    double expected;
  };
  for (const Case& c : std::vector<Case>{{3, 2, 100}, {2, 3, 100}, {6, 1, 50}, {4, 0, 75}, {0, 0, 0}}) {
    SCOPED_TRACE(testing::Message() << c.rows << "x" << c.cols);
    EXPECT_DOUBLE_EQ(view.matrixElementSizeForMatrix(Matrix(c.rows, c.cols), QSizeF(300, 300)), c.expected);
  }

  // Three rows in 100 units: cells of 33⅓ placed at 0, 33, 66 with widths 33, 33, 34.
  showMatrix(view, 100, 100, Matrix(3, 3, {{0, 0, 0}, {1, 1, 1}, {0, 0, 0}}));
  const QImage image = view.imageOfBounds().convertToFormat(QImage::Format_RGB32);
  const double s = view.matrixElementSize();
  EXPECT_NEAR(s, 100.0 / 3, 1e-12);
  const QRectF expected[] = {{0, 0, 33, 33}, {33, 0, 33, 33}, {66, 0, 34, 33}};
  for (int i = 0; i < 3; ++i) EXPECT_EQ(view.rectForMinI(i, i + 1, 0, 1), expected[i]) << i;
  EXPECT_EQ(view.rectForMinI(0.5, 1.25, 2, 3), QRectF(16, 66, 25, 34));
  // The drawn white row covers exactly x = 33 … 65, over the whole picture height.
  for (int y : {0, 50, 99}) {
    EXPECT_EQ(grey(image, 32, y), 0) << y;
    EXPECT_EQ(grey(image, 33, y), 255) << y;
    EXPECT_EQ(grey(image, 65, y), 255) << y;
    EXPECT_EQ(grey(image, 66, y), 0) << y;
  }
}

TEST(MatrixView, MouseReportsUnitSquarePointsOnlyInsideWhileDraggingAndKicksOnRelease) {
  VKMatrixView view;
  auto delegate = std::make_shared<FakeDelegate>();
  view.setDelegate(delegate);
  showMatrix(view, 300, 300, Matrix(3, 2));  // picture x 0…300, y 50…250 (upwards)
  using test::sendMouse;
  sendMouse(&view, QEvent::MouseButtonPress, {30, 230}, Qt::LeftButton);  // view point (30, 70)
  sendMouse(&view, QEvent::MouseMove, {350, 100}, Qt::LeftButton);        // left the view
  sendMouse(&view, QEvent::MouseMove, {150, -5}, Qt::LeftButton);         // still outside
  sendMouse(&view, QEvent::MouseMove, {60, 130}, Qt::LeftButton);         // back: (60, 170)
  EXPECT_EQ(delegate->kicks, 0);
  sendMouse(&view, QEvent::MouseButtonRelease, {390, -20}, Qt::LeftButton);  // (390, 320), outside
  const std::vector<QPointF> expected = {{0.1, 0.1}, {0.2, 0.6}, {1.3, 1.35}};
  ASSERT_EQ(delegate->points.size(), expected.size());
  for (std::size_t k = 0; k < expected.size(); ++k) {
    EXPECT_NEAR(delegate->points[k].x(), expected[k].x(), 1e-12) << k;
    EXPECT_NEAR(delegate->points[k].y(), expected[k].y(), 1e-12) << k;
  }
  EXPECT_EQ(delegate->kicks, 1);
  EXPECT_FALSE(view.mouseIsDown());

  // Without a picture there is no point to report, and nothing to recompute.
  view.setMatrix(nullptr);
  test::click(&view, {30, 230}, {30, 230});
  EXPECT_EQ(delegate->points.size(), 3u);
  EXPECT_EQ(delegate->kicks, 1);
}

// The cells whose frame has `color` on its left or top edge, in a 4 × 4 picture of 100.
Cells framedCells(VKMatrixView& view, QColor color) {
  const QImage image = view.imageOfBounds().convertToFormat(QImage::Format_RGB32);
  Cells out;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) {
      const int top = 400 - 100 * (j + 1);
      if (QColor(image.pixel(100 * i, top + 50)) == color || QColor(image.pixel(100 * i + 50, top)) == color)
        out.insert({i, j});
    }
  return out;
}

TEST(MatrixView, SliceCursorsOfASquareMatrix) {
  struct Case {
    const char* name;
    bool diagonal, skew;
    int dimension;
    std::int64_t index;
    Cells cells;
  };
  const std::vector<Case> cases = {
      {"diagonal i − j = 1", true, false, 1, 1, {{1, 0}, {2, 1}, {3, 2}}},
      {"diagonal i − j = −2", true, false, 1, -2, {{0, 2}, {1, 3}}},
      {"skew i + j = 3", true, true, 1, 0, {{0, 3}, {1, 2}, {2, 1}, {3, 0}}},
      {"skew i + j = 2", true, true, 0, -1, {{0, 2}, {1, 1}, {2, 0}}},
      {"column band j = 2", false, false, 1, 2, {{0, 2}, {1, 2}, {2, 2}, {3, 2}}},
      {"row band i = 1", false, false, 0, 1, {{1, 0}, {1, 1}, {1, 2}, {1, 3}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    VKMatrixView view;
    auto delegate = std::make_shared<FakeDelegate>();
    delegate->sliceCursor = delegate->slice = true;
    delegate->diagonal = c.diagonal;
    delegate->skew = c.skew;
    delegate->dimension = c.dimension;
    delegate->index = c.index;
    view.setDelegate(delegate);
    showMatrix(view, 400, 400, Matrix(4, 4));
    EXPECT_EQ(framedCells(view, c.diagonal ? Qt::green : Qt::cyan), c.cells);
    delegate->slice = false;  // a slice cursor only for a slice
    EXPECT_TRUE(framedCells(view, c.diagonal ? Qt::green : Qt::cyan).empty());
  }
}

TEST(MatrixView, DiagonalOfARectangularMatrixFollowsTheCornerToCornerLine) {
  VKMatrixView view;
  auto delegate = std::make_shared<FakeDelegate>();
  delegate->sliceCursor = delegate->slice = delegate->diagonal = true;
  view.setDelegate(delegate);
  showMatrix(view, 300, 500, Matrix(3, 5));  // cells of 100, rows along x
  auto greenAt = [&](double x, double y) {
    const QImage image = view.imageOfBounds().convertToFormat(QImage::Format_RGB32);
    return QColor(image.pixel(int(x), int(y))) == QColor(Qt::green);
  };
  // One cell per column j at row (j + k)·(3 − 1)/(5 − 1): left edges at 100·(j + k)/2.
  delegate->dimension = 0;
  delegate->index = 1;
  for (int j = 0; j < 4; ++j) EXPECT_TRUE(greenAt(50.0 * (j + 1), 450 - 100 * j)) << j;
  EXPECT_FALSE(greenAt(250, 50));  // j = 4 would sit at row 2.5, beyond the last row
  // Skew, one cell per row i at column (2 + k − i)·(5 − 1)/(3 − 1): (0, 4), (1, 2), (2, 0).
  delegate->dimension = 1;
  delegate->skew = true;
  delegate->index = 0;
  for (auto [i, j] : std::vector<std::pair<int, int>>{{0, 4}, {1, 2}, {2, 0}})
    EXPECT_TRUE(greenAt(100 * i, 500 - 100 * j - 50)) << i << "," << j;

  // A single column has no corner-to-corner line (its slope would be (3 − 1)/0).
  for (bool skew : {false, true}) {
    delegate->skew = skew;
    delegate->dimension = 0;
    showMatrix(view, 300, 100, Matrix(3, 1, {{1}, {2}, {3}}));
    const QImage image = view.imageOfBounds().convertToFormat(QImage::Format_RGB32);
    int green = 0;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x) green += QColor(image.pixel(x, y)) == QColor(Qt::green);
    EXPECT_EQ(green, 0) << skew;
  }
}

TEST(MatrixView, ElementCursorFollowsTheDelegateAndResetPOIHidesIt) {
  VKMatrixView view;
  auto delegate = std::make_shared<FakeDelegate>();
  delegate->elementCursor = true;
  delegate->monitor = {2.7, 1.2};  // truncated to cell (2, 1)
  view.setDelegate(delegate);
  showMatrix(view, 400, 400, Matrix(4, 4));
  EXPECT_EQ(framedCells(view, Qt::red), (Cells{{2, 1}}));
  view.resetPOI();
  EXPECT_FALSE(delegate->elementCursor);
  EXPECT_TRUE(framedCells(view, Qt::red).empty());
}

}  // namespace
}  // namespace orb::rendering
