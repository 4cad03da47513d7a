#pragma once

namespace orb::lens {

/// Registers the lens layer's archivable classes (and, first, those of the layers
/// below) with the archive registry. Call once at start-up, before unarchiving a lens.
void registerArchiveClasses();

}  // namespace orb::lens
