#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "materials/GlassCatalog.h"
#include "platform/Value.h"

namespace orb::materials {

/// The system glass catalog: the makers' glasses every installation resolves without set-up.
///
/// It ships as the resource "GlassCatalog.data": a keyed archive of a GlassCatalog,
/// enciphered with the glass-catalog password (made at build time by
/// orb_make_glass_catalog from the AGF files in resources/glass/). Where that resource is
/// missing (a source-tree run), the AGF files themselves are read.
namespace systemcatalog {

/// The password the shipped catalog is enciphered with.
std::string_view password();

/// The enciphered archive of `catalog`, as the resource holds it.
platform::Data archiveData(const GlassCatalog& catalog);
/// The catalog in enciphered archive data; nothing (and `why`) when the data can't be
/// deciphered or holds no glass catalog.
std::shared_ptr<GlassCatalog> catalogFromArchiveData(const platform::Data& data, std::string* why = nullptr);

/// One catalog of the AGF files, in the order given, stamped per file.
std::shared_ptr<GlassCatalog> catalogFromZemaxFiles(const std::vector<std::string>& paths);

/// The catalogs of the system catalog by file stem, in the order it holds them: a bare
/// name that several makers use resolves to the first (SCHOTT's F2, not CDGM's), and the
/// crystals and infrared materials that no maker lists come last.
const std::vector<std::string>& libraryOrder();
/// `paths` in libraryOrder of their file stems (case aside); other files follow in name order.
std::vector<std::string> inLibraryOrder(std::vector<std::string> paths);

/// Loads the system catalog: the resource "GlassCatalog.data", else the AGF files of the
/// resources' "glass" directory; then, when `includeLibraries` is set, the default Zemax
/// and OSLO libraries as the defaults "includeZemaxGlassLibrary" and
/// "includeOsloGlassLibrary" ask. Never null: a catalog that can't be had is empty, with
/// the reason logged and in `why`.
std::shared_ptr<GlassCatalog> load(bool includeLibraries = true, std::string* why = nullptr);

}  // namespace systemcatalog
}  // namespace orb::materials
