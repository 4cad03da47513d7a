#include "interchange/ZemaxReader.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <mutex>
#include <sstream>
#include <unordered_map>

#include "foundation/platform/Scanner.h"
#include "foundation/platform/StringExtensions.h"
#include "interchange/FourCharCode.h"
#include "interchange/LensDictionary.h"
#include "lens/CircularAperture.h"
#include "lens/AspectAperture.h"
#include "lens/CoordinateBreak.h"
#include "lens/Field.h"
#include "lens/SpiderAperture.h"
#include "lens/Surface.h"
#include "lens/SurfaceTypeRegistry.h"
#include "lens/Wave.h"
#include "materials/Glass.h"
#include "materials/ZemaxGlassParser.h"
#include "platform/Exception.h"
#include "platform/UserDefaults.h"

namespace orb::interchange {

using lens::Surface;
using platform::Array;
using platform::Dictionary;
using platform::Value;

std::string ZemaxTrouble::message() const { return platform::format("Trouble at file line %d", line); }

std::string ZemaxTrouble::informativeText() const {
  return lineText + "\n" + exceptionName + " : " + exceptionReason;
}

ZemaxReadOptions ZemaxReadOptions::fromUserDefaults() {
  ZemaxReadOptions o;
  auto& defaults = platform::UserDefaults::standard();
  o.fixSemidiameters = defaults.boolForKey("zemaxReadFixSemidiameters");
  o.removeSolves = defaults.boolForKey("zemaxReadRemoveSolves");
  return o;
}

namespace {

// What a command does. Codes are looked up by value in one table built on first use.
enum class Op {
  Surf, Type, Stop, Comm, Curv, Radi, Coni, Disz, Diam, Glas,
  Vcur, Mara, Chia, Pcup, Mnor, Cnor, Apla, Vcon, Pkup,
  Vdsz, Mazh, Chzh, Pzup, Opdz, Tole, Tcom, Tcoc, Edge,
  Parm, Vpar, Ppar, Xdat,
  Clap, Obsc, Sqap, Sqob, Elap, Elob, Spid, Flap, Obdc, Scbd,
  Name, Note, Unit, Mode, Enpd, Fnum, Obna, Floa, Pupd, Ftyp,
  Xfld, Yfld, Fwgt, Vdx, Vdy, Vcx, Vcy, Wavl, Wavn, Wwgt, Wavm, Pwav,
  Gcat, Raim, Glrs, Glrf, Picb, Ropd, Mnum, Thic, Crvt, Csum,
  ReadNumbers, Ignore, NotImplemented, Multiconfiguration, Merit,
};

const char* const kMulticonfigurationCodes =
    "APDX APDY APER APMN APMX CONN COTN CSP1 CSP2 CWGT EDVA FLTP FLWT FVCX FVCY GCRS GLSS HOLD MABB MDPG MIND "
    "PAR1 PAR2 PAR3 PAR4 PAR5 PAR6 PAR7 PAR8 PRAM PRES PRWV PSP1 PSP2 PSP3 SDIA STPS TEMP TSP1 TSP2 TSP3 WAVE "
    "WLWT XFIE YFIE";

const char* const kMeritCodes =
    "ABSO ACOS AMAG ANAR ASIN ASTI ATAN AXCL BLNK BSER COGT COLT COMA CONF CONS COSI COVA CTGT CTLT CTVA CVGT "
    "CVLT CVOL CVVA DENC DIFF DIMX DISC DISG DIST DIVI DLTN DMFS DMGT DMLT DMVA DXDX DXDY EFFL EFLX EFLY ENDX "
    "ENPP EQUA ETGT ETLT ETVA EXPP FCGS FCGT FCUR FICL GBW0 GBWR GLCA GLCB GLCC GLCX GLCZ GMTA GMTS GMTT GRMN "
    "GRMX HHCN I1GT I1LT I1VA I2GT I2LT I2VA I3GT I3LT I3VA I4GT I4LT I4VA I5GT I5LT I5VA I6GT I6LT I6VA IMAE "
    "ISFN LACL LINV LPTD MAXX MCOV MINN MNAB MNCA MNCG MNCT MNCV MNDT MNEA MNEG MNET MNIN MNPD MNSD MSWA MSWS "
    "MSWT MTFA MTFT MXAB MXCA MXCG MXCT MXCV MXEG MXET MXIN MXPD MXSD OFF OPDC OPDM OPDX OPGT OPLT OPTH OSUM "
    "P2GT P2LT P2VA P3GT P3LT P3VA P4GT P4LT P4VA P5GT P5LT P5VA P6GT P6LT P6VA P7GT P7LT P7VA P8GT P8LT P8VA "
    "PANA PANB PANC PARA PARB PARC PARR PARX PARY PARZ PATX PATY PETC PETZ PIMH PLEN PMAG POWR PRIM PROD QSUM "
    "RAGA RAGB RAGC RAGX RAGY RAGZ RAID RAIN RANG REAA REAB REAC REAR REAX REAY REAZ RENA RENB RENC RETX RETY "
    "RGLA RSCE RSCH RSRE RSRH RWCE RWCH RWRE RWRH SAGX SAGY SFNO SINE SKIS SVIG TANG TFNO TMAS TOTR TRAC TRAD "
    "TRAE TRAI TRAR TRAX TRAY TRCX TRCY TTGT TTHI TTLT TTVA VOLU WFNO XDGT XDLT XDVA XNEA XNEG XNET XXEA XXEG "
    "XXET YNIP ZERN ZPLM ZTHI";

const std::unordered_map<std::uint32_t, Op>& codeTable() {
  static const std::unordered_map<std::uint32_t, Op> table = [] {
    std::unordered_map<std::uint32_t, Op> t;
    auto add = [&t](std::string_view words, Op op) {
      std::istringstream in{std::string(words)};
      std::string w;
      while (in >> w) t[fourCharCodeFromCString(w)] = op;
    };
    add(kMeritCodes, Op::Merit);
    add(kMulticonfigurationCodes, Op::Multiconfiguration);
    add("VERS GFAC POLS SDMA ENVD PUSH SLAB TCED UDAD USAP USOB COAT", Op::ReadNumbers);
    add("DBDT HIDE MIRR MOFF REM TCMM TOL", Op::Ignore);
    add("GSTD COFN NSCD POPS VANN ZVAN", Op::NotImplemented);
    const std::pair<const char*, Op> commands[] = {
        {"SURF", Op::Surf}, {"TYPE", Op::Type}, {"STOP", Op::Stop}, {"COMM", Op::Comm}, {"CURV", Op::Curv},
        {"RADI", Op::Radi}, {"CONI", Op::Coni}, {"DISZ", Op::Disz}, {"DIAM", Op::Diam}, {"GLAS", Op::Glas},
        {"VCUR", Op::Vcur}, {"MARA", Op::Mara}, {"CHIA", Op::Chia}, {"PCUP", Op::Pcup}, {"MNOR", Op::Mnor},
        {"CNOR", Op::Cnor}, {"APLA", Op::Apla}, {"VCON", Op::Vcon}, {"PKUP", Op::Pkup}, {"VDSZ", Op::Vdsz},
        {"MAZH", Op::Mazh}, {"CHZH", Op::Chzh}, {"PZUP", Op::Pzup}, {"OPDZ", Op::Opdz}, {"TOLE", Op::Tole},
        {"TCOM", Op::Tcom}, {"TCOC", Op::Tcoc}, {"EDGE", Op::Edge}, {"PARM", Op::Parm}, {"VPAR", Op::Vpar},
        {"PPAR", Op::Ppar}, {"XDAT", Op::Xdat}, {"CLAP", Op::Clap}, {"OBSC", Op::Obsc}, {"SQAP", Op::Sqap},
        {"SQOB", Op::Sqob}, {"ELAP", Op::Elap}, {"ELOB", Op::Elob}, {"SPID", Op::Spid}, {"FLAP", Op::Flap},
        {"OBDC", Op::Obdc}, {"SCBD", Op::Scbd}, {"NAME", Op::Name}, {"NOTE", Op::Note}, {"UNIT", Op::Unit},
        {"MODE", Op::Mode}, {"ENPD", Op::Enpd}, {"FNUM", Op::Fnum}, {"OBNA", Op::Obna}, {"FLOA", Op::Floa},
        {"PUPD", Op::Pupd}, {"FTYP", Op::Ftyp}, {"XFLD", Op::Xfld}, {"XFLN", Op::Xfld}, {"YFLD", Op::Yfld},
        {"YFLN", Op::Yfld}, {"FWGT", Op::Fwgt}, {"FWGN", Op::Fwgt}, {"VDXN", Op::Vdx}, {"ZVDX", Op::Vdx},
        {"VDYN", Op::Vdy}, {"ZVDY", Op::Vdy}, {"VCXN", Op::Vcx}, {"ZVCX", Op::Vcx}, {"VCYN", Op::Vcy},
        {"ZVCY", Op::Vcy}, {"WAVL", Op::Wavl}, {"WAVN", Op::Wavn}, {"WWGT", Op::Wwgt}, {"WWGN", Op::Wwgt},
        {"WAVM", Op::Wavm}, {"PWAV", Op::Pwav}, {"GCAT", Op::Gcat}, {"RAIM", Op::Raim}, {"GLRS", Op::Glrs},
        {"GLRF", Op::Glrf}, {"PICB", Op::Picb}, {"ROPD", Op::Ropd}, {"MNUM", Op::Mnum}, {"THIC", Op::Thic},
        {"CRVT", Op::Crvt}, {"CSUM", Op::Csum},
    };
    for (const auto& [word, op] : commands) t[fourCharCodeFromCString(word)] = op;
    return t;
  }();
  return table;
}

// A required number is missing: the command is passed over (and the log says so).
struct MissingNumber {};

constexpr double kInfinity = std::numeric_limits<double>::infinity();
// Modern files list 12 field slots and 24 wavelength slots.
constexpr int kMaxFields = 12;
constexpr int kMaxWaves = 24;
constexpr int kMaxConfigurations = 10000;  // far beyond any real design; a larger count is damage

std::string trim(std::string_view s) {
  const char* blanks = " \t\r\n\f\v";
  auto b = s.find_first_not_of(blanks);
  if (b == std::string_view::npos) return {};
  auto e = s.find_last_not_of(blanks);
  return std::string(s.substr(b, e - b + 1));
}

std::string upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

// Microns in the file, nanometres in the wave. The point moves three places in the
// decimal text itself: a binary × 1000 would now and then keep a neighbour of the number
// written (0.5876 µm as 587.5999999999999 nm), and the lens would not write back what it
// read. None for text that is no plain decimal number.
std::optional<double> nanometresFromMicronsText(std::string_view text) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);  // from_chars takes no '+'
  const std::size_t e = text.find_first_of("eE");
  long exponent = 0;
  if (e != std::string_view::npos) {
    std::string_view digits = text.substr(e + 1);
    if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), exponent);
    if (error != std::errc{} || end != digits.data() + digits.size()) return std::nullopt;
  }
  const std::string shifted = std::string(text.substr(0, e)) + "e" + std::to_string(exponent + 3);
  double nanometres = 0;
  const auto [end, error] = std::from_chars(shifted.data(), shifted.data() + shifted.size(), nanometres);
  if (error != std::errc{} || end != shifted.data() + shifted.size()) return std::nullopt;
  return nanometres;
}

Array upperCaseWords(const std::string& text) {
  std::vector<std::string> words;
  std::istringstream in(text);
  std::string w;
  while (in >> w) words.push_back(upper(w));
  return Array(words.begin(), words.end());
}

// Number reading on one line, in order; a missing optional number keeps its default.
class Operands {
 public:
  explicit Operands(foundation::Scanner& s) : m_s(s) {}
  double real(double fallback) {
    double v;
    return m_s.scanDouble(&v) ? v : fallback;
  }
  double real() {
    double v;
    if (!m_s.scanDouble(&v)) throw MissingNumber{};
    return v;
  }
  int integer(int fallback) { return scanInteger().value_or(fallback); }
  int integer() {
    auto v = scanInteger();
    if (!v) throw MissingNumber{};
    return *v;
  }
  std::string word() {
    std::string w;
    m_s.scanUpToCharactersFromSet(foundation::CharacterSet::whitespaceAndNewlineCharacterSet(), &w);
    return w;
  }
  std::string rest() { return trim(m_s.remainderString()); }
  template <std::size_t N>
  int reals(std::array<double, N>& out) {
    int n = 0;
    double v;
    while (n < static_cast<int>(N) && m_s.scanDouble(&v)) out[static_cast<std::size_t>(n++)] = v;
    return n;
  }
  /// Wavelengths: microns read, nanometres returned (see nanometresFromMicronsText).
  double nanometresFromMicrons() {
    auto v = scanNanometresFromMicrons();
    if (!v) throw MissingNumber{};
    return *v;
  }
  template <std::size_t N>
  int nanometresFromMicrons(std::array<double, N>& out) {
    int n = 0;
    while (n < static_cast<int>(N))
      if (auto v = scanNanometresFromMicrons())
        out[static_cast<std::size_t>(n++)] = *v;
      else
        break;
    return n;
  }

 private:
  std::optional<double> scanNanometresFromMicrons() {
    const std::size_t before = m_s.scanLocation();
    double microns;
    if (!m_s.scanDouble(&microns)) return std::nullopt;
    const std::string written = trim(std::string_view(m_s.string()).substr(before, m_s.scanLocation() - before));
    return nanometresFromMicronsText(written).value_or(microns * 1000);
  }

  // Some writers put a decimal point in integer fields ("PZUP 6.0 1 0"); read as an
  // integer, "6.0" would leave ".0" to be taken as the next number. A value with a
  // fraction is no surface number or flag at all, and the line is a trouble.
  std::optional<int> scanInteger() {
    const std::size_t before = m_s.scanLocation();
    double v;
    if (!m_s.scanDouble(&v)) return std::nullopt;
    if (v != std::trunc(v) || v < std::numeric_limits<int>::min() || v > std::numeric_limits<int>::max()) {
      const std::string written = trim(std::string_view(m_s.string()).substr(before, m_s.scanLocation() - before));
      platform::Exception::raise("ZemaxError", "%s is not an integer", written.c_str());
    }
    return static_cast<int>(v);
  }

  foundation::Scanner& m_s;
};

struct PendingConfigurationValue {
  std::size_t configuration;
  std::shared_ptr<Surface> surface;
  const char* quantity;
  double value;
  bool isVariable;
};

class ZemaxRead {
 public:
  explicit ZemaxRead(const ZemaxReadOptions& options) : m_options(options), m_glassParser(options.source) {
    static std::once_flag registered;
    std::call_once(registered, [] { lens::registerSurfaceTypes(); });
    m_fieldX.fill(0);
    m_fieldY.fill(0);
    m_fieldWeight.fill(1);
    m_vdx.fill(0);
    m_vdy.fill(0);
    m_vcx.fill(0);
    m_vcy.fill(0);
    m_nanometres.fill(550);
    m_waveWeight.fill(1);
  }

  std::optional<Dictionary> run(const std::vector<std::string>& lines) {
    for (const auto& raw : lines) {
      if (!m_readingPrescription) {
        // The glass section belongs to the glass parser, which keeps its own counsel.
        m_glassParser.parseCommand(raw);
        continue;
      }
      ++m_line;
      std::string text = trim(raw);
      try {
        interpret(text);
      } catch (const platform::Exception& e) {
        ZemaxTrouble trouble{m_options.source, m_line, text, e.name(), e.reason()};
        log(trouble.message() + ": " + trouble.informativeText());
        if (!m_options.onTrouble || m_options.onTrouble(trouble) == ZemaxTroubleAnswer::GiveUp) return std::nullopt;
      } catch (const MissingNumber&) {
        log(platform::format("%s[%d] a number is missing; line passed over <%s>", m_options.source.c_str(), m_line,
                             text.c_str()));
        warnUnlessCollected(m_options.log, m_options.source, "line passed over",
                            platform::format("%s[%d] a line lacks a number and was passed over, so the lens may "
                                             "differ from the file; later such lines are not reported. Check that "
                                             "line of the file",
                                             m_options.source.c_str(), m_line));
      }
    }
    return finish();
  }

 private:
  void log(const std::string& message) { emitMessage(m_options.log, message); }
  void logAtLine(const char* what, const std::string& text) {
    log(platform::format("%s[%d] %s <%s>", m_options.source.c_str(), m_line, what, text.c_str()));
  }

  std::shared_ptr<Surface> fileSurface(long n) const {
    if (n < 0 || static_cast<std::size_t>(n) >= m_fileSurfaces.size())
      platform::Exception::raise("NSRangeException", "file surface %ld does not exist (%zu read so far)", n,
                                 m_fileSurfaces.size());
    return m_fileSurfaces[static_cast<std::size_t>(n)];
  }

  void interpret(const std::string& text) {
    foundation::Scanner scanner(text);
    std::string word;
    if (!scanner.scanUpToCharactersFromSet(foundation::CharacterSet::whitespaceAndNewlineCharacterSet(), &word))
      return;  // a blank line
    word = upper(word);
    const std::uint32_t code = fourCharCodeFromCString(word);
    const auto& table = codeTable();
    auto found = table.find(code);
    if (found == table.end()) {
      logAtLine("{unknown code}", text);
      return;
    }
    Operands in(scanner);
    Surface* s = m_current.get();
    switch (found->second) {
      // --- surfaces --------------------------------------------------------------------
      case Op::Surf: {
        auto surface = Surface::create();
        m_surfaces.push_back(surface);
        m_fileSurfaces.push_back(surface);
        m_current = surface;
        break;
      }
      case Op::Type: {
        std::string type = in.word();
        if (!s) break;
        auto replacement = lens::SurfaceTypeRegistry::shared().surfaceOfType(type, s);
        // A break without a PARM 6 line has Zemax's order 0.
        if (replacement->isCoordinateBreak()) replacement->setValueForKey("order", lensBreakOrderFromZemax(0));
        std::replace(m_surfaces.begin(), m_surfaces.end(), m_current, replacement);
        std::replace(m_fileSurfaces.begin(), m_fileSurfaces.end(), m_current, replacement);
        m_current = replacement;
        break;
      }
      case Op::Stop: if (s) s->setIsStop(true); break;
      case Op::Comm: { auto c = in.rest(); if (s) s->setComment(c); break; }
      case Op::Curv: { double c = in.real(0); if (s) s->setCurvature(c); break; }
      case Op::Radi: { double r = in.real(kInfinity); if (s) s->setRadiusOfCurvature(r); break; }
      case Op::Coni: { double k = in.real(); if (s) s->setConicConstant(k); break; }
      case Op::Disz: { double t = in.real(kInfinity); if (s) s->setThickness(t); break; }
      case Op::Diam: {
        double sd = in.real();
        int type = in.integer(1);
        int source = in.integer(1);
        if (!s) break;
        s->setSemidiameter(sd);
        if (m_options.fixSemidiameters) {
          s->setSemidiameterSolveType(Surface::kSemiFixed);
        } else {
          if (type == Surface::kSemiPickup) s->setSemidiameterSolveSurface(fileSurface(source));
          s->setSemidiameterSolveType(type);
        }
        break;
      }
      case Op::Glas: glas(in); break;

      // --- solves ------------------------------------------------------------------------
      case Op::Vcur: if (s) s->setCurvatureSolveType(1); break;
      case Op::Mara: { double t = in.real(0); if (s) s->setCurvatureSolveTypeTarget(2, t); break; }
      case Op::Chia: { double t = in.real(); if (s) s->setCurvatureSolveTypeTarget(3, t); break; }
      case Op::Pcup: {
        int n = in.integer();
        double scale = in.real(1.0);
        if (s) s->setCurvatureSolveTypeSurfaceScale(4, fileSurface(n), scale);
        break;
      }
      case Op::Mnor: if (s) s->setCurvatureSolveType(5); break;
      case Op::Cnor: if (s) s->setCurvatureSolveType(6); break;
      case Op::Apla: if (s) s->setCurvatureSolveType(7); break;
      case Op::Vcon: if (s) s->setConicSolveType(1); break;
      case Op::Pkup: {
        int n = in.integer();
        double scale = in.real(1.0);
        if (s) s->setConicSolveTypeSurfaceScale(2, fileSurface(n), scale);
        break;
      }
      case Op::Vdsz: if (s) s->setThicknessSolveType(1); break;
      case Op::Mazh: {
        double target = in.real();
        double zone = in.real(1.0);
        if (!s) break;
        // Choosing the marginal-height solve resets its target and zone, so they follow.
        s->setThicknessSolveType(2);
        s->setThicknessSolveTarget(target);
        s->setThicknessSolveZone(zone);
        break;
      }
      case Op::Chzh: { double t = in.real(); if (s) s->setThicknessSolveTypeTarget(3, t); break; }
      case Op::Pzup: {
        int n = in.integer();
        double scale = in.real(1.0);
        double offset = in.real(0.0);
        if (s) s->setThicknessSolveTypeSurfaceScaleOffset(5, fileSurface(n), scale, offset);
        break;
      }
      case Op::Opdz: {
        double target = in.real();
        double zone = in.real();
        if (s) s->setThicknessSolveTypeTargetZone(6, target, zone);
        break;
      }
      case Op::Tole: {
        int n = in.integer(0);
        double target = in.real();
        if (s) s->setThicknessSolveTypeSurfaceTarget(7, fileSurface(n), target);
        break;
      }
      case Op::Tcom: {
        int n = in.integer();
        double target = in.real();
        if (s) s->setThicknessSolveTypeSurfaceTarget(8, fileSurface(n), target);
        break;
      }
      case Op::Tcoc: { int n = in.integer(); if (s) s->setThicknessSolveTypeSurface(9, fileSurface(n)); break; }
      case Op::Edge: logAtLine("Edge thickness solve not implemented", text); break;

      // --- parameters and extra data -------------------------------------------------------
      case Op::Parm: {
        int index = in.integer();
        double value = in.real();
        if (!s) break;
        const auto u = static_cast<std::uint32_t>(index);
        if (s->isCoordinateBreak() && u == kZemaxBreakOrderParameterIndex) value = lensBreakOrderFromZemax(value);
        setParameterValueForZemaxParameterIndex(*s, u, value, parameterLog());
        break;
      }
      case Op::Vpar: { int index = in.integer(); if (s) setParameterVariableForZemaxParameterIndex(*s, static_cast<std::uint32_t>(index)); break; }
      case Op::Ppar: {
        int index = in.integer();
        long n = in.integer();
        double scale = in.real(1.0);
        double offset = in.real(0.0);
        if (n < 0) {
          log(platform::format("%s[%d] PPAR negative surface index is relative indexing", m_options.source.c_str(), m_line));
          n += static_cast<long>(m_fileSurfaces.size());
        }
        if (s) setParameterPickupForZemaxParameterIndex(*s, static_cast<std::uint32_t>(index), fileSurface(n), scale, offset);
        break;
      }
      case Op::Xdat: {
        int index = in.integer();
        double value = in.real();
        int solve = in.integer(0);
        int n = in.integer(0);
        double scale = in.real(1.0);
        if (!s) break;
        const auto u = static_cast<std::uint32_t>(index);
        setParameterValueForZemaxExtraDataIndex(*s, u, value, parameterLog());
        if (solve == 2) setParameterPickupForZemaxExtraDataIndex(*s, u, fileSurface(n), scale, 0.0);
        if (solve == 1) setParameterVariableForZemaxExtraDataIndex(*s, u);
        break;
      }

      // --- apertures -------------------------------------------------------------------------
      case Op::Clap: case Op::Obsc: case Op::Sqap: case Op::Sqob: case Op::Elap: case Op::Elob: {
        double a = in.real();
        double b = in.real();
        if (s) s->setAperture(aperture(found->second, a, b));
        break;
      }
      case Op::Spid: {
        int arms = in.integer();
        double width = in.real();
        if (s) s->setAperture(lens::SpiderAperture::spiderWithNumberOfArms(arms, width));
        break;
      }
      case Op::Flap: if (s) s->setAperture(lens::FloatingAperture::aperture()); break;
      case Op::Obdc: {
        double x = in.real();
        double y = in.real();
        if (s && s->apertureObject()) {
          s->apertureObject()->setDecenterX(x);
          s->apertureObject()->setDecenterY(y);
        }
        break;
      }
      case Op::Scbd: {
        int placement = in.integer(0);
        int order = in.integer(0);
        in.integer(0);
        double d[5];
        for (double& v : d) v = in.real(0);
        auto cb = Surface::create<lens::CoordinateBreak>();
        cb->setComment(platform::format("SCBD %d", placement));
        const char* keys[] = {"dx", "dy", "rx", "ry", "rz"};
        for (int i = 0; i < 5; ++i) cb->setValueForKey(keys[i], d[i]);
        cb->setValueForKey("order", lensBreakOrderFromZemax(order));
        if (placement == 1 && !m_surfaces.empty())
          m_surfaces.insert(m_surfaces.end() - 1, cb);
        else
          m_surfaces.push_back(cb);
        break;
      }

      // --- system ------------------------------------------------------------------------------
      case Op::Name: m_result.set("systemName", in.rest()); break;
      case Op::Note: {
        in.integer(0);
        std::string note = in.rest();
        if (note == "Notes...") break;
        m_notes = m_notes ? *m_notes + "\n" + note : note;
        break;
      }
      case Op::Unit: m_result.set("unitCode", in.word()); break;
      case Op::Mode: {
        std::string mode = in.word();
        if (mode != "SEQ") {
          log(platform::format("ZEMAX mode = %s", mode.c_str()));
          platform::Exception::raise("Unsupported", "ZEMAX mode must be SEQ");
        }
        break;
      }
      case Op::Enpd: setAperture(0, in.real(1.0)); break;
      case Op::Fnum: {
        double value = in.real(0);
        // "FNUM v 1" is the paraxial working F/#, which the writer writes so.
        setAperture(in.integer(0) ? 4 : 1, value);
        break;
      }
      case Op::Obna: {
        double value = in.real(0);
        setAperture(in.integer(0) ? 5 : 2, value);
        break;
      }
      case Op::Floa: m_result.set("sourceDivergenceType", 3.0); break;
      case Op::Pupd: {
        in.real();
        double value = in.real();
        if (!m_result.contains("sourceDivergenceType")) setAperture(0, value);
        break;
      }
      case Op::Ftyp: {
        int type = in.integer();
        // Then: a flag, the number of fields, the number of wavelengths. They count
        // whatever the type: without them every WAVM slot would be a wavelength.
        in.integer(0);
        m_ftypFieldCount = in.integer(0);
        m_ftypWaveCount = in.integer(0);
        // 0 angle, 1 object height, 2 paraxial image height, 3 real image height.
        static const char* const types[] = {"Angle", "Object height", "Image height", "Image height"};
        if (type == 3) {
          // The lens has no real-image-height field. Its image height is paraxial: the two
          // agree near the axis and part by the distortion off it.
          log(platform::format("%s[%d] FTYP 3: real image heights are taken as paraxial image heights",
                               m_options.source.c_str(), m_line));
          warnUnlessCollected(m_options.log, m_options.source, "real image height",
                              platform::format("%s: real image heights are taken as paraxial image heights, so "
                                               "off-axis fields may differ from the file's",
                                               m_options.source.c_str()));
        } else if (type < 0 || type > 3) {
          log(platform::format("%s[%d] FTYP %d is no known field type; the fields are read as angles",
                               m_options.source.c_str(), m_line, type));
          warnUnlessCollected(m_options.log, m_options.source, "unknown field type",
                              platform::format("%s[%d] field type %d is unknown; the fields are read as angles. "
                                               "Check the lens's fields",
                                               m_options.source.c_str(), m_line, type));
          type = 0;
        }
        m_result.set("fieldType", types[type]);
        break;
      }
      case Op::Xfld: m_fieldXCount = in.reals(m_fieldX); break;
      case Op::Yfld: m_fieldYCount = in.reals(m_fieldY); break;
      case Op::Fwgt: in.reals(m_fieldWeight); break;
      case Op::Vdx: in.reals(m_vdx); break;
      case Op::Vdy: in.reals(m_vdy); break;
      case Op::Vcx: m_vcxCount = in.reals(m_vcx); break;
      case Op::Vcy: m_vcyCount = in.reals(m_vcy); break;
      case Op::Wavl: m_waveCount = in.nanometresFromMicrons(m_nanometres); break;
      case Op::Wavn: if (m_waveCount == 0) m_waveCount = in.nanometresFromMicrons(m_nanometres); break;
      case Op::Wwgt: in.reals(m_waveWeight); break;
      case Op::Wavm: {
        // Modern files give each wavelength slot on its own line: WAVM slot microns weight.
        int slot = in.integer();
        double nanometres = in.nanometresFromMicrons();
        double weight = in.real(1.0);
        if (slot < 1 || slot > kMaxWaves)
          platform::Exception::raise("NSRangeException", "wavelength slot %d is not between 1 and %d", slot, kMaxWaves);
        m_nanometres[static_cast<std::size_t>(slot - 1)] = nanometres;
        m_waveWeight[static_cast<std::size_t>(slot - 1)] = weight;
        m_wavmSlots = std::max(m_wavmSlots, slot);
        break;
      }
      case Op::Pwav: m_primaryWave = in.integer(); break;
      case Op::Gcat: {
        std::string rest = in.rest();
        m_result.set("zemaxCatalogString", rest);
        m_result.set("preferredCatalogs", upperCaseWords(rest));
        break;
      }
      case Op::Raim: {
        in.real(0);
        if (in.integer(0) >= 1) m_result.set("useRayAiming", true);
        break;
      }
      case Op::Glrs: m_result.set("globalCoordinateReferenceSurfaceIndex", in.integer(0)); break;
      case Op::Glrf: m_result.set("referenceSurfaceIndex", in.integer(0)); break;
      case Op::Picb: m_result.set("paraxialIgnoreCoordinateBreaks", in.integer(1)); break;
      case Op::Ropd: m_result.set("referenceOPDSetting", in.integer()); break;
      case Op::Mnum: {
        int count = in.integer(1);
        if (count > kMaxConfigurations)
          platform::Exception::raise("ZemaxError", "%d configurations are more than %d", count, kMaxConfigurations);
        m_result.set("numberOfMulticonfigurations", count);
        m_configurationCount = std::max(count, 0);
        m_hasConfigurations = true;
        // A later MNUM may lower the count: values recorded for the configurations it drops go too.
        std::erase_if(m_pendingConfigurationValues, [&](const PendingConfigurationValue& v) {
          return v.configuration >= static_cast<std::size_t>(m_configurationCount);
        });
        break;
      }
      case Op::Thic: case Op::Crvt: {
        int surface = in.integer();
        int configuration = in.integer();
        double value = in.real();
        bool variable = in.integer(0) != 0;
        if (!m_hasConfigurations) break;
        if (configuration < 1 || configuration > m_configurationCount)
          platform::Exception::raise("NSRangeException", "configuration %d does not exist (%d declared)", configuration,
                                     m_configurationCount);
        m_pendingConfigurationValues.push_back({static_cast<std::size_t>(configuration - 1), fileSurface(surface),
                                                found->second == Op::Thic ? "thickness" : "curvature", value,
                                                variable});
        break;
      }
      case Op::Csum: m_readingPrescription = false; break;

      // --- set aside -----------------------------------------------------------------------------
      case Op::ReadNumbers:
      case Op::Ignore: break;
      case Op::NotImplemented:
        log(platform::format("%s[%d] ZEMAX code %s is not yet implemented", m_options.source.c_str(), m_line,
                             word.c_str()));
        break;
      case Op::Multiconfiguration: logAtLine("multiconfiguration operator ignored:", text); break;
      case Op::Merit: m_meritFunction.push_back(text); break;
    }
  }

  MessageSink parameterLog() {
    return [this](const std::string& m) {
      log(platform::format("%s[%d] %s", m_options.source.c_str(), m_line, m.c_str()));
      warnUnlessCollected(m_options.log, m_options.source, "value ignored",
                          platform::format("%s[%d] a surface value has no place in the surface's type here and was "
                                           "ignored, so the lens may differ from the file; later such values are "
                                           "not reported. Check that surface's type and data",
                                           m_options.source.c_str(), m_line));
    };
  }

  void setAperture(int type, double value) {
    m_result.set("sourceDivergenceType", static_cast<double>(type));
    m_result.set("sourceDivergenceValue", value);
  }

  static std::shared_ptr<lens::Aperture> aperture(Op op, double a, double b) {
    switch (op) {
      case Op::Clap: return lens::CircularAperture::annulusWithMinRadius(a, b);
      case Op::Obsc: return lens::CircularObscuration::annulusWithMinRadius(a, b);
      case Op::Sqap: return lens::RectangularAperture::apertureWithXRadius(a, b);
      case Op::Sqob: return lens::RectangularObscuration::apertureWithXRadius(a, b);
      case Op::Elap: return lens::EllipticalAperture::apertureWithXRadius(a, b);
      default: return lens::EllipticalObscuration::apertureWithXRadius(a, b);
    }
  }

  void glas(Operands& in) {
    std::string name = in.word();
    if (name == "___BLANK") name.clear();
    const int kind = in.integer(0);
    const int source = in.integer(0);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double ndOnLine = in.real(nan);
    const double vdOnLine = in.real(nan);
    const double nd = std::isnan(ndOnLine) ? 1.5 : ndOnLine;
    const double vd = std::isnan(vdOnLine) ? 40.0 : vdOnLine;
    in.real(0);
    const bool indexVariable = in.integer(0) != 0;
    const bool abbeVariable = in.integer(0) != 0;
    Surface* s = m_current.get();
    if (!s) return;
    if (kind == 2) {
      auto from = fileSurface(source);
      if (auto picked = from->glassName()) s->setGlassName(*picked);
      s->setGlassSolveSurface(from);
      s->setGlassSolveType(1);
    } else if (kind == 1) {
      auto glass = materials::Glass::glassWithIndex(nd, vd);
      if (!name.empty()) glass->setName(name);
      glass->setDynamicName(name.empty());
      glass->setReferenceIndexIsVariable(indexVariable);
      glass->setReferenceAbbeIsVariable(abbeVariable);
      s->setGlassSolveType(0);
      s->setGlass(glass);
    } else if (!name.empty()) {
      s->setGlassName(name);
      // The line says what the glass is like: should no catalog hold the name, the lens
      // traces with these numbers instead of with the vacuum of a bare dummy.
      const bool usable = ndOnLine > 1 && std::isfinite(ndOnLine);
      if (auto glass = s->glass(); usable && glass && glass->isDummy()) {
        glass->setReferenceIndex(ndOnLine);
        glass->setReferenceAbbe(vdOnLine >= 0 && std::isfinite(vdOnLine) ? vdOnLine : 0.0);
      }
    }
  }

  std::optional<Dictionary> finish() {
    if (m_notes) m_result.set("notes", *m_notes);
    if (m_options.removeSolves)
      for (const auto& s : m_fileSurfaces) s->removeSolves();
    convertToMillimetres();

    Array surfaces;
    for (const auto& s : m_surfaces) surfaces.push_back(Value(s));
    m_result.set("surfaceArray", surfaces);

    // Fields: a repeat of the first field ends the list (older files pad with it), and
    // FTYP's count, where given, says how many of the slots are real.
    int fieldCount = std::max(m_fieldXCount, m_fieldYCount);
    for (int i = 1; i < fieldCount; ++i)
      if (m_fieldX[static_cast<std::size_t>(i)] == m_fieldX[0] && m_fieldY[static_cast<std::size_t>(i)] == m_fieldY[0]) {
        fieldCount = i;
        break;
      }
    if (m_ftypFieldCount > 0) fieldCount = std::min(fieldCount, m_ftypFieldCount);
    const Value fieldType = m_result.get("fieldType");
    const bool angles = fieldType.isNil() || fieldType == Value("Angle");
    Array fields;
    for (int i = 0; i < fieldCount; ++i) {
      const auto k = static_cast<std::size_t>(i);
      auto f = lens::Field::field();
      // The file's angles are those of the direction tangents; the lens's turn toward the field.
      const AngleField xy = angles ? lensAngleFieldFromTangentAngles({m_fieldX[k], m_fieldY[k]})
                                   : AngleField{m_fieldX[k], m_fieldY[k]};
      f->setX(xy.x);
      f->setY(xy.y);
      f->setWeight(m_fieldWeight[k]);
      if (i < m_vcxCount) {
        f->setPXA(m_vdx[k] + m_vcx[k] - 1);
        f->setPXB(m_vdx[k] + 1 - m_vcx[k]);
      }
      if (i < m_vcyCount) {
        f->setPYA(m_vdy[k] + m_vcy[k] - 1);
        f->setPYB(m_vdy[k] + 1 - m_vcy[k]);
      }
      fields.push_back(Value(f));
    }
    m_result.set("fieldArray", fields);

    // Waves: WAVM slots count up to FTYP's wavelength count (the other slots hold the
    // defaults), else up to the last slot given; WAVL lines count their values.
    int waveCount = m_waveCount;
    if (m_wavmSlots > 0) waveCount = m_ftypWaveCount > 0 ? std::min(m_ftypWaveCount, kMaxWaves) : m_wavmSlots;
    if (waveCount == 0) waveCount = 1;
    Array waves;
    for (int i = 0; i < waveCount; ++i) {
      auto w = lens::Wave::wave();
      w->setWavelengthUnit(lens::Wave::kNanometre);
      w->setWavelength(m_nanometres[static_cast<std::size_t>(i)]);
      w->setWeight(m_waveWeight[static_cast<std::size_t>(i)]);
      w->setIsPrimary(i + 1 == m_primaryWave);
      waves.push_back(Value(w));
    }
    m_result.set("waveArray", waves);

    if (m_hasConfigurations) {
      // Keys name lens surfaces, found through the file surfaces so that breaks inserted
      // by SCBD do not shift them.
      std::vector<Dictionary> configurations(static_cast<std::size_t>(m_configurationCount));
      for (const auto& v : m_pendingConfigurationValues) {
        auto at = std::find(m_surfaces.begin(), m_surfaces.end(), v.surface);
        const auto index = static_cast<std::size_t>(at - m_surfaces.begin());
        configurations[v.configuration].set(platform::format("s%zu.%s", index, v.quantity),
                                            Dictionary{{"value", v.value}, {"isVariable", v.isVariable}});
      }
      Array array;
      for (auto& c : configurations) array.push_back(std::move(c));
      m_result.set("multiconfigurationArray", array);
    }
    if (!m_meritFunction.empty()) {
      Array merit;
      for (const auto& line : m_meritFunction) merit.push_back(line);
      m_result.set("meritFunction", merit);
    }

    m_glassParser.doneParsing();
    Array glasses;
    if (const auto& catalog = m_glassParser.glassCatalog())
      for (const auto& g : catalog->glassArray()) glasses.push_back(Value(g));
    m_result.set("glassArray", glasses);
    return std::move(m_result);
  }

  // The lens and the tracer, and with them every length scaled by the wavelength, take
  // lens units as millimetres: a file in other units is scaled as it is read.
  void convertToMillimetres() {
    const Value unitCode = m_result.get("unitCode");
    if (!unitCode.isString()) return;
    const std::string unit = upper(unitCode.asString());
    if (unit.empty()) return;
    static const std::pair<const char*, double> kMillimetresPerUnit[] = {
        {"MM", 1}, {"CM", 10}, {"IN", 25.4}, {"METER", 1000}, {"M", 1000}};
    double k = 0;
    for (const auto& [code, millimetres] : kMillimetresPerUnit)
      if (unit == code) k = millimetres;
    if (k == 0) {
      log(platform::format("%s: lens unit %s is unknown; its lengths are taken as millimetres",
                           m_options.source.c_str(), unit.c_str()));
      return;
    }
    if (k == 1) return;
    for (const auto& s : m_surfaces) {
      s->scaleByFactor(k);
      if (s->isCoordinateBreak())
        for (const char* key : {"dx", "dy"})
          if (auto value = s->parameterValue(key)) s->setValueForKey(key, *value * k);
      if (s->thicknessSolveType() == 5) s->setThicknessSolveOffset(s->thicknessSolveOffset() * k);
      if (const auto& a = s->apertureObject()) scaleAperture(*a, k);
    }
    if (m_result.get("sourceDivergenceType").isNumber() && m_result.get("sourceDivergenceType").asDouble() == 0)
      m_result.set("sourceDivergenceValue", m_result.get("sourceDivergenceValue").asDouble() * k);
    const Value fieldType = m_result.get("fieldType");
    if (fieldType == Value("Object height") || fieldType == Value("Image height")) {
      for (auto& x : m_fieldX) x *= k;
      for (auto& y : m_fieldY) y *= k;
    }
    for (auto& v : m_pendingConfigurationValues)
      v.value = std::string_view(v.quantity) == "thickness" ? v.value * k : v.value / k;
    m_result.set("unitCode", "MM");
    log(platform::format("%s: lens unit %s; the lens's lengths are converted to millimetres",
                         m_options.source.c_str(), unit.c_str()));
  }

  static void scaleAperture(lens::Aperture& a, double k) {
    a.setDecenterX(a.decenterX() * k);
    a.setDecenterY(a.decenterY() * k);
    if (dynamic_cast<lens::FloatingAperture*>(&a)) return;  // it follows the semidiameter
    if (auto* circle = dynamic_cast<lens::CircularAperture*>(&a)) {
      circle->setRMin(circle->rMin() * k);
      circle->setRMax(circle->rMax() * k);
    } else if (auto* aspect = dynamic_cast<lens::AspectAperture*>(&a)) {
      aspect->setXRadius(aspect->xRadius() * k);
      aspect->setYRadius(aspect->yRadius() * k);
    } else if (auto* spider = dynamic_cast<lens::SpiderAperture*>(&a)) {
      spider->setWidthOfArms(spider->widthOfArms() * k);
    }
  }

  const ZemaxReadOptions& m_options;
  Dictionary m_result;
  std::vector<std::shared_ptr<Surface>> m_surfaces;
  std::vector<std::shared_ptr<Surface>> m_fileSurfaces;
  std::shared_ptr<Surface> m_current;
  int m_line = 0;
  bool m_readingPrescription = true;

  std::array<double, kMaxFields> m_fieldX{}, m_fieldY{}, m_fieldWeight{}, m_vdx{}, m_vdy{}, m_vcx{}, m_vcy{};
  int m_fieldXCount = 1, m_fieldYCount = 1, m_vcxCount = 0, m_vcyCount = 0;
  int m_ftypFieldCount = 0, m_ftypWaveCount = 0;
  std::array<double, kMaxWaves> m_nanometres{}, m_waveWeight{};
  int m_waveCount = 0;
  int m_wavmSlots = 0;
  int m_primaryWave = 1;

  std::optional<std::string> m_notes;
  bool m_hasConfigurations = false;
  int m_configurationCount = 0;
  std::vector<PendingConfigurationValue> m_pendingConfigurationValues;
  std::vector<std::string> m_meritFunction;
  materials::ZemaxGlassParser m_glassParser;
};

}  // namespace

std::optional<Dictionary> readZemaxLines(const std::vector<std::string>& lines, const ZemaxReadOptions& options) {
  return ZemaxRead(options).run(lines);
}

std::optional<Dictionary> readZemaxString(std::string_view text, const ZemaxReadOptions& options) {
  return readZemaxLines(foundation::lines(text), options);
}

}  // namespace orb::interchange
