#include "materials/GlassCatalog.h"

#include <algorithm>
#include <filesystem>
#include <mutex>

#include "foundation/platform/StringExtensions.h"
#include "materials/CatalogText.h"
#include "materials/OsloGlass.h"
#include "materials/ZemaxGlassParser.h"
#include "platform/Coder.h"
#include "platform/Log.h"
#include "platform/UserDefaults.h"

namespace orb::materials {

using platform::Value;

std::shared_ptr<GlassCatalog> GlassCatalog::glassCatalog() { return platform::makeObject<GlassCatalog>(); }

void GlassCatalog::setCatalogComment(std::string comment) {
  setAndAnnounce("catalogComment", m_catalogComment, std::move(comment));
}

void GlassCatalog::checkIndex(std::size_t index, std::size_t limit) const {
  if (index >= limit)
    platform::Exception::raise("NSRangeException", "index %zu beyond bounds [0 .. %zu) of glass catalog", index, limit);
}

const std::shared_ptr<Glass>& GlassCatalog::objectAtIndex(std::size_t index) const {
  checkIndex(index, m_glasses.size());
  return m_glasses[index];
}

void GlassCatalog::addObject(std::shared_ptr<Glass> glass) {
  changeValueForKey("glassArray", [&] { m_glasses.push_back(std::move(glass)); });
}

void GlassCatalog::insertObject(std::shared_ptr<Glass> glass, std::size_t index) {
  checkIndex(index, m_glasses.size() + 1);
  changeValueForKey("glassArray", [&] { m_glasses.insert(m_glasses.begin() + static_cast<std::ptrdiff_t>(index), std::move(glass)); });
}

void GlassCatalog::removeObjectAtIndex(std::size_t index) {
  checkIndex(index, m_glasses.size());
  changeValueForKey("glassArray", [&] { m_glasses.erase(m_glasses.begin() + static_cast<std::ptrdiff_t>(index)); });
}

void GlassCatalog::removeLastObject() {
  if (m_glasses.empty()) platform::Exception::raise("NSRangeException", "removeLastObject on an empty glass catalog");
  changeValueForKey("glassArray", [&] { m_glasses.pop_back(); });
}

void GlassCatalog::replaceObjectAtIndex(std::size_t index, std::shared_ptr<Glass> glass) {
  checkIndex(index, m_glasses.size());
  changeValueForKey("glassArray", [&] { m_glasses[index] = std::move(glass); });
}

void GlassCatalog::addGlassesFromCatalog(const GlassCatalog& other) {
  changeValueForKey("glassArray", [&] { m_glasses.insert(m_glasses.end(), other.m_glasses.begin(), other.m_glasses.end()); });
}

// Names are compared ignoring case on both sides: catalogs hold names such as "CaF2" and
// "ZnSe", which a lookup that upper-cased only the query could never find.
std::shared_ptr<Glass> GlassCatalog::lookupGlassWithName(std::string_view name) const {
  for (const auto& g : m_glasses)
    if (g && detail::equalsIgnoringCase(g->name(), name)) return g;
  return nullptr;
}

void GlassCatalog::stamp(const std::optional<std::string>& catalogName, const std::optional<std::string>& catalogType,
                         const std::optional<std::string>& version) {
  for (const auto& g : m_glasses) {
    auto z = std::dynamic_pointer_cast<ZemaxGlass>(g);
    if (!z) continue;
    if (catalogName) z->setCatalogName(catalogName);
    if (catalogType) z->setCatalogType(catalogType);
    if (version) z->setVersion(version);
  }
}

void GlassCatalog::setValueForUndefinedKey(std::string_view key, const Value& value) {
  for (const auto& g : m_glasses)
    if (g) g->setValueForKey(key, value);
}

void GlassCatalog::encodeWithCoder(platform::Coder& coder) const {
  if (!coder.allowsKeyedCoding())
    platform::Exception::raise("NSInvalidArchiveOperationException", "Only supports NSKeyedArchiver coders");
  platform::Array glasses;
  glasses.reserve(m_glasses.size());
  for (const auto& g : m_glasses) glasses.push_back(Value(g));
  coder.encodeObject("glassArray", glasses);
  coder.encodeObject("catalogComment", m_catalogComment);
}

void GlassCatalog::initWithCoder(const platform::Coder& coder) {
  if (!coder.allowsKeyedCoding())
    platform::Exception::raise("NSInvalidArchiveOperationException", "Only supports NSKeyedArchiver coders");
  m_glasses = coder.decodeArrayOfClass<Glass>("glassArray");
  m_catalogComment = coder.decodeString("catalogComment");
}

const platform::KeyTable& GlassCatalog::classKeys() {
  platform::KeyEntry glassArray;
  glassArray.key = "glassArray";
  glassArray.get = [](const platform::Object& o) {
    platform::Array a;
    for (const auto& g : static_cast<const GlassCatalog&>(o).glassArray()) a.push_back(Value(g));
    return Value(a);
  };
  static const platform::KeyTable table(
      &foundation::VKObject::classKeys(),
      {glassArray,
       platform::Keys<GlassCatalog>::property("catalogComment", &GlassCatalog::catalogComment,
                                              &GlassCatalog::setCatalogComment),
       platform::Keys<GlassCatalog>::getter("count", &GlassCatalog::count).dependsOn({"glassArray"})});
  return table;
}

// --- Libraries ----------------------------------------------------------------------------

namespace {

/// Files of the directory whose extension is exactly `extension`, in name order.
std::vector<std::string> filesOfType(const std::string& directory, const std::string& extension) {
  namespace fs = std::filesystem;
  std::vector<std::string> files;
  std::error_code ec;
  for (fs::directory_iterator it(directory, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code ec2;
    if (!it->is_regular_file(ec2)) continue;
    if (it->path().extension() == "." + extension) files.push_back(it->path().string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

using FileReader = std::shared_ptr<GlassCatalog> (*)(const std::string&, std::string*);

std::shared_ptr<GlassCatalog> libraryWithPath(const std::string& directory, const char* lower, const char* upper,
                                              FileReader reader) {
  auto library = GlassCatalog::glassCatalog();
  if (directory.empty()) return library;
  const std::string dir = detail::expandTilde(directory);
  for (const char* type : {lower, upper})
    for (const auto& file : filesOfType(dir, type))
      if (auto catalog = reader(file, nullptr)) library->addGlassesFromCatalog(*catalog);
  return library;
}

}  // namespace

std::shared_ptr<GlassCatalog> GlassCatalog::zemaxGlassLibraryWithPath(const std::string& directory) {
  return libraryWithPath(directory, "agf", "AGF", &glassCatalogWithContentsOfZemaxFile);
}

std::shared_ptr<GlassCatalog> GlassCatalog::osloGlassLibraryWithPath(const std::string& directory) {
  return libraryWithPath(directory, "glc", "GLC", &glassCatalogWithContentsOfOsloFile);
}

namespace {

/// A library read from the directory a user default names, kept until forgotten. The
/// request that finds it empty reads it under the lock (the system catalog's loader thread
/// may be that request), so concurrent readers wait for the one library rather than read
/// the directory twice; a library handed out stays whole after it is forgotten.
class DefaultLibrary {
 public:
  using Reader = std::shared_ptr<GlassCatalog> (*)(const std::string& directory);
  DefaultLibrary(const char* pathKey, Reader reader) : m_pathKey(pathKey), m_reader(reader) {}

  std::shared_ptr<GlassCatalog> get() {
    std::lock_guard lock(m_mutex);
    if (!m_library) m_library = m_reader(platform::UserDefaults::standard().stringForKey(m_pathKey));
    return m_library;
  }
  void forget() {
    std::lock_guard lock(m_mutex);
    m_library.reset();
  }

 private:
  const char* m_pathKey;
  Reader m_reader;
  std::mutex m_mutex;
  std::shared_ptr<GlassCatalog> m_library;
};

// Never destroyed: the system catalog's loader thread may still read them at exit.
DefaultLibrary& zemaxLibrary() {
  static auto* library = new DefaultLibrary("zemaxGlassLibraryPath", &GlassCatalog::zemaxGlassLibraryWithPath);
  return *library;
}
DefaultLibrary& osloLibrary() {
  static auto* library = new DefaultLibrary("osloGlassLibraryPath", &GlassCatalog::osloGlassLibraryWithPath);
  return *library;
}
DefaultLibrary& zemaxGradientDispersionLibrary() {
  static auto* library =
      new DefaultLibrary("zemaxGlassLibraryPath", &GlassCatalog::zemaxGradientDispersionLibraryWithPath);
  return *library;
}

}  // namespace

std::shared_ptr<GlassCatalog> GlassCatalog::defaultZemaxGlassLibrary() { return zemaxLibrary().get(); }

std::shared_ptr<GlassCatalog> GlassCatalog::defaultOsloGlassLibrary() { return osloLibrary().get(); }

std::shared_ptr<GlassCatalog> GlassCatalog::defaultZemaxGradientDispersionLibrary() {
  return zemaxGradientDispersionLibrary().get();
}

void GlassCatalog::resetDefaultLibraries() {
  for (DefaultLibrary* library : {&zemaxLibrary(), &osloLibrary(), &zemaxGradientDispersionLibrary()})
    library->forget();
}

// --- AGF ----------------------------------------------------------------------------------

namespace {

std::optional<std::string> readOrSay(const std::string& path, std::string* why, const char* kind) {
  std::string reason;
  auto text = detail::readCatalogText(path, &reason);
  if (!text) {
    platform::logWarningOnce(path, "unreadable glass catalog",
                             "cannot read %s %s: %s; its glasses are not available. Check that the file exists "
                             "and can be read",
                             kind, path.c_str(), reason.c_str());
    if (why) *why = reason;
  }
  return text;
}

std::vector<std::string> textLines(std::string_view text) { return foundation::lines(text); }

}  // namespace

std::shared_ptr<GlassCatalog> GlassCatalog::glassCatalogWithContentsOfZemaxFile(const std::string& path,
                                                                                 std::string* why) {
  auto text = readOrSay(path, why, "glass catalog");
  if (!text) return nullptr;
  auto catalog = glassCatalogWithZemaxStringArray(textLines(*text), path);
  catalog->stamp(detail::upperCased(detail::fileStem(path)), std::string("ZEMAX"), detail::upperCased(detail::fileName(path)));
  return catalog;
}

std::shared_ptr<GlassCatalog> GlassCatalog::glassCatalogWithZemaxString(std::string_view text, const std::string& source) {
  return glassCatalogWithZemaxStringArray(textLines(text), source);
}

std::shared_ptr<GlassCatalog> GlassCatalog::glassCatalogWithZemaxStringArray(const std::vector<std::string>& lines,
                                                                              const std::string& source) {
  ZemaxGlassParser parser(source);
  parser.parseStringArray(lines);
  parser.doneParsing();
  return parser.glassCatalog();
}

// --- OSLO ---------------------------------------------------------------------------------

std::shared_ptr<GlassCatalog> GlassCatalog::glassCatalogWithContentsOfOsloFile(const std::string& path,
                                                                                std::string* why) {
  platform::log("----- reading glass catalog <%s>", path.c_str());
  auto text = readOrSay(path, why, "OSLO glass catalog");
  if (!text) return nullptr;
  auto catalog = glassCatalogWithOsloStringArray(textLines(*text), path);
  catalog->stamp(detail::upperCased(detail::fileStem(path)), std::string("OSLO"), detail::upperCased(detail::fileName(path)));
  return catalog;
}

std::shared_ptr<GlassCatalog> GlassCatalog::glassCatalogWithOsloStringArray(const std::vector<std::string>& lines,
                                                                             const std::string& source) {
  auto catalog = glassCatalog();
  if (lines.empty()) return catalog;
  // Title line: a number, an integer, then the title.
  const std::string_view first = lines[0];
  const auto w = detail::words(first);
  if (w.size() >= 3) {
    std::size_t at = static_cast<std::size_t>(w[2].data() - first.data());
    catalog->setCatalogComment(std::string(detail::trimmed(first.substr(at))));
  }
  for (std::size_t i = 1; i < lines.size(); ++i) {
    if (detail::trimmed(lines[i]).empty()) continue;
    std::string why;
    if (auto g = OsloGlass::glassWithCString(lines[i], &why))
      catalog->addObject(g);
    else
      platform::logWarningOnce(source, "glass catalog line passed over",
                               "%s line %zu: %s; glass passed over, the others are read. Check that line of the file",
                               source.empty() ? "OSLO glass catalog" : source.c_str(), i + 1, why.c_str());
  }
  return catalog;
}

}  // namespace orb::materials
