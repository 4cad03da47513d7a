#include "platform/Exception.h"

#include <cstdio>

#include "platform/Value.h"

namespace orb::platform {

namespace {
const Dictionary& emptyDictionary() {
  static const Dictionary empty;
  return empty;
}
}  // namespace

Exception::Exception(std::string name, std::string reason)
    : m_name(std::move(name)), m_reason(std::move(reason)), m_what(m_name + ": " + m_reason) {}

Exception::Exception(std::string name, std::string reason, const Dictionary& userInfo)
    : Exception(std::move(name), std::move(reason)) {
  m_userInfo = std::make_shared<const Dictionary>(userInfo);
}

const Dictionary& Exception::userInfo() const { return m_userInfo ? *m_userInfo : emptyDictionary(); }

void Exception::raise(const std::string& name, const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  std::string reason = vformat(fmt, args);
  va_end(args);
  throw Exception(name, std::move(reason));
}

std::string vformat(const char* fmt, va_list args) {
  va_list copy;
  va_copy(copy, args);
  int n = std::vsnprintf(nullptr, 0, fmt, copy);
  va_end(copy);
  if (n <= 0) return {};
  std::string out(static_cast<std::size_t>(n), '\0');
  std::vsnprintf(out.data(), out.size() + 1, fmt, args);
  return out;
}

std::string format(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  std::string out = vformat(fmt, args);
  va_end(args);
  return out;
}

}  // namespace orb::platform
