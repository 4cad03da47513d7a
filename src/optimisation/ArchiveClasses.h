#pragma once

namespace orb::optimisation {

/// Registers the merit functions and operands (and, first, the lens layer's classes)
/// with the archive registry. Call once at start-up, before unarchiving a document.
void registerArchiveClasses();

}  // namespace orb::optimisation
