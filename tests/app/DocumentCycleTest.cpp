// The application as a user meets it: menus on every window, the document closing with
// its last window, Save / Don't Save / Cancel on close and on Quit, Save As and Open
// round trips, Undo and Redo from the Edit menu, and errors in words.

#include <gtest/gtest.h>

#include <QAction>
#include <QColor>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QImage>
#include <QStatusBar>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTableView>
#include <QUndoStack>
#include <functional>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <unistd.h>

#include "AppTestSupport.h"
#include "LensTextSupport.h"
#include "analysis/LensRoles.h"
#include "app/Messages.h"
#include "app/document/MenuBar.h"
#include "app/document/OBAppDel.h"
#include "app/document/OBDocument.h"
#include "app/document/StartWindow.h"
#include "app/document/WindowActions.h"
#include "app/windows/LensCalculatorWindowController.h"
#include "app/windows/OBWindow.h"
#include "app/windows/OptimizerWindow.h"
#include "app/windows/SurfaceDataWindow.h"
#include "app/tables/SurfaceTable.h"
#include "analysis/PlotDictionary.h"
#include "optimisation/Optimizer.h"
#include "tracing/LensListings.h"
#include "app/windows/SmartWindowController.h"
#include "app/windows/StatusLine.h"
#include "interchange/LensDictionary.h"
#include "interchange/ZemaxWriter.h"
#include "lens/Field.h"
#include "lens/Lens.h"
#include "lens/Surface.h"
#include "lens/Wave.h"
#include "platform/Color.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"

namespace orb::app {
namespace {

const std::string kDoubleGauss = std::string(ORB_SOURCE_DIR) + "/examples/DoubleGauss.zmx";

using platform::Value;
using testing::sameLens;
using testing::zemaxText;

/// The menu item of a window by its action name.
QAction* menuAction(QWidget* window, const char* name) {
  auto* mainWindow = qobject_cast<QMainWindow*>(window);
  QMenuBar* bar = mainWindow ? mainWindow->menuBar() : window->findChild<QMenuBar*>();
  if (!bar) return nullptr;
  // Menus enable their items as they open.
  for (QMenu* menu : bar->findChildren<QMenu*>()) emit menu->aboutToShow();
  for (QAction* a : bar->findChildren<QAction*>())
    if (a->objectName() == QLatin1String(name)) return a;
  return nullptr;
}

struct DocumentCycleTest : ::testing::Test {
  std::vector<std::pair<std::string, std::string>> messages;
  std::vector<std::string> reviewed;  // documents asked "save changes?"
  SmartDocument::ReviewAnswer answer = SmartDocument::ReviewAnswer::Cancel;
  std::filesystem::path dir = std::filesystem::temp_directory_path() /
                              ("orb-cycle-test-" + std::to_string(::getpid()) + "-" +
                               ::testing::UnitTest::GetInstance()->current_test_info()->name());

  void SetUp() override {
    registerLensDocument();
    // These tests follow a document with one window (the layout) from open to close.
    platform::UserDefaults::standard().setObject("onOpenShowSurfaceDataEditor", false);
    std::filesystem::create_directories(dir);
    setMessagePresenter([this](QWidget*, const std::string& text, const std::string& informative) {
      messages.emplace_back(text, informative);
    });
    SmartDocument::setReviewChangesAsker([this](SmartDocument& document, QWidget*) {
      reviewed.push_back(document.displayName());
      return answer;
    });
  }
  void TearDown() override {
    answer = SmartDocument::ReviewAnswer::DontSave;
    for (const auto& document : DocumentController::shared().documents()) document->close();
    testing::settle();
    SmartDocument::setReviewChangesAsker({});
    OBDocument::setSaveDestinationChooser({});
    OBAppDel::shared().chooseFileToOpen = nullptr;
    setMessagePresenter({});
    platform::UserDefaults::standard().removeObject("onOpenShowSurfaceDataEditor");
    std::filesystem::remove_all(dir);
  }

  std::shared_ptr<OBDocument> openWithWindows(const std::string& path) {
    auto document = OBAppDel::shared().openDocumentWithPath(path, nullptr);
    return std::static_pointer_cast<OBDocument>(document);
  }
  static OBWindow* firstWindow(const SmartDocument& document) {
    for (auto* c : document.windowControllers())
      if (c->isWindowLoaded() && !c->isClosing()) return c->window();
    return nullptr;
  }
  /// Edits a thickness after the idle-time snapshot and waits for the change cycle.
  static ::testing::AssertionResult edit(OBDocument& document, double thickness) {
    if (!testing::pumpUntil([&] { return document.snapshotIsFresh(); })) return ::testing::AssertionFailure() << "no snapshot";
    int ready = 0;
    auto observation = platform::NotificationCenter::defaultCenter().addObserver(
        analysis::kLensIsReadyNotification, document.reference(), [&](const platform::Notification&) { ++ready; });
    document.lens()->surfaceArray().at(2)->setValueForKey("thickness", thickness);
    if (!testing::pumpUntil([&] { return ready > 0 && !document.lens()->isBusy(); }))
      return ::testing::AssertionFailure() << "no change cycle";
    return ::testing::AssertionSuccess();
  }
  static double thickness(const OBDocument& document) { return document.lens()->surfaceArray().at(2)->thickness(); }
};

TEST_F(DocumentCycleTest, ClosingTheLastWindowClosesTheDocumentAndBringsBackTheStartWindow) {
  StartWindow* start = OBAppDel::shared().startWindow();
  auto document = openWithWindows(kDoubleGauss);
  ASSERT_TRUE(document);
  EXPECT_FALSE(start->isVisible());
  ASSERT_EQ(DocumentController::shared().documents().size(), 1u);
  document->performAction("makeSpotDiagram");
  ASSERT_EQ(document->windowControllers().size(), 2u);

  // Closing one of two windows leaves the document open; the last one closes it.
  document->windowControllers().back()->close();
  testing::settle();
  EXPECT_EQ(DocumentController::shared().documents().size(), 1u);
  OBWindow* last = firstWindow(*document);
  ASSERT_TRUE(last);
  menuAction(last, "performClose")->trigger();
  testing::settle();
  EXPECT_TRUE(DocumentController::shared().documents().empty());
  EXPECT_TRUE(document->isClosing());
  EXPECT_TRUE(start->isVisible());
  EXPECT_TRUE(reviewed.empty());  // nothing was edited: nothing to ask
}

TEST_F(DocumentCycleTest, AnEditedDocumentAsksBeforeItsLastWindowClosesAndBeforeQuit) {
  auto document = openWithWindows(kDoubleGauss);
  ASSERT_TRUE(document);
  ASSERT_TRUE(edit(*document, thickness(*document) + 1.0));
  ASSERT_TRUE(document->isDocumentEdited());
  OBWindow* window = firstWindow(*document);

  answer = SmartDocument::ReviewAnswer::Cancel;
  window->close();
  testing::settle();
  EXPECT_EQ(reviewed.size(), 1u);
  EXPECT_TRUE(window->isVisible());
  ASSERT_EQ(DocumentController::shared().documents().size(), 1u);

  EXPECT_FALSE(OBAppDel::shared().terminate(window));  // Quit asks; Cancel keeps everything
  EXPECT_EQ(reviewed.size(), 2u);
  EXPECT_EQ(DocumentController::shared().documents().size(), 1u);
  EXPECT_TRUE(window->isVisible());

  // "Close Document" asks too; Don't Save closes without writing.
  answer = SmartDocument::ReviewAnswer::DontSave;
  menuAction(window, "performCloseDocument")->trigger();
  testing::settle();
  EXPECT_EQ(reviewed.size(), 3u);
  EXPECT_TRUE(DocumentController::shared().documents().empty());
}

TEST_F(DocumentCycleTest, SaveAsThenOpenGivesTheSameLensNativeAndZemax) {
  auto document = openWithWindows(kDoubleGauss);
  ASSERT_TRUE(document);
  ASSERT_TRUE(edit(*document, thickness(*document) + 0.25));
  const std::string expected = zemaxText(*document->lens());
  OBWindow* window = firstWindow(*document);

  for (const char* type : {OBDocument::kNativeType, OBDocument::kZemaxType}) {
    SCOPED_TRACE(type);
    const std::string path = (dir / (std::string("saved.") + (type == OBDocument::kNativeType ? "orb" : "zmx"))).string();
    OBDocument::setSaveDestinationChooser([&](QWidget*, const OBDocument&) {
      return std::optional<OBDocument::SaveDestination>({path, type});
    });
    menuAction(window, "saveDocumentAs")->trigger();
    ASSERT_TRUE(std::filesystem::exists(path));
    EXPECT_FALSE(document->isDocumentEdited());
    EXPECT_EQ(document->filePath(), path);
    EXPECT_NE(window->windowTitle().toStdString().find(path.substr(path.rfind('/') + 1)), std::string::npos);
    EXPECT_EQ(OBAppDel::shared().recentDocumentPaths().front(), std::filesystem::canonical(path).string());

    OBAppDel::shared().chooseFileToOpen = [&](QWidget*) { return std::optional<std::string>(path); };
    // The open document is the file: Open brings it front rather than a second copy.
    menuAction(window, "openDocument")->trigger();
    EXPECT_EQ(DocumentController::shared().documents().size(), 1u);

    auto reopened = std::static_pointer_cast<OBDocument>(DocumentController::shared().documentFactory()->openDocument(path, nullptr));
    ASSERT_TRUE(reopened);
    EXPECT_TRUE(sameLens(zemaxText(*reopened->lens()), expected));
    EXPECT_EQ(reopened->fileType(), type);
  }

  // Save writes to the document's file in its type (Zemax now), after another edit.
  ASSERT_TRUE(edit(*document, thickness(*document) + 0.5));
  menuAction(window, "saveDocument")->trigger();
  EXPECT_FALSE(document->isDocumentEdited());
  auto again = std::static_pointer_cast<OBDocument>(
      DocumentController::shared().documentFactory()->openDocument((dir / "saved.zmx").string(), nullptr));
  ASSERT_TRUE(again);
  EXPECT_DOUBLE_EQ(thickness(*again), thickness(*document));
  EXPECT_TRUE(messages.empty());
}

TEST_F(DocumentCycleTest, UndoAndRedoFromTheEditMenuNameTheChange) {
  auto document = openWithWindows(kDoubleGauss);
  ASSERT_TRUE(document);
  OBWindow* window = firstWindow(*document);
  QAction* undo = menuAction(window, "undo");
  QAction* redo = menuAction(window, "redo");
  ASSERT_TRUE(undo && redo);
  EXPECT_FALSE(undo->isEnabled());

  const double before = thickness(*document);
  ASSERT_TRUE(edit(*document, before + 2.0));
  EXPECT_TRUE(undo->isEnabled());
  EXPECT_EQ(undo->text().toStdString(), "Undo lens change");

  undo->trigger();
  EXPECT_DOUBLE_EQ(thickness(*document), before);
  EXPECT_FALSE(document->isDocumentEdited());
  ASSERT_TRUE(testing::pumpUntil([&] { return document->snapshotIsFresh(); }));
  testing::settle();
  ASSERT_TRUE(redo->isEnabled());
  EXPECT_EQ(redo->text().toStdString(), "Redo lens change");
  redo->trigger();
  EXPECT_DOUBLE_EQ(thickness(*document), before + 2.0);
  EXPECT_TRUE(document->isDocumentEdited());
}

TEST_F(DocumentCycleTest, RevertToSavedReadsTheFileAgain) {
  const std::string path = (dir / "lens.zmx").string();
  std::filesystem::copy_file(kDoubleGauss, path);
  auto document = openWithWindows(path);
  ASSERT_TRUE(document);
  const double before = thickness(*document);
  ASSERT_TRUE(edit(*document, before + 3.0));
  OBDocument::setRevertConfirmer([](QWidget*, const OBDocument&) { return true; });
  QAction* revert = menuAction(firstWindow(*document), "revertDocumentToSaved");
  ASSERT_TRUE(revert && revert->isEnabled());
  revert->trigger();
  EXPECT_DOUBLE_EQ(thickness(*document), before);
  EXPECT_FALSE(document->isDocumentEdited());
  OBDocument::setRevertConfirmer({});
}

// Unsaved changes show in every window of the document as the window-modified mark, and
// go away with Save and with an Undo back to the saved lens.
TEST_F(DocumentCycleTest, EveryWindowMarksUnsavedChanges) {
  const std::string path = (dir / "lens.zmx").string();
  std::filesystem::copy_file(kDoubleGauss, path);
  auto document = openWithWindows(path);
  ASSERT_TRUE(document);
  for (const char* action : {"showFieldEditor", "makeSpotDiagram"}) ASSERT_TRUE(document->performAction(action));
  auto marks = [&] {
    std::vector<std::string> titles;
    for (auto* c : document->windowControllers())
      if (c->isWindowLoaded()) titles.push_back(shownWindowTitle(*c->window()).toStdString());
    return titles;
  };
  auto allMarked = [&](bool edited) {
    for (auto* c : document->windowControllers())
      if (c->isWindowLoaded() && c->window()->isWindowModified() != edited) return false;
    for (const auto& t : marks())
      if ((t.back() == '*') != edited) return false;
    return !marks().empty();
  };
  EXPECT_TRUE(allMarked(false));
  ASSERT_TRUE(edit(*document, thickness(*document) + 1.0));
  EXPECT_TRUE(allMarked(true));
  ASSERT_TRUE(document->performAction("makeRayFan"));  // a window opened later shows it too
  EXPECT_TRUE(allMarked(true));
  document->undo();
  EXPECT_TRUE(allMarked(false));
  ASSERT_TRUE(edit(*document, thickness(*document) + 1.0));
  ASSERT_TRUE(document->saveDocument(nullptr));
  EXPECT_TRUE(allMarked(false));
}

// Revert puts the file's lens in the document in place of the edited one. Every window
// open at that moment must edit the new lens: an edit typed into it after the Revert
// reaches the document's lens, becomes one undo step and reaches an open spot diagram.
TEST_F(DocumentCycleTest, EveryWindowEditsTheDocumentsLensAfterRevert) {
  const std::string path = (dir / "lens.zmx").string();
  std::filesystem::copy_file(kDoubleGauss, path);
  auto document = openWithWindows(path);
  ASSERT_TRUE(document);
  for (const char* action : {"showLensDataEditor", "showFieldEditor", "showWaveEditor", "showSystemWindow",
                             "showPrescriptionListing", "showOptimizer", "makeSpotDiagram"})
    ASSERT_TRUE(document->performAction(action)) << action;
  auto controllerOf = [&](const char* nibName) -> SmartWindowController* {
    for (auto* c : document->windowControllers())
      if (c->nibName() == nibName && !c->isClosing()) return c;
    return nullptr;
  };
  auto* spot = qobject_cast<LensCalculatorWindowController*>(controllerOf("SpotWindow"));
  auto* optimizer = qobject_cast<OptimizerWindowController*>(controllerOf("Optimizer"));
  ASSERT_TRUE(spot && optimizer);
  // The spots' coordinates: a different set is a new result.
  auto spotPoints = [&] {
    std::ostringstream spots;
    const auto plot = spot->calculator()->plotDictionary();
    const Value* curves = plot ? plot->find(analysis::plot::kCurves) : nullptr;
    if (curves && curves->isArray())
      for (const Value& c : curves->asArray())
        if (const Value* x = c.asDictionary().find(analysis::plot::kXSeries))
          if (const auto* series = analysis::SeriesValue::from(*x))
            for (std::size_t i = 0; i < series->count(); ++i) spots << series->at(i) << ' ';
    return spots.str();
  };
  auto spotSettled = [&] { return !spot->calculator()->needsWork() && !spot->calculator()->isBusy(); };
  auto listingText = [&] {
    auto* view = controllerOf("Prescription")->window()->findChild<QPlainTextEdit*>(QStringLiteral("listing"));
    return view ? view->toPlainText().toStdString() : std::string();
  };

  ASSERT_TRUE(edit(*document, thickness(*document) + 3.0));
  const auto* editedLens = document->lens().get();
  OBDocument::setRevertConfirmer([](QWidget*, const OBDocument&) { return true; });
  ASSERT_TRUE(document->revertDocumentToSaved(nullptr));
  OBDocument::setRevertConfirmer({});
  ASSERT_NE(document->lens().get(), editedLens);
  testing::settle();
  EXPECT_EQ(optimizer->optimizer()->lens(), document->lens());

  auto setCell = [](QAbstractItemModel* model, int row, int column, const char* text) {
    return model && model->setData(model->index(row, column), QString::fromUtf8(text), Qt::EditRole);
  };
  auto tableModel = [&](const char* nibName, const char* table) -> QAbstractItemModel* {
    auto* c = controllerOf(nibName);
    auto* view = c ? c->window()->findChild<QTableView*>(QString::fromUtf8(table)) : nullptr;
    return view ? view->model() : nullptr;
  };
  const struct Case {
    const char* window;
    std::function<bool()> typeIt;
    std::function<double(const lens::Lens&)> read;
    double expected;
  } cases[] = {
      {"Surface Data",
       [&] {
         auto* sd = qobject_cast<SurfaceDataWindowController*>(controllerOf("SurfaceData"));
         auto* c = sd ? sd->surfaceArrayController() : nullptr;
         return c && setCell(c, 1, c->columnOf("thickness"), "7.25");
       },
       [](const lens::Lens& l) { return l.surfaceArray().at(1)->thickness(); }, 7.25},
      {"Fields", [&] { return setCell(tableModel("FieldEditor", "fields"), 1, 1, "11.5"); },
       [](const lens::Lens& l) { return l.fieldArray().at(1)->y(); }, 11.5},
      {"Wavelengths", [&] { return setCell(tableModel("WaveEditor", "waves"), 0, 0, "560"); },
       [](const lens::Lens& l) { return l.waveArray().at(0)->wavelengthInNanometers(); }, 560},
      {"System Data",
       [&] {
         auto* field = controllerOf("System")->window()->findChild<QLineEdit*>(QStringLiteral("sourceDivergenceValue"));
         if (!field) return false;
         field->setText(QStringLiteral("20"));
         emit field->editingFinished();
         return true;
       },
       [](const lens::Lens& l) { return l.sourceDivergenceValue(); }, 20},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.window);
    ASSERT_TRUE(testing::pumpUntil([&] { return document->snapshotIsFresh() && spotSettled(); }));
    const std::string spotBefore = spotPoints();
    const int steps = document->undoStack().index();
    ASSERT_TRUE(c.typeIt());
    ASSERT_TRUE(testing::pumpUntil([&] { return !document->lens()->isBusy() && spotSettled() && spotPoints() != spotBefore; }))
        << "the spot diagram did not follow: " << spotBefore << " / " << spotPoints() << " value " << c.read(*document->lens())
        << " busy " << spot->calculator()->isBusy() << " needs " << spot->calculator()->needsWork();
    EXPECT_DOUBLE_EQ(c.read(*document->lens()), c.expected);
    EXPECT_EQ(document->undoStack().index(), steps + 1);
    EXPECT_TRUE(document->isDocumentEdited());
    EXPECT_EQ(listingText(), tracing::prescriptionListing(*document->lens()));
  }
}

// Files that are no lens: the user reads why in words (no internal exception names) and
// no document opens.
TEST_F(DocumentCycleTest, FilesThatAreNoLensSayWhyInWordsAndOpenNothing) {
  std::mt19937 random(7);
  std::string bytes(4096, '\0');
  for (auto& c : bytes) c = static_cast<char>(random() & 0xff);
  struct Case {
    const char* name;
    std::string content;
    const char* expected;
  };
  const std::vector<Case> cases = {
      {"damaged.orb", "bplist00 damaged beyond reading", "damaged"},
      {"random.zmx", bytes, "not a Zemax lens file"},
      {"empty.zmx", "", "not a Zemax lens file"},
      {"prose.zmx", "Dear reader,\nthis is a letter, not a lens.\n", "not a Zemax lens file"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    messages.clear();
    const auto path = (dir / c.name).string();
    std::ofstream(path, std::ios::binary) << c.content;
    EXPECT_FALSE(OBAppDel::shared().openDocumentWithPath(path, nullptr));
    EXPECT_TRUE(DocumentController::shared().documents().empty());
    ASSERT_EQ(messages.size(), 1u);
    const std::string said = messages[0].first + "\n" + messages[0].second;
    EXPECT_NE(said.find(c.name), std::string::npos) << said;
    EXPECT_NE(said.find(c.expected), std::string::npos) << said;
    for (const char* internal : {"Exception", "ZemaxError", "OBException", "UsageError", " : "})
      EXPECT_EQ(said.find(internal), std::string::npos) << said;
  }
}

TEST_F(DocumentCycleTest, MenusOfferWhatExistsAndSayWhatDoesNotYet) {
  auto document = openWithWindows(kDoubleGauss);
  ASSERT_TRUE(document);
  OBWindow* window = firstWindow(*document);
  QAction* spot = menuAction(window, "makeSpotDiagram");
  ASSERT_TRUE(spot);
  EXPECT_EQ(spot->text().toStdString(), "Spot Diagram");
  EXPECT_TRUE(spot->isEnabled());
  // Every row whose window is not built yet shows disabled and says so.
  for (const WindowAction& row : windowActions()) {
    if (windowActionIsAvailable(row)) continue;
    QAction* missing = menuAction(window, row.action);
    ASSERT_TRUE(missing) << row.action;
    EXPECT_EQ(missing->text().toStdString(), row.title) << row.action;
    EXPECT_FALSE(missing->isEnabled()) << row.action;
    EXPECT_EQ(missing->toolTip().toStdString(), kNotAvailableYetToolTip) << row.action;
  }
  // Without solves or variables there is nothing to remove.
  EXPECT_FALSE(menuAction(window, "removeAllSolves")->isEnabled());
  EXPECT_FALSE(menuAction(window, "revertDocumentToSaved")->isEnabled() && document->filePath().empty());

  spot->trigger();
  EXPECT_EQ(document->windowControllers().size(), 2u);
  // Every window of the document carries the menus and Quit.
  for (auto* c : document->windowControllers()) EXPECT_TRUE(menuAction(c->window(), "terminate"));
  // The start window too.
  EXPECT_TRUE(menuAction(OBAppDel::shared().startWindow(), "openDocument"));
  EXPECT_FALSE(menuAction(OBAppDel::shared().startWindow(), "saveDocument")->isEnabled());

  // "Close Other Windows" keeps the front one.
  OBWindow* spotWindow = document->windowControllers().back()->window();
  menuAction(spotWindow, "closeAllButFrontWindow")->trigger();
  testing::settle();
  ASSERT_EQ(document->windowControllers().size(), 1u);
  EXPECT_EQ(document->windowControllers().front()->window(), spotWindow);
}

// A lens whose system update fails says why in the status line of its windows.
TEST_F(DocumentCycleTest, TheLensWarningShowsInTheStatusLineInWords) {
  EXPECT_EQ(readableWarning("System update failure (Unsupported : Grating needs the turner Diffracter)"),
            "System update failure: Grating needs the turner Diffracter");
  EXPECT_EQ(readableWarning("Unknown glass XYZ (using a dummy)"), "Unknown glass XYZ (using a dummy)");

  auto document = openWithWindows(kDoubleGauss);
  ASSERT_TRUE(document);
  OBWindow* window = firstWindow(*document);
  auto* label = window->statusBar()->findChild<QLabel*>(QStringLiteral("statusText"));
  ASSERT_TRUE(label);
  EXPECT_TRUE(label->text().isEmpty());
  document->lens()->setWarningReUpdate("System update failure (OBException : the stop is not on a surface)");
  testing::settle();
  EXPECT_NE(label->text().toStdString().find("System update failure: the stop is not on a surface"), std::string::npos);
  document->lens()->setWarningReUpdate(std::nullopt);
  testing::settle();
  EXPECT_TRUE(label->text().isEmpty());
}

}  // namespace
}  // namespace orb::app

namespace orb::app {
namespace {

// The Lens menu's colours: rainbows run from violet to red; recolouring waves, fields or
// glasses is an edit of the document, recolouring surfaces is not.
TEST_F(DocumentCycleTest, ColourActionsRecolourAndMarkTheDocumentAsTheFileKeepsThem) {
  auto document = openWithWindows(kDoubleGauss);
  ASSERT_TRUE(document);
  OBWindow* window = firstWindow(*document);
  ASSERT_FALSE(document->isDocumentEdited());

  menuAction(window, "randomizeSurfaceColors")->trigger();
  EXPECT_FALSE(document->isDocumentEdited());

  menuAction(window, "rainbowWaveColors")->trigger();
  EXPECT_TRUE(document->isDocumentEdited());
  // Three waves: hues 0.777, 0.3885 and 0 at full saturation and brightness.
  const auto& waves = document->lens()->waveArray();
  ASSERT_EQ(waves.size(), 3u);
  const double hues[] = {0.777, 0.3885, 0.0};
  for (std::size_t i = 0; i < 3; ++i) {
    const auto color = waves[i]->color();
    ASSERT_TRUE(color);
    const QColor c = QColor::fromRgbF(float(color->red()), float(color->green()), float(color->blue()));
    EXPECT_NEAR(c.hsvHueF(), hues[i], 2e-3) << i;
    EXPECT_NEAR(c.hsvSaturationF(), 1.0, 1e-3);
  }

  // A colour table's notification: a surface's number leaves the document alone, a
  // field's marks it.
  document->clearChangeCount();
  auto post = [](std::uint64_t number) {
    platform::Dictionary colours;
    colours.set(platform::Value(static_cast<std::int64_t>(number)), platform::Value(platform::Color::make(1, 0, 0)));
    platform::NotificationCenter::defaultCenter().post(platform::Notification("colorChangedNotification", colours));
  };
  post(document->lens()->surfaceArray()[1]->colorNumber());
  EXPECT_FALSE(document->isDocumentEdited());
  post(document->lens()->fieldArray()[0]->colorNumber());
  EXPECT_TRUE(document->isDocumentEdited());
}

}  // namespace
}  // namespace orb::app

namespace orb::app {
namespace {

// docs/screenshots: the lens window of the double Gauss with its Analysis menu open, so
// the README's picture of what exists and what is still disabled stays true.
TEST_F(DocumentCycleTest, MenusScreenshot) {
  if (!std::getenv("ORB_WRITE_SCREENSHOTS")) GTEST_SKIP() << "set ORB_WRITE_SCREENSHOTS to write docs/screenshots";
  auto document = openWithWindows(kDoubleGauss);
  ASSERT_TRUE(document);
  OBWindow* window = firstWindow(*document);
  testing::settle();
  QMenu* analysis = window->menuBar()->findChild<QMenu*>(QStringLiteral("AnalysisMenu"));
  ASSERT_TRUE(analysis);
  emit analysis->aboutToShow();
  QImage picture = window->grab().toImage();
  const QRect item = window->menuBar()->actionGeometry(analysis->menuAction());
  const QPoint at = window->menuBar()->mapTo(window, item.bottomLeft());
  QPainter painter(&picture);
  painter.drawPixmap(at, analysis->grab());
  painter.end();
  const auto path = std::filesystem::path(ORB_SOURCE_DIR) / "docs/screenshots/double-gauss-menus.png";
  ASSERT_TRUE(picture.save(QString::fromStdString(path.string())));
}

}  // namespace
}  // namespace orb::app
