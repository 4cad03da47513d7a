#include "app/document/OBAppDel.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QPushButton>
#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <unistd.h>

#include "AppTestSupport.h"
#include "FakeDocument.h"
#include "app/Messages.h"
#include "app/document/DocumentController.h"
#include "app/document/StartWindow.h"
#include "materials/GlassCatalog.h"
#include "platform/Exception.h"
#include "platform/NotificationCenter.h"
#include "platform/Thread.h"
#include "platform/UserDefaults.h"

namespace orb::app {
namespace {

/// A loader the test can hold until it lets go, counting its runs.
struct HeldLoader {
  std::mutex mutex;
  std::condition_variable changed;
  bool held = false, entered = false;
  std::atomic<int> runs{0};
  bool raises = false;

  std::shared_ptr<materials::GlassCatalog> load() {
    ++runs;
    std::unique_lock lock(mutex);
    entered = true;
    changed.notify_all();
    changed.wait(lock, [&] { return !held; });
    if (raises) throw platform::Exception("NSInternalInconsistencyException", "Unable to read system glass catalog");
    return materials::GlassCatalog::glassCatalog();
  }
  void release() {
    std::lock_guard lock(mutex);
    held = false;
    changed.notify_all();
  }
  void waitEntered() {
    std::unique_lock lock(mutex);
    changed.wait(lock, [&] { return entered; });
  }
};

struct SystemGlassCatalogTest : ::testing::Test {
  std::shared_ptr<HeldLoader> loader = std::make_shared<HeldLoader>();
  void SetUp() override {
    OBAppDel::shared().resetGlassCatalog();
    OBAppDel::waitForSystemGlassCatalogLoader();
    OBAppDel::setSystemGlassCatalogLoader([l = loader] { return l->load(); });
  }
  void TearDown() override {
    loader->release();
    OBAppDel::waitForSystemGlassCatalogLoader();
    OBAppDel::setSystemGlassCatalogLoader({});
    OBAppDel::shared().resetGlassCatalog();
  }
};

TEST_F(SystemGlassCatalogTest, ARequestDuringTheLaunchLoadWaitsAndGetsTheLoadedCatalog) {
  loader->held = true;
  OBAppDel::shared().applicationDidFinishLaunching();
  EXPECT_TRUE(OBAppDel::isLoadingSystemGlassCatalog());  // claimed before the thread runs
  loader->waitEntered();

  std::atomic<bool> answered{false};
  std::shared_ptr<materials::GlassCatalog> got;
  std::thread requester([&] {
    got = OBAppDel::systemGlassCatalog();
    answered = true;
  });
  EXPECT_FALSE(answered.load());  // the loader is still held
  loader->release();
  requester.join();
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(got, OBAppDel::systemGlassCatalog());
  EXPECT_EQ(loader->runs.load(), 1);
}

TEST_F(SystemGlassCatalogTest, WithoutALoadUnderWayARequestLoadsAtOnceAndResetReloads) {
  int resets = 0;
  auto observation = platform::NotificationCenter::defaultCenter().addObserver(
      "systemGlassCatalogResetNotification", OBAppDel::shared().reference(),
      [&](const platform::Notification&) { ++resets; });

  auto first = OBAppDel::systemGlassCatalog();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(OBAppDel::systemGlassCatalog(), first);
  EXPECT_EQ(loader->runs.load(), 1);

  OBAppDel::shared().resetGlassCatalog();
  EXPECT_EQ(resets, 1);
  auto second = OBAppDel::systemGlassCatalog();
  EXPECT_EQ(loader->runs.load(), 2);
  EXPECT_NE(second, first);
}

TEST_F(SystemGlassCatalogTest, AFailedLoadLeavesNoCatalogAndTheNextRequestTriesAgain) {
  loader->raises = true;
  OBAppDel::shared().applicationDidFinishLaunching();
  OBAppDel::waitForSystemGlassCatalogLoader();
  EXPECT_FALSE(OBAppDel::isLoadingSystemGlassCatalog());
  EXPECT_EQ(OBAppDel::systemGlassCatalog(), nullptr);  // tries again synchronously, fails again
  EXPECT_EQ(loader->runs.load(), 2);
  loader->raises = false;
  EXPECT_NE(OBAppDel::systemGlassCatalog(), nullptr);
}

// Reload System Glass Catalog reads the glass library folders again: a folder chosen under
// Lens ▸ Glass Catalogs after a load is read without a restart, for every library the
// defaults name (Zemax glasses and gradient dispersions, OSLO glasses).
struct GlassLibraryReloadTest : ::testing::Test {
  static constexpr const char* kKeys[] = {"zemaxGlassLibraryPath", "osloGlassLibraryPath", "includeZemaxGlassLibrary",
                                          "includeOsloGlassLibrary"};
  std::filesystem::path root =
      std::filesystem::temp_directory_path() / ("orb-glass-reload-test-" + std::to_string(::getpid()));
  std::map<std::string, platform::Value> saved;

  void SetUp() override {
    auto& defaults = platform::UserDefaults::standard();
    for (const char* key : kKeys) saved[key] = defaults.objectForKey(key);
    defaults.setObject("includeZemaxGlassLibrary", true);
    defaults.setObject("includeOsloGlassLibrary", true);
    OBAppDel::waitForSystemGlassCatalogLoader();
  }
  void TearDown() override {
    OBAppDel::shared().chooseDirectory = {};
    for (const auto& [key, value] : saved) platform::UserDefaults::standard().setObject(key, value);
    OBAppDel::shared().resetGlassCatalog();  // later tests meet the libraries of the restored folders
    std::filesystem::remove_all(root);
  }
  /// A folder with one entry of each library: NAMEAGF, NAMEGRIN and NAMEGLC.
  std::string folder(const std::string& name) {
    const auto dir = root / name;
    std::filesystem::create_directories(dir);
    std::ofstream(dir / (name + ".agf")) << "NM " << name << "AGF 2 517642 1.5168 64.17 0 0 0\nCD 1.2 0.01 0 0 0 0\n";
    std::ofstream(dir / "SGRIN.DAT") << name << "GRIN 0.4 2 0.67 0 0\n";
    std::ofstream(dir / (name + ".glc"))
        << "1.0 1 Reload test\n  " << name
        << "GLC 1.5168 64.17 2.51 3.0 71 0.997 0 450 1 0 2 2 6 1.03961212 0.231792344 1.01046945 0.00600069867 "
           "0.0200179144 103.560653 1 2 1.0e-6 2.0e-8 0 2 0.40 0.99 0.70 0.998\n";
    return dir.string();
  }
  /// Chooses `directory` as both library folders, then reloads, as the menus do.
  static void chooseAndReload(const std::string& directory) {
    auto& app = OBAppDel::shared();
    app.chooseDirectory = [directory](QWidget*, const std::string&) { return std::optional<std::string>(directory); };
    app.browseForZemaxGlassDirectory(nullptr);
    app.browseForOsloGlassDirectory(nullptr);
    app.resetGlassCatalog();
  }
  static bool found(const std::string& name) {
    const auto catalog = OBAppDel::systemGlassCatalog();
    return catalog && catalog->lookupGlassWithName(name);
  }
};

TEST_F(GlassLibraryReloadTest, ReloadReadsTheChosenFoldersAgain) {
  const auto first = folder("FIRST"), second = folder("SECOND");
  chooseAndReload(first);
  for (const char* library : {"AGF", "GRIN", "GLC"}) EXPECT_TRUE(found(std::string("FIRST") + library)) << library;
  chooseAndReload(second);
  for (const char* library : {"AGF", "GRIN", "GLC"}) {
    SCOPED_TRACE(library);
    EXPECT_TRUE(found(std::string("SECOND") + library));
    EXPECT_FALSE(found(std::string("FIRST") + library));
  }
}

TEST(OBAppDel, LaunchNamesTheMainThread) {
  OBAppDel::shared().applicationWillFinishLaunching();
  EXPECT_EQ(platform::currentThreadName(), "Orbelline");
  EXPECT_FALSE(OBAppDel::shared().applicationShouldOpenUntitledFile());
}

/// Records messages instead of showing them, and restores the document controller.
struct DocumentsTest : ::testing::Test {
  std::vector<std::pair<std::string, std::string>> messages;
  void SetUp() override {
    // These cases start with no kind of document, whatever an earlier test registered:
    // with the lens document installed, Open would wait in a real file dialog.
    DocumentController::shared().setDocumentFactory(nullptr);
    setMessagePresenter([this](QWidget*, const std::string& text, const std::string& informative) {
      messages.emplace_back(text, informative);
    });
  }
  void TearDown() override {
    setMessagePresenter({});
    auto& controller = DocumentController::shared();
    while (!controller.documents().empty()) controller.removeDocument(controller.documents().front());
    controller.setDocumentFactory(nullptr);
  }
  testing::FakeDocumentFactory* installFactory() {
    auto factory = std::make_unique<testing::FakeDocumentFactory>();
    auto* raw = factory.get();
    DocumentController::shared().setDocumentFactory(std::move(factory));
    return raw;
  }
};

TEST_F(DocumentsTest, NewFromClipboardTextReportsEachFailureAndLeavesNoDocument) {
  struct Case {
    const char* name;
    bool factory, factoryFails, readSucceeds;
    std::optional<std::string> text;
    std::string error;
    std::size_t documents;
  };
  const std::vector<Case> cases = {
      {"no document kind", false, false, true, "text", "Unable to make new Orbelline document", 0},
      {"document refused", true, true, true, "text", "Unable to make new Orbelline document", 0},
      {"text not a lens", true, false, false, "garbage", "Pasteboard does not contain Orbelline data", 0},
      {"lens text", true, false, true, "SURF 0", "", 1},
      {"no text: empty document", true, false, false, std::nullopt, "", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TearDown();
    SetUp();
    testing::FakeDocumentFactory* factory = c.factory ? installFactory() : nullptr;
    if (factory) {
      factory->fails = c.factoryFails;
      factory->readSucceeds = c.readSucceeds;
    }
    std::string error, detail;
    auto document = OBAppDel::shared().openSelection(c.text, &error, &detail);
    EXPECT_EQ(error, c.error);
    EXPECT_EQ(document != nullptr, c.error.empty());
    EXPECT_EQ(DocumentController::shared().documents().size(), c.documents);
    if (c.error == "Pasteboard does not contain Orbelline data") {
      EXPECT_EQ(detail, "no lens in the text");
    }
    if (document) {
      EXPECT_EQ(factory->last->m_windowControllersMade, 1);
    }
  }
}

TEST_F(DocumentsTest, StartWindowSaysWhatIsNotAvailableAndFollowsTheDocuments) {
  StartWindow* start = OBAppDel::shared().startWindow();
  OBAppDel::shared().updateStartWindow();
  EXPECT_TRUE(start->isVisible());

  start->openButton()->click();
  start->openFile("/tmp/lens.zmx");
  start->newFromClipboardButton()->click();
  ASSERT_EQ(messages.size(), 3u);
  EXPECT_EQ(messages[0].first, "Opening lens files is not available yet.");
  EXPECT_NE(messages[1].second.find("/tmp/lens.zmx"), std::string::npos);
  EXPECT_EQ(messages[2].first, "Making a lens from clipboard text is not available yet.");

  auto* factory = installFactory();
  factory->readSucceeds = false;
  QApplication::clipboard()->setText("not a lens");
  start->newFromClipboardButton()->click();
  ASSERT_EQ(messages.size(), 4u);
  EXPECT_EQ(messages[3].first, "Pasteboard does not contain Orbelline data");

  factory->readSucceeds = true;
  start->newFromClipboardButton()->click();
  EXPECT_EQ(factory->last->m_readText, "not a lens");
  EXPECT_FALSE(start->isVisible());  // a document is open
  factory->last->close();
  EXPECT_TRUE(start->isVisible());
}

}  // namespace
}  // namespace orb::app
