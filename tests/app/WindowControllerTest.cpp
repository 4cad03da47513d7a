#include <gtest/gtest.h>

#include <QAction>
#include <QFile>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolBar>
#include <condition_variable>
#include <cstdio>
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
#include "app/windows/ExportSheet.h"
#include "app/windows/OptionPanelController.h"
#include "platform/NotificationCenter.h"
#include "platform/Thread.h"
#include "platform/UserDefaults.h"
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
    namespace plot = analysis::plot;
    auto series = [](std::vector<double> v) {
      return analysis::SeriesValue::make(foundation::VKSeries::seriesWithArray(v));
    };
    platform::Array curves{
        platform::Dictionary{{plot::kName, "A"}, {plot::kXSeries, series({0, 1})}, {plot::kYSeries, series({1, 2})}},
        platform::Dictionary{{plot::kName, "B"}, {plot::kXSeries, series({0, 1})}, {plot::kYSeries, series({3, 4})}}};
    publishPlotDictionary(platform::Dictionary{{plot::kTitle, "test plot"}, {plot::kCurves, curves}});
    OBCalculator::generateCurves();
  }
  bool exportToFile(std::FILE* file) override {
    if (!exports) return false;
    std::fputs("x y\n1 2\n", file);
    return true;
  }

  bool progressMonitor = false;
  bool exports = false;
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

/// Another kind of analysis: its toolbar keeps a configuration of its own.
class OtherTestCalculator : public TestCalculator {
 public:
  std::string className() const override { return "OtherTestCalculator"; }
};

void registerTestInterface() {
  interfacefile::registerLoader("OtherTestPlotWindow", [](OBWindow& window) {
    window.setWindowTitle("Other Test Plot");
    auto* view = new rendering::ZoomPlotView(&window);
    window.setCentralWidget(view);
    InterfaceOutlets outlets;
    outlets.calculator = platform::makeObject<OtherTestCalculator>();
    outlets.view = view;
    return outlets;
  });
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
    for (const char* kind : {"TestCalculator", "OtherTestCalculator"})
      platform::UserDefaults::standard().removeObject(CalculatorWindowController::toolbarConfigurationKey(kind));
  }
  RandomizableLensPlotWindowController* open(const std::shared_ptr<SmartDocument>& doc) {
    auto* controller = new RandomizableLensPlotWindowController("TestPlotWindow", doc);
    controller->showWindow();
    return controller;
  }
  static std::string title(SmartWindowController* c) { return shownWindowTitle(*c->window()).toStdString(); }
  static std::vector<std::string> shownItems(CalculatorWindowController* c) {
    std::vector<std::string> shown;
    for (auto* action : c->toolbar()->actions())
      if (!action->objectName().isEmpty()) shown.push_back(action->objectName().toStdString());
    return shown;
  }
  PlotWindowController* openOtherKind() {
    auto* controller = new PlotWindowController("OtherTestPlotWindow", document);
    controller->showWindow();
    return controller;
  }
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

TEST_F(WindowControllerTest, ExportOpensTheSheetOverTheWindowWithThePlotsCurves) {
  auto* controller = open(document);
  ASSERT_TRUE(pumpUntil([&] { return controller->calculatorUpdater() != nullptr; }));
  document->postLensIsReady();
  auto calculator = made.calculator.lock();
  ASSERT_TRUE(pumpUntil([&] { return calculator->plotDictionary().has_value(); }));

  controller->toolbarItem("export")->trigger();
  ExportSheetController* sheet = controller->exportSheetController();
  ASSERT_NE(sheet, nullptr);
  EXPECT_EQ(platform::Value(sheet->curves()), calculator->plotDictionary()->get("curves"));
  EXPECT_EQ(sheet->selectionIndexes(), (std::vector<std::size_t>{0, 1}));
  EXPECT_EQ(sheet->mainWindow(), controller->window());
  QDialog* dialog = sheet->sheet();
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_EQ(dialog->windowModality(), Qt::WindowModal);
  EXPECT_EQ(dialog->parentWidget(), controller->window());
  auto* list = dialog->findChild<QListWidget*>("curveList");
  ASSERT_EQ(list->count(), 2);
  EXPECT_EQ(list->item(0)->text(), "A");
  EXPECT_TRUE(messages.empty());

  dialog->findChild<QPushButton*>("closeButton")->click();
  EXPECT_FALSE(dialog->isVisible());
  controller->exportAction();  // the same sheet again, all curves selected again
  EXPECT_EQ(controller->exportSheetController(), sheet);
  EXPECT_TRUE(dialog->isVisible());
}

TEST_F(WindowControllerTest, CustomisedToolbarIsKeptPerKindOfAnalysis) {
  using Mode = CalculatorWindowController::ToolbarDisplayMode;
  const std::vector<std::string> defaults = {"export", "zoomToFit", "SDE", "sources", "dice", "options"};
  auto* first = open(document);
  first->setToolbarItemShown("sources", false);
  first->setToolbarDisplayMode(Mode::IconOnly);
  first->close();
  testing::settle();

  const auto stored = platform::UserDefaults::standard().dictionaryForKey("NSToolbar Configuration TestCalculator");
  EXPECT_EQ(stored["TB Display Mode"], platform::Value(2));
  EXPECT_EQ(stored["TB Is Shown"], platform::Value(true));
  ASSERT_TRUE(stored["TB Item Identifiers"].isArray());

  auto* second = open(document);
  EXPECT_EQ(shownItems(second), (std::vector<std::string>{"export", "zoomToFit", "SDE", "dice", "options"}));
  EXPECT_EQ(second->toolbar()->toolButtonStyle(), Qt::ToolButtonIconOnly);
  // Shown again beside its neighbour in the default order.
  second->setToolbarItemShown("sources", true);
  EXPECT_EQ(shownItems(second), defaults);
  EXPECT_EQ(second->toolbarItemIdentifiers()[4], "sources");  // before the flexible space, after "SDE"

  auto* other = openOtherKind();
  EXPECT_EQ(shownItems(other), (std::vector<std::string>{"export", "zoomToFit", "SDE", "sources", "options"}));
  EXPECT_EQ(other->toolbar()->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
}

TEST_F(WindowControllerTest, StoredToolbarSkipsUnknownAndNotAllowedItems) {
  platform::UserDefaults::standard().setObject(
      CalculatorWindowController::toolbarConfigurationKey("OtherTestCalculator"),
      platform::Dictionary{{"TB Item Identifiers", platform::Array{"options", "warpDrive", "dice", "export", "options"}},
                           {"TB Display Mode", 3},
                           {"TB Is Shown", false}});
  auto* controller = openOtherKind();
  EXPECT_EQ(controller->toolbarItemIdentifiers(), (std::vector<std::string>{"options", "export"}));
  EXPECT_EQ(controller->toolbar()->toolButtonStyle(), Qt::ToolButtonTextOnly);
  EXPECT_FALSE(controller->isToolbarShown());
  EXPECT_TRUE(controller->toolbar()->isHidden());
  controller->setToolbarShown(true);
  EXPECT_FALSE(controller->toolbar()->isHidden());
}

TEST_F(WindowControllerTest, ToolbarContextMenuShowsHidesRestylesAndRestores) {
  auto* controller = open(document);
  QMenu menu;
  controller->populateToolbarContextMenu(menu);
  std::map<std::string, QAction*> items;
  for (auto* action : menu.actions())
    if (!action->isSeparator()) items[action->text().toStdString()] = action;
  ASSERT_TRUE(items.count("Randomize") && items.count("Sliders") && items.count("Icon Only") &&
              items.count("Restore Default Items"));
  EXPECT_TRUE(items["Randomize"]->isChecked());
  EXPECT_FALSE(items["Sliders"]->isChecked());
  EXPECT_TRUE(items["Icon and Text"]->isChecked());

  items["Sliders"]->trigger();
  items["Randomize"]->trigger();
  items["Text Only"]->trigger();
  EXPECT_EQ(shownItems(controller), (std::vector<std::string>{"export", "zoomToFit", "SDE", "sources", "options", "sliders"}));
  EXPECT_EQ(controller->toolbar()->toolButtonStyle(), Qt::ToolButtonTextOnly);
  items["Restore Default Items"]->trigger();
  EXPECT_EQ(shownItems(controller), (std::vector<std::string>{"export", "zoomToFit", "SDE", "sources", "dice", "options"}));
}

TEST_F(WindowControllerTest, SaveDataWritesWhatTheCalculatorExportsOrSaysWhy) {
  QTemporaryDir directory;
  const std::string old = directory.filePath("old.txt").toStdString();
  {
    QFile file(QString::fromStdString(old));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("old contents");
  }
  struct Case {
    const char* name;
    bool exports;
    std::string path;
    std::string message;  // empty: none expected
    std::string contents;  // "<missing>": no file
  };
  const std::vector<Case> cases = {
      {"exports", true, directory.filePath("data.txt").toStdString(), "", "x y\n1 2\n"},
      {"nothing to export", false, directory.filePath("none.txt").toStdString(),
       "This analysis has no data to export.", "<missing>"},
      {"nothing to export keeps an old file", false, old, "This analysis has no data to export.", "old contents"},
      {"unwritable path", true, directory.filePath("missing/data.txt").toStdString(),
       "\"" + directory.filePath("missing/data.txt").toStdString() + "\" could not be created", "<missing>"},
  };
  auto* controller = open(document);
  auto calculator = made.calculator.lock();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    messages.clear();
    calculator->exports = c.exports;
    std::vector<SavePanelOptions> panels;
    controller->setSavePathChooser([&](QWidget* parent, const SavePanelOptions& options, auto chosen) {
      EXPECT_EQ(parent, controller->window());
      panels.push_back(options);
      chosen(c.path);
    });
    controller->saveData();
    ASSERT_EQ(panels.size(), 1u);
    EXPECT_EQ(panels[0].suffix, "txt");
    EXPECT_EQ(panels[0].accessoryText, "Exports in ASCII format (.txt)");
    if (c.message.empty()) {
      EXPECT_TRUE(messages.empty());
    } else {
      ASSERT_EQ(messages.size(), 1u);
      EXPECT_NE(messages[0].find(c.message), std::string::npos) << messages[0];
    }
    QFile file(QString::fromStdString(c.path));
    EXPECT_EQ(file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : "<missing>", c.contents);
  }
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
