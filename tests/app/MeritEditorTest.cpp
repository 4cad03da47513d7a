// The merit editor: rows of operands that grow, shrink and change kind with undo, and the
// merit function they edit evaluated live against the document's lens.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QUndoStack>
#include <cmath>

#include "AppTestSupport.h"
#include "OptimisationTestSupport.h"
#include "app/document/DocumentController.h"
#include "app/document/OBDocument.h"
#include "app/windows/MeritEditor.h"
#include "app/windows/OBWindow.h"
#include "optimisation/MeritoidHexRays.h"
#include "optimisation/MeritoidKeyPath.h"

namespace orb::app {
namespace {

using optimisation::MeritFunction;
using optimisation::MeritFunctionPtr;
using optimisation::Meritoid;
using optimisation::MeritoidKeyPath;
using optimisation::MeritoidPtr;

struct MeritEditorTest : ::testing::Test {
  optimisation::testing::TempDefaults defaults;
  std::vector<std::shared_ptr<OBDocument>> documents;

  void SetUp() override { registerLensDocument(); }
  void TearDown() override {
    for (const auto& d : documents) d->close();
    testing::settle();
  }

  std::shared_ptr<OBDocument> singletDocument(double c1 = 0.01) {
    auto document =
        std::static_pointer_cast<OBDocument>(DocumentController::shared().documentFactory()->makeUntitledDocument());
    document->setLens(optimisation::testing::singletLens(c1));
    document->lensIsReady();
    EXPECT_TRUE(testing::pumpUntil([&] { return document->snapshotIsFresh(); }));
    documents.push_back(document);
    return document;
  }

  static MeritoidPtr keyPathOperand(const char* identifier, const char* script, double target) {
    auto m = MeritoidKeyPath::makeKind(identifier, script);
    m->setTarget(target);
    return m;
  }

  /// The document's merit function made of `operands`, open in its editor.
  MeritFunctionEditorController* openEditor(const std::shared_ptr<OBDocument>& document,
                                            const std::vector<MeritoidPtr>& operands) {
    auto f = MeritFunction::create();
    for (const auto& m : operands) f->addMeritoid(m);
    document->setMeritFunctionArray({platform::Value(f)});
    auto* editor = MeritFunctionEditorController::editMeritFunction(document, f);
    EXPECT_TRUE(editor && editor->meritFunctionView());
    return editor;
  }
};

// An empty merit function still offers a row to choose a kind in; that lone row cannot be
// removed, and trying leaves no undo step behind.
TEST_F(MeritEditorTest, EmptyMeritFunctionShowsOneRowThatCannotBeRemoved) {
  auto document = singletDocument();
  auto* view = openEditor(document, {})->meritFunctionView();
  ASSERT_EQ(view->viewControllers().size(), 1u);
  EXPECT_EQ(view->height(), MeritoidViewController::kEmptyRowHeight + 1);
  EXPECT_FALSE(view->canDelete());
  const int steps = document->undoStack().count();
  view->viewControllers().front()->removeTermAction();
  EXPECT_EQ(view->viewControllers().size(), 1u);
  EXPECT_EQ(view->rows().size(), 1u);
  EXPECT_EQ(document->undoStack().count(), steps);

  // Choosing a kind in it makes the merit function's first operand.
  auto row = view->viewControllers().front();
  row->changeIdentifier("Focal Length");
  ASSERT_EQ(view->meritFunction()->countOfMeritoidArray(), 1u);
  EXPECT_EQ(view->meritFunction()->objectInMeritoidArrayAtIndex(0)->valueForKey("script").asString(),
            "lens.focalLength");
  EXPECT_EQ(row->subview()->objectName(), QStringLiteral("_tValue"));
  EXPECT_EQ(row->view()->height(), row->subview()->height() + MeritoidViewController::kRowChrome);
  // Back to "No Selection": no operand, and the row shrinks to the empty height.
  row->changeIdentifier(meritkinds::kNoSelection);
  EXPECT_EQ(view->meritFunction()->countOfMeritoidArray(), 0u);
  EXPECT_EQ(view->height(), MeritoidViewController::kEmptyRowHeight + 1);
}

// A change of kind keeps what both kinds share, measures in the new kind's own units, loads
// the new kind's sub-editor, and is one undo step back to the very same operand.
TEST_F(MeritEditorTest, KindChangeKeepsSharedKeysAndUndoes) {
  auto document = singletDocument();
  auto spot = Meritoid::make<optimisation::MeritoidRMS>();
  spot->setIdentifier("RMS Spot Size");
  spot->setValueForKey("Hx", 0.25);
  spot->setValueForKey("Hy", 0.75);
  spot->setValueForKey("monochromatic", true);
  spot->setValueForKey("wavelengthInNanometers", 656.27);
  spot->setValueForKey("numberOfRays", std::int64_t(61));
  spot->setTarget(0.002);
  spot->setTolerance(0.05);
  spot->setIncluded(false);
  auto* view = openEditor(document, {spot})->meritFunctionView();
  auto row = view->viewControllers().front();
  const int steps = document->undoStack().count();

  row->changeIdentifier("RMS Optical Path Difference");
  auto opd = std::dynamic_pointer_cast<optimisation::MeritoidRMSOPD>(row->meritoid());
  ASSERT_TRUE(opd);
  EXPECT_EQ(opd->identifier(), "RMS Optical Path Difference");
  for (const char* key :
       {"Hx", "Hy", "monochromatic", "wavelengthInNanometers", "numberOfRays", "target", "tolerance", "included"})
    EXPECT_EQ(opd->valueForKey(key), spot->valueForKey(key)) << key;
  EXPECT_EQ(opd->calculationUnits(), opd->defaultCalculationUnits());
  const auto units = opd->possibleUnits();
  EXPECT_NE(std::find(units.begin(), units.end(), opd->displayUnits()), units.end()) << opd->displayUnits();
  EXPECT_EQ(row->subview()->objectName(), QStringLiteral("_RMSOpticalPathDifference"));
  EXPECT_EQ(row->popupButton()->currentText(), QStringLiteral("RMS Optical Path Difference"));
  ASSERT_EQ(view->meritFunction()->meritoidArray(), MeritFunction::Meritoids{opd});
  ASSERT_EQ(document->undoStack().count(), steps + 1);
  EXPECT_EQ(document->undoStack().undoText(), QStringLiteral("Meritoid type change"));

  document->undoStack().undo();
  EXPECT_EQ(row->meritoid(), spot);
  EXPECT_EQ(view->meritFunction()->meritoidArray(), MeritFunction::Meritoids{spot});
  EXPECT_EQ(row->subview()->objectName(), QStringLiteral("_RMSSpotSize"));

  // A dimensionless kind does not inherit a length unit it cannot show.
  row->changeIdentifier("Magnification Y");
  EXPECT_EQ(row->meritoid()->displayUnits(), "");
  EXPECT_EQ(row->meritoid()->calculationUnits(), "");
  EXPECT_EQ(row->meritoid()->valueForKey("script").asString(), "lens.magnification");
  EXPECT_EQ(row->subview()->objectName(), QStringLiteral("_tValue"));
}

// Deleting the middle of three rows lifts the third by the middle row's height and its
// separator, renumbers the rest, and takes the operand out; Undo puts all of it back.
TEST_F(MeritEditorTest, DeletingMiddleRowMovesTheThirdUpAndUndoRestoresIt) {
  auto document = singletDocument();
  auto a = keyPathOperand("Focal Length", "lens.focalLength", 100);
  auto b = Meritoid::make<optimisation::MeritoidRMS>();
  b->setIdentifier("RMS Spot Size");
  auto c = keyPathOperand("Total Track", "lens.totalTrack", 110);
  auto* view = openEditor(document, {a, b, c})->meritFunctionView();
  auto rows = view->rows();
  ASSERT_EQ(rows.size(), 3u);
  const int middleHeight = rows[1]->height();
  const int thirdY = rows[2]->y();
  const int stackHeight = view->height();
  EXPECT_EQ(thirdY, rows[0]->height() + 1 + middleHeight + 1);

  view->viewControllerForView(rows[1])->removeTermAction();
  EXPECT_EQ(rows[2]->y(), thirdY - (middleHeight + 1));
  EXPECT_EQ(view->height(), stackHeight - (middleHeight + 1));
  EXPECT_EQ(view->meritFunction()->meritoidArray(), (MeritFunction::Meritoids{a, c}));
  EXPECT_EQ(a->number(), 0);
  EXPECT_EQ(c->number(), 1);
  EXPECT_EQ(document->undoStack().undoText(), QStringLiteral("Delete meritoid"));

  document->undoStack().undo();
  ASSERT_EQ(view->rows().size(), 3u);
  EXPECT_EQ(rows[1]->y(), rows[0]->height() + 1);
  EXPECT_EQ(rows[2]->y(), thirdY);
  EXPECT_EQ(view->height(), stackHeight);
  EXPECT_EQ(view->meritFunction()->meritoidArray(), (MeritFunction::Meritoids{a, b, c}));
  EXPECT_EQ(b->number(), 1);
  EXPECT_EQ(c->number(), 2);

  // A new row goes under the first and pushes the others down by its height + 1.
  auto added = view->addNewViewControllerBelowViewController(view->viewControllerForView(rows[0]).get());
  EXPECT_EQ(added->view()->y(), rows[0]->height() + 1);
  EXPECT_EQ(rows[2]->y(), thirdY + MeritoidViewController::kEmptyRowHeight + 1);
  document->undoStack().undo();
  EXPECT_EQ(rows[2]->y(), thirdY);
  EXPECT_EQ(view->rows().size(), 3u);
}

// The document's undo outlives the editor: undoing a deletion and a change of kind after
// the window closed still puts the operands back in their places.
TEST_F(MeritEditorTest, UndoAfterTheEditorClosedStillRestoresTheOperands) {
  auto document = singletDocument();
  auto a = keyPathOperand("Focal Length", "lens.focalLength", 100);
  auto b = keyPathOperand("Total Track", "lens.totalTrack", 110);
  auto* editor = openEditor(document, {a, b});
  auto function = editor->meritFunction();
  auto* view = editor->meritFunctionView();
  view->viewControllers()[1]->changeIdentifier("Petzval Sum");
  auto petzval = function->objectInMeritoidArrayAtIndex(1);
  view->viewControllers()[0]->removeTermAction();
  ASSERT_EQ(function->meritoidArray(), MeritFunction::Meritoids{petzval});
  QPointer<MeritFunctionEditorController> watched(editor);
  document->clearChangeCount();  // the editor is the document's last window: no save question
  editor->close();
  ASSERT_TRUE(testing::pumpUntil([&] { return !watched; }));

  document->undoStack().undo();
  EXPECT_EQ(function->meritoidArray(), (MeritFunction::Meritoids{a, petzval}));
  document->undoStack().undo();
  EXPECT_EQ(function->meritoidArray(), (MeritFunction::Meritoids{a, b}));
}

// Edit on a merit function whose editor is open brings that editor forward: one window.
TEST_F(MeritEditorTest, EditingTwiceGivesOneWindow) {
  auto document = singletDocument();
  auto* first = openEditor(document, {keyPathOperand("Focal Length", "lens.focalLength", 100)});
  auto* second = MeritFunctionEditorController::editMeritFunction(document, first->meritFunction());
  EXPECT_EQ(first, second);
  int editors = 0;
  for (auto* c : document->windowControllers()) editors += c->nibName() == "MeritWindow";
  EXPECT_EQ(editors, 1);
}

// Typing a target is one undoable change of the document's merit function, and the merit
// follows: for the plano-convex singlet f = 1 / ((n − 1) c1), and a focal-length operand
// contributes ((f − target) / tolerance)² / 2.
TEST_F(MeritEditorTest, OperandEditChangesTheMeritFunctionAsOneUndoStep) {
  const double c1 = 0.01;
  auto document = singletDocument(c1);
  auto focal = keyPathOperand("Focal Length", "lens.focalLength", 100);
  focal->setTolerance(0.5);
  auto* editor = openEditor(document, {focal});
  auto function = document->objectInMeritFunctionArrayAtIndex(0);
  ASSERT_EQ(function, editor->meritFunction());
  const double f = 1 / ((optimisation::testing::kModelIndex - 1) * c1);
  auto expectedMerit = [&](double target) { return 0.5 * std::pow((f - target) / 0.5, 2); };
  ASSERT_TRUE(testing::pumpUntil([&] { return std::abs(function->doubleValue() - expectedMerit(100)) < 1e-6; }))
      << function->doubleValue();

  auto* field = editor->meritFunctionView()->viewControllers().front()->subview()->findChild<QLineEdit*>("target");
  ASSERT_TRUE(field);
  const int steps = document->undoStack().count();
  document->clearChangeCount();
  field->setText(QStringLiteral("190"));
  emit field->editingFinished();
  EXPECT_EQ(focal->target(), 190);
  EXPECT_EQ(document->undoStack().count(), steps + 1);
  EXPECT_TRUE(document->isDocumentEdited());
  ASSERT_TRUE(testing::pumpUntil([&] { return std::abs(function->doubleValue() - expectedMerit(190)) < 1e-6; }))
      << function->doubleValue();

  // Text that is no number changes nothing and shows the kept target again.
  field->setText(QStringLiteral("abc"));
  emit field->editingFinished();
  EXPECT_EQ(focal->target(), 190);
  EXPECT_EQ(document->undoStack().count(), steps + 1);
  EXPECT_EQ(field->text(), QStringLiteral("190"));

  document->undoStack().undo();
  EXPECT_EQ(focal->target(), 100);
  EXPECT_FALSE(document->isDocumentEdited());
  EXPECT_EQ(field->text(), QStringLiteral("100"));
  ASSERT_TRUE(testing::pumpUntil([&] { return std::abs(function->doubleValue() - expectedMerit(100)) < 1e-6; }));
}

// The list of the document's merit functions: Clone appends an independent copy (undoable),
// Edit reaches the one editor of a merit function, and removing a merit function closes
// its editor.
TEST_F(MeritEditorTest, MeritFunctionListClonesEditsAndRemoves) {
  auto document = singletDocument();
  auto focus = MeritFunction::create();
  focus->setName("focus");
  auto focal = keyPathOperand("Focal Length", "lens.focalLength", 100);
  focus->addMeritoid(focal);
  document->setMeritFunctionArray({platform::Value(focus)});
  auto* list = document->showUniqueWindowWithNibName("MeritFunctions", "WindowControllerWithDocumentController");
  ASSERT_TRUE(list);
  auto* table = list->window()->findChild<QListWidget*>("meritFunctionTable");
  ASSERT_TRUE(table);
  ASSERT_EQ(table->count(), 1);
  EXPECT_EQ(table->item(0)->text(), QStringLiteral("focus"));
  auto click = [&](const char* name) { list->window()->findChild<QPushButton*>(name)->click(); };

  table->item(0)->setSelected(true);
  const int steps = document->undoStack().count();
  click("clone");
  ASSERT_EQ(document->countOfMeritFunctionArray(), 2u);
  auto copy = document->objectInMeritFunctionArrayAtIndex(1);
  EXPECT_EQ(copy->name(), "copy of focus");
  ASSERT_EQ(copy->countOfMeritoidArray(), 1u);
  EXPECT_NE(copy->objectInMeritoidArrayAtIndex(0), focal);
  EXPECT_EQ(copy->objectInMeritoidArrayAtIndex(0)->target(), 100);
  EXPECT_EQ(table->item(1)->text(), QStringLiteral("copy of focus"));
  EXPECT_EQ(document->undoStack().count(), steps + 1);
  document->undoStack().undo();
  EXPECT_EQ(table->count(), 1);

  table->item(0)->setSelected(true);
  click("edit");
  click("edit");
  auto* editor = MeritFunctionEditorController::windowControllerForObject(document, focus);
  ASSERT_TRUE(editor);
  int editors = 0;
  for (auto* c : document->windowControllers()) editors += c->nibName() == "MeritWindow" && !c->isClosing();
  EXPECT_EQ(editors, 1);

  QPointer<MeritFunctionEditorController> watched(editor);
  table->item(0)->setSelected(true);
  click("remove");
  EXPECT_EQ(document->countOfMeritFunctionArray(), 0u);
  EXPECT_TRUE(testing::pumpUntil([&] { return !watched || watched->isClosing(); }));
}

}  // namespace
}  // namespace orb::app
