#include "interchange/OsloLensCatalog.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "foundation/platform/Scanner.h"
#include "foundation/platform/StringExtensions.h"
#include "interchange/OsloReader.h"
#include "platform/Log.h"

namespace orb::interchange {

namespace {

std::optional<std::string> fileContents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

bool isBlank(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

// A leading decimal count; 0 when there is none.
long long leadingCount(const std::string& text, std::size_t& at) {
  while (at < text.size() && isBlank(text[at])) ++at;
  long long n = 0;
  bool any = false;
  // Saturates: the reading is bounded by the file anyway.
  while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at]))) {
    n = std::min(n * 10 + (text[at++] - '0'), 1LL << 40);
    any = true;
  }
  return any ? n : 0;
}

}  // namespace

OsloLensCatalogEntry OsloLensCatalogEntry::entryWithLine(std::string_view line) {
  OsloLensCatalogEntry e;
  std::vector<std::string> fields;
  std::size_t start = 0;
  while (start <= line.size() && fields.size() < 7) {
    std::size_t comma = line.find(',', start);
    if (comma == std::string_view::npos || fields.size() == 6) comma = line.size();
    fields.emplace_back(line.substr(start, comma - start));
    start = comma + 1;
  }
  auto integer = [](const std::string& s, long long* out) {
    foundation::Scanner sc(s);
    return sc.scanLongLong(out);
  };
  auto real = [](const std::string& s, double* out) {
    foundation::Scanner sc(s);
    return sc.scanDouble(out);
  };
  long long v = 0;
  // As formatted input does: the first field that does not read ends the line.
  if (fields.size() < 1 || !integer(fields[0], &v)) return e;
  e.datOffset = v;
  if (fields.size() < 2 || !integer(fields[1], &v)) return e;
  e.datBytes = v;
  if (fields.size() < 3 || !integer(fields[2], &v)) return e;
  e.num = static_cast<int>(v);
  if (fields.size() < 4 || fields[3].empty()) return e;
  e.shortName = fields[3];
  if (fields.size() < 5 || !real(fields[4], &e.effectiveFocalLength)) return e;
  if (fields.size() < 6 || !real(fields[5], &e.diameter)) return e;
  if (fields.size() < 7) return e;
  real(fields[6], &e.centerThickness);
  return e;
}

std::string OsloLensCatalogEntry::description() const {
  return platform::format("offset = %lld, bytes = %lld", static_cast<long long>(datOffset),
                          static_cast<long long>(datBytes));
}

bool OsloLensCatalog::readFromFile(const std::string& path) {
  const auto list = fileContents(path);
  if (!list) return false;
  m_prefix = std::filesystem::path(path).replace_extension().string();
  m_names.clear();
  m_entries.clear();

  if (const auto nam = fileContents(m_prefix + ".nam")) {
    const std::string& text = *nam;
    std::size_t at = 0;
    const long long count = leadingCount(text, at);
    platform::log("nam file, %lld entries", count);
    for (long long i = 0; i < count && at < text.size(); ++i) {
      while (at < text.size() && isBlank(text[at])) ++at;
      const std::size_t comma = text.find(',', at);
      if (comma == std::string::npos || comma == at) break;
      const std::size_t open = text.find('"', comma);
      if (open == std::string::npos) break;
      const std::size_t close = text.find('"', open + 1);
      if (close == std::string::npos || close == open + 1) break;
      const std::string key = text.substr(at, comma - at);
      const std::string description = text.substr(open + 1, close - open - 1);
      platform::log("<%s> -> <%s>", key.c_str(), description.c_str());
      m_names[key] = description;
      at = close + 1;
    }
  }

  platform::log("----- read lens catalog <%s>", path.c_str());
  const std::string& text = *list;
  std::size_t at = 0;
  const long long count = leadingCount(text, at);
  for (long long i = 0; i < count; ++i) {
    while (at < text.size() && isBlank(text[at])) ++at;
    const std::size_t start = at;
    while (at < text.size() && text[at] != '\n' && text[at] != '\r') ++at;
    if (at == start) break;  // an empty line or the end of the file
    m_entries.push_back(OsloLensCatalogEntry::entryWithLine(std::string_view(text).substr(start, at - start)));
  }
  return true;
}

std::string OsloLensCatalog::elaborateOn(const std::string& shortName) const {
  std::size_t n = 0;
  while (n < shortName.size() && !(shortName[n] >= '0' && shortName[n] <= '9')) ++n;
  const auto found = m_names.find(shortName.substr(0, n));
  return found == m_names.end() ? std::string() : found->second;
}

std::string OsloLensCatalog::lensSpecificationForCatalogEntry(const OsloLensCatalogEntry& entry) const {
  const auto dat = fileContents(m_prefix + ".dat");
  if (!dat) return {};
  const auto size = static_cast<std::int64_t>(dat->size());
  if (entry.datOffset < 0 || entry.datBytes < 0 || entry.datOffset > size || entry.datBytes > size - entry.datOffset)
    return {};
  std::string text = dat->substr(static_cast<std::size_t>(entry.datOffset), static_cast<std::size_t>(entry.datBytes));
  for (char& c : text) {
    c = static_cast<char>(c & 0x7f);
    if (c == ';') c = '\n';
  }
  const auto b = text.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return {};
  return text.substr(b, text.find_last_not_of(" \t\r\n") - b + 1);
}

std::optional<platform::Dictionary> OsloLensCatalog::lensDictionaryForCatalogEntry(
    const OsloLensCatalogEntry& entry, const PrescriptionReadOptions& options) const {
  const std::string text = lensSpecificationForCatalogEntry(entry);
  if (text.empty()) return std::nullopt;
  return readOsloString(text, options);
}

}  // namespace orb::interchange
