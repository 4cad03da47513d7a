#include "materials/SystemGlassCatalog.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "foundation/platform/PasswordKeyedData.h"
#include "materials/CatalogText.h"
#include "materials/ArchiveClasses.h"
#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"
#include "platform/Log.h"
#include "platform/Resources.h"
#include "platform/UserDefaults.h"

namespace orb::materials::systemcatalog {

// Five lower-case letters and two digits: keeps the shipped file from casual reading, not
// a secret (see PasswordKeyedData.h).
std::string_view password() { return "prism42"; }

platform::Data archiveData(const GlassCatalog& catalog) {
  registerArchiveClasses();
  auto self = std::const_pointer_cast<GlassCatalog>(
      std::static_pointer_cast<const GlassCatalog>(catalog.shared_from_this()));
  platform::Data archive = platform::KeyedArchiver::archivedDataWithRootObject(platform::Value(self));
  return foundation::orbellineDataEncryptedWithPassword(archive, password());
}

std::shared_ptr<GlassCatalog> catalogFromArchiveData(const platform::Data& data, std::string* why) {
  registerArchiveClasses();
  auto plain = foundation::orbellineDataDecryptedWithPassword(data, password());
  if (!plain) {
    if (why) *why = "the glass catalog cannot be deciphered";
    return nullptr;
  }
  try {
    auto catalog = platform::KeyedUnarchiver::unarchiveObjectWithData(*plain).objectIf<GlassCatalog>();
    if (!catalog && why) *why = "the archive holds no glass catalog";
    return catalog;
  } catch (const platform::Exception& e) {
    if (why) *why = e.reason();
    return nullptr;
  }
}

std::shared_ptr<GlassCatalog> catalogFromZemaxFiles(const std::vector<std::string>& paths) {
  auto catalog = GlassCatalog::glassCatalog();
  std::string comments;
  for (const auto& path : paths)
    if (auto one = GlassCatalog::glassCatalogWithContentsOfZemaxFile(path)) {
      catalog->addGlassesFromCatalog(*one);
      if (!one->catalogComment().empty()) comments += (comments.empty() ? "" : "\n") + one->catalogComment();
    }
  catalog->setCatalogComment(comments);
  return catalog;
}

const std::vector<std::string>& libraryOrder() {
  static const std::vector<std::string> order{"SCHOTT", "OHARA", "HOYA", "CDGM", "SUMITA", "HIKARI", "MISC", "INFRARED"};
  return order;
}

std::vector<std::string> inLibraryOrder(std::vector<std::string> paths) {
  const auto& order = libraryOrder();
  auto rank = [&order](const std::string& path) {
    const std::string stem = detail::upperCased(detail::fileStem(path));
    return static_cast<std::size_t>(std::find(order.begin(), order.end(), stem) - order.begin());
  };
  std::stable_sort(paths.begin(), paths.end(), [&rank](const std::string& a, const std::string& b) {
    const std::size_t ra = rank(a), rb = rank(b);
    return ra != rb ? ra < rb : a < b;
  });
  return paths;
}

namespace {

std::optional<platform::Data> readBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  return platform::Data(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> agfFilesIn(const std::string& directory) {
  namespace fs = std::filesystem;
  std::vector<std::string> files;
  std::error_code ec;
  for (fs::directory_iterator it(directory, ec), end; !ec && it != end; it.increment(ec)) {
    auto ext = it->path().extension().string();
    if (ext == ".agf" || ext == ".AGF") files.push_back(it->path().string());
  }
  return inLibraryOrder(std::move(files));
}

}  // namespace

std::shared_ptr<GlassCatalog> load(bool includeLibraries, std::string* why) {
  std::shared_ptr<GlassCatalog> catalog;
  std::string reason;
  if (auto path = platform::resources::pathFor("GlassCatalog", "data")) {
    if (auto bytes = readBytes(*path))
      catalog = catalogFromArchiveData(*bytes, &reason);
    else
      reason = "cannot read " + *path;
    if (!catalog)
      platform::logWarningOnce(*path, "unreadable system glass catalog",
                               "system glass catalog %s could not be read (%s); reading the maker files instead. "
                               "Reinstalling Orbelline restores it",
                               path->c_str(), reason.c_str());
  }
  if (!catalog) {
    const std::string dir = platform::resources::directory();
    auto files = dir.empty() ? std::vector<std::string>() : agfFilesIn(dir + "/glass");
    if (!files.empty()) {
      catalog = catalogFromZemaxFiles(files);
    } else {
      reason = "no resource GlassCatalog.data and no AGF files in the resources";
      platform::logWarningOnce("system glass catalog", "missing system glass catalog",
                               "no system glass catalog: %s. Glass names in lens files stay unknown until a "
                               "catalog is loaded; reinstalling Orbelline or setting ORBELLINE_RESOURCES to its "
                               "resources directory restores it",
                               reason.c_str());
      catalog = GlassCatalog::glassCatalog();
    }
  }
  if (why) *why = reason;
  if (includeLibraries) {
    auto& defaults = platform::UserDefaults::standard();
    if (defaults.boolForKey("includeZemaxGlassLibrary")) {
      catalog->addGlassesFromCatalog(*GlassCatalog::defaultZemaxGlassLibrary());
      catalog->addGlassesFromCatalog(*GlassCatalog::defaultZemaxGradientDispersionLibrary());
    }
    if (defaults.boolForKey("includeOsloGlassLibrary"))
      catalog->addGlassesFromCatalog(*GlassCatalog::defaultOsloGlassLibrary());
  }
  return catalog;
}

}  // namespace orb::materials::systemcatalog
