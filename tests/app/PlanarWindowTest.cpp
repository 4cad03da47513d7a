// The layout window on the double Gauss: the document opens in it, it frames
// the lens once and draws the traced rays, comes back from its window record
// with the same zoom, and a drag of selected surfaces is one undoable thickness
// edit. Its fields are chosen like any ray analysis's, its selection is the
// surface table's, a paste of surfaces is one undo step, and every toolbar item
// has an icon.
#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QIcon>
#include <QImage>
#include <QMimeData>
#include <QToolBar>
#include <QMouseEvent>
#include <QTest>
#include <QUndoStack>
#include <cmath>

#include "AnalysisWindowTestSupport.h"
#include "AppTestSupport.h"
#include "analysis/LayoutCalculator.h"
#include "app/document/WindowActions.h"
#include "app/tables/SurfaceTable.h"
#include "app/windows/OptionPanelController.h"
#include "app/windows/SurfaceDataWindow.h"
#include "app/windows/LayoutPlanarModel.h"
#include "app/windows/OBWindow.h"
#include "app/windows/PlanarWindow.h"
#include "geometry/values/Extents.h"
#include "lens/Field.h"
#include "lens/Lens.h"
#include "lens/Surface.h"
#include "platform/Color.h"
#include "platform/KeyedUnarchiver.h"
#include "rendering/PlanarView.h"

namespace orb::app {
namespace {

using rendering::PlanarView;

class PlanarWindowTest : public testing::DoubleGaussDocumentTest<> {
 protected:
  PlanarWindowController* layoutWindow() const {
    for (auto* c : document->windowControllers())
      if (auto* p = qobject_cast<PlanarWindowController*>(c); p && !p->isClosing()) return p;
    return nullptr;
  }

  /// Shows the window and waits for the traced rays and the first fit.
  std::shared_ptr<analysis::LayoutCalculator> showAndTrace(PlanarWindowController* window) {
    window->window()->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(window->window()));
    auto calculator = std::dynamic_pointer_cast<analysis::LayoutCalculator>(window->calculator());
    EXPECT_TRUE(calculator);
    if (!calculator) return nullptr;
    EXPECT_TRUE(testing::pumpUntil(
        [&] { return calculator->tracedRays() && !calculator->needsWork() && !window->zoomToFitIsPending(); }));
    testing::settle();
    return calculator;
  }

  /// Opens a layout from its menu and waits for its traced rays; a null calculator when it failed.
  std::pair<PlanarWindowController*, std::shared_ptr<analysis::LayoutCalculator>> openTraced() {
    if (!document->performAction("makeLayout")) return {};
    PlanarWindowController* window = layoutWindow();
    if (!window) return {};
    return {window, showAndTrace(window)};
  }

  /// The view point (y down, as the widget's pixels) of a lens point on the
  /// section.
  static QPointF pixelFor(PlanarView& view, double z, double y) {
    const QPointF v = view.viewPointForUserPoint(QPointF(z, y));
    return {v.x(), view.height() - v.y()};
  }

  static void mouse(PlanarView& view, QEvent::Type type, QPointF at) {
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(Qt::LeftButton);
    QMouseEvent event(type, at, view.mapToGlobal(at), Qt::LeftButton, held, Qt::NoModifier);
    QApplication::sendEvent(&view, &event);
  }

  /// Drags a selection rectangle across the axis from z = zA to z = zB.
  static void selectAcross(PlanarView& view, double zA, double zB) {
    view.setMouseMode(rendering::ZoomView::Select);
    const double h = (view.yMax() - view.yMin()) / 4;
    mouse(view, QEvent::MouseButtonPress, pixelFor(view, zA, h));
    mouse(view, QEvent::MouseMove, pixelFor(view, zB, -h));
    mouse(view, QEvent::MouseButtonRelease, pixelFor(view, zB, -h));
  }

  /// Vertex z of each surface of the lens, in the lens's frame.
  std::vector<double> vertexZ() const {
    std::vector<double> z;
    for (const auto& s : document->lens()->surfaceArray()) z.push_back(s->originInGlobalCoordinates().z);
    return z;
  }
};

TEST_F(PlanarWindowTest, OpensAsTheMainWindowFramesTheLensOnceAndDrawsTheRays) {
  document->makeWindowControllers();
  ASSERT_FALSE(document->windowControllers().empty());
  // The layout opens beside the surface data editor.
  PlanarWindowController* window = nullptr;
  for (auto* c : document->windowControllers())
    if (auto* p = qobject_cast<PlanarWindowController*>(c); p && !window) window = p;
  ASSERT_TRUE(window) << "no layout among the document's windows";
  EXPECT_EQ(window->nibName(), "PlanarView");
  EXPECT_EQ(window->window()->windowTitle().toStdString().rfind("Layout", 0), 0u);
  const auto calculator = showAndTrace(window);
  ASSERT_TRUE(calculator);
  PlanarView& view = *window->planarView();

  // Framed once, at once, as the lens's ZY box with a 5 % margin, and with no
  // history.
  const auto box = calculator->extents();
  ASSERT_TRUE(box && box->active());
  const double zMid = (box->zMin() + box->zMax()) / 2, zHalf = 1.05 * (box->zMax() - box->zMin()) / 2;
  const double yMid = (box->yMin() + box->yMax()) / 2, yHalf = 1.05 * (box->yMax() - box->yMin()) / 2;
  EXPECT_NEAR(view.xMin(), zMid - zHalf, 1e-9);
  EXPECT_NEAR(view.xMax(), zMid + zHalf, 1e-9);
  EXPECT_NEAR(view.yMin(), yMid - yHalf, 1e-9);
  EXPECT_NEAR(view.yMax(), yMid + yHalf, 1e-9);
  EXPECT_FALSE(view.canGoBack());
  window->validateToolbar();
  EXPECT_EQ(window->toolbarItem("back")->toolTip().toStdString(), "Disabled because no view action to undo");
  EXPECT_EQ(window->toolbarItem("forward")->toolTip().toStdString(), "Disabled because no view action to redo");
  EXPECT_EQ(
      window->toolbarItemIdentifiers(),
      (std::vector<std::string>{"back", "forward", "zoomToFit", CalculatorWindowController::kFlexibleSpace, "sources",
                                "SDE", "glasses", CalculatorWindowController::kFlexibleSpace, "dice", "options"}));

  // Rays in the widest air gap of the lens: between the two vertices, off the
  // axis, some pixels carry a ray's colour.
  const auto z = vertexZ();
  const auto& surfaces = document->lens()->surfaceArray();
  std::size_t gap = 0;
  for (std::size_t i = 1; i + 2 < surfaces.size(); ++i) {
    const auto& s = surfaces[i];
    if (std::isfinite(s->thickness()) && !s->glass() && (gap == 0 || z[i + 1] - z[i] > z[gap + 1] - z[gap])) gap = i;
  }
  ASSERT_GT(gap, 0u);
  std::vector<QColor> rayColours;
  for (const auto& r : *calculator->raysOfInterest())
    if (const auto c = calculator->colorForRay(r))
      rayColours.push_back(QColor::fromRgbF(float(c->red()), float(c->green()), float(c->blue())));
  ASSERT_FALSE(rayColours.empty());
  const QImage image = view.grab().toImage();
  const int x0 = int(std::ceil(pixelFor(view, z[gap], 0).x())) + 2,
            x1 = int(std::floor(pixelFor(view, z[gap + 1], 0).x())) - 2;
  ASSERT_LT(x0, x1);
  const int axisRow = int(std::lround(pixelFor(view, 0, 0).y()));
  int rayPixels = 0;
  for (int x = x0; x <= x1; ++x)
    for (int y = 0; y < image.height(); ++y) {
      if (std::abs(y - axisRow) < 2) continue;
      const QColor p = image.pixelColor(x, y);
      // Thin antialiased lines blend with the white ground: match the hue, not
      // the value.
      if (p.hsvSaturationF() < 0.15f) continue;
      for (const QColor& c : rayColours)
        if (std::abs(p.hsvHue() - c.hsvHue()) < 12) {
          ++rayPixels;
          break;
        }
    }
  EXPECT_GE(rayPixels, x1 - x0) << "too few ray pixels between surfaces " << gap << " and " << gap + 1;

  // Only once: later drawings leave the user's zoom alone; "showLayout" brings
  // this window back.
  const rendering::ZoomData mine{view.xMin() + 5, view.xMax() - 5, view.yMin() + 1, view.yMax() - 1};
  view.setZoomData(mine);
  calculator->randomize();
  ASSERT_TRUE(testing::pumpUntil([&] { return !calculator->needsWork(); }));
  testing::settle();
  EXPECT_EQ(view.zoomData().bytes(), mine.bytes());
  const auto count = document->windowControllers().size();
  ASSERT_TRUE(document->performAction("showLayout"));
  EXPECT_EQ(document->windowControllers().size(), count);
  EXPECT_EQ(view.zoomData().bytes(), mine.bytes());
}

TEST_F(PlanarWindowTest, ComesBackFromItsRecordWithTheSameZoom) {
  ASSERT_TRUE(document->performAction("makeLayout"));
  PlanarWindowController* window = layoutWindow();
  ASSERT_TRUE(window);
  ASSERT_TRUE(showAndTrace(window));
  PlanarView& view = *window->planarView();
  const rendering::ZoomData saved{10, 60, -12, 9};
  view.setZoomData(saved);
  view.setOrientation(PlanarView::ZX);
  const platform::Array records = document->presentWindowRestorationDictionaries();
  window->close();
  testing::settle();
  ASSERT_FALSE(layoutWindow());

  platform::Dictionary state;
  for (const auto& r : records) {
    const auto decoded = platform::KeyedUnarchiver::unarchiveObjectWithData(r.asDictionary().get("data").asData());
    if (decoded.isDictionary() && decoded.asDictionary().get("nibName") == platform::Value("PlanarView"))
      state = decoded.asDictionary();
  }
  ASSERT_EQ(state.get("controllerClassName"), platform::Value("PlanarWindowController"));
  ASSERT_TRUE(state.get("zoomData").kind() == platform::Value::Kind::Data);
  auto* restored =
      dynamic_cast<PlanarWindowController*>(makeController("PlanarWindowController", "PlanarView", document));
  ASSERT_TRUE(restored);
  restored->window();
  restored->restoreState(state);
  ASSERT_TRUE(showAndTrace(restored));
  EXPECT_EQ(restored->planarView()->zoomData().bytes(), saved.bytes());
  EXPECT_EQ(restored->planarView()->orientation(), PlanarView::ZX);
}

TEST_F(PlanarWindowTest, DraggingSelectedSurfacesChangesTwoThicknessesAsOneUndoableEdit) {
  const auto [window, calculator] = openTraced();
  ASSERT_TRUE(calculator);
  PlanarView& view = *window->planarView();
  const auto& surfaces = document->lens()->surfaceArray();
  const auto z = vertexZ();
  // The block: the first lens surface with a glass behind it and the surface
  // closing it.
  std::size_t first = 0;
  for (std::size_t i = 2; i + 2 < surfaces.size() && !first; ++i)
    if (surfaces[i]->glass() && !surfaces[i - 1]->glass() && std::isfinite(surfaces[i - 1]->thickness())) first = i;
  ASSERT_GT(first, 0u);
  const std::size_t last = first + 1;
  std::vector<double> thickness;
  for (const auto& s : surfaces) thickness.push_back(s->thickness());

  // A rectangle across the axis from halfway before the block to halfway past
  // it.
  view.setMouseMode(rendering::ZoomView::Select);
  const double zA = (z[first - 1] + z[first]) / 2, zB = (z[last] + z[last + 1]) / 2;
  const double h = (view.yMax() - view.yMin()) / 4;
  mouse(view, QEvent::MouseButtonPress, pixelFor(view, zA, h));
  mouse(view, QEvent::MouseMove, pixelFor(view, zB, -h));
  mouse(view, QEvent::MouseButtonRelease, pixelFor(view, zB, -h));
  ASSERT_TRUE(view.drawsSelectionRect());
  ASSERT_TRUE(calculator->selectedSurfaceRange());
  EXPECT_EQ(*calculator->selectedSurfaceRange(), std::make_pair(first, last));
  testing::settle();
  const int undoSteps = document->undoStack().count();

  // Drag the band on the axis by 12 pixels: dz is 12 pixel widths of lens.
  const QRectF band = view.viewRectForSurfaceMove();
  ASSERT_FALSE(band.isEmpty());
  const QPointF from(band.center().x(), view.height() - band.center().y());
  const double dz =
      view.userPointForViewPoint(band.center() + QPointF(12, 0)).x() - view.userPointForViewPoint(band.center()).x();
  mouse(view, QEvent::MouseButtonPress, from);
  mouse(view, QEvent::MouseMove, from + QPointF(5, 0));
  testing::settle();  // the lens updates in the middle of the drag, as it does
                      // under a hand
  mouse(view, QEvent::MouseMove, from + QPointF(12, 0));
  mouse(view, QEvent::MouseButtonRelease, from + QPointF(12, 0));
  ASSERT_TRUE(testing::pumpUntil([&] { return document->snapshotIsFresh(); }));
  testing::settle();
  ASSERT_GT(std::abs(dz), 0);
  for (std::size_t i = 0; i < surfaces.size(); ++i) {
    const double expected = i == first - 1 ? thickness[i] + dz : i == last ? thickness[i] - dz : thickness[i];
    if (std::isfinite(expected)) {
      EXPECT_NEAR(surfaces[i]->thickness(), expected, 1e-9) << "surface " << i;
    }
  }
  EXPECT_EQ(document->undoStack().count(), undoSteps + 1);

  document->undo();
  testing::settle();
  const auto& undone = document->lens()->surfaceArray();
  ASSERT_EQ(undone.size(), thickness.size());
  for (std::size_t i = 0; i < undone.size(); ++i)
    if (std::isfinite(thickness[i])) {
      EXPECT_NEAR(undone[i]->thickness(), thickness[i], 1e-12) << "surface " << i;
    }
}

// The options panel offers the fields as every ray analysis does; with all three
// fields of the double Gauss chosen, the layout draws three beams in three
// colours (rays are coloured by field), each colour on screen.
TEST_F(PlanarWindowTest, ChoosingAllFieldsDrawsEachFieldsRaysInItsOwnColour) {
  ASSERT_TRUE(document->performAction("makeLayout"));
  PlanarWindowController* window = layoutWindow();
  ASSERT_TRUE(window);
  auto calculator = showAndTrace(window);
  ASSERT_TRUE(calculator);
  ASSERT_EQ(document->lens()->countOfFieldArray(), 3u);
  ASSERT_TRUE(window->optionsPanelController());
  auto* fields = window->optionsPanelController()->panel()->findChild<QComboBox*>(QStringLiteral("fieldOfInterestKeyPath"));
  ASSERT_TRUE(fields) << "the layout offers no field choice";
  ASSERT_EQ(fields->count(), 4);  // all fields, then each one
  const int all = fields->findData(QString());
  ASSERT_GE(all, 0);
  fields->setCurrentIndex(all);
  emit fields->activated(all);
  ASSERT_TRUE(testing::pumpUntil([&] {
    return calculator->fieldsOfInterest().size() == 3 && !calculator->needsWork() && !calculator->hasWorkerThread();
  }));
  testing::settle();

  std::vector<const lens::Field*> fieldsSeen;
  std::vector<QColor> colours;
  for (const auto& r : *calculator->raysOfInterest()) {
    const lens::Field* f = r.tags().field.get();
    if (std::find(fieldsSeen.begin(), fieldsSeen.end(), f) != fieldsSeen.end()) continue;
    fieldsSeen.push_back(f);
    const auto c = calculator->colorForRay(r);
    ASSERT_TRUE(c);
    colours.push_back(QColor::fromRgbF(float(c->red()), float(c->green()), float(c->blue())));
  }
  ASSERT_EQ(fieldsSeen.size(), 3u);
  for (std::size_t i = 0; i < colours.size(); ++i)
    for (std::size_t j = i + 1; j < colours.size(); ++j) EXPECT_NE(colours[i].rgb(), colours[j].rgb());

  // Between the last lens surface and the image every beam is in the air: each
  // colour covers pixels there.
  window->planarView()->zoomToFit();
  testing::settle();
  PlanarView& view = *window->planarView();
  const auto z = vertexZ();
  const QImage image = view.grab().toImage();
  const int x0 = int(pixelFor(view, z[z.size() - 2], 0).x()) + 3, x1 = int(pixelFor(view, z.back(), 0).x()) - 3;
  ASSERT_LT(x0, x1);
  for (const QColor& c : colours) {
    int pixels = 0;
    for (int x = x0; x <= x1; ++x)
      for (int y = 0; y < image.height(); ++y) {
        const QColor p = image.pixelColor(x, y);
        if (p.hsvSaturationF() > 0.15f && std::abs(p.hsvHue() - c.hsvHue()) < 12) ++pixels;
      }
    EXPECT_GE(pixels, x1 - x0) << "too few pixels of " << c.name().toStdString();
  }
}

// A rectangle that selects surfaces selects the same rows of the surface table;
// rows selected in the table show in the layout as a rectangle over those
// surfaces (and only those), and an empty table selection clears it.
TEST_F(PlanarWindowTest, RectangleSelectionIsTheSurfaceTablesSelectionAndBack) {
  const auto [window, calculator] = openTraced();
  ASSERT_TRUE(calculator);
  auto* editor = showWindow<SurfaceDataWindowController>("showLensDataEditor");
  ASSERT_TRUE(editor);
  SurfaceArrayController& table = *editor->surfaceArrayController();
  PlanarView& view = *window->planarView();
  const auto z = vertexZ();
  ASSERT_GT(z.size(), 8u);

  selectAcross(view, (z[2] + z[3]) / 2, (z[5] + z[6]) / 2);
  ASSERT_TRUE(calculator->selectedSurfaceRange());
  EXPECT_EQ(*calculator->selectedSurfaceRange(), (std::pair<std::size_t, std::size_t>(3, 5)));
  EXPECT_EQ(table.selectionIndexes(), (std::vector<std::size_t>{3, 4, 5}));

  table.setSelectionIndexes({6, 7});
  ASSERT_TRUE(calculator->selectedSurfaceRange());
  EXPECT_EQ(*calculator->selectedSurfaceRange(), (std::pair<std::size_t, std::size_t>(6, 7)));
  ASSERT_TRUE(view.drawsSelectionRect());
  const QRectF r = view.selectionRect().normalized();
  EXPECT_LT(r.left(), z[6]);
  EXPECT_GT(r.right(), z[7]);
  EXPECT_GT(r.left(), z[5]);
  EXPECT_LT(r.right(), z[8]);
  EXPECT_LT(r.top(), 0);  // across the axis, so the band on it drags the surfaces
  EXPECT_GT(r.bottom(), 0);
  EXPECT_EQ(table.selectionIndexes(), (std::vector<std::size_t>{6, 7}));  // no echo widens it

  table.selectNone();
  EXPECT_FALSE(view.drawsSelectionRect());
  EXPECT_FALSE(calculator->selectedSurfaceRange());
}

// Surfaces pasted onto the layout go into the lens before the image surface (no
// selection), become the selection, and are one undo step: undo takes them all
// out. Data that holds no surfaces is refused and changes nothing.
TEST_F(PlanarWindowTest, PastedSurfacesGoIntoTheLensAsOneUndoStep) {
  const auto [window, calculator] = openTraced();
  ASSERT_TRUE(calculator);
  ASSERT_TRUE(testing::pumpUntil([&] { return document->snapshotIsFresh(); }));
  PlanarView& view = *window->planarView();
  const auto lens = document->lens();
  const std::size_t count = lens->surfaceArray().size();
  const int undoSteps = document->undoStack().count();

  QMimeData junk;
  junk.setData(QString::fromUtf8(rendering::kSurfacePasteboardType), "not an archive");
  EXPECT_FALSE(view.pasteFromMimeData(&junk));
  EXPECT_EQ(lens->surfaceArray().size(), count);

  std::vector<ObjectPtr> pasted;
  for (const char* comment : {"pasted one", "pasted two"}) {
    auto s = lens::Surface::create<lens::Surface>();
    s->setThickness(2);
    s->setComment(comment);
    pasted.push_back(s);
  }
  QMimeData data;
  data.setData(QString::fromUtf8(rendering::kSurfacePasteboardType), DNDArrayController::archiveObjects(pasted));
  ASSERT_TRUE(view.pasteFromMimeData(&data));
  ASSERT_TRUE(testing::pumpUntil([&] { return document->snapshotIsFresh(); }));
  testing::settle();
  const auto& surfaces = lens->surfaceArray();
  ASSERT_EQ(surfaces.size(), count + 2);
  EXPECT_EQ(surfaces[count - 1]->comment(), "pasted one");
  EXPECT_EQ(surfaces[count]->comment(), "pasted two");
  EXPECT_EQ(document->selectedSurfaceIndexes(), (std::vector<std::size_t>{count - 1, count}));
  EXPECT_EQ(document->undoStack().count(), undoSteps + 1);
  EXPECT_EQ(document->undoStack().undoText().toStdString(), "Paste Surfaces");

  document->undo();
  testing::settle();
  ASSERT_EQ(lens->surfaceArray().size(), count);
  for (const auto& s : lens->surfaceArray()) EXPECT_EQ(s->comment().rfind("pasted", 0), std::string::npos);
}

// Every item the layout and the surface table can show has an icon that draws
// something at the toolbar's size, and the labels stay a display mode away.
TEST_F(PlanarWindowTest, EveryToolbarItemHasAnIconAndItsLabelStaysAvailable) {
  ASSERT_TRUE(document->performAction("makeLayout"));
  PlanarWindowController* window = layoutWindow();
  ASSERT_TRUE(window);
  auto* editor = showWindow<SurfaceDataWindowController>("showLensDataEditor");
  ASSERT_TRUE(editor);
  const QSize size = window->toolbar()->iconSize();
  ASSERT_GE(size.width(), 16);
  auto drawsSomething = [&](const QIcon& icon) {
    const QImage image = icon.pixmap(size).toImage();
    int opaque = 0;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x) opaque += image.pixelColor(x, y).alpha() > 128;
    return opaque > size.width();
  };
  std::vector<std::pair<std::string, QAction*>> items;
  for (const char* id : {"back", "forward", "zoomToFit", "SDE", "sources", "glasses", "sliders", "dice", "pfoc",
                         "tumble", "export", "layout", "options"})
    items.emplace_back(id, window->toolbarItem(id));
  for (const auto& id : SurfaceDataWindowController::toolbarAllowedItemIdentifiers())
    if (id != SurfaceDataWindowController::kFlexibleSpace) items.emplace_back("SDE " + id, editor->toolbarItem(id));
  for (const auto& [id, item] : items) {
    ASSERT_TRUE(item) << id;
    EXPECT_FALSE(item->icon().isNull()) << id;
    EXPECT_TRUE(drawsSomething(item->icon())) << id;
    EXPECT_FALSE(item->text().isEmpty()) << id;
  }
  window->setToolbarDisplayMode(CalculatorWindowController::ToolbarDisplayMode::LabelOnly);
  EXPECT_EQ(window->toolbar()->toolButtonStyle(), Qt::ToolButtonTextOnly);
  window->setToolbarDisplayMode(CalculatorWindowController::ToolbarDisplayMode::IconOnly);
  EXPECT_EQ(window->toolbar()->toolButtonStyle(), Qt::ToolButtonIconOnly);
  window->setToolbarDisplayMode(CalculatorWindowController::ToolbarDisplayMode::Default);
}

}  // namespace
}  // namespace orb::app
