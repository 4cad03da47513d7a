// The 3-D view window on the double Gauss (Mesa under Xvfb): it opens from the Analysis
// menu, frames and draws the lens, comes back from its window record with the same view,
// and exports the lens as DXF faces.
#include <gtest/gtest.h>

#include <QAction>
#include <QDoubleSpinBox>
#include <QImage>
#include <QMatrix4x4>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <fstream>
#include <sstream>

#include "AnalysisWindowTestSupport.h"
#include "AppTestSupport.h"
#include "DxfReading.h"
#include "analysis/LayoutCalculator.h"
#include "app/document/WindowActions.h"
#include "app/windows/OBWindow.h"
#include "app/windows/OptionPanelController.h"
#include "app/windows/SolidWindow.h"
#include "lens/Surface.h"
#include "platform/KeyedUnarchiver.h"
#include "platform/Color.h"
#include "rendering/OBOpenGL.h"
#include "rendering/ViewSnapshot.h"

namespace orb::app {
namespace {

class SolidWindowTest : public testing::DoubleGaussDocumentTest<> {
 protected:
  void SetUp() override {
    if (!rendering::BasicOpenGLView::contextAvailable()) GTEST_SKIP() << "no OpenGL context on this display";
    testing::DoubleGaussDocumentTest<>::SetUp();
  }

  SolidWindowController* solidWindow() const {
    SolidWindowController* found = nullptr;
    for (auto* c : document->windowControllers())
      if (auto* s = qobject_cast<SolidWindowController*>(c); s && !s->isClosing()) found = s;
    return found;
  }

  /// Shows the window, waits for the traced rays and the first fit, and draws it flat in
  /// magenta (lighting off), so that lens pixels can be told from rays and background.
  std::shared_ptr<analysis::LayoutCalculator> showAndTrace(SolidWindowController* window) {
    window->window()->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(window->window()));
    auto calculator = std::dynamic_pointer_cast<analysis::LayoutCalculator>(window->calculator());
    EXPECT_TRUE(calculator);
    if (!calculator) return nullptr;
    calculator->setSurfaceColorOption("fixed");
    calculator->setFixedSurfaceColor(platform::Color::make(1, 0, 1, 1));
    window->solidView()->setUsesLight(false);
    EXPECT_TRUE(testing::pumpUntil([&] {
      return calculator->tracedRays() && !calculator->needsWork() && !window->zoomToFitIsPending();
    }));
    testing::settle();
    return calculator;
  }

  static QImage render(rendering::OBOpenGL& view) {
    view.repaint();
    QCoreApplication::processEvents();
    return rendering::imageFromView(view);
  }

  /// Where the view shows a lens point: the model-view rotation about the rotation centre,
  /// then the window box onto the view's pixels (y down).
  static QPointF projected(const rendering::OBOpenGL& view, const foundation::XYZ& p) {
    const auto c = view.rotationCenter();
    QMatrix4x4 m;
    m.translate(c[0], c[1], c[2]);
    for (const auto& r : {view.trackballRotation(), view.worldRotation(), view.objectRotation()})
      if (r.angle != 0) m.rotate(r.angle, r.x, r.y, r.z);
    m.translate(-c[0], -c[1], -c[2]);
    const QVector3D e = m.map(QVector3D(float(p.x), float(p.y), float(p.z)));
    const auto w = view.windowBox();
    return {(e.x() - w.xMin) / (w.xMax - w.xMin) * view.width(), (w.yMax - e.y()) / (w.yMax - w.yMin) * view.height()};
  }

  static int magentaPixelsAround(const QImage& image, QPointF at) {
    int count = 0;
    for (int dy = -3; dy <= 3; ++dy)
      for (int dx = -3; dx <= 3; ++dx) {
        const int x = int(std::lround(at.x())) + dx, y = int(std::lround(at.y())) + dy;
        if (!image.rect().contains(x, y)) continue;
        const QColor c = image.pixelColor(x, y);
        if (c.red() > 240 && c.green() < 15 && c.blue() > 240) ++count;
      }
    return count;
  }
};

TEST_F(SolidWindowTest, ShowsTheLensAndComesBackFromItsRecordWithTheSameView) {
  const WindowAction* action = windowAction("makeSolidView");
  ASSERT_TRUE(action);
  EXPECT_STREQ(action->menu, "Analysis");
  ASSERT_TRUE(windowActionIsAvailable(*action));
  ASSERT_TRUE(document->performAction("makeSolidView"));
  SolidWindowController* window = solidWindow();
  ASSERT_TRUE(window);
  EXPECT_EQ(window->window()->windowTitle().toStdString().rfind("3-D View", 0), 0u);
  const auto calculator = showAndTrace(window);
  ASSERT_TRUE(calculator);
  rendering::OBOpenGL& view = *window->solidView();
  EXPECT_EQ(window->toolbarItemIdentifiers(),
            (std::vector<std::string>{"back", "forward", "zoomToFit", CalculatorWindowController::kFlexibleSpace,
                                      "sources", "SDE", CalculatorWindowController::kFlexibleSpace, "export", "dice",
                                      "options"}));
  EXPECT_EQ(window->toolbarItem("back")->toolTip().toStdString(), "Disabled because no view action to undo");
  EXPECT_EQ(window->toolbarItem("forward")->toolTip().toStdString(), "Disabled because no view action to redo");
  // The options panel drives the view's drawing options.
  ASSERT_TRUE(window->optionsPanelController());
  auto* phiMax = window->optionsPanelController()->panel()->findChild<QDoubleSpinBox*>("phiMax");
  ASSERT_TRUE(phiMax);
  phiMax->setValue(180);
  EXPECT_EQ(view.optionsDictionary().get("phiMax").asDouble(), 180);
  phiMax->setValue(360);

  // Each lens surface's vertex shows the lens colour; a corner of the view does not.
  const QImage image = render(view);
  int surfacesSeen = 0, surfacesTried = 0;
  for (const auto& s : calculator->surfacesOfInterest()) {
    if (!std::isfinite(s->thickness()) || s->semidiameter() <= 0) continue;
    ++surfacesTried;
    const QPointF at = projected(view, s->originInGlobalCoordinates());
    ASSERT_TRUE(image.rect().contains(at.toPoint())) << s->description() << " is outside the framed view";
    if (magentaPixelsAround(image, at) >= 10) ++surfacesSeen;
  }
  EXPECT_GE(surfacesTried, 10);
  EXPECT_EQ(surfacesSeen, surfacesTried);
  EXPECT_EQ(magentaPixelsAround(image, QPointF(3, 3)), 0);

  // Turned and zoomed by the user, recorded, closed, and made again from the record.
  view.setWorldRotation({40, 0.6f, 0.8f, 0});
  auto zoom = view.zoomData();
  zoom.xMin *= 0.8, zoom.xMax *= 0.8, zoom.yMin *= 0.8, zoom.yMax *= 0.8;
  view.setZoomData(zoom);
  const QImage before = render(view);
  const auto zoomBefore = view.zoomData();
  const auto rotationBefore = view.worldRotation();
  const auto centreBefore = view.worldCenter();
  const auto extentsBefore = view.extentsData();
  const platform::Array records = document->presentWindowRestorationDictionaries();
  window->close();
  testing::settle();
  ASSERT_FALSE(solidWindow());

  // As the document makes a window from its record: controller, window, then the state.
  platform::Dictionary state;
  for (const auto& r : records) {
    const auto decoded = platform::KeyedUnarchiver::unarchiveObjectWithData(r.asDictionary().get("data").asData());
    if (decoded.isDictionary() && decoded.asDictionary().get("nibName") == platform::Value("SolidView"))
      state = decoded.asDictionary();
  }
  ASSERT_EQ(state.get("controllerClassName"), platform::Value("SolidWindowController"));
  auto* restored = dynamic_cast<SolidWindowController*>(makeController("SolidWindowController", "SolidView", document));
  ASSERT_TRUE(restored);
  restored->window();
  restored->restoreState(state);
  ASSERT_TRUE(showAndTrace(restored));
  rendering::OBOpenGL& again = *restored->solidView();
  EXPECT_EQ(again.zoomData().bytes(), zoomBefore.bytes());
  EXPECT_EQ(again.worldRotation(), rotationBefore);
  EXPECT_EQ(again.worldCenter(), centreBefore);
  EXPECT_EQ(again.extentsData(), extentsBefore);
  const QImage after = render(again);
  ASSERT_EQ(after.size(), before.size());
  int differing = 0;
  for (int y = 0; y < after.height(); ++y)
    for (int x = 0; x < after.width(); ++x) differing += after.pixel(x, y) != before.pixel(x, y);
  EXPECT_LT(differing, after.width() * after.height() / 100) << "the restored window shows another picture";
}

TEST_F(SolidWindowTest, ExportsTheLensAsDxfFacesAndCancelWritesNothing) {
  ASSERT_TRUE(document->performAction("makeSolidView"));
  SolidWindowController* window = solidWindow();
  ASSERT_TRUE(window);
  const auto calculator = showAndTrace(window);
  ASSERT_TRUE(calculator);
  QTemporaryDir dir;
  const std::string path = dir.filePath("double-gauss.dxf").toStdString();

  SavePanelOptions asked;
  window->setDxfPathChooser([&](QWidget*, const SavePanelOptions& options, std::function<void(const std::string&)>) {
    asked = options;  // cancelled: `chosen` is never called
  });
  window->toolbarItem("export")->trigger();
  EXPECT_EQ(asked.suffix, "dxf");
  EXPECT_EQ(asked.accessoryText, "Export in DXF format");
  EXPECT_FALSE(std::ifstream(path).good());

  window->setDxfPathChooser([&](QWidget*, const SavePanelOptions&, std::function<void(const std::string&)> chosen) {
    chosen(path);
  });
  window->exportAction();
  std::ifstream in(path);
  ASSERT_TRUE(in.good());
  std::stringstream text;
  text << in.rdbuf();
  const support::Drawing drawing = support::parseDxf(text.str());
  // Every finite surface is swept in 16 steps of 360/16°; each step of each profile
  // segment is one face.
  std::size_t expected = 0;
  for (const auto& s : calculator->surfacesOfInterest())
    if (std::isfinite(s->thickness())) expected += 16 * (s->shapeSequence().size() - 1);
  const auto faces = std::count_if(drawing.entities.begin(), drawing.entities.end(),
                                   [](const support::Entity& e) { return e.type == "3DFACE"; });
  EXPECT_GT(expected, 0u);
  EXPECT_EQ(std::size_t(faces), expected);
}

}  // namespace
}  // namespace orb::app
