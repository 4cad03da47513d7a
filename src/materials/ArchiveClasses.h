#pragma once

namespace orb::materials {

/// Registers the archivable classes of the materials layer ("Glass", "GlassWithCoefficients",
/// "ZemaxGlass", "OsloGlass", "GlassWithIndexData", "GlassCatalog") with the platform's
/// archive registry. Call once at start-up, before unarchiving anything that holds glasses.
void registerArchiveClasses();

}  // namespace orb::materials
