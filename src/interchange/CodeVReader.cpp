#include "interchange/CodeVReader.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <iterator>
#include <limits>
#include <map>
#include <memory>
#include <mutex>

#include "foundation/platform/DictionaryExtensions.h"
#include "foundation/platform/Scanner.h"
#include "foundation/platform/StringExtensions.h"
#include "interchange/FourCharCode.h"
#include "lens/CircularAperture.h"
#include "lens/CoordinateBreak.h"
#include "lens/Field.h"
#include "lens/Surface.h"
#include "lens/SurfaceTypeRegistry.h"
#include "lens/Wave.h"
#include "materials/Glass.h"
#include "materials/GlassWithIndexData.h"
#include "platform/Exception.h"

namespace orb::interchange {

using lens::Surface;
using platform::Array;
using platform::Dictionary;
using platform::Value;
using namespace prescriptionreading;

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr std::size_t kSlots = 10;
constexpr double kMillimetresPerInch = 25.4;
// CODE V's own infinite object distance is 1e10; anything at least that far is infinity.
constexpr double kInfiniteObjectDistance = 1e10;

constexpr std::uint32_t code(const char* word) { return fourCharCodeFromCString(word); }

bool isSurfaceCommand(const std::string& word) {
  if (word == "S" || word == "SO" || word == "SI") return true;
  if (word.size() < 2 || word.size() > 3 || word[0] != 'S') return false;
  const auto n = digitsValue(std::string_view(word).substr(1));
  return n && *n <= 17;
}

// Optimisation and tolerancing words: they carry no optics, so a line of them that is not
// read is only logged. AUT and TOL open a block that GO closes.
bool isDesignCommand(const std::string& word) {
  return word == "DER" || word == "TEM" || word == "TOL" || word == "AUT";
}

// A numeric glass: "nd:Vd" or a glass code of two equal runs of k digits, k from 3 to 6:
// "517.642" is nd 1.517, Vd 64.2; "517000.520000" is nd 1.517000, Vd 52.0000.
std::shared_ptr<materials::Glass> numericGlass(const std::string& name) {
  auto number = [](const std::string& s, double* out) {
    foundation::Scanner sc(s);
    return sc.scanDouble(out) && sc.isAtEnd();
  };
  double nd = 0, vd = 0;
  if (const auto colon = name.find(':'); colon != std::string::npos) {
    if (number(name.substr(0, colon), &nd) && number(name.substr(colon + 1), &vd) && nd >= 1 && nd < 5 && vd > 0)
      return materials::Glass::glassWithIndex(nd, vd);
    return nullptr;
  }
  const auto dot = name.find('.');
  if (dot == std::string::npos || dot < 3 || dot > 6 || name.size() != 2 * dot + 1) return nullptr;
  const auto index = digitsValue(std::string_view(name).substr(0, dot));
  const auto abbe = digitsValue(std::string_view(name).substr(dot + 1));
  if (!index || !abbe || *abbe == 0) return nullptr;
  const double scale = std::pow(10.0, static_cast<double>(dot));
  return materials::Glass::glassWithIndex(1.0 + static_cast<double>(*index) / scale,
                                          static_cast<double>(*abbe) * 100 / scale);
}

struct Decentre {
  std::shared_ptr<Surface> surface;
  std::shared_ptr<Surface> before;  // the break in front of the surface
  double values[6] = {0, 0, 0, 0, 0, 0};  // XDE YDE ZDE ADE BDE CDE
  bool andReturn = false;  // DAR: the frame after the surface is the one before it
  bool reverse = false;    // REV: the surface stays; the frame after it is decentred in reverse
  bool bend = false;       // BEN: the frame after a tilted mirror turns by the tilt again
};

class CodeVRead {
 public:
  explicit CodeVRead(const PrescriptionReadOptions& options) : m_options(options), m_report(options) {
    static std::once_flag registered;
    std::call_once(registered, [] { lens::registerSurfaceTypes(); });
    m_fieldWeight.fill(1);
    m_wavelength.fill(550);
    m_waveWeight.fill(1);
  }

  std::optional<Dictionary> run(const std::vector<std::string>& lines) {
    for (std::size_t next = 0; next < lines.size() && !m_stopped;) {
      const int number = static_cast<int>(next) + 1;
      // "&" at the end of a line continues the command on the next one.
      std::string text = trim(lines[next].substr(0, lines[next].find('!')));
      std::string shown = trim(lines[next]);
      ++next;
      while (!text.empty() && text.back() == '&') {
        text.pop_back();
        if (next >= lines.size()) break;
        text += ' ' + trim(lines[next].substr(0, lines[next].find('!')));
        shown += ' ' + trim(lines[next]);
        ++next;
      }
      m_report.setLine(number, shown);
      std::size_t start = 0;
      while (start <= text.size() && !m_stopped) {
        std::size_t end = text.find(';', start);
        if (end == std::string::npos) end = text.size();
        const std::string command = trim(std::string_view(text).substr(start, end - start));
        start = end + 1;
        if (command.empty()) continue;
        try {
          interpret(command);
        } catch (const platform::Exception& e) {
          m_report.trouble(e.reason());
        }
        if (m_report.givenUp()) return std::nullopt;
      }
    }
    return finish();
  }

 private:
  // --- operands --------------------------------------------------------------------------------
  static bool scanNumber(foundation::Scanner& s, double* out) {
    if (s.scanDouble(out)) return true;
    const std::size_t at = s.scanLocation();
    std::string word;
    if (s.scanUpToCharactersFromSet(foundation::CharacterSet::whitespaceAndNewlineCharacterSet(), &word)) {
      const std::string w = upper(word);
      if (w == "INF" || w == "INFINITY") {
        *out = kInfinity;
        return true;
      }
    }
    s.setScanLocation(at);
    return false;
  }
  static int numbers(foundation::Scanner& s, std::array<double, kSlots>& out) {
    std::size_t n = 0;
    double v;
    while (n < kSlots && scanNumber(s, &v)) out[n++] = v;
    return static_cast<int>(n);
  }
  static std::vector<double> allNumbers(foundation::Scanner& s) {
    std::vector<double> out;
    double v;
    while (scanNumber(s, &v)) out.push_back(v);
    return out;
  }
  static std::string word(foundation::Scanner& s) {
    std::string w;
    s.scanUpToCharactersFromSet(foundation::CharacterSet::whitespaceAndNewlineCharacterSet(), &w);
    return w;
  }
  // A name between single (or, where allowed, double) quotes; none when no quote opens.
  static std::optional<std::string> quoted(foundation::Scanner& s, bool doubleQuotesToo) {
    const std::string rest = s.remainderString();
    const auto b = rest.find_first_not_of(" \t");
    if (b == std::string::npos) return std::nullopt;
    const char q = rest[b];
    if (q != '\'' && !(doubleQuotesToo && q == '"')) return std::nullopt;
    const auto close = rest.find(q, b + 1);
    std::string name = rest.substr(b + 1, close == std::string::npos ? std::string::npos : close - b - 1);
    s.setScanLocation(s.scanLocation() + (close == std::string::npos ? rest.size() : close + 1));
    return name;
  }

  Surface* current() const { return m_current.get(); }

  void setAperture(int type, double value) {
    m_result.set("sourceDivergenceType", static_cast<double>(type));
    m_result.set("sourceDivergenceValue", value);
  }

  // --- commands ----------------------------------------------------------------------------------
  void interpret(const std::string& command) {
    if (command[0] == '\'') {
      privateGlass(command);
      return;
    }
    foundation::Scanner s(command);
    const std::string w = upper(word(s));
    if (m_inDesignBlock) {
      if (w == "GO") m_inDesignBlock = false;
      return;
    }
    if (isDesignCommand(w)) {
      m_report.log("optimisation or tolerancing command not read: " + command);
      m_inDesignBlock = (w == "AUT" || w == "TOL");
      return;
    }
    if (isSurfaceCommand(w)) {
      surfaceCommand(w, s);
      return;
    }
    const std::uint32_t c = fourCharCodeFromCString(w);
    Surface* surface = current();
    double v = 0;
    switch (c) {
      case code("RDM"): {
        const std::string mode = upper(word(s));
        if (mode == "N" || mode == "NO") m_radiusMode = false;
        if (mode == "Y" || mode == "YES") m_radiusMode = true;
        return;
      }
      case code("RDY"):
        if (scanNumber(s, &v) && surface) surface->setCurvature(v == 0 ? 0 : 1 / v);
        return;
      case code("CUY"):
        if (scanNumber(s, &v) && surface) surface->setCurvature(v);
        return;
      case code("THI"):
        if (scanNumber(s, &v) && surface) surface->setThickness(v);
        return;
      case code("K"):
        if (scanNumber(s, &v) && surface) surface->setConicConstant(v);
        return;
      case code("ASP"): toAsphere(); return;
      case code("A"): case code("B"): case code("C"): case code("D"): case code("E"):
      case code("F"): case code("G"): case code("H"): case code("J"): {
        static const std::map<std::uint32_t, const char*> keys = {
            {code("A"), "a4"},  {code("B"), "a6"},  {code("C"), "a8"},  {code("D"), "a10"}, {code("E"), "a12"},
            {code("F"), "a14"}, {code("G"), "a16"}, {code("H"), "a18"}, {code("J"), "a20"}};
        if (!scanNumber(s, &v) || !surface) return;
        // A coefficient without ASP still says the surface is aspheric.
        if (surface->type() != "Asphere") toAsphere();
        current()->setValueForKey(keys.at(c), v);
        return;
      }
      case code("CUF"): case code("IC"):
        m_report.log("unknown asphere parameter: " + command);
        return;
      case code("STO"): case code("STOP"):
        if (surface) surface->setIsStop(true);
        return;
      case code("REFL"):
        if (surface) surface->setIsMirror(true);
        return;
      case code("CIR"):
        if (!scanNumber(s, &v)) {
          m_report.log("unsupported CIR with two args");
          return;
        }
        if (surface) {
          surface->setSemidiameter(v);
          surface->setSemidiameterSolveType(1);
          surface->setAperture(lens::FloatingAperture::aperture());
        }
        return;
      case code("SLB"):
        if (auto name = quoted(s, true); name && surface) surface->setComment(*name);
        return;
      case code("GLA"): {
        auto name = quoted(s, false);
        if (!name) name = word(s);
        if (surface && !name->empty()) setGlass(*surface, *name);
        return;
      }
      case code("PIM"):  // lens-level: the last thickness puts the image at the paraxial focus
        m_paraxialImageSolve = true;
        return;
      case code("TIT"): case code("TITL"):
        if (auto t = quoted(s, true)) m_result.set("systemName", *t);
        return;
      case code("LEN"):
        if (auto name = quoted(s, true)) m_result.set("LEN", *name);
        return;
      case code("INI"):  // the designer's initials
        if (auto initials = quoted(s, true)) m_result.set("designer", *initials);
        return;
      case code("DIM"): {
        const std::string unit = upper(word(s));
        if (unit == "I") {
          m_result.set("units", "inch");
          m_inches = true;
        } else if (unit == "M") {
          m_result.set("units", "mm");
          m_inches = false;
        } else if (unit == "C") {
          m_report.trouble("centimetre lenses are read as millimetres");
        }
        return;
      }
      case code("EPD"):
        if (scanNumber(s, &v)) setAperture(0, v);
        return;
      case code("FNO"):
        if (scanNumber(s, &v)) setAperture(1, v);
        return;
      case code("NAO"):
        if (scanNumber(s, &v))
          setAperture(2, v);
        else
          m_report.log("syntax error: " + command);
        return;
      case code("XAN"): m_fieldXCount = numbers(s, m_fieldX); m_result.set("fieldType", "Angle"); return;
      case code("YAN"): m_fieldYCount = numbers(s, m_fieldY); m_result.set("fieldType", "Angle"); return;
      case code("XIM"): case code("XRI"):
        m_fieldXCount = numbers(s, m_fieldX);
        m_result.set("fieldType", "Image height");
        return;
      case code("YIM"): case code("YRI"):
        m_fieldYCount = numbers(s, m_fieldY);
        m_result.set("fieldType", "Image height");
        return;
      case code("WTF"): numbers(s, m_fieldWeight); return;
      case code("VLX"): m_vlxCount = numbers(s, m_vlx); return;
      case code("VLY"): m_vlyCount = numbers(s, m_vly); return;
      case code("VUX"): m_vuxCount = numbers(s, m_vux); return;
      case code("VUY"): m_vuyCount = numbers(s, m_vuy); return;
      case code("WL"): {
        const int n = numbers(s, m_wavelength);
        if (n == 0) return;
        m_waveCount = n;
        std::fill(m_waveWeight.begin(), m_waveWeight.begin() + n, 1.0);
        return;
      }
      case code("WTW"): numbers(s, m_waveWeight); return;
      case code("REF"):
        if (scanNumber(s, &v)) m_reference = clampedInteger(v);
        return;
      case code("PRV"): m_inPrivate = true; return;
      case code("PWL"):
        if (!m_inPrivate) m_report.log("*** Warning: PWL command outside PRV block");
        m_privateWavelengths = allNumbers(s);
        return;
      case code("END"): m_inPrivate = false; return;
      case code("ZOO"): zoom(s, command); return;
      case code("XDE"): case code("YDE"): case code("ZDE"): case code("ADE"): case code("BDE"): case code("CDE"): {
        if (!scanNumber(s, &v) || !surface) return;
        static const std::map<std::uint32_t, int> slot = {{code("XDE"), 0}, {code("YDE"), 1}, {code("ZDE"), 2},
                                                          {code("ADE"), 3}, {code("BDE"), 4}, {code("CDE"), 5}};
        decentreOfCurrent().values[slot.at(c)] = v;
        return;
      }
      case code("DAR"):
        if (surface) decentreOfCurrent().andReturn = true;
        return;
      case code("REV"):
        if (surface) decentreOfCurrent().reverse = true;
        return;
      case code("BEN"):
        if (surface) decentreOfCurrent().bend = true;
        return;
      case code("PIK"): word(s); word(s); word(s); return;
      case code("GO"): m_stopped = true; return;
      // Surface profile words that ask for nothing beyond the conic the surface has.
      case code("SPH"): case code("CON"):
      case code("ACC"): case code("ADC"): case code("BCC"): case code("BDC"): case code("CCC"): case code("CCX"):
      case code("CCY"): case code("CDC"): case code("DCC"): case code("ECC"): case code("FCC"): case code("GCC"):
      case code("HCC"): case code("KCC"): case code("THC"): case code("XDC"): case code("YDC"): case code("ZDC"):
      case code("GLB"): case code("GLC"):
        return;
      default:
        m_report.trouble(platform::format("{unknown code} %s", command.c_str()));
        return;
    }
  }

  void surfaceCommand(const std::string& w, foundation::Scanner& s) {
    if (w == "SO") {
      m_hasObject = true;
    } else if (!m_hasObject) {
      auto object = Surface::create();
      object->setCurvature(0);
      object->setThickness(kInfinity);
      m_surfaces.push_back(object);
      m_hasObject = true;
    }
    double shape = 0, thickness = 0;
    if (scanNumber(s, &shape)) scanNumber(s, &thickness);
    std::string glass;
    if (auto q = quoted(s, false))
      glass = *q;
    else
      glass = word(s);
    auto surface = Surface::create();
    if (m_radiusMode)
      surface->setCurvature(shape == 0 ? 0 : 1 / shape);
    else
      surface->setCurvature(shape);
    surface->setThickness(thickness);
    if (!glass.empty()) setGlass(*surface, glass);
    m_surfaces.push_back(surface);
    m_current = surface;
    m_imageGiven = (w == "SI");
  }

  void setGlass(Surface& surface, const std::string& name) {
    const std::string u = upper(name);
    if (u == "REFL") {
      surface.setIsMirror(true);
      return;
    }
    for (const auto& g : m_privateGlasses)
      if (upper(g->name()) == u) {
        surface.setGlass(g);
        return;
      }
    if (auto g = numericGlass(name)) {
      surface.setGlass(g);
      return;
    }
    // "NAME_MAKER" chooses that maker's glass; a maker whose catalog the program does not
    // have ("CAF2_DAIMON-20") would hide a glass that the name alone finds.
    static const char* const makers[] = {"SCHOTT", "OHARA", "HOYA", "CDGM", "SUMITA", "HIKARI", "MISC", "INFRARED"};
    if (const auto underscore = name.find('_'); underscore != std::string::npos && underscore > 0) {
      const std::string maker = u.substr(underscore + 1);
      if (std::none_of(std::begin(makers), std::end(makers), [&](const char* m) { return maker == m; })) {
        m_report.log("glass " + name + ": maker " + maker + " is not known; the glass is looked up by its name");
        surface.setGlassName(name.substr(0, underscore));
        return;
      }
    }
    surface.setGlassName(name);
  }

  void toAsphere() {
    if (!m_current || m_current->type() == "Asphere") return;
    auto replacement = lens::SurfaceTypeRegistry::shared().surfaceOfType("Asphere", m_current.get());
    std::replace(m_surfaces.begin(), m_surfaces.end(), m_current, replacement);
    for (auto& d : m_decentres)
      if (d.surface == m_current) d.surface = replacement;
    m_current = replacement;
  }

  Decentre& decentreOfCurrent() {
    for (auto& d : m_decentres)
      if (d.surface == m_current) return d;
    m_decentres.push_back(Decentre{m_current, nullptr, {0, 0, 0, 0, 0, 0}, false});
    return m_decentres.back();
  }

  void privateGlass(const std::string& command) {
    const auto close = command.find('\'', 1);
    const std::string name = command.substr(1, close == std::string::npos ? std::string::npos : close - 1);
    foundation::Scanner s(close == std::string::npos ? std::string() : command.substr(close + 1));
    std::vector<double> indices = allNumbers(s);
    if (name.empty() || indices.empty()) {
      m_report.trouble("a private glass needs a name and its indices");
      return;
    }
    std::vector<double> wavelengths = m_privateWavelengths;
    if (wavelengths.size() != indices.size()) {
      const std::size_t n = std::min(wavelengths.size(), indices.size());
      m_report.log(platform::format("private glass %s gives %zu indices for %zu wavelengths; %zu are used", name.c_str(),
                                    indices.size(), wavelengths.size(), n));
      wavelengths.resize(n);
      indices.resize(n);
    }
    auto glass = platform::makeObject<materials::GlassWithIndexData>();
    glass->setName(name);
    glass->setVersion(std::string("private"));
    Array rows;
    for (std::size_t i = 0; i < indices.size(); ++i)
      rows.push_back(Dictionary{{"wavelength", wavelengths[i]}, {"indexOfRefraction", indices[i]}});
    glass->setIndexData(rows);
    m_privateGlasses.push_back(glass);
  }

  void zoom(foundation::Scanner& s, const std::string& command) {
    const std::string what = upper(word(s));
    std::string key;
    bool isLength = false;
    std::optional<long long> surfaceNumber;
    if (what == "FNO") {
      key = "infiniteConjugateImageSpaceFocalRatio";
    } else if (what == "THI") {
      const std::string surfaceWord = upper(word(s));
      const bool named = surfaceWord.size() >= 2 && surfaceWord.size() <= 4 && surfaceWord[0] == 'S' &&
                         std::all_of(surfaceWord.begin() + 1, surfaceWord.end(), [](char ch) { return ch >= '0' && ch <= '9'; });
      if (!named) {
        m_report.trouble("zoom thickness of no surface: " + command);
        return;
      }
      key = "s" + surfaceWord.substr(1) + ".thickness";
      surfaceNumber = digitsValue(std::string_view(surfaceWord).substr(1));
      isLength = true;
    } else {
      m_report.trouble("zoom of " + what + " is not read: " + command);
      return;
    }
    std::vector<double> values = allNumbers(s);
    if (values.empty()) return;
    m_zoom.push_back({key, values, isLength, surfaceNumber});
  }

  // --- end --------------------------------------------------------------------------------------
  static std::shared_ptr<Surface> coordinateBreak(const char* comment, double dx, double dy, double rx, double ry,
                                                   double rz, bool decentreFirst, double thickness) {
    auto cb = Surface::create<lens::CoordinateBreak>();
    cb->setComment(comment);
    cb->setValueForKey("dx", dx);
    cb->setValueForKey("dy", dy);
    cb->setValueForKey("rx", rx);
    cb->setValueForKey("ry", ry);
    cb->setValueForKey("rz", rz);
    cb->setValueForKey("order", lensBreakOrderFromZemax(decentreFirst ? 0 : 1));
    cb->setThickness(thickness);
    return cb;
  }

  // CODE V decentres by XDE, YDE, ZDE and then tilts by α, β, γ about x, y, z in that order,
  // each the same hand: a positive ADE turns the surface's +y toward -z, BDE its +x toward
  // +z, CDE its +x toward -y. A break's rx and rz turn the other hand, its ry this one.
  void placeDecentres() {
    for (auto& d : m_decentres) {
      const auto at = std::find(m_surfaces.begin(), m_surfaces.end(), d.surface);
      if (at == m_surfaces.end()) continue;
      const double dx = d.values[0], dy = d.values[1], dz = d.values[2];
      const double rx = -d.values[3], ry = d.values[4], rz = -d.values[5];
      const bool tilted = rx != 0 || ry != 0 || rz != 0;
      std::vector<std::shared_ptr<Surface>> before, after;
      if (d.reverse) {
        // The surface stands where it is; the frame after it undoes the decentre: tilts
        // back in the reverse order, then the shifts back.
        after.push_back(coordinateBreak("reverse decentre", -dx, -dy, -rx, -ry, -rz, false, d.surface->thickness() - dz));
        d.surface->setThickness(0);
      } else {
        // ZDE moves along the axis before the tilts; a break's thickness comes after its
        // tilts, so a tilted surface with ZDE takes the shift on a break of its own.
        if (tilted && dz != 0) before.push_back(coordinateBreak("decentre z", 0, 0, 0, 0, 0, true, dz));
        before.push_back(coordinateBreak("decentre", dx, dy, rx, ry, rz, true, tilted ? 0 : dz));
        if (d.andReturn) {
          // The following thickness is measured from where the frame was before the decentre.
          after.push_back(coordinateBreak("return", -dx, -dy, -rx, -ry, -rz, false, d.surface->thickness() - dz));
          d.surface->setThickness(0);
        } else if (d.bend) {
          // The axis after a tilted mirror is its reflection: the tilt once more.
          after.push_back(coordinateBreak("bend", 0, 0, rx, ry, 0, true, d.surface->thickness()));
          d.surface->setThickness(0);
        }
      }
      const auto index = at - m_surfaces.begin();
      m_surfaces.insert(m_surfaces.begin() + index + 1, after.begin(), after.end());
      m_surfaces.insert(m_surfaces.begin() + index, before.begin(), before.end());
    }
  }

  // The image surface's thickness is CODE V's defocus: it moves the image along the axis
  // from the last thickness (or from the paraxial image when PIM solves that thickness).
  void placeImage() {
    std::shared_ptr<Surface> image;
    if (m_imageGiven && m_surfaces.size() >= 2) {
      image = m_surfaces.back();
    } else {
      image = Surface::create();
      image->setCurvature(0);
      m_surfaces.push_back(image);
    }
    const double defocus = image->thickness();
    image->setThickness(0);
    if (m_surfaces.size() < 3) return;  // the object and the image: nothing to solve or move
    const auto& last = m_surfaces[m_surfaces.size() - 2];
    if (m_paraxialImageSolve) last->setThicknessSolveTypeTargetZone(2, 0, 0);
    if (defocus == 0 || !std::isfinite(defocus)) return;
    if (last->thicknessSolveType() > 1) {
      // A solve owns the last thickness: a plane after it carries the defocus.
      auto plane = Surface::create();
      plane->setCurvature(0);
      plane->setComment("image defocus");
      plane->setThickness(defocus);
      m_surfaces.insert(m_surfaces.end() - 1, plane);
    } else {
      last->setThickness(last->thickness() + defocus);
    }
  }

  void convertInchesToMillimetres() {
    const double k = kMillimetresPerInch;
    for (const auto& s : m_surfaces) {
      s->scaleByFactor(k);
      if (s->isCoordinateBreak())
        for (const char* key : {"dx", "dy"})
          if (auto value = s->parameterValue(key)) s->setValueForKey(key, *value * k);
    }
    if (m_result.get("sourceDivergenceType").isNumber() && m_result.get("sourceDivergenceType").asDouble() == 0)
      m_result.set("sourceDivergenceValue", m_result.get("sourceDivergenceValue").asDouble() * k);
    if (m_result.get("fieldType") == Value("Image height")) {
      for (auto& x : m_fieldX) x *= k;
      for (auto& y : m_fieldY) y *= k;
    }
    for (auto& z : m_zoom)
      if (z.isLength)
        for (double& value : z.values) value *= k;
    m_result.set("unitCode", "MM");
    m_report.log("the lens is in inches; its lengths are converted to millimetres");
  }

  std::optional<Dictionary> finish() {
    const auto asRead = m_surfaces;
    placeImage();
    placeDecentres();
    renumberZoomSurfaces(asRead);
    if (m_inches) convertInchesToMillimetres();

    // Zoom: one configuration per position, as many as the shortest list gives.
    Array configurations;
    if (!m_zoom.empty()) {
      std::size_t count = m_zoom.front().values.size();
      for (const auto& z : m_zoom) count = std::min(count, z.values.size());
      for (const auto& z : m_zoom)
        if (z.values.size() != count)
          m_report.log(platform::format("zoom %s gives %zu positions; %zu are used", z.key.c_str(), z.values.size(),
                                        count));
      for (std::size_t i = 0; i < count; ++i) {
        Dictionary configuration;
        for (const auto& z : m_zoom) configuration.set(z.key, z.values[i]);
        configuration.set("configurationName", static_cast<std::int64_t>(i));
        configurations.push_back(configuration);
      }
    }
    m_result.set("multiconfigurationArray", configurations);

    Array surfaces;
    for (const auto& s : m_surfaces) surfaces.push_back(Value(s));
    m_result.set("surfaceArray", surfaces);

    Array glasses;
    for (const auto& g : m_privateGlasses) glasses.push_back(Value(g));
    m_result.set("glassArray", glasses);

    Array fields;
    const int fieldCount = std::max(m_fieldXCount, m_fieldYCount);
    const bool angles = m_result.get("fieldType") != Value("Image height");
    for (int i = 0; i < fieldCount; ++i) {
      const auto k = static_cast<std::size_t>(i);
      auto f = lens::Field::field();
      const AngleField xy = angles ? lensAngleFieldFromTangentAngles({m_fieldX[k], m_fieldY[k]})
                                   : AngleField{m_fieldX[k], m_fieldY[k]};
      f->setX(xy.x);
      f->setY(xy.y);
      f->setWeight(m_fieldWeight[k]);
      if (i < m_vlxCount) f->setPXA(m_vlx[k] - 1);
      if (i < m_vuxCount) f->setPXB(1 - m_vux[k]);
      if (i < m_vlyCount) f->setPYA(m_vly[k] - 1);
      if (i < m_vuyCount) f->setPYB(1 - m_vuy[k]);
      fields.push_back(Value(f));
    }
    m_result.set("fieldArray", fields);

    if (m_reference < 1 || m_reference > m_waveCount) {
      m_report.log(platform::format("reference wavelength %d does not exist; the first is taken", m_reference));
      m_reference = 1;
    }
    Array waves;
    for (int i = 0; i < m_waveCount; ++i) {
      const auto k = static_cast<std::size_t>(i);
      auto w = lens::Wave::wave();
      w->setWavelengthInNanometers(m_wavelength[k]);
      w->setWeight(m_waveWeight[k]);
      w->setIsPrimary(i + 1 == m_reference);
      waves.push_back(Value(w));
    }
    m_result.set("waveArray", waves);

    if (m_options.handleInfiniteConjugate && m_surfaces.front()->thickness() >= kInfiniteObjectDistance)
      m_surfaces.front()->setThickness(kInfinity);
    return std::move(m_result);
  }

  struct ZoomValues {
    std::string key;
    std::vector<double> values;
    bool isLength;
    std::optional<long long> surfaceNumber;  // CODE V's, for a thickness
  };

  // Zoom thicknesses name CODE V's surface numbers; the breaks put in since count in the
  // lens's, and a surface whose frame is restored after it hands its thickness on.
  void renumberZoomSurfaces(const std::vector<std::shared_ptr<Surface>>& asRead) {
    for (auto& z : m_zoom) {
      if (!z.surfaceNumber || *z.surfaceNumber >= static_cast<long long>(asRead.size())) continue;
      const auto& surface = asRead[static_cast<std::size_t>(*z.surfaceNumber)];
      auto at = std::find(m_surfaces.begin(), m_surfaces.end(), surface);
      if (at == m_surfaces.end()) continue;
      for (const auto& d : m_decentres)
        if (d.surface == surface && (d.andReturn || d.reverse || d.bend)) ++at;
      z.key = platform::format("s%ld.thickness", static_cast<long>(at - m_surfaces.begin()));
    }
  }

  const PrescriptionReadOptions& m_options;
  ReadReporter m_report;
  Dictionary m_result;
  std::vector<std::shared_ptr<Surface>> m_surfaces;
  std::shared_ptr<Surface> m_current;
  bool m_hasObject = false;
  bool m_imageGiven = false;
  bool m_radiusMode = true;
  bool m_inPrivate = false;
  bool m_inches = false;
  bool m_stopped = false;
  bool m_inDesignBlock = false;
  bool m_paraxialImageSolve = false;
  std::vector<double> m_privateWavelengths;
  std::vector<std::shared_ptr<materials::GlassWithIndexData>> m_privateGlasses;
  std::vector<Decentre> m_decentres;
  std::array<double, kSlots> m_fieldX{}, m_fieldY{}, m_fieldWeight{}, m_vlx{}, m_vly{}, m_vux{}, m_vuy{};
  int m_fieldXCount = 1, m_fieldYCount = 1, m_vlxCount = 0, m_vlyCount = 0, m_vuxCount = 0, m_vuyCount = 0;
  std::array<double, kSlots> m_wavelength{}, m_waveWeight{};
  int m_waveCount = 1;
  int m_reference = 1;
  std::vector<ZoomValues> m_zoom;
};

}  // namespace

std::optional<Dictionary> readCodeVLines(const std::vector<std::string>& lines, const PrescriptionReadOptions& options) {
  return CodeVRead(options).run(lines);
}

std::optional<Dictionary> readCodeVString(std::string_view text, const PrescriptionReadOptions& options) {
  return readCodeVLines(prescriptionreading::lines(text), options);
}

}  // namespace orb::interchange
