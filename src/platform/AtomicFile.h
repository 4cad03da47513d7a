#pragma once

#include <string>
#include <string_view>

#include "platform/Value.h"

namespace orb::platform {

/// Replaces the file at `path` with `bytes` so that a failure at any step leaves the old
/// file whole. The bytes go to a temporary file beside the target, are synced, renamed
/// over it, and the directory is synced so the rename survives a crash.
///
/// A symbolic link is written through: its target is replaced and the link stays. A file
/// already there keeps its permission bits and (as far as the system lets us) its owner
/// and group; a new file gets 0666 less the umask. A file we may not write is refused,
/// not replaced. Raises "NSInternalInconsistencyException" with a reason on failure.
void writeFileAtomically(const std::string& path, std::string_view bytes);
inline void writeFileAtomically(const std::string& path, const Data& bytes) {
  writeFileAtomically(path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

}  // namespace orb::platform
