#include "FuzzTargets.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <unistd.h>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/platform/Base64.h"
#include "foundation/platform/CharacterSet.h"
#include "foundation/platform/PasswordKeyedData.h"
#include "foundation/platform/Scanner.h"
#include "interchange/CodeVReader.h"
#include "interchange/LensDictionary.h"
#include "interchange/OsloLensCatalog.h"
#include "interchange/OsloReader.h"
#include "interchange/TiltedTelescopeReader.h"
#include "interchange/ZemaxLensCatalog.h"
#include "interchange/TextDecoding.h"
#include "interchange/ZemaxReader.h"
#include "interchange/ZemaxWriter.h"
#include "lens/ArchiveClasses.h"
#include "lens/Lens.h"
#include "lens/LensGlassResolver.h"
#include "lens/Surface.h"
#include "materials/GlassCatalog.h"
#include "materials/SystemGlassCatalog.h"
#include "platform/Exception.h"
#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"
#include "platform/PropertyList.h"
#include "platform/RunLoop.h"

namespace orb::fuzz {

namespace {

using platform::Data;
using platform::Dictionary;
using platform::Value;

[[noreturn]] void broken(const char* what) {
  std::fprintf(stderr, "fuzz invariant broken: %s\n", what);
  std::abort();
}

std::string_view text(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

std::vector<std::string> lines(std::string_view all) {
  std::vector<std::string> out;
  std::size_t start = 0;
  while (start <= all.size()) {
    std::size_t end = all.find('\n', start);
    if (end == std::string_view::npos) end = all.size();
    out.emplace_back(all.substr(start, end - start));
    start = end + 1;
  }
  return out;
}

// A few glasses in place of the system catalog: glass names still resolve, and the heap
// stays small enough for libFuzzer's leak check after every input to be quick.
const char* const kGlasses =
    "NM N-BK7 2 517642 1.5168 64.17 0 1\n"
    "CD 1.03961212 0.00600069867 0.231792344 0.0200179144 1.01046945 103.560653\n"
    "NM F2 2 620364 1.62004 36.37 0 1\n"
    "CD 1.34533359 0.00997743871 0.209073176 0.0470450767 0.937357162 111.886764\n";

void registerOnce() {
  static const bool done = [] {
    lens::registerArchiveClasses();
    auto catalog = materials::GlassCatalog::glassCatalogWithZemaxString(kGlasses, "fuzz");
    lens::glassresolution::setSystemGlassLibraryProvider([catalog] { return catalog; });
    return true;
  }();
  (void)done;
}

// Work a lens queued for the main loop is done before the next input, so nothing
// accumulates from one input to the next.
struct DrainMainLoop {
  ~DrainMainLoop() { platform::RunLoop::main().runUntilIdle(); }
};

// What the document does with a decoded root (OBDocument::applyNativeRoot), less the Qt.
std::shared_ptr<lens::Lens> openedLens(const Value& root) {
  std::shared_ptr<lens::Lens> lens;
  if (root.isObject()) {
    lens = root.objectIf<lens::Lens>();
  } else if (root.isDictionary() && root.asDictionary().contains("surfaceArray")) {
    Dictionary old = root.asDictionary();
    old.remove("apodizationType");
    old.remove("apodizationFactor");
    const auto surfaces = old.get("surfaceArray");
    if (!surfaces.isArray()) return nullptr;
    for (const auto& s : surfaces.asArray()) {
      auto surface = s.objectIf<lens::Surface>();
      if (!surface) return nullptr;
      surface->setValueForKey("aperture", nullptr);
    }
    lens = lens::Lens::create();
    lens->setValuesForDesiredKeysWithDictionary(old);
  } else if (root.isDictionary()) {
    lens = root.asDictionary().get("lens").objectIf<lens::Lens>();
  }
  if (!lens) return nullptr;
  lens->validateStop();
  lens->validateFields();
  lens->validateWaves();
  if (!lens->isReady()) {
    lens->generateSystemFromParaxialSpecification();
    lens->setIsReady(true);
  }
  return lens;
}

// Saving what was opened must give a file that opens.
void saveMustReadBack(const Value& root) {
  Data saved;
  try {
    saved = platform::KeyedArchiver::archivedDataWithRootObject(root);
  } catch (const platform::Exception&) {
    return;  // a refusal to save is an answer; a bad file is not
  }
  try {
    (void)platform::KeyedUnarchiver::unarchiveObjectWithData(saved);
  } catch (const platform::Exception& e) {
    std::fprintf(stderr, "%s\n", e.reason().c_str());
    broken("a saved document does not open");
  }
}

}  // namespace

int zemaxLens(const std::uint8_t* data, std::size_t size) {
  registerOnce();
  DrainMainLoop drain;
  const auto decoded = interchange::decodeText({data, size});
  interchange::ZemaxReadOptions options;
  options.source = "fuzz";
  options.onTrouble = [](const interchange::ZemaxTrouble&) { return interchange::ZemaxTroubleAnswer::ContinueReading; };
  options.log = [](const std::string&) {};
  try {
    auto dictionary = interchange::readZemaxString(decoded.text, options);
    if (!dictionary) return 0;
    auto lens = lens::Lens::create();
    lens->setValuesForDesiredKeysWithDictionary(*dictionary);
    lens->validateStop();
    lens->validateFields();
    lens->validateWaves();
    (void)interchange::zemaxStringForModel(interchange::lensDictionaryFromLens(*lens), [](const std::string&) {});
  } catch (const platform::Exception&) {
  }
  return 0;
}

namespace {

// A foreign reader's dictionary must make a lens the document can validate and write.
void openAndWrite(const std::optional<Dictionary>& dictionary) {
  if (!dictionary) return;
  auto lens = lens::Lens::create();
  lens->setValuesForDesiredKeysWithDictionary(*dictionary);
  lens->validateStop();
  lens->validateFields();
  lens->validateWaves();
  (void)interchange::zemaxStringForModel(interchange::lensDictionaryFromLens(*lens), [](const std::string&) {});
}

interchange::PrescriptionReadOptions quietOptions() {
  interchange::PrescriptionReadOptions options;
  options.source = "fuzz";
  options.log = [](const std::string&) {};
  options.onTrouble = [](const interchange::ZemaxTrouble&) { return interchange::ZemaxTroubleAnswer::ContinueReading; };
  return options;
}

}  // namespace

int codeVLens(const std::uint8_t* data, std::size_t size) {
  registerOnce();
  DrainMainLoop drain;
  try {
    openAndWrite(interchange::readCodeVString(interchange::decodeText({data, size}).text, quietOptions()));
  } catch (const platform::Exception&) {
  }
  return 0;
}

int osloLens(const std::uint8_t* data, std::size_t size) {
  registerOnce();
  DrainMainLoop drain;
  try {
    openAndWrite(interchange::readOsloString(interchange::decodeText({data, size}).text, quietOptions()));
  } catch (const platform::Exception&) {
  }
  return 0;
}

int tiltedTelescope(const std::uint8_t* data, std::size_t size) {
  registerOnce();
  DrainMainLoop drain;
  try {
    openAndWrite(interchange::readTiltedTelescopeString(text(data, size)));
  } catch (const platform::Exception&) {
  }
  return 0;
}

// The same bytes as a Zemax lens catalog and as the three files of an OSLO lens catalog.
int lensCatalogs(const std::uint8_t* data, std::size_t size) {
  registerOnce();
  DrainMainLoop drain;
  const auto dir = std::filesystem::temp_directory_path() / ("orb-fuzz-catalog-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  for (const char* name : {"c.txt", "c.nam", "c.dat"}) {
    std::ofstream out(dir / name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  try {
    if (auto entries = interchange::indexZemaxLensCatalog((dir / "c.txt").string())) {
      std::size_t n = 0;
      for (const auto& e : *entries) {
        if (e.fileOffset < 0 || e.fileBytes < 0 || static_cast<std::size_t>(e.fileOffset + e.fileBytes) > size)
          broken("a catalog entry outside its file");
        if (++n <= 4) (void)interchange::previewLensForZemaxCatalogEntry(e);
      }
    }
    interchange::OsloLensCatalog catalog;
    if (catalog.readFromFile((dir / "c.txt").string()))
      for (const auto& e : catalog.entryArray()) {
        (void)catalog.elaborateOn(e.shortName);
        (void)catalog.lensDictionaryForCatalogEntry(e, quietOptions());
      }
  } catch (const platform::Exception&) {
  }
  return 0;
}

int nativeDocument(const std::uint8_t* data, std::size_t size) {
  registerOnce();
  DrainMainLoop drain;
  try {
    const Value root = platform::KeyedUnarchiver::unarchiveObjectWithData(Data(data, data + size));
    auto lens = openedLens(root);
    if (!lens) return 0;
    Value saved = root;
    if (root.isDictionary() && !root.asDictionary().contains("lens")) saved = Value(lens);
    saveMustReadBack(saved);
  } catch (const platform::Exception&) {
  }
  return 0;
}

int propertyList(const std::uint8_t* data, std::size_t size) {
  Value value;
  try {
    value = platform::plist::parse(Data(data, data + size));
  } catch (const platform::Exception&) {
    return 0;
  }
  for (auto format : {platform::PlistFormat::Binary, platform::PlistFormat::XML}) {
    Data written;
    try {
      written = platform::plist::serialize(value, format);
    } catch (const platform::Exception&) {
      continue;  // e.g. a value a property list cannot hold
    }
    try {
      // Written again, what was read back gives the same bytes (a byte comparison, so that
      // a NaN counts as itself).
      const Value back = platform::plist::parse(written);
      if (platform::plist::serialize(back, format) != written) broken("a property list reads back different");
    } catch (const platform::Exception& e) {
      std::fprintf(stderr, "%s\n", e.reason().c_str());
      broken("a written property list does not read back");
    }
  }
  return 0;
}

int glassCatalogArchive(const std::uint8_t* data, std::size_t size) {
  registerOnce();
  // The bytes as the resource holds them, and enciphered first: a mutated cipher text
  // rarely deciphers, so the second reaches the archive inside with the fuzzer's bytes.
  const Data bytes(data, data + size);
  for (const Data& enciphered :
       {bytes, foundation::orbellineDataEncryptedWithPassword(bytes, materials::systemcatalog::password())}) {
    try {
      std::string why;
      (void)materials::systemcatalog::catalogFromArchiveData(enciphered, &why);
    } catch (const platform::Exception&) {
    }
  }
  return 0;
}

int agfCatalog(const std::uint8_t* data, std::size_t size) {
  try {
    (void)materials::GlassCatalog::glassCatalogWithZemaxString(text(data, size), "fuzz");
  } catch (const platform::Exception&) {
  }
  return 0;
}

int osloCatalog(const std::uint8_t* data, std::size_t size) {
  try {
    (void)materials::GlassCatalog::glassCatalogWithOsloStringArray(lines(text(data, size)), "fuzz");
  } catch (const platform::Exception&) {
  }
  return 0;
}

int makerTables(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  using materials::GlassCatalog;
  const auto all = lines(text(data + 1, size - 1));
  try {
    switch (data[0] % 5) {
      case 0: (void)GlassCatalog::glassCatalogWithSumitaCSVStringArray(all, "fuzz"); break;
      case 1: (void)GlassCatalog::glassCatalogWithSchottCSVStringArray(all, "fuzz"); break;
      case 2: (void)GlassCatalog::glassCatalogWithHoyaCSVStringArray(all, "fuzz"); break;
      case 3: (void)GlassCatalog::glassCatalogWithHikariCSVStringArray(all, "fuzz"); break;
      default: (void)GlassCatalog::glassCatalogWithOharaASCStringArray(all, "fuzz"); break;
    }
  } catch (const platform::Exception&) {
  }
  return 0;
}

int scanner(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  // The first bytes choose the scans, the rest is the text scanned.
  const std::size_t plan = std::min<std::size_t>(size, 8);
  foundation::Scanner s(std::string(text(data + plan, size - plan)));
  s.setCaseSensitive(data[0] & 1);
  for (std::size_t step = 0; step < 64 && !s.isAtEnd(); ++step) {
    const std::size_t before = s.scanLocation();
    std::string out;
    switch ((data[step % plan] >> (step % 3)) % 14) {
      case 0: { int v; s.scanInt(&v); break; }
      case 1: { std::int64_t v; s.scanInteger(&v); break; }
      case 2: { long long v; s.scanLongLong(&v); break; }
      case 3: { unsigned long long v; s.scanUnsignedLongLong(&v); break; }
      case 4: { unsigned v; s.scanHexInt(&v); break; }
      case 5: { unsigned long long v; s.scanHexLongLong(&v); break; }
      case 6: { double v; s.scanDouble(&v); break; }
      case 7: { float v; s.scanFloat(&v); break; }
      case 8: s.scanString("E", &out); break;
      case 9: s.scanUpToString(";", &out); break;
      case 10: s.scanCharactersFromSet(foundation::CharacterSet::decimalDigitCharacterSet(), &out); break;
      case 11: s.scanUpToCharactersFromSet(foundation::CharacterSet::whitespaceAndNewlineCharacterSet(), &out); break;
      case 12: s.scanHollerithIntoString(&out); break;
      default: {
        double tens[10];
        s.scanUpToTenDoublesInto(std::span<double, 10>(tens));
        s.scanQuotedString(&out);
        break;
      }
    }
    if (s.scanLocation() < before || s.scanLocation() > s.string().size()) broken("the scanner moved outside its text");
    if (s.scanLocation() == before) {
      if (before >= s.string().size()) break;
      s.setScanLocation(before + 1);
    }
  }
  (void)s.remainderString();
  return 0;
}

int base64(const std::uint8_t* data, std::size_t size) {
  const Data bytes(data, data + size);
  (void)foundation::dataFromBase64String(text(data, size));
  for (std::int32_t width : {0, 64, 76})
    if (foundation::dataFromBase64String(foundation::base64StringFromData(bytes, width)) != bytes)
      broken("Base64 does not round-trip");
  return 0;
}

std::span<const Target> targets() {
  static const Target all[] = {
      {"zemax_lens", zemaxLens},        {"native_document", nativeDocument}, {"property_list", propertyList},
      {"glass_catalog_archive", glassCatalogArchive}, {"agf", agfCatalog},   {"oslo_glass", osloCatalog},
      {"maker_tables", makerTables},    {"scanner", scanner},                {"base64", base64},
      {"codev_lens", codeVLens},        {"oslo_lens", osloLens},             {"tilted_telescope", tiltedTelescope},
      {"lens_catalogs", lensCatalogs},
  };
  return all;
}

}  // namespace orb::fuzz
