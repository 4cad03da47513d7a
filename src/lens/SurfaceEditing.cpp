#include "lens/SurfaceEditing.h"

#include <algorithm>
#include <cmath>

#include "lens/Lens.h"
#include "lens/Surface.h"
#include "platform/Log.h"

namespace orb::lens {

namespace {

/// What travels with the gap behind a surface when a group is turned round.
struct GapValues {
  platform::Value comment;
  platform::Value glass;
  bool isMirror = false;
  double thickness = 0;
};

GapValues gapValues(const Surface& s) {
  return {s.valueForKey("comment"), s.valueForKey("glass"), s.isMirror(), s.thickness()};
}

void setGapValues(Surface& s, const GapValues& v) {
  s.setValueForKey("comment", v.comment);
  s.setValueForKey("glass", v.glass);
  s.setIsMirror(v.isMirror);  // after the glass, which clears the flag
  s.setThickness(v.thickness);
}

}  // namespace

void flipSurfaces(Lens& lens, std::size_t first, std::size_t last) {
  const auto& surfaces = lens.surfaceArray();
  if (first > last || last >= surfaces.size()) return;
  const std::vector<std::shared_ptr<Surface>> group(surfaces.begin() + static_cast<std::ptrdiff_t>(first),
                                                    surfaces.begin() + static_cast<std::ptrdiff_t>(last) + 1);
  // Solves and pickups measured along the old order mean nothing in the new
  // one.
  for (const auto& s : lens.surfaceArray())
    for (const auto& member : group) s->detachSurface(member);
  for (const auto& s : group) s->removeSolves();

  std::vector<GapValues> old;
  for (const auto& s : group) old.push_back(gapValues(*s));
  for (std::size_t i = 0; i < group.size(); ++i) setGapValues(*group[i], old[(i + group.size() - 1) % group.size()]);
  for (const auto& s : group) s->flip();

  // Swap the ends pairwise, moving inward: one removal and one insertion per
  // moved surface.
  for (std::size_t lo = first, hi = last; lo < hi; ++lo, --hi) {
    auto low = lens.surfaceArray()[lo];
    auto high = lens.surfaceArray()[hi];
    lens.removeObjectFromSurfaceArrayAtIndex(hi);
    lens.removeObjectFromSurfaceArrayAtIndex(lo);
    lens.insertObjectInSurfaceArrayAtIndex(high, lo);
    lens.insertObjectInSurfaceArrayAtIndex(low, hi);
  }
}

void removeSurfaces(Lens& lens, std::vector<std::size_t> indexes) {
  std::sort(indexes.begin(), indexes.end());
  indexes.erase(std::unique(indexes.begin(), indexes.end()), indexes.end());
  std::erase_if(indexes, [&](std::size_t i) { return i >= lens.surfaceArray().size(); });
  if (indexes.empty()) return;
  bool removedStop = false;
  for (auto it = indexes.rbegin(); it != indexes.rend(); ++it) {
    auto removed = lens.surfaceArray()[*it];
    removedStop = removedStop || removed->isStop();
    for (const auto& s : lens.surfaceArray()) s->detachSurface(removed);
  }
  for (auto it = indexes.rbegin(); it != indexes.rend(); ++it) lens.removeObjectFromSurfaceArrayAtIndex(*it);
  if (!removedStop) return;
  const std::size_t before = indexes.front() == 0 ? 0 : indexes.front() - 1;
  const std::size_t next = before == 0 ? 1 : before;
  if (next < lens.surfaceArray().size())
    lens.setStopSurface(lens.surfaceArray()[next]);
  else
    lens.validateStop();
}

std::vector<std::shared_ptr<Surface>> prepareSurfacesForInsertion(std::vector<std::shared_ptr<Surface>> surfaces,
                                                                  bool intoEmptyLens) {
  std::erase(surfaces, nullptr);
  if (intoEmptyLens || surfaces.empty()) return surfaces;
  if (std::isinf(surfaces.front()->thickness())) {
    platform::logText("removing infinite thickness object surface");
    surfaces.erase(surfaces.begin());
  }
  platform::logText("removing solves and stop from in-dragged surfaces");
  for (const auto& s : surfaces) {
    s->removeSolves();
    s->setIsStop(false);
  }
  return surfaces;
}

void insertSurfaces(Lens& lens, const std::vector<std::shared_ptr<Surface>>& surfaces, std::size_t index) {
  index = std::min(index, lens.surfaceArray().size());
  for (const auto& s : surfaces)
    if (s) lens.insertObjectInSurfaceArrayAtIndex(s, index++);
}

}  // namespace orb::lens
