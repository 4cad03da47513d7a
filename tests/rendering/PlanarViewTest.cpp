#include <gtest/gtest.h>

#include <QDragEnterEvent>
#include <QFileInfo>
#include <QImage>
#include <QMimeData>
#include <QPainter>
#include <QPrinter>
#include <QTemporaryDir>
#include <vector>

#include "ViewTestSupport.h"
#include "geometry/values/Extents.h"
#include "rendering/PlanarView.h"

namespace orb::rendering {
namespace {

// A lens box z 0…100, y ±10, x ±3 that records what the view asks of it.
struct RecordingModel : PlanarViewModel {
  std::vector<std::string> calls;
  std::vector<QRectF> rects;
  QColor fixedColor;
  std::string colorOption;

  void drawZY(QPainter& painter, const platform::Dictionary&) override {
    calls.push_back("drawZY");
    // A block well off the axis, to tell the lens from the axis line.
    painter.fillRect(QRectF(40, 4, 20, 4), Qt::red);
  }
  void drawZX(QPainter&, const platform::Dictionary&) override { calls.push_back("drawZX"); }
  std::shared_ptr<geometry::Extents> extents() const override {
    return geometry::Extents::withCorner({-3, -10, 0}, {6, 20, 100});
  }
  void beginMovingRect(const QRectF& rect) override {
    calls.push_back("begin");
    rects.push_back(rect);
  }
  bool pasteFromMimeData(const QMimeData&) override {
    calls.push_back("paste");
    return true;
  }
  void setFixedSurfaceColor(const QColor& color) override { fixedColor = color; }
  void setSurfaceColorOption(const std::string& option) override { colorOption = option; }
};

struct PlanarViewTest : ::testing::Test {
  std::shared_ptr<RecordingModel> model = std::make_shared<RecordingModel>();
  PlanarView view;
  void SetUp() override {
    view.resize(400, 200);
    view.setBackgroundColor(Qt::white);
    view.setModel(model);
  }
  void fit() {
    view.waitForZoomToFit();  // jump, no glide
    view.zoomToFit();
  }
};

TEST_F(PlanarViewTest, FitsTheSectionWithAFivePercentMarginThenWidensToTheViewsAspect) {
  EXPECT_EQ(view.mouseMode(), ZoomView::Zoom);
  EXPECT_EQ(model->fixedColor, QColor(Qt::black));
  EXPECT_EQ(model->colorOption, "fixed");
  fit();
  // 105 wide, 21 high; the margin is 2.5 on z and 0.5 on y.
  EXPECT_NEAR(view.xMin(), -2.5, 1e-12);
  EXPECT_NEAR(view.xMax(), 102.5, 1e-12);
  EXPECT_NEAR(view.yMin(), -10.5, 1e-12);
  EXPECT_NEAR(view.yMax(), 10.5, 1e-12);
  // 400 × 200 points at 105/400 units a point shows 52.5 units up: y ±26.25.
  const QRectF window = view.userRect();
  EXPECT_NEAR(window.left(), -2.5, 1e-9);
  EXPECT_NEAR(window.right(), 102.5, 1e-9);
  EXPECT_NEAR(window.top(), -26.25, 1e-9);
  EXPECT_NEAR(window.bottom(), 26.25, 1e-9);

  // ZX shows the lens's x extent (±3) up the view.
  view.orientZX();
  fit();
  EXPECT_NEAR(view.yMin(), -3.15, 1e-12);
  EXPECT_NEAR(view.yMax(), 3.15, 1e-12);
  EXPECT_NEAR(view.xMin(), -2.5, 1e-12);

  // The view does not keep its model: once the window lets it go, the default box.
  model.reset();
  const ZoomExtents none = view.extents();
  EXPECT_EQ(none.xMin, ZoomExtents{}.xMin);
  EXPECT_EQ(none.yMax, ZoomExtents{}.yMax);
  view.grab();  // and drawing without one is safe
}

TEST_F(PlanarViewTest, DrawsTheModelsSectionAndAHalfToneAxis) {
  fit();
  const QImage zy = view.grab().toImage();
  ASSERT_EQ(model->calls.back(), "drawZY");
  // The red block, z 40…60 at y 4…8, lies at view x (50 + 2.5)·400/105 = 200
  // and, y up, 6 units above the middle row: 100 − 6·200/52.5 ≈ 77 from the
  // top.
  const QColor block = zy.pixelColor(200, 77);
  EXPECT_GT(block.red(), 200);
  EXPECT_LT(block.green(), 60);
  // The axis, black at half alpha over white, runs along the middle row.
  int grey = 0;
  for (int x = 0; x < 400; x += 10) {
    const QColor c =
        zy.pixelColor(x, 99).value() < zy.pixelColor(x, 100).value() ? zy.pixelColor(x, 99) : zy.pixelColor(x, 100);
    if (c.value() > 80 && c.value() < 200) ++grey;
  }
  EXPECT_EQ(grey, 40);

  view.setDrawOpticalAxis(false);
  view.orientZX();
  const QImage zx = view.grab().toImage();
  EXPECT_EQ(model->calls.back(), "drawZX");
  for (int x = 0; x < 400; x += 10) EXPECT_EQ(zx.pixelColor(x, 100), QColor(Qt::white));

  // An empty range draws nothing at all.
  EXPECT_FALSE(PlanarView::validateOptions({{"xMin", 1.0}, {"xMax", 1.0}, {"yMin", 0.0}, {"yMax", 1.0}}));
  EXPECT_TRUE(PlanarView::validateOptions({{"xMin", 0.0}, {"xMax", 1.0}, {"yMin", 0.0}, {"yMax", 1.0}}));
}

TEST(PlanarViewPrinting, TrueScaleMakesLensMillimetresMillimetresOnPaper) {
  // 100 mm across 500 points: 100·72/25.4/500.
  const double s = trueScalePrintFactor(100, 500);
  EXPECT_NEAR(s, 0.566929, 1e-6);
  // The 500-point picture then spans 283.46 points, which is 100 mm at 72
  // points an inch.
  EXPECT_NEAR(500 * s / 72 * 25.4, 100, 1e-9);
  EXPECT_EQ(trueScalePrintFactor(100, 0), 1.0);

  // Both ways of printing make a page.
  QTemporaryDir dir;
  PlanarView view;
  view.resize(500, 300);
  view.setZoomData({0, 100, -30, 30});
  for (bool toScale : {true, false}) {
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    const QString path = dir.filePath(toScale ? "scale.pdf" : "fit.pdf");
    printer.setOutputFileName(path);
    view.printTo(printer, toScale);
    EXPECT_GT(QFileInfo(path).size(), 500) << toScale;
  }
}

TEST_F(PlanarViewTest, PasteHandsSurfacesToTheModelAndTakesAGlassWithoutDoingAnything) {
  struct Case {
    const char* name;
    std::function<void(QMimeData&)> fill;
    bool accepted;
    bool reachesModel;
    QColor background;
  };
  const Case cases[] = {
      {"glass", [](QMimeData& d) { d.setData(kGlassPasteboardType, "BK7"); }, true, false, Qt::white},
      {"surfaces", [](QMimeData& d) { d.setData(kSurfacePasteboardType, "s"); }, true, true, Qt::white},
      {"colour", [](QMimeData& d) { d.setColorData(QColor(Qt::yellow)); }, true, false, Qt::yellow},
      {"text only", [](QMimeData& d) { d.setText("hello"); }, false, false, Qt::white},
  };
  for (const Case& c : cases) {
    model->calls.clear();
    view.setBackgroundColor(Qt::white);
    QMimeData data;
    c.fill(data);
    EXPECT_EQ(view.pasteFromMimeData(&data), c.accepted) << c.name;
    EXPECT_EQ(!model->calls.empty() && model->calls.back() == "paste", c.reachesModel) << c.name;
    EXPECT_EQ(view.backgroundColor(), c.background) << c.name;
  }
}

TEST(PlanarViewDrops, AreRefusedWhereAPictureViewTakesThem) {
  // Drops are delivered straight to the handlers: Qt passes synthetic drops on
  // only during a platform drag.
  struct Planar : PlanarView {
    using PlanarView::dragEnterEvent;
    using PlanarView::dropEvent;
  };
  struct Picture : DragoutImageView {
    using DragoutImageView::dropEvent;
  };
  auto model = std::make_shared<RecordingModel>();
  Planar view;
  view.setModel(model);
  view.setBackgroundColor(Qt::white);
  Picture plain;
  plain.setBackgroundColor(Qt::white);
  // What a paste would take: surfaces for the model, a colour for the
  // background.
  QMimeData data;
  data.setData(kSurfacePasteboardType, "s");
  data.setData(kGlassPasteboardType, "BK7");
  data.setColorData(QColor(Qt::yellow));

  QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  enter.accept();
  view.dragEnterEvent(&enter);
  EXPECT_FALSE(enter.isAccepted());
  QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  view.dropEvent(&drop);
  EXPECT_TRUE(model->calls.empty());
  EXPECT_EQ(view.backgroundColor(), QColor(Qt::white));

  QDropEvent dropOnPlain(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  plain.dropEvent(&dropOnPlain);
  EXPECT_EQ(plain.backgroundColor(), QColor(Qt::yellow));
}

TEST_F(PlanarViewTest, FrozenViewIgnoresWheelSelectionAndPaste) {
  fit();
  // The live view takes a new selection rectangle to its model.
  view.setMouseMode(ZoomView::Select);
  test::click(&view, QPointF(50, 50), QPointF(150, 150));
  ASSERT_EQ(model->rects.size(), 1u);
  EXPECT_GT(model->rects.front().width(), 0);

  FrozenPlanarView frozen;
  frozen.resize(400, 200);
  auto frozenModel = std::make_shared<RecordingModel>();
  frozen.setModel(frozenModel);
  frozen.waitForZoomToFit();
  frozen.zoomToFit();
  EXPECT_EQ(frozen.mouseMode(), ZoomView::Select);
  const auto before = frozen.zoomData();
  test::wheel(&frozen, QPointF(200, 100), 120);
  EXPECT_EQ(frozen.zoomData().bytes(), before.bytes());
  test::click(&frozen, QPointF(50, 50), QPointF(150, 150));
  EXPECT_FALSE(frozen.drawsSelectionRect());
  EXPECT_TRUE(frozenModel->rects.empty());
  QMimeData data;
  data.setColorData(QColor(Qt::yellow));
  EXPECT_FALSE(frozen.pasteFromMimeData(&data));

  // A press arms the drag-out as soon as the loop turns, with no press-and-hold.
  test::sendMouse(&frozen, QEvent::MouseButtonPress, QPointF(100, 100), Qt::LeftButton);
  QCoreApplication::processEvents();
  EXPECT_TRUE(frozen.mouseWillDragData());
  test::sendMouse(&frozen, QEvent::MouseButtonRelease, QPointF(100, 100), Qt::LeftButton);
  EXPECT_FALSE(frozen.mouseWillDragData());

  // The same wheel does zoom the live view.
  const auto live = view.zoomData();
  test::wheel(&view, QPointF(200, 100), 120);
  EXPECT_NE(view.zoomData().bytes(), live.bytes());
}

}  // namespace
}  // namespace orb::rendering
