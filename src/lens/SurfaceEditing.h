#pragma once

#include <cstddef>
#include <memory>
#include <vector>

namespace orb::lens {

class Lens;
class Surface;

/// Edits of a lens's surface list made by the surface editor. Every insertion
/// and removal goes through the lens's indexed accessors, so the lens sees each
/// index change (its rename map and its change cycle follow).

/// Turns the surfaces first…last (inclusive, indexes into the surface list) end
/// for end: no surface keeps a reference to them, they lose their solves, their
/// comments, glasses (with the mirror flag) and thicknesses move one place down
/// the group (the last ones go to the first surface) so that every gap stays
/// between the same pair of surfaces, each surface's shape is reversed and the
/// group's order is reversed. Out-of-range or reversed bounds change nothing.
void flipSurfaces(Lens& lens, std::size_t first, std::size_t last);

/// Removes the surfaces at `indexes` (any order, repeats and indexes past the
/// end ignored). No remaining surface keeps a reference to them. When the stop
/// goes, the surface before the first removed one becomes the stop, or the
/// surface at index 1 when that would be the object surface; without such a
/// surface the lens picks its usual stop.
void removeSurfaces(Lens& lens, std::vector<std::size_t> indexes);

/// Readies surfaces coming from elsewhere (a drag, Zemax text) for insertion:
/// into an empty lens they go unchanged; otherwise a leading object surface
/// (infinite thickness) is dropped and the others lose their solves and the
/// stop flag.
std::vector<std::shared_ptr<Surface>> prepareSurfacesForInsertion(std::vector<std::shared_ptr<Surface>> surfaces,
                                                                  bool intoEmptyLens);

/// Inserts `surfaces` at consecutive indexes from `index` (clamped to the end).
void insertSurfaces(Lens& lens, const std::vector<std::shared_ptr<Surface>>& surfaces, std::size_t index);

}  // namespace orb::lens
