#include "lens/Lens.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

#include "lens/ArchiveClasses.h"
#include "lens/Field.h"
#include "lens/LensBeam.h"
#include "lens/LensGlassResolver.h"
#include "lens/LensKeyPath.h"
#include "lens/SurfaceTilted.h"
#include "lens/SurfaceTypeRegistry.h"
#include "lens/Wave.h"
#include "materials/GlassCatalog.h"
#include "platform/Exception.h"
#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"
#include "platform/PropertyList.h"
#include "platform/RunLoop.h"
#include "platform/UserDefaults.h"
#include "TestCoder.h"

namespace orb::lens {
namespace {

using platform::Dictionary;
using platform::RunLoop;
using platform::Value;

// The document's side of the lens: records what the lens tells it, in order.
class TestDocument : public platform::Object, public LensDelegate {
 public:
  std::vector<std::string> calls;
  std::vector<Dictionary> renameMaps;
  std::shared_ptr<materials::GlassCatalog> local;
  std::optional<bool> replacementAnswer;  // none: answer later
  std::function<void(bool)> pendingAnswer;

  void primeUndoForLensChange() override { calls.push_back("primeUndo"); }
  void lensIsReady() override { calls.push_back("lensIsReady"); }
  void setLensKeyPathUpdateDictionary(const Dictionary& map) override { renameMaps.push_back(map); }
  std::shared_ptr<materials::GlassCatalog> localGlassCatalog() const override { return local; }
  void askGlassReplacement(const GlassReplacementQuestion& q, std::function<void(bool)> answer) override {
    calls.push_back(q.informativeText);
    if (replacementAnswer)
      answer(*replacementAnswer);
    else
      pendingAnswer = std::move(answer);
  }
  std::size_t count(const std::string& call) const { return std::count(calls.begin(), calls.end(), call); }
};

class TestBeam : public LensBeam {
 public:
  double waist = 1;
  bool waistIsVariable = false;
  std::shared_ptr<LensBeam> copyBeam() const override {
    auto b = platform::makeObject<TestBeam>();
    b->waist = waist;
    return b;
  }
  std::vector<std::string> keyPathsForVariables() const override {
    return waistIsVariable ? std::vector<std::string>{"waist"} : std::vector<std::string>{};
  }
  const platform::KeyTable& keys() const override {
    using K = platform::Keys<TestBeam>;
    static const platform::KeyTable table(&VKColoredObject::classKeys(),
                                          {K::field("waist", &TestBeam::waist),
                                           K::getter("beamGestalt", &TestBeam::gestalt).dependsOnEveryKey()});
    return table;
  }
  bool gestalt() const { return true; }
};

class LensTest : public ::testing::Test {
 protected:
  void SetUp() override {
    registerArchiveClasses();
    RunLoop::main().runUntilIdle();
  }
  void TearDown() override {
    Lens::setSystemGenerator(nullptr);
    glassresolution::setSystemGlassLibraryProvider(nullptr);
    RunLoop::main().runUntilIdle();
  }

  // Object, `count - 2` glass-less surfaces with thickness 10 + i, image.
  static std::shared_ptr<Lens> lensWithSurfaces(std::size_t count) {
    auto lens = Lens::create();
    for (std::size_t i = 0; i < count; ++i) {
      auto s = Surface::create();
      s->setThickness(10.0 + static_cast<double>(i));
      lens->insertInSurfaces(s);
    }
    return lens;
  }

  std::shared_ptr<TestDocument> attach(Lens& lens) {
    auto doc = platform::makeObject<TestDocument>();
    lens.setDelegate(doc);
    return doc;
  }
};

// --- the lens and its collections ------------------------------------------------------------

TEST_F(LensTest, NewLensHoldsTheDefaults) {
  auto lens = Lens::create();
  EXPECT_EQ(lens->countOfSurfaceArray(), 0u);
  ASSERT_EQ(lens->countOfFieldArray(), 1u);
  EXPECT_EQ(lens->fieldArray()[0]->y(), 0);
  EXPECT_EQ(lens->fieldArray()[0]->weight(), 1);
  ASSERT_EQ(lens->countOfWaveArray(), 1u);
  EXPECT_TRUE(lens->waveArray()[0]->isPrimary());
  EXPECT_DOUBLE_EQ(lens->waveArray()[0]->wavelengthInNanometers(), 587.56);
  EXPECT_EQ(lens->fieldType(), "Angle");
  EXPECT_EQ(lens->fieldTypeIndex(), 0u);
  EXPECT_EQ(lens->sourceDivergenceType(), 0);
  EXPECT_EQ(lens->sourceDivergenceValue(), 1.0);
  EXPECT_EQ(lens->numberOfRaysPerField(), 21);
  EXPECT_TRUE(lens->useRealRaysToUpdateSemidiameters());
  EXPECT_DOUBLE_EQ(lens->ambientIndexOfRefraction(), 1.0);
  EXPECT_FALSE(lens->beamArray().has_value());
  EXPECT_FALSE(lens->isBusy());
  EXPECT_FALSE(lens->isReady());
}

TEST_F(LensTest, SpecialSurfacesAndFlags) {
  auto lens = lensWithSurfaces(5);
  const auto& s = lens->surfaceArray();

  s[3]->setIsStop(true);
  s[2]->setIsStop(true);
  EXPECT_FALSE(s[3]->isStop()) << "a new stop takes the flag from the old one";
  s[2]->setIsStop(false);
  EXPECT_FALSE(s[3]->isStop()) << "clearing a stop changes no other surface";
  lens->validateStop();
  EXPECT_EQ(lens->stopSurface(), s[1]) << "the system surface becomes the stop";

  auto second = Wave::wave();
  second->setIsPrimary(true);
  lens->insertObjectInWaveArrayAtIndex(second, 1);
  EXPECT_FALSE(lens->waveArray()[0]->isPrimary());
  second->setIsPrimary(false);
  EXPECT_FALSE(lens->waveArray()[0]->isPrimary()) << "losing the flag hands it to nobody";
  lens->waveArray()[0]->setIsPrimary(true);
  EXPECT_FALSE(second->isPrimary());

  EXPECT_EQ(lens->focusSurface(), s[3]);
  EXPECT_EQ(lens->focusKeyPath(), "s3.thickness");
  auto nullImage = lens->surfaceArrayWithNullImage();
  ASSERT_EQ(nullImage.size(), 5u);
  EXPECT_TRUE(nullImage.back().isNil());
  EXPECT_EQ(nullImage[3].objectIf<Surface>(), s[3]);

  auto breaks = Lens::create();
  breaks->insertInSurfaces(Surface::create());
  breaks->insertInSurfaces(SurfaceTypeRegistry::shared().surfaceOfType("Break"));
  breaks->insertInSurfaces(SurfaceTypeRegistry::shared().surfaceOfType("Break"));
  breaks->insertInSurfaces(Surface::create());
  EXPECT_EQ(breaks->focusSurface(), breaks->surfaceArray()[1]) << "only breaks before the image: surface 1";
  EXPECT_EQ(lensWithSurfaces(2)->focusSurface(), nullptr);
}

TEST_F(LensTest, DivergenceTypeTakesItsValueFromTheParaxialData) {
  auto lens = lensWithSurfaces(3);
  lens->surfaceArray()[1]->setIsStop(true);
  lens->setParaxialData({{"infiniteConjugateImageSpaceNumericalAperture", 0.125}, {"imageSpaceFocalRatio", 1.0 / 0.0}});
  lens->setSourceDivergenceType(6);
  EXPECT_EQ(lens->sourceDivergenceValue(), 0.125);
  lens->setSourceDivergenceType(4);
  EXPECT_EQ(lens->sourceDivergenceValue(), 0.125) << "an infinite value is not taken";
  lens->setSourceDivergenceType(3);
  EXPECT_EQ(lens->surfaceArray()[1]->semidiameterSolveType(), Surface::kSemiFixed);
  EXPECT_FALSE(lens->canEditSourceDivergenceValue());
  lens->setEntrancePupilDiameter(8);
  EXPECT_EQ(lens->sourceDivergenceType(), 0);
  EXPECT_EQ(lens->sourceDivergenceValue(), 8);
}

// --- key paths and rename maps -------------------------------------------------------------------

TEST_F(LensTest, KeyPathsReachEveryCollection) {
  auto lens = lensWithSurfaces(7);
  auto glass = materials::Glass::glassWithIndex(1.6, 40);
  lens->surfaceArray()[1]->setGlass(glass);
  auto beam = platform::makeObject<TestBeam>();
  lens->insertObjectInBeamArrayAtIndex(beam, 0);

  lens->setValueForKeyPath("s3.thickness", 4.5);
  lens->setValueForKeyPath("w0.wavelength", 656.27);
  lens->setValueForKeyPath("f0.y", 7.0);
  lens->setValueForKeyPath("g0.referenceIndex", 1.7);
  lens->setValueForKeyPath("b0.waist", 0.25);
  EXPECT_EQ(lens->surfaceArray()[3]->thickness(), 4.5);
  EXPECT_EQ(lens->valueForKeyPath("s3.thickness").asDouble(), 4.5);
  EXPECT_EQ(lens->valueForKeyPath("w0.wavelength").asDouble(), 656.27);
  EXPECT_EQ(lens->valueForKeyPath("f0.y").asDouble(), 7.0);
  EXPECT_EQ(glass->referenceIndex(), 1.7);
  EXPECT_EQ(beam->waist, 0.25);
  EXPECT_EQ(lens->valueForKeyPath("primaryWave.wavelength").asDouble(), 656.27);
  EXPECT_EQ(lens->valueForKey("S2").objectIf<Surface>(), lens->surfaceArray()[2]) << "letters ignore case";
  EXPECT_EQ(lens->valueForKey("s2x").objectIf<Surface>(), lens->surfaceArray()[2]);

  for (const char* missing : {"s7.thickness", "s-1", "sx", "w1", "b1.waist", "g1"}) {
    SCOPED_TRACE(missing);
    EXPECT_TRUE(lens->valueForKeyPath(missing).isNil());
  }
  EXPECT_NO_THROW(lens->setValueForKeyPath("s9.thickness", 1.0)) << "a vanished member is not written";
  try {
    lens->valueForKey("x3");
    FAIL() << "x3 must raise";
  } catch (const platform::Exception& e) {
    EXPECT_EQ(e.name(), "NSUnknownKeyException");
  }

  const auto before = lens->surfaceArray()[3];
  lens->setValueForKey("s3", Value(Surface::create()));
  lens->setValueForKey("apodizationType", "Gaussian");
  EXPECT_EQ(lens->surfaceArray()[3], before) << "setting a member name changes nothing";

  lens->insertObjectInWaveArrayAtIndex(Wave::wave(), 1);
  lens->insertObjectInWaveArrayAtIndex(Wave::wave(), 2);
  EXPECT_EQ(lens->keyPathForObject(*lens->waveArray()[2]), "w2");
  EXPECT_EQ(lens->keyPathForObject(*glass), "g0");
  EXPECT_EQ(lens->keyPathForObject(*Wave::wave()), std::nullopt);
}

TEST_F(LensTest, VariablesSkipUnusedGlassesButCountThemInIndexes) {
  auto lens = lensWithSurfaces(3);
  auto unused = materials::Glass::glassWithIndex(1.5, 60);
  lens->insertObjectInGlassArrayAtIndex(unused, 0);
  unused->setReferenceIndexIsVariable(true);
  auto used = materials::Glass::glassWithIndex(1.6, 40);
  lens->surfaceArray()[1]->setGlass(used);
  used->setReferenceAbbeIsVariable(true);
  lens->surfaceArray()[1]->setThicknessSolveType(1);
  auto beam = platform::makeObject<TestBeam>();
  beam->waistIsVariable = true;
  lens->insertObjectInBeamArrayAtIndex(beam, 0);

  EXPECT_EQ(lens->keyPathsForVariables(), (std::vector<std::string>{"s1.thickness", "g1.referenceAbbe", "b0.waist"}));
}

TEST_F(LensTest, InsertionsAndRemovalsHandOutRenameMaps) {
  auto lens = lensWithSurfaces(6);
  auto doc = attach(*lens);
  lens->insertObjectInSurfaceArrayAtIndex(Surface::create(), 3);
  lens->removeObjectFromSurfaceArrayAtIndex(3);
  lens->insertObjectInSurfaceArrayAtIndex(Surface::create(), 6);
  lens->insertObjectInFieldArrayAtIndex(Field::field(), 0);  // fields and waves: no map
  ASSERT_EQ(doc->renameMaps.size(), 3u);
  EXPECT_EQ(doc->renameMaps[0], (Dictionary{{"s3", "s4"}, {"s4", "s5"}, {"s5", "s6"}}));
  EXPECT_EQ(doc->renameMaps[1], (Dictionary{{"s3", ""}, {"s4", "s3"}, {"s5", "s4"}, {"s6", "s5"}}));
  EXPECT_TRUE(doc->renameMaps[2].empty()) << "an insertion after the image surface renames nothing";

  const Dictionary& removal = doc->renameMaps[1];
  EXPECT_EQ(keypath::rewrite("s5.thickness", removal), "s4.thickness");
  EXPECT_EQ(keypath::rewrite("s3.thickness", removal), std::nullopt) << "the removed surface's path is dropped";
  EXPECT_EQ(keypath::rewrite("s1.curvature", removal), "s1.curvature");
  EXPECT_EQ(keypath::rewrite("w3.weight", removal), "w3.weight");
}

TEST_F(LensTest, RemovingASurfaceDetachesPickupsFromIt) {
  auto lens = lensWithSurfaces(5);
  const auto s = lens->surfaceArray();
  s[3]->setThicknessSolveTypeSurface(5, s[2]);
  ASSERT_EQ(s[3]->thicknessSolveSurface(), s[2]);
  lens->removeObjectFromSurfaceArrayAtIndex(2);
  EXPECT_NE(s[3]->thicknessSolveSurface(), s[2]);
}

// --- the change cycle -----------------------------------------------------------------------------

TEST_F(LensTest, ABurstOfEditsRunsOneCycleInOrder) {
  auto lens = lensWithSurfaces(4);
  auto doc = attach(*lens);
  std::vector<std::string> seen;
  Lens::setSystemGenerator([&](Lens& l) {
    seen.push_back(l.isBusy() ? "generate while busy" : "generate while idle");
    doc->calls.push_back("generate");
  });
  RunLoop::main().runUntilIdle();
  doc->calls.clear();
  seen.clear();

  for (int i = 0; i < 10; ++i) lens->surfaceArray()[1]->setThickness(1.0 + i);
  lens->setValueForKeyPath("w0.weight", 2.0);
  lens->setUseRayAiming(true);
  RunLoop::main().runUntilIdle();
  EXPECT_EQ(doc->calls, (std::vector<std::string>{"primeUndo", "generate", "lensIsReady"}));
  EXPECT_EQ(seen, std::vector<std::string>{"generate while busy"});
  EXPECT_TRUE(lens->isReady());
  EXPECT_FALSE(lens->isBusy());

  doc->calls.clear();
  lens->surfaceArray()[2]->setThickness(3);
  lens->trigger();
  EXPECT_EQ(doc->count("generate"), 1u) << "trigger runs the cycle at once";
  RunLoop::main().runUntilIdle();
  EXPECT_EQ(doc->count("generate"), 1u) << "and leaves nothing queued";
}

TEST_F(LensTest, BounceLimitFromTheUserDefaultsStartsAChangeCycle) {
  auto lens = lensWithSurfaces(3);
  auto doc = attach(*lens);
  Lens::setSystemGenerator([&](Lens&) { doc->calls.push_back("generate"); });
  RunLoop::main().runUntilIdle();
  doc->calls.clear();
  auto& defaults = platform::UserDefaults::standard();
  const Value before = defaults.objectForKey("lightPipeMaxBounces");
  defaults.setObject("lightPipeMaxBounces", Value(7));
  RunLoop::main().runUntilIdle();
  EXPECT_EQ(lens->lightPipeMaxBounces(), 7);
  EXPECT_EQ(doc->count("generate"), 1u);
  // Back to the factory value (or the user's own).
  defaults.removeObject("lightPipeMaxBounces");
  if (!before.isNil() && before != defaults.objectForKey("lightPipeMaxBounces"))
    defaults.setObject("lightPipeMaxBounces", before);
}

TEST_F(LensTest, AFailingUpdateIsStoredAsTheWarning) {
  auto lens = lensWithSurfaces(3);
  auto doc = attach(*lens);
  bool fail = true;
  Lens::setSystemGenerator([&](Lens&) {
    if (fail) platform::Exception::raise("Generation exception", "no paraxial ray");
  });
  lens->setNumberOfRaysPerField(5);
  EXPECT_NO_THROW(RunLoop::main().runUntilIdle());
  EXPECT_FALSE(lens->isBusy());
  EXPECT_FALSE(lens->isReady());
  EXPECT_EQ(lens->warning(), "System update failure (Generation exception : no paraxial ray)");
  EXPECT_EQ(doc->count("lensIsReady"), 0u);

  fail = false;
  lens->trigger();
  EXPECT_EQ(lens->warningReUpdate(), std::nullopt) << "the next good cycle clears it";
  EXPECT_TRUE(lens->isReady());
}

TEST_F(LensTest, WarningsFollowTheirPriority) {
  auto lens = Lens::create();
  lens->setWarningReTrace("trace");
  lens->setWarningReGrinDispersion("grin");
  EXPECT_EQ(lens->warning(), "grin");
  lens->setWarningReUpdate("update");
  EXPECT_EQ(lens->valueForKey("warning").asString(), "update");
}

// --- glasses ------------------------------------------------------------------------------------------

std::shared_ptr<materials::GlassCatalog> catalog(const char* name, const char* agf) {
  auto c = materials::GlassCatalog::glassCatalogWithZemaxString(agf);
  c->stamp(std::string(name), std::string("ZEMAX"), std::string(name));
  return c;
}

std::shared_ptr<materials::GlassCatalog> systemLibrary() {
  auto all = materials::GlassCatalog::glassCatalog();
  all->addGlassesFromCatalog(*catalog("SCHOTT", "NM N-BK7 2 517642 1.5168 64.17\nNM F2 2 620364 1.62004 36.37\n"));
  all->addGlassesFromCatalog(*catalog("HOYA", "NM BSC7 2 517642 1.5168 64.2\nNM F2 2 620363 1.62004 36.3\n"));
  all->addGlassesFromCatalog(*catalog("OHARA", "NM N-BK7 2 516641 1.5163 64.1\nNM 7980 2 458678 1.4585 67.8\n"));
  return all;
}

TEST_F(LensTest, GlassNamesResolveThroughTheCatalogs) {
  auto library = systemLibrary();
  glassresolution::setSystemGlassLibraryProvider([library] { return library; });
  auto lens = Lens::create();
  struct Case {
    const char* name;
    const char* glass;
    const char* catalog;
    std::vector<std::string> preferred;
  };
  const Case cases[] = {
      {"BK7", "N-BK7", "SCHOTT", {}},          {"NBK7", "N-BK7", "SCHOTT", {}},
      {"n-bk7", "N-BK7", "SCHOTT", {}},        {"N-BK7_OHARA", "N-BK7", "OHARA", {}},
      {"F2", "F2", "HOYA", {"HOYA", "SCHOTT"}}, {"7980", "7980", "OHARA", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    lens->setPreferredCatalogs(c.preferred.empty() ? std::nullopt : std::optional(c.preferred));
    auto g = lens->glassForName(c.name, nullptr);
    ASSERT_TRUE(g);
    EXPECT_FALSE(g->isDummy());
    EXPECT_EQ(g->name(), c.glass);
    EXPECT_EQ(g->catalogName(), c.catalog);
    for (const auto& entry : library->glassArray()) EXPECT_NE(g, entry) << "the lens gets a copy";
  }
  EXPECT_TRUE(glassresolution::lookupGlassWithName("N-BK7_XYZ", library->glassArray(), {}) == nullptr);

  auto doc = attach(*lens);
  doc->local = catalog("MINE", "NM FOO 2 600400 1.6 40\n");
  EXPECT_FALSE(lens->glassForName("foo", nullptr)->isDummy()) << "the document's glasses come before a dummy";
}

TEST_F(LensTest, NumberNamesGiveModelGlasses) {
  glassresolution::setSystemGlassLibraryProvider([] { return systemLibrary(); });
  auto lens = lensWithSurfaces(3);
  auto s = lens->surfaceArray()[1];
  s->setGlassName("N-BK7");
  ASSERT_EQ(s->glass()->catalogName(), "SCHOTT");

  s->setGlassName("517642");
  EXPECT_TRUE(s->glass()->isModel());
  EXPECT_EQ(s->glass()->name(), "517642");
  EXPECT_DOUBLE_EQ(s->glass()->referenceIndex(), 1.517);
  EXPECT_DOUBLE_EQ(s->glass()->referenceAbbe(), 64.2);
  auto model = s->glass();
  s->setGlassName("1.7");
  EXPECT_EQ(s->glass(), model) << "retyping a model glass edits it";
  EXPECT_EQ(s->glass()->referenceAbbe(), 64.2) << "a lone index keeps the Abbe number";

  struct Case {
    const char* name;
    bool model;
    double nd, vd;
  };
  const Case cases[] = {{"1.5,60", true, 1.5, 60},  {"1.7", true, 1.7, 0},      {"517:642", true, 1.517, 64.2},
                        {"7980", false, 0, 0},      {"5176420", false, 0, 0},   {"17,3", false, 0, 0},
                        {"1.5x", false, 0, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto parsed = glassresolution::parseModelGlassName(c.name);
    ASSERT_EQ(parsed.has_value(), c.model);
    if (!c.model) continue;
    auto g = lens->glassForName(c.name, nullptr);
    EXPECT_EQ(g->name(), c.name);
    EXPECT_DOUBLE_EQ(g->referenceIndex(), c.nd);
    EXPECT_DOUBLE_EQ(g->referenceAbbe(), c.vd);
  }
}

// SCHOTT lists N-SF5 before SF5 (n-variants.agf does too): the glass named wins over a
// variant spelling wherever it stands in the search order; variants are the fallback.
TEST_F(LensTest, TheNameAsWrittenComesBeforeItsVariants) {
  auto variants = materials::GlassCatalog::glassCatalogWithContentsOfZemaxFile(std::string(ORB_TEST_DATA_DIR) +
                                                                               "/glass/n-variants.agf");
  ASSERT_TRUE(variants);
  variants->stamp(std::string("SCHOTT"), std::string("ZEMAX"), std::string("SCHOTT"));
  auto library = materials::GlassCatalog::glassCatalog();
  library->addGlassesFromCatalog(*variants);
  glassresolution::setSystemGlassLibraryProvider([library] { return library; });
  auto lens = lensWithSurfaces(4);
  struct Case {
    const char* name;
    std::vector<std::string> preferred;
    const char* glass;
  };
  const Case cases[] = {
      {"SF5", {"SCHOTT"}, "SF5"}, {"SF5", {}, "SF5"},     {"sf1", {"SCHOTT"}, "SF1"},
      {"SF5_SCHOTT", {}, "SF5"},  {"NSF5", {}, "N-SF5"},  {"BK7", {"SCHOTT"}, "N-BK7"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    lens->setPreferredCatalogs(c.preferred.empty() ? std::nullopt : std::optional(c.preferred));
    auto g = lens->glassForName(c.name, nullptr);
    ASSERT_TRUE(g);
    EXPECT_EQ(g->name(), c.glass);
  }

  // The lens's own list comes first in the search order, yet its N-SF5 does not stand in
  // for the SF5 the system catalog holds.
  lens->setPreferredCatalogs(std::nullopt);
  const auto& s = lens->surfaceArray();
  s[1]->setGlassName("N-SF5");
  ASSERT_EQ(lens->countOfGlassArray(), 1u);
  s[2]->setGlassName("SF5");
  EXPECT_EQ(s[2]->glass()->name(), "SF5");
}

// A glass no catalog holds, as a lens file describes it (nd and Vd on its line): traced as
// the model glass of those numbers, reported as unknown, and replaced once a catalog has it.
TEST_F(LensTest, UnknownGlassWithItsFileIndexStandsInUntilACatalogHasIt) {
  auto library = materials::GlassCatalog::glassCatalog();
  glassresolution::setSystemGlassLibraryProvider([&library] { return library; });
  auto lens = lensWithSurfaces(4);
  const auto& s = lens->surfaceArray();
  s[1]->setGlass(materials::Glass::dummyGlassWithName("X", 1.5168, 64.17));
  s[2]->setGlassName("FOO");
  auto standIn = s[1]->glass();
  lens->resolveGlass();
  EXPECT_EQ(s[1]->glass(), standIn);
  EXPECT_DOUBLE_EQ(s[1]->glass()->indexAtWavelengthInMicrons(materials::spectral::kLambdaD), 1.5168);
  EXPECT_FALSE(lens->glassCheck());
  EXPECT_EQ(lens->warningReGlass(), "Unknown glass: FOO; Unknown glass X: model glass 1.5168/64.17 from the file used");

  library = catalog("SCHOTT", "NM X 2 600400 1.6 40\n");
  lens->resolveGlass();
  EXPECT_EQ(s[1]->glass()->catalogName(), "SCHOTT");
  EXPECT_EQ(lens->namesOfUnknownGlasses(), (std::vector<std::string>{"FOO"}));
}

// What the glass check says of glasses that are found but are not what they seem: used
// outside their wavelength range (an extrapolated formula) or of a formula nobody knows.
TEST_F(LensTest, GlassCheckWarnsOfGlassesOutsideTheirRangeOrFormula) {
  auto infrared = materials::GlassCatalog::glassCatalogWithContentsOfZemaxFile(std::string(ORB_SOURCE_DIR) +
                                                                               "/resources/glass/INFRARED.AGF");
  ASSERT_TRUE(infrared);
  auto library = materials::GlassCatalog::glassCatalog();
  library->addGlassesFromCatalog(*infrared);
  library->addGlassesFromCatalog(*catalog("OTHER", "NM STRANGE 14 517642 1.5168 64.17\nLD 0.3 2.5\n"));
  glassresolution::setSystemGlassLibraryProvider([library] { return library; });
  struct Case {
    const char* name;
    const char* glass;
    std::vector<double> microns;
    std::optional<std::string> warning;
  };
  const std::vector<Case> cases = {
      {"germanium in its range", "GERMANIUM", {8, 10, 12}, std::nullopt},
      {"germanium in visible light", "GERMANIUM", {10, 0.58756},
       "Glass GERMANIUM used at 0.58756 µm, outside its range 2–14 µm"},
      {"unknown formula", "STRANGE", {0.58756}, "Glass STRANGE: dispersion formula 14 is not known; index from nd and Vd used"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto lens = lensWithSurfaces(3);
    Lens::Waves waves;
    for (double lambda : c.microns) {
      auto w = Wave::wave();
      w->setWavelengthInMicrons(lambda);
      waves.push_back(w);
    }
    lens->setWaveArray(waves);
    lens->surfaceArray()[1]->setGlassName(c.glass);
    ASSERT_FALSE(lens->surfaceArray()[1]->glass()->isDummy());
    EXPECT_EQ(lens->glassCheck(), !c.warning);
    EXPECT_EQ(lens->warningReGlass(), c.warning);
  }
}

TEST_F(LensTest, UnknownGlassesAreReportedAndResolvedLater) {
  auto library = materials::GlassCatalog::glassCatalog();
  glassresolution::setSystemGlassLibraryProvider([&library] { return library; });
  auto lens = lensWithSurfaces(5);
  const auto& s = lens->surfaceArray();
  s[1]->setGlassName("FOO");
  s[2]->setGlassName("BAR");
  s[3]->setGlassName("FOO");
  EXPECT_FALSE(lens->glassCheck());
  EXPECT_EQ(lens->warningReGlass(), "Unknown glasses: FOO, BAR");
  lens->trigger();
  EXPECT_EQ(lens->warning(), "Unknown glasses: FOO, BAR") << "the update runs the check";

  library = catalog("SCHOTT", "NM FOO 2 600400 1.6 40\nNM BAR 2 700300 1.7 30\n");
  lens->resolveGlass();
  EXPECT_TRUE(lens->glassCheck());
  EXPECT_EQ(lens->warningReGlass(), std::nullopt);
  EXPECT_EQ(s[1]->glass()->catalogName(), "SCHOTT");
  EXPECT_EQ(s[1]->glass(), s[3]->glass()) << "one object per glass in the lens";
  EXPECT_EQ(lens->countOfGlassArray(), 2u);
}

TEST_F(LensTest, GlassReplacementAsksFirst) {
  auto lens = lensWithSurfaces(4);
  auto doc = attach(*lens);
  auto a = materials::Glass::glassWithIndex(1.5, 60);
  auto b = materials::Glass::glassWithIndex(1.6, 40);
  lens->surfaceArray()[1]->setGlass(a);
  lens->surfaceArray()[2]->setGlass(a);
  auto a1 = lens->surfaceArray()[1]->glass();

  EXPECT_FALSE(lens->replaceGlass(b, a)) << "nobody uses b: no question";
  EXPECT_TRUE(doc->calls.empty());

  doc->replacementAnswer = false;
  EXPECT_THROW(lens->replaceGlass(a1, b), platform::Exception);
  EXPECT_EQ(lens->surfaceArray()[1]->glass(), a1);

  doc->replacementAnswer.reset();
  EXPECT_TRUE(lens->replaceGlass(a1, b));
  EXPECT_EQ(doc->calls.back(), "Glass 1.5,60 will be replaced with 1.6,40 on all surfaces");
  EXPECT_EQ(lens->surfaceArray()[1]->glass(), a1) << "nothing happens before the answer";
  doc->pendingAnswer(true);
  EXPECT_EQ(lens->surfaceArray()[1]->glass()->name(), "1.6,40");
  EXPECT_EQ(lens->surfaceArray()[2]->glass()->name(), "1.6,40");
}

// --- copy, dictionaries and archives -----------------------------------------------------------------

TEST_F(LensTest, ACopyIsIndependentAndPointsIntoItself) {
  auto lens = lensWithSurfaces(5);
  const auto& s = lens->surfaceArray();
  auto spare = materials::Glass::glassWithIndex(1.8, 25);
  lens->insertObjectInGlassArrayAtIndex(spare, 0);
  s[1]->setGlass(materials::Glass::glassWithIndex(1.5, 60));
  s[3]->setGlass(materials::Glass::glassWithIndex(1.6, 40));
  s[3]->setThicknessSolveTypeSurface(5, s[1]);
  lens->setNumberOfRaysPerField(7);
  lens->setSystemName(std::string("Triplet"));
  lens->insertObjectInBeamArrayAtIndex(platform::makeObject<TestBeam>(), 0);

  auto copy = lens->copy();
  ASSERT_EQ(copy->countOfSurfaceArray(), 5u);
  const auto& c = copy->surfaceArray();
  for (std::size_t i = 0; i < 5; ++i) {
    EXPECT_NE(c[i], s[i]);
    EXPECT_EQ(c[i]->thickness(), s[i]->thickness());
  }
  EXPECT_EQ(c[3]->thicknessSolveSurface(), c[1]) << "pickups point into the copy";
  EXPECT_EQ(c[3]->indexInContainer(), 3u);
  EXPECT_EQ(copy->numberOfRaysPerField(), 7);
  EXPECT_EQ(copy->systemName(), "Triplet");
  EXPECT_NE(copy->fieldArray()[0], lens->fieldArray()[0]);
  EXPECT_NE(copy->beamArray()->at(0), lens->beamArray()->at(0));
  ASSERT_EQ(copy->countOfGlassArray(), 3u);
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(copy->glassArray()[i]->name(), lens->glassArray()[i]->name()) << "the source's glass order";
    EXPECT_NE(copy->glassArray()[i], lens->glassArray()[i]);
  }
  EXPECT_EQ(c[1]->glass(), copy->glassArray()[1]);

  c[1]->setThickness(99);
  EXPECT_NE(s[1]->thickness(), 99);
}

TEST_F(LensTest, ALensDictionaryReplacesTheLens) {
  auto source = lensWithSurfaces(3);
  source->surfaceArray()[1]->setGlass(materials::Glass::glassWithIndex(1.5, 60));
  Dictionary d = source->dictionary();
  d.set("systemName", Value());
  d.set("apodizationType", "Gaussian");
  d.set("sourceDivergenceValue", 12.5);

  auto lens = lensWithSurfaces(5);
  lens->setSystemName(std::string("old"));
  lens->setValuesForDesiredKeysWithDictionary(d);
  EXPECT_EQ(lens->countOfSurfaceArray(), 3u);
  EXPECT_EQ(lens->systemName(), "old") << "a nil value is not applied";
  EXPECT_EQ(lens->sourceDivergenceValue(), 12.5);
  EXPECT_EQ(lens->surfaceArray()[1]->glass(), lens->glassArray()[0]);
  EXPECT_EQ(lens->glassArray()[0]->usageCount(), 1);

  lens->setValuesForDesiredKeysWithDictionary(std::nullopt);
  EXPECT_EQ(lens->countOfSurfaceArray(), 0u);
  EXPECT_EQ(lens->countOfFieldArray(), 0u);
  EXPECT_EQ(lens->countOfWaveArray(), 0u);
}

TEST_F(LensTest, ArchiveRoundTripKeepsEveryMember) {
  auto lens = Lens::create();
  lens->insertInSurfaces(Surface::create());
  // Every type the registry can make (the menu plus the types it does not offer), and the
  // tilted plane that only files carry.
  std::vector<std::string> names = SurfaceTypeRegistry::types();
  for (const char* hidden : {"Gradient 2", "Gradient 5", "Zernike", "Vortex"}) names.push_back(hidden);
  std::vector<std::string> types;
  for (const auto& type : names) {
    if (!SurfaceTypeRegistry::shared().isRegistered(type)) continue;
    auto s = SurfaceTypeRegistry::shared().surfaceOfType(type);
    s->setThickness(static_cast<double>(types.size()) + 0.5);
    s->setComment(type);
    lens->insertInSurfaces(s);
    types.push_back(type);
  }
  lens->insertInSurfaces(Surface::create<SurfaceTilted>());
  lens->insertInSurfaces(Surface::create());
  ASSERT_GE(types.size(), 6u);
  const auto& s = lens->surfaceArray();
  s[1]->setGlass(materials::Glass::glassWithIndex(1.5, 60));
  s[2]->setThicknessSolveTypeSurface(5, s[1]);
  s[1]->setIsStop(true);
  lens->insertObjectInGlassArrayAtIndex(materials::Glass::glassWithIndex(1.9, 20), 0);
  auto field = Field::field();
  field->setY(14);
  lens->insertObjectInFieldArrayAtIndex(field, 1);
  lens->setFieldType("Object height");
  lens->setNotes("two\nlines");
  lens->setPreferredCatalogs(std::vector<std::string>{"SCHOTT"});
  lens->setSourceDivergenceValue(4.25);
  lens->setUseRayAiming(true);
  lens->setAmbientIndexOfRefraction(1.33);

  const std::string path = testing::TempDir() + "lens-roundtrip-" + std::to_string(::getpid()) + ".plist";
  platform::KeyedArchiver::archiveRootObjectToFile(Value(lens), path);
  auto back = platform::KeyedUnarchiver::unarchiveObjectWithFile(path).asObject<Lens>();
  std::remove(path.c_str());

  ASSERT_TRUE(back);
  ASSERT_EQ(back->countOfSurfaceArray(), s.size());
  const auto& b = back->surfaceArray();
  for (std::size_t i = 0; i < s.size(); ++i) {
    SCOPED_TRACE(s[i]->comment());
    EXPECT_EQ(b[i]->className(), s[i]->className());
    EXPECT_EQ(b[i]->type(), s[i]->type());
    EXPECT_EQ(b[i]->thickness(), s[i]->thickness());
    EXPECT_EQ(b[i]->countOfParameterArray(), s[i]->countOfParameterArray());
    EXPECT_EQ(b[i]->indexInContainer(), i);
  }
  EXPECT_EQ(b[2]->thicknessSolveSurface(), b[1]);
  EXPECT_EQ(back->stopSurface(), b[1]);
  ASSERT_EQ(back->countOfGlassArray(), 2u);
  EXPECT_EQ(back->glassArray()[0]->name(), "1.9,20");
  EXPECT_EQ(b[1]->glass(), back->glassArray()[1]);
  EXPECT_EQ(back->countOfFieldArray(), 2u);
  EXPECT_EQ(back->fieldArray()[1]->y(), 14);
  EXPECT_EQ(back->fieldType(), "Object height");
  EXPECT_EQ(back->notes(), "two\nlines");
  EXPECT_EQ(back->preferredCatalogs(), (std::vector<std::string>{"SCHOTT"}));
  EXPECT_EQ(back->sourceDivergenceValue(), 4.25);
  EXPECT_TRUE(back->useRayAiming());
  EXPECT_NEAR(back->ambientIndexOfRefraction(), 1.33, 1e-12);
  EXPECT_EQ(back->numberOfRaysPerField(), 21);

  test::DictionaryCoder keyed;
  lens->encodeWithCoder(keyed);
  EXPECT_EQ(keyed.values.keys().size(), Lens::coderKeys().size());
  struct PlainCoder : platform::Coder {};
  PlainCoder plain;
  try {
    lens->encodeWithCoder(plain);
    FAIL();
  } catch (const platform::Exception& e) {
    EXPECT_EQ(e.name(), "NSInvalidArchiveOperationException");
    EXPECT_EQ(e.reason(), "Lens class only supports NSKeyedArchiver coders");
  }
}

}  // namespace
}  // namespace orb::lens

namespace orb::lens {
// A "$null" in an archived wave, surface or parameter array decodes to nil; it must be
// refused (or passed over), never taken as a member.
TEST_F(LensTest, ANullInAnArchivedArrayIsNeverAMember) {
  auto lens = Lens::create();
  lens->insertInSurfaces(SurfaceTypeRegistry::shared().surfaceOfType("Break"));  // a surface with parameters
  lens->insertInSurfaces(Surface::create());
  const Value archive = platform::plist::parse(
      platform::KeyedArchiver::archivedDataWithRootObject(Value(lens), platform::PlistFormat::XML));
  auto uid = [](const Value& reference) { return static_cast<std::size_t>(reference.asDictionary().get("CF$UID").asInt()); };

  struct Case {
    const char* name;
    std::vector<const char*> path;  // keys from the lens to the array, through each array's first member
    bool refused;
  };
  const std::vector<Case> cases = {
      {"wave-array", {"waveArray"}, true},
      {"surface-array", {"surfaceArray"}, true},
      {"field-array", {"fieldArray"}, true},
      {"parameter-array", {"surfaceArray", "parameterArray"}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Dictionary root = archive.asDictionary();
    platform::Array objects = root.get("$objects").asArray();
    std::size_t at = uid(root.get("$top").asDictionary().get("root"));
    for (std::size_t k = 0; k < c.path.size(); ++k) {
      at = uid(objects[at].asDictionary().get(c.path[k]));
      if (k + 1 < c.path.size()) at = uid(objects[at].asDictionary().get("NS.objects").asArray().at(0));
    }
    Dictionary array = objects[at].asDictionary();
    platform::Array members = array.get("NS.objects").asArray();
    ASSERT_FALSE(members.empty());
    members[0] = Dictionary{{"CF$UID", 0}};  // "$null"
    array.set("NS.objects", members);
    objects[at] = array;
    root.set("$objects", objects);
    const auto bytes = platform::plist::serialize(root, platform::PlistFormat::XML);
    if (c.refused) {
      try {
        platform::KeyedUnarchiver::unarchiveObjectWithData(bytes);
        ADD_FAILURE() << "a lens with a null member was made";
      } catch (const platform::Exception& e) {
        EXPECT_NE(e.reason().find("null"), std::string::npos) << e.reason();
      }
    } else {
      auto back = platform::KeyedUnarchiver::unarchiveObjectWithData(bytes).asObject<Lens>();
      for (const auto& p : back->surfaceArray()[0]->parameterArray()) EXPECT_TRUE(p);
    }
  }
}

TEST_F(LensTest, ConfigurationsApplyTheirValues) {
  auto lens = lensWithSurfaces(5);
  // Plain values, and the {value, isVariable} entries the Zemax reader produces.
  lens->setMulticonfigurationArray(platform::Array{
      platform::Dictionary{{"s2.thickness", 7.5}},
      platform::Dictionary{{"s2.thickness", platform::Dictionary{{"value", 3.25}, {"isVariable", true}}},
                           {"x9.nothing", 1}}});
  lens->setConfiguration(0);
  EXPECT_EQ(lens->surfaceArray()[2]->thickness(), 7.5);
  lens->setConfiguration(1);  // the bad path is logged and skipped
  EXPECT_EQ(lens->surfaceArray()[2]->thickness(), 3.25);
}
}  // namespace orb::lens

namespace orb::lens {
TEST_F(LensTest, AnUnchangedWarningIsNotAnnouncedAgain) {
  // Traces on worker threads set the trace warning on every run; observers on the main
  // thread should hear of changes only.
  auto lens = lensWithSurfaces(3);
  int changes = 0;
  auto watch = lens->addObserver("warningReTrace", [&](const platform::ObservedChange&) { ++changes; });
  lens->setWarningReTrace(std::string("Ray trace failure (x : y)"));
  lens->setWarningReTrace(std::string("Ray trace failure (x : y)"));
  lens->setWarningReTrace(std::nullopt);
  lens->setWarningReTrace(std::nullopt);
  EXPECT_EQ(changes, 2);
  EXPECT_FALSE(lens->warning().has_value());
}
}  // namespace orb::lens

namespace orb::lens {
TEST_F(LensTest, VignettedFieldPredicatePicksExactlyTheVignettedFields) {
  auto plain = Field::field();
  auto offAxis = Field::field();
  offAxis->setY(14);  // position alone is no vignetting
  auto clipped = Field::field();
  clipped->setPXA(-0.8);
  auto unknown = Field::field();
  unknown->setPYB(std::nan(""));  // a factor that is not a number is not the default either
  auto restored = Field::field();
  restored->setPYA(0.5);
  restored->setPYA(Field::kDefaultPYA);
  const Lens::Fields fields{plain, clipped, offAxis, nullptr, unknown, restored};
  Lens::Fields picked;
  std::copy_if(fields.begin(), fields.end(), std::back_inserter(picked), Lens::vignettedFieldPredicate());
  EXPECT_EQ(picked, (Lens::Fields{clipped, unknown}));
}

TEST_F(LensTest, GlassConnectivityNamesGlassesAndContainersWithoutAddresses) {
  auto lens = lensWithSurfaces(5);
  lens->insertObjectInGlassArrayAtIndex(materials::Glass::glassWithIndex(1.5, 60), 0);  // g0, unused
  lens->surfaceArray()[1]->setGlass(materials::Glass::glassWithIndex(1.6, 40));      // joins as g1
  lens->surfaceArray()[2]->setGlass(materials::Glass::dummyGlassWithName("NOSUCH"));  // dummies stay outside
  auto elsewhere = materials::GlassCatalog::glassCatalog();
  elsewhere->addObject(materials::Glass::glassWithIndex(1.7, 30));
  auto foreign = materials::Glass::dummyGlassWithName("ELSEWHERE");
  elsewhere->addObject(foreign);
  foreign->setContainer(elsewhere);  // as a document's catalog holds its glasses
  lens->surfaceArray()[3]->setGlass(foreign);
  ASSERT_EQ(lens->surfaceArray()[3]->glass(), foreign);

  EXPECT_EQ(lens->listGlassConnectivity(), (std::vector<std::string>{
                                               "s1 1 g1 1.6,40 usageCount=1 container=lens",
                                               "s2 0 g- NOSUCH usageCount=1 container=none",
                                               "s3 0 g1 ELSEWHERE usageCount=1 container=other",
                                           }));
}
}  // namespace orb::lens
