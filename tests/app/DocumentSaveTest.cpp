// How Save writes a document's file: over a file changed behind its back only when told
// to, without leaving temporary files, without dying at the file-size limit, and in the
// text encoding the Zemax file came in.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "AppTestSupport.h"
#include "LensTextSupport.h"
#include "app/Messages.h"
#include "app/document/OBDocument.h"
#include "interchange/TextDecoding.h"
#include "interchange/ZemaxReader.h"
#include "lens/Lens.h"
#include "platform/AtomicFile.h"
#include "platform/UserDefaults.h"

namespace orb::app {
namespace {

namespace fs = std::filesystem;
using testing::sameLens;
using testing::zemaxText;

const fs::path kData = fs::path(ORB_TEST_DATA_DIR) / "lenses";

std::string bytesOf(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

struct DocumentSaveTest : ::testing::Test {
  // One directory per test and process: CTest runs the tests of this suite in parallel.
  fs::path dir = fs::temp_directory_path() / ("orb-save-test-" + std::to_string(::getpid()) + "-" +
                                              ::testing::UnitTest::GetInstance()->current_test_info()->name());
  std::vector<std::string> messages;
  int asked = 0;
  bool saveAnyway = false;
  platform::Value recentPaths;

  void SetUp() override {
    registerLensDocument();
    fs::create_directories(dir);
    recentPaths = platform::UserDefaults::standard().objectForKey("recentDocumentPaths");
    setMessagePresenter([this](QWidget*, const std::string& text, const std::string& informative) {
      messages.push_back(text + " " + informative);
    });
    OBDocument::setChangedFileAsker([this](QWidget*, const OBDocument&) {
      ++asked;
      return saveAnyway;
    });
    OBDocument::setZemaxTroubleAsker([](const interchange::ZemaxTrouble&) {
      return interchange::ZemaxTroubleAnswer::ContinueReading;
    });
  }
  void TearDown() override {
    for (const auto& document : DocumentController::shared().documents()) document->close();
    testing::settle();
    OBDocument::setChangedFileAsker({});
    OBDocument::setZemaxTroubleAsker({});
    setMessagePresenter({});
    if (recentPaths.isNil()) platform::UserDefaults::standard().removeObject("recentDocumentPaths");
    else platform::UserDefaults::standard().setObject("recentDocumentPaths", recentPaths);
    fs::remove_all(dir);
  }

  /// A copy of a test lens in this test's directory, opened.
  std::shared_ptr<OBDocument> openCopy(const char* lensFile, const char* name) {
    const fs::path path = dir / name;
    fs::copy_file(kData / lensFile, path, fs::copy_options::overwrite_existing);
    std::string error;
    auto document = std::static_pointer_cast<OBDocument>(
        DocumentController::shared().documentFactory()->openDocument(path.string(), &error));
    EXPECT_TRUE(document) << error;
    return document;
  }
};

// Another program rewrites the file after it was opened (other size, other time): Save
// asks; Cancel leaves the file and the document as they were, Save anyway writes. The
// saved file is then ours again: the next Save does not ask.
TEST_F(DocumentSaveTest, SaveAsksBeforeWritingOverAFileChangedOnDisk) {
  auto document = openCopy("lens1.zmx", "lens.zmx");
  ASSERT_TRUE(document);
  const fs::path path = document->filePath();
  const std::string lens = zemaxText(*document->lens());
  document->updateChangeCount();

  const std::string theirs = "NAME written by another program\n";
  std::ofstream(path, std::ios::binary | std::ios::trunc) << theirs;
  fs::last_write_time(path, fs::last_write_time(path) - std::chrono::hours(1));

  saveAnyway = false;
  EXPECT_FALSE(document->saveDocument(nullptr));
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(bytesOf(path), theirs);
  EXPECT_TRUE(document->isDocumentEdited());
  EXPECT_EQ(document->filePath(), path.string());
  EXPECT_TRUE(messages.empty()) << messages.front();

  saveAnyway = true;
  ASSERT_TRUE(document->saveDocument(nullptr));
  EXPECT_EQ(asked, 2);
  EXPECT_FALSE(document->isDocumentEdited());
  auto decoded = interchange::readTextFile(path);
  ASSERT_TRUE(decoded);
  EXPECT_TRUE(sameLens(decoded->text, lens));

  ASSERT_TRUE(document->saveDocument(nullptr));
  EXPECT_EQ(asked, 2) << "asked about our own save";
}

// What a save killed part-way left beside the document is gone after the next save,
// whether it is older than the document or a link (which is removed, not followed), and
// the document's file is whole.
TEST_F(DocumentSaveTest, SaveRemovesALeftoverTemporaryFile) {
  auto document = openCopy("lens1.zmx", "lens.zmx");
  ASSERT_TRUE(document);
  const fs::path path = document->filePath();
  const fs::path leftover = dir / ".lens.zmx.saving";
  const fs::path elsewhere = dir / "elsewhere.txt";
  std::ofstream(elsewhere) << "not ours";
  const std::string lens = zemaxText(*document->lens());
  struct Case {
    const char* name;
    bool link;
  };
  for (const Case& c : {Case{"half-written file older than the document", false}, Case{"link", true}}) {
    SCOPED_TRACE(c.name);
    if (c.link) {
      fs::create_symlink(elsewhere, leftover);
    } else {
      std::ofstream(leftover, std::ios::binary) << "NAME half";
      fs::last_write_time(leftover, fs::last_write_time(path) - std::chrono::hours(1));
    }
    ASSERT_TRUE(document->saveDocument(nullptr)) << (messages.empty() ? "" : messages.back());
    ASSERT_FALSE(fs::exists(fs::symlink_status(leftover)));
    auto decoded = interchange::readTextFile(path);
    ASSERT_TRUE(decoded);
    EXPECT_TRUE(sameLens(decoded->text, lens));
    EXPECT_EQ(bytesOf(elsewhere), "not ours");
  }
  EXPECT_EQ(asked, 0);
}

// Past the process's file-size limit the system refuses the write with EFBIG once
// SIGXFSZ is ignored, as the application does at startup; otherwise the signal ends the
// process. A child process takes the limit, so this one keeps its own.
TEST_F(DocumentSaveTest, SavePastTheFileSizeLimitFailsAsFileTooLarge) {
  auto document = openCopy("lens1.zmx", "lens.zmx");
  ASSERT_TRUE(document);
  const std::string path = document->filePath();
  const std::string before = bytesOf(path);
  constexpr rlim_t kLimit = 512;
  ASSERT_GT(zemaxText(*document->lens()).size(), kLimit) << "the lens must be larger than the limit";

  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // The child reports by its exit status and leaves by _exit: no test framework here.
    struct rlimit limit;
    ::getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = kLimit;
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(3);
    platform::ignoreFileSizeLimitSignal();
    std::string error;
    if (document->writeToFile(path, OBDocument::kZemaxType, &error)) ::_exit(1);
    ::_exit(error.find("File too large") != std::string::npos ? 0 : 2);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_FALSE(WIFSIGNALED(status)) << "the save was killed by signal " << WTERMSIG(status);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "1: the save succeeded, 2: it failed for another reason, 3: no limit";
  EXPECT_EQ(bytesOf(path), before);
  EXPECT_FALSE(fs::exists(dir / ".lens.zmx.saving"));
}

// A Zemax file goes back in the encoding it came in when its text fits: the ISO-8859-1
// "Ø18 mm" of a lens maker's file keeps its one byte 0xD8. A title outside ISO-8859-1
// and ASCII ("λ") is written as UTF-16LE with its byte-order mark and reads back equal.
TEST_F(DocumentSaveTest, ZemaxTextKeepsItsEncodingOrBecomesUtf16) {
  auto latin = openCopy("lens_thorlabs_iso_8859_1.zmx", "thorlabs.zmx");
  ASSERT_TRUE(latin);
  ASSERT_TRUE(latin->saveDocument(nullptr)) << (messages.empty() ? "" : messages.back());
  const std::string saved = bytesOf(latin->filePath());
  EXPECT_NE(saved.find("\xD8" "18 mm"), std::string::npos) << saved.substr(0, 120);
  EXPECT_EQ(interchange::decodeText({reinterpret_cast<const std::uint8_t*>(saved.data()), saved.size()}).encoding,
            interchange::TextEncoding::Latin1);

  auto greek = openCopy("lens1.zmx", "greek.zmx");
  ASSERT_TRUE(greek);
  const std::string title = "Doublet \xCE\xBB/4 \xC3\x98" "18 mm";  // "Doublet λ/4 Ø18 mm" in UTF-8
  greek->lens()->setSystemName(title);
  const std::string lens = zemaxText(*greek->lens());
  ASSERT_TRUE(greek->saveDocument(nullptr)) << (messages.empty() ? "" : messages.back());
  const std::string bytes = bytesOf(greek->filePath());
  ASSERT_GE(bytes.size(), 2u);
  EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE");
  const auto decoded =
      interchange::decodeText({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()});
  EXPECT_EQ(decoded.encoding, interchange::TextEncoding::Utf16LE);
  EXPECT_TRUE(sameLens(decoded.text, lens));
  auto reopened = std::static_pointer_cast<OBDocument>(
      DocumentController::shared().documentFactory()->openDocument(greek->filePath(), nullptr));
  ASSERT_TRUE(reopened);
  EXPECT_EQ(reopened->lens()->systemName().value_or(""), title);
}

}  // namespace
}  // namespace orb::app
