#pragma once

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Log.h"

namespace orb::test {

/// Collects the process log's lines at a chosen threshold for as long as it lives, then
/// puts back the sink and threshold it found.
class LogCapture {
 public:
  struct Line {
    platform::LogLevel level;
    std::string text;
  };

  explicit LogCapture(platform::LogLevel threshold = platform::LogLevel::Debug)
      : m_previousThreshold(platform::setLogThreshold(threshold)),
        m_previousSink(platform::setLogSink([this](platform::LogLevel level, std::string_view text) {
          std::lock_guard lock(m_mutex);
          m_lines.push_back({level, std::string(text)});
        })) {}
  ~LogCapture() {
    platform::setLogSink(std::move(m_previousSink));
    platform::setLogThreshold(m_previousThreshold);
  }
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  std::vector<Line> lines() const {
    std::lock_guard lock(m_mutex);
    return m_lines;
  }
  /// Every line, one per row, for searching and for failure messages.
  std::string text() const {
    std::string all;
    for (const auto& line : lines()) all += line.text + "\n";
    return all;
  }
  bool contains(std::string_view fragment) const { return text().find(fragment) != std::string::npos; }

 private:
  mutable std::mutex m_mutex;
  std::vector<Line> m_lines;
  platform::LogLevel m_previousThreshold;
  platform::LogSink m_previousSink;
};

}  // namespace orb::test
