#include "app/document/OBDocument.h"

#include <gtest/gtest.h>

#include "interchange/LensDictionary.h"
#include "interchange/OsloLensCatalog.h"
#include "interchange/ZemaxLensCatalog.h"
#include "interchange/ZemaxReader.h"
#include "interchange/ZemaxWriter.h"

#include <QColor>
#include <QImage>
#include <QLabel>
#include <QWidget>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <stdexcept>

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <optional>
#include <QDropEvent>
#include <QAbstractButton>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QUndoStack>
#include <QUrl>

#include "app/document/OBAppDel.h"
#include "app/document/MenuBar.h"
#include "app/document/WindowActions.h"

#include "AppTestSupport.h"
#include "LensTextSupport.h"
#include "analysis/ImmediateUpdate.h"
#include "analysis/OBCalculator.h"
#include "app/Messages.h"
#include "app/windows/LensPlotWindowController.h"
#include "app/windows/OBWindow.h"
#include "lens/Lens.h"
#include "lens/Surface.h"
#include "materials/GlassCatalog.h"
#include "platform/KeyedArchiver.h"
#include "platform/Log.h"
#include "platform/KeyedUnarchiver.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"
#include "rendering/ZoomPlotView.h"

namespace orb::app {
namespace {

using testing::sameLens;
using testing::zemaxText;

const std::string kLens1 = std::string(ORB_TEST_DATA_DIR) + "/lenses/lens1.zmx";

/// Coloured pixels of the inner part of the view (inside the plot frame) that differ from
/// the view's most common colour, its background: spots are drawn in field and wave
/// colours, the frame and zero lines are not coloured.
int plottedPixels(QWidget* view) {
  const QImage image = view->grab().toImage();
  std::map<QRgb, int> histogram;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) ++histogram[image.pixel(x, y)];
  QRgb background = 0;
  int most = 0;
  for (const auto& [rgb, n] : histogram)
    if (n > most) most = n, background = rgb;
  int count = 0;
  for (int y = image.height() / 5; y < image.height() * 4 / 5; ++y)
    for (int x = image.width() / 5; x < image.width() * 4 / 5; ++x) count += image.pixel(x, y) != background && QColor(image.pixel(x, y)).hsvSaturationF() > 0.3f;
  return count;
}

struct OBDocumentTest : ::testing::Test {
  std::vector<std::string> messages;
  // One directory per test and process: CTest runs the tests of this suite in parallel.
  std::filesystem::path dir = std::filesystem::temp_directory_path() /
                              ("orb-document-test-" + std::to_string(::getpid()) + "-" +
                               ::testing::UnitTest::GetInstance()->current_test_info()->name());

  void SetUp() override {
    registerLensDocument();
    setMessagePresenter([this](QWidget*, const std::string& text, const std::string&) { messages.push_back(text); });
    std::filesystem::create_directories(dir);
  }
  void TearDown() override {
    const auto documents = DocumentController::shared().documents();
    for (const auto& document : documents) document->close();
    testing::settle();
    setMessagePresenter({});
    std::filesystem::remove_all(dir);
  }
  std::shared_ptr<OBDocument> open(const std::string& path, std::string* error = nullptr) {
    std::string why;
    auto document = DocumentController::shared().documentFactory()->openDocument(path, &why);
    if (error) *error = why;
    return std::static_pointer_cast<OBDocument>(document);
  }
  std::vector<RandomizableLensPlotWindowController*> spotWindows(const OBDocument& document) {
    std::vector<RandomizableLensPlotWindowController*> found;
    for (auto* c : document.windowControllers())
      if (auto* spot = qobject_cast<RandomizableLensPlotWindowController*>(c); spot && !spot->isClosing())
        found.push_back(spot);
    return found;
  }
};

// The main road: open a Zemax file, ask for a spot diagram, see spots; a second window is
// numbered; closing one stops its worker and the lens can still change afterwards.
TEST_F(OBDocumentTest, ZemaxFileShowsSpotDiagrams) {
  std::string error;
  auto document = open(kLens1, &error);
  ASSERT_TRUE(document) << error;
  EXPECT_EQ(document->displayName(), "lens1.zmx");
  EXPECT_FALSE(document->isDocumentEdited());
  ASSERT_TRUE(document->lens()->isReady());
  DocumentController::shared().addDocument(document);
  document->makeWindowControllers();
  document->showWindows();

  ASSERT_TRUE(document->performAction("makeSpotDiagram"));
  ASSERT_TRUE(document->performAction("makeSpotDiagram"));
  auto spots = spotWindows(*document);
  ASSERT_EQ(spots.size(), 2u);
  EXPECT_EQ(shownWindowTitle(*spots[0]->window()).toStdString(), "Spot Diagram - lens1.zmx");
  EXPECT_EQ(shownWindowTitle(*spots[1]->window()).toStdString(), "Spot Diagram 1 - lens1.zmx");

  auto* view = spots[0]->view();
  ASSERT_TRUE(dynamic_cast<rendering::ZoomPlotView*>(view));
  ASSERT_TRUE(testing::pumpUntil([&] { return plottedPixels(view) > 50; }))
      << "status: " << spots[0]->calculator()->status();

  std::weak_ptr<analysis::OBCalculator> closedCalculator = spots[1]->calculator();
  spots[1]->close();
  testing::settle();
  ASSERT_TRUE(testing::pumpUntil([&] { return closedCalculator.expired(); }));

  // A lens change after the close reaches only the open window.
  document->lens()->surfaceArray()[1]->setValueForKey("thickness", 5.0);
  ASSERT_TRUE(testing::pumpUntil([&] { return !document->lens()->isBusy() && document->lens()->isReady(); }));
  testing::settle();
  EXPECT_EQ(spotWindows(*document).size(), 1u);
}

TEST_F(OBDocumentTest, OtherActionsSayTheyAreNotAvailableYet) {
  auto document = open(kLens1);
  ASSERT_TRUE(document);
  // Each row whose window is not built yet says so, once.
  std::vector<const WindowAction*> missing;
  for (const WindowAction& row : windowActions())
    if (!windowActionIsAvailable(row)) missing.push_back(&row);
  for (const WindowAction* row : missing) EXPECT_TRUE(document->performAction(row->action)) << row->action;
  EXPECT_FALSE(document->performAction("noSuchAction"));
  ASSERT_EQ(messages.size(), missing.size());
  for (std::size_t i = 0; i < missing.size(); ++i)
    EXPECT_EQ(messages[i], std::string("The window \"") + missing[i]->nibName + "\" is not available yet.");
  EXPECT_TRUE(document->windowControllers().empty());
}

// Debug ▸ Show Alert: the diagnostic alert over the document's window; each answer is
// logged with its number, the first button's 1000.
TEST_F(OBDocumentTest, ShowAlertLogsTheAnswer) {
  auto document = open(kLens1);
  ASSERT_TRUE(document);
  DocumentController::shared().addDocument(document);
  document->makeWindowControllers();
  document->showWindows();
  ASSERT_FALSE(document->windowControllers().empty());
  QWidget* window = document->windowControllers().front()->window();
  QMenuBar bar(window);
  installMenuBar(&bar, window);
  QAction* item = nullptr;
  for (QAction* a : bar.findChildren<QAction*>())
    if (a->objectName() == QLatin1String("showAlert")) item = a;
  ASSERT_TRUE(item);
  for (QMenu* menu : bar.findChildren<QMenu*>()) emit menu->aboutToShow();
  EXPECT_TRUE(item->isEnabled());

  // Workers log too, from their own threads.
  struct Lines {
    std::mutex lock;
    std::vector<std::string> all;
  };
  auto lines = std::make_shared<Lines>();
  struct LogCapture {
    platform::LogLevel threshold;
    platform::LogSink sink;
    ~LogCapture() {
      platform::setLogSink(sink);
      platform::setLogThreshold(threshold);
    }
  } capture{platform::setLogThreshold(platform::LogLevel::Debug),
            platform::setLogSink([lines](platform::LogLevel, std::string_view line) {
              const std::lock_guard<std::mutex> hold(lines->lock);
              lines->all.emplace_back(line);
            })};
  struct Answer {
    const char* button;
    std::vector<std::string> logged;
  };
  for (const Answer& answer : {Answer{"Go ahead", {"rc = 1000", "First button"}},
                               Answer{"Cancel", {"rc = 1001", "Second button"}}}) {
    SCOPED_TRACE(answer.button);
    item->trigger();
    QMessageBox* box = nullptr;
    for (QWidget* w : QApplication::allWidgets())
      if (auto* b = qobject_cast<QMessageBox*>(w); b && b->isVisible()) box = b;
    ASSERT_TRUE(box);
    EXPECT_EQ(box->text(), QStringLiteral("My message text"));
    EXPECT_EQ(box->informativeText(), QStringLiteral("My informative text"));
    ASSERT_EQ(box->buttons().size(), 2);
    QAbstractButton* press = nullptr;
    for (auto* b : box->buttons())
      if (b->text() == QString::fromUtf8(answer.button)) press = b;
    ASSERT_TRUE(press);
    {
      const std::lock_guard<std::mutex> hold(lines->lock);
      lines->all.clear();
    }
    press->click();
    testing::settle();
    std::vector<std::string> answered;
    const std::lock_guard<std::mutex> hold(lines->lock);
    for (const auto& l : lines->all)
      if (l.rfind("rc = ", 0) == 0 || l.find(" button") != std::string::npos) answered.push_back(l);
    EXPECT_EQ(answered, answer.logged);
  }
  EXPECT_TRUE(messages.empty());
}

// Saved natively and opened again: the same lens (compared through its Zemax text), scale
// memory and window records; saved as Zemax text and opened again: the same lens.
TEST_F(OBDocumentTest, NativeAndZemaxRoundTrips) {
  auto document = open(kLens1);
  ASSERT_TRUE(document);
  DocumentController::shared().addDocument(document);
  document->performAction("makeSpotDiagram");
  platform::Dictionary memory;
  memory.set("s1.thickness", 2.5);
  document->setScaleMemory(memory);
  const std::string zemax = zemaxText(*document->lens());

  const auto native = (dir / "saved.orb").string();
  std::string error;
  ASSERT_TRUE(document->writeToFile(native, OBDocument::kNativeType, &error)) << error;
  auto reopened = open(native, &error);
  ASSERT_TRUE(reopened) << error;
  EXPECT_TRUE(sameLens(zemaxText(*reopened->lens()), zemax));
  EXPECT_EQ(reopened->scaleMemory(), memory);
  EXPECT_TRUE(reopened->meritFunctionArray().empty());
  ASSERT_EQ(reopened->windowRestorationDictionaries().size(), 1u);
  DocumentController::shared().addDocument(reopened);
  reopened->makeWindowControllers();  // the recorded spot window, and nothing else
  ASSERT_EQ(reopened->windowControllers().size(), 1u);
  EXPECT_EQ(reopened->windowControllers()[0]->nibName(), "SpotWindow");

  const auto zmx = (dir / "saved.zmx").string();
  ASSERT_TRUE(document->writeToFile(zmx, OBDocument::kZemaxType, &error)) << error;
  auto fromZemax = open(zmx, &error);
  ASSERT_TRUE(fromZemax) << error;
  EXPECT_TRUE(sameLens(zemaxText(*fromZemax->lens()), zemax));
}

// Frames kept in a document come from whoever wrote the file: only four whole numbers
// are a frame, and it is cut to the screen and moved onto it.
TEST(RestoredFrameTest, OnlyWholeNumbersMakeAFrameAndItLiesOnTheScreen) {
  const QRect screen(0, 0, 1024, 768);
  const struct {
    const char* text;
    std::optional<QRect> frame;
  } cases[] = {
      {"100 50 400 300", QRect(100, 50, 400, 300)},
      {"  100 50 400 300 ", QRect(100, 50, 400, 300)},
      {"5000 5000 400 300", QRect(624, 468, 400, 300)},
      {"-5000 -20 400 300", QRect(0, 0, 400, 300)},
      {"0 0 99999 99999", QRect(0, 0, 1024, 768)},
      {"-2147483648 -2147483648 2147483647 2147483647", QRect(0, 0, 1024, 768)},
      {"99999999999 0 10 10", std::nullopt},  // beyond an int: no frame, never a wrapped one
      {"1 2 3", std::nullopt},
      {"1 2 3 4 5", std::nullopt},
      {"a b c d", std::nullopt},
      {"1.5 2 3 4", std::nullopt},
      {"0 0 0 10", std::nullopt},
      {"0 0 -5 10", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(OBWindow::restoredFrame(c.text, screen), c.frame) << c.text;
}

// A document whose window records hold frames off the screen or no frame at all still
// opens its windows, each on the screen.
TEST_F(OBDocumentTest, RestoredWindowsLieOnTheScreen) {
  auto document = open(kLens1);
  ASSERT_TRUE(document);
  DocumentController::shared().addDocument(document);
  document->performAction("makeSpotDiagram");
  const platform::Array records = document->presentWindowRestorationDictionaries();
  ASSERT_EQ(records.size(), 1u);
  for (const char* frame : {"-30000 -30000 50000 50000", "99999999999 1 2 3", "nonsense"}) {
    SCOPED_TRACE(frame);
    platform::Dictionary record = records[0].asDictionary();
    platform::Dictionary state =
        platform::KeyedUnarchiver::unarchiveObjectWithData(record.get("data").asData()).asDictionary();
    state.set("NSWindowFrame", frame);
    record.set("data", platform::KeyedArchiver::archivedDataWithRootObject(platform::Value(state)));
    auto reopened = open(kLens1);
    ASSERT_TRUE(reopened);
    DocumentController::shared().addDocument(reopened);
    reopened->setWindowRestorationDictionaries(platform::Array{platform::Value(record)});
    reopened->makeWindowControllers();
    ASSERT_EQ(reopened->windowControllers().size(), 1u);
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_TRUE(available.contains(reopened->windowControllers()[0]->window()->geometry()))
        << reopened->windowControllers()[0]->window()->geometry().x();
    reopened->close();
  }
}

// A file that is not a lens archive, or holds the wrong things, opens no document.
TEST_F(OBDocumentTest, DamagedOrForeignNativeFilesOpenNoDocument) {
  struct Case {
    const char* name;
    std::function<void(const std::string&)> write;
    const char* expected;
  };
  const std::vector<Case> cases = {
      {"garbage", [](const std::string& p) { std::ofstream(p) << "bplist00 not really"; }, "is damaged or is not an Orbelline document"},
      {"string-root", [](const std::string& p) { platform::KeyedArchiver::archiveRootObjectToFile("hello", p); },
       "unexpected archive root"},
      {"no-lens", [](const std::string& p) {
         platform::Dictionary d;
         d.set("scaleMemory", platform::Dictionary());
         platform::KeyedArchiver::archiveRootObjectToFile(d, p);
       }, "holds no lens"},
      {"wrong-lens-type", [](const std::string& p) {
         platform::Dictionary d;
         d.set("lens", platform::Value(lens::Surface::create<lens::Surface>()));
         platform::KeyedArchiver::archiveRootObjectToFile(d, p);
       }, "holds no lens"},
      {"bad-records", [](const std::string& p) {
         platform::Dictionary d;
         d.set("lens", platform::Value(OBDocument::tripletTestLens()));
         d.set("windowRestorationDictionaries", platform::Array{platform::Value(3)});
         platform::KeyedArchiver::archiveRootObjectToFile(d, p);
       }, "window records"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto path = (dir / (std::string(c.name) + ".orb")).string();
    c.write(path);
    std::string error;
    EXPECT_FALSE(open(path, &error));
    EXPECT_NE(error.find(c.expected), std::string::npos) << error;
  }
}

TEST_F(OBDocumentTest, TripletTestLensIsReadyAndSaves) {
  auto lens = OBDocument::tripletTestLens();
  ASSERT_TRUE(lens->isReady());
  ASSERT_EQ(lens->surfaceArray().size(), 8u);
  EXPECT_TRUE(lens->surfaceArray()[4]->isStop());
  EXPECT_EQ(lens->fieldArray().size(), 2u);
  EXPECT_EQ(lens->waveArray().size(), 3u);
  EXPECT_FALSE(lens->warning().has_value()) << *lens->warning();

  // Saved with a spot window, it opens as a document showing that window. With
  // ORB_WRITE_EXAMPLES set this also writes examples/CookeTriplet.orb.
  auto document = platform::makeObject<OBDocument>();
  document->init();
  document->setLens(lens);
  DocumentController::shared().addDocument(document);
  document->performAction("makeSpotDiagram");
  std::vector<std::string> paths = {(dir / "triplet.orb").string()};
  if (std::getenv("ORB_WRITE_EXAMPLES")) paths.push_back(std::string(ORB_SOURCE_DIR) + "/examples/CookeTriplet.orb");
  for (const auto& path : paths) {
    std::string error;
    ASSERT_TRUE(document->writeToFile(path, OBDocument::kNativeType, &error)) << error;
  }
  auto reopened = open(paths[0]);
  ASSERT_TRUE(reopened);
  EXPECT_EQ(reopened->lens()->surfaceArray().size(), 8u);
  EXPECT_EQ(reopened->windowRestorationDictionaries().size(), 1u);
}

double thickness(const OBDocument& document, std::size_t surface) {
  return document.lens()->surfaceArray().at(surface)->valueForKey("thickness").asDouble();
}

/// Edits a thickness and waits for the change cycle to end.
::testing::AssertionResult changeThickness(OBDocument& document, std::size_t surface, double value) {
  int readyPosts = 0;
  auto observation = platform::NotificationCenter::defaultCenter().addObserver(
      analysis::kLensIsReadyNotification, document.reference(), [&](const platform::Notification&) { ++readyPosts; });
  document.lens()->surfaceArray().at(surface)->setValueForKey("thickness", value);
  if (!testing::pumpUntil([&] { return readyPosts > 0 && !document.lens()->isBusy(); }))
    return ::testing::AssertionFailure() << "the change cycle did not run";
  return ::testing::AssertionSuccess();
}

/// Edits a thickness once the idle-time snapshot is there, and waits for the change cycle.
::testing::AssertionResult editThickness(OBDocument& document, std::size_t surface, double value) {
  if (!testing::pumpUntil([&] { return document.snapshotIsFresh(); }))
    return ::testing::AssertionFailure() << "no snapshot";
  return changeThickness(document, surface, value);
}

// Undo restores the document's own lens (windows keep it) to its values before the edit;
// redo re-applies the edit; neither starts a change cycle that would lose the redo.
TEST_F(OBDocumentTest, UndoRestoresTheLensAndRedoReappliesIt) {
  auto document = open(kLens1);
  ASSERT_TRUE(document);
  const auto lens = document->lens();
  const double before = thickness(*document, 1);
  int readyPosts = 0;
  auto observation = platform::NotificationCenter::defaultCenter().addObserver(
      analysis::kLensIsReadyNotification, document->reference(), [&](const platform::Notification&) { ++readyPosts; });

  ASSERT_TRUE(editThickness(*document, 1, before + 5.0));
  EXPECT_TRUE(document->isDocumentEdited());
  ASSERT_EQ(document->undoStack().count(), 1);
  EXPECT_EQ(document->undoStack().undoText().toStdString(), "lens change");

  readyPosts = 0;
  document->undo();
  EXPECT_EQ(document->lens(), lens);
  EXPECT_DOUBLE_EQ(thickness(*document, 1), before);
  EXPECT_TRUE(lens->isReady());
  EXPECT_EQ(readyPosts, 1);
  EXPECT_FALSE(document->isDocumentEdited());
  // The loop runs idle (a new snapshot) and no change cycle empties the stack.
  ASSERT_TRUE(testing::pumpUntil([&] { return document->snapshotIsFresh(); }));
  testing::settle();
  ASSERT_TRUE(document->undoStack().canRedo());

  document->redo();
  EXPECT_EQ(document->lens(), lens);
  EXPECT_DOUBLE_EQ(thickness(*document, 1), before + 5.0);
  EXPECT_TRUE(document->isDocumentEdited());
  EXPECT_TRUE(document->undoStack().canUndo());
  document->undo();
  EXPECT_DOUBLE_EQ(thickness(*document, 1), before);
}

// While the immediate-update flag is set (a drag) no snapshot is taken: the drag's first
// change registers the lens from before the drag and its later changes join that step, so
// the whole drag is one undo. The snapshot its end asks for closes the step.
TEST_F(OBDocumentTest, ADragUnderImmediateUpdateIsOneUndoStep) {
  auto document = open(kLens1);
  ASSERT_TRUE(document);
  const double before = thickness(*document, 1);
  ASSERT_TRUE(editThickness(*document, 1, before + 1.0));
  ASSERT_TRUE(document->undoStack().canUndo());
  ASSERT_TRUE(testing::pumpUntil([&] { return document->snapshotIsFresh(); }));
  const int steps = document->undoStack().count();
  {
    analysis::ImmediateUpdateScope dragging;
    ASSERT_TRUE(changeThickness(*document, 1, before + 1.5));  // uses the snapshot taken before the drag
    ASSERT_TRUE(changeThickness(*document, 1, before + 2.0));
    EXPECT_EQ(document->undoStack().count(), steps + 1);
    testing::settle();
    EXPECT_FALSE(document->snapshotIsFresh());
  }
  document->enqueueSnapshotRequiredNotification();  // the drag's end asks for one
  ASSERT_TRUE(editThickness(*document, 1, before + 3.0));
  EXPECT_EQ(document->undoStack().count(), steps + 2);
  document->undo();
  EXPECT_DOUBLE_EQ(thickness(*document, 1), before + 2.0);
  document->undo();
  EXPECT_DOUBLE_EQ(thickness(*document, 1), before + 1.0);
}

// "numberOfUndoLevels" limits the stack and a change of it acts on open documents at once.
TEST_F(OBDocumentTest, UndoLimitHolds) {
  auto& defaults = platform::UserDefaults::standard();
  defaults.setObject("numberOfUndoLevels", 2);
  auto document = open(kLens1);
  ASSERT_TRUE(document);
  const double before = thickness(*document, 1);
  for (int i = 1; i <= 3; ++i) ASSERT_TRUE(editThickness(*document, 1, before + i));
  EXPECT_EQ(document->undoStack().count(), 2);
  document->undo();
  document->undo();
  EXPECT_FALSE(document->undoStack().canUndo());
  EXPECT_DOUBLE_EQ(thickness(*document, 1), before + 1.0);

  defaults.setObject("numberOfUndoLevels", 1);
  EXPECT_EQ(document->undoStack().undoLimit(), 1);
  for (int i = 4; i <= 5; ++i) ASSERT_TRUE(editThickness(*document, 1, before + i));
  EXPECT_EQ(document->undoStack().count(), 1);
  defaults.removeObject("numberOfUndoLevels");
  EXPECT_EQ(document->undoStack().undoLimit(), 50);
}

// The example files a new user opens first.
TEST_F(OBDocumentTest, ExamplesOpen) {
  for (const char* name : {"DoubleGauss.zmx", "DoubleGaussRelay.zmx", "CookeTriplet.orb"}) {
    SCOPED_TRACE(name);
    std::string error;
    auto document = open(std::string(ORB_SOURCE_DIR) + "/examples/" + name, &error);
    ASSERT_TRUE(document) << error;
    EXPECT_GE(document->lens()->surfaceArray().size(), 8u);
    EXPECT_FALSE(document->lens()->warningReSystemGeneration().has_value());
  }
}

}  // namespace
}  // namespace orb::app

namespace orb::app {
namespace {

struct ForeignLensFileTest : OBDocumentTest {
  void TearDown() override {
    OBDocument::setZemaxTroubleAsker({});
    OBDocument::setSaveDestinationChooser({});
    OBDocumentTest::TearDown();
  }
};

// CODE V and OSLO files open by their extension as read-only lens documents: the lens is
// the file's, and Save asks where to write instead of writing over the foreign file.
TEST_F(ForeignLensFileTest, CodeVAndOsloFilesOpenAsLenses) {
  struct Case {
    std::string path, type;
    std::size_t surfaces;
    double focalLength;  // y-nu traces of the prescriptions (see the interchange tests)
  };
  const Case cases[] = {
      {std::string(ORB_TEST_DATA_DIR) + "/lenses/cooke_triplet.seq", OBDocument::kCodeVType, 8, 50.33437051},
      {std::string(ORB_TEST_DATA_DIR) + "/lenses/fixtures/oslo_singlet.len", OBDocument::kOsloType, 4, 100.0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(OBDocument::typeOfFile(c.path), c.type);
    std::string error;
    auto document = open(c.path, &error);
    ASSERT_TRUE(document) << error;
    EXPECT_EQ(document->fileType(), c.type);
    EXPECT_FALSE(document->isDocumentEdited());
    ASSERT_EQ(document->lens()->surfaceArray().size(), c.surfaces);
    const auto f = document->lens()->paraxialData().find("focalLength");
    ASSERT_TRUE(f);
    EXPECT_NEAR(f->asDouble(), c.focalLength, 2e-6 * c.focalLength);
    int asked = 0;
    OBDocument::setSaveDestinationChooser([&asked](QWidget*, const OBDocument&) {
      ++asked;
      return std::optional<OBDocument::SaveDestination>();
    });
    const auto before = std::filesystem::last_write_time(c.path);
    EXPECT_FALSE(document->saveDocument(nullptr));
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(std::filesystem::last_write_time(c.path), before);
    document->close();
  }
}

// A lens file dropped on a window opens as a document; a drag of plain text is refused.
TEST_F(ForeignLensFileTest, DroppedFilesOpen) {
  QWidget window;
  OBAppDel::acceptLensFileDrops(&window);
  EXPECT_TRUE(window.acceptDrops());
  const std::string path = std::string(ORB_TEST_DATA_DIR) + "/lenses/cooke_triplet.seq";
  QMimeData text;
  text.setText(QStringLiteral("SO 0 1e10"));
  QDragEnterEvent refused(QPoint(1, 1), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&window, &refused);
  EXPECT_FALSE(refused.isAccepted());
  QMimeData files;
  files.setUrls({QUrl::fromLocalFile(QString::fromStdString(path))});
  QDragEnterEvent enter(QPoint(1, 1), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&window, &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(1, 1), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&window, &drop);
  const auto documents = DocumentController::shared().documents();
  ASSERT_EQ(documents.size(), 1u);
  EXPECT_EQ(std::filesystem::path(documents.front()->documentPath()).filename(), "cooke_triplet.seq");
  EXPECT_TRUE(messages.empty());
}

// Catalog entries open as untitled documents: a Zemax catalog's plano-convex N-BK7 lens
// (R = 51.68, n = 1.516800 at the d line: f = 51.68 / 0.5168 = 100) and an OSLO catalog's
// prescription.
TEST_F(ForeignLensFileTest, CatalogEntriesOpenAsDocuments) {
  const auto zemax = interchange::indexZemaxLensCatalog(std::string(ORB_TEST_DATA_DIR) + "/lenses/fixtures/zemax_lens_catalog.txt");
  ASSERT_TRUE(zemax);
  auto document = platform::makeObject<OBDocument>();
  document->init();
  std::string error;
  ASSERT_TRUE(document->readFromCatalogEntryText(zemax->front().catalogEntry().value_or(""), OBDocument::kZemaxType, &error))
      << error;
  EXPECT_TRUE(document->filePath().empty());
  const auto f = document->lens()->paraxialData().find("focalLength");
  ASSERT_TRUE(f);
  EXPECT_NEAR(f->asDouble(), 51.68 / 0.5168, 2e-4);

  interchange::OsloLensCatalog oslo;
  ASSERT_TRUE(oslo.readFromFile(std::string(ORB_TEST_DATA_DIR) + "/lenses/fixtures/oslo_catalog.lst"));
  auto second = platform::makeObject<OBDocument>();
  second->init();
  ASSERT_TRUE(second->readFromCatalogEntryText(oslo.lensSpecificationForCatalogEntry(oslo.entryArray()[0]),
                                               OBDocument::kOsloType, &error))
      << error;
  ASSERT_EQ(second->lens()->surfaceArray().size(), 4u);
  EXPECT_DOUBLE_EQ(second->lens()->surfaceArray()[1]->curvature(), 1 / 51.68);
  EXPECT_FALSE(second->isDocumentEdited());
  auto third = platform::makeObject<OBDocument>();
  third->init();
  EXPECT_FALSE(third->readFromCatalogEntryText(oslo.lensSpecificationForCatalogEntry(oslo.entryArray()[2]),
                                               OBDocument::kOsloType, &error));
}

// CODE V and OSLO files are read through: no line is asked about, and the document says
// once how many lines were passed over (design commands not counted) and which was first.
TEST_F(ForeignLensFileTest, UnreadLinesAreCountedNotAskedAboutAndEmptyFilesRefused) {
  const auto path = (dir / "odd.seq").string();
  std::ofstream(path) << "SO 0 1e10\nS 50 5 'N-BK7'\nWHAT 1 2\nDER VAL I1\nS -50 45\nNOR 3; FOO\nSI 0 0\n";
  int asked = 0;
  OBDocument::setZemaxTroubleAsker([&asked](const interchange::ZemaxTrouble&) {
    ++asked;
    return interchange::ZemaxTroubleAnswer::GiveUp;
  });
  std::string error;
  auto document = open(path, &error);
  ASSERT_TRUE(document) << error;
  EXPECT_EQ(asked, 0);
  EXPECT_EQ(document->lens()->surfaceArray().size(), 4u);
  EXPECT_EQ(document->readingNote(), "2 lines of odd.seq were not read, the first: line 3 WHAT 1 2");
  document->makeWindowControllers();
  document->showWindows();
  bool shown = false;
  for (auto* controller : document->windowControllers())
    if (auto* label = controller->window()->findChild<QLabel*>(QStringLiteral("statusText")))
      shown = shown || label->text().toStdString() == document->readingNote();
  EXPECT_TRUE(shown);
  document->close();

  const auto whole = (dir / "whole.seq").string();
  std::ofstream(whole) << "SO 0 1e10\nS 50 5 'N-BK7'\nS -50 45\nSI 0 0\n";
  auto clean = open(whole, &error);
  ASSERT_TRUE(clean) << error;
  EXPECT_EQ(clean->readingNote(), "");
  clean->close();

  const auto empty = (dir / "empty.len").string();
  std::ofstream(empty) << "// nothing here\n";
  EXPECT_FALSE(open(empty, &error));
  EXPECT_NE(error.find("not an OSLO lens file"), std::string::npos) << error;
}

// Whatever a reader lets out fails the open with a reason instead of ending the program.
// The trouble asker is called from inside the Zemax reader (MODE NSC is refused), so what
// it throws leaves the reader as a reader's own fault would.
TEST_F(ForeignLensFileTest, AnyExceptionOutOfAReaderFailsTheOpenWithAReason) {
  const auto path = (dir / "thrown.zmx").string();
  std::ofstream(path) << "MODE NSC\nSURF 0\n  DISZ INFINITY\n";
  struct Case {
    const char* name;
    std::function<void()> raise;
    const char* expected;
  };
  const Case cases[] = {
      {"std-invalid-argument", [] { throw std::invalid_argument("stod"); }, "could not be read (stod)"},
      {"not-an-exception", [] { throw 7; }, "failed in an unexpected way"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    int asked = 0;
    OBDocument::setZemaxTroubleAsker([&](const interchange::ZemaxTrouble&) {
      ++asked;
      c.raise();
      return interchange::ZemaxTroubleAnswer::ContinueReading;
    });
    std::string error;
    EXPECT_FALSE(open(path, &error));
    EXPECT_EQ(asked, 1);
    EXPECT_NE(error.find(c.expected), std::string::npos) << error;
  }
}

}  // namespace
}  // namespace orb::app

namespace orb::app {
namespace {

// A Zemax lens delivered with its own glasses: the .agf files and the gradient dispersion
// library (SGRIN.DAT) beside the .zmx. BESIDE-1 and BESIDE-2 are in no other catalog.
struct LocalGlassCatalogTest : OBDocumentTest {
  // A biconvex singlet of BESIDE-1; the GLAS line's nd and Vd are what a reader without
  // the catalog would trace as a model glass.
  static constexpr const char* kLens =
      "MODE SEQ\nUNIT MM X W X CM MR CPMM\nENPD 10\nWAVM 1 0.5875618 1\nPWAV 1\n"
      "SURF 0\n  TYPE STANDARD\n  CURV 0.\n  DISZ INFINITY\n"
      "SURF 1\n  STOP\n  TYPE STANDARD\n  CURV 0.02\n  DISZ 5\n  GLAS BESIDE-1 0 0 1.49526 60\n"
      "SURF 2\n  TYPE STANDARD\n  CURV -0.02\n  DISZ 95\n"
      "SURF 3\n  TYPE STANDARD\n  CURV 0.\n  DISZ 0\n";
  // BESIDE-1, Sellmeier 1 (formula 2) with one term K1 = 1.2, L1 = 0.01 µm²:
  // n² = 1 + 1.2 L / (L − 0.01), L = λ². BESIDE-2, Schott (formula 1) with A0 = 2.25 alone:
  // n = 1.5 at every wavelength.
  static constexpr const char* kCatalog =
      "CC Glasses delivered with the lens\n"
      "NM BESIDE-1 2 495600 1.49526 60 0 0 0\nED 0 0 2.5 0 0\nCD 1.2 0.01 0 0 0 0 0 0 0 0\nLD 0.3 2.5\n"
      "NM BESIDE-2 1 500600 1.5 60 0 0 0\nED 0 0 2.5 0 0\nCD 2.25 0 0 0 0 0 0 0 0 0\nLD 0.3 2.5\n";

  std::string writeLens() {
    std::ofstream(dir / "tiny.agf") << kCatalog;
    std::ofstream(dir / "SGRIN.DAT") << "BESIDEGRIN 0.4 2 0.67 0 0\n";
    const auto path = (dir / "singlet.zmx").string();
    std::ofstream(path) << kLens;
    return path;
  }
  void TearDown() override {
    OBDocument::setRevertConfirmer({});
    OBDocumentTest::TearDown();
  }
};

// The glass is the catalog's, not the file's model glass: at the d line L = 0.345228869,
// n² = 1 + 1.2·0.345228869/0.335228869 = 2.235796440, n = 1.495257984; at 1 µm
// n² = 1 + 1.2/0.99 = 2.212121212, n = 1.487320144 (the model glass of nd 1.49526, Vd 60
// gives about 1.4880 there). The catalog stays with the document: a name typed later and
// a Revert find its glasses too.
TEST_F(LocalGlassCatalogTest, GlassesBesideAZemaxFileResolveItsNames) {
  const auto path = writeLens();
  std::string error;
  auto document = open(path, &error);
  ASSERT_TRUE(document) << error;
  const auto catalog = document->localGlassCatalog();
  ASSERT_TRUE(catalog);
  std::vector<std::string> names;
  for (const auto& g : catalog->glassArray()) names.push_back(g->name());
  EXPECT_EQ(names, (std::vector<std::string>{"BESIDE-1", "BESIDE-2", "BESIDEGRIN"}));  // glasses, then dispersions

  auto checkSinglet = [](const OBDocument& d) {
    const auto glass = d.lens()->surfaceArray()[1]->glass();
    ASSERT_TRUE(glass);
    EXPECT_EQ(glass->name(), "BESIDE-1");
    EXPECT_FALSE(glass->isDummy());
    EXPECT_EQ(glass->catalogName(), std::optional<std::string>("TINY"));
    EXPECT_NEAR(glass->indexAtWavelengthInMicrons(0.5875618), 1.495257984, 1e-9);
    EXPECT_NEAR(glass->indexAtWavelengthInMicrons(1.0), 1.487320144, 1e-9);
  };
  checkSinglet(*document);
  EXPECT_FALSE(document->isDocumentEdited());

  document->lens()->surfaceArray()[2]->setValueForKey("glassName", "BESIDE-2");
  const auto typed = document->lens()->surfaceArray()[2]->glass();
  ASSERT_TRUE(typed);
  EXPECT_FALSE(typed->isDummy());
  EXPECT_NEAR(typed->indexAtWavelengthInMicrons(0.7), 1.5, 1e-12);

  OBDocument::setRevertConfirmer([](QWidget*, const OBDocument&) { return true; });
  ASSERT_TRUE(document->revertDocumentToSaved(nullptr));
  checkSinglet(*document);
  EXPECT_TRUE(messages.empty());
}

// A damaged catalog beside the file costs only its own glasses: the lens opens, and the
// sound catalog beside it still resolves the lens's glass.
TEST_F(LocalGlassCatalogTest, ADamagedCatalogBesideTheFileLeavesTheOpenSuccessful) {
  const auto path = writeLens();
  const char bytes[] = "NM\nNM BROKEN x y\nCD 1e999 nan abc\n\x01\x02\xff\xfe\0garbage\nIT 0.5\nNM HALF 2\n";
  const std::string damaged(bytes, sizeof bytes - 1);  // a NUL byte among them
  std::ofstream(dir / "broken.agf", std::ios::binary) << damaged;
  std::ofstream(dir / "SGRIN.DAT", std::ios::binary) << "BESIDEGRIN 0.4 x ;\n" << damaged;
  std::string error;
  auto document = open(path, &error);
  ASSERT_TRUE(document) << error;
  EXPECT_EQ(document->lens()->surfaceArray().size(), 4u);
  const auto glass = document->lens()->surfaceArray()[1]->glass();
  ASSERT_TRUE(glass);
  EXPECT_FALSE(glass->isDummy());
  EXPECT_NEAR(glass->indexAtWavelengthInMicrons(1.0), 1.487320144, 1e-9);
  EXPECT_TRUE(messages.empty());
}

}  // namespace
}  // namespace orb::app
