#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "interchange/ZemaxParameterMapping.h"
#include "interchange/ZemaxReader.h"

namespace orb::interchange {

/// Options of the OSLO and CODE V readers. Those readers never give up on content: a line
/// they cannot take is a trouble handed to `onTrouble` (the same question the Zemax
/// reader asks); without a question, or with "Continue reading", reading goes on.
struct PrescriptionReadOptions {
  /// Names the text in messages and troubles (a path, a catalog entry).
  std::string source;
  /// An object distance that stands for infinity becomes infinite, with angle fields
  /// where the file gives none (user defaults "osloReadHandleInfiniteConjugate" and
  /// "codeFiveReadHandleInfiniteConjugate").
  bool handleInfiniteConjugate = true;
  /// Asked at each line the reader passes over because it cannot read it.
  std::function<ZemaxTroubleAnswer(const ZemaxTrouble&)> onTrouble;
  /// Every message, each starting with "<source>[<line>]"; none: the process log.
  MessageSink log;

  /// handleInfiniteConjugate from the named boolean user default.
  static PrescriptionReadOptions fromUserDefaults(const char* infiniteConjugateKey);
};

namespace prescriptionreading {

std::string trim(std::string_view s);
/// A number from a file as an integer, clamped to ±10⁹ (0 for NaN): a cast of a value out
/// of range would be undefined.
int clampedInteger(double value);
std::string upper(std::string s);
/// A run of decimal digits as a number; none for anything else or more than 18 digits.
/// The readers' words are converted through this, never through a throwing conversion.
std::optional<long long> digitsValue(std::string_view digits);

/// Splits text into lines as the line splitter does, each trimmed of nothing.
std::vector<std::string> lines(std::string_view text);

/// Reports messages and troubles for one read, and remembers a given-up read.
class ReadReporter {
 public:
  explicit ReadReporter(const PrescriptionReadOptions& options) : m_options(options) {}
  void setLine(int line, std::string text) {
    m_line = line;
    m_lineText = std::move(text);
  }
  int line() const { return m_line; }
  /// A plain message "<source>[<line>] <text>".
  void log(const std::string& message) const;
  /// A line passed over: logged and asked about; false when the user gives up.
  bool trouble(const std::string& reason);
  bool givenUp() const { return m_givenUp; }

 private:
  const PrescriptionReadOptions& m_options;
  int m_line = 0;
  std::string m_lineText;
  bool m_givenUp = false;
};

}  // namespace prescriptionreading
}  // namespace orb::interchange
