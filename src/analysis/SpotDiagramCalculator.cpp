#include "analysis/SpotDiagramCalculator.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <optional>

#include "analysis/ParallelChunks.h"
#include "analysis/PlotDictionary.h"
#include "lens/Emission.h"
#include "lens/Field.h"
#include "lens/LensBeam.h"
#include "lens/Surface.h"
#include "lens/Wave.h"
#include "platform/KeyTable.h"
#include "platform/Thread.h"
#include "tracing/ParaxialMeasurement.h"

namespace orb::analysis {

using foundation::VKSeries;
using foundation::XY;
using foundation::XYZ;
using platform::Array;
using platform::Dictionary;
using platform::Value;
using tracing::Ray;

namespace {

constexpr int kOutlinePoints = 100;

using RayReader = double (*)(const Ray&);

RayReader readerForKey(const std::string& key) {
  if (key == "x") return [](const Ray& r) { return r.x(); };
  if (key == "y") return [](const Ray& r) { return r.y(); };
  if (key == "ux") return [](const Ray& r) { return r.ux(); };
  if (key == "uy") return [](const Ray& r) { return r.uy(); };
  if (key == "px") return [](const Ray& r) { return r.px(); };
  if (key == "py") return [](const Ray& r) { return r.py(); };
  if (key == "thetax") return [](const Ray& r) { return r.thetax(); };
  if (key == "thetay") return [](const Ray& r) { return r.thetay(); };
  if (key == "theta") return [](const Ray& r) { return r.theta(); };
  if (key == "tx") return [](const Ray& r) { return r.tx(); };
  if (key == "ty") return [](const Ray& r) { return r.ty(); };
  return [](const Ray&) { return std::nan(""); };
}

// The same quantities read from a bundle's row.
using RowReader = double (*)(const tracing::RayBundle&, std::size_t);

RowReader rowReaderForKey(const std::string& key) {
  using B = tracing::RayBundle;
  if (key == "x") return [](const B& b, std::size_t i) { return b.qx[i]; };
  if (key == "y") return [](const B& b, std::size_t i) { return b.qy[i]; };
  if (key == "ux") return [](const B& b, std::size_t i) { return b.px[i] / b.pz[i]; };
  if (key == "uy") return [](const B& b, std::size_t i) { return b.py[i] / b.pz[i]; };
  if (key == "px") return [](const B& b, std::size_t i) { return b.px[i]; };
  if (key == "py") return [](const B& b, std::size_t i) { return b.py[i]; };
  if (key == "thetax") return [](const B& b, std::size_t i) { return std::atan(b.px[i] / b.pz[i]); };
  if (key == "thetay") return [](const B& b, std::size_t i) { return std::atan(b.py[i] / b.pz[i]); };
  if (key == "theta")
    return [](const B& b, std::size_t i) {
      return std::atan(std::sqrt(b.px[i] * b.px[i] + b.py[i] * b.py[i]) / b.pz[i]);
    };
  // tx, ty: (px, py) · atan(r/pz)/r with r = |(px, py)|, as Ray::angle.
  if (key == "tx")
    return [](const B& b, std::size_t i) {
      const double r = std::sqrt(b.px[i] * b.px[i] + b.py[i] * b.py[i]);
      return r > 0 ? b.px[i] * (std::atan(r / b.pz[i]) / r) : 0.0;
    };
  if (key == "ty")
    return [](const B& b, std::size_t i) {
      const double r = std::sqrt(b.px[i] * b.px[i] + b.py[i] * b.py[i]);
      return r > 0 ? b.py[i] * (std::atan(r / b.pz[i]) / r) : 0.0;
    };
  return [](const B&, std::size_t) { return std::nan(""); };
}

XYZ cross(const XYZ& a, const XYZ& b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
double dot(const XYZ& a, const XYZ& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

bool contains(const std::vector<std::string>& list, const std::string& s) {
  return std::find(list.begin(), list.end(), s) != list.end();
}

// "486.1 nm": a tenth of a nanometre tells the lines of a spectrum apart.
std::string wavelengthText(const lens::Wave& wave) { return platform::format("%.1f nm", wave.wavelengthInNanometers()); }

std::string beamName(const lens::LensBeam& beam) {
  try {
    const Value name = beam.valueForKey("name");
    if (name.isString()) return name.asString();
  } catch (const platform::Exception&) {
  }
  return beam.description();
}

std::string beamShortDescription(const lens::LensBeam& beam) {
  try {
    const Value text = beam.valueForKey("shortDescription");
    if (text.isString()) return text.asString();
  } catch (const platform::Exception&) {
  }
  return beamName(beam);
}

// One curve under construction: its dictionary and its series, which become immutable
// SeriesValues once the group's shifts are applied.
struct Curve {
  Dictionary d;
  VKSeries xs{0}, ys{0};
  bool isSpot = false;
  Value finish() {
    d.set(Value(plot::kXSeries), SeriesValue::make(std::move(xs)));
    d.set(Value(plot::kYSeries), SeriesValue::make(std::move(ys)));
    return Value(std::move(d));
  }
};

Curve curveFrom(Dictionary outline) {
  Curve c;
  c.xs = *SeriesValue::from(outline.get(plot::kXSeries));
  c.ys = *SeriesValue::from(outline.get(plot::kYSeries));
  c.d = std::move(outline);
  return c;
}

// Σv² of a series, chunk by chunk over the cores for long ones, chunk sums added in order.
double sumOfSquares(const VKSeries& s) {
  const std::size_t n = s.count();
  if (n < kParallelRows) return s.normSquared();
  std::vector<double> partial(chunkCount(n), 0.0);
  const double* v = s.data();
  parallelChunks(n, [&](std::size_t c, std::size_t begin, std::size_t end) {
    double sum = 0;
    for (std::size_t i = begin; i < end; ++i) sum += v[i] * v[i];
    partial[c] = sum;
  });
  double sum = 0;
  for (double p : partial) sum += p;
  return sum;
}

// Sum of the squares of the plotted values over the group's spot curves, and the count.
void rmsOfSpots(const std::vector<Curve>& curves, double& rmsX, double& rmsY) {
  double sx = 0, sy = 0;
  std::size_t n = 0;
  for (const Curve& c : curves) {
    if (!c.isSpot) continue;
    sx += sumOfSquares(c.xs);
    sy += sumOfSquares(c.ys);
    n += c.xs.count();
  }
  rmsX = n ? std::sqrt(sx / static_cast<double>(n)) : 0;
  rmsY = n ? std::sqrt(sy / static_cast<double>(n)) : 0;
}

}  // namespace

// --- construction ------------------------------------------------------------------------------

SpotDiagramCalculator::SpotDiagramCalculator() {
  setFixedRayColor(platform::Color::make(0, 0, 1, 0.7));
  setUnits("mm");
  setSourceType("Field");
}

void SpotDiagramCalculator::firstTimeWithLens(const LensPtr& l) {
  RaysAtSurfaceCalculator::firstTimeWithLens(l);
  if (!l) return;
  // The base picks the first field and the primary wave, as a ray fan wants; a spot
  // diagram that showed one field of a lens would hide its off-axis images.
  setFieldOfInterestKeyPath({});
  setWaveOfInterestKeyPath({});
  if (l->countOfWaveArray() > 1)
    setColorOption("wave");
  else if (l->countOfFieldArray() > 1)
    setColorOption("field");
}

const platform::KeyTable& SpotDiagramCalculator::classKeys() {
  using K = platform::Keys<SpotDiagramCalculator>;
  using S = SpotDiagramCalculator;
  auto stringKey = [](std::string key, std::string (S::*get)() const, void (S::*set)(const std::string&)) {
    platform::KeyEntry e;
    e.key = std::move(key);
    e.get = [get](const platform::Object& o) {
      const std::string s = (static_cast<const S&>(o).*get)();
      return s.empty() ? Value() : Value(s);
    };
    e.set = [set](platform::Object& o, const Value& v) {
      (static_cast<S&>(o).*set)(v.isString() ? v.asString() : std::string());
    };
    return e;
  };
  auto listKey = [](std::string key, std::vector<std::string> (S::*get)() const) {
    platform::KeyEntry e;
    e.key = std::move(key);
    e.get = [get](const platform::Object& o) {
      Array a;
      for (const auto& s : (static_cast<const S&>(o).*get)()) a.push_back(s);
      return Value(std::move(a));
    };
    return e;
  };
  static const platform::KeyTable table(
      &RaysAtSurfaceCalculator::classKeys(),
      {
          stringKey("sourceType", &S::sourceType, &S::setSourceType),
          K::getter("sourceTypeIsField", &S::sourceTypeIsField).dependsOn({"sourceType"}),
          K::getter("sourceTypeIsBeam", &S::sourceTypeIsBeam).dependsOn({"sourceType"}),
          K::getter("sourceTypeIsEmitter", &S::sourceTypeIsEmitter).dependsOn({"sourceType"}),
          listKey("possibleColorOptions", &S::possibleColorOptions).dependsOn({"sourceType"}),
          listKey("possibleFanTypes", &S::possibleFanTypes).dependsOn({"sourceType"}),
          K::getter("wavelengthDescription", &S::wavelengthDescription).dependsOn({"sourceType", "emissionSurface"}),
          stringKey("colorOption", &S::colorOption, &S::setColorOption).dependsOn({"rayColorOption"}),
          stringKey("keyX", &S::keyX, &S::setKeyX),
          stringKey("keyY", &S::keyY, &S::setKeyY),
          stringKey("unitsX", &S::unitsX, &S::setUnitsX),
          stringKey("unitsY", &S::unitsY, &S::setUnitsY),
          listKey("possibleUnitsX", &S::possibleUnitsX).dependsOn({"keyX"}),
          listKey("possibleUnitsY", &S::possibleUnitsY).dependsOn({"keyY"}),
          K::property("dotSize", &S::dotSize, &S::setDotSize),
          K::property("drawsAiryDisk", &S::drawsAiryDisk, &S::setDrawsAiryDisk),
          K::property("drawsReferenceEllipsoid", &S::drawsReferenceEllipsoid, &S::setDrawsReferenceEllipsoid),
          K::property("referenceEllipsoidRadiusX", &S::referenceEllipsoidRadiusX, &S::setReferenceEllipsoidRadiusX),
          K::property("referenceEllipsoidRadiusY", &S::referenceEllipsoidRadiusY, &S::setReferenceEllipsoidRadiusY),
          K::property("centerAxis", &S::centerAxis, &S::setCenterAxis),
          K::property("equalAxis", &S::equalAxis, &S::setEqualAxis),
          K::property("isotropic", &S::isotropic, &S::setIsotropic),
          stringKey("lostFanType", &S::lostFanType, &S::setLostFanType),
      });
  return table;
}

std::string SpotDiagramCalculator::lockedString(const std::string& field) const {
  std::lock_guard lock(m_spotMutex);
  return field;
}

void SpotDiagramCalculator::setLockedString(std::string_view key, std::string& field, const std::string& value) {
  changeValueForKey(key, [&] {
    std::lock_guard lock(m_spotMutex);
    field = value;
  });
}

// --- source ------------------------------------------------------------------------------------

std::string SpotDiagramCalculator::sourceType() const { return lockedString(m_sourceType); }

void SpotDiagramCalculator::setSourceType(const std::string& type) {
  setLockedString("sourceType", m_sourceType, type);
  if (type.empty()) return;
  setFanType(fanType());
  setColorOption(colorOption());
  setNeedsCalculation(true);
}

bool SpotDiagramCalculator::sourceTypeIsField() const {
  const std::string type = sourceType();
  return type.empty() || type == "Field";
}

std::vector<RaysCalculator::BeamPtr> SpotDiagramCalculator::beamsOfInterest() const {
  if (!sourceTypeIsBeam()) return {};
  if (BeamPtr b = beamOfInterest()) return {b};
  const LensPtr l = lens();
  return l && l->beamArray() ? *l->beamArray() : std::vector<BeamPtr>{};
}

std::vector<std::string> SpotDiagramCalculator::possibleFanTypes() const {
  if (!sourceType().empty() && !sourceTypeIsField()) return {"random"};
  return RaysAtSurfaceCalculator::possibleFanTypes();
}

std::string SpotDiagramCalculator::wavelengthDescription() const {
  if (sourceTypeIsBeam()) return "Determined by beam";
  if (sourceTypeIsEmitter()) {
    const SurfacePtr s = emissionSurface();
    if (s && s->emission()) return platform::format("%gnm", s->emission()->wave()->wavelengthInNanometers());
  }
  return {};
}

void SpotDiagramCalculator::setBeamOfInterest(const BeamPtr& beam) {
  if (lens() && !beam && waveOfInterestKeyPath().empty() && fullMatrixShouldBeWarned() && m_potentialDelayQuestion) {
    switch (m_potentialDelayQuestion()) {
      case PotentialDelayAnswer::Cancel:
        return;
      case PotentialDelayAnswer::UsePrimaryWave:
        setWaveOfInterest(lens()->primaryWave());
        break;
      case PotentialDelayAnswer::GoAhead:
        break;
    }
  }
  RaysAtSurfaceCalculator::setBeamOfInterest(beam);
}

// --- colours -----------------------------------------------------------------------------------

std::vector<std::string> SpotDiagramCalculator::possibleColorOptions() const {
  const std::string type = sourceType();
  if (type.empty() || type == "Field") return {"default", "fixed", "field", "wave"};
  if (type == "Beam") return {"default", "fixed", "beam"};
  if (type == "Emitter") return {"fixed", "emitter"};
  return {};
}

void SpotDiagramCalculator::setColorOption(const std::string& option) {
  if (option.empty() || contains(possibleColorOptions(), option))
    setRayColorOption(option);
  else
    setRayColorOption(sourceTypeIsField() ? "field" : sourceTypeIsEmitter() ? "fixed" : "default");
}

// --- keys and units ----------------------------------------------------------------------------

const std::vector<std::string>& SpotDiagramCalculator::plottableKeys() {
  static const std::vector<std::string> keys{"x",      "y",      "ux",    "uy", "px", "py", "x/f",
                                             "y/f",    "thetax", "thetay", "theta", "tx", "ty"};
  return keys;
}

std::string SpotDiagramCalculator::keyForPlotKey(const std::string& key) {
  if (key == "x/f") return "x";
  if (key == "y/f") return "y";
  return key;
}

std::vector<std::string> SpotDiagramCalculator::possibleUnitsForKey(const std::string& key) {
  if (key == "x" || key == "y") return lengthUnits();
  if (key == "thetax" || key == "thetay" || key == "theta" || key == "tx" || key == "ty") return angleUnits();
  return momentumUnits();
}

double SpotDiagramCalculator::rayValueForKey(const Ray& ray, const std::string& key) {
  return readerForKey(keyForPlotKey(key))(ray);
}

std::string SpotDiagramCalculator::keyX() const { return lockedString(m_keyX); }
std::string SpotDiagramCalculator::keyY() const { return lockedString(m_keyY); }
std::string SpotDiagramCalculator::unitsX() const { return lockedString(m_unitsX); }
std::string SpotDiagramCalculator::unitsY() const { return lockedString(m_unitsY); }
std::string SpotDiagramCalculator::lostFanType() const { return lockedString(m_lostFanType); }
void SpotDiagramCalculator::setLostFanType(const std::string& fan) {
  setLockedString("lostFanType", m_lostFanType, fan);
}

void SpotDiagramCalculator::setKeyX(const std::string& key) {
  if (key == keyX()) return;
  setLockedString("keyX", m_keyX, key);
  validateUnitsX();
  setNeedsGenerateCurves(true);
}
void SpotDiagramCalculator::setKeyY(const std::string& key) {
  if (key == keyY()) return;
  setLockedString("keyY", m_keyY, key);
  validateUnitsY();
  setNeedsGenerateCurves(true);
}
void SpotDiagramCalculator::setUnitsX(const std::string& unit) {
  setLockedString("unitsX", m_unitsX, unit);
  setNeedsGenerateCurves(true);
}
void SpotDiagramCalculator::setUnitsY(const std::string& unit) {
  setLockedString("unitsY", m_unitsY, unit);
  setNeedsGenerateCurves(true);
}

namespace {
std::string validUnit(const std::vector<std::string>& possible, const std::string& present) {
  if (contains(possible, present)) return present;
  if (contains(possible, "mrad")) return "mrad";
  if (contains(possible, "micron")) return "micron";
  return "unity";
}
}  // namespace

void SpotDiagramCalculator::validateUnitsX() {
  willChangeValueForKey("possibleUnitsX");
  didChangeValueForKey("possibleUnitsX");
  const std::string unit = validUnit(possibleUnitsX(), unitsX());
  if (unit != unitsX()) setUnitsX(unit);
}
void SpotDiagramCalculator::validateUnitsY() {
  willChangeValueForKey("possibleUnitsY");
  didChangeValueForKey("possibleUnitsY");
  const std::string unit = validUnit(possibleUnitsY(), unitsY());
  if (unit != unitsY()) setUnitsY(unit);
}

void SpotDiagramCalculator::setUnits(const std::string& unit) {
  RaysAtSurfaceCalculator::setUnits(unit);
  setUnitsX(unit);
  setUnitsY(unit);
}

void SpotDiagramCalculator::setNumberOfRays(std::uint64_t n) {
  setBeamNumberOfRays(n);
  setEmissionNumberOfRays(n);
  RaysAtSurfaceCalculator::setNumberOfRays(n);
}

bool SpotDiagramCalculator::divideAbscissaByFocalLength() const {
  const std::string k = keyX();
  return k == "x/f" || k == "y/f";
}
bool SpotDiagramCalculator::divideOrdinateByFocalLength() const {
  const std::string k = keyY();
  return k == "x/f" || k == "y/f";
}

// --- drawing settings ----------------------------------------------------------------------------

void SpotDiagramCalculator::setDotSize(int size) {
  setAndAnnounce("dotSize", m_dotSize, size);
  setNeedsGenerateCurves(true);
}
void SpotDiagramCalculator::setDrawsAiryDisk(bool on) {
  setAndAnnounce("drawsAiryDisk", m_drawsAiryDisk, on);
  setNeedsGenerateCurves(true);
}
void SpotDiagramCalculator::setDrawsReferenceEllipsoid(bool on) {
  setAndAnnounce("drawsReferenceEllipsoid", m_drawsReferenceEllipsoid, on);
  setNeedsGenerateCurves(true);
}
void SpotDiagramCalculator::setReferenceEllipsoidRadiusX(double r) {
  setAndAnnounce("referenceEllipsoidRadiusX", m_referenceRadiusX, r);
  setNeedsGenerateCurves(true);
}
void SpotDiagramCalculator::setReferenceEllipsoidRadiusY(double r) {
  setAndAnnounce("referenceEllipsoidRadiusY", m_referenceRadiusY, r);
  setNeedsGenerateCurves(true);
}
void SpotDiagramCalculator::setCenterAxis(bool on) {
  setAndAnnounce("centerAxis", m_centerAxis, on);
  setPlotDictionaryValue(plot::kCenterAxis, on);
}
void SpotDiagramCalculator::setEqualAxis(bool on) {
  setAndAnnounce("equalAxis", m_equalAxis, on);
  setPlotDictionaryValue(plot::kEqualAxis, on);
}
void SpotDiagramCalculator::setIsotropic(bool on) {
  setAndAnnounce("isotropic", m_isotropic, on);
  setPlotDictionaryValue(plot::kIsotropic, on);
}

// --- texts -------------------------------------------------------------------------------------

std::string SpotDiagramCalculator::unitSymbol(const std::string& unit) {
  static const std::pair<const char*, const char*> symbols[] = {
      {"micron", "µm"}, {"uinch", "µin"}, {"inch", "in"}, {"microrad", "µrad"}, {"deg", "°"}, {"unity", ""}};
  for (const auto& [name, symbol] : symbols)
    if (unit == name) return symbol;
  return unit;
}

std::string SpotDiagramCalculator::formatWithUnit(double value, const std::string& unit) {
  const std::string symbol = unitSymbol(unit);
  // Four significant digits, kept as fixed decimals ("12.50", "0.003977") over the range
  // a reader compares at a glance; exponents only outside it.
  std::string number;
  const double magnitude = std::abs(value);
  if (value == 0) {
    number = "0";
  } else if (magnitude >= 1e-4 && magnitude < 1e5) {
    const int decimals = std::max(0, 3 - static_cast<int>(std::floor(std::log10(magnitude))));
    number = platform::format("%.*f", decimals, value);
  } else {
    number = platform::format("%.3e", value);
  }
  if (symbol.empty()) return number;
  // Degrees sit on the number; other symbols after a space.
  return symbol == "°" ? number + symbol : number + " " + symbol;
}

namespace {
std::string axisLabel(bool delta, const std::string& key, const std::string& unit) {
  const std::string symbol = SpotDiagramCalculator::unitSymbol(unit);
  const std::string prefix = delta ? "delta " : "";
  return symbol.empty() ? prefix + key : platform::format("%s%s (%s)", prefix.c_str(), key.c_str(), symbol.c_str());
}
}  // namespace

std::string SpotDiagramCalculator::xLabel() const { return axisLabel(gridify(), keyX(), unitsX()); }
std::string SpotDiagramCalculator::yLabel() const { return axisLabel(gridify(), keyY(), unitsY()); }

std::string SpotDiagramCalculator::fieldValueText(const lens::Field& field, bool angle) {
  auto one = [angle](double v) { return platform::format(angle ? "%g°" : "%g mm", v); };
  if (field.x() == 0) return one(field.y());
  return "(" + one(field.x()) + ", " + one(field.y()) + ")";
}

std::string SpotDiagramCalculator::fieldTitle(const lens::Field& field) const {
  const LensPtr l = lens();
  const bool angle = !l || l->fieldType() == "Angle";
  std::string value = fieldValueText(field, angle);
  if (!l) return value;
  const auto& fields = l->fieldArray();
  const auto it = std::find_if(fields.begin(), fields.end(), [&](const FieldPtr& f) { return f.get() == &field; });
  if (it == fields.end()) return value;
  if (value.front() != '(') value = "(" + value + ")";
  return platform::format("Field %zu ", static_cast<std::size_t>(it - fields.begin()) + 1) + value;
}

std::string SpotDiagramCalculator::rmsTitle(const std::string& group, double rmsX, double rmsY) const {
  return group + ": rms x " + formatWithUnit(rmsX, unitsX()) + ", y " + formatWithUnit(rmsY, unitsY());
}
std::string SpotDiagramCalculator::title() const {
  if (subtractCentroid()) return gridify() ? "Gridded spot diagram" : "Centroid subtracted spot diagram";
  if (useFieldGrid() && subtractFieldGrid())
    return gridify() ? "Field grid subtracted with offset" : "Field grid subtracted";
  return "Spot diagram";
}

// --- curve makers --------------------------------------------------------------------------------

Dictionary SpotDiagramCalculator::ellipseWithCenter(XY c, XY a, XY b) {
  VKSeries xs(kOutlinePoints), ys(kOutlinePoints);
  for (int i = 0; i < kOutlinePoints; ++i) {
    const double t = i * 2 * M_PI / (kOutlinePoints - 1);
    xs.atPut(static_cast<std::size_t>(i), c.x + std::cos(t) * a.x + std::sin(t) * b.x);
    ys.atPut(static_cast<std::size_t>(i), c.y + std::cos(t) * a.y + std::sin(t) * b.y);
  }
  return Dictionary{{plot::kXSeries, SeriesValue::make(std::move(xs))},
                    {plot::kYSeries, SeriesValue::make(std::move(ys))},
                    {plot::kUseContrastColor, true}};
}

Dictionary SpotDiagramCalculator::airyCurveWithWave(const lens::Wave& wave, double sx, double sy) const {
  const LensPtr l = lens();
  const double r = l ? std::abs(tracing::airyDiskRadiusWithWave(*l, wave)) : 0.0;
  return ellipseWithCenter({0, 0}, {sx * r, 0}, {0, sy * r});
}

Dictionary SpotDiagramCalculator::referenceEllisoidWithCenter(XY c) const {
  return ellipseWithCenter(c, {referenceEllipsoidRadiusX(), 0}, {0, referenceEllipsoidRadiusY()});
}

std::optional<Dictionary> SpotDiagramCalculator::airyCurveForRay(const Ray& ray, const lens::Wave& wave,
                                                                  const AxisFactors& f) const {
  const XYZ d = ray.unitDirector();
  const XYZ n = ray.surfaceNormal();
  const XYZ c = cross(d, n);
  const double c2 = dot(c, c);
  if (c2 <= 1e-10) return airyCurveWithWave(wave, f.fx, f.fy);
  const double cosine = dot(d, n);
  // A ray grazing the surface spreads the disk without bound: no outline to draw.
  if (std::abs(cosine) < 1e-12) return std::nullopt;
  const double length = std::sqrt(c2);
  const XYZ u{c.x / length, c.y / length, c.z / length};
  const XYZ un = cross(u, n);
  const XYZ v{un.x / cosine, un.y / cosine, un.z / cosine};
  const LensPtr l = lens();
  const double r = l ? std::abs(tracing::airyDiskRadiusWithWave(*l, wave)) : 0.0;
  return ellipseWithCenter({0, 0}, {f.fx * r * u.x, f.fy * r * u.y}, {f.fx * r * v.x, f.fy * r * v.y});
}

// --- curves ------------------------------------------------------------------------------------

SpotDiagramCalculator::AxisFactors SpotDiagramCalculator::axisFactors() {
  AxisFactors f;
  const bool divideX = !afocal() && divideAbscissaByFocalLength();
  const bool divideY = !afocal() && divideOrdinateByFocalLength();
  if (divideX || divideY) {
    const LensPtr l = lens();
    const std::optional<double> efl = l ? tracing::numberForKey(l->paraxialData(), "focalLength") : std::nullopt;
    if (efl && std::isfinite(*efl) && *efl != 0) {
      if (divideX) f.fx = 1 / *efl;
      if (divideY) f.fy = 1 / *efl;
    } else {
      noteStatus("No finite focal length: values are not divided by it");
    }
  }
  f.fx *= scaleForUnits(unitsX());
  f.fy *= scaleForUnits(unitsY());
  f.airy = drawsAiryDisk() && keyForPlotKey(keyX()) == "x" && keyForPlotKey(keyY()) == "y";
  return f;
}

void SpotDiagramCalculator::noteStatus(const std::string& text) {
  performOnMainThreadForRun([this, text] { setStatus(text); });
}

namespace {

// The rays of one group, their plotted series and their weighted sums.
struct Selection {
  VKSeries xs{0}, ys{0};
  const Ray* first = nullptr;
};

// The object a ray's tag `key` names ("beam", "emissionSurface"), for every ray: read once
// per curve pass, not through key-value coding per ray and per wave.
std::vector<const platform::Object*> taggedObjects(const std::vector<Ray>& rays, const char* key) {
  std::vector<const platform::Object*> out;
  out.reserve(rays.size());
  for (const Ray& r : rays) out.push_back(r.tags().valueForKey(key).objectIf<platform::Object>().get());
  return out;
}

template <class Pick>
Selection select(const std::vector<Ray>& rays, RayReader rx, RayReader ry, double fx, double fy, double w,
                 double& Sx, double& Sy, double& W, Pick pick) {
  std::size_t count = 0;
  for (const Ray& r : rays)
    if (r.isAlive() && pick(r)) ++count;
  Selection s{VKSeries(count), VKSeries(count), nullptr};
  std::size_t i = 0;
  for (const Ray& r : rays) {
    if (!r.isAlive() || !pick(r)) continue;
    if (!s.first) s.first = &r;
    const double xv = rx(r), yv = ry(r);
    s.xs.atPut(i, xv);
    s.ys.atPut(i, yv);
    Sx += w * xv;
    Sy += w * yv;
    W += w;
    ++i;
  }
  s.xs.scaleBy(fx);
  s.ys.scaleBy(fy);
  return s;
}

void addToSeries(VKSeries& s, double d) {
  if (s.count() < kParallelRows) return s.addDouble(d);
  double* v = s.data();
  parallelChunks(s.count(), [&](std::size_t, std::size_t begin, std::size_t end) {
    for (std::size_t i = begin; i < end; ++i) v[i] += d;
  });
}

void shiftCurves(std::vector<Curve>& curves, bool spotsOnly, double dx, double dy) {
  for (Curve& c : curves) {
    if (spotsOnly && !c.isSpot) continue;
    addToSeries(c.xs, dx);
    addToSeries(c.ys, dy);
  }
}

// The live rows of each field and wave of interest, straight from the columns: their
// plotted values (scaled) in row order, their count and the sums of the raw values.
struct Spot {
  VKSeries xs{0}, ys{0};
  double sumX = 0, sumY = 0;
  std::size_t first = 0;  // the first row, when count() > 0
  std::size_t count() const { return xs.count(); }
};

// Spots indexed field slot × waves + wave slot. Rows of fields or waves outside the slots
// are skipped. Two passes over chunks of rows: count per chunk and spot, then write each
// chunk's values at its offset; partial sums are kept per chunk and added in order.
// Answers nothing when the worker is cancelled.
template <class ReadX, class ReadY>
std::optional<std::vector<Spot>> gatherSpots(const tracing::RayBundle& b, const std::vector<int>& fieldSlot,
                                             const std::vector<int>& waveSlot, std::size_t waveCount,
                                             std::size_t spotCount, ReadX rx, ReadY ry, double fx, double fy) {
  const std::size_t n = b.size(), chunks = chunkCount(n);
  const std::atomic<bool>* cancelFlag = platform::currentThreadCancelledFlag();
  std::atomic<bool> cancelled{false};
  auto stop = [&] {
    if (cancelled.load(std::memory_order_relaxed)) return true;
    if (cancelFlag && cancelFlag->load(std::memory_order_relaxed)) cancelled = true;
    return cancelled.load(std::memory_order_relaxed);
  };
  auto spotOf = [&](std::size_t i) -> int {
    if (!b.alive[i]) return -1;
    const std::uint16_t f = b.field[i];
    const std::uint8_t w = b.wave[i];
    if (f >= fieldSlot.size() || w >= waveSlot.size() || fieldSlot[f] < 0 || waveSlot[w] < 0) return -1;
    return fieldSlot[f] * static_cast<int>(waveCount) + waveSlot[w];
  };
  // Pass 1: counts, then each chunk's offset within each spot.
  std::vector<std::size_t> at(chunks * spotCount, 0);
  parallelChunks(n, [&](std::size_t c, std::size_t begin, std::size_t end) {
    if (stop()) return;
    std::size_t* counts = at.data() + c * spotCount;
    for (std::size_t i = begin; i < end; ++i)
      if (const int g = spotOf(i); g >= 0) ++counts[g];
  });
  if (stop()) return std::nullopt;
  std::vector<Spot> spots(spotCount);
  std::vector<std::size_t> totals(spotCount, 0);
  for (std::size_t c = 0; c < chunks; ++c)
    for (std::size_t g = 0; g < spotCount; ++g) {
      const std::size_t k = at[c * spotCount + g];
      at[c * spotCount + g] = totals[g];
      totals[g] += k;
    }
  for (std::size_t g = 0; g < spotCount; ++g) spots[g].xs = VKSeries(totals[g]), spots[g].ys = VKSeries(totals[g]);
  // Pass 2: values, sums and the first rows.
  std::vector<double> sums(chunks * spotCount * 2, 0.0);
  std::vector<std::size_t> firsts(chunks * spotCount, n);
  parallelChunks(n, [&](std::size_t c, std::size_t begin, std::size_t end) {
    if (stop()) return;
    std::size_t* next = at.data() + c * spotCount;
    double* sum = sums.data() + c * spotCount * 2;
    std::size_t* first = firsts.data() + c * spotCount;
    for (std::size_t i = begin; i < end; ++i) {
      const int g = spotOf(i);
      if (g < 0) continue;
      const double xv = rx(b, i), yv = ry(b, i);
      Spot& s = spots[static_cast<std::size_t>(g)];
      const std::size_t k = next[g]++;
      s.xs.data()[k] = xv * fx;
      s.ys.data()[k] = yv * fy;
      sum[2 * g] += xv;
      sum[2 * g + 1] += yv;
      if (first[g] == n) first[g] = i;
    }
  });
  if (stop()) return std::nullopt;
  for (std::size_t g = 0; g < spotCount; ++g) {
    Spot& s = spots[g];
    s.first = n;
    for (std::size_t c = 0; c < chunks; ++c) {
      s.sumX += sums[(c * spotCount + g) * 2];
      s.sumY += sums[(c * spotCount + g) * 2 + 1];
      s.first = std::min(s.first, firsts[c * spotCount + g]);
    }
  }
  return spots;
}

}  // namespace

Array SpotDiagramCalculator::curvesForFieldWaveCombinations() {
  Array result;
  const BundlePtr traced = tracedBundle();
  if (!traced) return result;
  const auto fields = fieldsOfInterest();
  const auto waves = wavesOfInterest();
  if (fields.empty() || waves.empty() || numberOfRays() == 0) return result;
  const AxisFactors f = axisFactors();
  const tracing::RayBundle& bundle = traced->rays;
  // Bundle table slot → position among the fields and waves of interest.
  auto slots = [](const auto& table, const auto& ofInterest) {
    std::vector<int> slot(table.size(), -1);
    for (std::size_t k = 0; k < ofInterest.size(); ++k)
      for (std::size_t t = 0; t < table.size(); ++t)
        if (slot[t] < 0 && table[t] == ofInterest[k]) slot[t] = static_cast<int>(k);
    return slot;
  };
  const std::vector<int> fieldSlot = slots(bundle.fields, fields), waveSlot = slots(bundle.waves, waves);
  auto gather = [&](auto rx, auto ry) {
    return gatherSpots(bundle, fieldSlot, waveSlot, waves.size(), fields.size() * waves.size(), rx, ry, f.fx, f.fy);
  };
  const std::string readX = keyForPlotKey(keyX()), readY = keyForPlotKey(keyY());
  // Positions, the usual plot, read inline; other quantities through a reader.
  std::optional<std::vector<Spot>> spots =
      readX == "x" && readY == "y"
          ? gather([](const tracing::RayBundle& b, std::size_t i) { return b.qx[i]; },
                   [](const tracing::RayBundle& b, std::size_t i) { return b.qy[i]; })
          : gather(rowReaderForKey(readX), rowReaderForKey(readY));
  if (!spots) return result;
  const std::string kx = keyX(), ky = keyY();
  const bool continuous = curvesAreContinuous();
  const bool fieldGrid = useFieldGrid(), subtract = subtractCentroid(), gridSubtract = fieldGrid && subtractFieldGrid();
  const LensPtr l = lens();
  const bool angleFields = !l || l->fieldType() == "Angle";

  for (std::size_t fi = 0; fi < fields.size(); ++fi) {
    const FieldPtr& field = fields[fi];
    if (platform::currentThreadIsCancelled()) return result;
    const XY g = fieldGrid ? XY{fieldGridScale() * field->x(), fieldGridScale() * field->y()} : XY{0, 0};
    double Sx = 0, Sy = 0, W = 0;
    std::vector<Curve> group;
    for (std::size_t wi = 0; wi < waves.size(); ++wi) {
      const WavePtr& wave = waves[wi];
      double w = wave->weight();
      if (w == 0 && waves.size() == 1) w = 1;
      Spot& s = (*spots)[fi * waves.size() + wi];
      if (s.count() == 0) continue;
      Sx += w * s.sumX;
      Sy += w * s.sumY;
      W += w * static_cast<double>(s.count());
      const Value layer = fields.size() >= 2 ? Value(field->description()) : Value(wave->description());
      Curve spot;
      spot.isSpot = true;
      spot.xs = std::move(s.xs);
      spot.ys = std::move(s.ys);
      spot.d = Dictionary{{plot::kDrawAsLines, continuous},
                          {plot::kDrawAsDots, true},
                          {plot::kDotSize, dotSize()},
                          {plot::kField, Value(field)},
                          {plot::kWave, Value(wave)},
                          {plot::kLayer, layer},
                          {plot::kXLabel, kx},
                          {plot::kYLabel, ky},
                          {plot::kName, fieldValueText(*field, angleFields) + ", " + wavelengthText(*wave)},
                          {plot::kUpdateColor, true}};
      spot.d.set(Value(plot::kColor), Value(colorForDictionary(spot.d)));
      group.push_back(std::move(spot));

      if (f.airy) {
        // The lead ray carries the surface normal; the row alone when it was lost.
        const Ray* lead = traced->leadRay(s.first);
        const Ray row = lead && lead->isAlive() ? *lead : bundle.ray(s.first);
        if (auto outline = airyCurveForRay(row, *wave, f)) {
          Curve airy = curveFrom(std::move(*outline));
          airy.xs.addDouble(g.x);
          airy.ys.addDouble(g.y);
          for (auto& [k, v] : Dictionary{{plot::kLayer, layer},
                                          {plot::kName, "Airy disk"},
                                          {plot::kXLabel, kx},
                                          {plot::kYLabel, ky},
                                          {plot::kLockAlpha, true},
                                          {plot::kUpdateColor, true},
                                          {plot::kField, Value(field)},
                                          {plot::kWave, Value(wave)}})
            airy.d.set(k, v);
          auto color = colorForDictionary(airy.d);
          if (color) color = platform::Color::make(color->red(), color->green(), color->blue(), 1.0);
          airy.d.set(Value(plot::kColor), Value(color));
          group.push_back(std::move(airy));
        }
      }
      if (drawsReferenceEllipsoid()) {
        Curve reference = curveFrom(referenceEllisoidWithCenter(g));
        for (auto& [k, v] : Dictionary{{plot::kLayer, layer}, {plot::kName, "Reference"}, {plot::kXLabel, kx},
                                        {plot::kYLabel, ky}})
          reference.d.set(k, v);
        group.push_back(std::move(reference));
      }
    }
    if (group.empty()) continue;

    if (subtract) {
      if (W != 0)
        shiftCurves(group, true, -f.fx * Sx / W, -f.fy * Sy / W);
      else
        noteStatus("Centroid not subtracted for field " + field->shortDescription() +
                            ": its waves' weights sum to zero");
    } else if (gridSubtract) {
      const XY shift = gridify() ? XY{gridScale() * g.x - g.x, gridScale() * g.y - g.y} : XY{-g.x, -g.y};
      shiftCurves(group, false, shift.x, shift.y);
    }
    double rmsX = 0, rmsY = 0;
    rmsOfSpots(group, rmsX, rmsY);
    const std::string layerTitle = rmsTitle(fieldTitle(*field), rmsX, rmsY);
    for (Curve& c : group) {
      if (c.isSpot) c.d.set(Value(plot::kLayerTitle), layerTitle);
      result.push_back(c.finish());
    }
  }
  return result;
}

Array SpotDiagramCalculator::curvesForBeamWaveCombinations() {
  Array result;
  const RaysPtr traced = otherRays();  // beam and emitter rays are never in the bundle
  if (!traced) return result;
  const auto beams = beamsOfInterest();
  if (beams.empty() || numberOfRays() == 0) return result;
  const AxisFactors f = axisFactors();
  const RayReader rx = readerForKey(keyForPlotKey(keyX())), ry = readerForKey(keyForPlotKey(keyY()));
  const std::string kx = keyX(), ky = keyY();
  const bool continuous = curvesAreContinuous();

  const std::vector<const platform::Object*> beamOf = taggedObjects(*traced, "beam");
  for (const BeamPtr& beam : beams) {
    if (platform::currentThreadIsCancelled()) return result;
    double Sx = 0, Sy = 0, W = 0;
    std::vector<Curve> spots;
    // A beam's rays are in the beam's own wavelength, whatever the lens's waves are.
    auto isOfBeam = [&](const Ray& r) { return beamOf[static_cast<std::size_t>(&r - traced->data())] == beam.get(); };
    std::vector<WavePtr> waves;
    for (const Ray& r : *traced)
      if (r.wave() && isOfBeam(r) && std::find(waves.begin(), waves.end(), r.wave()) == waves.end())
        waves.push_back(r.wave());
    for (const WavePtr& wave : waves) {
      double w = wave->weight();
      if (w == 0 && waves.size() == 1) w = 1;
      Selection s = select(*traced, rx, ry, f.fx, f.fy, w, Sx, Sy, W, [&](const Ray& r) {
        return isOfBeam(r) && r.wave().get() == wave.get();
      });
      if (!s.first) continue;
      const Value layer = beams.size() >= 2 ? Value(beam->description()) : Value(wave->description());
      Curve spot;
      spot.isSpot = true;
      spot.xs = std::move(s.xs);
      spot.ys = std::move(s.ys);
      spot.d = Dictionary{{plot::kDrawAsLines, continuous},
                          {plot::kDrawAsDots, true},
                          {plot::kDotSize, dotSize()},
                          {"beam", Value(beam)},
                          {plot::kWave, Value(wave)},
                          {plot::kLayer, layer},
                          {plot::kXLabel, kx},
                          {plot::kYLabel, ky},
                          {plot::kName, beamName(*beam) + ", " + wavelengthText(*wave)},
                          {plot::kUpdateColor, true}};
      spot.d.set(Value(plot::kColor), Value(colorForDictionary(spot.d)));
      spots.push_back(std::move(spot));
      // Outlines are drawn about the origin and stay there.
      if (f.airy)
        if (auto outline = airyCurveForRay(*s.first, *wave, f)) {
          Dictionary airy = std::move(*outline);
          for (auto& [k, v] : Dictionary{{plot::kLayer, layer},
                                          {plot::kName, "Airy disk"},
                                          {plot::kXLabel, kx},
                                          {plot::kYLabel, ky},
                                          {plot::kLockAlpha, true},
                                          {plot::kUpdateColor, true},
                                          {"beam", Value(beam)},
                                          {plot::kWave, Value(wave)}})
            airy.set(k, v);
          auto color = colorForDictionary(airy);
          if (color) color = platform::Color::make(color->red(), color->green(), color->blue(), 1.0);
          airy.set(Value(plot::kColor), Value(color));
          result.push_back(Value(std::move(airy)));
        }
      if (drawsReferenceEllipsoid()) {
        Dictionary reference = referenceEllisoidWithCenter({0, 0});
        for (auto& [k, v] : Dictionary{{plot::kLayer, layer}, {plot::kName, "Reference"}, {plot::kXLabel, kx},
                                        {plot::kYLabel, ky}})
          reference.set(k, v);
        result.push_back(Value(std::move(reference)));
      }
    }
    if (spots.empty()) continue;
    if (subtractCentroid()) {
      if (W != 0)
        shiftCurves(spots, true, -f.fx * Sx / W, -f.fy * Sy / W);
      else
        noteStatus("Centroid not subtracted for beam " + beamShortDescription(*beam) +
                            ": its waves' weights sum to zero");
    }
    double rmsX = 0, rmsY = 0;
    rmsOfSpots(spots, rmsX, rmsY);
    const std::string layerTitle = rmsTitle(beamShortDescription(*beam), rmsX, rmsY);
    for (Curve& c : spots) {
      c.d.set(Value(plot::kLayerTitle), layerTitle);
      result.push_back(c.finish());
    }
  }
  return result;
}

Array SpotDiagramCalculator::curvesForEmitter() {
  Array result;
  const RaysPtr traced = otherRays();  // beam and emitter rays are never in the bundle
  if (!traced) return result;
  const auto emitters = emissionSurfacesOfInterest();
  if (emitters.empty() || numberOfRays() == 0) return result;
  const AxisFactors f = axisFactors();
  const RayReader rx = readerForKey(keyForPlotKey(keyX())), ry = readerForKey(keyForPlotKey(keyY()));
  const std::string kx = keyX(), ky = keyY();

  const std::vector<const platform::Object*> emitterOf = taggedObjects(*traced, "emissionSurface");
  for (const SurfacePtr& surface : emitters) {
    if (platform::currentThreadIsCancelled()) return result;
    if (!surface->emission()) continue;
    const WavePtr wave = surface->emission()->wave();
    double Sx = 0, Sy = 0, W = 0;
    Selection s = select(*traced, rx, ry, f.fx, f.fy, 1.0, Sx, Sy, W, [&](const Ray& r) {
      return emitterOf[static_cast<std::size_t>(&r - traced->data())] == surface.get();
    });
    if (!s.first) continue;
    std::vector<Curve> spots(1);
    Curve& spot = spots.front();
    spot.isSpot = true;
    spot.xs = std::move(s.xs);
    spot.ys = std::move(s.ys);
    spot.d = Dictionary{{plot::kDrawAsLines, curvesAreContinuous()},
                        {plot::kDrawAsDots, true},
                        {plot::kDotSize, dotSize()},
                        {plot::kUpdateColor, true},
                        {"emissionSurface", Value(surface)},
                        {plot::kLayer, surface->description()},
                        {plot::kXLabel, kx},
                        {plot::kYLabel, ky},
                        {plot::kName, surface->nickname() + ", " + wavelengthText(*wave)}};
    spot.d.set(Value(plot::kColor), Value(colorForDictionary(spot.d)));
    if (f.airy)
      if (auto outline = airyCurveForRay(*s.first, *wave, f)) {
        Dictionary airy = std::move(*outline);
        for (auto& [k, v] : Dictionary{{plot::kLayer, surface->description()},
                                        {plot::kName, "Airy disk"},
                                        {plot::kXLabel, kx},
                                        {plot::kYLabel, ky},
                                        {plot::kLockAlpha, true},
                                        {plot::kUpdateColor, true},
                                        {"emissionSurface", Value(surface)}})
          airy.set(k, v);
        airy.set(Value(plot::kColor), Value(colorForDictionary(airy)));
        result.push_back(Value(std::move(airy)));
      }
    if (drawsReferenceEllipsoid()) {
      Dictionary reference = referenceEllisoidWithCenter({0, 0});
      for (auto& [k, v] : Dictionary{{plot::kLayer, surface->description()}, {plot::kName, "Reference"},
                                      {plot::kXLabel, kx}, {plot::kYLabel, ky}})
        reference.set(k, v);
      result.push_back(Value(std::move(reference)));
    }
    if (subtractCentroid()) shiftCurves(spots, true, -f.fx * Sx / W, -f.fy * Sy / W);  // W ≥ 1 here
    double rmsX = 0, rmsY = 0;
    rmsOfSpots(spots, rmsX, rmsY);
    spot.d.set(Value(plot::kLayerTitle), rmsTitle(surface->nickname(), rmsX, rmsY));
    result.push_back(spot.finish());
  }
  return result;
}

void SpotDiagramCalculator::generateCurves() {
  Array curves = sourceTypeIsBeam()      ? curvesForBeamWaveCombinations()
                 : sourceTypeIsEmitter() ? curvesForEmitter()
                                         : curvesForFieldWaveCombinations();
  if (platform::currentThreadIsCancelled()) return;
  Dictionary d = initialPlotDictionary();
  d.set(Value(plot::kCurves), Value(std::move(curves)));
  d.set(Value(plot::kTitle), title());
  d.set(Value(plot::kXLabel), xLabel());
  d.set(Value(plot::kYLabel), yLabel());
  d.set(Value(plot::kScaleOnlyExpands), scaleOnlyExpands());
  d.set(Value(plot::kPlotTight), plotTight());
  d.set(Value(plot::kIsotropic), isotropic());
  d.set(Value(plot::kEqualAxis), equalAxis());
  publishPlotDictionary(std::move(d));
  setNeedsGenerateCurves(false);
}

void SpotDiagramCalculator::addRestorationDataToDictionary(Dictionary& d) const {
  RaysAtSurfaceCalculator::addRestorationDataToDictionary(d);
  for (const char* key : {"drawsAiryDisk", "centerAxis", "equalAxis", "isotropic", "dotSize",
                          "drawsReferenceEllipsoid", "referenceEllipsoidRadiusX", "referenceEllipsoidRadiusY", "keyX",
                          "keyY", "unitsX", "unitsY", "sourceType"})
    d.set(Value(key), valueForKey(key));
}

}  // namespace orb::analysis
