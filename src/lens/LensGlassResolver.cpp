#include "lens/LensGlassResolver.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <mutex>

#include "materials/Glass.h"
#include "materials/GlassCatalog.h"
#include "materials/SystemGlassCatalog.h"

namespace orb::lens::glassresolution {

namespace {

std::string upper(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

std::string withoutDashes(std::string s) {
  std::erase(s, '-');
  return s;
}

bool allDigits(const std::string& s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](unsigned char c) { return std::isdigit(c) != 0; });
}

// A whole-string decimal number; none when anything is left over.
std::optional<double> wholeNumber(const std::string& s) {
  if (s.empty() || std::isspace(static_cast<unsigned char>(s.front()))) return std::nullopt;
  char* end = nullptr;
  const double v = std::strtod(s.c_str(), &end);
  if (end != s.c_str() + s.size() || !std::isfinite(v)) return std::nullopt;
  return v;
}

bool plausibleIndex(double nd) { return nd >= 1.0 && nd <= 5.0; }

std::mutex g_providerMutex;
SystemGlassLibraryProvider g_provider;

}  // namespace

std::optional<ModelGlassName> parseModelGlassName(const std::string& name) {
  if (name.size() == 6 && allDigits(name))
    return ModelGlassName{1.0 + std::stoi(name.substr(0, 3)) / 1000.0, std::stoi(name.substr(3)) / 10.0, "xxxyyy"};
  if (name.size() == 7 && name[3] == ':' && allDigits(name.substr(0, 3)) && allDigits(name.substr(4)))
    return ModelGlassName{1.0 + std::stoi(name.substr(0, 3)) / 1000.0, std::stoi(name.substr(4)) / 10.0, "xxx:yyy"};
  if (const auto comma = name.find(','); comma != std::string::npos) {
    auto nd = wholeNumber(name.substr(0, comma));
    auto vd = wholeNumber(name.substr(comma + 1));
    if (nd && vd && plausibleIndex(*nd)) return ModelGlassName{*nd, *vd, "n,V"};
    return std::nullopt;
  }
  if (auto nd = wholeNumber(name); nd && plausibleIndex(*nd)) return ModelGlassName{*nd, std::nullopt, "n,V"};
  return std::nullopt;
}

std::shared_ptr<materials::Glass> lookupGlassWithName(const std::string& name, const Glasses& library,
                                                      const std::vector<std::string>& preferredCatalogs) {
  // SCHOTT lists N-SF5 before SF5: a variant found first must not hide the glass named.
  if (auto g = lookupGlassWithName(name, library, preferredCatalogs, NameMatch::Exact)) return g;
  return lookupGlassWithName(name, library, preferredCatalogs, NameMatch::Variant);
}

std::shared_ptr<materials::Glass> lookupGlassWithName(const std::string& name, const Glasses& library,
                                                      const std::vector<std::string>& preferredCatalogs,
                                                      NameMatch match) {
  auto catalogOf = [](const materials::Glass& g) { return upper(g.catalogName().value_or("")); };

  std::string base = upper(name);
  std::vector<std::string> preferred;
  for (const auto& c : preferredCatalogs) preferred.push_back(upper(c));
  if (const auto underscore = name.find('_'); underscore != std::string::npos) {
    std::string second = upper(name.substr(underscore + 1));
    second = second.substr(0, second.find('_'));
    const bool known = std::any_of(library.begin(), library.end(),
                                   [&](const auto& g) { return g && catalogOf(*g) == second; });
    if (known) {
      base = upper(name.substr(0, underscore));
      preferred = {second};
    }
  }

  std::vector<std::string> candidates{base};
  if (match == NameMatch::Variant) {
    if (auto bare = withoutDashes(base); bare != base) candidates.push_back(bare);
    if (auto n = "N-" + base; std::find(candidates.begin(), candidates.end(), n) == candidates.end())
      candidates.push_back(n);
  }
  auto isCandidate = [&](const std::string& s) {
    return std::find(candidates.begin(), candidates.end(), s) != candidates.end();
  };

  Glasses matches;
  for (const auto& g : library) {
    if (!g) continue;
    const std::string gName = upper(g->name());
    const std::string gBare = withoutDashes(gName);
    if (isCandidate(gName) || (match == NameMatch::Variant && gBare != gName && isCandidate(gBare)))
      matches.push_back(g);
  }
  if (matches.empty()) return nullptr;

  std::shared_ptr<materials::Glass> chosen;
  for (const auto& catalog : preferred) {
    for (const auto& g : matches)
      if (catalogOf(*g) == catalog) {
        chosen = g;
        break;
      }
    if (chosen) break;
  }
  if (!chosen) {
    for (const auto& g : matches)
      if (upper(g->name()) == base) {
        chosen = g;
        break;
      }
  }
  if (!chosen) chosen = matches.front();
  return chosen->copy();
}

void setSystemGlassLibraryProvider(SystemGlassLibraryProvider provider) {
  std::lock_guard lock(g_providerMutex);
  g_provider = std::move(provider);
}

std::shared_ptr<materials::GlassCatalog> systemGlassLibrary() {
  SystemGlassLibraryProvider provider;
  {
    std::lock_guard lock(g_providerMutex);
    provider = g_provider;
  }
  if (provider) return provider();
  static std::once_flag once;
  static std::shared_ptr<materials::GlassCatalog> loaded;
  std::call_once(once, [] { loaded = materials::systemcatalog::load(true); });
  return loaded;
}

}  // namespace orb::lens::glassresolution
