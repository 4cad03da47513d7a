#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

#include "InterchangeTestSupport.h"
#include "interchange/OsloLensCatalog.h"
#include "interchange/ZemaxLensCatalog.h"
#include "tracing/Regeneration.h"

namespace orb::interchange::test {
namespace {

std::string bytesOf(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

// Three VERS lines make three entries starting at those lines and tiling the file to its
// end, the last line kept though no line end closes it; the text before the first VERS
// belongs to no entry.
TEST(ZemaxLensCatalog, EntriesTileTheFileFromTheFirstVers) {
  const std::string path = lensFilePath("fixtures/zemax_lens_catalog.txt");
  const std::string bytes = bytesOf(path);
  const auto entries = indexZemaxLensCatalog(path);
  ASSERT_TRUE(entries);
  ASSERT_EQ(entries->size(), 3u);
  std::size_t from = bytes.find("VERS");
  for (std::size_t i = 0; i < 3; ++i) {
    const auto& e = (*entries)[i];
    EXPECT_EQ(e.fileOffset, static_cast<std::int64_t>(from));
    EXPECT_EQ(bytes.compare(from, 4, "VERS"), 0);
    from += static_cast<std::size_t>(e.fileBytes);
  }
  EXPECT_EQ(from, bytes.size());
  const auto& first = (*entries)[0];
  EXPECT_EQ(first.name, "LA1000 Plano-convex");
  EXPECT_EQ(first.identifier, "LA1000");
  EXPECT_EQ(first.effectiveFocalLength, 100.0);
  EXPECT_EQ(first.diameter, 25.4);
  EXPECT_EQ(first.junk, "DBDT 1 maker's remark 7 8");
  EXPECT_EQ((*entries)[1].name, "ONE");
  // Carriage returns read back as line feeds.
  EXPECT_EQ((*entries)[1].catalogEntry().value_or(""), "VERS 140000 0 0\nNAME ONE\nSURF 0\n  DISZ 10\n");
  // Thickness after the object: 4 + 97.36 + 0; the last entry's unterminated "DISZ 3" counts.
  EXPECT_NEAR(first.thickness(), 101.36, 1e-12);
  EXPECT_EQ((*entries)[1].thickness(), 0);  // one surface
  EXPECT_EQ((*entries)[2].thickness(), 3);

  EXPECT_FALSE(indexZemaxLensCatalog(lensFilePath("fixtures/no_such_catalog.txt")));
}

// Offsets and byte counts are checked against the file before anything is read.
TEST(ZemaxLensCatalog, EntriesPastTheFileReadNothing) {
  const auto entries = indexZemaxLensCatalog(lensFilePath("fixtures/zemax_lens_catalog.txt"));
  ASSERT_TRUE(entries);
  for (auto [offset, bytes] : {std::pair<std::int64_t, std::int64_t>{-1, 5}, {0, -1}, {1'000'000, 1},
                               {0, std::numeric_limits<std::int64_t>::max()}}) {
    auto e = entries->front();
    e.fileOffset = offset;
    e.fileBytes = bytes;
    EXPECT_FALSE(e.catalogEntry()) << offset << " " << bytes;
    EXPECT_EQ(e.thickness(), 0);
    EXPECT_FALSE(previewLensForZemaxCatalogEntry(e));
  }
}

// The preview of an infinite-conjugate entry: a plane one pupil diameter (ENPD 10) after
// the object, the old image plane moved one pupil diameter behind the last surface, and a
// new image surface; an entry of one surface previews empty.
TEST(ZemaxLensCatalog, PreviewAddsPlanesOnePupilApart) {
  tracing::registerSystemGenerator();
  const auto entries = indexZemaxLensCatalog(lensFilePath("fixtures/zemax_lens_catalog.txt"));
  ASSERT_TRUE(entries);
  auto lens = previewLensForZemaxCatalogEntry((*entries)[0]);
  ASSERT_TRUE(lens);
  const auto& s = lens->surfaceArray();
  ASSERT_EQ(s.size(), 6u);
  EXPECT_EQ(s[1]->thickness(), 10);
  EXPECT_NEAR(s[2]->curvature(), 0.019349845201238390, 1e-15);
  EXPECT_EQ(s[4]->thickness(), 10);
  EXPECT_FALSE(previewLensForZemaxCatalogEntry((*entries)[1]));
}

// An OSLO catalog: the entry list, family names from the ".nam" file, prescriptions from
// the ".dat" file with ";" made line ends.
TEST(OsloLensCatalog, EntriesNamesAndPrescriptions) {
  OsloLensCatalog catalog;
  ASSERT_TRUE(catalog.readFromFile(lensFilePath("fixtures/oslo_catalog.lst")));
  const auto& e = catalog.entryArray();
  ASSERT_EQ(e.size(), 3u);  // the count says 4: the end of the file stops the reading
  EXPECT_EQ(e[0].shortName, "LA1000");
  EXPECT_EQ(e[0].datBytes, 70);
  EXPECT_EQ(e[0].effectiveFocalLength, 100.0);
  EXPECT_EQ(e[0].centerThickness, 4.0);
  EXPECT_EQ(e[1].description(), "offset = 70, bytes = 26");  // after a CR LF line end
  EXPECT_EQ(catalog.elaborateOn("LA1000"), "Plano-convex lenses");  // the later LA wins
  EXPECT_EQ(catalog.elaborateOn("KPX099"), "Plano-convex, old");
  EXPECT_EQ(catalog.elaborateOn("9TAIL"), "");
  EXPECT_EQ(catalog.lensSpecificationForCatalogEntry(e[1]), "LEN \"KPX099\"\nCV 0.02\nTH 3");
  EXPECT_EQ(catalog.lensSpecificationForCatalogEntry(e[2]), "");  // reaches past the data file

  // The prescription opens as a lens: object, the singlet, the image plane.
  const auto d = catalog.lensDictionaryForCatalogEntry(e[0]);
  ASSERT_TRUE(d);
  const auto surfaces = objectsUnder(*d, "surfaceArray");
  ASSERT_EQ(surfaces.size(), 4u);
  EXPECT_DOUBLE_EQ(surfaces[1]->curvature(), 1 / 51.68);
  EXPECT_EQ(surfaces[2]->thickness(), 97.36);

  OsloLensCatalog missing;
  EXPECT_FALSE(missing.readFromFile(lensFilePath("fixtures/no_such.lst")));
}

// Damaged entry lines and a missing name or data file read without harm.
TEST(OsloLensCatalog, DamagedFilesReadWithoutHarm) {
  const auto dir = std::filesystem::temp_directory_path() / ("orb-oslo-catalog-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  std::ofstream(dir / "c.lst") << "99999999999999999999\n1,2\nx,y,z\n-5,-5,1,A,,,\n,,,,,,,,,,,,\n";
  OsloLensCatalog catalog;
  ASSERT_TRUE(catalog.readFromFile((dir / "c.lst").string()));
  EXPECT_EQ(catalog.entryArray().size(), 4u);
  for (const auto& e : catalog.entryArray()) {
    EXPECT_EQ(catalog.lensSpecificationForCatalogEntry(e), "");
    EXPECT_EQ(catalog.elaborateOn(e.shortName), "");
  }
  EXPECT_EQ(catalog.entryArray()[0].datBytes, 2);
  const auto one = OsloLensCatalogEntry::entryWithLine("7,8,9,NAME,1.5");
  EXPECT_EQ(one.num, 9);
  EXPECT_EQ(one.effectiveFocalLength, 1.5);
  EXPECT_EQ(one.diameter, 0);
  std::filesystem::remove_all(dir);
}

}  // namespace orb::interchange::test
