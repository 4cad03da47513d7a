// Lens ▸ Glasses on the double Gauss example, as a user meets it: the lens's glasses
// (SK2 on surface 1; SK16 on 3, 8, 10; F5 on 4, 7, read off DoubleGauss.zmx; the file read
// gives each surface a glass object of its own, so the lens holds six), glasses and
// surfaces dropped on the list, clones, colours, removals and the one-glass editor. Every
// edit is one undo step that puts the lens back as it was.
//
// Also the index plotter and fitter: their glass-library item, their hidden toolbars, and
// a glass-catalog document's own plotter.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QPointer>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QToolBar>
#include <QUndoStack>
#include <cmath>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "AnalysisWindowTestSupport.h"
#include "AppTestSupport.h"
#include "analysis/LensRoles.h"
#include "analysis/PlotDictionary.h"
#include "app/document/DocumentController.h"
#include "app/document/GlassCatalogDocument.h"
#include "app/document/OBAppDel.h"
#include "app/tables/DNDTableView.h"
#include "app/tables/GlassControllers.h"
#include "app/windows/GlassLibraryWindow.h"
#include "app/windows/IndexFitterWindow.h"
#include "app/windows/IndexPlotter.h"
#include "app/windows/OBWindow.h"
#include "app/windows/SmartWindowController.h"
#include "app/windows/SurfaceDataWindow.h"
#include "app/tables/SurfaceTable.h"
#include "lens/Lens.h"
#include "lens/Surface.h"
#include "materials/Glass.h"
#include "materials/ZemaxGlass.h"
#include "platform/NotificationCenter.h"
#include "rendering/ZoomPlotView.h"

namespace orb::app {
namespace {

using GlassPtr = std::shared_ptr<materials::Glass>;

const std::vector<std::string> kFileGlasses{"SK2", "SK16", "F5", "F5", "SK16", "SK16"};

QAction* actionNamed(QWidget* window, const char* name) {
  if (!window) return nullptr;
  for (QAction* a : window->findChildren<QAction*>())
    if (a->objectName() == QLatin1String(name)) return a;
  return nullptr;
}

/// A drop of `data` at `pos` of the table, as the mouse would release it.
bool dropOn(QWidget* target, const QMimeData* data, QPoint pos) {
  QDragEnterEvent enter(pos, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &enter);
  QDragMoveEvent over(pos, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &over);
  QDropEvent drop(QPointF(pos), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
  drop.ignore();
  QApplication::sendEvent(target, &drop);
  return drop.isAccepted();
}
bool dropOn(QTableView* table, const QMimeData* data, QPoint pos) { return dropOn(table->viewport(), data, pos); }

QPoint belowTheRows(QTableView* table) { return {4, table->viewport()->height() - 2}; }
QPoint middleOfRow(QTableView* table, int row) { return table->visualRect(table->model()->index(row, 0)).center(); }
QPoint topEdgeOfRow(QTableView* table, int row) {
  return table->visualRect(table->model()->index(row, 0)).topLeft() + QPoint(4, 1);
}

/// Each glass's colour as text ("none" without one).
std::vector<std::string> glassColors(const lens::Lens& lens) {
  std::vector<std::string> colors;
  for (const auto& g : lens.glassArray()) {
    const auto& c = g->color();
    colors.push_back(c ? QColor::fromRgbF(float(c->red()), float(c->green()), float(c->blue())).name().toStdString()
                       : std::string("none"));
  }
  return colors;
}

std::vector<std::string> glassNames(const lens::Lens& lens) {
  std::vector<std::string> names;
  for (const auto& g : lens.glassArray()) names.push_back(g->name());
  return names;
}

/// Each surface's glass name ("" for air), surface by surface.
std::vector<std::string> surfaceGlassNames(const lens::Lens& lens) {
  std::vector<std::string> names;
  for (const auto& s : lens.surfaceArray()) names.push_back(s->glass() ? s->glass()->name() : std::string());
  return names;
}

/// A drag of the named glasses out of the application's glass library, as the user starts it.
QMimeData* dragFromGlassLibrary(const std::vector<std::string>& names) {
  GlassLibraryWindowController* library = showGlassLibrary();
  if (!library) return nullptr;
  GlassCatalogController& glasses = *library->glassController();
  std::vector<std::size_t> rows;
  for (const auto& name : names)
    for (std::size_t r = 0; r < glasses.arrangedObjects().size(); ++r)
      if (std::dynamic_pointer_cast<materials::Glass>(glasses.arrangedObjects()[r])->name() == name) {
        rows.push_back(r);
        break;
      }
  if (rows.size() != names.size()) return nullptr;
  return glasses.writeRows(sortedUnique(rows));
}

class LensGlassWindowTest : public testing::DoubleGaussDocumentTest<> {
 protected:
  OBWindow* window = nullptr;
  QTableView* table = nullptr;
  GlassCatalogController* list = nullptr;
  std::shared_ptr<lens::Lens> lens;

  void SetUp() override {
    testing::DoubleGaussDocumentTest<>::SetUp();
    lens = document->lens();
    ASSERT_TRUE(testing::pumpUntil([&] { return lens->isReady() && !lens->isBusy(); }));
    // Lens ▸ Glasses in the surface data editor's menu bar.
    ASSERT_TRUE(document->performAction("showLensDataEditor"));
    QWidget* editor = nullptr;
    for (auto* c : document->windowControllers())
      if (c->nibName() != "GlassMonitor") editor = c->window();
    QAction* glasses = actionNamed(editor, "showGlassMonitor");
    ASSERT_TRUE(glasses);
    glasses->trigger();
    for (auto* c : document->windowControllers())
      if (c->nibName() == "GlassMonitor") window = c->window();
    ASSERT_TRUE(window);
    window->show();
    table = window->findChild<QTableView*>(QStringLiteral("glassTable"));
    list = window->findChild<GlassCatalogController*>(QStringLiteral("glassArrayController"));
    ASSERT_TRUE(table && list);
    testing::settle();
  }

  void TearDown() override {
    if (auto* library = showGlassLibrary()) library->close();
    testing::DoubleGaussDocumentTest<>::TearDown();
  }

  /// Runs `edit` once the idle-time snapshot is there and waits for the change cycle it
  /// starts.
  ::testing::AssertionResult editAndWait(const std::function<void()>& edit) {
    if (!testing::pumpUntil([&] { return document->snapshotIsFresh(); }))
      return ::testing::AssertionFailure() << "no snapshot";
    int ready = 0;
    auto watch = platform::NotificationCenter::defaultCenter().addObserver(
        analysis::kLensIsReadyNotification, document->reference(), [&](const platform::Notification&) { ++ready; });
    edit();
    if (!testing::pumpUntil([&] { return ready > 0 && !lens->isBusy(); }))
      return ::testing::AssertionFailure() << "no change cycle";
    testing::settle();
    return ::testing::AssertionSuccess();
  }

  QPushButton* button(const char* name) const { return window->findChild<QPushButton*>(QString::fromUtf8(name)); }
  int rowOf(const std::string& name) const {
    for (int r = 0; r < list->rowCount(); ++r)
      if (list->data(list->index(r, 0)).toString().toStdString() == name) return r;
    return -1;
  }
  QString surfacesCell(int row) const { return list->data(list->index(row, 4)).toString(); }
};

TEST_F(LensGlassWindowTest, ListsTheLensGlassesWithTheSurfacesUsingThem) {
  EXPECT_TRUE(window->windowTitle().startsWith(QStringLiteral("Glasses")));
  ASSERT_EQ(glassNames(*lens), kFileGlasses);
  ASSERT_EQ(list->rowCount(), 6);
  const char* surfaces[] = {"1", "3", "4", "7", "8", "10"};
  for (int row = 0; row < 6; ++row) {
    EXPECT_EQ(list->data(list->index(row, 0)).toString().toStdString(), kFileGlasses[std::size_t(row)]);
    EXPECT_EQ(surfacesCell(row), QString::fromUtf8(surfaces[row])) << row;
  }
  EXPECT_NEAR(list->data(list->index(0, 1)).toDouble(), 1.60738, 5e-6);  // SK2
  // Every glass is in use: nothing to remove.
  EXPECT_FALSE(button("removeUnusedGlasses")->isEnabled());
  // The first glass is shown in the one-glass editor.
  auto* single = window->findChild<GlassSingletonController*>(QStringLiteral("oneGlassController"));
  ASSERT_TRUE(single);
  ASSERT_EQ(single->rowCount(), 1);
  EXPECT_EQ(single->arrangedObjects().front(), lens->glassArray().front());
}

// Glasses dragged from the glass library and surfaces dragged from the surface table land
// in the list; a surface whose glass the list holds adds nothing; a colour dropped on a row
// colours that glass. Each drop is one undo step.
TEST_F(LensGlassWindowTest, DropsOfGlassesSurfacesAndColoursAreEachOneUndoStep) {
  auto withFile = [](std::vector<std::string> added) {
    auto names = kFileGlasses;
    names.insert(names.end(), added.begin(), added.end());
    return names;
  };
  std::unique_ptr<QMimeData> glasses(dragFromGlassLibrary({"N-BK7", "N-SF6"}));
  ASSERT_TRUE(glasses);
  ASSERT_TRUE(editAndWait([&] { EXPECT_TRUE(dropOn(table, glasses.get(), belowTheRows(table))); }));
  EXPECT_EQ(glassNames(*lens), withFile({"N-BK7", "N-SF6"}));
  EXPECT_EQ(list->rowCount(), 8);
  EXPECT_EQ(surfacesCell(6), QString());
  EXPECT_TRUE(button("removeUnusedGlasses")->isEnabled());
  EXPECT_EQ(document->undoStack().index(), 1);

  // The list holds N-BK7 now: the same glass dropped again adds nothing.
  std::unique_ptr<QMimeData> again(dragFromGlassLibrary({"N-BK7"}));
  testing::settle();
  dropOn(table, again.get(), belowTheRows(table));
  testing::settle();
  EXPECT_EQ(glassNames(*lens), withFile({"N-BK7", "N-SF6"}));
  EXPECT_EQ(document->undoStack().index(), 1);

  document->undo();
  ASSERT_TRUE(testing::pumpUntil([&] { return list->rowCount() == 6; }));
  EXPECT_EQ(glassNames(*lens), kFileGlasses);

  // A surface dragged from the surface table gives its glass.
  SurfaceDataWindowController* editor = nullptr;
  for (auto* c : document->windowControllers())
    if (auto* e = qobject_cast<SurfaceDataWindowController*>(c)) editor = e;
  ASSERT_TRUE(editor && editor->surfaceArrayController());
  std::unique_ptr<QMimeData> f5Surface(editor->surfaceArrayController()->writeSurfaceRows({4}));
  ASSERT_TRUE(f5Surface->hasFormat(kSurfacePasteboardType));
  const int steps = document->undoStack().index();
  ASSERT_TRUE(editAndWait([&] { EXPECT_TRUE(dropOn(table, f5Surface.get(), belowTheRows(table))); }));
  EXPECT_EQ(glassNames(*lens), withFile({"F5"}));
  EXPECT_EQ(document->undoStack().index(), steps + 1);

  // A colour on the SK16 row.
  const auto colors = glassColors(*lens);
  ASSERT_NE(colors[1], "#ff0000");
  QMimeData red;
  red.setColorData(QColor(255, 0, 0));
  ASSERT_TRUE(editAndWait([&] { EXPECT_TRUE(dropOn(table, &red, middleOfRow(table, 1))); }));
  ASSERT_TRUE(lens->glassArray()[1]->color());
  EXPECT_DOUBLE_EQ(lens->glassArray()[1]->color()->red(), 1.0);
  EXPECT_DOUBLE_EQ(lens->glassArray()[1]->color()->green(), 0.0);
  EXPECT_EQ(list->data(list->index(1, 0), Qt::DecorationRole).value<QColor>(), QColor(255, 0, 0));
  EXPECT_EQ(document->undoStack().index(), steps + 2);
  document->undo();
  ASSERT_TRUE(testing::pumpUntil([&] { return glassColors(*lens) == colors; }));
}

struct ButtonCase {
  const char* button;
  std::vector<int> selectedRows;
  std::vector<std::string> glassesAfter;
  std::vector<std::string> surfaceGlassesAfter;  // empty: the surfaces keep their glasses
};

// Each button of the window is one undo step, and undoing it gives back the lens's glasses
// and the surfaces' glasses as the file has them.
TEST_F(LensGlassWindowTest, EachButtonIsOneUndoStep) {
  const auto fileGlasses = glassNames(*lens);
  const auto fileSurfaces = surfaceGlassNames(*lens);
  const auto fileColors = glassColors(*lens);
  ASSERT_EQ(fileSurfaces[1], "SK2");
  auto withoutSK2 = fileSurfaces;
  withoutSK2[1] = "";  // surface 1 becomes air
  const ButtonCase cases[] = {
      {"cloneAsModelGlasses", {0, 2}, {"SK2", "SK2", "F5", "SK16", "F5", "F5", "SK16", "SK16"}, {}},
      {"cloneAsMutableGlasses", {1}, {"SK2", "m-SK16", "SK16", "F5", "F5", "SK16", "SK16"}, {}},
      {"removeGlasses", {0}, {"SK16", "F5", "F5", "SK16", "SK16"}, withoutSK2},
      {"rainbowColors", {}, fileGlasses, {}},
      {"randomizeColors", {}, fileGlasses, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.button);
    std::vector<std::size_t> rows(c.selectedRows.begin(), c.selectedRows.end());
    list->setSelectionIndexes(rows);
    const int steps = document->undoStack().index();
    ASSERT_TRUE(editAndWait([&] { button(c.button)->click(); }));
    EXPECT_EQ(glassNames(*lens), c.glassesAfter);
    EXPECT_EQ(surfaceGlassNames(*lens), c.surfaceGlassesAfter.empty() ? fileSurfaces : c.surfaceGlassesAfter);
    EXPECT_EQ(list->rowCount(), int(c.glassesAfter.size()));
    if (std::string(c.button) == "cloneAsModelGlasses") {
      // The clones sit at the selected rows, as model glasses no surface uses.
      EXPECT_TRUE(lens->glassArray()[0]->isModel());
      EXPECT_NE(lens->glassArray()[0], lens->surfaceArray()[1]->glass());
      EXPECT_EQ(lens->glassArray()[1], lens->surfaceArray()[1]->glass());
    }
    if (std::string(c.button) == "cloneAsMutableGlasses") EXPECT_TRUE(lens->glassArray()[1]->isMutable());
    // The file's glasses are coloured along the rainbow already: random colours differ.
    if (std::string(c.button) == "randomizeColors") EXPECT_NE(glassColors(*lens), fileColors);
    EXPECT_EQ(document->undoStack().index(), steps + 1);
    document->undo();
    ASSERT_TRUE(testing::pumpUntil([&] { return list->rowCount() == int(fileGlasses.size()); }));
    testing::settle();
    EXPECT_EQ(glassNames(*lens), fileGlasses);
    EXPECT_EQ(surfaceGlassNames(*lens), fileSurfaces);
    EXPECT_EQ(glassColors(*lens), fileColors);
  }

  // Remove Unused takes only the glass no surface uses, in one step.
  std::unique_ptr<QMimeData> bk7(dragFromGlassLibrary({"N-BK7"}));
  ASSERT_TRUE(editAndWait([&] { EXPECT_TRUE(dropOn(table, bk7.get(), belowTheRows(table))); }));
  ASSERT_TRUE(button("removeUnusedGlasses")->isEnabled());
  const int steps = document->undoStack().index();
  ASSERT_TRUE(editAndWait([&] { button("removeUnusedGlasses")->click(); }));
  EXPECT_EQ(glassNames(*lens), fileGlasses);
  EXPECT_FALSE(button("removeUnusedGlasses")->isEnabled());
  EXPECT_EQ(document->undoStack().index(), steps + 1);
}

// A glass dropped on the one-glass editor replaces the selected glass in the list and on
// the surfaces that used it, as a mutable catalog glass whose coefficients the editor
// then edits; each is one undo step.
TEST_F(LensGlassWindowTest, AGlassDroppedOnTheOneGlassEditorReplacesTheSelectedGlass) {
  list->setSelectionIndexes({1});  // the SK16 of surface 3
  auto* singleTable = window->findChild<QTableView*>(QStringLiteral("oneGlassTable"));
  ASSERT_TRUE(singleTable);
  std::unique_ptr<QMimeData> bk7(dragFromGlassLibrary({"N-BK7"}));
  ASSERT_TRUE(bk7);
  ASSERT_TRUE(editAndWait([&] { EXPECT_TRUE(dropOn(singleTable, bk7.get(), topEdgeOfRow(singleTable, 0))); }));
  EXPECT_EQ(glassNames(*lens), (std::vector<std::string>{"SK2", "m-N-BK7", "F5", "F5", "SK16", "SK16"}));
  const auto glass = std::dynamic_pointer_cast<materials::ZemaxGlass>(lens->glassArray()[1]);
  ASSERT_TRUE(glass);
  EXPECT_TRUE(glass->isMutable());
  EXPECT_EQ(lens->surfaceArray()[3]->glass(), glass);
  for (std::size_t s : {8u, 10u}) EXPECT_EQ(lens->surfaceArray()[s]->glass()->name(), "SK16") << s;
  EXPECT_EQ(surfacesCell(1), QStringLiteral("3"));
  EXPECT_EQ(document->undoStack().index(), 1);

  // A mutable copy is named "m-" and its source. The editor shows it; N-BK7 is Sellmeier 1: B1 = 1.03961212 (SCHOTT.AGF).
  auto* glasser = window->findChild<Glasser*>(QStringLiteral("glasser"));
  ASSERT_TRUE(glasser);
  ASSERT_EQ(glasser->glass(), glass);
  ASSERT_EQ(glasser->data(glasser->index(0, Glasser::NameColumn)).toString(), QStringLiteral("K1"));
  EXPECT_NEAR(glasser->data(glasser->index(0, Glasser::ValueColumn), Qt::EditRole).toDouble(), 1.03961212, 1e-8);
  ASSERT_TRUE(glasser->flags(glasser->index(0, Glasser::ValueColumn)) & Qt::ItemIsEditable);
  ASSERT_TRUE(editAndWait([&] {
    EXPECT_TRUE(glasser->setData(glasser->index(0, Glasser::ValueColumn), QStringLiteral("1.1")));
  }));
  EXPECT_DOUBLE_EQ(glass->coefficientDictionary().get("K1").asDouble(), 1.1);
  EXPECT_EQ(document->undoStack().index(), 2);

  document->undo();
  ASSERT_TRUE(testing::pumpUntil([&] {
    auto g = lens->surfaceArray()[3]->glass();
    return g && g->coefficientDictionary().get("K1").asDouble() == 1.03961212;
  }));
  document->undo();
  ASSERT_TRUE(testing::pumpUntil([&] { return glassNames(*lens)[1] == "SK16"; }));
  EXPECT_EQ(surfaceGlassNames(*lens)[3], "SK16");
}

// --- index plotter and fitter ---------------------------------------------------------------

struct IndexWindowsTest : ::testing::Test {
  QTemporaryDir dir;
  void SetUp() override {
    registerGlassCatalogDocument();
    setMessagePresenter([](QWidget*, const std::string&, const std::string&) {});
  }
  void TearDown() override {
    // A copy: closing a document takes it out of the controller's list.
    for (const auto& d : std::vector(DocumentController::shared().documents())) d->close();
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* window = qobject_cast<OBWindow*>(w); window && window->controller()) window->controller()->close();
    testing::settle();
    setMessagePresenter({});
  }
};

// Both windows offer the glass library on their toolbar, which starts hidden.
TEST_F(IndexWindowsTest, PlotterAndFitterOfferTheGlassLibraryOnAToolbarThatStartsHidden) {
  CalculatorWindowController* windows[] = {showIndexPlotter(), showIndexFitter()};
  for (auto* controller : windows) {
    ASSERT_TRUE(controller);
    SCOPED_TRACE(controller->nibName());
    ASSERT_TRUE(controller->toolbar());
    EXPECT_FALSE(controller->isToolbarShown());
    EXPECT_FALSE(controller->toolbar()->isVisible());
    EXPECT_TRUE(controller->isToolbarItemShown("glassLibrary"));
    QAction* item = controller->toolbarItem("glassLibrary");
    ASSERT_TRUE(item);
    EXPECT_EQ(item->text(), QStringLiteral("Glass library"));
    if (auto* library = showGlassLibrary()) library->close();
    testing::settle();
    item->trigger();
    GlassLibraryWindowController* library = showGlassLibrary();
    ASSERT_TRUE(library);
    EXPECT_TRUE(library->window()->isVisible());
    library->close();
    // The user can bring the toolbar back.
    controller->setToolbarShown(true);
    EXPECT_TRUE(controller->toolbar()->isVisible());
    controller->setToolbarShown(false);
  }
}

// A glass catalog's own plotter, from the button of its window: it belongs to that document,
// starts with the catalog's first glasses and finds glasses only that catalog holds; each
// request opens another; the application's plotter does not know those glasses.
TEST_F(IndexWindowsTest, ACatalogsIndexPlotterPlotsThatCatalogsGlasses) {
  // Fused silica (Malitson) under a name no system catalog holds.
  const std::string path = dir.filePath(QStringLiteral("OWN.AGF")).toStdString();
  std::ofstream(path) << "CC own glasses\n"
                         "NM ORB-SILICA 2 458678 1.458464 67.8214 0 0 0\nED 0 0 0 0 0\n"
                         "CD 0.6961663 0.00467914825849 0.4079426 0.01351206307396 0.8974794 97.934002537921 0 0 0 0\n"
                         "OD -1 -1 -1 -1 -1 -1\nLD 0.21 6.7\n";
  const auto document = std::dynamic_pointer_cast<AGFDocument>(OBAppDel::shared().openDocumentWithPath(path, nullptr));
  ASSERT_TRUE(document);
  ASSERT_EQ(document->windowControllers().size(), 1u);
  auto* plot = document->windowControllers().front()->window()->findChild<QPushButton*>(
      QStringLiteral("showIndexPlotter"));
  ASSERT_TRUE(plot);
  plot->click();
  ASSERT_EQ(document->windowControllers().size(), 2u);
  auto* plotter = dynamic_cast<PlotWindowController*>(document->windowControllers().back());
  ASSERT_TRUE(plotter);
  EXPECT_EQ(plotter->document(), document);
  EXPECT_NE(plotter, showIndexPlotter());
  EXPECT_FALSE(plotter->isToolbarShown());
  auto* view = dynamic_cast<rendering::ZoomPlotView*>(plotter->view());
  ASSERT_TRUE(view);
  ASSERT_TRUE(testing::pumpUntil([&] { return view->plotDictionary().find(analysis::plot::kCurves) != nullptr; }));
  const auto curves = view->plotDictionary().get(analysis::plot::kCurves).asArray();
  ASSERT_EQ(curves.size(), 1u);
  const auto& curve = curves.front().asDictionary();
  EXPECT_EQ(curve.get(analysis::plot::kName).asString(), "ORB-SILICA");
  // Malitson's formula at the first wavelength, 400 nm.
  const auto* x = analysis::SeriesValue::from(curve.get(analysis::plot::kXSeries));
  const auto* y = analysis::SeriesValue::from(curve.get(analysis::plot::kYSeries));
  ASSERT_TRUE(x && y);
  ASSERT_DOUBLE_EQ(x->at(0), 400);
  const double L = 0.4 * 0.4;
  const double n = std::sqrt(1 + 0.6961663 * L / (L - 0.00467914825849) + 0.4079426 * L / (L - 0.01351206307396) +
                             0.8974794 * L / (L - 97.934002537921));
  EXPECT_NEAR(y->at(0), n, 1e-9);

  // The application's plotter looks in the system catalog only.
  PlotWindowController* application = showIndexPlotter();
  auto* names = application->window()->findChild<QLineEdit*>(QStringLiteral("glassNames"));
  ASSERT_TRUE(names);
  names->setText(QStringLiteral("ORB-SILICA, N-BK7"));
  emit names->editingFinished();
  auto* unknown = application->window()->findChild<QLabel*>(QStringLiteral("unknownGlasses"));
  ASSERT_TRUE(unknown);
  EXPECT_EQ(unknown->text(), QStringLiteral("Not found: ORB-SILICA"));

  // Another request, another window of the document; closing the document closes both.
  plot->click();
  EXPECT_EQ(document->windowControllers().size(), 3u);
  QPointer<QWidget> plotterWindow = plotter->window();
  document->close();
  testing::settle();
  EXPECT_TRUE(!plotterWindow || !plotterWindow->isVisible());
}

// Glasses dragged from a glass list onto the plotter join its plot.
TEST_F(IndexWindowsTest, GlassesDroppedOnThePlotterArePlotted) {
  PlotWindowController* plotter = showIndexPlotter();
  auto* names = plotter->window()->findChild<QLineEdit*>(QStringLiteral("glassNames"));
  ASSERT_TRUE(names);
  names->setText(QStringLiteral("N-BK7"));
  emit names->editingFinished();
  auto own = materials::Glass::glassWithIndex(1.7, 30);
  QMimeData drag;
  drag.setData(kGlassPasteboardType, DNDArrayController::archiveObjects({own}));
  EXPECT_TRUE(dropOn(plotter->view(), &drag, QPoint(10, 10)));
  EXPECT_EQ(names->text(), QStringLiteral("N-BK7, 1.7,30"));
  auto* view = dynamic_cast<rendering::ZoomPlotView*>(plotter->view());
  ASSERT_TRUE(testing::pumpUntil([&] {
    const auto* curves = view->plotDictionary().find(analysis::plot::kCurves);
    return curves && curves->asArray().size() == 2;
  }));
}

}  // namespace
}  // namespace orb::app
