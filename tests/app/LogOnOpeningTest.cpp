#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "AppTestSupport.h"
#include "LogCapture.h"
#include "app/Messages.h"
#include "app/document/DocumentController.h"
#include "app/document/OBDocument.h"
#include "analysis/OBCalculator.h"
#include "app/windows/LensPlotWindowController.h"
#include "interchange/ZemaxReader.h"

// What standard error shows when a user opens a lens file: at the default threshold at
// most a few warnings, none of them the file's bytes or an object's address.

namespace orb::app {
namespace {

using platform::LogLevel;

bool looksLikeAnAddress(const std::string& line) {
  for (std::size_t at = line.find("0x"); at != std::string::npos; at = line.find("0x", at + 2)) {
    std::size_t digits = 0;
    while (at + 2 + digits < line.size() && std::isxdigit(static_cast<unsigned char>(line[at + 2 + digits]))) ++digits;
    if (digits >= 6) return true;
  }
  return false;
}

bool hasRawBytes(const std::string& line) {
  for (std::size_t i = 0; i < line.size(); ++i) {
    const auto b = static_cast<unsigned char>(line[i]);
    if (b < 0x20 || b == 0x7F) return true;
    if (b == 0xC2 && i + 1 < line.size() && static_cast<unsigned char>(line[i + 1]) < 0xA0) return true;
  }
  return false;
}

struct LogOnOpeningTest : ::testing::Test {
  std::filesystem::path dir = std::filesystem::temp_directory_path() /
                              ("orb-log-test-" + std::to_string(::getpid()) + "-" +
                               ::testing::UnitTest::GetInstance()->current_test_info()->name());

  void SetUp() override {
    registerLensDocument();
    setMessagePresenter([](QWidget*, const std::string&, const std::string&) {});
    OBDocument::setZemaxTroubleAsker(
        [](const interchange::ZemaxTrouble&) { return interchange::ZemaxTroubleAnswer::ContinueReading; });
    std::filesystem::create_directories(dir);
  }
  void TearDown() override {
    const auto documents = DocumentController::shared().documents();
    for (const auto& document : documents) document->close();
    testing::settle();
    OBDocument::setZemaxTroubleAsker({});
    setMessagePresenter({});
    std::filesystem::remove_all(dir);
  }

  std::string randomFile(const std::string& name) {
    std::mt19937 bytes(20240611);
    std::string content(20000, '\0');
    for (char& c : content) c = static_cast<char>(bytes() & 0xFF);
    const auto path = (dir / name).string();
    std::ofstream(path, std::ios::binary) << content;
    return path;
  }

  /// The fixture of a glass no catalog holds, under a name not yet warned of in this
  /// process (a glass is named once per process).
  std::string unknownGlassFile(std::string* glassName) {
    static int copies = 0;
    *glassName = "NOSUCHGLASS" + std::to_string(++copies);
    std::ifstream in(std::string(ORB_TEST_DATA_DIR) + "/lenses/fixtures/unknown_glass.zmx");
    std::stringstream text;
    text << in.rdbuf();
    std::string content = text.str();
    content.replace(content.find("NOSUCHGLASS"), 11, *glassName);
    const auto path = (dir / "unknown_glass.zmx").string();
    std::ofstream(path) << content;
    return path;
  }
};

TEST_F(LogOnOpeningTest, OpeningLensFilesWarnsBrieflyAndCleanly) {
  struct Case {
    std::string path;
    bool opens;
    std::string mustWarn;  // a fragment one warning must hold; empty: none asked for
  };
  const std::string lenses = std::string(ORB_TEST_DATA_DIR) + "/lenses/";
  std::string glass;
  const std::string unknownGlass = unknownGlassFile(&glass);
  const Case cases[] = {
      {lenses + "lens2.zmx", true, ""},
      {lenses + "simple_fold_mirror_up.zmx", true, ""},
      {lenses + "cooke_triplet.seq", true, ""},
      {unknownGlass, true, "glass " + glass + " is in none of the loaded glass catalogs"},
      {randomFile("random.zmx"), false, ""},
      {randomFile("random.seq"), false, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    test::LogCapture capture(LogLevel::Warning);
    std::string error;
    auto document = DocumentController::shared().documentFactory()->openDocument(c.path, &error);
    EXPECT_EQ(document != nullptr, c.opens) << error;
    if (document) {
      // As the application does, with an analysis on top.
      DocumentController::shared().addDocument(document);
      document->makeWindowControllers();
      document->showWindows();
      ASSERT_TRUE(document->performAction("makeSpotDiagram"));
      int spots = 0;
      for (auto* controller : document->windowControllers())
        if (auto* spot = qobject_cast<RandomizableLensPlotWindowController*>(controller)) {
          ++spots;
          EXPECT_TRUE(testing::pumpUntil([&] { return !spot->calculator()->needsWork(); }));
        }
      EXPECT_EQ(spots, 1);
      document->close();
    }
    testing::settle();
    const auto lines = capture.lines();
    EXPECT_LE(lines.size(), 3u) << capture.text();
    for (const auto& line : lines) {
      EXPECT_FALSE(hasRawBytes(line.text)) << line.text;
      EXPECT_FALSE(looksLikeAnAddress(line.text)) << line.text;
    }
    if (!c.mustWarn.empty()) EXPECT_TRUE(capture.contains(c.mustWarn)) << capture.text();
  }
}

// A developer who asks for everything still gets lines a terminal can show.
TEST_F(LogOnOpeningTest, RandomBytesAtDebugLevelComeOutEscaped) {
  const std::string path = randomFile("noise.zmx");
  test::LogCapture capture(LogLevel::Debug);
  std::string error;
  EXPECT_FALSE(DocumentController::shared().documentFactory()->openDocument(path, &error));
  ASSERT_FALSE(capture.lines().empty());
  for (const auto& line : capture.lines()) {
    EXPECT_FALSE(hasRawBytes(line.text)) << line.text;
    EXPECT_LE(line.text.size(), platform::kMaxLogLineBytes + 3);
  }
}

}  // namespace
}  // namespace orb::app
