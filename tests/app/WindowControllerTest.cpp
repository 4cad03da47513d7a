#include <gtest/gtest.h>

#include <QAction>
#include <QTimer>
#include <QToolBar>
#include <condition_variable>
#include <mutex>

#include "AppTestSupport.h"
#include "FakeDocument.h"
#include "analysis/LensBuffer.h"
#include "analysis/OBCalculator.h"
#include "analysis/OBCalculatorUpdater.h"
#include "analysis/PlotDictionary.h"
#include "app/Messages.h"
#include "app/windows/LensPlotWindowController.h"
#include "app/windows/OBWindow.h"
#include "app/windows/OptionPanelController.h"
#include "platform/NotificationCenter.h"
#include "platform/Thread.h"
#include "rendering/ZoomPlotView.h"

namespace orb::app {
namespace {

using testing::FakeDocument;
using testing::pumpUntil;

/// A calculator that takes the lens, asks for a calculation on each one, can be held in
/// its calculation, and publishes a small plot.
class TestCalculator : public analysis::OBCalculator, public analysis::LensUser {
 public:
  std::string className() const override { return "TestCalculator"; }
  bool needsProgressMonitor() const override { return progressMonitor; }

  analysis::LensPtr lens() const override { return m_lens; }
  void setLens(analysis::LensPtr lens) override {
    m_lens = std::move(lens);
    setNeedsCalculation(true);
  }
  void firstTimeWithLens(const analysis::LensPtr&) override {}
  void setLensKeyPathUpdateDictionary(const platform::Dictionary&) override {}

  void calculate() override {
    {
      std::unique_lock lock(mutex);
      arrived = true;
      changed.notify_all();
      while (held && !platform::currentThreadIsCancelled()) changed.wait_for(lock, std::chrono::milliseconds(1));
    }
    if (platform::currentThreadIsCancelled()) {
      cancelled = true;
      return;
    }
    OBCalculator::calculate();
    setNeedsGenerateCurves(true);
  }
  void generateCurves() override {
    publishPlotDictionary(platform::Dictionary{{analysis::plot::kTitle, "test plot"}});
    OBCalculator::generateCurves();
  }

  bool progressMonitor = false;
  std::mutex mutex;
  std::condition_variable changed;
  bool held = false, arrived = false;
  std::atomic<bool> cancelled{false};

 private:
  analysis::LensPtr m_lens;
};

/// What the test interface made last, so tests can look at it.
struct Made {
  std::weak_ptr<TestCalculator> calculator;
  bool progressMonitor = false;
  bool holdCalculation = false;
  int randomized = 0;
};
Made made;
int updatersMade = 0;

void registerTestInterface() {
  interfacefile::registerLoader("TestPlotWindow", [](OBWindow& window) {
    window.setWindowTitle("Test Plot");
    auto calculator = platform::makeObject<TestCalculator>();
    calculator->progressMonitor = made.progressMonitor;
    calculator->held = made.holdCalculation;
    made.calculator = calculator;
    InterfaceOutlets outlets;
    auto* view = new rendering::ZoomPlotView(&window);
    window.setCentralWidget(view);
    outlets.calculator = calculator;
    outlets.view = view;
    outlets.optionsPanel = new QWidget();
    outlets.randomize = [] { ++made.randomized; };
    return outlets;
  });
}

struct WindowControllerTest : ::testing::Test {
  std::shared_ptr<FakeDocument> document = platform::makeObject<FakeDocument>();
  std::vector<std::string> messages;

  void SetUp() override {
    registerTestInterface();
    made = Made();
    setMessagePresenter([this](QWidget*, const std::string& text, const std::string&) { messages.push_back(text); });
  }
  void TearDown() override {
    for (auto* c : document->windowControllers()) c->close();
    testing::settle();
    setMessagePresenter({});
  }
  RandomizableLensPlotWindowController* open(const std::shared_ptr<SmartDocument>& doc) {
    auto* controller = new RandomizableLensPlotWindowController("TestPlotWindow", doc);
    controller->showWindow();
    return controller;
  }
  static std::string title(SmartWindowController* c) { return c->window()->windowTitle().toStdString(); }
};

TEST_F(WindowControllerTest, TitlesAreNumberedPerDocumentAndNumbersAreReused) {
  auto* a = open(document);
  auto* b = open(document);
  auto* c = open(document);
  EXPECT_EQ(title(a), "Test Plot - Doc");
  EXPECT_EQ(title(b), "Test Plot 1 - Doc");
  EXPECT_EQ(title(c), "Test Plot 2 - Doc");
  b->close();
  testing::settle();
  EXPECT_EQ(title(open(document)), "Test Plot 1 - Doc");

  auto other = platform::makeObject<FakeDocument>();
  other->m_name = "Other";
  auto* d = open(other);
  EXPECT_EQ(title(d), "Test Plot - Other");

  // Windows of no document number against one process-wide list and show the bare title.
  auto* e = open(nullptr);
  auto* f = open(nullptr);
  EXPECT_EQ(title(e), "Test Plot");
  EXPECT_EQ(title(f), "Test Plot 1");
  for (auto* x : {d, e, f}) x->close();
  testing::settle();
  EXPECT_TRUE(SmartWindowController::processWideListOfWindows().empty());
  EXPECT_TRUE(other->listOfWindows().empty());
}

TEST_F(WindowControllerTest, TheDocumentsLensReachesTheCalculatorAndItsPlotTheView) {
  made.progressMonitor = true;
  auto* controller = open(document);
  EXPECT_EQ(controller->calculatorUpdater(), nullptr);  // made after a zero delay
  ASSERT_NE(controller->lensBuffer(), nullptr);
  ASSERT_NE(controller->progressUpdateTimer(), nullptr);
  EXPECT_EQ(controller->progressUpdateTimer()->interval(), 100);
  ASSERT_TRUE(pumpUntil([&] { return controller->calculatorUpdater() != nullptr; }));

  document->postLensIsReady();
  auto calculator = made.calculator.lock();
  EXPECT_EQ(calculator->lens(), document->lens());
  auto* view = dynamic_cast<rendering::ZoomPlotView*>(controller->view());
  ASSERT_TRUE(pumpUntil([&] { return view->plotDictionary().contains("title"); }));
  EXPECT_EQ(view->plotDictionary()["title"], platform::Value("test plot"));
}

TEST_F(WindowControllerTest, ToolbarOffersRandomizeBeforeOptionsAndReachesItsTargets) {
  auto* controller = open(document);
  EXPECT_EQ(controller->toolbar()->objectName(), "TestCalculator");
  std::vector<std::string> shown;
  for (auto* action : controller->toolbar()->actions())
    if (!action->objectName().isEmpty()) shown.push_back(action->objectName().toStdString());
  EXPECT_EQ(shown, (std::vector<std::string>{"export", "zoomToFit", "SDE", "sources", "dice", "options"}));
  auto allowed = controller->toolbarAllowedItemIdentifiers();
  EXPECT_NE(std::find(allowed.begin(), allowed.end(), "dice"), allowed.end());

  QAction* dice = controller->toolbarItem("dice");
  EXPECT_EQ(dice->text(), "Randomize");
  EXPECT_EQ(dice->toolTip(), "Generate new random ray set");
  dice->trigger();
  EXPECT_EQ(made.randomized, 1);

  controller->toolbarItem("SDE")->trigger();  // the fake document has no editor
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0].find("not available yet"), std::string::npos);

  controller->toolbarItem("options")->trigger();
  ASSERT_NE(controller->optionsPanelController(), nullptr);
  EXPECT_TRUE(controller->optionsPanelController()->isPanelVisible());
  EXPECT_EQ(controller->optionsPanelController()->panel()->windowTitle(), "Test Plot - Doc");
}

TEST_F(WindowControllerTest, ClosingStopsTheWorkerAndLetsGoOfEverything) {
  made.holdCalculation = true;
  auto* controller = open(document);
  ASSERT_TRUE(pumpUntil([&] { return controller->calculatorUpdater() != nullptr; }));
  document->postLensIsReady();
  auto calculator = made.calculator.lock();
  ASSERT_TRUE(pumpUntil([&] {
    std::lock_guard lock(calculator->mutex);
    return calculator->arrived;
  }));
  QPointer<QWidget> panel = controller->optionsPanelController()->panel();
  controller->toolbarItem("options")->trigger();
  QPointer<SmartWindowController> alive = controller;
  QAction* dice = controller->toolbarItem("dice");

  controller->close();
  EXPECT_TRUE(calculator->cancelled.load());  // stopped during the close, not later
  EXPECT_FALSE(calculator->hasWorkerThread());
  EXPECT_FALSE(panel && panel->isVisible());
  EXPECT_FALSE(dice->isEnabled());
  calculator.reset();
  testing::settle();
  EXPECT_TRUE(alive.isNull());
  EXPECT_TRUE(made.calculator.expired());  // updater, buffer, controller and view let go
  EXPECT_TRUE(document->listOfWindows().empty());

  document->postLensIsReady();  // nothing is left to call
  testing::settle();
}

TEST_F(WindowControllerTest, AWindowClosedBeforeTheZeroDelayNeverMakesItsUpdater) {
  struct Counting : RandomizableLensPlotWindowController {
    using RandomizableLensPlotWindowController::RandomizableLensPlotWindowController;
    void makeUpdaterForCalculator(const std::shared_ptr<analysis::OBCalculator>& c) override {
      ++updatersMade;
      RandomizableLensPlotWindowController::makeUpdaterForCalculator(c);
    }
  };
  updatersMade = 0;
  auto* controller = new Counting("TestPlotWindow", document);
  controller->showWindow();
  controller->close();  // before the event loop ran
  testing::settle();
  EXPECT_EQ(updatersMade, 0);
  EXPECT_TRUE(made.calculator.expired());
}

TEST_F(WindowControllerTest, RestoredOptionsPanelWaitsForWindowFinalization) {
  auto* first = open(document);
  first->toolbarItem("options")->trigger();
  platform::Dictionary state;
  first->encodeRestorableState(state);
  EXPECT_TRUE(state.contains("calculatorData"));
  EXPECT_EQ(state["optionsPanelIsVisible"], platform::Value(true));

  auto* second = new RandomizableLensPlotWindowController("TestPlotWindow", document);
  second->window();
  second->restoreState(state);
  testing::settle();
  EXPECT_FALSE(second->optionsPanelController()->isPanelVisible());
  platform::NotificationCenter::defaultCenter().post("windowFinalizationNotification");
  EXPECT_TRUE(second->optionsPanelController()->isPanelVisible());
}

TEST(OptionPanelController, PanelMovesBackOntoTheScreenByTheOverhang) {
  const QRect visible(0, 0, 1000, 800);
  const QRect panel(0, 0, 200, 300);
  struct Case {
    const char* name;
    QRect mother;
    QPoint origin;
  };
  const std::vector<Case> cases = {
      {"fits", QRect(100, 100, 400, 300), QPoint(505, 106)},
      {"runs off the right", QRect(400, 100, 400, 300), QPoint(800, 106)},
      {"runs off the bottom", QRect(100, 600, 400, 150), QPoint(505, 500)},
      {"runs off both", QRect(500, 700, 400, 90), QPoint(800, 500)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(OptionPanelController::adjustedOrigin(panel, c.mother, visible), c.origin);
  }
}

}  // namespace
}  // namespace orb::app
