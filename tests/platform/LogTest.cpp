#include "platform/Log.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "LogCapture.h"

using namespace orb::platform;
using orb::test::LogCapture;

namespace {

// A subject no other test (nor a repeat of this one) has used: the once-memory lasts the process.
std::string freshSubject(const char* name) {
  static std::atomic<int> counter{0};
  return std::string("/tmp/") + name + "-" + std::to_string(counter++) + ".zmx";
}

bool isCleanUtf8Line(const std::string& s) {
  for (std::size_t i = 0; i < s.size(); ++i) {
    const auto b = static_cast<unsigned char>(s[i]);
    if (b < 0x20 || b == 0x7F) return false;
    if (b == 0xC2 && i + 1 < s.size() && static_cast<unsigned char>(s[i + 1]) < 0xA0) return false;  // C1
  }
  return true;
}

}  // namespace

TEST(LogThreshold, LevelsBelowTheThresholdAreDropped) {
  struct Case {
    LogLevel threshold;
    std::vector<LogLevel> seen;
  };
  const Case cases[] = {
      {LogLevel::Debug, {LogLevel::Debug, LogLevel::Debug, LogLevel::Info, LogLevel::Warning, LogLevel::Error}},
      {LogLevel::Info, {LogLevel::Info, LogLevel::Warning, LogLevel::Error}},
      {LogLevel::Warning, {LogLevel::Warning, LogLevel::Error}},
      {LogLevel::Error, {LogLevel::Error}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(logLevelName(c.threshold));
    LogCapture capture(c.threshold);
    log("debug %d", 1);  // the old calls are the debug ones
    logText("debug text");
    logAt(LogLevel::Info, "info");
    logWarning("warning %s", "w");
    logTextAt(LogLevel::Error, "error");
    std::vector<LogLevel> seen;
    for (const auto& line : capture.lines()) seen.push_back(line.level);
    EXPECT_EQ(seen, c.seen) << capture.text();
  }
}

TEST(LogThreshold, TheProcessStartsFromTheEnvironmentAndKeepsWarningsByDefault) {
  EXPECT_EQ(logThreshold(), logThresholdFromEnvironment());
  if (std::getenv("ORBELLINE_LOG")) GTEST_SKIP() << "ORBELLINE_LOG is set for this run";
  LogCapture capture(logThreshold());
  log("a developer detail");
  logAt(LogLevel::Info, "progress");
  logWarning("something to act on");
  ASSERT_EQ(capture.lines().size(), 1u) << capture.text();
  EXPECT_EQ(capture.lines()[0].text, "something to act on");
}

TEST(LogThreshold, CaptureRestoresThresholdAndSink) {
  const LogLevel before = logThreshold();
  {
    LogCapture outer(LogLevel::Error);
    {
      LogCapture inner(LogLevel::Debug);
      log("inner");
    }
    EXPECT_EQ(logThreshold(), LogLevel::Error);
    logTextAt(LogLevel::Error, "outer");
    EXPECT_EQ(outer.text(), "outer\n");
  }
  EXPECT_EQ(logThreshold(), before);
}

struct LogEnvironmentTest : ::testing::Test {
  std::optional<std::string> saved;
  void SetUp() override {
    if (const char* v = std::getenv("ORBELLINE_LOG")) saved = v;
  }
  void TearDown() override {
    if (saved)
      ::setenv("ORBELLINE_LOG", saved->c_str(), 1);
    else
      ::unsetenv("ORBELLINE_LOG");
  }
};

TEST_F(LogEnvironmentTest, OrbellineLogNamesTheThreshold) {
  struct Case {
    const char* value;  // null: unset
    LogLevel expected;
  };
  const Case cases[] = {
      {nullptr, LogLevel::Warning}, {"debug", LogLevel::Debug},   {"info", LogLevel::Info},
      {"warning", LogLevel::Warning}, {"error", LogLevel::Error}, {"DEBUG", LogLevel::Debug},
      {"", LogLevel::Warning},      {"verbose", LogLevel::Warning}, {"2", LogLevel::Warning},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value ? c.value : "(unset)");
    if (c.value)
      ::setenv("ORBELLINE_LOG", c.value, 1);
    else
      ::unsetenv("ORBELLINE_LOG");
    EXPECT_EQ(logThresholdFromEnvironment(), c.expected);
  }
}

TEST(LogOnce, ASubjectAndKindWarnOnceAndRepeatsAreOnlyCounted) {
  const std::string file = freshSubject("once");
  const std::string other = freshSubject("once-other");
  {
    LogCapture capture(LogLevel::Warning);
    EXPECT_TRUE(logWarningOnce(file, "line passed over", "%s[3] passed over", file.c_str()));
    EXPECT_FALSE(logWarningOnce(file, "line passed over", "%s[9] passed over", file.c_str()));
    EXPECT_FALSE(logWarningOnce(file, "line passed over", "%s[12] passed over", file.c_str()));
    EXPECT_TRUE(logWarningOnce(file, "unknown glass", "%s: glass XYZ", file.c_str()));     // another kind
    EXPECT_TRUE(logWarningOnce(other, "line passed over", "%s[1] passed over", other.c_str()));  // another file
    const auto lines = capture.lines();
    ASSERT_EQ(lines.size(), 3u) << capture.text();
    EXPECT_EQ(lines[0].text, file + "[3] passed over");
    EXPECT_EQ(suppressedWarningCount(file, "line passed over"), 2u);
    EXPECT_EQ(suppressedWarningCount(file, "unknown glass"), 0u);
  }
  // A developer still sees the repeats, as debug lines.
  LogCapture capture(LogLevel::Debug);
  EXPECT_FALSE(logWarningOnce(file, "line passed over", "%s[20] passed over", file.c_str()));
  ASSERT_EQ(capture.lines().size(), 1u);
  EXPECT_EQ(capture.lines()[0].level, LogLevel::Debug);
  EXPECT_EQ(suppressedWarningCount(file, "line passed over"), 3u);
}

TEST(LogOnce, AWarningBelowTheThresholdIsNotSpent) {
  const std::string file = freshSubject("quiet");
  {
    LogCapture capture(LogLevel::Error);
    EXPECT_FALSE(logWarningOnce(file, "kind", "first"));
    EXPECT_TRUE(capture.lines().empty());
  }
  LogCapture capture(LogLevel::Warning);
  EXPECT_TRUE(logWarningOnce(file, "kind", "second"));
  EXPECT_EQ(capture.text(), "second\n");
}

TEST(LogCleaning, LinesCarryNoRawBytesNorAddresses) {
  struct Case {
    const char* name;
    std::string in;
    LogLevel level;
    std::string out;
  };
  const Case cases[] = {
      {"plain", "lens.zmx[3] passed over", LogLevel::Warning, "lens.zmx[3] passed over"},
      {"control bytes", "a\x01" "b\x1b[31mc\x7f", LogLevel::Debug, "a\\x01b\\x1B[31mc\\x7F"},
      {"newline and tab", "one\ntwo\tthree\r", LogLevel::Debug, "one\\x0Atwo three\\x0D"},
      {"nul", std::string("a\0b", 3), LogLevel::Debug, "a\\x00b"},
      {"valid UTF-8 kept", "N-BK7 at 0.5 µm – ok", LogLevel::Warning, "N-BK7 at 0.5 µm – ok"},
      {"stray continuation", "a\x80z", LogLevel::Debug, "a\\x80z"},
      {"Latin-1 byte", "caf\xe9!", LogLevel::Debug, "caf\\xE9!"},
      {"cut sequence at the end", "ok\xe2\x80", LogLevel::Debug, "ok\\xE2\\x80"},
      {"overlong", "\xc0\xaf", LogLevel::Debug, "\\xC0\\xAF"},
      {"surrogate", "\xed\xa0\x80", LogLevel::Debug, "\\xED\\xA0\\x80"},
      {"past U+10FFFF", "\xf4\x90\x80\x80", LogLevel::Debug, "\\xF4\\x90\\x80\\x80"},
      {"C1 control", "a\xc2\x9b" "b", LogLevel::Debug, "a\\xC2\\x9Bb"},
      {"address in a warning", "[1] 0x562c4a3b2e10 RMS Spot Size no rays", LogLevel::Warning,
       "[1] 0x\u2026 RMS Spot Size no rays"},
      {"address in an error", "QWidget(0x7ffd12345678)", LogLevel::Error, "QWidget(0x\u2026)"},
      {"address kept for developers", "<Lens 0x562c4a3b2e10>", LogLevel::Debug, "<Lens 0x562c4a3b2e10>"},
      {"short hexadecimal is no address", "flags 0x1F, code 0xABCD", LogLevel::Warning, "flags 0x1F, code 0xABCD"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(cleanLogLine(c.in, c.level), c.out);
  }
}

TEST(LogCleaning, LongLinesAreCutAtACharacter) {
  const std::string longAscii(5000, 'x');
  const std::string cut = cleanLogLine(longAscii);
  EXPECT_LE(cut.size(), kMaxLogLineBytes + 3);
  EXPECT_EQ(cut.substr(cut.size() - 3), "\u2026");
  std::string wide;
  for (int i = 0; i < 1000; ++i) wide += "\u00b5";  // two bytes each: a cut must not split one
  const std::string cutWide = cleanLogLine(wide);
  EXPECT_LE(cutWide.size(), kMaxLogLineBytes + 3);
  EXPECT_EQ(cutWide.substr(0, cutWide.size() - 3).find_first_not_of("\xc2\xb5"), std::string::npos);
  EXPECT_EQ(cutWide.substr(cutWide.size() - 3), "\u2026");
}

TEST(LogCleaning, BinaryThroughTheSinkComesOutClean) {
  std::string binary;
  for (int i = 0; i < 2000; ++i) binary += static_cast<char>((i * 131 + 7) % 256);
  LogCapture capture(LogLevel::Debug);
  logText(binary);
  logWarning("%s", binary.c_str());  // stops at the first nul, as printf does
  ASSERT_EQ(capture.lines().size(), 2u);
  for (const auto& line : capture.lines()) {
    EXPECT_TRUE(isCleanUtf8Line(line.text)) << line.text;
    EXPECT_LE(line.text.size(), kMaxLogLineBytes + 3);
  }
}

TEST(LogThreads, LinesFromSeveralThreadsArriveWhole) {
  LogCapture capture(LogLevel::Debug);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([t] {
      for (int i = 0; i < 200; ++i) log("thread %d line %d end", t, i);
    });
  for (auto& thread : threads) thread.join();
  const auto lines = capture.lines();
  ASSERT_EQ(lines.size(), 800u);
  for (const auto& line : lines) EXPECT_EQ(line.text.rfind("thread ", 0), 0u) << line.text;
}
