// The gradient dispersion library readers of GlassCatalog.
#include <algorithm>
#include <cctype>
#include <filesystem>

#include "foundation/platform/Scanner.h"
#include "materials/CatalogText.h"
#include "materials/GlassCatalog.h"
#include "materials/GrinDispersion.h"
#include "platform/Log.h"

namespace orb::materials {

std::shared_ptr<GlassCatalog> GlassCatalog::glassCatalogWithZemaxGradientDispersionString(std::string_view text,
                                                                                          const std::string& source) {
  auto catalog = glassCatalog();
  foundation::Scanner scanner{std::string(text)};
  const std::string& all = scanner.string();
  // Line numbers for the messages, counted as the scanner moves on.
  std::size_t countedTo = 0, line = 1;
  auto lineAt = [&](std::size_t location) {
    line += static_cast<std::size_t>(std::count(all.begin() + countedTo, all.begin() + location, '\n'));
    countedTo = location;
    return line;
  };
  while (!scanner.isAtEnd()) {
    // Where the entry's name starts, past the blanks the scanner would skip.
    std::size_t start = scanner.scanLocation();
    while (start < all.size() && std::isspace(static_cast<unsigned char>(all[start]))) ++start;
    if (start >= all.size()) break;
    std::string why;
    bool hadName = false;
    auto g = GrinDispersion::withScanner(scanner, &why, &hadName);
    if (g) {
      catalog->addObject(g);
      continue;
    }
    const std::size_t at = lineAt(start);
    if (!hadName) {
      platform::logWarningOnce(source, "gradient dispersion passed over",
                               "%s:%zu: no gradient dispersion name; the rest of the file is not read. Check the "
                               "file at that line",
                               source.c_str(), at);
      break;
    }
    std::size_t end = start;
    while (end < all.size() && std::isalnum(static_cast<unsigned char>(all[end]))) ++end;
    platform::logWarningOnce(source, "gradient dispersion passed over",
                             "%s:%zu: gradient dispersion %s passed over: %s. Check the file at that line",
                             source.c_str(), at, all.substr(start, end - start).c_str(), why.c_str());
  }
  return catalog;
}

std::shared_ptr<GlassCatalog> GlassCatalog::glassCatalogWithContentsOfZemaxGradientDispersionFile(
    const std::string& path, std::string* why) {
  std::string reason;
  auto text = detail::readCatalogText(path, &reason);
  if (!text) {
    platform::logWarningOnce(path, "unreadable glass catalog",
                             "cannot read gradient dispersion library %s: %s; its dispersions are not available. "
                             "Check that the file exists and can be read",
                             path.c_str(), reason.c_str());
    if (why) *why = reason;
    return nullptr;
  }
  auto catalog = glassCatalogWithZemaxGradientDispersionString(*text, path);
  const std::string version = detail::upperCased(detail::fileName(path));
  for (const auto& g : catalog->glassArray()) g->setVersion(version);
  return catalog;
}

std::shared_ptr<GlassCatalog> GlassCatalog::zemaxGradientDispersionLibraryWithPath(const std::string& directory) {
  namespace fs = std::filesystem;
  auto library = glassCatalog();
  if (directory.empty()) return library;
  std::vector<std::string> files;
  std::error_code ec;
  for (fs::directory_iterator it(detail::expandTilde(directory), ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code ec2;
    // The name is matched exactly: a file called sgrin.dat is not the library.
    if (it->is_regular_file(ec2) && it->path().filename() == "SGRIN.DAT") files.push_back(it->path().string());
  }
  std::sort(files.begin(), files.end());
  for (const auto& file : files)
    if (auto catalog = glassCatalogWithContentsOfZemaxGradientDispersionFile(file)) library->addGlassesFromCatalog(*catalog);
  return library;
}

}  // namespace orb::materials
