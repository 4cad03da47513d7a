#include "analysis/RaysAtSurfaceCalculator.h"

#include <algorithm>

#include "analysis/ParallelChunks.h"
#include "analysis/PlotDictionary.h"
#include "lens/Surface.h"
#include "platform/KeyTable.h"
#include "platform/Thread.h"

namespace orb::analysis {

using platform::Dictionary;
using platform::Value;
using tracing::Ray;

RaysAtSurfaceCalculator::RaysAtSurfaceCalculator() { setRayColorOption("fixed"); }

const platform::KeyTable& RaysAtSurfaceCalculator::classKeys() {
  using K = platform::Keys<RaysAtSurfaceCalculator>;
  using R = RaysAtSurfaceCalculator;
  platform::KeyEntry unitsKey{"units", [](const platform::Object& o) { return Value(static_cast<const R&>(o).units()); },
                              [](platform::Object& o, const Value& v) {
                                static_cast<R&>(o).setUnits(v.isString() ? v.asString() : std::string());
                              }};
  platform::KeyEntry possibleUnitsKey{"possibleUnits", [](const platform::Object& o) {
                                        platform::Array a;
                                        for (const auto& u : static_cast<const R&>(o).possibleUnits()) a.push_back(u);
                                        return Value(std::move(a));
                                      }};
  static const platform::KeyTable table(
      &RaysCalculator::classKeys(),
      {
          K::property("subtractCentroid", &R::subtractCentroid, &R::setSubtractCentroid),
          K::property("subtractFieldGrid", &R::subtractFieldGrid, &R::setSubtractFieldGrid),
          K::property("useFieldGrid", &R::useFieldGrid, &R::setUseFieldGrid),
          K::property("fieldGridScale", &R::fieldGridScale, &R::setFieldGridScale),
          K::property("gridify", &R::gridify, &R::setGridify),
          K::property("gridScale", &R::gridScale, &R::setGridScale),
          K::property("afocal", &R::afocal, &R::setAfocal),
          K::property("useLocalCoordinates", &R::useLocalCoordinates, &R::setUseLocalCoordinates),
          K::property("scaleOnlyExpands", &R::scaleOnlyExpands, &R::setScaleOnlyExpands),
          K::property("plotTight", &R::plotTight, &R::setPlotTight),
          K::property("showLegend", &R::showLegend, &R::setShowLegend),
          K::property("transposeAxes", &R::transposeAxes, &R::setTransposeAxes),
          K::property("multiplot", &R::multiplot, &R::setMultiplot),
          K::property("divideByFocalLength", &R::divideByFocalLength, &R::setDivideByFocalLength),
          std::move(unitsKey),
          std::move(possibleUnitsKey).dependsOn({"afocal", "divideByFocalLength"}),
      });
  return table;
}

// --- units -------------------------------------------------------------------------------------

const std::vector<std::string>& RaysAtSurfaceCalculator::lengthUnits() {
  static const std::vector<std::string> u{"m", "cm", "mm", "micron", "inch", "mil", "uinch"};
  return u;
}
const std::vector<double>& RaysAtSurfaceCalculator::lengthScaleFactors() {
  static const std::vector<double> f{0.001, 0.1, 1, 1000, 0.0393701, 39.3701, 39370.1};
  return f;
}
const std::vector<std::string>& RaysAtSurfaceCalculator::angleUnits() {
  static const std::vector<std::string> u{"rad", "mrad", "microrad", "deg", "arcmin", "arcsec"};
  return u;
}
const std::vector<double>& RaysAtSurfaceCalculator::angleScaleFactors() {
  static const std::vector<double> f{1, 1000, 1000000, 57.2958, 3437.75, 206265};
  return f;
}
const std::vector<std::string>& RaysAtSurfaceCalculator::momentumUnits() {
  static const std::vector<std::string> u{"unity", "milli", "micro"};
  return u;
}
const std::vector<double>& RaysAtSurfaceCalculator::momentumScaleFactors() {
  static const std::vector<double> f{1, 1000, 1000000};
  return f;
}

double RaysAtSurfaceCalculator::scaleForUnits(const std::string& unit) {
  auto look = [&](const std::vector<std::string>& names, const std::vector<double>& factors) -> std::optional<double> {
    const auto it = std::find(names.begin(), names.end(), unit);
    if (it == names.end()) return std::nullopt;
    return factors[static_cast<std::size_t>(it - names.begin())];
  };
  if (auto f = look(lengthUnits(), lengthScaleFactors())) return *f;
  if (auto f = look(angleUnits(), angleScaleFactors())) return *f;
  if (auto f = look(momentumUnits(), momentumScaleFactors())) return *f;
  return 0;
}

std::vector<std::string> RaysAtSurfaceCalculator::possibleUnits() const {
  return afocal() || divideByFocalLength() ? angleUnits() : lengthUnits();
}

void RaysAtSurfaceCalculator::validateUnits() {
  willChangeValueForKey("possibleUnits");
  didChangeValueForKey("possibleUnits");
  const auto possible = possibleUnits();
  auto has = [&](const char* u) { return std::find(possible.begin(), possible.end(), u) != possible.end(); };
  const std::string present = units();
  if (std::find(possible.begin(), possible.end(), present) != possible.end()) return;
  const char* replacement = has("mrad") ? "mrad" : has("micron") ? "micron" : has("milli") ? "milli" : nullptr;
  if (replacement)
    changeValueForKey("units", [&] {
      std::lock_guard lock(m_unitsMutex);
      m_units = replacement;
    });
}

std::string RaysAtSurfaceCalculator::units() const {
  std::lock_guard lock(m_unitsMutex);
  return m_units;
}

void RaysAtSurfaceCalculator::setUnits(const std::string& unit) {
  changeValueForKey("units", [&] {
    std::lock_guard lock(m_unitsMutex);
    m_units = unit;
  });
  validateUnits();
  unitsChanged();
}

void RaysAtSurfaceCalculator::setAfocal(bool on) {
  setAndAnnounce("afocal", m_afocal, on);
  validateUnits();
  setNeedsGenerateCurves(true);
}
void RaysAtSurfaceCalculator::setDivideByFocalLength(bool on) {
  setAndAnnounce("divideByFocalLength", m_divideByFocalLength, on);
  validateUnits();
  setNeedsGenerateCurves(true);
}
void RaysAtSurfaceCalculator::setUseLocalCoordinates(bool on) {
  setAndAnnounce("useLocalCoordinates", m_useLocalCoordinates, on);
  setNeedsCalculation(true);
}
void RaysAtSurfaceCalculator::setSubtractCentroid(bool on) {
  setAndAnnounce("subtractCentroid", m_subtractCentroid, on);
  if (on) setAndAnnounce("subtractFieldGrid", m_subtractFieldGrid, false);
  setNeedsGenerateCurves(true);
}
void RaysAtSurfaceCalculator::setSubtractFieldGrid(bool on) {
  setAndAnnounce("subtractFieldGrid", m_subtractFieldGrid, on);
  if (on) setAndAnnounce("subtractCentroid", m_subtractCentroid, false);
  setNeedsGenerateCurves(true);
}
void RaysAtSurfaceCalculator::setUseFieldGrid(bool on) {
  setAndAnnounce("useFieldGrid", m_useFieldGrid, on);
  setNeedsGenerateCurves(true);
}
void RaysAtSurfaceCalculator::setFieldGridScale(double scale) {
  setAndAnnounce("fieldGridScale", m_fieldGridScale, scale);
  setNeedsGenerateCurves(true);
}
void RaysAtSurfaceCalculator::setGridify(bool on) {
  setAndAnnounce("gridify", m_gridify, on);
  setNeedsGenerateCurves(true);
}
void RaysAtSurfaceCalculator::setGridScale(double scale) {
  setAndAnnounce("gridScale", m_gridScale, scale);
  setNeedsGenerateCurves(true);
}

// --- display flags -----------------------------------------------------------------------------

void RaysAtSurfaceCalculator::setDisplayFlag(const char* key, std::atomic<bool>& member, bool on) {
  setAndAnnounce(key, member, on);
  setPlotDictionaryValue(key, on);
}
void RaysAtSurfaceCalculator::setScaleOnlyExpands(bool on) {
  setDisplayFlag(plot::kScaleOnlyExpands, m_scaleOnlyExpands, on);
}
void RaysAtSurfaceCalculator::setPlotTight(bool on) { setDisplayFlag(plot::kPlotTight, m_plotTight, on); }
void RaysAtSurfaceCalculator::setShowLegend(bool on) { setDisplayFlag(plot::kShowLegend, m_showLegend, on); }
void RaysAtSurfaceCalculator::setTransposeAxes(bool on) {
  setDisplayFlag(plot::kTransposeAxes, m_transposeAxes, on);
}
void RaysAtSurfaceCalculator::setMultiplot(bool on) { setDisplayFlag(plot::kMultiplot, m_multiplot, on); }

Dictionary RaysAtSurfaceCalculator::initialPlotDictionary() const {
  return Dictionary{{plot::kTransposeAxes, transposeAxes()},
                    {plot::kMultiplot, multiplot()},
                    {plot::kShowLegend, showLegend()},
                    {plot::kPlotTight, plotTight()}};
}

// --- lens and stages ----------------------------------------------------------------------------

void RaysAtSurfaceCalculator::firstTimeWithLens(const LensPtr& l) {
  RaysCalculator::firstTimeWithLens(l);
  if (l) setAfocal(l->useAfocalAnalysis());
}

void RaysAtSurfaceCalculator::traceRays() {
  RaysCalculator::traceRays();
  if (useLocalCoordinates()) transformRaysToSurfaceCoordinates();
  setNeedsGenerateCurves(true);
}

void RaysAtSurfaceCalculator::transformLiveRows(tracing::RayBundle& b, const foundation::TransformationMatrix& m) {
  const std::atomic<bool>* cancelled = platform::currentThreadCancelledFlag();
  // A frame that is only shifted (the usual image plane) moves positions alone, by the
  // same sums as the full product.
  const auto& a = m.m;
  const bool shiftOnly = a[0] == 1 && a[1] == 0 && a[2] == 0 && a[4] == 0 && a[5] == 1 && a[6] == 0 && a[8] == 0 &&
                         a[9] == 0 && a[10] == 1;
  parallelChunks(b.size(), [&](std::size_t, std::size_t begin, std::size_t end) {
    if (cancelled && cancelled->load(std::memory_order_relaxed)) return;
    if (shiftOnly) {
      for (std::size_t i = begin; i < end; ++i) {
        if (!b.alive[i]) continue;
        b.qx[i] += a[3], b.qy[i] += a[7], b.qz[i] += a[11];
      }
      return;
    }
    for (std::size_t i = begin; i < end; ++i) {
      if (!b.alive[i]) continue;
      const foundation::XYZ q = foundation::applyToPoint(m, {b.qx[i], b.qy[i], b.qz[i]});
      const foundation::XYZ p = foundation::applyToDirection(m, {b.px[i], b.py[i], b.pz[i]});
      b.qx[i] = q.x, b.qy[i] = q.y, b.qz[i] = q.z;
      b.px[i] = p.x, b.py[i] = p.y, b.pz[i] = p.z;
    }
  });
}

void RaysAtSurfaceCalculator::transformRaysToSurfaceCoordinates() {
  const SurfacePtr surface = surfaceOfInterest();
  if (!surface) return;
  const auto& localFromGlobal = surface->transform().globalToLocalCoordinateTransformationMatrix();
  for (Rays* rays : {&workingRays(), &workingParaxialRays()})
    for (Ray& r : *rays)
      if (r.isAlive()) r.transformByMatrix(localFromGlobal);
  if (TracedBundle* traced = workingBundle()) {
    transformLiveRows(traced->rays, localFromGlobal);
    for (Ray& r : traced->leadRays)
      if (r.isAlive()) r.transformByMatrix(localFromGlobal);
  }
}

void RaysAtSurfaceCalculator::generateCurves() {
  performOnMainThreadForRun([this] { setPlotDictionary(std::nullopt); });
  if (!platform::currentThreadIsCancelled()) setNeedsGenerateCurves(false);
}

void RaysAtSurfaceCalculator::updateRayColors() {
  RaysCalculator::updateRayColors();
  updateCurveColors();
}

void RaysAtSurfaceCalculator::updateCurveColors() {
  Dictionary* plot = mutablePlotDictionary();
  if (!plot) return;
  const Value* curves = plot->find(Value(plot::kCurves));
  if (!curves || !curves->isArray()) return;
  platform::Array recoloured = curves->asArray();
  for (Value& c : recoloured) {
    if (!c.isDictionary()) continue;
    const Value* update = c.asDictionary().find(Value(plot::kUpdateColor));
    if (!update || !update->isNumber() || !update->asBool()) continue;
    Dictionary curve = c.asDictionary();
    auto color = colorForDictionary(curve);
    const Value* lockAlpha = curve.find(Value(plot::kLockAlpha));
    const Value* old = curve.find(Value(plot::kColor));
    if (color && lockAlpha && lockAlpha->isNumber() && lockAlpha->asBool() && old)
      if (auto previous = old->objectIf<platform::Color>())
        color = platform::Color::make(color->red(), color->green(), color->blue(), previous->alpha());
    curve.set(Value(plot::kColor), Value(color));
    c = Value(std::move(curve));
  }
  plot->set(Value(plot::kCurves), Value(std::move(recoloured)));
  plotDictionaryWasMutated();
}

// --- ray statistics -----------------------------------------------------------------------------

std::optional<foundation::XY> RaysAtSurfaceCalculator::transverseCentroidOfRays(std::span<const Ray> rays) {
  if (rays.empty()) return std::nullopt;
  double x = 0, y = 0;
  for (const Ray& r : rays) {
    x += r.x();
    y += r.y();
  }
  const double n = static_cast<double>(rays.size());
  return foundation::XY{x / n, y / n};
}

std::optional<foundation::XY> RaysAtSurfaceCalculator::afocalTransverseCentroidOfRays(std::span<const Ray> rays) {
  if (rays.empty()) return std::nullopt;
  double x = 0, y = 0;
  for (const Ray& r : rays) {
    x += r.ux();
    y += r.uy();
  }
  const double n = static_cast<double>(rays.size());
  return foundation::XY{x / n, y / n};
}

std::optional<double> RaysAtSurfaceCalculator::estimatedDistanceToFocus(std::span<const Ray> rays, double wx,
                                                                        double wy) {
  if (rays.size() < 2) return std::nullopt;
  double mx = 0, my = 0, msx = 0, msy = 0;
  for (const Ray& r : rays) {
    mx += r.x();
    my += r.y();
    msx += r.px() / r.pz();
    msy += r.py() / r.pz();
  }
  const double n = static_cast<double>(rays.size());
  mx /= n, my /= n, msx /= n, msy /= n;
  double num = 0, den = 0;
  for (const Ray& r : rays) {
    const double dx = r.x() - mx, dy = r.y() - my;
    const double dsx = r.px() / r.pz() - msx, dsy = r.py() / r.pz() - msy;
    num += wx * dx * dsx + wy * dy * dsy;
    den += wx * dsx * dsx + wy * dsy * dsy;
  }
  // Parallel rays keep their spread at every z: there is no plane of least spread.
  if (!(den > 0) || !std::isfinite(num / den)) return std::nullopt;
  return -num / den;
}

void RaysAtSurfaceCalculator::addRestorationDataToDictionary(Dictionary& d) const {
  RaysCalculator::addRestorationDataToDictionary(d);
  for (const char* key : {"subtractCentroid", "gridify", "gridScale", "useFieldGrid", "fieldGridScale", "afocal",
                          "useLocalCoordinates", "scaleOnlyExpands", "plotTight", "showLegend", "transposeAxes",
                          "multiplot", "units", "divideByFocalLength"})
    d.set(Value(key), valueForKey(key));
}

}  // namespace orb::analysis
