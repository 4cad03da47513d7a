// The surface-data window's sheets as a user meets them: the aperture and emission cells of the surface table, the
// Sources and Apertures editors, the solve menu whose sheet is cancelled, a model glass turned into a catalog glass,
// and the table's columns at their content's width. Each check reads the lens and the document's undo stack.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QUndoStack>
#include <functional>
#include <memory>
#include <string>

#include "AnalysisWindowTestSupport.h"
#include "AppTestSupport.h"
#include "analysis/LensRoles.h"
#include "app/Messages.h"
#include "app/document/DocumentController.h"
#include "app/document/OBDocument.h"
#include "app/document/WindowActions.h"
#include "app/tables/SolveSheets.h"
#include "app/tables/SurfaceTable.h"
#include "app/windows/EditorWindows.h"
#include "app/windows/OBWindow.h"
#include "app/windows/SurfaceDataWindow.h"
#include "lens/Aperture.h"
#include "lens/Emission.h"
#include "lens/Lens.h"
#include "lens/SolveCodes.h"
#include "lens/Surface.h"
#include "materials/Glass.h"
#include "platform/NotificationCenter.h"

namespace orb::app {
namespace {

class SurfaceSheetsWindowTest : public testing::ExampleDocumentTest {
 protected:
  SurfaceDataWindowController* editor = nullptr;

  std::shared_ptr<lens::Surface> surface(std::size_t i) const { return document->lens()->surfaceArray().at(i); }
  QUndoStack& undo() const { return document->undoStack(); }

  /// Lens ▸ Surface Data, shown.
  SurfaceDataTableView* openSurfaceData() {
    EXPECT_TRUE(document->performAction("showLensDataEditor"));
    for (auto* c : document->windowControllers())
      if (auto* w = qobject_cast<SurfaceDataWindowController*>(c)) editor = w;
    if (!editor) return nullptr;
    editor->window()->show();
    testing::settle();
    return editor->surfaceTable();
  }
  /// Opens an editor of the Lens menu and answers its window.
  OBWindow* openEditor(const char* action, const char* nib) {
    const WindowAction* row = windowAction(action);
    EXPECT_TRUE(row && std::string(row->menu) == "Lens" && windowActionIsAvailable(*row)) << action;
    if (!document->performAction(action)) return nullptr;
    for (auto* c : document->windowControllers())
      if (c->nibName() == nib && c->isWindowLoaded()) {
        c->window()->show();
        testing::settle();
        return c->window();
      }
    return nullptr;
  }

  /// Waits until editing is quiet: the next change registers its own undo step.
  bool quiet() {
    return testing::pumpUntil([&] {
      const auto& lens = *document->lens();
      return lens.isReady() && !lens.isBusy() && document->snapshotIsFresh();
    });
  }
  /// Runs `edit` and waits for the change cycle it starts; answers how many ran.
  int changeCycles(const std::function<void()>& edit, bool expectOne = true) {
    int ready = 0;
    auto observation = platform::NotificationCenter::defaultCenter().addObserver(
        analysis::kLensIsReadyNotification, document->reference(), [&](const platform::Notification&) { ++ready; });
    edit();
    if (expectOne) testing::pumpUntil([&] { return ready > 0 && !document->lens()->isBusy(); });
    testing::settle();
    return ready;
  }

  /// A double click on the cell of `row` in `column`, as a user gives it: the cell's menu.
  QMenu* doubleClickCell(SurfaceDataTableView* table, int row, const char* column) {
    testing::settle();  // menus of earlier clicks are gone
    const int c = table->surfaceController()->columnOf(column);
    EXPECT_GE(c, 0) << column;
    const QModelIndex index = table->model()->index(row, c);
    table->scrollTo(index);
    // What the window system sends for a double click: press, release, double click, release.
    const QPoint at = table->visualRect(index).center();
    QTest::mousePress(table->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseRelease(table->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseRelease(table->viewport(), Qt::LeftButton, {}, at);
    return table->findChild<QMenu*>(QStringLiteral("choicesMenu"));
  }
  static QAction* entry(QMenu* menu, const std::string& text) {
    if (!menu) return nullptr;
    for (QAction* a : menu->actions())
      if (a->text().trimmed().toStdString() == text) return a;
    return nullptr;
  }
  /// Clicks the entry of the cell's menu, which closes the menu as it chooses; false without such an entry.
  static bool choose(QMenu* menu, QAction* action) {
    if (!menu || !action || !menu->isVisible()) return false;
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
    return true;
  }
  SolveSheet* openSheet() const {
    auto* sheets = editor ? editor->solveSheetController() : nullptr;
    return sheets ? sheets->sheet() : nullptr;
  }
  static void press(SolveSheet* sheet, QDialogButtonBox::StandardButton which) {
    sheet->buttons()->button(which)->click();
  }
  static void type(SolveSheet* sheet, const char* key, const QString& text) {
    auto* field = sheet->findChild<QLineEdit*>(QString::fromUtf8(key));
    ASSERT_TRUE(field) << key;
    field->setText(text);
  }
};

// The homogenizing rod: its entrance face's emitter taken off and a Lambertian one set again, and a circular
// aperture set, from the surface table's cells; then the emitter's numerical aperture changed in the Sources editor.
// Each change is one undo step named for what it set; undo takes them back one by one to the rod as it came.
TEST_F(SurfaceSheetsWindowTest, ApertureAndEmitterOfTheRodAreSetFromTheTableAndEditedInSources) {
  open("HomogenizingRod.orb");
  auto* table = openSurfaceData();
  ASSERT_TRUE(table);
  ASSERT_FALSE(surface(1)->apertureObject());
  ASSERT_EQ(surface(1)->emissionType().value_or(""), "Lambertian emission");
  ASSERT_EQ(surface(1)->emission()->numericalAperture(), 0.3);
  ASSERT_TRUE(quiet());
  const int steps = undo().count();

  QMenu* noneMenu = doubleClickCell(table, 1, "emission");
  QAction* none = entry(noneMenu, "None");
  ASSERT_TRUE(none);
  EXPECT_FALSE(none->isChecked());
  EXPECT_EQ(changeCycles([&] { EXPECT_TRUE(choose(noneMenu, none)); }), 1);
  EXPECT_FALSE(surface(1)->emission());
  EXPECT_EQ(undo().count(), steps + 1);
  EXPECT_EQ(undo().undoText().toStdString(), "Emission");

  ASSERT_TRUE(quiet());
  QMenu* circularMenu = doubleClickCell(table, 1, "aperture");
  QAction* circular = entry(circularMenu, "Circular aperture");
  ASSERT_TRUE(circular);
  EXPECT_FALSE(circular->isChecked());
  ASSERT_TRUE(choose(circularMenu, circular));
  auto* sheet = qobject_cast<ApertureSheet*>(openSheet());
  ASSERT_TRUE(sheet);
  EXPECT_EQ(sheet->sheetName(), "SVCircularAperture");
  EXPECT_FALSE(surface(1)->apertureObject());  // nothing is set before OK
  type(sheet, "rMax", "2.5");
  EXPECT_EQ(changeCycles([&] { press(sheet, QDialogButtonBox::Ok); }), 1);
  ASSERT_EQ(surface(1)->apertureType().value_or(""), "Circular aperture");
  EXPECT_EQ(surface(1)->apertureObject()->valueForKey("rMax").asDouble(), 2.5);
  EXPECT_EQ(surface(1)->apertureObject()->valueForKey("rMin").asDouble(), 0.0);
  EXPECT_EQ(undo().count(), steps + 2);
  EXPECT_EQ(undo().undoText().toStdString(), "Aperture");
  const QModelIndex apertureCell = table->model()->index(1, table->surfaceController()->columnOf("aperture"));
  EXPECT_EQ(table->model()->data(apertureCell).toString(), "Circular aperture");

  ASSERT_TRUE(quiet());
  QMenu* lambertianMenu = doubleClickCell(table, 1, "emission");
  QAction* lambertian = entry(lambertianMenu, "Lambertian emission");
  ASSERT_TRUE(lambertian);
  ASSERT_TRUE(choose(lambertianMenu, lambertian));
  sheet = qobject_cast<ApertureSheet*>(openSheet());
  ASSERT_TRUE(sheet);
  EXPECT_EQ(sheet->sheetName(), "_LambertianEmission");
  type(sheet, "numericalAperture", "0.25");
  type(sheet, "wavelengthInNanometers", "532");
  EXPECT_EQ(changeCycles([&] { press(sheet, QDialogButtonBox::Ok); }), 1);
  ASSERT_TRUE(surface(1)->emission());
  EXPECT_EQ(surface(1)->emissionType().value_or(""), "Lambertian emission");
  EXPECT_EQ(surface(1)->emission()->numericalAperture(), 0.25);
  EXPECT_EQ(surface(1)->emission()->wavelengthInNanometers(), 532.0);
  EXPECT_TRUE(surface(1)->apertureObject()->isSoft());  // an emitter's aperture passes every ray
  EXPECT_EQ(undo().count(), steps + 3);
  EXPECT_EQ(undo().undoText().toStdString(), "Emission");

  // Lens ▸ Sources: the emitter's row, its settings.
  OBWindow* sources = openEditor("showSources", kSourcesNibName);
  ASSERT_TRUE(sources);
  auto* emitters = sources->findChild<QTableView*>(QStringLiteral("emitters"));
  auto* settings = sources->findChild<QPushButton*>(QStringLiteral("settings"));
  ASSERT_TRUE(emitters && settings);
  ASSERT_EQ(emitters->model()->rowCount(), 1);
  EXPECT_FALSE(settings->isEnabled());
  emitters->selectRow(0);
  ASSERT_TRUE(settings->isEnabled());
  ASSERT_TRUE(quiet());
  settings->click();
  sheet = sources->findChild<ApertureSheet*>();
  ASSERT_TRUE(sheet);
  EXPECT_EQ(sheet->findChild<QLineEdit*>(QStringLiteral("numericalAperture"))->text(), "0.25");
  type(sheet, "numericalAperture", "0.45");
  EXPECT_EQ(changeCycles([&] { press(sheet, QDialogButtonBox::Ok); }), 1);
  EXPECT_EQ(surface(1)->emission()->numericalAperture(), 0.45);
  EXPECT_EQ(undo().count(), steps + 4);
  EXPECT_EQ(undo().undoText().toStdString(), "Emission");

  document->undo();
  ASSERT_TRUE(surface(1)->emission());
  EXPECT_EQ(surface(1)->emission()->numericalAperture(), 0.25);
  document->undo();
  EXPECT_FALSE(surface(1)->emission());
  EXPECT_EQ(surface(1)->apertureType().value_or(""), "Circular aperture");
  EXPECT_FALSE(surface(1)->apertureObject()->isSoft());
  document->undo();
  EXPECT_FALSE(surface(1)->apertureObject());
  document->undo();
  EXPECT_EQ(surface(1)->emissionType().value_or(""), "Lambertian emission");
  EXPECT_EQ(surface(1)->emission()->numericalAperture(), 0.3);
  EXPECT_EQ(undo().index(), steps);
}

// Every aperture, obscuration and spider type, and every emission type, from the Apertures and Sources editors: the
// chosen surface takes the chosen type with the value typed in its sheet, one undo step each; a type without
// settings (the floating aperture) is put on at once. Cancel on a new one's sheet sets nothing.
TEST_F(SurfaceSheetsWindowTest, EveryApertureAndEmissionTypeIsSetFromItsEditor) {
  open("HomogenizingRod.orb");
  ASSERT_TRUE(openSurfaceData());
  struct Case {
    const char* action;
    const char* nib;
    bool emission;
    const char* type;
    const char* key;  // a field of its sheet, "" for a type without one
    double value;
  };
  const Case cases[] = {
      {"showApertures", kAperturesNibName, false, "Floating aperture", "", 0},
      {"showApertures", kAperturesNibName, false, "Circular aperture", "rMax", 1.75},
      {"showApertures", kAperturesNibName, false, "Elliptical aperture", "xRadius", 1.25},
      {"showApertures", kAperturesNibName, false, "Rectangular aperture", "yRadius", 0.5},
      {"showApertures", kAperturesNibName, false, "Circular obscuration", "rMax", 0.25},
      {"showApertures", kAperturesNibName, false, "Elliptical obscuration", "yRadius", 0.75},
      {"showApertures", kAperturesNibName, false, "Rectangular obscuration", "xRadius", 0.125},
      {"showApertures", kAperturesNibName, false, "Spider", "numberOfArms", 3},
      {"showSources", kSourcesNibName, true, "Lambertian emission", "numericalAperture", 0.22},
      {"showSources", kSourcesNibName, true, "Diode bar emission", "wx", 0.05},
  };
  ASSERT_EQ(apertureOrEmissionTypes(false).size(), 8u);
  ASSERT_EQ(apertureOrEmissionTypes(true).size(), 2u);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type);
    OBWindow* window = openEditor(c.action, c.nib);
    ASSERT_TRUE(window);
    auto* where = window->findChild<QComboBox*>(c.emission ? "sourceSurface" : "apertureSurface");
    auto* kind = window->findChild<QComboBox*>(c.emission ? "emissionType" : "apertureType");
    auto* add = window->findChild<QPushButton*>(QStringLiteral("add"));
    ASSERT_TRUE(where && kind && add);
    where->setCurrentIndex(2);
    kind->setCurrentText(QString::fromUtf8(c.type));
    ASSERT_EQ(kind->currentText().toStdString(), c.type);
    ASSERT_TRUE(quiet());
    const int steps = undo().count();
    const auto typeOf = [&] { return c.emission ? surface(2)->emissionType() : surface(2)->apertureType(); };
    if (*c.key) {
      // Cancel first: nothing changes.
      add->click();
      auto* sheet = window->findChild<ApertureSheet*>();
      ASSERT_TRUE(sheet);
      EXPECT_EQ(changeCycles([&] { press(sheet, QDialogButtonBox::Cancel); }, false), 0);
      EXPECT_NE(typeOf().value_or(""), c.type);
      EXPECT_EQ(undo().count(), steps);
      testing::settle();
      add->click();
      sheet = window->findChild<ApertureSheet*>();
      ASSERT_TRUE(sheet);
      type(sheet, c.key, QString::number(c.value));
      EXPECT_EQ(changeCycles([&] { press(sheet, QDialogButtonBox::Ok); }), 1);
    } else {
      EXPECT_EQ(changeCycles([&] { add->click(); }), 1);
    }
    EXPECT_EQ(typeOf().value_or(""), c.type);
    if (*c.key) {
      const auto& object = c.emission ? std::static_pointer_cast<platform::Object>(surface(2)->emission())
                                      : std::static_pointer_cast<platform::Object>(surface(2)->apertureObject());
      EXPECT_EQ(object->valueForKey(c.key).asDouble(), c.value);
    }
    EXPECT_EQ(undo().count(), steps + 1);
    EXPECT_EQ(undo().undoText().toStdString(), c.emission ? "Emission" : "Aperture");
    testing::settle();
  }
  // Remove takes the selected surface's off: one step, and undo brings it back.
  OBWindow* apertures = openEditor("showApertures", kAperturesNibName);
  auto* list = apertures->findChild<QTableView*>(QStringLiteral("apertures"));
  ASSERT_TRUE(list);
  ASSERT_EQ(list->model()->rowCount(), 1);
  list->selectRow(0);
  ASSERT_TRUE(quiet());
  EXPECT_EQ(changeCycles([&] { apertures->findChild<QPushButton*>(QStringLiteral("remove"))->click(); }), 1);
  EXPECT_FALSE(surface(2)->apertureObject());
  document->undo();
  EXPECT_EQ(surface(2)->apertureType().value_or(""), "Spider");
}

// A solve chosen from the table's menu that opens its sheet is taken back when the sheet is cancelled: the lens is
// exactly as before and no undo or redo step is left. OK keeps it.
TEST_F(SurfaceSheetsWindowTest, CancellingTheSheetOfAChosenSolveLeavesTheLensAsItWas) {
  open("DoubleGauss.zmx");
  auto* table = openSurfaceData();
  ASSERT_TRUE(table);
  const double curvature = surface(3)->curvature();
  ASSERT_EQ(surface(3)->curvatureSolveType(), lens::solve::kCurvatureFixed);
  ASSERT_TRUE(quiet());
  const int steps = undo().count();

  QMenu* marginalMenu = doubleClickCell(table, 3, "curvatureSolve");
  QAction* marginal = entry(marginalMenu, "M marginal ray angle...");
  ASSERT_TRUE(marginal);
  ASSERT_TRUE(choose(marginalMenu, marginal));
  ASSERT_TRUE(testing::pumpUntil([&] { return openSheet() != nullptr; }));
  ASSERT_EQ(openSheet()->kind(), SolveSheetKind::Curvature);
  press(openSheet(), QDialogButtonBox::Cancel);
  testing::settle();
  EXPECT_EQ(surface(3)->curvatureSolveType(), lens::solve::kCurvatureFixed);
  EXPECT_EQ(surface(3)->curvature(), curvature);
  EXPECT_EQ(undo().count(), steps);
  EXPECT_FALSE(undo().canRedo());
  EXPECT_EQ(table->model()->data(table->model()->index(3, table->surfaceController()->columnOf("curvatureSolve")))
                .toString()
                .trimmed(),
            "");

  ASSERT_TRUE(quiet());
  marginalMenu = doubleClickCell(table, 3, "curvatureSolve");
  marginal = entry(marginalMenu, "M marginal ray angle...");
  ASSERT_TRUE(marginal);
  ASSERT_TRUE(choose(marginalMenu, marginal));
  ASSERT_TRUE(testing::pumpUntil([&] { return openSheet() != nullptr; }));
  press(openSheet(), QDialogButtonBox::Ok);
  testing::settle();
  EXPECT_EQ(surface(3)->curvatureSolveType(), lens::solve::kCurvatureMarginalAngle);
  EXPECT_GT(undo().count(), steps);
}

// A model glass becomes a catalog glass in one undoable step, never air on the way: the glass cell of a model glass
// opens its sheet, where a catalog name takes the model's place; the solve menu's "fixed at user-specified value"
// asks for the same name instead of making the surface air. A name no catalog holds is refused.
TEST_F(SurfaceSheetsWindowTest, AModelGlassBecomesACatalogGlassInOneStep) {
  open("DoubleGauss.zmx");
  auto* table = openSurfaceData();
  ASSERT_TRUE(table);
  ASSERT_TRUE(quiet());
  QMenu* modelMenu = doubleClickCell(table, 1, "glassSolve");
  QAction* model = entry(modelMenu, "M model glass");
  ASSERT_TRUE(model);
  EXPECT_EQ(changeCycles([&] { EXPECT_TRUE(choose(modelMenu, model)); }), 1);
  ASSERT_TRUE(surface(1)->glass() && surface(1)->glass()->isModel());
  const double nd = surface(1)->glass()->referenceIndex();
  ASSERT_TRUE(quiet());
  const int steps = undo().count();

  for (const bool fromMenu : {false, true}) {
    SCOPED_TRACE(fromMenu ? "fixed, from the solve menu" : "the glass cell");
    if (fromMenu) {
      QMenu* fixedMenu = doubleClickCell(table, 1, "glassSolve");
      QAction* fixed = entry(fixedMenu, "fixed at user-specified value");
      ASSERT_TRUE(fixed);
      ASSERT_TRUE(choose(fixedMenu, fixed));
    } else {
      doubleClickCell(table, 1, "glass");
    }
    ASSERT_TRUE(testing::pumpUntil([&] { return openSheet() != nullptr; }));
    auto* sheet = qobject_cast<ModelGlassSheet*>(openSheet());
    ASSERT_TRUE(sheet);
    EXPECT_TRUE(surface(1)->glass() && surface(1)->glass()->isModel());  // not air while the sheet asks

    sheet->catalogGlassField()->setText(QStringLiteral("NOSUCHGLASS7"));
    press(sheet, QDialogButtonBox::Ok);
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_FALSE(sheet->errorLabel()->isHidden());
    EXPECT_TRUE(surface(1)->glass()->isModel());

    sheet->catalogGlassField()->setText(QStringLiteral("F2"));
    EXPECT_EQ(changeCycles([&] { press(sheet, QDialogButtonBox::Ok); }), 1);
    ASSERT_TRUE(surface(1)->glass());
    EXPECT_FALSE(surface(1)->glass()->isModel());
    EXPECT_EQ(surface(1)->glassName().value_or(""), "F2");
    EXPECT_EQ(undo().count(), steps + 1);
    EXPECT_EQ(undo().undoText().toStdString(), "Glass");

    document->undo();
    ASSERT_TRUE(surface(1)->glass() && surface(1)->glass()->isModel());
    EXPECT_EQ(surface(1)->glass()->referenceIndex(), nd);
    ASSERT_TRUE(quiet());
  }
}

// Shown for the first time, each column is as wide as its title and widest value need: the Cooke triplet's model
// glass "1.61659,36.61" shows whole.
TEST_F(SurfaceSheetsWindowTest, ColumnsTakeTheirContentsWidthWhenFirstShown) {
  open("CookeTriplet.orb");
  auto* table = openSurfaceData();
  ASSERT_TRUE(table);
  auto* controller = table->surfaceController();
  const int glass = controller->columnOf("glass");
  bool modelGlassShown = false;
  for (int row = 0; row < controller->rowCount(); ++row) {
    const QString text = controller->data(controller->index(row, glass)).toString();
    if (text == "1.61659,36.61") modelGlassShown = true;
    EXPECT_GE(table->columnWidth(glass), table->fontMetrics().horizontalAdvance(text)) << text.toStdString();
  }
  EXPECT_TRUE(modelGlassShown);
  for (int c = 0; c + 1 < controller->columnCount(); ++c) {
    SCOPED_TRACE(controller->columns()[static_cast<std::size_t>(c)].identifier);
    EXPECT_GE(table->columnWidth(c), table->horizontalHeader()->sectionSizeHint(c));
    for (int row = 0; row < controller->rowCount(); ++row)
      EXPECT_GE(table->columnWidth(c), table->sizeHintForIndex(controller->index(row, c)).width()) << row;
  }

  // Later the widths are the user's.
  table->setColumnWidth(glass, 40);
  editor->window()->hide();
  editor->window()->show();
  testing::settle();
  EXPECT_EQ(table->columnWidth(glass), 40);
}

}  // namespace
}  // namespace orb::app
