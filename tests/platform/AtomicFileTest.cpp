#include "platform/AtomicFile.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

#include "platform/Exception.h"

using namespace orb::platform;
namespace fs = std::filesystem;

namespace {

class AtomicFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_dir = fs::temp_directory_path() / ("orb-atomic-" + std::to_string(::getpid()));
    fs::remove_all(m_dir);
    fs::create_directories(m_dir);
  }
  void TearDown() override {
    fs::permissions(m_dir, fs::perms::owner_all);
    fs::remove_all(m_dir);
  }
  std::string path(const char* name) const { return (m_dir / name).string(); }
  static std::string contents(const std::string& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }
  static void put(const std::string& p, const std::string& text, mode_t mode) {
    std::ofstream(p, std::ios::binary) << text;
    ::chmod(p.c_str(), mode);
  }
  static mode_t modeOf(const std::string& p) {
    struct stat st;
    lstat(p.c_str(), &st);
    return st.st_mode & 07777;
  }
  std::size_t entries() const {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(m_dir), fs::directory_iterator()));
  }

  fs::path m_dir;
};

TEST_F(AtomicFileTest, AReplacedFileKeepsItsMode) {
  for (mode_t mode : {0600, 0640, 0664, 0755}) {
    SCOPED_TRACE(mode);
    const std::string p = path("lens.orb");
    put(p, "old", mode);
    writeFileAtomically(p, std::string("new"));
    EXPECT_EQ(contents(p), "new");
    EXPECT_EQ(modeOf(p), mode);
  }
  EXPECT_EQ(entries(), 1u) << "temporary files left behind";
}

TEST_F(AtomicFileTest, ANewFileGetsTheUmaskMode) {
  const mode_t mask = ::umask(027);
  writeFileAtomically(path("new.orb"), std::string("x"));
  ::umask(mask);
  EXPECT_EQ(modeOf(path("new.orb")), 0640u);
}

TEST_F(AtomicFileTest, AReadOnlyFileIsRefusedAndLeftAlone) {
  const std::string p = path("locked.orb");
  put(p, "old", 0444);
  try {
    writeFileAtomically(p, std::string("new"));
    FAIL() << "a read-only file was replaced";
  } catch (const Exception& e) {
    EXPECT_NE(e.reason().find("read-only"), std::string::npos) << e.reason();
  }
  EXPECT_EQ(contents(p), "old");
  EXPECT_EQ(modeOf(p), 0444u);
  EXPECT_EQ(entries(), 1u);
}

TEST_F(AtomicFileTest, ALinkIsWrittenThroughToItsTarget) {
  struct Case {
    const char* name;
    const char* linkTarget;  // as written in the link
    const char* targetFile;  // where the bytes must land
  };
  fs::create_directories(m_dir / "real");
  const std::vector<Case> cases = {
      {"relative", "real/lens.orb", "real/lens.orb"},
      {"absolute", nullptr, "real/abs.orb"},
      {"link-to-link", "link-relative", "real/lens.orb"},
  };
  fs::create_symlink("real/lens.orb", m_dir / "link-relative");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string target = path(c.targetFile);
    put(target, "old", 0600);
    const fs::path link = m_dir / (std::string("via-") + c.name);
    fs::create_symlink(c.linkTarget ? fs::path(c.linkTarget) : fs::path(target), link);
    writeFileAtomically(link.string(), std::string(c.name));
    EXPECT_TRUE(fs::is_symlink(link)) << "the link was replaced by a plain file";
    EXPECT_EQ(contents(target), c.name);
    EXPECT_EQ(modeOf(target), 0600u);
  }
}

TEST_F(AtomicFileTest, AFailedSaveLeavesNoTrace) {
  const std::string p = path("lens.orb");
  put(p, "old", 0644);
  fs::create_directories(m_dir / "sub");
  EXPECT_THROW(writeFileAtomically((m_dir / "missing" / "x.orb").string(), std::string("x")), Exception);
  EXPECT_THROW(writeFileAtomically((m_dir / "sub").string(), std::string("x")), Exception);  // a directory
  if (::geteuid() != 0) {
    fs::permissions(m_dir, fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_THROW(writeFileAtomically(p, std::string("new")), Exception);
    fs::permissions(m_dir, fs::perms::owner_all);
  }
  EXPECT_EQ(contents(p), "old");
  EXPECT_EQ(entries(), 2u);
}

// What killed saves left is cleared by the next save: the fixed temporary, and the
// `<name>.saving-<pid>-<n>` files of earlier versions whose process is gone. A file a live
// process may be writing, and names that only look alike, stay.
TEST_F(AtomicFileTest, LeftoversOfKilledSavesAreClearedByTheNextSave) {
  const pid_t dead = ::fork();
  if (dead == 0) ::_exit(0);
  ASSERT_GT(dead, 0);
  ::waitpid(dead, nullptr, 0);
  const std::string p = path("lens.orb");
  put(p, "old", 0644);
  const std::string gone = "lens.orb.saving-" + std::to_string(dead) + "-1";
  const std::string live = "lens.orb.saving-" + std::to_string(::getpid()) + "-2";
  for (const std::string& name : {std::string(".lens.orb.saving"), gone, live, std::string("lens.orb.saving-notes"),
                                 "other.orb.saving-" + std::to_string(dead) + "-1"}) {
    put(path(name.c_str()), "partial", 0644);
    fs::last_write_time(m_dir / name, fs::file_time_type::clock::now() - std::chrono::hours(1));
  }
  writeFileAtomically(p, std::string("new"));
  EXPECT_EQ(contents(p), "new");
  EXPECT_FALSE(fs::exists(m_dir / ".lens.orb.saving"));
  EXPECT_FALSE(fs::exists(m_dir / gone));
  EXPECT_TRUE(fs::exists(m_dir / live));
  EXPECT_TRUE(fs::exists(m_dir / "lens.orb.saving-notes"));
  EXPECT_TRUE(fs::exists(m_dir / ("other.orb.saving-" + std::to_string(dead) + "-1")));
}

TEST_F(AtomicFileTest, AReplacedFileKeepsItsOwner) {
  if (::geteuid() != 0) GTEST_SKIP() << "only the superuser can make a file someone else's";
  const std::string p = path("theirs.orb");
  put(p, "old", 0660);
  ASSERT_EQ(::chown(p.c_str(), 65534, 65534), 0);
  writeFileAtomically(p, std::string("new"));
  struct stat st;
  ASSERT_EQ(::stat(p.c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, 65534u);
  EXPECT_EQ(st.st_gid, 65534u);
  EXPECT_EQ(st.st_mode & 07777, 0660u);
}

}  // namespace
