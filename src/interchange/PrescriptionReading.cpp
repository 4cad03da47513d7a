#include "interchange/PrescriptionReading.h"

#include <algorithm>
#include <cmath>

#include "foundation/platform/StringExtensions.h"
#include "platform/Exception.h"
#include "platform/UserDefaults.h"

namespace orb::interchange {

PrescriptionReadOptions PrescriptionReadOptions::fromUserDefaults(const char* infiniteConjugateKey) {
  PrescriptionReadOptions o;
  o.handleInfiniteConjugate = platform::UserDefaults::standard().boolForKey(infiniteConjugateKey);
  return o;
}

namespace prescriptionreading {

std::string trim(std::string_view s) {
  const char* blanks = " \t\r\n\f\v";
  auto b = s.find_first_not_of(blanks);
  if (b == std::string_view::npos) return {};
  auto e = s.find_last_not_of(blanks);
  return std::string(s.substr(b, e - b + 1));
}

int clampedInteger(double value) {
  if (std::isnan(value)) return 0;
  return static_cast<int>(std::clamp(value, -1e9, 1e9));
}

std::string upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

std::optional<long long> digitsValue(std::string_view digits) {
  if (digits.empty() || digits.size() > 18) return std::nullopt;
  long long value = 0;
  for (const char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value;
}

std::vector<std::string> lines(std::string_view text) { return foundation::lines(text); }

void ReadReporter::log(const std::string& message) const {
  emitMessage(m_options.log, platform::format("%s[%d] %s", m_options.source.c_str(), m_line, message.c_str()));
}

bool ReadReporter::trouble(const std::string& reason) {
  log(reason + " <" + m_lineText + ">");
  warnUnlessCollected(m_options.log, m_options.source, "line passed over",
                      platform::format("%s[%d] a line could not be read and was passed over, so the lens may differ "
                                       "from the file; later such lines are not reported. Check that line of the file",
                                       m_options.source.c_str(), m_line));
  if (m_givenUp) return false;
  if (!m_options.onTrouble) return true;
  ZemaxTrouble t{m_options.source, m_line, m_lineText, "Unread line", reason};
  if (m_options.onTrouble(t) == ZemaxTroubleAnswer::GiveUp) m_givenUp = true;
  return !m_givenUp;
}

}  // namespace prescriptionreading
}  // namespace orb::interchange
