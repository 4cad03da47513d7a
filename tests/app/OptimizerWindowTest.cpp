// The optimiser window and the merit-versus-parameter window on a lens document: the
// plano-convex singlet brought to a 100 mm focal length through the window's own controls,
// as one undoable change, and the merit scan plotted against the closed-form merit.
#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QTableWidget>
#include <QUndoStack>
#include <cmath>
#include <string>
#include <vector>

#include "AppTestSupport.h"
#include "OptimisationTestSupport.h"
#include "analysis/PlotDictionary.h"
#include "app/Messages.h"
#include "app/document/DocumentController.h"
#include "app/document/OBDocument.h"
#include "app/windows/MeritPlotWindow.h"
#include "app/windows/OBWindow.h"
#include "app/windows/OptimizerWindow.h"
#include "lens/Lens.h"
#include "optimisation/CalcMeritVsParameter.h"
#include "optimisation/MeritFunction.h"
#include "optimisation/MeritoidKeyPath.h"
#include "optimisation/Optimizer.h"
#include "optimisation/VariablesController.h"
#include "platform/UserDefaults.h"
#include "rendering/PlotViewWithPOI.h"
#include "rendering/ZoomPlotView.h"
#include "tracing/LensSummary.h"

namespace orb::app {
namespace {

using optimisation::testing::curvatureOf;
using optimisation::testing::kFocus100Curvature;
using optimisation::testing::kModelIndex;

/// The singlet's merit for a focal length of 100 with tolerance 0.01, in closed form:
/// f = 1/((n - 1) c), merit = ½((f - 100)/0.01)².
double focusMerit(double c1) {
  const double f = 1 / ((kModelIndex - 1) * c1);
  return 0.5 * std::pow((f - 100) / 0.01, 2);
}

optimisation::MeritFunctionPtr focalLengthMerit() {
  auto f = optimisation::MeritFunction::create();
  f->setName("focus");
  auto focal = optimisation::MeritoidKeyPath::makeKind("Focal Length", "lens.focalLength");
  focal->setTarget(100);
  focal->setTolerance(0.01);
  f->addMeritoid(focal);
  return f;
}

struct OptimizerWindowTest : ::testing::Test {
  std::shared_ptr<OBDocument> document;
  std::vector<std::string> messages;

  void SetUp() override {
    registerLensDocument();
    setMessagePresenter(
        [this](QWidget*, const std::string& text, const std::string& info) { messages.push_back(text + " " + info); });
  }
  void TearDown() override {
    if (document) document->close();
    document.reset();
    setMessagePresenter({});
    // Choosing a minimiser in the window is remembered for later windows: forget it here.
    platform::UserDefaults::standard().removeObject("oPreferredOptimizerTag");
    testing::settle();
  }

  /// The singlet as an untitled document with the focal-length merit function, s1's
  /// curvature variable or not, undo live.
  void makeDocument(double c1, bool variableS1) {
    document =
        std::static_pointer_cast<OBDocument>(DocumentController::shared().documentFactory()->makeUntitledDocument());
    document->setLens(optimisation::testing::singletLens(c1, variableS1));
    document->lensIsReady();
    document->insertObjectInMeritFunctionArrayAtIndex(focalLengthMerit(), 0);
    ASSERT_TRUE(testing::pumpUntil([&] { return document->snapshotIsFresh(); }));
  }

  template <class Controller>
  std::vector<Controller*> controllers() {
    std::vector<Controller*> out;
    for (auto* c : document->windowControllers())
      if (auto* w = qobject_cast<Controller*>(c)) out.push_back(w);
    return out;
  }
  template <class Controller>
  Controller* open(const char* action) {
    EXPECT_TRUE(document->performAction(action));
    auto all = controllers<Controller>();
    return all.empty() ? nullptr : all.back();
  }
  template <class W>
  static W* child(SmartWindowController* c, const char* name) {
    auto* w = c->window()->findChild<W*>(QString::fromUtf8(name));
    EXPECT_TRUE(w) << name;
    return w;
  }
  static bool idle(const optimisation::Optimizer& o) { return !o.isBusy() && !o.isOptimizing(); }
};

// The end-to-end case: the focal-length operand in the document's merit function,
// s1's curvature added as a variable through the window, Start; the lens lands on
// f = 100 (c = 1/((n - 1)·100)) and one Undo brings back f = 1/((n - 1)·0.01).
TEST_F(OptimizerWindowTest, BringsTheSingletToFocalLength100AsOneUndoableChange) {
  makeDocument(0.01, /*variableS1=*/false);
  auto* window = open<OptimizerWindowController>("showOptimizer");
  ASSERT_TRUE(window);
  ASSERT_TRUE(document->performAction("showOptimizer"));
  EXPECT_EQ(controllers<OptimizerWindowController>().size(), 1u);  // one per document
  auto optimizer = window->optimizer();
  ASSERT_TRUE(optimizer);
  EXPECT_EQ(optimizer->analyzer(), document->objectInMeritFunctionArrayAtIndex(0));
  EXPECT_EQ(child<QComboBox>(window, "functions")->currentText().toStdString(), "focus");
  EXPECT_EQ(child<QTableWidget>(window, "variables")->rowCount(), 0);

  child<QLineEdit>(window, "variableKeyPath")->setText("s1.curvature");
  child<QPushButton>(window, "addVariable")->click();
  ASSERT_TRUE(
      testing::pumpUntil([&] { return optimizer->variablesController()->arrayOfVariableDescriptors().size() == 1; }));
  auto* table = child<QTableWidget>(window, "variables");
  ASSERT_EQ(table->rowCount(), 1);
  EXPECT_EQ(table->item(0, OptimizerWindowController::kKeyPathColumn)->text().toStdString(), "s1.curvature");
  EXPECT_TRUE(messages.empty());
  ASSERT_TRUE(testing::pumpUntil([&] { return document->snapshotIsFresh(); }));
  const int stepsBefore = document->undoStack().count();
  auto* merit = child<QLabel>(window, "meritValue");
  EXPECT_NEAR(QLocale().toDouble(merit->text()), focusMerit(0.01), 1e-6 * focusMerit(0.01));

  child<QPushButton>(window, "start")->click();
  ASSERT_TRUE(testing::pumpUntil([&] { return idle(*optimizer); }));
  testing::settle();
  EXPECT_NEAR(tracing::focalLength(*document->lens()), 100, 1e-3);
  EXPECT_NEAR(curvatureOf(*document->lens(), 1), kFocus100Curvature, 1e-7);
  auto* chatter = child<QLabel>(window, "chatter");
  EXPECT_EQ(chatter->text().toStdString(), optimizer->chatter());
  EXPECT_NE(optimizer->chatter().find("converged"), std::string::npos) << optimizer->chatter();
  EXPECT_TRUE(child<QPushButton>(window, "start")->isEnabled());
  EXPECT_EQ(document->undoStack().count(), stepsBefore + 1);
  // |f - 100| < 1e-3 bounds the merit by ½(1e-3/0.01)².
  EXPECT_LT(QLocale().toDouble(merit->text()), 0.5 * 0.1 * 0.1) << merit->text().toStdString();

  auto shownValue = [&] { return table->item(0, OptimizerWindowController::kValueColumn)->text().toDouble(); };
  EXPECT_NEAR(shownValue(), kFocus100Curvature, 1e-7);

  document->undo();
  testing::settle();
  EXPECT_EQ(curvatureOf(*document->lens(), 1), 0.01);
  EXPECT_NEAR(tracing::focalLength(*document->lens()), 1 / ((kModelIndex - 1) * 0.01), 1e-6);
  // The window follows the lens back: the variable and the merit are those of c = 0.01.
  ASSERT_EQ(table->rowCount(), 1);
  EXPECT_DOUBLE_EQ(shownValue(), 0.01);
  EXPECT_EQ(optimizer->variablesController()->arrayOfVariableDescriptors().at(0)->value(), 0.01);
  EXPECT_NEAR(QLocale().toDouble(merit->text()), focusMerit(0.01), 1e-6 * focusMerit(0.01));
}

// Start then Stop: the run ends and the window shows what the optimiser last said.
TEST_F(OptimizerWindowTest, StartThenStopUpdatesTheChatter) {
  makeDocument(0.01, /*variableS1=*/true);
  auto* window = open<OptimizerWindowController>("showOptimizer");
  ASSERT_TRUE(window);
  auto optimizer = window->optimizer();
  auto* chatter = child<QLabel>(window, "chatter");
  const auto before = chatter->text();
  // The minimiser choice reaches the optimiser (and whether the run ends by itself before
  // the Stop or is stopped, its last word is shown).
  child<QComboBox>(window, "minimizer")->setCurrentIndex(1);
  window->setMinimizerTag(optimisation::Optimizer::kNelderMeadTag);
  EXPECT_EQ(optimizer->preferredMinimizerTag(), optimisation::Optimizer::kNelderMeadTag);
  child<QPushButton>(window, "start")->click();
  EXPECT_FALSE(child<QPushButton>(window, "start")->isEnabled());
  EXPECT_TRUE(child<QPushButton>(window, "stop")->isEnabled());
  child<QPushButton>(window, "stop")->click();
  ASSERT_TRUE(testing::pumpUntil([&] { return idle(*optimizer); }));
  testing::settle();
  EXPECT_FALSE(optimizer->chatter().empty());
  EXPECT_NE(chatter->text(), before);
  EXPECT_EQ(chatter->text().toStdString(), optimizer->chatter());
  EXPECT_TRUE(child<QPushButton>(window, "start")->isEnabled());
  EXPECT_FALSE(child<QPushButton>(window, "stop")->isEnabled());
}

// Closing the window mid-run stops the worker and lets go of the document: whatever the
// cut-short run wrote is at most one step, and Undo brings the starting lens back.
TEST_F(OptimizerWindowTest, ClosingDuringARunStopsIt) {
  makeDocument(0.01, /*variableS1=*/true);
  auto* window = open<OptimizerWindowController>("showOptimizer");
  ASSERT_TRUE(window);
  ASSERT_TRUE(document->performAction("showScaleLensWindow"));  // not the document's last window
  std::weak_ptr<optimisation::Optimizer> optimizer = window->optimizer();
  const int stepsBefore = document->undoStack().index();
  child<QPushButton>(window, "start")->click();
  window->close();
  ASSERT_TRUE(testing::pumpUntil([&] { return controllers<OptimizerWindowController>().empty(); }));
  testing::settle();
  ASSERT_TRUE(testing::pumpUntil([&] {
    auto o = optimizer.lock();
    return !o || (!o->isBusy() && !o->isOptimizing());
  }));
  testing::settle();
  // Undo moves the stack's index, never its count: walk the index back, at most one step.
  EXPECT_LE(document->undoStack().index(), stepsBefore + 1);
  for (int guard = 0; document->undoStack().index() > stepsBefore && guard < 2; ++guard) document->undo();
  EXPECT_EQ(document->undoStack().index(), stepsBefore);
  EXPECT_EQ(curvatureOf(*document->lens(), 1), 0.01);
}

// What the add-variable control takes, and the table's edits reaching the descriptors and
// the document's scale memory.
TEST_F(OptimizerWindowTest, AddVariableAndEditTheTable) {
  makeDocument(0.01, /*variableS1=*/false);
  auto* window = open<OptimizerWindowController>("showOptimizer");
  ASSERT_TRUE(window);
  const struct {
    const char* keyPath;
    bool added;
  } cases[] = {{"s1.curvature", true},
               {"s2.thickness", true},
               {"s1.comment", false},
               {"curvature", false},
               {"s9.curvature", false}};
  for (const auto& c : cases) {
    messages.clear();
    EXPECT_EQ(window->addVariableWithKeyPath(c.keyPath), c.added) << c.keyPath;
    EXPECT_EQ(messages.empty(), c.added) << c.keyPath;
  }
  auto variables = window->optimizer()->variablesController();
  ASSERT_TRUE(testing::pumpUntil([&] { return variables->arrayOfVariableDescriptors().size() == 2; }));
  auto* table = child<QTableWidget>(window, "variables");
  ASSERT_EQ(table->rowCount(), 2);
  int row = -1;
  for (int r = 0; r < 2; ++r)
    if (table->item(r, OptimizerWindowController::kKeyPathColumn)->text() == "s1.curvature") row = r;
  ASSERT_GE(row, 0);
  auto d = variables->arrayOfVariableDescriptors()[static_cast<std::size_t>(row)];
  table->item(row, OptimizerWindowController::kScaleColumn)->setText("0.004");
  table->item(row, OptimizerWindowController::kMaximumColumn)->setText("0.05");
  table->item(row, OptimizerWindowController::kEnabledColumn)->setCheckState(Qt::Unchecked);
  EXPECT_EQ(d->scale(), 0.004);
  EXPECT_EQ(d->maximum(), 0.05);
  EXPECT_FALSE(d->enabled());
  const auto entry = document->scaleMemory().get("s1.curvature");
  ASSERT_TRUE(entry.isDictionary());
  EXPECT_EQ(entry.asDictionary().get("scale").asDouble(), 0.004);
  // A zero step could never move the variable: refused, the table shows the kept scale.
  table->item(row, OptimizerWindowController::kScaleColumn)->setText("0");
  testing::settle();
  EXPECT_EQ(d->scale(), 0.004);
  EXPECT_EQ(table->item(row, OptimizerWindowController::kScaleColumn)->text().toDouble(), 0.004);
}

// The scan of s1's curvature around the optimum: the window plots the merit function's
// values, each the closed-form merit of its curvature.
TEST_F(OptimizerWindowTest, MeritPlotScansAndPlotsTheChosenMeritFunction) {
  makeDocument(0.01, /*variableS1=*/true);
  auto* window = open<MeritPlotWindowController>("makeMeritVsParameter");
  ASSERT_TRUE(window);
  auto calculator = window->meritCalculator();
  ASSERT_TRUE(calculator);
  EXPECT_EQ(calculator->meritFunction(), document->objectInMeritFunctionArrayAtIndex(0));
  ASSERT_TRUE(testing::pumpUntil([&] { return calculator->lens() != nullptr; }));
  window->setConstructionKeyPath("s1.curvature");
  ASSERT_TRUE(calculator->keyPathIsValid());
  EXPECT_EQ(calculator->nominalValue(), 0.01);
  calculator->setNominalValue(kFocus100Curvature);
  calculator->setDelta(0.001);
  calculator->setNumberOfPoints(5);
  child<QPushButton>(window, "calculate")->click();
  auto* view = dynamic_cast<rendering::ZoomPlotView*>(window->view());
  ASSERT_TRUE(view);
  ASSERT_TRUE(testing::pumpUntil([&] { return !calculator->isBusy() && !calculator->resultDictionary().empty(); }));
  testing::settle();
  const auto* x = analysis::SeriesValue::from(calculator->resultDictionary().get("x"));
  const auto* y = analysis::SeriesValue::from(calculator->resultDictionary().get("y"));
  ASSERT_TRUE(x && y);
  ASSERT_EQ(x->count(), 5u);
  for (std::size_t i = 0; i < 5; ++i) {
    EXPECT_NEAR(x->at(i), kFocus100Curvature - 0.001 + 0.0005 * static_cast<double>(i), 1e-12);
    const double expected = focusMerit(x->at(i));
    EXPECT_NEAR(y->at(i), expected, 1e-6 * expected + 1e-6) << i;
  }
  const auto curves = view->plotDictionary().get(analysis::plot::kCurves);
  ASSERT_TRUE(curves.isArray());
  EXPECT_EQ(curves.asArray().size(), 1u);
  // The scan never touched the lens; "To Lens" writes the nominal value.
  EXPECT_EQ(curvatureOf(*document->lens(), 1), 0.01);
  child<QPushButton>(window, "pushNominalValueToLens")->click();
  testing::settle();
  EXPECT_NEAR(curvatureOf(*document->lens(), 1), kFocus100Curvature, 1e-15);
}

// A point picked on the merit plot becomes the nominal value; with "and Calculate" the pick
// is cleared and the scan runs again around it, 0.1 s later. Without a pick nothing moves.
TEST_F(OptimizerWindowTest, MeritPlotRescansAroundAPickedPoint) {
  makeDocument(0.01, /*variableS1=*/true);
  auto* window = open<MeritPlotWindowController>("makeMeritVsParameter");
  ASSERT_TRUE(window);
  auto calculator = window->meritCalculator();
  ASSERT_TRUE(testing::pumpUntil([&] { return calculator->lens() != nullptr; }));
  window->setConstructionKeyPath("s1.curvature");
  calculator->setDelta(0.004);
  calculator->setNumberOfPoints(5);
  auto* plot = window->plotView();
  ASSERT_TRUE(plot);
  QAction* pickAndCalculate = nullptr;
  for (QAction* a : plot->actions())
    if (a->objectName() == QLatin1String("setAbscissaToPresentSelectionAndCalculate")) pickAndCalculate = a;
  ASSERT_TRUE(pickAndCalculate);

  // No point picked yet: the nominal value stays.
  child<QPushButton>(window, "setAbscissaToPresentSelection")->click();
  EXPECT_EQ(calculator->nominalValue(), 0.01);

  child<QPushButton>(window, "calculate")->click();
  ASSERT_TRUE(testing::pumpUntil([&] { return !calculator->isBusy() && !calculator->resultDictionary().empty(); }));
  testing::settle();
  // Points at 0.01 + 0.004 (2i/4 - 1): the fourth is c = 0.012.
  plot->setCurveAndPointOfInterest(0, 3);
  ASSERT_TRUE(plot->hasPointOfInterest());
  const auto firstScan = calculator->resultDictionary();
  pickAndCalculate->trigger();
  EXPECT_NEAR(calculator->nominalValue(), 0.012, 1e-15);
  EXPECT_EQ(child<QLineEdit>(window, "nominalValue")->text().toDouble(), calculator->nominalValue());
  EXPECT_FALSE(plot->hasPointOfInterest());
  ASSERT_TRUE(testing::pumpUntil([&] {
    return !calculator->isBusy() && calculator->resultDictionary() != firstScan &&
           !calculator->resultDictionary().empty();
  }));
  const auto* x = analysis::SeriesValue::from(calculator->resultDictionary().get("x"));
  const auto* y = analysis::SeriesValue::from(calculator->resultDictionary().get("y"));
  ASSERT_TRUE(x && y);
  ASSERT_EQ(x->count(), 5u);
  for (std::size_t i = 0; i < 5; ++i) {
    EXPECT_NEAR(x->at(i), 0.012 - 0.004 + 0.002 * static_cast<double>(i), 1e-12);
    const double expected = focusMerit(x->at(i));
    EXPECT_NEAR(y->at(i), expected, 1e-6 * expected + 1e-6) << i;
  }
  // The scan never touched the lens.
  EXPECT_EQ(curvatureOf(*document->lens(), 1), 0.01);
}

}  // namespace
}  // namespace orb::app
