#include <gtest/gtest.h>

#include <limits>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "lens/CoordinateBreak.h"
#include "lens/SolveCodes.h"
#include "lens/Surface.h"
#include "lens/SurfaceParaxial.h"
#include "lens/SurfaceTilted.h"
#include "materials/Glass.h"
#include "platform/NotificationCenter.h"
#include "platform/RunLoop.h"

using namespace orb;
using namespace orb::lens;

namespace {

/// The surfaces of a lens, without the lens: enough for references, indices and menus.
class SurfaceList : public SurfaceContainer {
 public:
  std::vector<std::shared_ptr<Surface>> surfaces;
  const std::vector<std::shared_ptr<Surface>>& containedSurfaces() const override { return surfaces; }
};

/// `count` standard surfaces in one list; the list is kept alive by the fixture.
struct Singlet {
  std::shared_ptr<SurfaceList> list = std::make_shared<SurfaceList>();
  explicit Singlet(int count = 4) {
    for (int i = 0; i < count; ++i) list->surfaces.push_back(Surface::create());
    for (auto& s : list->surfaces) s->setContainer(list);
  }
  Surface& operator[](std::size_t i) const { return *list->surfaces[i]; }
  std::shared_ptr<Surface> at(std::size_t i) const { return list->surfaces[i]; }
};

/// Counts the notifications of one name that reach the default centre.
struct Asked {
  int count = 0;
  platform::Observation observation;
  explicit Asked(const std::string& name)
      : observation(platform::NotificationCenter::defaultCenter().addObserver(
            name, {}, [this](const platform::Notification&) { ++count; })) {}
  int afterIdle() {
    platform::RunLoop::main().runUntilIdle();
    return count;
  }
};

}  // namespace

// --- codes: letters and descriptions ------------------------------------------------------

TEST(SolveCodes, LettersAndDescriptionsOfEveryCode) {
  struct Row {
    const char* name;
    std::string letter, description;
    std::string expectedLetter, expectedDescription;
  };
  using namespace solve;
  const std::vector<Row> rows{
      {"thickness-fixed", thicknessSolveLetter(0), thicknessDescription(0, 1, 1, 1, 0, "2"), "", "user-specified"},
      {"thickness-marginal", thicknessSolveLetter(2), thicknessDescription(2, 1.5, 1, 1, 0, "2"), "M",
       "paraxial marginal ray height 1.5"},
      {"thickness-edge", thicknessSolveLetter(4), thicknessDescription(4, 3, 1, 1, 0, "2"), "E", "edge thickness 3"},
      {"thickness-pickup", thicknessSolveLetter(5), thicknessDescription(5, 0, 1, 2, 0, "2"), "P",
       "pick up from surface 2 with scale 2"},
      {"thickness-pickup-offset", thicknessSolveLetter(5), thicknessDescription(5, 0, 1, 2, 0.5, "2"), "P",
       "pick up from surface 2 with scale 2, offset 0.5"},
      {"thickness-opd", thicknessSolveLetter(6), thicknessDescription(6, 0.25, 0.7, 1, 0, "2"), "O",
       "OPD 0.25 to be 0.7"},
      {"thickness-total", thicknessSolveLetter(7), thicknessDescription(7, 80, 1, 1, 0, "3 (front)"), "T",
       "total thickness 80 from surface 3 (front)"},
      {"thickness-compensator", thicknessSolveLetter(8), thicknessDescription(8, 1, 1, 1, 0, "2"), "S",
       "unknown code"},
      {"thickness-unknown", thicknessSolveLetter(10), thicknessDescription(10, 1, 1, 1, 0, "2"), "?",
       "unknown code"},
      {"thickness-negative", thicknessSolveLetter(-1), thicknessDescription(-1, 1, 1, 1, 0, "2"), "?",
       "unknown code"},
      {"curvature-fixed", curvatureSolveLetter(0), curvatureDescription(0, 0, 1, "2"), " ", "user-specified"},
      {"curvature-pickup", curvatureSolveLetter(4), curvatureDescription(4, 0, 0.5, "1"), "P",
       "pickup from surface 1, scale 0.5"},
      {"curvature-chief-normal", curvatureSolveLetter(6), curvatureDescription(6, 0, 1, "1"), "n",
       "chief ray normal to surface"},
      {"curvature-concentric-radius", curvatureSolveLetter(10), curvatureDescription(10, 0, 1, "1"), "R",
       "concentric with radius 1"},
      {"curvature-focal-ratio", curvatureSolveLetter(11), curvatureDescription(11, 4, 1, "1"), "F",
       "focal ratio (F/#) 4"},
      {"curvature-unknown", curvatureSolveLetter(12), curvatureDescription(12, 0, 1, "1"), "?",
       "unknown curvature solve"},
      {"conic-fixed", conicLetter(0), conicDescription(0, -1, "1"), "", "fixed value (parabola)"},
      {"conic-pickup", conicLetter(2), conicDescription(2, 0, "1"), "P", "pick up from surface 1"},
      {"conic-unknown", conicLetter(3), conicDescription(3, 0, "1"), "?", "unknown conic constant type: 3"},
      {"semidiameter-fixed", *semidiameterSolveLetter(1), semidiameterDescription(1, 10, "1"), "U",
       "user-specified (maximum would be 10.000)"},
      {"semidiameter-fixed-unbounded", *semidiameterSolveLetter(1),
       semidiameterDescription(1, std::numeric_limits<double>::infinity(), "1"), "U",
       "user-specified (maximum would be infinity)"},
      {"semidiameter-pickup", *semidiameterSolveLetter(2), semidiameterDescription(2, 10, "4"), "P",
       "same as surface 4"},
      {"semidiameter-unknown", *semidiameterSolveLetter(7), semidiameterDescription(7, 10, "4"), "?",
       "unknown solve"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name);
    EXPECT_EQ(r.letter, r.expectedLetter);
    EXPECT_EQ(r.description, r.expectedDescription);
  }
  EXPECT_FALSE(solve::semidiameterSolveLetter(0).has_value()) << "automatic shows no letter";
}

TEST(SolveCodes, ConicShapes) {
  const std::vector<std::pair<double, std::string>> shapes{
      {0.5, "oblate ellipsoid"}, {0, "sphere"},         {-0.5, "prolate ellipsoid"},
      {-1, "parabola"},          {-2, "hyperboloid"},   {std::nan(""), "hyperboloid"}};
  for (const auto& [k, shape] : shapes) EXPECT_EQ(solve::fixedConicDescription(k), shape) << k;
}

TEST(SolveCodes, MenusAlignWithTheirCodes) {
  EXPECT_EQ(solve::thicknessSolveDescriptors().size(), solve::thicknessSolveKeys().size());
  EXPECT_EQ(solve::curvatureSolveDescriptors().size(), solve::curvatureSolveKeys().size());
  EXPECT_EQ(solve::semidiameterSolveKeys(), (std::vector<int>{0, 2, 3, 1, 4}));
  EXPECT_EQ(solve::semidiameterSolveDescriptors()[3], "U fixed...");
  EXPECT_EQ(solve::thicknessSolveDescriptors()[7], "T total length...");
  EXPECT_EQ(solve::curvatureSolveDescriptors()[11], "F focal ratio...");
}

// --- choosing a solve from the menus ---------------------------------------------------------

TEST(SurfaceSolves, TotalLengthTakesThePrecedingSurfaceAndAStickyTarget) {
  Singlet lens;
  Asked asked("thicknessSolveRequiresAttention");
  lens[2].setThicknessSolveDescriptor("T total length...");
  EXPECT_EQ(lens[2].thicknessSolveType(), solve::kThicknessTotalLength);
  EXPECT_EQ(lens[2].thicknessSolveSurface(), lens.at(1));
  EXPECT_TRUE(lens[2].thicknessSolveTargetSticky());
  EXPECT_EQ(lens[2].thicknessSolveDescriptor(), "T total length...");
  EXPECT_EQ(lens[2].thicknessSolveLetter(), "T");
  EXPECT_EQ(asked.count, 0) << "asked when idle, not at once";
  EXPECT_EQ(asked.afterIdle(), 1);

  lens[2].setThicknessSolveTarget(42);
  EXPECT_FALSE(lens[2].thicknessSolveTargetSticky());
  EXPECT_EQ(lens[2].thicknessDescription(), "total thickness 42 from surface 1");
}

TEST(SurfaceSolves, MarginalHeightResetsTargetAndZone) {
  Singlet lens;
  lens[1].setThicknessSolveTypeTargetZone(solve::kThicknessOpd, 3, 0.5);
  lens[1].setThicknessSolveDescriptor("M marginal ray height...");
  EXPECT_EQ(lens[1].thicknessSolveType(), solve::kThicknessMarginalHeight);
  EXPECT_EQ(lens[1].thicknessSolveTarget(), 0);
  EXPECT_EQ(lens[1].thicknessSolveZone(), 1);
}

// A reader hands the marginal-height solve its height and zone with the type (OSLO "PY 1.5",
// CODE V's zone 0); the type's own reset must not win over them.
TEST(SurfaceSolves, CombinedSettersKeepTheGivenTargetAndZone) {
  Singlet lens;
  lens[1].setThicknessSolveTypeTarget(solve::kThicknessMarginalHeight, 1.5);
  EXPECT_EQ(lens[1].thicknessSolveType(), solve::kThicknessMarginalHeight);
  EXPECT_EQ(lens[1].thicknessSolveTarget(), 1.5);
  lens[1].setThicknessSolveTypeTargetZone(solve::kThicknessMarginalHeight, -2, 0);
  EXPECT_EQ(lens[1].thicknessSolveTarget(), -2);
  EXPECT_EQ(lens[1].thicknessSolveZone(), 0);
  lens[2].setThicknessSolveTypeTarget(solve::kThicknessTotalLength, 42);
  EXPECT_EQ(lens[2].thicknessSolveTarget(), 42);
  EXPECT_TRUE(lens[2].thicknessSolveTargetSticky());
}

TEST(SurfaceSolves, OnlySolvesWithInputsAskForThem) {
  Singlet lens;
  struct Row {
    const char* name;
    void (Surface::*choose)(const std::string&);
    std::string descriptor;
    const char* notification;
    int expectedCode;
    int (Surface::*code)() const;
    int expectedAsks;
  };
  const std::vector<Row> rows{
      {"curvature-marginal-angle", &Surface::setCurvatureSolveDescriptor, "M marginal ray angle...",
       "curvatureSolveRequiresAttention", 2, &Surface::curvatureSolveType, 1},
      {"curvature-normal", &Surface::setCurvatureSolveDescriptor, "N marginal ray normal",
       "curvatureSolveRequiresAttention", 5, &Surface::curvatureSolveType, 0},
      {"curvature-aplanatic", &Surface::setCurvatureSolveDescriptor, "A aplanatic",
       "curvatureSolveRequiresAttention", 7, &Surface::curvatureSolveType, 0},
      {"semidiameter-fixed", &Surface::setSemidiameterSolveDescriptor, "U fixed...",
       "semidiameterSolveRequiresAttention", 1, &Surface::semidiameterSolveType, 1},
      {"semidiameter-maximum", &Surface::setSemidiameterSolveDescriptor, "M maximum",
       "semidiameterSolveRequiresAttention", 3, &Surface::semidiameterSolveType, 0},
      {"thickness-variable", &Surface::setThicknessSolveDescriptor, "V variable for optimization",
       "thicknessSolveRequiresAttention", 1, &Surface::thicknessSolveType, 0},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name);
    Asked asked(r.notification);
    (lens[2].*r.choose)(r.descriptor);
    EXPECT_EQ((lens[2].*r.code)(), r.expectedCode);
    EXPECT_EQ(asked.afterIdle(), r.expectedAsks);
  }
}

TEST(SurfaceSolves, TextOutsideTheMenuChangesNothing) {
  Singlet lens;
  lens[1].setCurvatureSolveTypeTarget(solve::kCurvatureChiefAngle, 0.1);
  lens[1].setThicknessSolveTypeTarget(solve::kThicknessEdge, 2);
  lens[1].setSemidiameterSolveType(solve::kSemidiameterVariable);
  lens[1].setCurvatureSolveDescriptor("Q nothing");
  lens[1].setThicknessSolveDescriptor("");
  lens[1].setSemidiameterSolveDescriptor("automatic");  // no leading blanks: not an entry
  EXPECT_EQ(lens[1].curvatureSolveType(), solve::kCurvatureChiefAngle);
  EXPECT_EQ(lens[1].thicknessSolveType(), solve::kThicknessEdge);
  EXPECT_EQ(lens[1].semidiameterSolveType(), solve::kSemidiameterVariable);
}

TEST(SurfaceSolves, SemidiameterDescriptionNamesTheLargestSingleValuedOne) {
  auto sphere = Surface::create();
  sphere->setCurvature(0.1);
  sphere->setSemidiameterSolveType(solve::kSemidiameterFixed);
  EXPECT_EQ(sphere->semidiameterDescription(), "user-specified (maximum would be 10.000)");
  sphere->setCurvature(0);
  EXPECT_EQ(sphere->semidiameterDescription(), "user-specified (maximum would be infinity)");
}

TEST(SurfaceSolves, LastSurfaceShowsNoThicknessSolve) {
  Singlet lens(3);
  EXPECT_TRUE(lens[1].thicknessSolveDescriptorVisible());
  EXPECT_FALSE(lens[2].thicknessSolveDescriptorVisible());
  EXPECT_TRUE(Surface::create()->thicknessSolveDescriptorVisible()) << "outside any lens";
}

TEST(SurfaceSolves, TypesThatFixTheirCurvatureOrGlassSaySo) {
  EXPECT_EQ(Surface::create<SurfaceParaxial>()->curvatureDescription(), "paraxial surface is planar");
  EXPECT_EQ(Surface::create<SurfaceTilted>()->curvatureDescription(), "tilted surface is always planar");
  EXPECT_EQ(Surface::create<CoordinateBreak>()->glassDescription(), "same as previous glass for coordinate break");
}

// --- the glass menu ---------------------------------------------------------------------------

TEST(SurfaceSolves, GlassMenuOffersEveryEarlierSurface) {
  Singlet lens;
  lens[1].setGlassName("N-BK7");
  auto menu = lens[3].glassSolveDescriptors();
  const std::vector<std::string> expected{"  fixed at user-specified value",
                                          "  set to air",
                                          "  set to mirror",
                                          "M model glass",
                                          "P pickup from s0",
                                          "P pickup from s1: N-BK7",
                                          "P pickup from s2"};
  EXPECT_EQ(menu, expected);

  lens[3].setGlassSolveDescriptor("P pickup from s1: N-BK7");
  EXPECT_EQ(lens[3].glassSolveType(), solve::kGlassPickup);
  EXPECT_EQ(lens[3].glassSolveSurface(), lens.at(1));
  EXPECT_EQ(lens[3].glassSolveDescriptor(), "P pickup from s1: N-BK7");
  EXPECT_EQ(lens[3].glassLetter(), "P");
  EXPECT_EQ(lens[3].glassDescription(), "pick up from surface 1");

  lens[3].setGlassSolveDescriptor("P pickup from s9");  // a stale menu
  EXPECT_EQ(lens[3].glassSolveSurface(), lens.at(1));
}

TEST(SurfaceSolves, GlassKindsFromTheMenu) {
  Singlet lens;
  auto& s = lens[1];
  s.setGlassName("N-BK7");  // no lens to resolve it: a dummy of that name
  ASSERT_TRUE(s.glass());

  s.setGlassSolveDescriptor("m mutable glass");
  ASSERT_TRUE(s.glass());
  EXPECT_TRUE(s.glass()->isMutable());
  EXPECT_EQ(s.glassLetter(), "m");
  EXPECT_EQ(s.glassSolveDescriptor(), "m mutable glass");

  s.setGlassSolveDescriptor("M model glass");
  ASSERT_TRUE(s.glass());
  EXPECT_TRUE(s.glass()->isModel());
  EXPECT_EQ(s.glass()->version(), std::optional<std::string>("model"));
  EXPECT_EQ(s.glassLetter(), "M");

  s.setGlassSolveDescriptor("V model glass");  // "V" chooses nothing
  EXPECT_TRUE(s.glass()->isModel());

  s.setGlassSolveDescriptor("  set to mirror");
  EXPECT_TRUE(s.isMirror());
  EXPECT_FALSE(s.glass());

  Asked asked("modelGlassRequiresAttention");
  s.setGlassSolveDescriptor("M model glass");  // from no glass: the user must give nd and Vd
  ASSERT_TRUE(s.glass());
  EXPECT_FALSE(s.glass()->isDummy());
  EXPECT_EQ(asked.afterIdle(), 1);

  s.setGlassSolveDescriptor("  fixed at user-specified value");  // leaves no model glass behind
  EXPECT_FALSE(s.glass());
  s.setGlassSolveDescriptor("  set to air");
  EXPECT_FALSE(s.glass());
  EXPECT_FALSE(s.isMirror());
}

// --- lens-wide lists and removal ---------------------------------------------------------------

TEST(SurfaceSolves, RemovingSolvesKeepsVariables) {
  Singlet lens;
  auto& s = lens[2];
  s.setCurvatureSolveType(solve::kCurvatureVariable);
  s.setThicknessSolveTypeSurfaceScaleOffset(solve::kThicknessPickup, lens.at(1), 2, 0.5);
  s.setConicSolveTypeSurfaceScale(solve::kConicPickup, lens.at(1), 1);
  s.setSemidiameterSolveType(solve::kSemidiameterAutomatic);
  s.setGlassSolveSurface(lens.at(1));
  s.setGlassSolveType(solve::kGlassPickup);
  EXPECT_EQ(s.keyPathsForSolves(), (std::vector<std::string>{"thickness", "curvature", "conicConstant"}));

  s.removeSolves();
  EXPECT_EQ(s.curvatureSolveType(), solve::kCurvatureVariable);
  EXPECT_EQ(s.thicknessSolveType(), solve::kThicknessFixed);
  EXPECT_FALSE(s.thicknessSolveSurface());
  EXPECT_EQ(s.conicSolveType(), solve::kConicFixed);
  EXPECT_FALSE(s.conicSolveSurface());
  EXPECT_EQ(s.semidiameterSolveType(), solve::kSemidiameterFixed) << "automatic becomes fixed";
  EXPECT_EQ(s.glassSolveType(), solve::kGlassAsSet);
  EXPECT_FALSE(s.glassSolveSurface());

  s.setSemidiameterSolveType(solve::kSemidiameterVariable);
  s.removeSolves();
  EXPECT_EQ(s.semidiameterSolveType(), solve::kSemidiameterVariable) << "a variable survives";

  s.removeVariables();
  EXPECT_EQ(s.curvatureSolveType(), solve::kCurvatureFixed);
}

TEST(SurfaceSolves, ParameterPickupsAreSolvesAndGoWithThem) {
  Singlet lens;
  auto brk = Surface::create<CoordinateBreak>();
  lens.list->surfaces.push_back(brk);
  brk->setContainer(lens.list);
  auto dx = brk->parameterForTitle("dx");
  ASSERT_TRUE(dx);
  dx->setSolveType(Parameter::kPickup);
  brk->parameterForTitle("rx")->setSolveType(Parameter::kVariable);
  EXPECT_EQ(brk->keyPathsForSolves(), (std::vector<std::string>{"dx"}));
  brk->removeSolves();
  EXPECT_EQ(dx->solveType(), Parameter::kFixed);
  EXPECT_EQ(brk->parameterForTitle("rx")->solveType(), Parameter::kVariable);
  brk->removeVariables();
  EXPECT_EQ(brk->parameterForTitle("rx")->solveType(), Parameter::kFixed);
}
