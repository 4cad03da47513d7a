#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace orb::materials {
class Glass;
class GlassCatalog;
}  // namespace orb::materials

namespace orb::lens::glassresolution {

/// A glass named by numbers: a six-digit glass code ("517642"), the same with a colon
/// ("517:642"), "nd,Vd" ("1.5,60") or a lone index ("1.7").
struct ModelGlassName {
  double nd = 0;
  std::optional<double> vd;  ///< none for a lone index
  std::string dynamicNameType;  ///< "xxxyyy", "xxx:yyy" or "n,V"
};

/// The model glass a name stands for, or none. The whole name must have one of the forms
/// above and the index must be plausible for an optical material (1 to 5), so that catalog
/// names made of digits ("7980") still reach the catalogs.
std::optional<ModelGlassName> parseModelGlassName(const std::string& name);

using Glasses = std::vector<std::shared_ptr<materials::Glass>>;

/// Which spellings of a name a library glass may have to match it.
enum class NameMatch {
  Exact,    ///< the name itself, case aside
  Variant,  ///< also the name without dashes, "N-" + the name, and glasses named so once
            ///< their own dashes are removed
};

/// A copy of the best match for `name` in `library`, or null. "NAME_CATALOG" prefers that
/// catalog when the library has it; otherwise `preferredCatalogs` are preferred in order,
/// and among the rest the first in library order. The name as written is looked for
/// first; variant spellings only when the library has no glass of that exact name.
std::shared_ptr<materials::Glass> lookupGlassWithName(const std::string& name, const Glasses& library,
                                                      const std::vector<std::string>& preferredCatalogs);
/// The same with one kind of match only.
std::shared_ptr<materials::Glass> lookupGlassWithName(const std::string& name, const Glasses& library,
                                                      const std::vector<std::string>& preferredCatalogs,
                                                      NameMatch match);

/// The system glass catalog the lenses search after their own and the document's glasses.
/// The application installs its loaded catalog; without a provider the catalog is loaded
/// (once) by materials::systemcatalog::load.
using SystemGlassLibraryProvider = std::function<std::shared_ptr<materials::GlassCatalog>()>;
void setSystemGlassLibraryProvider(SystemGlassLibraryProvider provider);
std::shared_ptr<materials::GlassCatalog> systemGlassLibrary();

}  // namespace orb::lens::glassresolution
