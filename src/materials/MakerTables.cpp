// The glass makers' data tables: Sumita, Schott, Hoya and Hikari as comma-separated text,
// Ohara as fixed columns. Each row becomes a ZemaxGlass with the maker's dispersion
// coefficients and its internal transmission through 10 mm.
//
// The layouts are fixed by the makers' files of the time; a row shorter than its layout
// (or, in the Ohara table, than its columns) is logged and passed over, the rest kept.

#include <cmath>
#include <functional>

#include "foundation/platform/StringExtensions.h"
#include "materials/CatalogText.h"
#include "materials/GlassCatalog.h"
#include "materials/ZemaxGlass.h"
#include "platform/Log.h"

namespace orb::materials {

using detail::numberValue;
using detail::trimmed;

namespace {

constexpr double kMakerThickness = 10.0;  // mm, for every maker table

const std::vector<double> kSumitaNm{270, 280, 290, 300, 310, 320, 330, 340, 350, 360, 370, 380, 390, 400,
                                    420, 440, 460, 480, 500, 550, 600, 650, 700, 800, 1060, 1500, 2000};
const std::vector<double> kSchottNm{2500, 2325, 1970, 1530, 1060, 700, 660, 620, 580, 546, 500, 460, 436, 420, 405,
                                    400,  390,  380,  370,  365,  350, 334, 320, 310, 300, 290, 280, 270, 260, 250};
const std::vector<double> kHoyaNm{1550, 1500, 1400, 1300, 1200, 1100, 1060, 1050, 1000, 950, 900, 850,
                                  830,  800,  780,  750,  700,  650,  600,  550,  500,  480, 460, 440,
                                  420,  400,  390,  380,  370,  360,  350,  340,  330,  320, 310};
const std::vector<double> kHikariNm{280, 290, 300, 310, 320, 330, 340, 350, 360, 370, 380,  390,  400,  420,  440,  460,
                                    480, 500, 550, 600, 650, 700, 800, 900, 1000, 1200, 1400, 1600, 1800, 2000, 2200, 2400};
const std::vector<double> kOharaNm{280, 290, 300, 310, 320, 330, 340, 350, 360, 365, 370,  380,  390,  400,  420,  440, 460,
                                   480, 500, 550, 600, 650, 700, 800, 900, 1000, 1200, 1400, 1600, 1800, 2000, 2200, 2240};

void note(const std::string& source, std::size_t line, const std::string& what) {
  platform::logWarningOnce(source, "glass table row passed over",
                           "%s line %zu: %s; row passed over, the other glasses are read. Check that row of the file",
                           source.empty() ? "glass table" : source.c_str(), line, what.c_str());
}

/// Appends the transmission records of the cells that hold a value (an empty cell is a
/// wavelength the maker did not measure, not a transmission of 0).
void addTransmissions(ZemaxGlass& glass, const std::vector<double>& nanometres,
                      const std::function<std::optional<std::string_view>(std::size_t)>& cell) {
  platform::Array records;
  for (std::size_t i = 0; i < nanometres.size(); ++i) {
    auto text = cell(i);
    if (!text || trimmed(*text).empty()) continue;
    records.push_back(platform::Dictionary{
        {"wavelength", nanometres[i] * 0.001}, {"transmission", numberValue(*text)}, {"thickness", kMakerThickness}});
  }
  if (!records.empty()) glass.setTransmissionArray(std::move(records));
}

std::shared_ptr<ZemaxGlass> makerGlass(std::string_view name, std::string code, int formula, double nd, double vd,
                                       double density, const std::vector<double>& coefficients) {
  auto g = ZemaxGlass::glassWithName(std::string(trimmed(name)));
  g->setGlassCode(std::move(code));
  g->setFormula(formula);
  g->setReferenceIndex(nd);
  g->setReferenceAbbe(vd);
  g->setDensity(density);
  g->setCoefficientValuesFromDoubles(coefficients.data(), coefficients.size());
  return g;
}

/// A row whose nd cell holds no number is a heading, not a glass.
bool isGlassRow(std::string_view ndCell) { return detail::leadingNumber(ndCell).has_value(); }

std::shared_ptr<GlassCatalog> fromFile(const std::string& path, std::string* why, const std::string& version,
                                       std::shared_ptr<GlassCatalog> (*read)(const std::vector<std::string>&,
                                                                             const std::string&)) {
  std::string reason;
  auto text = detail::readCatalogText(path, &reason);
  if (!text) {
    platform::logWarningOnce(path, "unreadable glass catalog",
                             "cannot read glass table %s: %s; its glasses are not available. Check that the file "
                             "exists and can be read",
                             path.c_str(), reason.c_str());
    if (why) *why = reason;
    return nullptr;
  }
  auto catalog = read(foundation::lines(*text), path);
  catalog->stamp(detail::upperCased(detail::fileStem(path)), std::string("CSV"), version);
  return catalog;
}

}  // namespace

// --- Sumita -------------------------------------------------------------------------------

std::shared_ptr<GlassCatalog> GlassCatalog::glassCatalogWithSumitaCSVStringArray(const std::vector<std::string>& lines,
                                                                                 const std::string& source) {
  auto catalog = glassCatalog();
  if (lines.size() < 3) return catalog;
  std::vector<std::string> columns;
  for (auto f : detail::splitFields(lines[2], ',')) columns.emplace_back(trimmed(f));
  for (std::size_t i = 3; i < lines.size(); ++i) {
    const auto fields = detail::splitFields(lines[i], ',');
    // Only as many column names as the row has fields; extra fields have no name.
    auto cell = [&](std::string_view column) -> std::optional<std::string_view> {
      for (std::size_t c = 0; c < columns.size() && c < fields.size(); ++c)
        if (columns[c] == column) return fields[c];
      return std::nullopt;
    };
    auto name = cell("GNAME");
    if (!name || trimmed(*name).empty()) break;  // end of data
    std::vector<double> coefficients;
    std::string missing;
    for (const char* column : {"nD", "vd", "A0", "A1", "A2", "A3", "A4", "A5"})
      if (!cell(column)) missing += std::string(missing.empty() ? "" : ", ") + column;
    if (!missing.empty()) {
      note(source, i + 1, "no " + missing);
      continue;
    }
    if (!isGlassRow(*cell("nD"))) continue;
    for (const char* column : {"A0", "A1", "A2", "A3", "A4", "A5"}) coefficients.push_back(numberValue(*cell(column)));
    auto code = cell("GTYPE");
    auto g = makerGlass(*name, code ? std::string(trimmed(*code)) : std::string(), 1, numberValue(*cell("nD")),
                        numberValue(*cell("vd")), cell("SG") ? numberValue(*cell("SG")) : 0.0, coefficients);
    addTransmissions(*g, kSumitaNm, [&](std::size_t k) { return cell(platform::format("T%.0f10", kSumitaNm[k])); });
    catalog->addObject(g);
  }
  return catalog;
}

// --- Schott -------------------------------------------------------------------------------

std::shared_ptr<GlassCatalog> GlassCatalog::glassCatalogWithSchottCSVStringArray(const std::vector<std::string>& lines,
                                                                                 const std::string& source) {
  auto catalog = glassCatalog();
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const auto f = detail::splitFields(lines[i], ',');
    if (trimmed(f[0]).empty()) break;  // end of data
    if (f.size() < 159) {
      note(source, i + 1, platform::format("%zu fields, the layout needs 159", f.size()));
      continue;
    }
    if (!isGlassRow(f[1])) continue;
    // B1 B2 B3 C1 C2 C3 stored as K1 L1 K2 L2 K3 L3.
    std::vector<double> coefficients;
    for (std::size_t k : {6, 9, 7, 10, 8, 11}) coefficients.push_back(numberValue(f[k]));
    auto g = makerGlass(f[0], std::string(trimmed(f[158])), 2, numberValue(f[1]), numberValue(f[3]),
                        numberValue(f[103]), coefficients);
    addTransmissions(*g, kSchottNm, [&](std::size_t k) { return std::optional(f[67 + k]); });
    catalog->addObject(g);
  }
  return catalog;
}

// --- Hoya ---------------------------------------------------------------------------------

std::shared_ptr<GlassCatalog> GlassCatalog::glassCatalogWithHoyaCSVStringArray(const std::vector<std::string>& lines,
                                                                               const std::string& source) {
  auto catalog = glassCatalog();
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const auto f = detail::splitFields(lines[i], ',');
    if (f.size() < 2 || trimmed(f[1]).empty()) break;  // end of data
    if (f.size() < 179) {
      note(source, i + 1, platform::format("%zu fields, the layout needs 179", f.size()));
      continue;
    }
    if (!isGlassRow(f[10])) continue;
    std::vector<double> coefficients;
    for (std::size_t k = 22; k < 34; k += 2) {
      const double mantissa = numberValue(f[k]);
      const auto exponent = trimmed(f[k + 1]);
      coefficients.push_back(exponent.empty() ? mantissa : mantissa * std::pow(10.0, numberValue(exponent)));
    }
    std::string code(trimmed(f[2]));
    std::erase(code, '-');
    auto g = makerGlass(f[1], code, 1, numberValue(f[10]), numberValue(f[18]), numberValue(f[103]), coefficients);
    addTransmissions(*g, kHoyaNm, [&](std::size_t k) { return std::optional(f[144 + k]); });
    catalog->addObject(g);
  }
  return catalog;
}

// --- Hikari -------------------------------------------------------------------------------

std::shared_ptr<GlassCatalog> GlassCatalog::glassCatalogWithHikariCSVStringArray(const std::vector<std::string>& lines,
                                                                                 const std::string& source) {
  auto catalog = glassCatalog();
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const auto f = detail::splitFields(lines[i], ',');
    if (trimmed(f[0]).empty()) break;  // end of data
    if (f.size() < 89) {
      note(source, i + 1, platform::format("%zu fields, the layout needs 89", f.size()));
      continue;
    }
    if (!isGlassRow(f[9])) continue;
    std::vector<double> coefficients;
    for (std::size_t k = 34; k <= 40; ++k) coefficients.push_back(numberValue(f[k]));
    auto g = makerGlass(f[0], std::string(trimmed(f[1])), 1, numberValue(f[9]), numberValue(f[15]), numberValue(f[44]),
                        coefficients);
    addTransmissions(*g, kHikariNm, [&](std::size_t k) { return std::optional(f[57 + k]); });
    catalog->addObject(g);
  }
  return catalog;
}

// --- Ohara --------------------------------------------------------------------------------

std::shared_ptr<GlassCatalog> GlassCatalog::glassCatalogWithOharaASCStringArray(const std::vector<std::string>& lines,
                                                                                const std::string& source) {
  constexpr std::size_t kLayoutLength = 631 + 33 * 6;  // 829
  auto catalog = glassCatalog();
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string_view line = lines[i];
    if (trimmed(line).empty()) continue;
    if (line.size() < kLayoutLength) {
      note(source, i + 1, platform::format("%zu characters, the layout needs %zu", line.size(), kLayoutLength));
      continue;
    }
    auto column = [&](std::size_t start, std::size_t length) { return line.substr(start, length); };
    if (!isGlassRow(column(120, 8))) continue;
    // A1 A2 A3 B1 B2 B3, each an 11-character mantissa and a 2-character power of ten,
    // stored as K1 L1 K2 L2 K3 L3.
    double v[6];
    for (std::size_t k = 0; k < 6; ++k) {
      const std::size_t at = 475 + 13 * k;
      v[k] = numberValue(column(at, 11)) * std::pow(10.0, numberValue(column(at + 11, 2)));
    }
    auto g = makerGlass(column(0, 10), std::string(trimmed(column(10, 7))), 2, numberValue(column(120, 8)),
                        numberValue(column(205, 6)), 0.0, {v[0], v[3], v[1], v[4], v[2], v[5]});
    addTransmissions(*g, kOharaNm, [&](std::size_t k) { return std::optional(column(631 + 6 * k, 6)); });
    catalog->addObject(g);
  }
  return catalog;
}

// --- String and file forms ----------------------------------------------------------------

#define ORB_TABLE_FORMS(Table, version)                                                                           \
  std::shared_ptr<GlassCatalog> GlassCatalog::glassCatalogWith##Table##String(std::string_view text,              \
                                                                              const std::string& source) {        \
    return glassCatalogWith##Table##StringArray(foundation::lines(text), source);                                 \
  }                                                                                                               \
  std::shared_ptr<GlassCatalog> GlassCatalog::glassCatalogWith##Table##File(const std::string& path, std::string* why) { \
    return fromFile(path, why, version, &GlassCatalog::glassCatalogWith##Table##StringArray);                     \
  }

ORB_TABLE_FORMS(SumitaCSV, "Sumita-2005-04-28")
ORB_TABLE_FORMS(SchottCSV, "Schott-2006-01-11")
ORB_TABLE_FORMS(HoyaCSV, "Hoya-2006-01-13")
ORB_TABLE_FORMS(HikariCSV, "Hikari-2002-03-14")
ORB_TABLE_FORMS(OharaASC, "Ohara-2005-10-18")

#undef ORB_TABLE_FORMS

}  // namespace orb::materials
