// Files written by other programs: each opens into a lens with its surfaces, glasses,
// fields and wavelengths.
#include <gtest/gtest.h>

#include <cmath>

#include "InterchangeTestSupport.h"
#include "lens/Aperture.h"
#include "lens/Field.h"
#include "lens/Parameter.h"
#include "lens/Wave.h"
#include "materials/Glass.h"
#include "tracing/Regeneration.h"

namespace orb::interchange {
namespace {

using test::readZemaxFile;

struct SharedFile {
  const char* file;
  TextEncoding encoding;
  std::size_t surfaces;
  std::size_t fields;
  std::vector<double> microns;
  std::size_t primary;
  std::size_t troubles;
};

const std::vector<SharedFile>& sharedFiles() {
  static const std::vector<SharedFile> files = {
      {"lens1.zmx", TextEncoding::Ascii, 9, 3, {0.4861327, 0.5875618, 0.6562725}, 1, 0},
      {"lens_floa.zmx", TextEncoding::Ascii, 5, 1, {0.5876}, 0, 0},
      {"lens2.zmx", TextEncoding::Utf16LE, 4, 1, {0.5876}, 0, 0},
      {"lens_thorlabs_iso_8859_1.zmx", TextEncoding::Latin1, 4, 1, {0.78}, 0, 0},
      {"thorlabs_lj1598l1.zmx", TextEncoding::Ascii, 4, 1, {0.4861, 0.5876, 0.6563}, 1, 0},
      {"simple_fold_mirror_up.zmx", TextEncoding::Utf16LE, 0, 1, {}, 0, 0},
      {"one_mirror_up_45deg.zmx", TextEncoding::Utf16LE, 7, 1, {0.55}, 0, 0},
      {"flat_transmission_grating.zmx", TextEncoding::Utf16LE, 5, 3, {0.587}, 0, 0},
  };
  return files;
}

TEST(SharedLensFiles, EveryFileOpensIntoALens) {
  for (const auto& f : sharedFiles()) {
    SCOPED_TRACE(f.file);
    auto decoded = readTextFile(test::lensFilePath(f.file));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->encoding, f.encoding);
    auto r = readZemaxFile(f.file);
    ASSERT_TRUE(r.dictionary);
    EXPECT_EQ(r.troubles.size(), f.troubles);
    auto lens = test::lensFromDictionary(*r.dictionary);
    if (f.surfaces) {
      EXPECT_EQ(lens->countOfSurfaceArray(), f.surfaces);
    }
    EXPECT_GE(lens->countOfSurfaceArray(), 4u);
    EXPECT_EQ(lens->countOfFieldArray(), f.fields);
    if (f.microns.empty()) continue;
    ASSERT_EQ(lens->countOfWaveArray(), f.microns.size());
    for (std::size_t i = 0; i < f.microns.size(); ++i) {
      EXPECT_NEAR(lens->waveArray()[i]->wavelengthInMicrons(), f.microns[i], 1e-9);
      EXPECT_EQ(lens->waveArray()[i]->isPrimary(), i == f.primary);
    }
  }
}

TEST(SharedLensFiles, AsphereFromUtf16FileKeepsItsTermsGlassAndAperture) {
  auto r = readZemaxFile("lens2.zmx");
  ASSERT_TRUE(r.dictionary);
  auto lens = test::lensFromDictionary(*r.dictionary);
  const auto& s = lens->surfaceArray()[1];
  EXPECT_EQ(s->zemaxType(), "EVENASPH");
  EXPECT_TRUE(s->isStop());
  EXPECT_EQ(s->comment(), "47728");
  const double terms[] = {0, 9.556697e-05, -2.6095260000000003e-07, 1.1246210000000001e-09, -2.9989079999999998e-12,
                          0, 0, 0};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(s->parameterValue(platform::format("a%d", 2 * i + 2)), terms[i]) << i;
  EXPECT_DOUBLE_EQ(s->conicConstant(), -2.3641429999999999);
  EXPECT_EQ(s->glassName(), "L-BAL35");
  EXPECT_EQ(s->semidiameter(), 6.75);
  ASSERT_TRUE(s->apertureObject());
  EXPECT_EQ(s->apertureObject()->rMax(), 6.75);
  EXPECT_EQ(lens->systemName(), "47728 Asphere F/1.5");
  EXPECT_EQ(lens->sourceDivergenceValue(), 15);
  EXPECT_EQ(lens->preferredCatalogs(), (std::vector<std::string>{"SCHOTT", "OHARA"}));
  EXPECT_EQ(lens->surfaceArray()[2]->thicknessSolveType(), 2);  // MAZH 0 0
}

TEST(SharedLensFiles, MakersNameKeepsItsNonAsciiCharacter) {
  auto r = readZemaxFile("lens_thorlabs_iso_8859_1.zmx");
  ASSERT_TRUE(r.dictionary);
  EXPECT_NE(r.dictionary->get("systemName").asString().find("\xC3\x98" "18 mm"), std::string::npos);
}

TEST(SharedLensFiles, FoldMirrorPicksUpItsBreakTilt) {
  auto r = readZemaxFile("one_mirror_up_45deg.zmx");
  auto lens = test::lensFromDictionary(*r.dictionary);
  const auto& s = lens->surfaceArray();
  EXPECT_TRUE(s[3]->isCoordinateBreak());
  EXPECT_EQ(s[3]->parameterValue("rx"), 45);
  EXPECT_TRUE(s[4]->isMirror());
  auto tilt = s[5]->parameterForTitle("rx");
  EXPECT_EQ(tilt->solveType(), lens::Parameter::kPickup);
  EXPECT_EQ(tilt->solveSurface(), s[3]);
  EXPECT_EQ(s[5]->thickness(), -20);

  // The beam goes up: at the mirror, 10 + 30 mm behind the first surface, the two 45°
  // breaks turn the frame by 90° about x, its z axis to (0, −sin 90°, cos 90°) = (0, −1, 0),
  // and the second break's −20 mm then carry the image to (0, 20, 40).
  tracing::registerSystemGenerator();
  lens->generateSystemFromParaxialSpecification();
  const auto image = s[6]->transform().transformToGlobal({0, 0, 0});
  EXPECT_NEAR(image.x, 0, 1e-12);
  EXPECT_NEAR(image.y, 20, 1e-12);
  EXPECT_NEAR(image.z, 40, 1e-12);
}

}  // namespace
}  // namespace orb::interchange
