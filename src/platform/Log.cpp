#include "platform/Log.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>
#include <utility>

#include "platform/Exception.h"
#include "platform/Thread.h"

namespace orb::platform {

namespace {

constexpr LogLevel kDefaultThreshold = LogLevel::Warning;

// Never destroyed: threads still log while the process winds down.
struct LogState {
  std::atomic<int> threshold{-1};  // -1: not yet read from the environment
  std::mutex sinkMutex;            // whole lines, even from several threads
  LogSink sink;
  std::mutex onceMutex;
  std::map<std::pair<std::string, std::string>, std::size_t> repeats;  // (subject, kind) → held back
};

LogState& state() {
  static auto* s = new LogState;
  return *s;
}

void writeToStandardError(LogLevel level, std::string_view line, const std::string& thread) {
  const char* label = level == LogLevel::Warning ? "warning: " : level == LogLevel::Error ? "error: " : "";
  std::fprintf(stderr, "Orbelline[%s] %s%.*s\n", thread.empty() ? "?" : thread.c_str(), label,
               static_cast<int>(line.size()), line.data());
  std::fflush(stderr);
}

bool isHex(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

// Warnings go to users, who have no use for where an object happens to live.
std::string withoutAddresses(std::string_view text) {
  constexpr std::size_t kAddressDigits = 8;
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const bool startsNumber = text[i] == '0' && i + 1 < text.size() && (text[i + 1] == 'x' || text[i + 1] == 'X') &&
                              (i == 0 || !std::isalnum(static_cast<unsigned char>(text[i - 1])));
    if (startsNumber) {
      std::size_t end = i + 2;
      while (end < text.size() && isHex(text[end])) ++end;
      if (end - i - 2 >= kAddressDigits) {
        out += "0x\u2026";
        i = end;
        continue;
      }
    }
    out += text[i++];
  }
  return out;
}

// Length of the well-formed UTF-8 sequence at `at`, 0 when the byte there starts none.
std::size_t utf8SequenceLength(std::string_view s, std::size_t at) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char b = byte(at);
  std::size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // bounds of the second byte
  if (b >= 0xC2 && b <= 0xDF) length = 2;
  else if (b >= 0xE0 && b <= 0xEF) {
    length = 3;
    if (b == 0xE0) low = 0xA0;   // overlong
    if (b == 0xED) high = 0x9F;  // surrogates
  } else if (b >= 0xF0 && b <= 0xF4) {
    length = 4;
    if (b == 0xF0) low = 0x90;   // overlong
    if (b == 0xF4) high = 0x8F;  // past U+10FFFF
  } else {
    return 0;
  }
  if (at + length > s.size()) return 0;
  if (byte(at + 1) < low || byte(at + 1) > high) return 0;
  for (std::size_t k = 2; k < length; ++k)
    if (byte(at + k) < 0x80 || byte(at + k) > 0xBF) return 0;
  return length;
}

void emit(LogLevel level, std::string_view text) {
  const std::string line = cleanLogLine(text, level);
  const std::string thread = currentThreadName();
  auto& s = state();
  std::lock_guard lock(s.sinkMutex);
  if (s.sink)
    s.sink(level, line);
  else
    writeToStandardError(level, line, thread);
}

void vlogAt(LogLevel level, const char* fmt, va_list args) {
  if (!logsAt(level)) return;
  emit(level, vformat(fmt, args));
}

}  // namespace

std::string cleanLogLine(std::string_view text, LogLevel level) {
  std::string scrubbed;
  if (level >= LogLevel::Warning) {
    scrubbed = withoutAddresses(text);
    text = scrubbed;
  }
  static constexpr std::string_view kEllipsis = "\u2026";
  std::string out;
  out.reserve(std::min(text.size(), kMaxLogLineBytes) + kEllipsis.size());
  auto escape = [](unsigned char b) { return format("\\x%02X", b); };
  for (std::size_t i = 0; i < text.size();) {
    const auto b = static_cast<unsigned char>(text[i]);
    std::string piece;
    std::size_t used = 1;
    if (b == '\t') {
      piece = " ";
    } else if (b < 0x20 || b == 0x7F) {
      piece = escape(b);
    } else if (b < 0x80) {
      piece.assign(1, static_cast<char>(b));
    } else if (std::size_t n = utf8SequenceLength(text, i); n == 0) {
      piece = escape(b);
    } else if (n == 2 && b == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0) {
      piece = escape(b) + escape(static_cast<unsigned char>(text[i + 1]));  // a C1 control
      used = 2;
    } else {
      piece.assign(text.substr(i, n));
      used = n;
    }
    if (out.size() + piece.size() > kMaxLogLineBytes) {
      out += kEllipsis;
      break;
    }
    out += piece;
    i += used;
  }
  return out;
}

LogLevel logThresholdFromEnvironment() {
  const char* value = std::getenv("ORBELLINE_LOG");
  if (!value) return kDefaultThreshold;
  std::string name(value);
  for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (LogLevel level : {LogLevel::Debug, LogLevel::Info, LogLevel::Warning, LogLevel::Error})
    if (name == logLevelName(level)) return level;
  return kDefaultThreshold;
}

const char* logLevelName(LogLevel level) {
  switch (level) {
    case LogLevel::Debug: return "debug";
    case LogLevel::Info: return "info";
    case LogLevel::Warning: return "warning";
    case LogLevel::Error: return "error";
  }
  return "?";
}

LogLevel logThreshold() {
  auto& threshold = state().threshold;
  int value = threshold.load(std::memory_order_relaxed);
  if (value < 0) {
    int expected = -1;
    const int fromEnvironment = static_cast<int>(logThresholdFromEnvironment());
    value = threshold.compare_exchange_strong(expected, fromEnvironment) ? fromEnvironment : expected;
  }
  return static_cast<LogLevel>(value);
}

LogLevel setLogThreshold(LogLevel level) {
  const int previous = state().threshold.exchange(static_cast<int>(level));
  return previous < 0 ? logThresholdFromEnvironment() : static_cast<LogLevel>(previous);
}

bool logsAt(LogLevel level) { return level >= logThreshold(); }

LogSink setLogSink(LogSink sink) {
  auto& s = state();
  std::lock_guard lock(s.sinkMutex);
  std::swap(s.sink, sink);
  return sink;
}

void logTextAt(LogLevel level, std::string_view text) {
  if (logsAt(level)) emit(level, text);
}

void logText(std::string_view text) { logTextAt(LogLevel::Debug, text); }

void logAt(LogLevel level, const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  vlogAt(level, fmt, args);
  va_end(args);
}

void log(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  vlogAt(LogLevel::Debug, fmt, args);
  va_end(args);
}

void logWarning(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  vlogAt(LogLevel::Warning, fmt, args);
  va_end(args);
}

bool logWarningOnce(std::string_view subject, std::string_view kind, const char* fmt, ...) {
  if (!logsAt(LogLevel::Warning)) return false;
  bool first = false;
  {
    auto& s = state();
    std::lock_guard lock(s.onceMutex);
    auto [at, added] = s.repeats.try_emplace({std::string(subject), std::string(kind)}, 0);
    if (!added) ++at->second;
    first = added;
  }
  const LogLevel level = first ? LogLevel::Warning : LogLevel::Debug;
  if (!logsAt(level)) return false;
  va_list args;
  va_start(args, fmt);
  std::string text = vformat(fmt, args);
  va_end(args);
  emit(level, text);
  return first;
}

std::size_t suppressedWarningCount(std::string_view subject, std::string_view kind) {
  auto& s = state();
  std::lock_guard lock(s.onceMutex);
  auto at = s.repeats.find({std::string(subject), std::string(kind)});
  return at == s.repeats.end() ? 0 : at->second;
}

}  // namespace orb::platform
