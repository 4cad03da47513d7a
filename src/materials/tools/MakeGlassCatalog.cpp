// Build-time tool: reads the makers' AGF files and writes the system glass catalog resource
// (an enciphered keyed archive of one GlassCatalog).
//
//   orb_make_glass_catalog <output> <file.agf>...

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "materials/SystemGlassCatalog.h"
#include "platform/Exception.h"

int main(int argc, char** argv) {
  using namespace orb::materials;
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s <output> <file.agf>...\n", argv[0]);
    return 2;
  }
  try {
    // The catalog's order decides which maker's glass a bare shared name means.
    const std::vector<std::string> files = systemcatalog::inLibraryOrder({argv + 2, argv + argc});
    auto catalog = systemcatalog::catalogFromZemaxFiles(files);
    if (catalog->count() == 0) {
      std::fprintf(stderr, "%s: no glasses read\n", argv[0]);
      return 1;
    }
    auto data = systemcatalog::archiveData(*catalog);
    // Read it back before shipping it: a catalog that doesn't decode must fail the build.
    std::string why;
    auto back = systemcatalog::catalogFromArchiveData(data, &why);
    if (!back || back->count() != catalog->count()) {
      std::fprintf(stderr, "%s: archive does not read back (%s)\n", argv[0], why.c_str());
      return 1;
    }
    const std::filesystem::path out(argv[1]);
    std::filesystem::create_directories(out.parent_path());
    const std::filesystem::path temporary = out.string() + ".tmp";
    {
      std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
      file.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
      if (!file) {
        std::fprintf(stderr, "%s: cannot write %s\n", argv[0], temporary.c_str());
        return 1;
      }
    }
    std::filesystem::rename(temporary, out);
    std::printf("%s: %zu glasses, %zu bytes\n", out.c_str(), catalog->count(), data.size());
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s: %s\n", argv[0], e.what());
    return 1;
  }
}
