#include "platform/AtomicFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "platform/Exception.h"

namespace orb::platform {

namespace {

const char* const kError = "NSInternalInconsistencyException";

[[noreturn]] void refuse(const std::string& path, const std::string& why) {
  throw Exception(kError, "cannot save " + path + ": " + why);
}

std::string directoryOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

/// The file a save must replace: `path` itself, or the end of its chain of links. A link
/// whose target is missing names the file to create.
std::string resolveLinks(const std::string& path) {
  std::string current = path;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st;
    if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return current;
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink(current.c_str(), buffer, sizeof buffer);
    if (n < 0 || static_cast<std::size_t>(n) >= sizeof buffer) refuse(path, "its symbolic link cannot be read");
    std::string target(buffer, static_cast<std::size_t>(n));
    current = target.front() == '/' ? target : directoryOf(current) + "/" + target;
  }
  refuse(path, "too many levels of symbolic links");
}

/// Creates the temporary file beside `target`, with `mode` (the umask applies, as for any
/// new file). Its name is fixed per target, `.<name>.saving`, so what a save killed
/// part-way leaves is removed by the next save instead of piling up. Whatever has that
/// name is ours to remove; a link there is removed, never followed.
int createTemporary(const std::string& target, mode_t mode, std::string* name) {
  const auto slash = target.rfind('/');
  *name = slash == std::string::npos ? "." + target + ".saving"
                                     : target.substr(0, slash + 1) + "." + target.substr(slash + 1) + ".saving";
  for (int attempt = 0; attempt < 2; ++attempt) {
    const int fd = ::open(name->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd >= 0 || errno != EEXIST) return fd;
    if (::unlink(name->c_str()) != 0 && errno != ENOENT) return -1;
  }
  errno = EEXIST;
  return -1;
}

/// Earlier versions named the temporary `<name>.saving-<pid>-<n>`, so saves killed part-way
/// left such files for good. Those older than the document just saved, whose process is gone,
/// are removed; one a live process may still be writing is left alone.
void removeStaleTemporaries(const std::string& target) {
  struct stat saved;
  if (::stat(target.c_str(), &saved) != 0) return;
  const auto slash = target.rfind('/');
  const std::string directory = directoryOf(target);
  const std::string prefix = (slash == std::string::npos ? target : target.substr(slash + 1)) + ".saving-";
  DIR* dir = ::opendir(directory.c_str());
  if (!dir) return;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string_view name(entry->d_name);
    if (!name.starts_with(prefix)) continue;
    const std::string_view rest = name.substr(prefix.size());
    const auto dash = rest.find('-');
    auto digits = [](std::string_view t) {
      return !t.empty() && t.size() < 10 && t.find_first_not_of("0123456789") == std::string_view::npos;
    };
    if (dash == std::string_view::npos || !digits(rest.substr(0, dash)) || !digits(rest.substr(dash + 1))) continue;
    const std::string path = directory + "/" + std::string(name);
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    const bool older = st.st_mtim.tv_sec < saved.st_mtim.tv_sec ||
                       (st.st_mtim.tv_sec == saved.st_mtim.tv_sec && st.st_mtim.tv_nsec < saved.st_mtim.tv_nsec);
    const pid_t pid = static_cast<pid_t>(std::atol(std::string(rest.substr(0, dash)).c_str()));
    const bool gone = pid > 0 && ::kill(pid, 0) != 0 && errno == ESRCH;
    if (older && gone) ::unlink(path.c_str());
  }
  ::closedir(dir);
}

}  // namespace

void writeFileAtomically(const std::string& path, std::string_view bytes) {
  if (path.empty()) refuse(path, "no file name");
  const std::string target = resolveLinks(path);

  struct stat existing;
  const bool exists = ::stat(target.c_str(), &existing) == 0;
  if (exists) {
    if (!S_ISREG(existing.st_mode)) refuse(path, "it is not a plain file");
    // rename() needs only the directory to be writable, so it would replace a read-only file.
    // The mode bits are checked too, since access() lets the superuser write anything.
    if (::access(target.c_str(), W_OK) != 0 || (existing.st_mode & 0222) == 0) refuse(path, "the file is read-only");
  }

  std::string temp;
  const int fd = createTemporary(target, exists ? (existing.st_mode & 07777) : 0666, &temp);
  if (fd < 0) refuse(path, std::strerror(errno));
  auto fail = [&](const char* step) {
    const int err = errno;
    ::close(fd);
    ::unlink(temp.c_str());
    refuse(path, std::string(step) + ": " + std::strerror(err));
  };
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      fail("write");
    }
    done += static_cast<std::size_t>(n);
  }
  if (exists) {
    // Keep the owner and group where we may; someone else's file stays private to the
    // same mode bits even when its owner cannot be kept.
    if (::fchown(fd, existing.st_uid, existing.st_gid) != 0) (void)::fchown(fd, static_cast<uid_t>(-1), existing.st_gid);
    if (::fchmod(fd, existing.st_mode & 07777) != 0) fail("chmod");
  }
  if (::fsync(fd) != 0) fail("sync");
  if (::close(fd) != 0) {
    const int err = errno;
    ::unlink(temp.c_str());
    refuse(path, std::string("close: ") + std::strerror(err));
  }
  if (::rename(temp.c_str(), target.c_str()) != 0) {
    const int err = errno;
    ::unlink(temp.c_str());
    refuse(path, std::string("rename: ") + std::strerror(err));
  }
  // The new name is only durable once the directory is on disk too.
  const int dir = ::open(directoryOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) refuse(path, std::string("the directory cannot be synced: ") + std::strerror(errno));
  const bool synced = ::fsync(dir) == 0;
  const int err = errno;
  ::close(dir);
  if (!synced && err != EINVAL) refuse(path, std::string("the directory cannot be synced: ") + std::strerror(err));
  removeStaleTemporaries(target);
}

void ignoreFileSizeLimitSignal() {
  struct sigaction action {};
  action.sa_handler = SIG_IGN;
  ::sigemptyset(&action.sa_mask);
  ::sigaction(SIGXFSZ, &action, nullptr);
}

std::optional<FileStamp> fileStampAt(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return FileStamp{static_cast<std::int64_t>(st.st_mtim.tv_sec), static_cast<std::int64_t>(st.st_mtim.tv_nsec),
                   static_cast<std::int64_t>(st.st_size)};
}

}  // namespace orb::platform
