#pragma once

#include <string_view>

namespace orb::platform {

/// Diagnostics to standard error (there is no system log here): one line per call,
/// prefixed with the program and thread name. printf-style; a trailing newline is added.
void log(const char* format, ...) __attribute__((format(printf, 1, 2)));
void logText(std::string_view text);

}  // namespace orb::platform
