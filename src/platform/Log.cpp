#include "platform/Log.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string>

#include "platform/Exception.h"
#include "platform/Thread.h"

namespace orb::platform {

void logText(std::string_view text) {
  static std::mutex mutex;  // whole lines, even from several threads
  std::string thread = currentThreadName();
  std::lock_guard lock(mutex);
  std::fprintf(stderr, "Orbelline[%s] %.*s\n", thread.empty() ? "?" : thread.c_str(), static_cast<int>(text.size()),
               text.data());
  std::fflush(stderr);
}

void log(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  std::string text = vformat(fmt, args);
  va_end(args);
  logText(text);
}

}  // namespace orb::platform
