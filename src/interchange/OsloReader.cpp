#include "interchange/OsloReader.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <mutex>

#include "foundation/platform/Scanner.h"
#include "foundation/platform/StringExtensions.h"
#include "interchange/FourCharCode.h"
#include "lens/CircularAperture.h"
#include "lens/CoordinateBreak.h"
#include "lens/Field.h"
#include "lens/Surface.h"
#include "lens/SurfaceAsphereOdd.h"
#include "lens/SurfaceTypeRegistry.h"
#include "lens/Wave.h"
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
constexpr double kPi = 3.141592653589793;
constexpr std::size_t kSlots = 10;

constexpr std::uint32_t code(const char* word) { return fourCharCodeFromCString(word); }

struct IndexGlass {
  std::shared_ptr<materials::GlassWithIndexData> glass;
  std::vector<double> indices;
};

class OsloRead {
 public:
  explicit OsloRead(const PrescriptionReadOptions& options) : m_options(options), m_report(options) {
    static std::once_flag registered;
    std::call_once(registered, [] { lens::registerSurfaceTypes(); });
    m_wavelength.fill(0.55);
    m_weight.fill(1.0);
  }

  std::optional<Dictionary> run(const std::vector<std::string>& lines) {
    int number = 0;
    for (const auto& raw : lines) {
      ++number;
      const std::string text = trim(raw);
      m_report.setLine(number, text);
      if (text.empty()) continue;
      try {
        interpret(text);
      } catch (const platform::Exception& e) {
        m_report.trouble(e.reason());
      }
      if (m_report.givenUp()) return std::nullopt;
    }
    return finish();
  }

 private:
  static bool number(foundation::Scanner& s, double* out) { return s.scanDouble(out); }
  static double number(foundation::Scanner& s, double preset) {
    double v;
    return s.scanDouble(&v) ? v : preset;
  }
  static std::string word(foundation::Scanner& s) {
    std::string w;
    s.scanUpToCharactersFromSet(foundation::CharacterSet::whitespaceAndNewlineCharacterSet(), &w);
    return w;
  }
  static std::optional<std::string> quotedString(foundation::Scanner& s) {
    std::string q;
    if (s.scanQuotedString(&q)) return q;
    return std::nullopt;
  }

  void setAperture(int type, double value) {
    m_result.set("sourceDivergenceType", static_cast<double>(type));
    m_result.set("sourceDivergenceValue", value);
  }

  void twoFields(double y) {
    Array fields;
    for (double value : {0.0, y}) {
      auto f = lens::Field::field();
      f->setX(0);
      f->setY(value);
      f->setWeight(1);
      fields.push_back(Value(f));
    }
    m_fields = fields;
  }

  void replaceCurrent(const char* type) {
    auto replacement = lens::SurfaceTypeRegistry::shared().surfaceOfType(type, m_current.get());
    std::replace(m_surfaces.begin(), m_surfaces.end(), m_current, replacement);
    m_current = replacement;
  }

  void setCoefficient(const std::string& key, double value) {
    try {
      m_current->setValueForKey(key, value);
    } catch (const platform::Exception&) {
      m_report.trouble("the surface has no coefficient " + key);
    }
  }

  void interpret(const std::string& text) {
    foundation::Scanner s(text);
    const std::string w = upper(word(s));
    if (w.empty()) return;
    if (w.rfind("//", 0) == 0) return;
    const std::uint32_t c = fourCharCodeFromCString(w);
    Surface* surface = m_current.get();
    double v = 0;

    // SNO1 … SNO9 and the odd-asphere words carry a number in the word itself.
    if (w.size() == 4 && w.rfind("SNO", 0) == 0 && w[3] >= '1' && w[3] <= '9') {
      const std::string note = quotedString(s).value_or("");
      m_notes = m_notes ? *m_notes + "\n" + note : note;
      return;
    }
    if (const auto digits = w.size() >= 3 && w.size() <= 4 && w.rfind("AS", 0) == 0
                                ? digitsValue(std::string_view(w).substr(2))
                                : std::nullopt) {
      const int n = static_cast<int>(*digits);
      if (n == 7 || n > 12) {
        m_report.trouble(platform::format("ignore line [%d]: <%s>", m_report.line(), text.c_str()));
        return;
      }
      const double value = number(s, 0.0);
      if (!surface) return;
      if (!dynamic_cast<lens::SurfaceAsphereOdd*>(surface)) replaceCurrent("Odd Asphere");
      setCoefficient(platform::format("a%d", n), value);
      return;
    }

    switch (c) {
      case code("LEN"): case code("LENS"): {
        if (trim(s.remainderString()).rfind('"', 0) != 0) word(s);  // "NEW", when given
        auto name = quotedString(s);
        number(s, 0.0);
        double ref = 0;
        const bool hasRef = number(s, &ref);
        auto object = Surface::create();
        m_surfaces.push_back(object);
        m_current = object;
        if (name) m_result.set("systemName", *name);
        m_result.set("refSurface", static_cast<std::int64_t>(hasRef ? clampedInteger(ref) : 0));
        return;
      }
      case code("UNI"): m_result.set("unitCode", word(s)); return;
      case code("DES"): if (auto d = quotedString(s)) m_result.set("designer", *d); return;
      case code("DLRS"): m_result.set("globalCoordinateReferenceSurface", static_cast<std::int64_t>(clampedInteger(number(s, 0.0)))); return;
      case code("EBR"): if (number(s, &v)) setAperture(0, 2 * v); return;
      case code("FNO"): if (number(s, &v)) setAperture(1, v); return;
      case code("NAO"): if (number(s, &v)) setAperture(2, v); return;
      case code("NAP"): if (number(s, &v)) setAperture(6, v); return;
      case code("PUK"):
        if (number(s, &v)) {
          const double na = std::sin(std::atan(v));
          m_report.log(platform::format("PUK %g -> setInfiniteConjugateImageSpaceNumericalAperture: %g", v, na));
          setAperture(6, na);
        }
        return;
      case code("ANG"):
        if (number(s, &v)) {
          m_result.set("fieldType", "Angle");
          twoFields(v);
        }
        return;
      case code("OBH"):
        if (number(s, &v)) {
          m_result.set("fieldType", "Object height");
          twoFields(v);
        }
        return;
      case code("WV"): {
        std::array<double, kSlots> read{};
        std::size_t n = 0;
        while (n < kSlots && number(s, &read[n])) ++n;
        if (n == 0) return;
        std::copy(read.begin(), read.begin() + static_cast<long>(n), m_wavelength.begin());
        m_waveCount = n;
        return;
      }
      case code("WW"): {
        std::size_t n = 0;
        while (n < kSlots && number(s, &m_weight[n])) ++n;
        return;
      }
      case code("RD"): case code("RDF"): {
        const double r = number(s, kInfinity);
        if (surface) surface->setCurvature(r == 0 || std::isinf(r) ? 0 : 1 / r);
        return;
      }
      case code("CV"): case code("CVF"): if (surface) surface->setCurvature(number(s, 0.0)); return;
      case code("TH"): case code("THF"): if (surface) surface->setThickness(number(s, kInfinity)); return;
      case code("CC"): if (number(s, &v) && surface) surface->setConicConstant(v); return;
      case code("AST"): if (surface) surface->setIsStop(true); return;
      case code("RFH"): case code("RFL"):
        if (surface) surface->setIsMirror(true);
        m_mirrorSign = -m_mirrorSign;
        return;
      case code("GLA"): case code("GLF"): glass(s); return;
      case code("AP"): case code("APF"): aperture(s, text); return;
      case code("PK"): pickup(s, text); return;
      case code("PU"): if (surface) surface->setCurvatureSolveTypeTarget(2, number(s, 0.0)); return;
      case code("PUC"): if (surface) surface->setCurvatureSolveTypeTarget(3, number(s, 0.0)); return;
      case code("PY"): if (surface) surface->setThicknessSolveTypeTarget(2, number(s, 0.0)); return;
      case code("PYC"): if (surface) surface->setThicknessSolveTypeTarget(3, number(s, 0.0)); return;
      case code("PI"):
        if (number(s, 0.0) == 0) {
          if (surface) surface->setCurvatureSolveTypeTarget(5, 0);
        } else {
          m_report.log("warning: paraxial axial ray angle of incidence solve ignored (non-zero target)");
        }
        return;
      case code("PIC"):
        if (number(s, 0.0) == 0) {
          if (surface) surface->setCurvatureSolveTypeTarget(6, 0);
        } else {
          m_report.log("warning: chief axial ray angle of incidence solve ignored (non-zero target)");
        }
        return;
      case code("TLA"): m_tilt[0] = number(s, 0.0); m_tiltPending = true; return;
      case code("TLB"): m_tilt[1] = number(s, 0.0); m_tiltPending = true; return;
      case code("TLC"): m_tilt[2] = number(s, 0.0); m_tiltPending = true; return;
      case code("DCX"): m_decentre[0] = number(s, 0.0); m_tiltPending = true; return;
      case code("DCY"): m_decentre[1] = number(s, 0.0); m_tiltPending = true; return;
      case code("DCZ"):
        if (number(s, 0.0) != 0) m_report.log("warning: dcz not implemented");
        return;
      case code("DT"): m_dt = clampedInteger(number(s, 0.0)); return;
      case code("BEN"): m_bend = true; return;
      case code("TLT"): number(s, 0.0); return;
      case code("NXT"): nextSurface(); return;
      case code("NOT"): case code("LMN"):
        if (auto note = quotedString(s); note && surface) surface->setComment(*note);
        return;
      case code("LMO"): m_report.log("object of type " + word(s)); return;
      case code("LME"): m_report.log("end of object"); return;
      case code("AD"): case code("ADO"): asphere(s, 4, 4); return;
      case code("AE"): asphere(s, 6, 3); return;
      case code("AF"): asphere(s, 8, 2); return;
      case code("AG"): asphere(s, 10, 1); return;
      case code("END"): case code("RCO"): number(s, 0.0); return;
      case code("DRW"): word(s); return;
      case code("AIR"): case code("AIF"): return;
      default:
        m_report.trouble(platform::format("ignore line [%d]: <%s>", m_report.line(), text.c_str()));
        return;
    }
  }

  // Coefficients a(first), a(first + 2), … in turn, each preset 0. Only coefficients:
  // the line ends no surface.
  void asphere(foundation::Scanner& s, int first, int count) {
    if (!m_current) return;
    if (!dynamic_cast<lens::SurfaceAsphere*>(m_current.get())) replaceCurrent("Asphere");
    for (int i = 0; i < count; ++i) setCoefficient(platform::format("a%d", first + 2 * i), number(s, 0.0));
  }

  void glass(foundation::Scanner& s) {
    std::string name = word(s);
    const bool model = upper(name) == "MOD";
    if (model) name = word(s);
    if (name.empty() || !m_current) return;
    auto g = platform::makeObject<materials::GlassWithIndexData>();
    g->setName(name);
    g->setVersion(std::string("OSLO"));
    std::vector<double> indices;
    double v;
    while (number(s, &v)) indices.push_back(v);
    if (!indices.empty()) {
      g->setReferenceIndex(indices.front());
      m_indexGlasses.push_back({g, indices});
      m_current->setGlass(g);
    } else if (model) {
      m_current->setGlass(g);
    } else {
      m_current->setGlassName(name);
    }
  }

  void aperture(foundation::Scanner& s, const std::string& text) {
    if (!m_current) return;
    double v;
    if (number(s, &v)) {
      m_current->setSemidiameter(v);
      m_current->setSemidiameterSolveType(1);
      return;
    }
    if (upper(word(s)) == "CHK") {
      if (number(s, &v)) {
        if (v != 0) {
          m_current->setSemidiameter(v);
          m_current->setSemidiameterSolveType(1);
          m_current->setAperture(lens::FloatingAperture::aperture());
        } else {
          m_report.log("ignoring " + text);
        }
      } else {
        m_report.log("uninterpretable AP");
        m_current->setSemidiameter(0);
        m_current->setSemidiameterSolveType(0);
      }
      return;
    }
    m_report.trouble("warning: could not understand AP command " + text);
  }

  void pickup(foundation::Scanner& s, const std::string& text) {
    const std::string item = upper(word(s));
    double k = 0;
    if (!number(s, &k) || !m_current) {
      m_report.trouble("a pickup needs an item and a surface offset: " + text);
      return;
    }
    number(s, 0.0);  // the factor
    const long count = static_cast<long>(m_surfaces.size());
    const double index = static_cast<double>(count) + k - 1;
    // The offset comes from the file: a source before the object or past the current
    // surface names nothing.
    if (!(index >= 0 && index < static_cast<double>(count)) || k != std::trunc(k)) {
      m_report.trouble(platform::format("pickup from surface %g does not exist (%ld surfaces so far)", index, count));
      return;
    }
    const auto& source = m_surfaces[static_cast<std::size_t>(index)];
    m_report.log(platform::format("pickup <%s> from surface %ld", item.c_str(), static_cast<long>(index)));
    if (item == "CV")
      m_current->setCurvature(source->curvature());
    else if (item == "CVM")
      m_current->setCurvature(-source->curvature());
    else if (item == "THM")
      m_current->setThickness(m_mirrorSign == 1.0 ? source->thickness() : -source->thickness());
    else if (item == "GLA")
      m_current->setGlass(source->glass());
  }

  void applyTilts() {
    if (!m_tiltPending || !m_current) return;
    const double a = m_tilt[0], b = m_tilt[1], c = m_tilt[2];
    const auto at = std::find(m_surfaces.begin(), m_surfaces.end(), m_current);
    if (m_surfaces.size() == 1) {
      auto cb = Surface::create<lens::CoordinateBreak>();
      cb->setComment("TILTOBJ");
      cb->setValueForKey("rz", -c);
      cb->setValueForKey("ry", b);
      cb->setValueForKey("rx", a);
      cb->setThickness(m_current->thickness());
      m_current->setThickness(0);
      m_surfaces.push_back(cb);
    } else {
      auto cb = Surface::create<lens::CoordinateBreak>();
      cb->setComment("T/D");
      cb->setValueForKey("rx", -a);
      cb->setValueForKey("ry", -b);
      cb->setValueForKey("rz", c);
      cb->setValueForKey("dx", m_decentre[0]);
      cb->setValueForKey("dy", m_decentre[1]);
      cb->setValueForKey("order", m_dt == 1 ? 1.0 : 0.0);
      const auto index = at - m_surfaces.begin();
      m_surfaces.insert(at, cb);
      if (m_bend) {
        auto bend = Surface::create<lens::CoordinateBreak>();
        bend->setComment("BEN");
        bend->setValueForKey("rx", -a);
        bend->setValueForKey("ry", -b);
        bend->setThickness(m_current->thickness());
        m_current->setThickness(0);
        m_surfaces.insert(m_surfaces.begin() + index + 2, bend);
      }
    }
    m_tilt = {0, 0, 0};
    m_decentre = {0, 0};
    m_dt = 0;
    m_tiltPending = false;
    m_bend = false;
  }

  void nextSurface() {
    applyTilts();
    auto surface = Surface::create();
    m_surfaces.push_back(surface);
    m_current = surface;
  }

  std::optional<Dictionary> finish() {
    if (m_options.handleInfiniteConjugate && !m_surfaces.empty() && m_surfaces.front()->thickness() > 1e10) {
      auto& object = m_surfaces.front();
      const double theta = std::atan(object->semidiameter() / object->thickness()) * 180 / kPi;
      object->setSemidiameterSolveType(0);
      object->setThickness(kInfinity);
      if (m_fields.empty()) {
        m_result.set("fieldType", "Angle");
        twoFields(theta);
      }
    }
    applyTilts();
    if (!m_surfaces.empty() && m_surfaces.back()->thickness() != 0) {
      auto image = Surface::create();
      image->setComment("image");
      m_surfaces.push_back(image);
    }
    if (m_notes) m_result.set("notes", *m_notes);

    Array surfaces;
    for (const auto& s : m_surfaces) surfaces.push_back(Value(s));
    m_result.set("surfaceArray", surfaces);
    m_result.set("fieldArray", m_fields);

    Array waves;
    for (std::size_t i = 0; i < m_waveCount; ++i) {
      auto w = lens::Wave::wave();
      w->setWavelengthInMicrons(m_wavelength[i]);
      w->setWeight(m_weight[i]);
      waves.push_back(Value(w));
    }
    m_result.set("waveArray", waves);

    for (auto& [glass, indices] : m_indexGlasses) {
      std::size_t n = std::min(indices.size(), m_waveCount);
      if (indices.size() != m_waveCount)
        m_report.log(platform::format("glass %s gives %zu indices for %zu wavelengths; %zu are used",
                                      glass->name().c_str(), indices.size(), m_waveCount, n));
      glass->setDataWavelengthUnits("micron");
      Array rows;
      for (std::size_t i = 0; i < n; ++i)
        rows.push_back(Dictionary{{"wavelength", m_wavelength[i]}, {"indexOfRefraction", indices[i]}});
      glass->setIndexData(rows);
    }
    return std::move(m_result);
  }

  const PrescriptionReadOptions& m_options;
  ReadReporter m_report;
  Dictionary m_result;
  std::vector<std::shared_ptr<Surface>> m_surfaces;
  std::shared_ptr<Surface> m_current;
  Array m_fields;
  std::array<double, kSlots> m_wavelength{}, m_weight{};
  std::size_t m_waveCount = 1;
  std::array<double, 3> m_tilt{};
  std::array<double, 2> m_decentre{};
  bool m_tiltPending = false;
  int m_dt = 0;
  bool m_bend = false;
  double m_mirrorSign = 1.0;
  std::optional<std::string> m_notes;
  std::vector<IndexGlass> m_indexGlasses;
};

}  // namespace

std::optional<Dictionary> readOsloLines(const std::vector<std::string>& lines, const PrescriptionReadOptions& options) {
  return OsloRead(options).run(lines);
}

std::optional<Dictionary> readOsloString(std::string_view text, const PrescriptionReadOptions& options) {
  return readOsloLines(prescriptionreading::lines(text), options);
}

}  // namespace orb::interchange
