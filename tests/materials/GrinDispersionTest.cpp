#include "materials/GrinDispersion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "foundation/platform/Scanner.h"
#include "materials/ArchiveClasses.h"
#include "materials/GlassCatalog.h"
#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"

using namespace orb::materials;
using orb::platform::Value;

namespace {

const std::string kFixtures = std::string(ORB_TEST_DATA_DIR) + "/glass";

std::shared_ptr<GrinDispersion> entry(const std::string& text) {
  orb::foundation::Scanner scanner(text);
  return GrinDispersion::withScanner(scanner);
}

}  // namespace

TEST(GrinDispersion, LawAgainstHandValues) {
  auto g = orb::platform::makeObject<GrinDispersion>();
  // Base 1.6 at 0.5 µm: K0 = 0.11098 − 0.06172·2.56 = −0.0470232, L = 0,
  // n² = 2.56 + (0.25 − 0.4489)·K0/0.25 = 2.59741165792.
  EXPECT_NEAR(g->indexOfRefractionForBaseValue(1.6, 0.5), std::sqrt(2.59741165792), 1e-15);
  // At the reference wavelength any coefficients give the base index.
  auto odd = entry("ODD 0.4 2.0 0.55 3 2  0.1 0.2 -0.3  0.01 0 0.02  -0.05 0.01 0.001  0.01 0.002  0.02 0  0.03 -0.01");
  ASSERT_TRUE(odd);
  for (double n0 : {1.45, 1.6, 1.9}) {
    EXPECT_DOUBLE_EQ(g->indexOfRefractionForBaseValue(n0, 0.67), n0);
    EXPECT_DOUBLE_EQ(odd->indexOfRefractionForBaseValue(n0, 0.55), n0);
  }
  // The glass's own index uses its reference index as the base.
  g->setReferenceIndex(1.6);
  EXPECT_EQ(g->indexAtWavelengthInMicrons(0.5), g->indexOfRefractionForBaseValue(1.6, 0.5));
  EXPECT_EQ(g->glassDescription(), "GRIN dispersion");
  EXPECT_FALSE(g->isModel());
  EXPECT_FALSE(g->isEditable());
  EXPECT_TRUE(g->referenceIndexIsVariable());
}

TEST(GrinDispersion, DerivativesAgainstNumericDifferences) {
  auto odd = entry("ODD 0.4 2.0 0.55 3 2  0.1 0.2 -0.3  0.01 0 0.02  -0.05 0.01 0.001  0.01 0.002  0.02 0  0.03 -0.01");
  auto plain = orb::platform::makeObject<GrinDispersion>();
  for (const auto& g : {plain, odd}) {
    for (double lambda : {0.45, 0.8, 1.5}) {
      for (double n0 : {1.5, 1.7}) {
        // Fourth-order differences in long double: accurate far beyond the tolerance.
        auto n = [&](long double x) { return static_cast<long double>(g->indexOfRefractionForBaseValue(static_cast<double>(x), lambda)); };
        const long double h = 1e-3L;
        const long double d1 = (-n(n0 + 2 * h) + 8 * n(n0 + h) - 8 * n(n0 - h) + n(n0 - 2 * h)) / (12 * h);
        const long double d2 =
            (-n(n0 + 2 * h) + 16 * n(n0 + h) - 30 * n(n0) + 16 * n(n0 - h) - n(n0 - 2 * h)) / (12 * h * h);
        EXPECT_NEAR(g->dndnrefForBaseValue(n0, lambda), static_cast<double>(d1), 1e-10) << g->name() << " " << lambda;
        EXPECT_NEAR(g->d2ndnref2ForBaseValue(n0, lambda), static_cast<double>(d2), 1e-7) << g->name() << " " << lambda;
      }
    }
  }
}

TEST(GrinDispersion, ReadsEntriesWithTheirOwnCounts) {
  // Two numbers per K row and one per L row; then the next entry starts.
  orb::foundation::Scanner scanner("GLASS1 0.4 2.0 0.67 2 1\n 1 2\n 3 4\n 5 6\n 7\n 8\n 9\nNEXT 0.4 2.0 0.67 0 0\n");
  auto g = GrinDispersion::withScanner(scanner);
  ASSERT_TRUE(g);
  EXPECT_EQ(g->name(), "GLASS1");
  EXPECT_EQ(g->nK(), 2);
  EXPECT_EQ(g->nL(), 1);
  EXPECT_EQ(g->kij()[2][1], 6);
  EXPECT_EQ(g->kij()[0][2], 0);  // no default term leaks into a read entry
  EXPECT_EQ(g->lij()[2][0], 9);
  auto next = GrinDispersion::withScanner(scanner);
  ASSERT_TRUE(next);
  EXPECT_EQ(next->name(), "NEXT");
  // With no K terms the law is the base index at every wavelength.
  EXPECT_DOUBLE_EQ(next->indexOfRefractionForBaseValue(1.6, 0.45), 1.6);
  EXPECT_TRUE(scanner.isAtEnd());
  EXPECT_EQ(GrinDispersion::coefficientKey('K', 2, 9), "K29");
}

TEST(GrinDispersion, LibraryFilePassesOverMalformedEntries) {
  auto catalog = GlassCatalog::glassCatalogWithContentsOfZemaxGradientDispersionFile(kFixtures + "/SGRIN.DAT");
  ASSERT_TRUE(catalog);
  ASSERT_EQ(catalog->count(), 2u);
  auto good1 = std::dynamic_pointer_cast<GrinDispersion>(catalog->objectAtIndex(0));
  auto good2 = std::dynamic_pointer_cast<GrinDispersion>(catalog->objectAtIndex(1));
  ASSERT_TRUE(good1 && good2);
  EXPECT_EQ(good1->name(), "GOOD1");
  EXPECT_EQ(good2->name(), "GOOD2");
  EXPECT_EQ(good2->lambdaRef(), 0.6);
  EXPECT_EQ(good2->kij()[1][0], 0.01);
  EXPECT_EQ(good2->lij()[0][0], 0.02);
  EXPECT_EQ(good1->version(), std::optional<std::string>("SGRIN.DAT"));

  // Reading stops where no entry name can be read; what came before stays.
  auto cut = GlassCatalog::glassCatalogWithZemaxGradientDispersionString("A 0.4 2 0.67 0 0 ; B 0.4 2 0.67 0 0");
  ASSERT_EQ(cut->count(), 1u);
  EXPECT_EQ(cut->objectAtIndex(0)->name(), "A");
}

TEST(GrinDispersion, LibraryDirectoryReadsOnlySGRINDAT) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("orb-grin-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  std::ofstream(dir / "sgrin.dat") << "LOWER 0.4 2 0.67 0 0\n";
  EXPECT_EQ(GlassCatalog::zemaxGradientDispersionLibraryWithPath(dir.string())->count(), 0u);
  std::ofstream(dir / "SGRIN.DAT") << "UPPER 0.4 2 0.67 0 0\n";
  auto library = GlassCatalog::zemaxGradientDispersionLibraryWithPath(dir.string());
  ASSERT_EQ(library->count(), 1u);
  EXPECT_EQ(library->objectAtIndex(0)->name(), "UPPER");
  fs::remove_all(dir);
}

TEST(GrinDispersion, ArchiveAndCopyKeepTheLaw) {
  registerArchiveClasses();
  auto g = entry("Q 0.4 2.0 0.55 3 2  0.1 0.2 -0.3  0.01 0 0.02  -0.05 0.01 0.001  0.01 0.002  0.02 0  0.03 -0.01");
  g->setReferenceIndex(1.62);
  auto data = orb::platform::KeyedArchiver::archivedDataWithRootObject(Value(g));
  auto back = orb::platform::KeyedUnarchiver::unarchiveObjectWithData(data).asObject<GrinDispersion>();
  auto copy = std::dynamic_pointer_cast<GrinDispersion>(g->copy());
  for (const auto& other : {back, copy}) {
    ASSERT_TRUE(other);
    EXPECT_EQ(other->lambdaRef(), 0.55);
    EXPECT_EQ(other->nK(), 3);
    EXPECT_EQ(other->nL(), 2);
    EXPECT_EQ(other->indexOfRefractionForBaseValue(1.7, 0.9), g->indexOfRefractionForBaseValue(1.7, 0.9));
    EXPECT_EQ(other->indexAtWavelengthInMicrons(0.9), g->indexAtWavelengthInMicrons(0.9));
  }
}
