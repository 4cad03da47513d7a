#include "lens/SurfaceEditing.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "lens/Lens.h"
#include "lens/Surface.h"

namespace orb::lens {
namespace {

std::shared_ptr<Surface> makeSurface(double curvature, double thickness, const std::string& comment) {
  auto s = Surface::create<Surface>();
  s->setCurvature(curvature);
  s->setThickness(thickness);
  s->setComment(comment);
  return s;
}

// Object, a fold mirror, a refracting surface, image.
std::shared_ptr<Lens> mirrorLens() {
  auto lens = Lens::create();
  lens->setSurfaceArray({makeSurface(0, INFINITY, "object"), makeSurface(0.01, -10, "fold"),
                         makeSurface(-0.02, 5, "after"), makeSurface(0, 0, "image")});
  lens->surfaceArray()[1]->setIsMirror(true);
  return lens;
}

// A single surface only turns round; in a group the mirror flag travels with
// its gap like a glass, so the reflection stays between the same pair of
// surfaces.
TEST(SurfaceEditingTest, FlipKeepsEachGapBetweenTheSamePairOfSurfaces) {
  auto lens = mirrorLens();
  flipSurfaces(*lens, 2, 2);
  const auto& s = lens->surfaceArray();
  EXPECT_DOUBLE_EQ(s[2]->curvature(), 0.02);
  EXPECT_DOUBLE_EQ(s[2]->thickness(), 5);
  EXPECT_EQ(s[2]->comment(), "after");

  lens = mirrorLens();
  const auto fold = lens->surfaceArray()[1], after = lens->surfaceArray()[2];
  flipSurfaces(*lens, 1, 2);
  const auto& f = lens->surfaceArray();
  ASSERT_EQ(f.size(), 4u);
  EXPECT_EQ(f[1], after);
  EXPECT_EQ(f[2], fold);
  EXPECT_DOUBLE_EQ(f[1]->curvature(), 0.02);
  EXPECT_DOUBLE_EQ(f[2]->curvature(), -0.01);
  EXPECT_TRUE(f[1]->isMirror());
  EXPECT_DOUBLE_EQ(f[1]->thickness(), -10);
  EXPECT_EQ(f[1]->comment(), "fold");
  EXPECT_FALSE(f[2]->isMirror());
  EXPECT_DOUBLE_EQ(f[2]->thickness(), 5);
  EXPECT_EQ(f[2]->comment(), "after");

  flipSurfaces(*lens, 2, 1);  // reversed bounds: nothing
  flipSurfaces(*lens, 3, 4);  // past the end: nothing
  EXPECT_EQ(lens->surfaceArray()[1], after);
}

// Surfaces from elsewhere keep their object surface, stop and solves only when
// they make up a new lens.
TEST(SurfaceEditingTest, InsertedSurfacesLoseObjectSurfaceStopAndSolvesUnlessTheLensIsEmpty) {
  auto incoming = [] {
    auto object = makeSurface(0, INFINITY, "object");
    auto stop = makeSurface(0.01, 2, "stop");
    stop->setIsStop(true);
    stop->setValueForKey("thicknessSolveType", 2);
    return std::vector<std::shared_ptr<Surface>>{object, stop};
  };
  auto kept = prepareSurfacesForInsertion(incoming(), true);
  ASSERT_EQ(kept.size(), 2u);
  EXPECT_TRUE(kept[1]->isStop());
  EXPECT_EQ(kept[1]->thicknessSolveType(), 2);

  auto prepared = prepareSurfacesForInsertion(incoming(), false);
  ASSERT_EQ(prepared.size(), 1u);
  EXPECT_EQ(prepared[0]->comment(), "stop");
  EXPECT_FALSE(prepared[0]->isStop());
  EXPECT_EQ(prepared[0]->thicknessSolveType(), 0);

  auto lens = mirrorLens();
  insertSurfaces(*lens, prepared, 99);  // past the end appends
  EXPECT_EQ(lens->surfaceArray().back(), prepared[0]);
}

// Removing the stop right behind the object surface hands it to the surface
// that takes its place; repeated and out-of-range indexes are ignored.
TEST(SurfaceEditingTest, RemovingTheStopBehindTheObjectSurfaceHandsItOn) {
  auto lens = mirrorLens();
  const auto after = lens->surfaceArray()[2];
  lens->setStopSurface(lens->surfaceArray()[1]);
  removeSurfaces(*lens, {1, 1, 17});
  ASSERT_EQ(lens->surfaceArray().size(), 3u);
  EXPECT_EQ(lens->surfaceArray()[1], after);
  EXPECT_EQ(lens->stopSurface(), after);
}

}  // namespace
}  // namespace orb::lens
