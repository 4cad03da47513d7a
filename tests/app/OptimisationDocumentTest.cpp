// The lens document's side of optimisation: merit functions and the optimiser's scale
// memory kept in the native file, merit functions added and deleted with undo, and the
// optimiser's result applied as one undoable lens change.
#include <gtest/gtest.h>

#include <QUndoStack>
#include <cmath>
#include <filesystem>
#include <unistd.h>

#include "AppTestSupport.h"
#include "OptimisationTestSupport.h"
#include "app/document/DocumentController.h"
#include "app/document/OBDocument.h"
#include "lens/Lens.h"
#include "optimisation/MeritFunction.h"
#include "optimisation/MeritoidKeyPath.h"
#include "optimisation/Optimizer.h"
#include "optimisation/VariablesController.h"
#include "platform/KeyedArchiver.h"
#include "tracing/LensSummary.h"

namespace orb::app {
namespace {

using optimisation::MeritFunction;
using optimisation::MeritFunctionPtr;
using optimisation::MeritoidKeyPath;
using optimisation::Optimizer;
using optimisation::testing::kFocus100Curvature;

MeritFunctionPtr focalLengthMerit(const std::string& name) {
  auto f = MeritFunction::create();
  f->setName(name);
  auto focal = MeritoidKeyPath::makeKind("Focal Length", "lens.focalLength");
  focal->setTarget(100);
  focal->setTolerance(0.01);
  f->addMeritoid(focal);
  return f;
}

struct OptimisationDocumentTest : ::testing::Test {
  std::filesystem::path dir = std::filesystem::temp_directory_path() /
                              ("orb-optimisation-document-" + std::to_string(::getpid()) + "-" +
                               ::testing::UnitTest::GetInstance()->current_test_info()->name());
  optimisation::testing::TempDefaults defaults;

  void SetUp() override {
    registerLensDocument();
    std::filesystem::create_directories(dir);
  }
  void TearDown() override {
    testing::settle();
    std::filesystem::remove_all(dir);
  }

  /// An untitled document holding the plano-convex singlet, its s1 curvature variable
  /// from `c1`, with undo live and a fresh snapshot.
  std::shared_ptr<OBDocument> singletDocument(double c1) {
    auto document = std::static_pointer_cast<OBDocument>(DocumentController::shared().documentFactory()->makeUntitledDocument());
    document->setLens(optimisation::testing::singletLens(c1));
    document->lensIsReady();
    EXPECT_TRUE(testing::pumpUntil([&] { return document->snapshotIsFresh(); }));
    return document;
  }
  std::shared_ptr<Optimizer> boundOptimizer(OBDocument& document, const MeritFunctionPtr& merit) {
    auto o = Optimizer::create(*defaults);
    o->setPreferredMinimizerTag(Optimizer::kLevenbergMarquardtTag);
    document.bindOptimizer(*o);
    o->setAnalyzer(merit);
    return o;
  }
  std::shared_ptr<OBDocument> reopen(const std::string& path) {
    std::string error;
    auto document = DocumentController::shared().documentFactory()->openDocument(path, &error);
    EXPECT_TRUE(document) << error;
    return std::static_pointer_cast<OBDocument>(document);
  }
};

// The known problem through the document: the best point lands as one "lens change" and
// Undo brings the starting curvature back exactly; Redo the optimum again.
TEST_F(OptimisationDocumentTest, OptimiserResultIsOneUndoableChange) {
  auto document = singletDocument(0.01);
  ASSERT_EQ(document->undoStack().count(), 0);
  auto o = boundOptimizer(*document, focalLengthMerit("focus"));
  o->startOptimization();
  ASSERT_TRUE(testing::pumpUntil([&] { return !o->isBusy() && !o->isOptimizing(); }));
  testing::settle();

  const auto& lens = *document->lens();
  EXPECT_NE(o->chatter().find("converged"), std::string::npos) << o->chatter();
  EXPECT_NEAR(optimisation::testing::curvatureOf(lens, 1), kFocus100Curvature, 1e-7);
  EXPECT_LT(std::abs(tracing::focalLength(lens) - 100), 1e-3);
  ASSERT_EQ(document->undoStack().count(), 1);
  EXPECT_EQ(document->undoStack().undoText().toStdString(), "lens change");
  EXPECT_TRUE(document->isDocumentEdited());

  document->undo();
  EXPECT_EQ(optimisation::testing::curvatureOf(*document->lens(), 1), 0.01);
  EXPECT_NEAR(tracing::focalLength(*document->lens()), 1 / ((optimisation::testing::kModelIndex - 1) * 0.01), 1e-6);
  EXPECT_FALSE(document->isDocumentEdited());
  document->redo();
  EXPECT_NEAR(optimisation::testing::curvatureOf(*document->lens(), 1), kFocus100Curvature, 1e-7);
  document->unbindOptimizer(*o);
}

// A run that ends before the loop was idle after the last edit finds no fresh snapshot:
// the result is still its own undo step, back to the lens as it stood when the run ended,
// and under the ordinary name even when a caller left another one.
TEST_F(OptimisationDocumentTest, ResultWithoutFreshSnapshotIsStillUndoable) {
  auto document = singletDocument(0.01);
  auto& lens = *document->lens();
  lens.setValueForKeyPath("s1.curvature", 0.012);
  optimisation::runChangeCycle(lens);
  ASSERT_FALSE(document->snapshotIsFresh());
  document->setUpcomingActionName("scale lens");
  document->optimizerWillApplyBestPoint();
  lens.setValueForKeyPath("s1.curvature", 0.015);  // the best point, as the optimiser writes it
  optimisation::runChangeCycle(lens);
  ASSERT_EQ(document->undoStack().count(), 2);
  EXPECT_EQ(document->undoStack().undoText().toStdString(), "lens change");
  document->undo();
  EXPECT_EQ(optimisation::testing::curvatureOf(*document->lens(), 1), 0.012);
  document->undo();
  EXPECT_EQ(optimisation::testing::curvatureOf(*document->lens(), 1), 0.01);
}

// Merit functions and the scale memory written by a bound optimiser's variables are saved
// in the native file and come back; an optimiser bound to the reopened document starts
// from the remembered scale and bounds.
TEST_F(OptimisationDocumentTest, MeritFunctionsAndScaleMemoryRoundTrip) {
  auto document = singletDocument(0.01);
  auto merit = focalLengthMerit("focus");
  document->insertObjectInMeritFunctionArrayAtIndex(merit, 0);
  auto o = boundOptimizer(*document, merit);
  ASSERT_EQ(o->variablesController()->arrayOfVariableDescriptors().size(), 1u);
  auto d = o->variablesController()->arrayOfVariableDescriptors()[0];
  d->setScale(0.004);
  d->setMinimum(0.005);
  d->setMaximum(0.05);
  const auto entry = document->scaleMemory().get("s1.curvature");
  ASSERT_TRUE(entry.isDictionary());
  EXPECT_EQ(entry.asDictionary().get("scale").asDouble(), 0.004);
  document->unbindOptimizer(*o);
  d->setScale(0.5);  // an unbound optimiser no longer writes the document's memory
  EXPECT_EQ(document->scaleMemory().get("s1.curvature").asDictionary().get("scale").asDouble(), 0.004);

  const auto path = (dir / "singlet.orb").string();
  std::string error;
  ASSERT_TRUE(document->writeToFile(path, OBDocument::kNativeType, &error)) << error;
  auto reopened = reopen(path);
  ASSERT_TRUE(reopened);
  EXPECT_EQ(reopened->scaleMemory(), document->scaleMemory());
  ASSERT_EQ(reopened->countOfMeritFunctionArray(), 1u);
  auto read = reopened->objectInMeritFunctionArrayAtIndex(0);
  ASSERT_TRUE(read);
  EXPECT_EQ(read->name(), "focus");
  ASSERT_EQ(read->meritoidArray().size(), 1u);
  auto focal = std::dynamic_pointer_cast<MeritoidKeyPath>(read->meritoidArray()[0]);
  ASSERT_TRUE(focal);
  EXPECT_EQ(focal->script(), "lens.focalLength");
  EXPECT_EQ(focal->target(), 100);
  EXPECT_EQ(focal->tolerance(), 0.01);
  // The reopened merit function measures the reopened lens: f = 1/((n - 1) c), merit
  // half the square of (f - target)/tolerance.
  read->setLens(reopened->lens());
  read->evaluate();
  const double f = 1 / ((optimisation::testing::kModelIndex - 1) * 0.01);
  const double expected = 0.5 * std::pow((f - 100) / 0.01, 2);
  EXPECT_NEAR(read->doubleValue(), expected, 1e-6 * expected);

  auto again = boundOptimizer(*reopened, read);
  ASSERT_EQ(again->variablesController()->arrayOfVariableDescriptors().size(), 1u);
  auto remembered = again->variablesController()->arrayOfVariableDescriptors()[0];
  EXPECT_EQ(remembered->scale(), 0.004);
  EXPECT_EQ(remembered->minimum(), 0.005);
  EXPECT_EQ(remembered->maximum(), 0.05);
  reopened->unbindOptimizer(*again);
}

// A native file without merit functions or scale memory opens with none; one whose merit
// functions are something else opens no document.
TEST_F(OptimisationDocumentTest, FilesWithoutOrWithForeignMeritFunctions) {
  const auto bare = (dir / "bare.orb").string();
  platform::Dictionary root;
  root.set("lens", platform::Value(OBDocument::tripletTestLens()));
  platform::KeyedArchiver::archiveRootObjectToFile(root, bare);
  auto document = reopen(bare);
  ASSERT_TRUE(document);
  EXPECT_EQ(document->countOfMeritFunctionArray(), 0u);
  EXPECT_TRUE(document->scaleMemory().empty());

  const auto foreign = (dir / "foreign.orb").string();
  root.set("meritFunctionArray", platform::Array{platform::Value("not a merit function")});
  platform::KeyedArchiver::archiveRootObjectToFile(root, foreign);
  std::string error;
  EXPECT_FALSE(DocumentController::shared().documentFactory()->openDocument(foreign, &error));
  EXPECT_NE(error.find("holds something other than merit functions"), std::string::npos) << error;
}

// Inserting and deleting merit functions are undo steps under their own names; undoing a
// deletion puts the function back in its place.
TEST_F(OptimisationDocumentTest, InsertAndDeleteMeritFunctionsWithUndo) {
  auto document = singletDocument(0.01);
  auto first = focalLengthMerit("first"), second = focalLengthMerit("second");
  document->insertObjectInMeritFunctionArrayAtIndex(first, 0);
  document->insertObjectInMeritFunctionArrayAtIndex(second, 7);  // past the end: appended
  ASSERT_EQ(document->countOfMeritFunctionArray(), 2u);
  EXPECT_EQ(document->objectInMeritFunctionArrayAtIndex(1), second);
  EXPECT_EQ(document->undoStack().undoText().toStdString(), "Insert merit function");
  EXPECT_TRUE(document->isDocumentEdited());

  document->removeObjectFromMeritFunctionArrayAtIndex(0);
  document->removeObjectFromMeritFunctionArrayAtIndex(5);  // nothing there: no step
  ASSERT_EQ(document->countOfMeritFunctionArray(), 1u);
  EXPECT_EQ(document->objectInMeritFunctionArrayAtIndex(0), second);
  EXPECT_EQ(document->undoStack().count(), 3);
  EXPECT_EQ(document->undoStack().undoText().toStdString(), "Delete merit function");

  document->undo();
  ASSERT_EQ(document->countOfMeritFunctionArray(), 2u);
  EXPECT_EQ(document->objectInMeritFunctionArrayAtIndex(0), first);
  EXPECT_EQ(document->objectInMeritFunctionArrayAtIndex(1), second);
  EXPECT_EQ(document->undoStack().redoText().toStdString(), "Delete merit function");
  document->undo();
  document->undo();
  EXPECT_EQ(document->countOfMeritFunctionArray(), 0u);
  EXPECT_FALSE(document->isDocumentEdited());
  document->redo();
  EXPECT_EQ(document->objectInMeritFunctionArrayAtIndex(0), first);
}

}  // namespace
}  // namespace orb::app
