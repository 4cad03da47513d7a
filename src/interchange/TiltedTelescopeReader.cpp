#include "interchange/TiltedTelescopeReader.h"

#include <array>
#include <limits>
#include <locale>
#include <sstream>

#include "foundation/platform/StringExtensions.h"
#include "lens/Surface.h"
#include "platform/Exception.h"

namespace orb::interchange {

using platform::Array;
using platform::Dictionary;
using platform::Value;

namespace {

// Formatted input as the C library reads it: numbers in the classic locale, in order, up
// to the first that does not read.
class Fields {
 public:
  explicit Fields(const std::string& line) : m_in(line) { m_in.imbue(std::locale::classic()); }
  bool real(double& out) {
    double v;
    if (!m_ok || !(m_in >> v)) return m_ok = false;
    out = v;
    return true;
  }
  bool integer(long long& out) {
    long long v;
    if (!m_ok || !(m_in >> v)) return m_ok = false;
    out = v;
    return true;
  }
  bool word(std::string& out) {
    std::string w;
    if (!m_ok || !(m_in >> w)) return m_ok = false;
    out = std::move(w);
    return true;
  }

 private:
  std::istringstream m_in;
  bool m_ok = true;
};

std::string ascii(const std::string& s) {
  std::string out;
  for (unsigned char c : s) out.push_back(static_cast<char>(c & 0x7f));
  if (!out.empty() && out.back() == '\r') out.pop_back();
  return out;
}

}  // namespace

Dictionary readTiltedTelescopeLines(const std::vector<std::string>& lines) {
  Dictionary d;
  auto line = [&](std::size_t i) { return i < lines.size() ? lines[i] : std::string(); };
  d.set("systemName", ascii(line(0)));
  long long n = -1;
  Fields(line(1)).integer(n);
  double divergence = 0;
  Fields(line(2)).real(divergence);
  d.set("sourceDivergenceValue", divergence);
  d.set("sourceDivergenceType", 0.0);
  std::string skipped, unit;
  Fields unitLine(line(3));
  if (unitLine.word(skipped) && unitLine.word(unit)) d.set("unitCode", ascii(unit));

  Array surfaces, components;
  std::array<double, 7> v{};  // radius, thickness, tilt, conic, rTan, coma, lineComa
  // N + 1 surface lines, never past the end of the text.
  for (long long k = 0; n >= 0 && k <= n && static_cast<std::size_t>(k) + 4 < lines.size(); ++k) {
    Fields f(lines[static_cast<std::size_t>(k) + 4]);
    for (double& x : v)
      if (!f.real(x)) break;
    auto s = lens::Surface::create();
    s->setCurvature(v[0] == 0 ? 0 : 1 / v[0]);
    s->setThickness(v[1]);
    s->setConicConstant(v[3]);
    // The component terms go to a surface type that takes them; the plain surface has no
    // such parameters, so they also travel beside the surfaces, one record per surface.
    const std::pair<const char*, double> terms[] = {{"tilt", v[2]}, {"rTan", v[4]}, {"coma", v[5]}, {"lineComa", v[6]}};
    Dictionary record;
    for (const auto& [key, value] : terms) {
      record.set(key, value);
      try {
        s->setValueForKey(key, value);
      } catch (const platform::Exception&) {
      }
    }
    components.push_back(record);
    surfaces.push_back(Value(s));
  }
  d.set("surfaceArray", surfaces);
  d.set("componentTermArray", components);
  return d;
}

Dictionary readTiltedTelescopeString(std::string_view text) { return readTiltedTelescopeLines(foundation::lines(text)); }

}  // namespace orb::interchange
