#include "interchange/ZemaxWriter.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <memory>
#include <vector>

#include "foundation/platform/StringExtensions.h"
#include "interchange/LensDictionary.h"
#include "lens/Aperture.h"
#include "lens/AspectAperture.h"
#include "lens/CircularAperture.h"
#include "lens/Field.h"
#include "lens/SpiderAperture.h"
#include "lens/Surface.h"
#include "lens/Wave.h"
#include "materials/Glass.h"
#include "platform/Exception.h"

namespace orb::interchange {

using lens::Surface;
using platform::Array;
using platform::Dictionary;
using platform::format;
using platform::Value;

std::string zemaxNumber(double value) {
  char buffer[64];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

// The shortest decimal of the nanometres with its point moved three places: the reader
// moves it back in the text, so the wave comes back as the very number it holds. A binary
// ÷ 1000 would turn 587.6 nm into "0.5876000000000001".
std::string zemaxMicronsFromNanometres(double nanometres) {
  if (nanometres == 0 || !std::isfinite(nanometres)) return zemaxNumber(nanometres / 1000);
  char buffer[64];
  const auto end = std::to_chars(buffer, buffer + sizeof buffer, nanometres, std::chars_format::scientific).ptr;
  std::string_view text(buffer, static_cast<std::size_t>(end - buffer));  // [-]d[.ddd]e±XX
  const bool negative = text.front() == '-';
  if (negative) text.remove_prefix(1);
  const std::size_t e = text.find('e');
  std::string digits;
  for (char c : text.substr(0, e))
    if (c != '.') digits += c;
  std::string_view exponentText = text.substr(e + 1);
  if (exponentText.front() == '+') exponentText.remove_prefix(1);
  int exponent = 0;
  std::from_chars(exponentText.data(), exponentText.data() + exponentText.size(), exponent);
  exponent -= 3;  // microns = d.ddd × 10^exponent

  const int n = static_cast<int>(digits.size());
  std::string fixed;
  if (exponent >= n - 1)
    fixed = digits + std::string(static_cast<std::size_t>(exponent - (n - 1)), '0');
  else if (exponent >= 0)
    fixed = digits.substr(0, static_cast<std::size_t>(exponent + 1)) + "." +
            digits.substr(static_cast<std::size_t>(exponent + 1));
  else
    fixed = "0." + std::string(static_cast<std::size_t>(-exponent - 1), '0') + digits;
  const std::string scientific =
      digits.substr(0, 1) + (n > 1 ? "." + digits.substr(1) : std::string()) + format("e%+03d", exponent);
  return (negative ? "-" : "") + (scientific.size() < fixed.size() ? scientific : fixed);
}

std::string zemaxCommandFromSourceDivergenceType(int type, double value) {
  const std::string v = zemaxNumber(value);
  switch (type) {
    case 0: return "ENPD " + v + "\n";
    case 1: return "FNUM " + v + " 0\n";
    case 2: return "OBNA " + v + " 0\n";
    case 3: return "FLOA\n";
    case 4: return "FNUM " + v + " 1\n";
    case 5: return "OBNA " + v + " 1\n";  // the object cone angle
    default: return {};
  }
}

namespace {

constexpr std::size_t kMaxFieldsOrWaves = 10;

template <class T>
std::vector<std::shared_ptr<T>> objects(const Value& v) {
  std::vector<std::shared_ptr<T>> out;
  if (v.isNil()) return out;
  for (const auto& element : v.asArray()) out.push_back(element.asObject<T>());
  return out;
}

// The surfaces as written, in order; a surface's number is its position here.
class SurfaceNumbering {
 public:
  explicit SurfaceNumbering(const std::vector<std::shared_ptr<Surface>>& surfaces) {
    for (const auto& s : surfaces)
      for (auto& z : s->zemaxSurfaces()) m_written.push_back(std::move(z));
  }
  const std::vector<std::shared_ptr<const Surface>>& written() const { return m_written; }
  /// 0 for a surface not written (a missing solve source).
  std::size_t numberOf(const Surface* s) const {
    for (std::size_t i = 0; i < m_written.size(); ++i)
      if (m_written[i].get() == s) return i;
    return 0;
  }

 private:
  std::vector<std::shared_ptr<const Surface>> m_written;
};

std::string numbersLine(const char* word, const std::vector<double>& values) {
  std::string line = word;
  for (double v : values) line += " " + zemaxNumber(v);
  return line + "\n";
}

std::string fieldLines(const std::vector<std::shared_ptr<lens::Field>>& fields, bool angles) {
  if (fields.size() > kMaxFieldsOrWaves)
    platform::Exception::raise("Unsupported", "ZEMAX text holds at most %zu fields; this lens has %zu",
                               kMaxFieldsOrWaves, fields.size());
  std::vector<double> x, y, w, vdx, vdy, vcx, vcy;
  bool vignetted = false;
  for (const auto& f : fields) {
    // The lens's angle turns toward the field; the file gives the direction's tangents.
    const AngleField xy = angles ? tangentAnglesFromLensAngleField({f->x(), f->y()}) : AngleField{f->x(), f->y()};
    x.push_back(xy.x);
    y.push_back(xy.y);
    w.push_back(f->weight());
    vignetted = vignetted || f->vignetted();
    // The reader's PXA = d + c − 1 and PXB = d + 1 − c, solved for d and c.
    vdx.push_back((f->PXA() + f->PXB()) / 2);
    vcx.push_back(1 - (f->PXB() - f->PXA()) / 2);
    vdy.push_back((f->PYA() + f->PYB()) / 2);
    vcy.push_back(1 - (f->PYB() - f->PYA()) / 2);
  }
  std::string out = numbersLine("XFLD", x) + numbersLine("YFLD", y) + numbersLine("FWGT", w);
  if (vignetted)
    out += numbersLine("VDXN", vdx) + numbersLine("VDYN", vdy) + numbersLine("VCXN", vcx) + numbersLine("VCYN", vcy);
  return out;
}

std::string waveLines(const std::vector<std::shared_ptr<lens::Wave>>& waves) {
  if (waves.size() > kMaxFieldsOrWaves)
    platform::Exception::raise("Unsupported", "ZEMAX text holds at most %zu wavelengths; this lens has %zu",
                               kMaxFieldsOrWaves, waves.size());
  std::string microns = "WAVL";
  std::vector<double> weights;
  std::size_t primary = 1;
  for (std::size_t i = 0; i < waves.size(); ++i) {
    const auto& w = *waves[i];
    microns += " " + zemaxMicronsFromNanometres(w.wavelengthUnit() == lens::Wave::kNanometre
                                                    ? w.wavelength()
                                                    : w.wavelengthInNanometers());
    weights.push_back(w.weight());
    if (w.isPrimary()) primary = i + 1;
  }
  return microns + "\n" + numbersLine("WWGT", weights) + format("PWAV %zu\n", primary);
}

std::string glassLine(const materials::Glass& glass) {
  const bool model = glass.isModel();
  std::string name = (model && glass.dynamicName()) || glass.name().empty() ? "___BLANK" : glass.name();
  return format(" GLAS %s %d 0 ", name.c_str(), model ? 1 : 0) + zemaxNumber(glass.referenceIndex()) + " " +
         zemaxNumber(glass.referenceAbbe()) + " " + zemaxNumber(glass.referencePartialDispersion()) +
         format(" %d %d 0\n", model && glass.referenceIndexIsVariable() ? 1 : 0,
                model && glass.referenceAbbeIsVariable() ? 1 : 0);
}

std::string apertureLines(const lens::Aperture& a, const MessageSink& log) {
  const std::string kind = a.className();
  auto pair = [](const char* word, double u, double v) {
    return format(" %s ", word) + zemaxNumber(u) + " " + zemaxNumber(v) + "\n";
  };
  std::string out;
  if (kind == "CircularAperture") out = pair("CLAP", a.rMin(), a.rMax());
  else if (kind == "CircularObscuration") out = pair("OBSC", a.rMin(), a.rMax());
  else if (kind == "FloatingAperture") out = pair("FLAP", 0, a.rMax());
  else if (kind == "RectangularAperture") out = pair("SQAP", a.xRadius(), a.yRadius());
  else if (kind == "RectangularObscuration") out = pair("SQOB", a.xRadius(), a.yRadius());
  else if (kind == "EllipticalAperture") out = pair("ELAP", a.xRadius(), a.yRadius());
  else if (kind == "EllipticalObscuration") out = pair("ELOB", a.xRadius(), a.yRadius());
  else if (auto spider = dynamic_cast<const lens::SpiderAperture*>(&a))
    out = format(" SPID %d ", spider->numberOfArms()) + zemaxNumber(spider->widthOfArms()) + "\n";
  else {
    emitMessage(log, "aperture " + kind + " has no ZEMAX line; not written");
    return {};
  }
  if (a.isDecentered()) out += pair("OBDC", a.decenterX(), a.decenterY());
  return out;
}

std::string parameterLines(const Surface& s, const SurfaceNumbering& numbering) {
  const auto r = zemaxParameterRanges(s);
  std::string out;
  for (int i = r.firstParameter; i <= r.lastParameter; ++i)
    if (auto p = parameterForZemaxParameterIndex(s, static_cast<std::uint32_t>(i))) {
      const bool order = s.isCoordinateBreak() && i == static_cast<int>(kZemaxBreakOrderParameterIndex);
      out += format(" PARM %d ", i) + zemaxNumber(order ? zemaxBreakOrderFromLens(p->value()) : p->value()) + "\n";
    }
  for (int i = r.firstParameter; i <= r.lastParameter; ++i)
    if (auto p = parameterForZemaxParameterIndex(s, static_cast<std::uint32_t>(i)); p && p->solveType() == 1)
      out += format(" VPAR %d\n", i);
  for (int i = r.firstParameter; i <= r.lastParameter; ++i)
    if (auto p = parameterForZemaxParameterIndex(s, static_cast<std::uint32_t>(i)); p && p->solveType() == 2)
      out += format(" PPAR %d %zu ", i, numbering.numberOf(dynamic_cast<const Surface*>(p->solveSurface().get()))) +
             zemaxNumber(p->solveScale()) + " " + zemaxNumber(p->solveOffset()) + "\n";
  for (int i = r.firstExtraData; i <= r.lastExtraData; ++i) {
    auto p = parameterForZemaxExtraDataIndex(s, static_cast<std::uint32_t>(i));
    if (!p) continue;
    const std::string head = format(" XDAT %d ", i) + zemaxNumber(p->value());
    if (p->solveType() == 1)
      out += head + " 1 0 1\n";
    else if (p->solveType() == 2)
      out += head + format(" 2 %zu ", numbering.numberOf(dynamic_cast<const Surface*>(p->solveSurface().get()))) +
             zemaxNumber(p->solveScale()) + "\n";
    else if (p->value() != 0 || std::isnan(p->value()))
      out += head + " 0 0 1\n";
  }
  return out;
}

std::string surfaceBlock(const Surface& s, std::size_t number, const SurfaceNumbering& numbering,
                         const MessageSink& log) {
  auto n = [&](const std::shared_ptr<Surface>& source) { return numbering.numberOf(source.get()); };
  auto num = zemaxNumber;
  std::string out = format("SURF %zu\n", number);
  if (!s.comment().empty()) out += " COMM " + s.comment() + "\n";
  if (s.isStop()) out += " STOP\n";
  auto type = s.zemaxType();
  if (!type) platform::Exception::raise("Unsupported", "Surface type '%s' has no ZEMAX equivalent", s.type().c_str());
  out += " TYPE " + *type + "\n";
  out += " CURV " + num(s.curvature()) + " 0 0 0\n";
  if (s.conicConstant() != 0) out += " CONI " + num(s.conicConstant()) + "\n";
  switch (s.curvatureSolveType()) {
    case 1: out += " VCUR\n"; break;
    case 2: out += " MARA " + num(s.curvatureSolveTarget()) + "\n"; break;
    case 3: out += " CHIA " + num(s.curvatureSolveTarget()) + "\n"; break;
    case 4: out += format(" PCUP %zu ", n(s.curvatureSolveSurface())) + num(s.curvatureSolveScale()) + "\n"; break;
    case 5: out += " MNOR\n"; break;
    case 6: out += " CNOR\n"; break;
    case 7: out += " APLA\n"; break;
    case 0: break;
    default: emitMessage(log, format("surface %zu: curvature solve %d has no ZEMAX line; not written", number,
                              s.curvatureSolveType()));
  }
  switch (s.conicSolveType()) {
    case 1: out += " VCON\n"; break;
    case 2: out += format(" PKUP %zu ", n(s.conicSolveSurface())) + num(s.conicSolveScale()) + "\n"; break;
    default: break;
  }
  out += std::isinf(s.thickness()) ? std::string(" DISZ INFINITY\n") : " DISZ " + num(s.thickness()) + "\n";
  const auto target = num(s.thicknessSolveTarget());
  switch (s.thicknessSolveType()) {
    case 1: out += "VDSZ\n"; break;
    case 2: out += " MAZH " + target + " " + num(s.thicknessSolveZone()) + "\n"; break;
    case 3: out += " CHZH " + target + "\n"; break;
    case 4: out += " EDGE " + target + " " + num(s.thicknessSolveOffset()) + "\n"; break;
    case 5:
      out += format(" PZUP %zu ", n(s.thicknessSolveSurface())) + num(s.thicknessSolveScale()) + " " +
             num(s.thicknessSolveOffset()) + "\n";
      break;
    case 6: out += " OPDZ " + target + " " + num(s.thicknessSolveZone()) + "\n"; break;
    case 7: out += format(" TOLE %zu ", n(s.thicknessSolveSurface())) + target + "\n"; break;
    case 8: out += format(" TCOM %zu ", n(s.thicknessSolveSurface())) + target + "\n"; break;
    case 9: out += format(" TCOC %zu ", n(s.thicknessSolveSurface())) + target + "\n"; break;
    default: break;
  }
  if (s.glassSolveType() == 1)
    out += format(" GLAS ___BLANK 2 %zu\n", n(s.glassSolveSurface()));
  else if (s.isMirror())
    out += " GLAS MIRROR\n";
  else if (s.glass())
    out += glassLine(*s.glass());
  out += " DIAM " + num(s.semidiameter()) +
         format(" %d %zu\n", zemaxSemidiameterSolveType(s),
                s.semidiameterSolveSurface() ? n(s.semidiameterSolveSurface()) : std::size_t{0});
  if (s.countOfParameterArray() > 0) out += parameterLines(s, numbering);
  if (s.apertureObject()) out += apertureLines(*s.apertureObject(), log);
  return out;
}

std::string configurationLines(const Value& value, const MessageSink& log) {
  if (value.isNil() || value.asArray().empty()) return "MNUM 1\n";
  const Array& configurations = value.asArray();
  std::string out = format("MNUM %zu\n", configurations.size());
  for (std::size_t c = 0; c < configurations.size(); ++c) {
    for (const auto& [key, entry] : configurations[c].asDictionary()) {
      const std::string path = key.isString() ? key.asString() : std::string();
      // "s<surface>.thickness" or "s<surface>.curvature".
      const std::size_t dot = path.find('.');
      int surface = -1;
      const char* const digitsEnd = path.data() + std::min(dot, path.size());
      const bool numbered = path.size() > 1 && path[0] == 's' && dot != std::string::npos &&
                            std::from_chars(path.data() + 1, digitsEnd, surface).ptr == digitsEnd &&
                            surface >= 0;
      const std::string quantity = numbered ? path.substr(dot + 1) : std::string();
      if (quantity != "thickness" && quantity != "curvature") {
        emitMessage(log, "configuration value " + path + " has no ZEMAX line; not written");
        continue;
      }
      double v = entry.isDictionary() ? entry.asDictionary().get("value").asDouble() : entry.asDouble();
      bool variable = entry.isDictionary() && entry.asDictionary().get("isVariable").isNumber() &&
                      entry.asDictionary().get("isVariable").asBool();
      out += format("%s %d %zu ", quantity == "thickness" ? "THIC" : "CRVT", surface, c + 1) +
             zemaxNumber(v) + format(" %d\n", variable ? 1 : 0);
    }
  }
  return out;
}

}  // namespace

std::string zemaxStringForModel(const Dictionary& d, const MessageSink& log) {
  using namespace lensdictionary;
  // No VERS line: the reader passes it over, and no version number would be true of
  // text that is not Zemax's own. A lens without a title has no NAME line, so that it
  // comes back without one.
  std::string out;
  const Value name = lensDictionaryValue(d, kSystemName);
  if (name.isString() && !name.asString().empty()) out += "NAME " + name.asString() + "\n";
  if (const Value notes = lensDictionaryValue(d, kNotes); !notes.isNil())
    for (const auto& line : foundation::lines(notes.asString())) out += "NOTE 0 " + line + "\n";
  const Value unit = lensDictionaryValue(d, kUnitCode);
  out += "UNIT " + (unit.isNil() ? std::string("MM") : unit.asString()) + "\n";

  const Value typeValue = lensDictionaryValue(d, kSourceDivergenceType);
  const Value value = lensDictionaryValue(d, kSourceDivergenceValue);
  const int type = typeValue.isNil() ? 0 : static_cast<int>(typeValue.asInt());
  const std::string aperture = zemaxCommandFromSourceDivergenceType(type, value.isNil() ? 0.0 : value.asDouble());
  if (aperture.empty()) emitMessage(log, format("aperture type %d has no ZEMAX line; not written", type));
  out += aperture;
  out += "GFAC 0 0\n";
  if (const Value catalogs = lensDictionaryValue(d, kPreferredCatalogs);
      !catalogs.isNil() && !catalogs.asArray().empty()) {
    out += "GCAT";
    for (const auto& c : catalogs.asArray()) out += " " + c.asString();
    out += "\n";
  }

  const Value fieldType = lensDictionaryValue(d, kFieldType);
  const std::string ft = fieldType.isNil() ? std::string() : fieldType.asString();
  int ftyp = ft == "Angle" ? 0 : ft == "Object height" ? 1 : ft == "Image height" ? 2 : -1;
  if (ftyp < 0) platform::Exception::raise("Unsupported", "Field type '%s' is not supported by ZEMAX", ft.c_str());
  const auto fields = objects<lens::Field>(lensDictionaryValue(d, kFieldArray));
  const auto waves = objects<lens::Wave>(lensDictionaryValue(d, kWaveArray));
  out += format("FTYP %d 0 %zu %zu\n", ftyp, fields.size(), waves.size());
  out += fieldLines(fields, ftyp == 0);
  out += waveLines(waves);

  const SurfaceNumbering numbering(objects<Surface>(lensDictionaryValue(d, kSurfaceArray)));
  for (std::size_t i = 0; i < numbering.written().size(); ++i)
    out += surfaceBlock(*numbering.written()[i], i, numbering, log);
  out += configurationLines(lensDictionaryValue(d, kMulticonfigurationArray), log);
  return out;
}

}  // namespace orb::interchange
