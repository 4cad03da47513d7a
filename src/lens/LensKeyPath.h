#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Value.h"

namespace orb::lens {

/// Lens key paths: a member name (collection letter and decimal index, "s3") followed by a
/// dot and a key path into that member ("s3.thickness"). Letters: s surfaces, w waves,
/// f fields, g glasses, b beams.
namespace keypath {

/// The member name "<letter><index>".
std::string memberName(char letter, std::size_t index);

/// The result of scanning the start of a key for a member name.
struct MemberReference {
  char letter = 0;                    ///< 's', 'b', 'g', 'f' or 'w' (lower case)
  std::optional<std::size_t> index;   ///< none: no number, or a negative one
};

/// Scans `key` the way the lens resolves an undefined key: leading white space skipped,
/// the letter matched without regard to case (tried in the order s, b, g, f, w), then an
/// optionally signed integer; what follows the integer is ignored ("s2x" is s2). None when
/// no letter matches.
std::optional<MemberReference> scanMemberName(std::string_view key);

/// The value a rename map gives the name of a member that was removed: consumers drop
/// paths into it (see rewrite).
inline constexpr std::string_view kRemovedMember = "";

/// The rename map for one member inserted at `index` into a collection of `countAfter`
/// members: every later member moves up by one ("s3" → "s4" …).
platform::Dictionary renameMapForInsertion(char letter, std::size_t index, std::size_t countAfter);
/// The rename map for the member removed from `index`, leaving `countAfter` members: every
/// later member moves down by one, and the removed member's own name maps to
/// kRemovedMember so that stored paths into it are dropped instead of silently landing on
/// its successor.
platform::Dictionary renameMapForRemoval(char letter, std::size_t index, std::size_t countAfter);

/// `path` with its leading member name rewritten through `renameMap`: unchanged when the
/// name has no entry, none when the member was removed.
std::optional<std::string> rewrite(const std::string& path, const platform::Dictionary& renameMap);

}  // namespace keypath
}  // namespace orb::lens
