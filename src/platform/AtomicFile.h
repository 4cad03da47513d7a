#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Value.h"

namespace orb::platform {

/// Replaces the file at `path` with `bytes` so that a failure at any step leaves the old
/// file whole. The bytes go to a temporary file beside the target (`.<name>.saving`, the
/// same name each time, so a save killed part-way leaves nothing for good), are synced,
/// renamed over it, and the directory is synced so the rename survives a crash.
///
/// A symbolic link is written through: its target is replaced and the link stays. A file
/// already there keeps its permission bits and (as far as the system lets us) its owner
/// and group; a new file gets 0666 less the umask. A file we may not write is refused,
/// not replaced. Raises "NSInternalInconsistencyException" with a reason on failure.
void writeFileAtomically(const std::string& path, std::string_view bytes);
inline void writeFileAtomically(const std::string& path, const Data& bytes) {
  writeFileAtomically(path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

/// Makes a write past the process's file-size limit (RLIMIT_FSIZE) fail with EFBIG, "File
/// too large", as a full disk does, instead of killing the process with SIGXFSZ. The
/// application calls it at startup in main(), before any thread starts.
void ignoreFileSizeLimitSignal();

/// What tells whether a file changed behind our back: its modification time and size.
struct FileStamp {
  std::int64_t seconds = 0;
  std::int64_t nanoseconds = 0;
  std::int64_t size = 0;
  bool operator==(const FileStamp&) const = default;
};

/// The stamp of the file at `path` (links followed); none when there is no such file.
std::optional<FileStamp> fileStampAt(const std::string& path);

}  // namespace orb::platform
