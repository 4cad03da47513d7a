// The merit editor: rows of operands that grow, shrink and change kind with undo, and the
// merit function they edit evaluated live against the document's lens.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <QUndoStack>
#include <algorithm>
#include <cmath>

#include "AppTestSupport.h"
#include "OptimisationTestSupport.h"
#include "app/document/DocumentController.h"
#include "app/document/MenuBar.h"
#include "app/document/OBDocument.h"
#include "app/tables/DNDTableView.h"
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

  static SmartWindowController* openList(const std::shared_ptr<OBDocument>& document) {
    EXPECT_TRUE(document->performAction("showMeritFunctions"));
    SmartWindowController* list = nullptr;
    for (auto* c : document->windowControllers())
      if (c->nibName() == "MeritFunctions") list = c;
    return list;
  }

  static int countOpen(const std::shared_ptr<OBDocument>& document, const char* nibName) {
    int n = 0;
    for (auto* c : document->windowControllers()) n += c->nibName() == nibName && !c->isClosing();
    return n;
  }

  static QString nameAt(DNDArrayController* rows, int row) { return rows->data(rows->index(row, 0)).toString(); }

  static std::vector<QColor> colorsOf(const MeritFunction::Meritoids& operands) {
    std::vector<QColor> out;
    for (const auto& m : operands) {
      const auto c = m->color();
      out.push_back(QColor::fromRgbF(float(c->red()), float(c->green()), float(c->blue()), float(c->alpha())));
    }
    return out;
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
  auto* list = openList(document);
  ASSERT_TRUE(list);
  auto* table = list->window()->findChild<DNDTableView*>("meritFunctionTable");
  ASSERT_TRUE(table);
  auto* rows = table->arrayController();
  ASSERT_EQ(rows->rowCount(), 1);
  EXPECT_EQ(nameAt(rows, 0), QStringLiteral("focus"));
  auto click = [&](const char* name) { list->window()->findChild<QPushButton*>(name)->click(); };

  rows->setSelectionIndexes({0});
  const int steps = document->undoStack().count();
  click("clone");
  ASSERT_EQ(document->countOfMeritFunctionArray(), 2u);
  auto copy = document->objectInMeritFunctionArrayAtIndex(1);
  EXPECT_EQ(copy->name(), "copy of focus");
  ASSERT_EQ(copy->countOfMeritoidArray(), 1u);
  EXPECT_NE(copy->objectInMeritoidArrayAtIndex(0), focal);
  EXPECT_EQ(copy->objectInMeritoidArrayAtIndex(0)->target(), 100);
  EXPECT_EQ(nameAt(rows, 1), QStringLiteral("copy of focus"));
  EXPECT_EQ(document->undoStack().count(), steps + 1);
  document->undoStack().undo();
  EXPECT_EQ(rows->rowCount(), 1);

  // Renaming in the cell is one undo step.
  ASSERT_TRUE(rows->setData(rows->index(0, 0), QStringLiteral("sharp")));
  EXPECT_EQ(focus->name(), "sharp");
  EXPECT_EQ(nameAt(rows, 0), QStringLiteral("sharp"));
  EXPECT_EQ(document->undoStack().undoText(), QStringLiteral("Rename merit function"));
  document->undoStack().undo();
  EXPECT_EQ(focus->name(), "focus");
  EXPECT_EQ(nameAt(rows, 0), QStringLiteral("focus"));

  rows->setSelectionIndexes({0});
  click("edit");
  click("edit");
  auto* editor = MeritFunctionEditorController::windowControllerForObject(document, focus);
  ASSERT_TRUE(editor);
  EXPECT_EQ(countOpen(document, "MeritWindow"), 1);

  QPointer<MeritFunctionEditorController> watched(editor);
  rows->setSelectionIndexes({0});
  click("remove");
  EXPECT_EQ(document->countOfMeritFunctionArray(), 0u);
  EXPECT_TRUE(testing::pumpUntil([&] { return !watched || watched->isClosing(); }));
}

// Merit Functions and Merit Function Editor in the Optimize menu open a new window on each
// request.
TEST_F(MeritEditorTest, TheMenusOpenANewWindowOnEachRequest) {
  auto document = singletDocument();
  document->setMeritFunctionArray({platform::Value(MeritFunction::create())});
  auto* first = document->showWindowWithNibName("MeritFunctions", "WindowControllerWithDocumentController");
  ASSERT_TRUE(first);
  QMenuBar bar(first->window());
  installMenuBar(&bar, first->window());
  for (QMenu* menu : bar.findChildren<QMenu*>()) emit menu->aboutToShow();
  for (const char* action : {"showMeritFunctions", "makeMeritEditor"}) {
    QAction* item = nullptr;
    for (QAction* a : bar.findChildren<QAction*>())
      if (a->objectName() == QLatin1String(action)) item = a;
    ASSERT_TRUE(item) << action;
    EXPECT_TRUE(item->isEnabled()) << action;
    item->trigger();
    item->trigger();
  }
  testing::settle();
  EXPECT_EQ(countOpen(document, "MeritFunctions"), 3);
  EXPECT_EQ(countOpen(document, "MeritWindow"), 2);
  for (auto* c : document->windowControllers())
    if (auto* editor = qobject_cast<MeritFunctionEditorController*>(c))
      EXPECT_EQ(editor->meritFunction(), document->objectInMeritFunctionArrayAtIndex(0));
}

// Rainbow colours run violet (hue 0.777) to red (hue 0) over the rows at full saturation and
// brightness; random colours are fully saturated and bright. Each is one undo step, and redo
// gives back the very colours that were drawn.
TEST_F(MeritEditorTest, RainbowAndRandomColorsAreOneUndoStepEach) {
  auto document = singletDocument();
  auto a = keyPathOperand("Focal Length", "lens.focalLength", 100);
  auto b = keyPathOperand("Total Track", "lens.totalTrack", 110);
  auto c = keyPathOperand("Petzval Sum", "lens.petzvalSum", 0);
  auto* editor = openEditor(document, {a, b, c});
  const MeritFunction::Meritoids operands = {a, b, c};
  const auto original = colorsOf(operands);
  const int steps = document->undoStack().count();

  editor->window()->findChild<QPushButton*>("rainbowColors")->click();
  const double hues[] = {0.777, 0.3885, 0.0};
  for (std::size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    const QColor expected = QColor::fromHsvF(float(hues[i]), 1, 1);
    const auto color = operands[i]->color();
    // QColor keeps 16 bits a component.
    EXPECT_NEAR(color->red(), expected.redF(), 1e-4);
    EXPECT_NEAR(color->green(), expected.greenF(), 1e-4);
    EXPECT_NEAR(color->blue(), expected.blueF(), 1e-4);
  }
  EXPECT_EQ(document->undoStack().count(), steps + 1);
  const auto rainbow = colorsOf(operands);
  // The row's colour well shows the operand's colour.
  auto* well = editor->meritFunctionView()->viewControllers()[0]->view()->findChild<QLabel*>("colorWell");
  ASSERT_TRUE(well);
  EXPECT_EQ(well->palette().color(QPalette::Window), rainbow[0]);

  editor->window()->findChild<QPushButton*>("randomizeColors")->click();
  EXPECT_EQ(document->undoStack().count(), steps + 2);
  const auto random = colorsOf(operands);
  for (const auto& color : random) {
    EXPECT_NEAR(std::max({color.redF(), color.greenF(), color.blueF()}), 1.0, 1e-6);
    EXPECT_NEAR(std::min({color.redF(), color.greenF(), color.blueF()}), 0.0, 1e-6);
  }
  EXPECT_NE(random, rainbow);

  document->undoStack().undo();
  EXPECT_EQ(colorsOf(operands), rainbow);
  document->undoStack().redo();
  EXPECT_EQ(colorsOf(operands), random);
  document->undoStack().undo();
  document->undoStack().undo();
  EXPECT_EQ(colorsOf(operands), original);
}

// A colour dropped on an operand's row colours that operand only, as one undo step.
TEST_F(MeritEditorTest, AColourDroppedOnARowColoursItsOperand) {
  auto document = singletDocument();
  auto a = keyPathOperand("Focal Length", "lens.focalLength", 100);
  auto b = keyPathOperand("Total Track", "lens.totalTrack", 110);
  auto* editor = openEditor(document, {a, b});
  auto* row = editor->meritFunctionView()->viewControllers()[1]->view();
  const auto before = colorsOf({a, b});
  const int steps = document->undoStack().count();

  QMimeData data;
  data.setColorData(QColor(0, 255, 0));
  const QPointF at(row->width() / 2.0, 10);
  QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(row, &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(row, &drop);
  EXPECT_TRUE(drop.isAccepted());
  EXPECT_EQ(colorsOf({a, b}), (std::vector<QColor>{before[0], QColor(0, 255, 0)}));
  EXPECT_EQ(document->undoStack().count(), steps + 1);
  EXPECT_EQ(document->undoStack().undoText(), QStringLiteral("Color change"));

  // Text dropped on the row is no colour: refused, nothing changes.
  QMimeData text;
  text.setText(QStringLiteral("green"));
  QDropEvent refused(at, Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(row, &refused);
  EXPECT_EQ(document->undoStack().count(), steps + 1);

  document->undoStack().undo();
  EXPECT_EQ(colorsOf({a, b}), before);
}

// Rows of the merit-function table dragged below the last row move there as one undo step;
// an open editor follows its merit function rather than closing. A colour dropped on a row
// colours every operand of that merit function, one undo step too.
TEST_F(MeritEditorTest, MeritFunctionRowsMoveByDragAndTakeColourDrops) {
  auto document = singletDocument();
  std::vector<MeritFunctionPtr> functions;
  platform::Array array;
  for (const char* name : {"a", "b", "c"}) {
    auto f = MeritFunction::create();
    f->setName(name);
    f->addMeritoid(keyPathOperand("Focal Length", "lens.focalLength", 100));
    f->addMeritoid(keyPathOperand("Total Track", "lens.totalTrack", 110));
    functions.push_back(f);
    array.emplace_back(f);
  }
  document->setMeritFunctionArray(array);
  auto* editor = MeritFunctionEditorController::editMeritFunction(document, functions[0]);
  ASSERT_TRUE(editor);
  QPointer<MeritFunctionEditorController> watched(editor);
  auto* list = openList(document);
  auto* table = list->window()->findChild<DNDTableView*>("meritFunctionTable");
  ASSERT_TRUE(table);
  auto* rows = table->arrayController();
  auto order = [&] {
    std::string names;
    for (std::size_t i = 0; i < document->countOfMeritFunctionArray(); ++i)
      names += document->objectInMeritFunctionArrayAtIndex(i)->name();
    return names;
  };
  const int steps = document->undoStack().count();

  // The drag of the first row, dropped under the last.
  std::unique_ptr<QMimeData> drag(rows->mimeData({rows->index(0, 0), rows->index(0, 1)}));
  ASSERT_TRUE(rows->canDropMimeData(drag.get(), Qt::MoveAction, 3, 0, QModelIndex()));
  ASSERT_TRUE(rows->dropMimeData(drag.get(), Qt::MoveAction, 3, 0, QModelIndex()));
  EXPECT_EQ(order(), "bca");
  EXPECT_EQ(nameAt(rows, 2), QStringLiteral("a"));
  EXPECT_EQ(rows->selectionIndexes(), std::vector<std::size_t>{2});
  EXPECT_EQ(document->undoStack().count(), steps + 1);
  EXPECT_EQ(document->undoStack().undoText(), QStringLiteral("Move merit functions"));
  testing::settle();
  ASSERT_TRUE(watched);
  EXPECT_FALSE(watched->isClosing());
  EXPECT_EQ(watched->meritFunction(), functions[0]);
  document->undoStack().undo();
  EXPECT_EQ(order(), "abc");
  EXPECT_EQ(nameAt(rows, 0), QStringLiteral("a"));
  document->undoStack().redo();
  EXPECT_EQ(order(), "bca");
  document->undoStack().undo();

  // A colour from the colour picker dropped on the middle of row "b".
  list->window()->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(list->window()));
  const QRect cell = table->visualRect(rows->index(1, 0));
  QMimeData color;
  color.setColorData(QColor(255, 0, 0));
  // As the drag arrives: enter, move over the row, drop.
  QDragEnterEvent enter(cell.center(), Qt::CopyAction | Qt::LinkAction, &color, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(table->viewport(), &enter);
  QDragMoveEvent over(cell.center(), Qt::CopyAction | Qt::LinkAction, &color, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(table->viewport(), &over);
  EXPECT_TRUE(over.isAccepted());
  QDropEvent drop(cell.center(), Qt::CopyAction | Qt::LinkAction, &color, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(table->viewport(), &drop);
  EXPECT_TRUE(drop.isAccepted());
  for (const auto& m : functions[1]->meritoidArray()) EXPECT_EQ(colorsOf({m}).front(), QColor(255, 0, 0));
  for (const auto& m : functions[0]->meritoidArray()) EXPECT_NE(colorsOf({m}).front(), QColor(255, 0, 0));
  EXPECT_EQ(document->undoStack().count(), steps + 1);
  EXPECT_EQ(document->undoStack().undoText(), QStringLiteral("Color merit function"));
  document->undoStack().undo();
  for (const auto& m : functions[1]->meritoidArray()) EXPECT_NE(colorsOf({m}).front(), QColor(255, 0, 0));
}

}  // namespace
}  // namespace orb::app
