#include "platform/Resources.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <vector>

namespace orb::platform::resources {

namespace fs = std::filesystem;

namespace {
std::vector<fs::path> searchPath() {
  std::vector<fs::path> dirs;
  if (const char* env = std::getenv("ORBELLINE_RESOURCES"); env && *env) dirs.emplace_back(env);
  std::error_code ec;
  fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (!ec) {
    dirs.push_back(exe.parent_path() / "resources");
    dirs.push_back(exe.parent_path() / ".." / "share" / "orbelline" / "resources");
  }
#ifdef ORB_SOURCE_RESOURCES
  dirs.emplace_back(ORB_SOURCE_RESOURCES);
#endif
  return dirs;
}
}  // namespace

std::optional<std::string> pathFor(const std::string& name, const std::string& type) {
  std::string file = type.empty() ? name : name + "." + type;
  for (const auto& dir : searchPath()) {
    std::error_code ec;
    fs::path p = dir / file;
    if (fs::is_regular_file(p, ec)) return p.string();
  }
  return std::nullopt;
}

std::string directory() {
  for (const auto& dir : searchPath()) {
    std::error_code ec;
    if (fs::is_directory(dir, ec)) return dir.string();
  }
  return {};
}

}  // namespace orb::platform::resources
