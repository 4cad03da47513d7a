#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace orb::platform {

/// Diagnostics to standard error (there is no system log here): one line per call,
/// prefixed with the program and thread name; printf-style forms add the newline.
/// Standard error is for what a user can act on, so by default only warnings and errors
/// reach it; developers see the rest with ORBELLINE_LOG=debug.
enum class LogLevel { Debug, Info, Warning, Error };

/// Developer diagnostics (debug level): most of the program's log lines.
void log(const char* format, ...) __attribute__((format(printf, 1, 2)));
void logText(std::string_view text);

void logAt(LogLevel level, const char* format, ...) __attribute__((format(printf, 2, 3)));
void logTextAt(LogLevel level, std::string_view text);
void logWarning(const char* format, ...) __attribute__((format(printf, 1, 2)));

/// A warning a user can act on, given the first time its (subject, kind) pair comes up in
/// the process; repeats are counted and go out at debug level only, so a file with a
/// hundred bad lines warns once. The subject is usually the file's path; the text should
/// name it and say what to do. Returns whether it went out as a warning.
bool logWarningOnce(std::string_view subject, std::string_view kind, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
/// Repeats of the pair held back so far.
std::size_t suppressedWarningCount(std::string_view subject, std::string_view kind);

/// Lines below the threshold are dropped before they are formatted. It starts as
/// ORBELLINE_LOG says (read at first use), else warning.
LogLevel logThreshold();
/// Returns the previous threshold, for a test to put back.
LogLevel setLogThreshold(LogLevel level);
bool logsAt(LogLevel level);
/// The threshold ORBELLINE_LOG names now ("debug", "info", "warning", "error", in any
/// case); warning when it is unset or names no level.
LogLevel logThresholdFromEnvironment();
const char* logLevelName(LogLevel level);

/// Receives each line that passes the threshold, already cleaned, without the prefix;
/// called under the log's lock, so it must not log. The default writes standard error.
using LogSink = std::function<void(LogLevel, std::string_view)>;
/// Installs `sink` (none: the default) and returns the one it replaces, for a test to put back.
LogSink setLogSink(LogSink sink);

/// The line as printed: control bytes, bytes that are not UTF-8 and C1 controls as \xNN;
/// from warning level up, hexadecimal numbers long enough to be addresses as 0x…; cut
/// with "…" past kMaxLogLineBytes.
std::string cleanLogLine(std::string_view text, LogLevel level = LogLevel::Debug);
constexpr std::size_t kMaxLogLineBytes = 400;

}  // namespace orb::platform
