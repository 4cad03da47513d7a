#pragma once

#include <cstdarg>
#include <exception>
#include <memory>
#include <string>

namespace orb::platform {

class Dictionary;

/// The one exception class of the system. `name` is the system's own word for the kind of
/// failure ("NSInternalInconsistencyException", "OBException", "UsageError", ...); `reason`
/// is the human-readable text. There are deliberately no subclasses: callers catch
/// `Exception` and branch on the name.
class Exception : public std::exception {
 public:
  Exception(std::string name, std::string reason);
  Exception(std::string name, std::string reason, const Dictionary& userInfo);

  const std::string& name() const { return m_name; }
  const std::string& reason() const { return m_reason; }
  /// Extra facts about the failure; empty when none were given.
  const Dictionary& userInfo() const;

  /// "name: reason", so uncaught exceptions and test failures say what went wrong.
  const char* what() const noexcept override { return m_what.c_str(); }

  /// Throws an Exception whose reason is formatted printf-style.
  [[noreturn]] static void raise(const std::string& name, const char* format, ...)
      __attribute__((format(printf, 2, 3)));

 private:
  std::string m_name;
  std::string m_reason;
  std::string m_what;
  std::shared_ptr<const Dictionary> m_userInfo;
};

/// printf-style formatting into a std::string (std::format is not in this compiler).
std::string format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string vformat(const char* format, va_list args);

}  // namespace orb::platform
