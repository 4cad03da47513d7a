#include "materials/ZemaxGlassParser.h"

#include <cmath>

#include "materials/CatalogText.h"
#include "platform/Log.h"

namespace orb::materials {

using detail::leadingNumber;

ZemaxGlassParser::ZemaxGlassParser(std::string source)
    : m_source(std::move(source)), m_catalog(GlassCatalog::glassCatalog()) {}

bool ZemaxGlassParser::parseStringArray(const std::vector<std::string>& lines) {
  bool ok = true;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    std::string why;
    if (parseCommand(lines[i], &why)) continue;
    ok = false;
    platform::logWarningOnce(m_source, "unread glass catalog line",
                             "%s line %zu: <%s> could not be read%s; the line was passed over and the other glasses "
                             "read. Check that line of the file or get a fresh copy from the glass maker",
                             m_source.empty() ? "glass catalog" : m_source.c_str(), i + 1, lines[i].c_str(),
                             why.empty() ? "" : (" (" + why + ")").c_str());
  }
  return ok;
}

bool ZemaxGlassParser::parseCommand(std::string_view line, std::string* why) {
  ++m_line;
  auto fail = [&](std::string what) {
    if (why) *why = std::move(what);
    return false;
  };
  const auto w = detail::words(line);
  if (w.empty()) return true;
  const std::string_view command = w[0];
  // The numbers after the command, up to the first field that is not one.
  auto numbers = [&](std::size_t from, std::size_t most) {
    std::vector<double> out;
    for (std::size_t i = from; i < w.size() && out.size() < most; ++i) {
      auto v = leadingNumber(w[i]);
      if (!v) break;
      out.push_back(*v);
    }
    return out;
  };

  if (command == "CC") {
    std::size_t at = line.find("CC") + 2;
    m_catalog->setCatalogComment(std::string(detail::trimmed(line.substr(at))));
    return true;
  }
  if (command == "NM") {
    if (w.size() < 2) return fail("NM without a glass name");
    std::string word(w[1]);
    auto glass = platform::makeObject<ZemaxGlass>();
    std::size_t at = word.find('@');
    std::string name = word.substr(0, at);
    glass->setName(name);
    glass->setNameInCatalog(name);
    if (at != std::string::npos) glass->setVersion(word.substr(at + 1));
    // The glass is kept even when later fields are missing, so that its other records
    // still have a glass to act on; the line is reported all the same.
    std::string problem;
    if (w.size() > 2) {
      // Range-checked before the conversion: a formula number is small, anything else is damage.
      if (auto f = leadingNumber(w[2]); f && std::abs(*f) < 1e6)
        glass->setFormula(static_cast<int>(std::trunc(*f)));
      else
        problem = f ? "formula is not a formula number" : "formula is not a number";
    } else {
      problem = "missing formula";
    }
    if (w.size() > 3) glass->setGlassCode(std::string(w[3]));
    auto nd = w.size() > 4 ? leadingNumber(w[4]) : std::nullopt;
    auto vd = w.size() > 5 ? leadingNumber(w[5]) : std::nullopt;
    if (nd) glass->setReferenceIndex(*nd);
    if (vd) glass->setReferenceAbbe(*vd);
    if (problem.empty() && (!nd || !vd)) problem = "missing nd or Vd";
    // An index from nd and Vd alone is wrong away from the d line: say so rather than
    // trace with it in silence. (Formula 100, our exponential law, is read back as such.)
    if (problem.empty() && (glass->formula() == 0 || !glass->hasKnownFormula()))
      platform::logWarningOnce(m_source, "unknown dispersion formula",
                               "%s%sline %d: glass %s has dispersion formula %d, which is not known here; its index "
                               "follows the model law of nd and Vd and is only approximate away from the d line",
                               m_source.c_str(), m_source.empty() ? "" : " ", m_line, name.c_str(), glass->formula());
    m_catalog->addObject(glass);
    m_glass = glass;
    return problem.empty() ? true : fail(problem);
  }
  if (command == "GC") return true;
  if (command == "GV") {
    if (m_glass && w.size() > 1) m_glass->setVersion(std::string(w[1]));
    return true;
  }
  if (command == "ED") {
    auto v = numbers(1, 4);
    if (!m_glass) return true;
    if (v.size() < 4) return fail("ED needs 4 numbers");
    m_glass->setAlpha(v[0], v[1]);
    m_glass->setDensity(v[2]);
    m_glass->setDispersionDeviation(v[3]);
    return true;
  }
  if (command == "CD") {
    auto v = numbers(1, GlassWithCoefficients::kMaxCoefficients);
    if (m_glass) m_glass->setCoefficientValuesFromDoubles(v.data(), v.size());
    return true;
  }
  if (command == "TD") {
    if (m_glass) m_glass->setThermalDataString(std::string(line));
    return true;
  }
  if (command == "OD") {
    if (m_glass) m_glass->setOtherDataString(std::string(line));
    return true;
  }
  if (command == "LD") {
    auto v = numbers(1, 2);
    if (!m_glass) return true;
    if (v.size() < 2) return fail("LD needs 2 numbers");
    m_glass->setWavelengthRange(v[0], v[1]);
    return true;
  }
  if (command == "IT") {
    auto v = numbers(1, 3);
    v.resize(3, 0.0);
    if (m_glass) m_glass->addTransmission(v[0], v[1], v[2]);
    return true;
  }
  return fail("unknown command " + std::string(command));
}

}  // namespace orb::materials
