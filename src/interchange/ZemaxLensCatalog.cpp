#include "interchange/ZemaxLensCatalog.h"

#include <cmath>
#include <fstream>
#include <sstream>

#include "foundation/platform/Scanner.h"
#include "interchange/FourCharCode.h"
#include "interchange/ZemaxReader.h"
#include "lens/Lens.h"
#include "lens/Surface.h"
#include "platform/Exception.h"
#include "platform/Log.h"

namespace orb::interchange {

namespace {

std::optional<std::string> fileContents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

std::string ascii(std::string_view s) {
  std::string out;
  for (unsigned char c : s) out.push_back(static_cast<char>(c & 0x7f));
  return out;
}

void readDbdt(ZemaxLensCatalogEntry& entry, const std::string& line) {
  foundation::Scanner s(line.substr(4));
  long long kind = -1;
  if (!s.scanLongLong(&kind)) return;
  if (kind == 1) {
    entry.junk = line;
    return;
  }
  if (kind != 0) return;
  std::string identifier;
  if (s.scanUpToCharactersFromSet(foundation::CharacterSet::whitespaceAndNewlineCharacterSet(), &identifier))
    entry.identifier = identifier;
  double value;
  if (s.scanDouble(&value)) entry.effectiveFocalLength = value;
  if (s.scanDouble(&value)) entry.diameter = value;
}

}  // namespace

std::optional<std::vector<ZemaxLensCatalogEntry>> indexZemaxLensCatalog(const std::string& path) {
  const auto contents = fileContents(path);
  if (!contents) return std::nullopt;
  const std::string& text = *contents;
  std::vector<ZemaxLensCatalogEntry> entries;
  bool open = false;
  std::size_t at = 0;
  const std::size_t size = text.size();
  while (at < size) {
    while (at < size && std::isspace(static_cast<unsigned char>(text[at]))) ++at;
    if (at >= size) break;
    const std::size_t start = at;
    while (at < size && text[at] != '\n' && text[at] != '\r') ++at;
    const std::string line = ascii(std::string_view(text).substr(start, at - start));
    if (line.size() < 4) continue;
    const std::uint32_t code = fourCharCodeFromCString(line);
    if (code == fourCharCodeFromCString("VERS")) {
      if (open) entries.back().fileBytes = static_cast<std::int64_t>(start) - entries.back().fileOffset;
      ZemaxLensCatalogEntry entry;
      entry.fileName = path;
      entry.fileOffset = static_cast<std::int64_t>(start);
      entries.push_back(std::move(entry));
      open = true;
    } else if (open && code == fourCharCodeFromCString("NAME")) {
      if (line.size() > 5) entries.back().name = line.substr(5);
    } else if (open && code == fourCharCodeFromCString("DBDT")) {
      readDbdt(entries.back(), line);
    }
  }
  // The last entry runs to the end of the file, a last line without its line end included.
  if (open) entries.back().fileBytes = static_cast<std::int64_t>(size) - entries.back().fileOffset;
  return entries;
}

std::optional<std::string> ZemaxLensCatalogEntry::catalogEntry() const {
  std::ifstream in(fileName, std::ios::binary | std::ios::ate);
  if (!in) return std::nullopt;
  const std::int64_t size = static_cast<std::int64_t>(in.tellg());
  // The numbers came from an index of the file as it was: a file changed since must not
  // send the read out of its bounds.
  if (fileOffset < 0 || fileBytes < 0 || fileOffset > size || fileBytes > size - fileOffset) return std::nullopt;
  std::string bytes(static_cast<std::size_t>(fileBytes), '\0');
  in.seekg(fileOffset);
  if (!in.read(bytes.data(), fileBytes)) return std::nullopt;
  std::string text;
  text.reserve(bytes.size());
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const char c = static_cast<char>(bytes[i] & 0x7f);
    if (c == '\r') {
      text.push_back('\n');
      if (i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
    } else {
      text.push_back(c);
    }
  }
  return text;
}

std::optional<platform::Dictionary> ZemaxLensCatalogEntry::lensDictionary() const {
  const auto text = catalogEntry();
  if (!text) return std::nullopt;
  ZemaxReadOptions options;  // no question: a bad line gives up the entry
  options.source = fileName + " (" + name + ")";
  try {
    return readZemaxString(*text, options);
  } catch (const platform::Exception& e) {
    platform::log("%s: %s", e.name().c_str(), e.reason().c_str());
    return std::nullopt;
  }
}

double ZemaxLensCatalogEntry::thickness() const {
  const auto d = lensDictionary();
  if (!d) return 0;
  const auto surfaces = d->get("surfaceArray");
  if (!surfaces.isArray() || surfaces.asArray().size() < 2) return 0;
  double sum = 0;
  const auto& array = surfaces.asArray();
  for (std::size_t i = 1; i < array.size(); ++i) sum += array[i].asObject<lens::Surface>()->thickness();
  return sum;
}

std::shared_ptr<lens::Lens> previewLensForZemaxCatalogEntry(const ZemaxLensCatalogEntry& entry) {
  const auto d = entry.lensDictionary();
  if (!d) return nullptr;
  const auto surfaces = d->get("surfaceArray");
  if (!surfaces.isArray() || surfaces.asArray().size() < 2) return nullptr;
  for (const auto& s : surfaces.asArray()) s.asObject<lens::Surface>()->removeSolves();
  auto lens = lens::Lens::create();
  lens->setValuesForDesiredKeysWithDictionary(*d);
  lens->generateSystemFromParaxialSpecification();
  const auto& array = lens->surfaceArray();
  double pupil = 0;
  if (const auto* epd = lens->paraxialData().find("entrancePupilDiameter"); epd && epd->isNumber())
    pupil = epd->asDouble();
  if (pupil == 0) {
    pupil = array[1]->semidiameter();
    lens->setEntrancePupilDiameter(1.8 * pupil);
  }
  if (std::isinf(array.front()->thickness())) {
    auto plane = lens::Surface::create();
    plane->setThickness(pupil);
    lens->insertObjectInSurfaceArrayAtIndex(plane, 1);
  }
  std::size_t mirrors = 0;
  for (const auto& s : lens->surfaceArray()) mirrors += s->isMirror() ? 1 : 0;
  lens->surfaceArray().back()->setThickness(mirrors % 2 ? -pupil : pupil);
  lens->insertObjectInSurfaceArrayAtIndex(lens::Surface::create(), lens->surfaceArray().size());
  lens->generateSystemFromParaxialSpecification();
  return lens;
}

}  // namespace orb::interchange
