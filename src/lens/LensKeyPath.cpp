#include "lens/LensKeyPath.h"

#include <cctype>
#include <cstdlib>

namespace orb::lens::keypath {

std::string memberName(char letter, std::size_t index) { return std::string(1, letter) + std::to_string(index); }

std::optional<MemberReference> scanMemberName(std::string_view key) {
  std::size_t i = 0;
  while (i < key.size() && std::isspace(static_cast<unsigned char>(key[i]))) ++i;
  if (i == key.size()) return std::nullopt;
  const char first = static_cast<char>(std::tolower(static_cast<unsigned char>(key[i])));
  MemberReference ref;
  for (char letter : {'s', 'b', 'g', 'f', 'w'})
    if (first == letter) ref.letter = letter;
  if (!ref.letter) return std::nullopt;
  ++i;
  // An integer with optional sign, as a C scanner reads one.
  std::size_t j = i;
  bool negative = false;
  if (j < key.size() && (key[j] == '+' || key[j] == '-')) negative = key[j++] == '-';
  const std::size_t digits = j;
  std::size_t value = 0;
  while (j < key.size() && std::isdigit(static_cast<unsigned char>(key[j]))) value = value * 10 + (key[j++] - '0');
  if (j == digits) return ref;  // no number
  if (!negative || value == 0) ref.index = value;
  return ref;
}

platform::Dictionary renameMapForInsertion(char letter, std::size_t index, std::size_t countAfter) {
  platform::Dictionary map;
  for (std::size_t i = index; i + 1 < countAfter; ++i) map.set(memberName(letter, i), memberName(letter, i + 1));
  return map;
}

platform::Dictionary renameMapForRemoval(char letter, std::size_t index, std::size_t countAfter) {
  platform::Dictionary map;
  map.set(memberName(letter, index), std::string(kRemovedMember));
  for (std::size_t i = index + 1; i <= countAfter; ++i) map.set(memberName(letter, i), memberName(letter, i - 1));
  return map;
}

std::optional<std::string> rewrite(const std::string& path, const platform::Dictionary& renameMap) {
  const auto dot = path.find('.');
  const std::string member = path.substr(0, dot);
  const platform::Value* renamed = renameMap.find(member);
  if (!renamed || !renamed->isString()) return path;
  if (renamed->asString() == kRemovedMember) return std::nullopt;
  return renamed->asString() + (dot == std::string::npos ? std::string() : path.substr(dot));
}

}  // namespace orb::lens::keypath
