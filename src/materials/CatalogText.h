#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Small text helpers shared by the catalog readers.
namespace orb::materials::detail {

/// A number at the start of `text` (after blanks), read without regard to the locale.
/// Nothing when no number stands there.
std::optional<double> leadingNumber(std::string_view text);
/// As leadingNumber, but 0 when there is none (how the makers' tables read empty cells).
double numberValue(std::string_view text);
/// The whole field as an integer: nothing unless it is an optional sign and digits.
std::optional<long long> wholeInteger(std::string_view text);

std::string_view trimmed(std::string_view text);
std::string upperCased(std::string_view text);
bool equalsIgnoringCase(std::string_view a, std::string_view b);
/// The fields between separators (empty fields kept).
std::vector<std::string_view> splitFields(std::string_view line, char separator);
/// The words between runs of blanks (spaces, tabs, line ends).
std::vector<std::string_view> words(std::string_view line);

/// The text of a file as UTF-8: a UTF-8 byte-order mark is dropped, UTF-16 with a
/// byte-order mark (as glass makers ship some catalogs) is converted, and bytes that are
/// not UTF-8 are taken as Latin-1. Nothing, and a reason in `why`, when the file can't be read.
std::optional<std::string> readCatalogText(const std::string& path, std::string* why = nullptr);
/// The same conversion for bytes already in memory.
std::string catalogTextFromBytes(std::string_view bytes);

/// "name" of "/a/b/name.ext" and "name.ext", for the stamps the file readers put on glasses.
std::string fileStem(const std::string& path);
std::string fileName(const std::string& path);
/// Expands a leading "~" to $HOME.
std::string expandTilde(const std::string& path);

}  // namespace orb::materials::detail
