#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orb::foundation {

/// The words of a camel-case identifier or keyword selector as a sentence: the first
/// letter upper-cased, each later capital starting a new lower-case word, colons dropped.
/// "setValue:forKey:" gives "Set value for key", "camelToEnglish" "Camel to english".
std::string camelToEnglish(std::string_view identifier);

/// The lines of the text without their terminators (LF, CR, CR LF, U+0085, U+2028,
/// U+2029). Empty for empty text; a final terminator does not start an empty last line.
std::vector<std::string> lines(std::string_view text);

// Numeric values of text: leading blanks and line ends skipped, an optional sign, then
// decimal digits; whatever follows is ignored and text without a number gives 0.

/// Clamped to the int range.
int intValue(std::string_view text);
/// Clamped to the 64-bit range.
long long longLongValue(std::string_view text);
/// A negative number wraps as its 32-bit two's complement ("-1" gives 4294967295); a
/// positive one is read in full and clamped to the unsigned 32-bit range.
std::uint32_t unsignedIntValue(std::string_view text);
/// As unsignedIntValue, in 64 bits.
std::uint64_t unsignedLongLongValue(std::string_view text);

}  // namespace orb::foundation
