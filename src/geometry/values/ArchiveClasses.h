#pragma once

namespace orb::geometry {

/// Registers the geometry layer's archivable classes with the archive registry; called
/// once from the start-up path (and by tests that archive geometry objects).
void registerArchiveClasses();

}  // namespace orb::geometry
