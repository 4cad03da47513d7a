#include "materials/CatalogText.h"

#include <cctype>
#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "foundation/platform/Utf8.h"

namespace orb::materials::detail {

namespace {
bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }
}  // namespace

std::optional<double> leadingNumber(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && isBlank(text[i])) ++i;
  if (i < text.size() && text[i] == '+') ++i;  // from_chars takes no plus sign
  double value = 0;
  auto result = std::from_chars(text.data() + i, text.data() + text.size(), value, std::chars_format::general);
  if (result.ec == std::errc::result_out_of_range) {
    // Out of range: fall back on strtod's ±∞ or signed zero, still locale-free for digits.
    return std::strtod(std::string(text.substr(i)).c_str(), nullptr);
  }
  if (result.ec != std::errc()) return std::nullopt;
  return value;
}

double numberValue(std::string_view text) { return leadingNumber(text).value_or(0.0); }

std::optional<long long> wholeInteger(std::string_view text) {
  text = trimmed(text);
  if (!text.empty() && text[0] == '+') text.remove_prefix(1);
  long long value = 0;
  auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  if (result.ec != std::errc() || result.ptr != text.data() + text.size() || text.empty()) return std::nullopt;
  return value;
}

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
  return text;
}

std::string upperCased(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

std::vector<std::string_view> splitFields(std::string_view line, char separator) {
  std::vector<std::string_view> fields;
  std::size_t start = 0;
  while (true) {
    std::size_t end = line.find(separator, start);
    if (end == std::string_view::npos) {
      fields.push_back(line.substr(start));
      return fields;
    }
    fields.push_back(line.substr(start, end - start));
    start = end + 1;
  }
}

std::vector<std::string_view> words(std::string_view line) {
  std::vector<std::string_view> out;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && isBlank(line[i])) ++i;
    std::size_t start = i;
    while (i < line.size() && !isBlank(line[i])) ++i;
    if (i > start) out.push_back(line.substr(start, i - start));
  }
  return out;
}

namespace {

bool isValidUtf8(std::string_view bytes) {
  std::size_t i = 0;
  while (i < bytes.size()) {
    auto c = static_cast<unsigned char>(bytes[i]);
    if (c < 0x80) {
      ++i;
      continue;
    }
    auto d = foundation::decodeUtf8(bytes, i);
    if (d.codePoint == 0xFFFD && d.length == 1) return false;
    i += d.length;
  }
  return true;
}

std::string fromUtf16(std::string_view bytes, bool littleEndian) {
  std::string out;
  out.reserve(bytes.size() / 2);
  auto unit = [&](std::size_t i) -> char32_t {
    auto a = static_cast<unsigned char>(bytes[i]), b = static_cast<unsigned char>(bytes[i + 1]);
    return littleEndian ? (a | (b << 8)) : ((a << 8) | b);
  };
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    char32_t u = unit(i);
    if (u >= 0xD800 && u < 0xDC00 && i + 3 < bytes.size()) {
      char32_t low = unit(i + 2);
      if (low >= 0xDC00 && low < 0xE000) {
        u = 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00);
        i += 2;
      }
    }
    foundation::appendUtf8(out, u);
  }
  return out;
}

}  // namespace

std::string catalogTextFromBytes(std::string_view bytes) {
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xFE)
    return fromUtf16(bytes.substr(2), true);
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFE && static_cast<unsigned char>(bytes[1]) == 0xFF)
    return fromUtf16(bytes.substr(2), false);
  if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
  if (isValidUtf8(bytes)) return std::string(bytes);
  std::string out;
  out.reserve(bytes.size() + 16);
  for (char c : bytes) foundation::appendUtf8(out, static_cast<unsigned char>(c));
  return out;
}

std::optional<std::string> readCatalogText(const std::string& path, std::string* why) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    if (why) *why = "cannot open the file";
    return std::nullopt;
  }
  std::ostringstream buffer;
  buffer << in.rdbuf();
  if (in.bad()) {
    if (why) *why = "cannot read the file";
    return std::nullopt;
  }
  return catalogTextFromBytes(buffer.str());
}

std::string fileName(const std::string& path) { return std::filesystem::path(path).filename().string(); }
std::string fileStem(const std::string& path) { return std::filesystem::path(path).stem().string(); }

std::string expandTilde(const std::string& path) {
  if (path.empty() || path[0] != '~') return path;
  if (path.size() > 1 && path[1] != '/') return path;  // ~user is not ours to guess
  const char* home = std::getenv("HOME");
  return (home ? std::string(home) : std::string()) + path.substr(1);
}

}  // namespace orb::materials::detail
