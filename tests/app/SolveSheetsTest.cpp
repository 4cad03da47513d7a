// The solve sheets on the double Gauss: a model request opens one sheet for the
// selected surface only, the sheet shows the solve as it stands, OK writes it
// as one undo step and Cancel writes nothing; the solve pop-up and the
// parameter and aperture sheets.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QStandardItemModel>
#include <QTableView>
#include <QUndoStack>
#include <QWidget>

#include "AnalysisWindowTestSupport.h"
#include "AppTestSupport.h"
#include "app/tables/SolveSheets.h"
#include "lens/CircularAperture.h"
#include "lens/Lens.h"
#include "lens/Parameter.h"
#include "lens/SolveCodes.h"
#include "lens/SpiderAperture.h"
#include "lens/Surface.h"
#include "lens/SurfaceTypeRegistry.h"
#include "materials/Glass.h"
#include "platform/NotificationCenter.h"

namespace orb::app {
namespace {

using lens::Surface;

class SolveSheetsTest : public testing::DoubleGaussDocumentTest<> {
protected:
  std::unique_ptr<QWidget> window;
  SolveSheetController *controller = nullptr;
  std::vector<ObjectPtr> selection;
  int opened = 0;

  void SetUp() override {
    DoubleGaussDocumentTest::SetUp();
    window = std::make_unique<QWidget>();
    window->resize(600, 400);
    window->show();
    controller =
        new SolveSheetController(window.get(), [this] { return selection; });
    controller->setLensProvider([this] { return document->lens(); });
    controller->setUndoNamer([this](const std::string &name) {
      document->setUpcomingActionName(name);
    });
    QObject::connect(controller, &SolveSheetController::sheetOpened,
                     [this] { ++opened; });
  }
  void TearDown() override {
    window.reset();
    testing::settle();
    DoubleGaussDocumentTest::TearDown();
  }

  std::shared_ptr<Surface> surface(std::size_t i) const {
    return document->lens()->surfaceArray().at(i);
  }
  void request(const char *name, const std::shared_ptr<Surface> &s) {
    platform::NotificationCenter::defaultCenter().post(
        name, platform::Value(s->reference()));
  }
  /// Waits for the lens's change cycle and the idle-time snapshot after an
  /// edit.
  void settleLens() {
    ASSERT_TRUE(testing::pumpUntil([&] {
      const auto &lens = *document->lens();
      return lens.isReady() && !lens.isBusy() && document->snapshotIsFresh();
    }));
  }
  static bool rowShown(SolveSheet *sheet, QWidget *field) {
    return sheet->findChild<QFormLayout *>()->isRowVisible(field);
  }
};

// A burst of requests opens one sheet, after the delay; a request for a surface
// not selected in the window, or while a sheet is open, opens none.
TEST_F(SolveSheetsTest, OneSheetPerBurstOnlyForTheSelectedSurface) {
  selection = {surface(3)};
  request("curvatureSolveRequiresAttention", surface(5)); // not selected
  EXPECT_FALSE(controller->isArmed());

  request("thicknessSolveRequiresAttention", surface(3));
  request("curvatureSolveRequiresAttention", surface(3));
  EXPECT_TRUE(controller->isScheduled());
  EXPECT_EQ(controller->sheet(), nullptr); // not before the delay
  ASSERT_TRUE(
      testing::pumpUntil([&] { return controller->sheet() != nullptr; }));
  testing::settle();
  EXPECT_EQ(opened, 1);
  EXPECT_EQ(window->findChildren<SolveSheet *>().size(), 1);
  EXPECT_EQ(controller->sheet()->kind(),
            SolveSheetKind::Thickness); // the first request's
  EXPECT_EQ(controller->sheet()->object(), surface(3));

  request("curvatureSolveRequiresAttention", surface(3)); // while open
  EXPECT_FALSE(controller->isScheduled());
  controller->sheet()->reject();
  testing::settle();
  EXPECT_FALSE(controller->isArmed());
  EXPECT_EQ(opened, 1);

  // The model's own request: choosing a solve that needs settings asks for its
  // sheet.
  surface(3)->setCurvatureSolveDescriptor("M marginal ray angle...");
  ASSERT_TRUE(
      testing::pumpUntil([&] { return controller->sheet() != nullptr; }));
  EXPECT_EQ(controller->sheet()->kind(), SolveSheetKind::Curvature);
}

// A sheet whose surface leaves the lens during the delay does not open.
TEST_F(SolveSheetsTest, ASurfaceGoneDuringTheDelayOpensNothing) {
  auto doomed = Surface::create();
  selection = {doomed};
  request("thicknessSolveRequiresAttention", doomed);
  ASSERT_TRUE(controller->isScheduled());
  selection.clear();
  doomed.reset();
  controller->openScheduledSheetNow();
  EXPECT_EQ(controller->sheet(), nullptr);
  EXPECT_FALSE(controller->isArmed());
}

// Each sheet shows the solve as the surface holds it, with the rows its code
// uses.
TEST_F(SolveSheetsTest, TheSheetShowsTheSolveAsItStands) {
  auto s = surface(3);
  s->setThicknessSolveTypeSurfaceScaleOffset(lens::solve::kThicknessPickup,
                                             surface(1), 2.0, 0.5);
  s->setCurvatureSolveTypeTarget(lens::solve::kCurvatureMarginalAngle, -0.125);
  settleLens();

  controller->startDialog(SolveSheetKind::Thickness, s);
  auto *thickness = qobject_cast<SurfaceSolveSheet *>(controller->sheet());
  ASSERT_TRUE(thickness);
  EXPECT_EQ(thickness->chosenType(), lens::solve::kThicknessPickup);
  EXPECT_EQ(thickness->surfaceField()->currentText().toStdString(),
            surface(1)->nickname());
  EXPECT_EQ(thickness->scaleField()->text(), "2");
  EXPECT_EQ(thickness->offsetField()->text(), "0.5");
  EXPECT_TRUE(rowShown(thickness, thickness->offsetField()));
  EXPECT_FALSE(rowShown(thickness, thickness->targetField()));
  // Only earlier surfaces may be referred to.
  EXPECT_EQ(thickness->surfaceField()->count(), 3);
  thickness->reject();
  testing::settle();

  controller->startDialog(SolveSheetKind::Curvature, s);
  auto *curvature = qobject_cast<SurfaceSolveSheet *>(controller->sheet());
  ASSERT_TRUE(curvature);
  EXPECT_EQ(curvature->typeField()->currentText(), "M marginal ray angle...");
  EXPECT_EQ(curvature->targetField()->text(), "-0.125");
  EXPECT_TRUE(rowShown(curvature, curvature->targetField()));
  EXPECT_FALSE(rowShown(curvature, curvature->surfaceField()));
  curvature->reject();
}

// OK writes every value of the sheet in one change cycle: one undo step, which
// restores the solve as it was. Cancel writes nothing and adds no step.
TEST_F(SolveSheetsTest, OkIsOneUndoStepAndCancelChangesNothing) {
  auto s = surface(1);
  settleLens();
  const int steps = document->undoStack().count();
  const double thicknessBefore = s->thickness();

  controller->startDialog(SolveSheetKind::Thickness, s);
  auto *sheet = qobject_cast<SurfaceSolveSheet *>(controller->sheet());
  ASSERT_TRUE(sheet);
  sheet->typeField()->setCurrentIndex(lens::solve::kThicknessEdge);
  sheet->targetField()->setText("1.5");
  int cycles = 0;
  auto observation = platform::NotificationCenter::defaultCenter().addObserver(
      analysis::kLensIsReadyNotification, document->reference(),
      [&](const platform::Notification &) { ++cycles; });
  sheet->accept();
  EXPECT_EQ(s->thicknessSolveType(), lens::solve::kThicknessEdge);
  EXPECT_EQ(s->thicknessSolveTarget(), 1.5);
  ASSERT_TRUE(testing::pumpUntil([&] { return cycles > 0; }));
  settleLens();
  EXPECT_EQ(cycles, 1);
  EXPECT_EQ(document->undoStack().count(), steps + 1);
  EXPECT_EQ(document->undoStack().undoText().toStdString(), "Thickness solve");
  EXPECT_EQ(controller->sheet(), nullptr);

  document->undo();
  s = surface(1);
  EXPECT_EQ(s->thicknessSolveType(), lens::solve::kThicknessFixed);
  EXPECT_DOUBLE_EQ(s->thickness(), thicknessBefore);
  settleLens();
  const int afterUndo = document->undoStack().index();
  const int cyclesBeforeCancel = cycles;

  controller->startDialog(SolveSheetKind::Thickness, s);
  sheet = qobject_cast<SurfaceSolveSheet *>(controller->sheet());
  ASSERT_TRUE(sheet);
  sheet->typeField()->setCurrentIndex(lens::solve::kThicknessEdge);
  sheet->targetField()->setText("9");
  sheet->reject();
  testing::settle();
  EXPECT_EQ(s->thicknessSolveType(), lens::solve::kThicknessFixed);
  EXPECT_EQ(cycles, cyclesBeforeCancel);
  EXPECT_EQ(document->undoStack().index(), afterUndo);
  EXPECT_TRUE(
      document->undoStack().canRedo()); // no change cycle ran to empty the redo
  EXPECT_FALSE(controller->isArmed());
}

// A field that holds no number is refused: the sheet stays open, says why,
// writes nothing.
TEST_F(SolveSheetsTest, TextThatIsNoNumberIsRefused) {
  auto s = surface(3);
  controller->startDialog(SolveSheetKind::Curvature, s);
  auto *sheet = qobject_cast<SurfaceSolveSheet *>(controller->sheet());
  ASSERT_TRUE(sheet);
  sheet->typeField()->setCurrentIndex(lens::solve::kCurvatureFocalRatio);
  for (const char *text : {"fast", "", "inf"}) {
    SCOPED_TRACE(text);
    sheet->targetField()->setText(text);
    sheet->accept();
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_FALSE(sheet->errorLabel()->isHidden());
    EXPECT_EQ(s->curvatureSolveType(), lens::solve::kCurvatureFixed);
  }
  // The curvature pickup divides the source's curvature by its scale.
  sheet->typeField()->setCurrentIndex(lens::solve::kCurvaturePickup);
  sheet->surfaceField()->setCurrentIndex(1);
  sheet->scaleField()->setText("0");
  sheet->accept();
  EXPECT_TRUE(sheet->isVisible());
  EXPECT_EQ(s->curvatureSolveType(), lens::solve::kCurvatureFixed);

  sheet->typeField()->setCurrentIndex(lens::solve::kCurvatureFocalRatio);
  sheet->targetField()->setText("4");
  sheet->accept();
  EXPECT_FALSE(sheet->isVisible());
  EXPECT_EQ(s->curvatureSolveType(), lens::solve::kCurvatureFocalRatio);
  EXPECT_EQ(s->curvatureSolveTarget(), 4.0);
}

// The semidiameter, glass and model-glass sheets write what they show.
TEST_F(SolveSheetsTest, SemidiameterGlassAndModelGlassSheetsWriteTheirValues) {
  auto s = surface(4);
  controller->startDialog(SolveSheetKind::Semidiameter, s);
  auto *semi = qobject_cast<SurfaceSolveSheet *>(controller->sheet());
  ASSERT_TRUE(semi);
  semi->typeField()->setCurrentText("U fixed...");
  EXPECT_TRUE(rowShown(semi, semi->semidiameterField()));
  semi->semidiameterField()->setText("12.5");
  semi->accept();
  EXPECT_EQ(s->semidiameterSolveType(), Surface::kSemiFixed);
  EXPECT_EQ(s->semidiameter(), 12.5);

  controller->startDialog(SolveSheetKind::Glass, s);
  auto *glass = qobject_cast<SurfaceSolveSheet *>(controller->sheet());
  ASSERT_TRUE(glass);
  glass->typeField()->setCurrentIndex(1);
  glass->surfaceField()->setCurrentIndex(1);
  glass->accept();
  EXPECT_EQ(s->glassSolveType(), lens::solve::kGlassPickup);
  EXPECT_EQ(s->glassSolveSurface(), surface(1));
  settleLens();

  auto m = surface(3);
  m->setGlassSolveDescriptor(
      "M model glass"); // a model glass from the catalog glass
  ASSERT_TRUE(m->glass() && m->glass()->isModel());
  controller->startDialog(SolveSheetKind::ModelGlass, m);
  auto *model = qobject_cast<ModelGlassSheet *>(controller->sheet());
  ASSERT_TRUE(model);
  EXPECT_NEAR(model->indexField()->text().toDouble(), 1.62041,
              1e-9); // SK16 from the file
  model->indexField()->setText("1.7");
  model->abbeField()->setText("30");
  model->accept();
  EXPECT_EQ(m->glass()->referenceIndex(), 1.7);
  EXPECT_EQ(m->glass()->referenceAbbe(), 30.0);
}

// The pop-up shows the first letter of the solve's menu entry, and a choice
// sets the solve.
TEST_F(SolveSheetsTest, ThePopUpShowsTheLetterAndSetsTheSolve) {
  const std::vector<std::pair<QString, QString>> titles = {
      {"Pickup", "P"},
      {"P", "P"},
      {"", ""},
      {"V variable for optimization", "V"}};
  for (const auto &[title, shown] : titles)
    EXPECT_EQ(solvePopUpTitle(title), shown) << title.toStdString();

  auto s = surface(3);
  SolvePopUpButton button(window.get());
  button.setController(controller);
  button.setObject(SolveSheetKind::Curvature, s);
  EXPECT_EQ(button.text(), " "); // fixed
  const auto choices = solveChoices(SolveSheetKind::Curvature, s);
  const auto pickup =
      std::find(choices.begin(), choices.end(), "P pick up...") -
      choices.begin();
  selection = {s};
  button.choose(static_cast<int>(pickup));
  EXPECT_EQ(s->curvatureSolveType(), lens::solve::kCurvaturePickup);
  EXPECT_EQ(s->curvatureSolveSurface(),
            surface(2)); // the surface before it, by default
  EXPECT_EQ(button.text(), "P");
  ASSERT_TRUE(
      testing::pumpUntil([&] { return controller->sheet() != nullptr; }));
  EXPECT_EQ(controller->sheet()->kind(), SolveSheetKind::Curvature);
  controller->sheet()->reject();
  testing::settle();

  button.setObject(SolveSheetKind::Thickness, s);
  button.choose(lens::solve::kThicknessVariable);
  EXPECT_EQ(s->thicknessSolveType(), lens::solve::kThicknessVariable);
  EXPECT_EQ(button.text(), "V");
}

// A click on a solve cell pops up that solve's menu; a choice sets it and opens
// its sheet.
TEST_F(SolveSheetsTest, AClickOnASolveCellPopsUpItsMenu) {
  QStandardItemModel model(4, 2);
  QTableView view(window.get());
  view.setModel(&model);
  installSolvePopUps(
      &view,
      [](const QModelIndex &index) {
        return solveKindForColumnIdentifier(
            index.column() == 1 ? "thicknessSolve" : "thickness");
      },
      [this](const QModelIndex &index) -> ObjectPtr {
        return surface(static_cast<std::size_t>(index.row()));
      },
      controller);

  emit view.clicked(model.index(2, 0)); // not a solve cell
  EXPECT_EQ(view.findChild<QMenu *>("solveMenu"), nullptr);

  emit view.clicked(model.index(2, 1));
  QPointer<QMenu> menu = view.findChild<QMenu *>("solveMenu");
  ASSERT_TRUE(menu);
  ASSERT_EQ(
      menu->actions().size(),
      static_cast<qsizetype>(Surface::thicknessSolveDescriptors().size()));
  EXPECT_TRUE(menu->actions().at(lens::solve::kThicknessFixed)->isChecked());
  selection = {surface(2)};
  menu->actions().at(lens::solve::kThicknessTotalLength)->trigger();
  EXPECT_EQ(surface(2)->thicknessSolveType(),
            lens::solve::kThicknessTotalLength);
  ASSERT_TRUE(
      testing::pumpUntil([&] { return controller->sheet() != nullptr; }));
  EXPECT_EQ(controller->sheet()->kind(), SolveSheetKind::Thickness);
  EXPECT_EQ(controller->sheet()->object(), surface(2));
  EXPECT_TRUE(menu.isNull()); // a choice closes the menu, which goes with it
}

// A parameter chosen as a pickup asks for its sheet, which offers the earlier
// surfaces with that parameter and writes source, scale and offset.
TEST_F(SolveSheetsTest, TheParameterSheetWritesThePickup) {
  auto lens = lens::Lens::create();
  auto &registry = lens::SurfaceTypeRegistry::shared();
  lens->insertInSurfaces(registry.surfaceOfType("Break"));
  lens->insertInSurfaces(registry.surfaceOfType("Break"));
  controller->setLensProvider([lens] { return lens; });
  auto source = lens->surfaceArray()[0];
  auto parameter = lens->surfaceArray()[1]->parameterArray().at(0);
  selection = {parameter};

  parameter->setSolveDescriptor("P (pick up...)");
  ASSERT_TRUE(
      testing::pumpUntil([&] { return controller->sheet() != nullptr; }));
  auto *sheet = qobject_cast<ParameterSolveSheet *>(controller->sheet());
  ASSERT_TRUE(sheet);
  ASSERT_EQ(sheet->surfaceField()->count(), 1);
  sheet->surfaceField()->setCurrentIndex(0);
  sheet->scaleField()->setText("2");
  sheet->offsetField()->setText("-1");
  sheet->accept();
  EXPECT_EQ(parameter->solveType(), lens::Parameter::kPickup);
  EXPECT_EQ(parameter->solveSurface(), source);
  EXPECT_EQ(parameter->solveScale(), 2.0);
  EXPECT_EQ(parameter->solveOffset(), -1.0);
}

// The aperture sheets are laid out by the sheet name the aperture gives and
// write its keys.
TEST_F(SolveSheetsTest, ApertureSheetsEditTheirAperture) {
  auto circle = lens::CircularAperture::annulusWithMinRadius(1, 5);
  controller->startApertureDialog(circle);
  auto *sheet = qobject_cast<ApertureSheet *>(controller->sheet());
  ASSERT_TRUE(sheet);
  EXPECT_EQ(sheet->sheetName(), "SVCircularAperture");
  auto *rMax = sheet->findChild<QLineEdit *>("rMax");
  ASSERT_TRUE(rMax);
  EXPECT_EQ(rMax->text(), "5");
  rMax->setText("7.25");
  sheet->accept();
  EXPECT_EQ(circle->rMax(), 7.25);
  EXPECT_EQ(circle->rMin(), 1.0);

  auto spider = lens::SpiderAperture::spiderWithNumberOfArms(4, 0.5);
  controller->startApertureDialog(spider);
  sheet = qobject_cast<ApertureSheet *>(controller->sheet());
  ASSERT_TRUE(sheet);
  auto *arms = sheet->findChild<QLineEdit *>("numberOfArms");
  ASSERT_TRUE(arms);
  arms->setText("2.5"); // no whole number of arms
  sheet->accept();
  EXPECT_TRUE(sheet->isVisible());
  EXPECT_EQ(spider->numberOfArms(), 4);
  arms->setText("3");
  sheet->accept();
  EXPECT_EQ(spider->numberOfArms(), 3);
}

// A sheet asked for by the model opens at the usual place; one opened from a
// control unrolls from the top edge of the origin view.
TEST_F(SolveSheetsTest, SheetsFromAControlUnrollFromTheOriginView) {
  auto *origin = new QWidget(window.get());
  origin->setGeometry(40, 120, 200, 30);
  controller->setOriginOfExpansion(origin);
  const QRect proposed(0, 0, 600, 0);
  EXPECT_EQ(controller->sheetRectForProposedRect(proposed),
            QRect(40, 120, 200, 0));

  selection = {surface(3)};
  request("thicknessSolveRequiresAttention", surface(3));
  EXPECT_EQ(controller->sheetRectForProposedRect(proposed),
            proposed); // the request's placement
  EXPECT_EQ(controller->sheetRectForProposedRect(proposed),
            QRect(40, 120, 200, 0));
}

} // namespace
} // namespace orb::app
