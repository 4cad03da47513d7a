// The 3-D view window on the double Gauss (Mesa under Xvfb): it opens from the Analysis
// menu, frames and draws the lens, comes back from its window record with the same view,
// and exports the lens as DXF faces.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QColorDialog>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QImage>
#include <QMatrix4x4>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QTemporaryDir>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>
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
#include "geometry/values/Extents.h"
#include "lens/CircularAperture.h"
#include "lens/Surface.h"
#include "platform/KeyedUnarchiver.h"
#include "platform/Color.h"
#include "platform/UserDefaults.h"
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

  /// Opens a 3-D view from its menu and waits for its traced rays; a null calculator when it failed.
  std::pair<SolidWindowController*, std::shared_ptr<analysis::LayoutCalculator>> openTraced() {
    if (!document->performAction("makeSolidView")) return {};
    SolidWindowController* window = solidWindow();
    if (!window) return {};
    return {window, showAndTrace(window)};
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
  const auto [window, calculator] = openTraced();
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

/// The mouse, as the user moves it over the view: press, one move, release (widget points).
void drag(QWidget* view, QPoint from, QPoint to) {
  auto send = [view](QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held) {
    QMouseEvent e(type, QPointF(at), view->mapToGlobal(QPointF(at)), button, held, Qt::NoModifier);
    QApplication::sendEvent(view, &e);
  };
  send(QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
  send(QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
  send(QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
}

bool viewIsStill(const rendering::OBOpenGL& view) {
  return !view.animatingZoom() && !view.animatingWorldRotation() && !view.animatingWorldCenter();
}

TEST_F(SolidWindowTest, ALeftDragTurnsAFreshViewByTheTrackballAngle) {
  ASSERT_TRUE(document->performAction("makeSolidView"));
  SolidWindowController* window = solidWindow();
  ASSERT_TRUE(window);
  ASSERT_TRUE(showAndTrace(window));
  rendering::OBOpenGL& view = *window->solidView();
  ASSERT_TRUE(testing::pumpUntil([&] { return viewIsStill(view); }));
  // Rotate is the mode shown in the control and checked in the contextual "Mode" menu.
  EXPECT_EQ(view.mouseMode(), rendering::BasicOpenGLView::kRotateMode);
  EXPECT_TRUE(window->window()->findChild<QToolButton*>("rotateModeButton")->isChecked());
  std::unique_ptr<QMenu> menu(solidViewContextMenu(&view));
  auto* modes = menu->findChild<QMenu*>("modeMenu");
  ASSERT_TRUE(modes);
  for (QAction* item : modes->actions()) EXPECT_EQ(item->isChecked(), item->text() == "Rotate") << item->text().toStdString();
  // Nothing to go back or forward to yet.
  window->validateToolbar();
  EXPECT_FALSE(window->toolbarItem("back")->isEnabled());
  EXPECT_FALSE(window->toolbarItem("forward")->isEnabled());

  // From the ball's centre 100 points to the right: on a ball of radius r the start is its
  // top (0, 0, r) and the end (100, 0, √(r² − 100²)), so the turn is asin(100/r) about +y
  // (view y up), applied after the orientation the view had.
  const rendering::GLRotation before = view.worldRotation();
  const int w = view.width(), h = view.height();
  const double r = 0.5 * std::min(w, h);
  ASSERT_GT(r, 100);
  const int cx = w / 2, cy = h / 2;  // the ball's centre, whole points, y up
  drag(&view, QPoint(cx, h - cy), QPoint(cx + 100, h - cy));
  const double angle = std::asin(100 / r) * 180 / M_PI;
  QMatrix4x4 expected, turned;
  expected.rotate(float(angle), 0, 1, 0);
  expected.rotate(before.angle, before.x, before.y, before.z);
  const rendering::GLRotation after = view.worldRotation();
  turned.rotate(after.angle, after.x, after.y, after.z);
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) EXPECT_NEAR(turned(i, j), expected(i, j), 2e-4) << i << "," << j;
  EXPECT_GT(angle, 10);  // a real turn, not a rounding
  EXPECT_EQ(view.trackballRotation().angle, 0);

  window->validateToolbar();
  EXPECT_TRUE(window->toolbarItem("back")->isEnabled());
  EXPECT_EQ(window->toolbarItem("back")->toolTip().toStdString(), "Back (undo Rotation)");
  EXPECT_FALSE(window->toolbarItem("forward")->isEnabled());
}

TEST_F(SolidWindowTest, AfterAPickZoomToSystemFramesTheWholeLensAgain) {
  const auto [window, calculator] = openTraced();
  ASSERT_TRUE(calculator);
  rendering::OBOpenGL& view = *window->solidView();
  ASSERT_TRUE(testing::pumpUntil([&] { return viewIsStill(view); }));
  // Every corner of the whole lens's box inside the view.
  const auto box = calculator->extents();
  ASSERT_TRUE(box && box->active());
  auto wholeLensShown = [&] {
    for (int i = 0; i < 8; ++i) {
      const QPointF at = projected(view, {i & 1 ? box->xMax() : box->xMin(), i & 2 ? box->yMax() : box->yMin(),
                                          i & 4 ? box->zMax() : box->zMin()});
      if (at.x() < -0.5 || at.y() < -0.5 || at.x() > view.width() + 0.5 || at.y() > view.height() + 0.5) return false;
    }
    return true;
  };
  ASSERT_TRUE(wholeLensShown());

  // Select mode from the control; a click off the rays' plane (x = 0.6 of the first lens
  // surface's semidiameter) picks a surface.
  auto* select = window->window()->findChild<QToolButton*>("selectModeButton");
  ASSERT_TRUE(select);
  select->click();
  ASSERT_EQ(view.mouseMode(), rendering::BasicOpenGLView::kSelectMode);
  std::shared_ptr<lens::Surface> first;
  for (const auto& s : calculator->surfacesOfInterest())
    if (!first && std::isfinite(s->thickness()) && s->semidiameter() > 0) first = s;
  ASSERT_TRUE(first);
  const auto vertex = first->originInGlobalCoordinates();
  const QPoint at = projected(view, {vertex.x + 0.6 * first->semidiameter(), vertex.y, vertex.z}).toPoint();
  QTest::mouseClick(&view, Qt::LeftButton, {}, at);
  ASSERT_TRUE(std::dynamic_pointer_cast<const lens::Surface>(view.lastPickedObject()));
  ASSERT_TRUE(view.rotationCenterIsLocked());

  // Zoom to fit now frames the picked surface only.
  window->toolbarItem("zoomToFit")->trigger();
  ASSERT_TRUE(testing::pumpUntil([&] { return viewIsStill(view); }));
  EXPECT_FALSE(wholeLensShown());

  window->window()->findChild<QToolButton*>("zoomToSystemButton")->click();
  ASSERT_TRUE(testing::pumpUntil([&] { return viewIsStill(view); }));
  EXPECT_FALSE(view.rotationCenterIsLocked());
  EXPECT_TRUE(wholeLensShown());

  // Choosing select mode again lets go of a pick too.
  QTest::mouseClick(&view, Qt::LeftButton, {}, at);
  ASSERT_TRUE(view.rotationCenterIsLocked());
  select->click();
  EXPECT_FALSE(view.rotationCenterIsLocked());
  EXPECT_EQ(view.zoomToFitComment(), "");
}

// The stop's aperture is a black ring outside its rim. With the surfaces swept over
// half a turn only, the ring shows alone in the other half.
TEST_F(SolidWindowTest, TheStopsApertureIsDrawn) {
  const auto [window, calculator] = openTraced();
  ASSERT_TRUE(calculator);
  rendering::OBOpenGL& view = *window->solidView();
  std::shared_ptr<lens::Surface> stop;
  for (const auto& s : calculator->surfacesOfInterest())
    if (s->isStop()) stop = s;
  ASSERT_TRUE(stop);
  // The user gives the stop a clear aperture (the lens file has none).
  stop->setApertureType("Circular aperture");
  const auto aperture = std::dynamic_pointer_cast<lens::CircularAperture>(stop->apertureObject());
  ASSERT_TRUE(aperture);
  ASSERT_GT(aperture->rMax(), 0);
  ASSERT_TRUE(testing::pumpUntil([&] { return calculator->tracedRays() && !calculator->needsWork(); }));
  testing::settle();
  view.setClearColor(platform::Color::make(1, 1, 1, 1));
  window->optionsPanelController()->panel()->findChild<QDoubleSpinBox*>("phiMax")->setValue(180);
  view.orient("XY");
  ASSERT_TRUE(testing::pumpUntil([&] { return viewIsStill(view); }));
  const QImage image = render(view);
  auto darkAround = [&](double phiDegrees) {
    const double phi = phiDegrees * M_PI / 180, rho = 1.1 * aperture->rMax();
    const auto p = stop->transform().transformToGlobal({rho * std::cos(phi), rho * std::sin(phi), 0});
    const QPointF c = projected(view, p);
    int dark = 0;
    for (int dy = -1; dy <= 1; ++dy)
      for (int dx = -1; dx <= 1; ++dx) dark += qGray(image.pixel(int(c.x()) + dx, int(c.y()) + dy)) < 40;
    return dark;
  };
  EXPECT_GE(darkAround(225), 5);
  EXPECT_GE(darkAround(315), 5);
}

// Like a new layout, a new 3-D view traces every field, and its panel says so.
TEST_F(SolidWindowTest, ANewViewTracesEveryField) {
  const auto lens = document->lens();
  ASSERT_GT(lens->fieldArray().size(), 1u);
  const auto [window, calculator] = openTraced();
  ASSERT_TRUE(calculator);
  EXPECT_EQ(calculator->fieldOfInterestKeyPath(), "");
  EXPECT_EQ(calculator->fieldsOfInterest().size(), lens->fieldArray().size());
  auto* fields = window->optionsPanelController()->panel()->findChild<QComboBox*>("fieldOfInterestKeyPath");
  ASSERT_TRUE(fields);
  EXPECT_EQ(fields->currentText().toStdString(), "All fields");
}

class SolidWindowDefaultsTest : public SolidWindowTest {
 protected:
  void SetUp() override {
    for (const char* key : kColorKeys) saved.push_back(platform::UserDefaults::standard().objectForKey(key));
    SolidWindowTest::SetUp();
  }
  void TearDown() override {
    SolidWindowTest::TearDown();
    for (std::size_t i = 0; i < saved.size(); ++i) platform::UserDefaults::standard().setObject(kColorKeys[i], saved[i]);
  }
  static constexpr const char* kColorKeys[] = {"OpenGL clearColor", "OpenGL lightAmbientColor",
                                               "OpenGL lightDiffuseColor", "OpenGL lightSpecularColor"};
  std::vector<platform::Value> saved;
};

TEST_F(SolidWindowDefaultsTest, ABackgroundChosenInThePanelShowsAndIsKeptForTheNextWindow) {
  ASSERT_TRUE(document->performAction("makeSolidView"));
  SolidWindowController* window = solidWindow();
  ASSERT_TRUE(window);
  ASSERT_TRUE(showAndTrace(window));
  QWidget* panel = window->optionsPanelController()->panel();
  auto* background = panel->findChild<QPushButton*>("clearColor");
  ASSERT_TRUE(background);
  const QColor chosen(40, 200, 120);
  // The colour dialog is modal: answer it from inside its own loop.
  QTimer::singleShot(0, [&] {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* dialog = qobject_cast<QColorDialog*>(w); dialog && dialog->isVisible()) {
        dialog->setCurrentColor(chosen);
        dialog->accept();
      }
  });
  background->click();
  auto shows = [&](rendering::OBOpenGL& view) {
    const QColor corner = render(view).pixelColor(3, 3);
    return std::abs(corner.red() - chosen.red()) <= 1 && std::abs(corner.green() - chosen.green()) <= 1 &&
           std::abs(corner.blue() - chosen.blue()) <= 1;
  };
  EXPECT_TRUE(shows(*window->solidView()));
  panel->findChild<QPushButton*>("saveDefaultColors")->click();
  window->close();
  testing::settle();

  ASSERT_TRUE(document->performAction("makeSolidView"));
  SolidWindowController* again = solidWindow();
  ASSERT_TRUE(again);
  ASSERT_TRUE(showAndTrace(again));
  EXPECT_NEAR(again->solidView()->clearColor()->green(), 200 / 255.0, 1e-6);
  EXPECT_TRUE(shows(*again->solidView()));

  // The lens view's own factory look: a white background.
  again->optionsPanelController()->panel()->findChild<QPushButton*>("restoreFactoryColors")->click();
  EXPECT_EQ(again->solidView()->clearColor()->red(), 1);
  EXPECT_EQ(again->solidView()->clearColor()->blue(), 1);
}

}  // namespace
}  // namespace orb::app
