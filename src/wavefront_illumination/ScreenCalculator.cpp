#include "wavefront_illumination/ScreenCalculator.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <exception>
#include <thread>

#include "analysis/PlotDictionary.h"
#include "foundation/linear/ComplexMatrix.h"
#include "lens/Lens.h"
#include "lens/Surface.h"
#include "platform/Color.h"
#include "platform/Exception.h"
#include "platform/KeyTable.h"
#include "platform/Thread.h"
#include "tracing/Emitters.h"
#include "tracing/LensSummary.h"
#include "tracing/TraceDriver.h"

namespace orb::wavefront {

using analysis::SeriesValue;
using foundation::Matrix;
using foundation::VKSeries;
using platform::Dictionary;
using platform::Value;
using tracing::Ray;
namespace plot = analysis::plot;

namespace {

constexpr std::size_t kRaysPerThreadToThread = 1001;
constexpr int kCancelPollRays = 100000;

std::string stringFrom(const Value& v) { return v.isString() ? v.asString() : std::string(); }

bool isAmong(const std::vector<std::string>& list, const std::string& s) {
  return std::find(list.begin(), list.end(), s) != list.end();
}

}  // namespace

ScreenCalculator::ScreenCalculator() {
  setResampleImageWidth(128);
  setFanType("random");
  setBeamNumberOfRays(0);
  setEmissionNumberOfRays(1024);
}

const platform::KeyTable& ScreenCalculator::classKeys() {
  using K = platform::Keys<ScreenCalculator>;
  using S = ScreenCalculator;
  auto stringKey = [](std::string key, std::string (S::*get)() const, void (S::*set)(const std::string&)) {
    platform::KeyEntry e;
    e.key = std::move(key);
    e.get = [get](const platform::Object& o) { return Value((static_cast<const S&>(o).*get)()); };
    e.set = [set](platform::Object& o, const Value& v) { (static_cast<S&>(o).*set)(stringFrom(v)); };
    return e;
  };
  platform::KeyEntry possibleUnits{"possibleUnits", [](const platform::Object& o) {
                                     platform::Array out;
                                     for (const auto& u : static_cast<const S&>(o).possibleScreenDeltaUnits())
                                       out.push_back(Value(u));
                                     return Value(std::move(out));
                                   }};
  static const platform::KeyTable table(
      &IntensityCalculator::classKeys(),
      {
          K::property("multithreaded", &S::multithreaded, &S::setMultithreaded),
          K::property("screenNumberOfPointsPerSideX", &S::screenNumberOfPointsPerSideX,
                      &S::setScreenNumberOfPointsPerSideX),
          K::property("screenNumberOfPointsPerSideY", &S::screenNumberOfPointsPerSideY,
                      &S::setScreenNumberOfPointsPerSideY),
          K::property("screenNumberOfPointsPerSide", &S::screenNumberOfPointsPerSide,
                      &S::setScreenNumberOfPointsPerSide),
          K::property("screenDelta", &S::screenDelta, &S::setScreenDelta),
          stringKey("screenDeltaUnits", &S::screenDeltaUnits, &S::setScreenDeltaUnits),
          K::property("binDimension", &S::binDimension, &S::setBinDimension),
          K::property("useSlice", &S::useSlice, &S::setUseSlice),
          K::property("sliceIndex", &S::sliceIndex, &S::setSliceIndex),
          K::property("useDiagonal", &S::useDiagonal, &S::setUseDiagonal),
          K::property("useSkew", &S::useSkew, &S::setUseSkew),
          K::property("skewTest", &S::skewTest, &S::setSkewTest),
          K::property("histogramVersusIndex", &S::histogramVersusIndex, &S::setHistogramVersusIndex),
          K::property("drawsElementCursor", &S::drawsElementCursor, &S::setDrawsElementCursor),
          K::property("drawsSliceCursor", &S::drawsSliceCursor, &S::setDrawsSliceCursor),
          K::property("useCircle", &S::useCircle, &S::setUseCircle),
          K::property("circleRadius", &S::circleRadius, &S::setCircleRadius),
          K::property("maskCircle", &S::maskCircle, &S::setMaskCircle),
          K::property("plotsCentreSections", &S::plotsCentreSections, &S::setPlotsCentreSections),
          K::getter("lastTraceDuration", &S::lastTraceDuration),
          K::getter("isMonitoring", &S::isMonitoring),
          K::getter("screenWidthX", &S::screenWidthX).dependsOn({"screenDelta", "screenNumberOfPointsPerSideX"}),
          K::getter("screenWidthY", &S::screenWidthY).dependsOn({"screenDelta", "screenNumberOfPointsPerSideY"}),
          K::getter("screenDeltaMM", &S::screenDeltaInRayUnits).dependsOn({"screenDelta", "screenDeltaUnits"}),
          K::property("sliceCoordinate", &S::sliceCoordinate, &S::setSliceCoordinate)
              .dependsOn({"binDimension", "sliceIndex", "screenDelta", "screenNumberOfPointsPerSideX",
                          "screenNumberOfPointsPerSideY"}),
          K::getter("sliceIndexMaxValue", &S::sliceIndexMaxValue)
              .dependsOn({"intensityField", "useDiagonal", "useSkew"}),
          K::getter("sliceIndexMinValue", &S::sliceIndexMinValue)
              .dependsOn({"intensityField", "useDiagonal", "useSkew"}),
          K::getter("monitorX", &S::monitorX).dependsOn({"isMonitoring", "intensityField"}),
          K::getter("monitorY", &S::monitorY).dependsOn({"isMonitoring", "intensityField"}),
          K::getter("monitorF", &S::monitorF).dependsOn({"isMonitoring", "intensityField"}),
          K::getter("monitorString", &S::monitorString).dependsOn({"isMonitoring", "intensityField"}),
          K::property("screenNumberOfPointsPerSideXGUI", &S::screenNumberOfPointsPerSideX,
                      &S::setScreenNumberOfPointsPerSideXGUI)
              .dependsOn({"screenNumberOfPointsPerSideX"}),
          K::property("screenNumberOfPointsPerSideYGUI", &S::screenNumberOfPointsPerSideY,
                      &S::setScreenNumberOfPointsPerSideYGUI)
              .dependsOn({"screenNumberOfPointsPerSideY"}),
          K::property("screenDeltaGUI", &S::screenDelta, &S::setScreenDeltaGUI).dependsOn({"screenDelta"}),
          stringKey("screenDeltaUnitsGUI", &S::screenDeltaUnits, &S::setScreenDeltaUnitsGUI)
              .dependsOn({"screenDeltaUnits"}),
          K::property("screenWidthXGUI", &S::screenWidthX, &S::setScreenWidthXGUI)
              .dependsOn({"screenWidthX", "screenDelta", "screenNumberOfPointsPerSideX"}),
          K::property("screenWidthYGUI", &S::screenWidthY, &S::setScreenWidthYGUI)
              .dependsOn({"screenWidthY", "screenDelta", "screenNumberOfPointsPerSideY"}),
          std::move(possibleUnits),
      });
  return table;
}

// --- settings ------------------------------------------------------------------------------------

void ScreenCalculator::setMultithreaded(bool on) {
  setAndAnnounce("multithreaded", m_multithreaded, on);
  setNeedsCalculation(true);
}
void ScreenCalculator::setScreenNumberOfPointsPerSideX(int n) {
  setAndAnnounce("screenNumberOfPointsPerSideX", m_nx, std::max(n, 0));
  setNeedsGenerateCurves(true);
}
void ScreenCalculator::setScreenNumberOfPointsPerSideY(int n) {
  setAndAnnounce("screenNumberOfPointsPerSideY", m_ny, std::max(n, 0));
  setNeedsGenerateCurves(true);
}
void ScreenCalculator::setScreenNumberOfPointsPerSide(int n) {
  setScreenNumberOfPointsPerSideX(n);
  setScreenNumberOfPointsPerSideY(n);
}
void ScreenCalculator::setScreenDelta(double delta) {
  setAndAnnounce("screenDelta", m_delta, delta);
  setNeedsGenerateCurves(true);
}
std::string ScreenCalculator::screenDeltaUnits() const {
  std::lock_guard lock(m_unitsMutex);
  return m_deltaUnits;
}
void ScreenCalculator::setScreenDeltaUnits(const std::string& units) {
  // An unknown unit would have no scale, and the pitch in millimetres would divide by 0.
  if (units.empty() || !isAmong(possibleScreenDeltaUnits(), units)) return;
  changeValueForKey("screenDeltaUnits", [&] {
    std::lock_guard lock(m_unitsMutex);
    m_deltaUnits = units;
  });
  setNeedsGenerateCurves(true);
}
void ScreenCalculator::setBinDimension(int dimension) {
  setAndAnnounce("binDimension", m_binDimension, dimension);
  setNeedsGenerateCurves(true);
}
void ScreenCalculator::setUseSlice(bool on) {
  setAndAnnounce("useSlice", m_useSlice, on);
  setNeedsGenerateCurves(true);
}
void ScreenCalculator::setSliceIndex(std::int64_t index) {
  setAndAnnounce("sliceIndex", m_sliceIndex, index);
  setNeedsGenerateCurves(true);
}
void ScreenCalculator::setUseDiagonal(bool on) {
  setAndAnnounce("useDiagonal", m_useDiagonal, on);
  setNeedsGenerateCurves(true);
}
void ScreenCalculator::setUseSkew(bool on) {
  setAndAnnounce("useSkew", m_useSkew, on);
  setNeedsGenerateCurves(true);
}
void ScreenCalculator::setSkewTest(bool on) {
  setAndAnnounce("skewTest", m_skewTest, on);
  setNeedsGenerateCurves(true);
}
void ScreenCalculator::setHistogramVersusIndex(bool on) {
  setAndAnnounce("histogramVersusIndex", m_histogramVersusIndex, on);
  setNeedsGenerateCurves(true);
}
void ScreenCalculator::setDrawsElementCursor(bool on) {
  setAndAnnounce("drawsElementCursor", m_drawsElementCursor, on);
  setNeedsGenerateCurves(true);
}
void ScreenCalculator::setDrawsSliceCursor(bool on) {
  setAndAnnounce("drawsSliceCursor", m_drawsSliceCursor, on);
  setNeedsGenerateCurves(true);
}
void ScreenCalculator::setUseCircle(bool on) {
  setAndAnnounce("useCircle", m_useCircle, on);
  setNeedsGenerateCurves(true);
}
void ScreenCalculator::setCircleRadius(double radius) {
  setAndAnnounce("circleRadius", m_circleRadius, radius);
  setNeedsGenerateCurves(true);
}
void ScreenCalculator::setMaskCircle(bool on) {
  setAndAnnounce("maskCircle", m_maskCircle, on);
  setNeedsGenerateCurves(true);
}
void ScreenCalculator::setPlotsCentreSections(bool on) {
  setAndAnnounce("plotsCentreSections", m_plotsCentreSections, on);
  setNeedsFinalizeCurves(true);
}
void ScreenCalculator::setResampleCurves(bool on) {
  storeResampleCurves(on);
  setNeedsFinalizeCurves(true);
}

// --- interface-facing forms ---------------------------------------------------------------------------

void ScreenCalculator::setScreenNumberOfPointsPerSideXGUI(int n) {
  const double slice = sliceCoordinate();
  setScreenNumberOfPointsPerSideX(n);
  if (n > 0) setScreenDelta(screenWidthX() / n);
  setSliceCoordinate(slice);
  const auto [i, j] = matrixIndexForMonitorPoint();
  setMonitorXY(xCoordinateForIndex(i), yCoordinateForIndex(j));
  setNeedsGenerateCurves(true);
}
void ScreenCalculator::setScreenNumberOfPointsPerSideYGUI(int n) {
  const double slice = sliceCoordinate();
  setScreenNumberOfPointsPerSideY(n);
  if (n > 0) setScreenDelta(screenWidthY() / n);
  setSliceCoordinate(slice);
  const auto [i, j] = matrixIndexForMonitorPoint();
  setMonitorXY(xCoordinateForIndex(i), yCoordinateForIndex(j));
  setNeedsGenerateCurves(true);
}
void ScreenCalculator::setScreenWidthXGUI(double width) {
  if (const int n = screenNumberOfPointsPerSideX(); n > 0) setScreenDelta(width / n);
}
void ScreenCalculator::setScreenWidthYGUI(double width) {
  if (const int n = screenNumberOfPointsPerSideY(); n > 0) setScreenDelta(width / n);
}
void ScreenCalculator::setScreenDeltaUnitsGUI(const std::string& units) {
  const std::string present = screenDeltaUnits();
  const double from = scaleForUnits(present), to = scaleForUnits(units);
  if (present.empty() || units.empty() || !(from > 0) || !(to > 0)) return;
  setScreenDelta(screenDelta() * to / from);
  setScreenWidthUnits(units);
}
double ScreenCalculator::sliceCoordinate() const {
  const auto k = static_cast<double>(sliceIndex());
  return binDimension() ? yCoordinateForIndex(k) : xCoordinateForIndex(k);
}
void ScreenCalculator::setSliceCoordinate(double c) {
  setSliceIndex(binDimension() == 0 ? xIndexForCoordinate(c) : yIndexForCoordinate(c));
}

// --- derived values -----------------------------------------------------------------------------------

double ScreenCalculator::xCoordinateForIndex(double i) const {
  const double d = screenDelta();
  return i * d + (1 - screenNumberOfPointsPerSideX()) * d / 2;
}
double ScreenCalculator::yCoordinateForIndex(double j) const {
  const double d = screenDelta();
  return j * d + (1 - screenNumberOfPointsPerSideY()) * d / 2;
}
double ScreenCalculator::realIndexForX(double x) const {
  const double d = screenDelta();
  return (x + screenNumberOfPointsPerSideX() * d / 2) / d;
}
double ScreenCalculator::realIndexForY(double y) const {
  const double d = screenDelta();
  return (y + screenNumberOfPointsPerSideY() * d / 2) / d;
}
namespace {
// The floor as an int; non-finite or out-of-range indexes pin to the int range.
int floorToInt(double v) {
  if (std::isnan(v)) return 0;
  return static_cast<int>(std::clamp(std::floor(v), -2147483648.0, 2147483647.0));
}
}  // namespace
int ScreenCalculator::xIndexForCoordinate(double x) const { return floorToInt(realIndexForX(x)); }
int ScreenCalculator::yIndexForCoordinate(double y) const { return floorToInt(realIndexForY(y)); }

double ScreenCalculator::screenDeltaInRayUnits() const {
  const double scale = scaleForUnits(screenDeltaUnits());
  return scale > 0 ? screenDelta() / scale : 0.0;
}
bool ScreenCalculator::usingAngle() const { return isAmong(angleUnits(), screenDeltaUnits()); }
double ScreenCalculator::deltaInUserUnits() const {
  double d = screenDeltaInRayUnits() * scaleForUnits(screenDeltaUnits());
  if (divideByFocalLength()) {
    const analysis::LensPtr l = lens();
    if (!l) return 0.0;
    double f;
    {
      platform::Synchronized lensLock(l.get());
      f = std::abs(tracing::focalLength(*l));
    }
    d = f > 0 && std::isfinite(f) ? d / f : 0.0;
  }
  return d;
}
std::vector<std::string> ScreenCalculator::possibleScreenDeltaUnits() const {
  std::vector<std::string> out = lengthUnits();
  out.insert(out.end(), angleUnits().begin(), angleUnits().end());
  return out;
}
std::int64_t ScreenCalculator::sliceIndexMaxValue() const {
  const FieldMatrix f = intensityField();
  const auto rows = static_cast<std::int64_t>(f ? f->nRows() : 0), cols = static_cast<std::int64_t>(f ? f->nCols() : 0);
  if (useDiagonal()) return rows + cols;
  return binDimension() ? cols - 1 : rows - 1;
}
std::int64_t ScreenCalculator::sliceIndexMinValue() const { return useDiagonal() ? -sliceIndexMaxValue() : 0; }

// --- the monitor --------------------------------------------------------------------------------------

void ScreenCalculator::setMonitorXY(double x, double y) {
  changeValueForKey("monitorX", [&] { m_monitorX = x; });
  changeValueForKey("monitorY", [&] { m_monitorY = y; });
}

void ScreenCalculator::setPointInUnitSquare(double u, double v) {
  const double d = screenDelta();
  const int nx = screenNumberOfPointsPerSideX(), ny = screenNumberOfPointsPerSideY();
  setMonitorXY(nx * u * d - nx * d / 2, ny * v * d - ny * d / 2);
  setIsMonitoring(u > 0 && u < 1 && v > 0 && v < 1);
}

std::pair<int, int> ScreenCalculator::matrixIndexForMonitorPoint() const {
  const int nx = screenNumberOfPointsPerSideX(), ny = screenNumberOfPointsPerSideY();
  const int i = std::clamp(floorToInt(realIndexForX(monitorX())), 0, std::max(nx - 1, 0));
  const int j = std::clamp(floorToInt(realIndexForY(monitorY())), 0, std::max(ny - 1, 0));
  return {i, j};
}

double ScreenCalculator::monitorF() const {
  if (!isMonitoring()) return 0.0;
  const auto [i, j] = matrixIndexForMonitorPoint();
  const FieldMatrix f = intensityField();
  if (!f || i >= screenNumberOfPointsPerSideX() || j >= screenNumberOfPointsPerSideY()) return 0.0;
  // A field not yet rebuilt after the counts changed may be smaller.
  if (static_cast<std::size_t>(i) >= f->nRows() || static_cast<std::size_t>(j) >= f->nCols()) return 0.0;
  return f->at(static_cast<std::size_t>(i), static_cast<std::size_t>(j));
}

std::string ScreenCalculator::monitorString() const {
  if (!isMonitoring()) return {};
  return platform::format("x=%g,y=%g,f=%g", monitorX(), monitorY(), monitorF());
}

void ScreenCalculator::kick() {
  const auto [i, j] = matrixIndexForMonitorPoint();
  if (useDiagonal()) {
    const FieldMatrix f = intensityField();
    const auto rows = static_cast<std::int64_t>(f ? f->nRows() : screenNumberOfPointsPerSideX());
    const auto cols = static_cast<std::int64_t>(f ? f->nCols() : screenNumberOfPointsPerSideY());
    setSliceIndex(useSkew() ? i + j + 1 - std::min(rows, cols) : i - j);
  } else {
    setSliceIndex(binDimension() ? j : i);
  }
  setMonitorXY(xCoordinateForIndex(i), yCoordinateForIndex(j));
  setDrawsElementCursor(true);
  setDrawsSliceCursor(true);
}

std::array<double, 4> ScreenCalculator::circleRect() const {
  const double r = circleRadius();
  const double x0 = realIndexForX(-r), y0 = realIndexForY(-r);
  return {x0, y0, realIndexForX(r) - x0, realIndexForY(r) - y0};
}

// --- sums ---------------------------------------------------------------------------------------------

double ScreenCalculator::intensitySum() const {
  return useCircle() ? circleSum() : IntensityCalculator::intensitySum();
}

double ScreenCalculator::circleSum() const {
  const FieldMatrix f = intensityField();
  if (!f) return 0.0;
  const double r2 = circleRadius() * circleRadius();
  double sum = 0;
  for (std::size_t i = 0; i < f->nRows(); ++i) {
    const double x = xCoordinateForIndex(static_cast<double>(i));
    for (std::size_t j = 0; j < f->nCols(); ++j) {
      const double y = yCoordinateForIndex(static_cast<double>(j));
      if (x * x + y * y < r2) sum += f->at(i, j);
    }
  }
  return sum;
}

// --- rays and the trace -------------------------------------------------------------------------------

void ScreenCalculator::generateInitialRays() {
  Rays& start = workingInitialRays();
  start.clear();
  const std::uint64_t n = emissionNumberOfRays();
  if (n == 0) return;
  for (const SurfacePtr& s : emissionSurfacesOfInterest()) {
    const auto* emission = dynamic_cast<const tracing::RayEmission*>(s->emission().get());
    if (!emission) continue;
    Rays made = emission->randomRaysWithCount(n);
    if (start.empty())
      start = std::move(made);
    else
      start.insert(start.end(), std::make_move_iterator(made.begin()), std::make_move_iterator(made.end()));
  }
}

bool ScreenCalculator::worthThreading(std::size_t rays, std::size_t processors) {
  return rays / std::max<std::size_t>(processors, 1) >= kRaysPerThreadToThread;
}

std::vector<std::pair<std::size_t, std::size_t>> ScreenCalculator::slices(std::size_t rays, std::size_t threads) {
  std::vector<std::pair<std::size_t, std::size_t>> out;
  if (threads == 0) return out;
  const std::size_t s = rays / threads;
  for (std::size_t k = 0; k < threads; ++k) out.emplace_back(k * s, k + 1 == threads ? rays : (k + 1) * s);
  return out;
}

void ScreenCalculator::traceRays() {
  const auto start = std::chrono::steady_clock::now();
  Rays& rays = workingRays();
  rays = std::move(workingInitialRays());
  workingInitialRays().clear();
  workingParaxialRays().clear();
  std::size_t processors = threadCount();
  if (processors == 0) processors = std::thread::hardware_concurrency();
  if (processors == 0) processors = 1;
  if (multithreaded() && processors > 1 && worthThreading(rays.size(), processors))
    atomicTraceRaysWithNumberOfThreads(std::span<Ray>(rays), processors);
  else
    atomicTraceRays(std::span<Ray>(rays));
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
  const double seconds = elapsed.count();
  performOnMainThreadForRun([this, seconds] { setLastTraceDuration(seconds); });
  if (platform::currentThreadIsCancelled()) return;
  if (useLocalCoordinates()) transformRaysToSurfaceCoordinates();
  setNeedsGenerateCurves(true);
}

namespace {
tracing::TraceOptions screenTraceOptions(bool paraxially) { return {paraxially, true, false, false}; }
}  // namespace

void ScreenCalculator::atomicTraceRays(std::span<Ray> rays) {
  const analysis::LensPtr l = lens();
  if (!l || rays.empty()) return;
  const SurfacePtr target = surfaceOfInterest();
  platform::Synchronized lensLock(l.get());
  tracing::traceRays(*l, rays, target.get(), screenTraceOptions(paraxial()));
}

void ScreenCalculator::atomicTraceRaysWithNumberOfThreads(std::span<Ray> rays, std::size_t threads) {
  const analysis::LensPtr l = lens();
  if (!l || rays.empty() || threads == 0) return;
  const SurfacePtr target = surfaceOfInterest();
  const bool paraxially = paraxial();
  // Held until every tracer is joined: the lens cannot change under the copies' rays.
  platform::Synchronized lensLock(l.get());
  l->setWarningReTrace(std::nullopt);
  const auto& surfaces = l->surfaceArray();
  std::size_t targetIndex = surfaces.size() ? surfaces.size() - 1 : 0;
  for (std::size_t i = 0; i < surfaces.size(); ++i)
    if (surfaces[i] == target) targetIndex = i;

  // Each tracer works on a lens of its own: a trace writes the lens's warning and reads
  // members that are not made for concurrent use.
  struct Tracer {
    std::shared_ptr<lens::Lens> lens;
    std::span<Ray> slice;
    std::exception_ptr error;
    std::shared_ptr<platform::WorkerThread> thread;
  };
  std::vector<Tracer> tracers(threads);
  const auto ranges = slices(rays.size(), threads);
  for (std::size_t k = 0; k < threads; ++k) {
    tracers[k].lens = l->copy();
    tracers[k].slice = rays.subspan(ranges[k].first, ranges[k].second - ranges[k].first);
  }
  for (std::size_t k = 0; k < threads; ++k) {
    Tracer& t = tracers[k];
    t.thread = std::make_shared<platform::WorkerThread>(
        platform::format("tracer-%lu", static_cast<unsigned long>(k)), [&t, &surfaces, targetIndex, paraxially] {
          lens::Lens& copy = *t.lens;
          const auto& own = copy.surfaceArray();
          if (own.size() != surfaces.size()) return;
          // The rays name their emitting surface; the copy's surface stands in for it.
          auto remap = [&](const auto& from, const auto& to) {
            for (Ray& r : t.slice) {
              const platform::Object* e = r.emitter();
              if (!e) continue;
              for (std::size_t i = 0; i < from.size(); ++i)
                if (from[i].get() == e) {
                  r.setEmitter(to[i].get());
                  break;
                }
            }
          };
          remap(surfaces, own);
          try {
            tracing::traceRays(copy, t.slice, own.empty() ? nullptr : own[targetIndex].get(),
                               screenTraceOptions(paraxially));
          } catch (...) {
            t.error = std::current_exception();
          }
          remap(own, surfaces);
        });
    addSubthread(t.thread);
  }
  for (Tracer& t : tracers) t.thread->join();
  for (Tracer& t : tracers)
    if (t.error) {
      if (!l->warningReTrace()) l->setWarningReTrace(t.lens->warningReTrace());
      std::rethrow_exception(t.error);
    }
}

// --- the field ----------------------------------------------------------------------------------------

Matrix ScreenCalculator::intensityFieldForRays(std::span<const Ray> rays,
                                               const std::vector<const platform::Object*>& emitters, int X, int Y,
                                               double dx, double dy, bool angularX, bool angularY) const {
  X = std::max(X, 0), Y = std::max(Y, 0);
  std::vector<double> counts(static_cast<std::size_t>(X) * static_cast<std::size_t>(Y), 0.0);
  const double x0 = -X * dx / 2, y0 = -Y * dy / 2;
  const double sx = dx > 0 ? 1 / dx : 0, sy = dy > 0 ? 1 / dy : 0;
  const double fx = static_cast<double>(X), fy = static_cast<double>(Y);
  const bool oneEmitter = emitters.size() == 1;
  int countdown = kCancelPollRays;
  if (sx > 0 && sy > 0)
    for (const Ray& r : rays) {
      if (--countdown <= 0) {
        if (platform::currentThreadIsCancelled()) break;
        countdown = kCancelPollRays;
      }
      if (!r.isAlive() || !r.emitter()) continue;
      if (oneEmitter ? r.emitter() != emitters.front()
                     : std::find(emitters.begin(), emitters.end(), r.emitter()) == emitters.end())
        continue;
      double x, y;
      if (angularX || angularY) {
        const foundation::XY a = r.angle();
        x = angularX ? a.x : r.x();
        y = angularY ? a.y : r.y();
      } else {
        x = r.x(), y = r.y();
      }
      // Compared as doubles: NaN and out-of-range values fail here, before any cast.
      const double fi = std::floor((x - x0) * sx), fj = std::floor((y - y0) * sy);
      if (!(fi >= 0 && fi < fx && fj >= 0 && fj < fy)) continue;
      counts[static_cast<std::size_t>(fi) * static_cast<std::size_t>(Y) + static_cast<std::size_t>(fj)] += 1.0;
    }
  if (useCircle() && maskCircle()) {
    const double r2 = circleRadius() * circleRadius();
    for (int i = 0; i < X; ++i) {
      const double x = xCoordinateForIndex(i);
      for (int j = 0; j < Y; ++j) {
        const double y = yCoordinateForIndex(j);
        if (x * x + y * y >= r2) counts[static_cast<std::size_t>(i) * static_cast<std::size_t>(Y) + j] = 0;
      }
    }
  }
  Matrix field(static_cast<std::size_t>(X), static_cast<std::size_t>(Y), counts.data());
  return blurEnabled() ? blurredVersionOfIntensityField(field) : field;
}

void ScreenCalculator::generateCurves() {
  if (platform::currentThreadIsCancelled()) return;
  const analysis::LensPtr l = lens();
  if (!l) {
    setNeedsGenerateCurves(false);
    return;
  }
  const auto surfaces = emissionSurfacesOfInterest();
  if (surfaces.empty()) throw platform::Exception("Abort", "No emission surfaces of interest");
  std::vector<const platform::Object*> emitters;
  for (const SurfacePtr& s : surfaces) emitters.push_back(s.get());
  const RaysPtr rays = otherRays();
  const double delta = screenDeltaInRayUnits();
  const bool angle = usingAngle();
  std::string problem;
  if (!(delta > 0) || !std::isfinite(delta)) problem = "The screen's pitch must be a positive number";
  Matrix field = intensityFieldForRays(rays ? std::span<const Ray>(*rays) : std::span<const Ray>(), emitters,
                                       screenNumberOfPointsPerSideX(), screenNumberOfPointsPerSideY(), delta, delta,
                                       angle, angle);
  if (platform::currentThreadIsCancelled()) return;
  if (skewTest() && field.numberOfElements()) {
    foundation::ComplexMatrix padded = foundation::ComplexMatrix::paddedWithMatrix(field);
    padded.inPlaceDiagonalSkew();
    field = Matrix::matrixWithMatrix(padded.re(), field.nRows(), field.nCols());
  }
  if (problem.empty() && field.numberOfElements() && field.elementSum() == 0)
    problem = "No emitter ray reaches the screen";
  {
    platform::Synchronized lock(this);
    m_pendingField = std::make_shared<const Matrix>(std::move(field));
    m_pendingProblem = std::move(problem);
  }
  setWorkResult(Dictionary{{"intensityField", true}});
  setNeedsGenerateCurves(false);
}

void ScreenCalculator::workDidStop(const analysis::WorkResult& result) {
  IntensityCalculator::workDidStop(result);
  if (result && result->find(Value("intensityField"))) {
    FieldMatrix field;
    std::string problem;
    {
      platform::Synchronized lock(this);
      field = std::move(m_pendingField);
      problem = std::move(m_pendingProblem);
      m_pendingField.reset();
    }
    if (field) setIntensityField(std::move(field));
    // A status rather than an empty plot that says nothing; a new run starts without one.
    if (!problem.empty()) setStatus(problem);
  }
  generateImageOfIntensityField();
  generatePlotDictionaryFromIntensityField();
  // The plot is made here, on the main thread: this is the finishing stage.
  finalizeCurves();
}

std::optional<Dictionary> ScreenCalculator::plotDictionaryFromIntensityField() const {
  const FieldMatrix f = intensityField();
  const int dim = binDimension();
  if (!f || (dim != 0 && dim != 1)) return std::nullopt;
  const auto R = static_cast<std::int64_t>(f->nRows()), Kc = static_cast<std::int64_t>(f->nCols());
  const bool slice = useSlice(), diagonal = useDiagonal(), skew = useSkew(), byIndex = histogramVersusIndex();
  const std::int64_t k = sliceIndex();
  const std::int64_t n = dim == 1 ? R : Kc;
  VKSeries x(static_cast<std::size_t>(n));
  for (std::int64_t i = 0; i < n; ++i)
    x.atPut(static_cast<std::size_t>(i), byIndex ? static_cast<double>(i + 1)
                                         : dim == 1 ? xCoordinateForIndex(static_cast<double>(i))
                                                    : yCoordinateForIndex(static_cast<double>(i)));
  VKSeries y(0);
  if (!slice)
    y = dim == 1 ? f->sumAlongSecondDimensionAsSeries() : f->sumAlongFirstDimensionAsSeries();
  else if (diagonal)
    y = dim == 1 ? (skew ? f->rowSoftSkewDiagonal(k) : f->rowSoftDiagonal(k))
                 : (skew ? f->columnSoftSkewDiagonal(k) : f->columnSoftDiagonal(k));
  else if (dim == 1)
    y = Kc > 0 ? f->seriesFromColumn(static_cast<std::size_t>(std::clamp<std::int64_t>(k, 0, Kc - 1))) : VKSeries(0);
  else
    y = R > 0 ? f->seriesFromRow(static_cast<std::size_t>(std::clamp<std::int64_t>(k, 0, R - 1))) : VKSeries(0);
  if (y.count() != x.count()) {
    // The soft diagonals follow their own length; the abscissa follows them.
    VKSeries xi(y.count());
    for (std::size_t i = 0; i < y.count(); ++i) xi.atPut(i, i < x.count() ? x.at(i) : static_cast<double>(i + 1));
    x = std::move(xi);
  }
  Dictionary curve{{plot::kName, "testname"},
                   {plot::kXSeries, SeriesValue::make(std::move(x))},
                   {plot::kYSeries, SeriesValue::make(std::move(y))},
                   {plot::kColor, Value(platform::Color::make(0, 0, 1))},
                   {plot::kXLabel, "x"},
                   {plot::kYLabel, "y"}};
  if (!resampleCurves()) curve.set(Value(plot::kDrawAsLines), true);

  const std::string units = screenDeltaUnits();
  std::string title;
  if (!slice)
    title = dim == 1 ? "summed in y direction" : "sum in x direction";
  else if (diagonal)
    title = platform::format(skew ? "skew diagonal %ld" : "diagonal %ld", static_cast<long>(k));
  else if (dim == 1)
    title = platform::format("row %ld (y = %g %s)", static_cast<long>(k), yCoordinateForIndex(static_cast<double>(k)),
                             units.c_str());
  else
    title = platform::format("col %ld (x = %g %s)", static_cast<long>(k), xCoordinateForIndex(static_cast<double>(k)),
                             units.c_str());
  const std::string xLabel = byIndex ? (dim == 1 ? "element x index" : "element y index")
                                     : platform::format(dim == 1 ? "x (%s)" : "y (%s)", units.c_str());
  Dictionary d{{plot::kCurves, Value(platform::Array{Value(std::move(curve))})},
               {plot::kTitle, title},
               {plot::kXLabel, xLabel},
               {plot::kYLabel, slice ? "slice # of rays" : "summed # of rays"},
               {plot::kYMin, 0.0},
               {plot::kScaleOnlyExpands, scaleOnlyExpands()},
               {plot::kDrawZeroLines, false}};
  return d;
}

std::optional<Dictionary> ScreenCalculator::centreSectionsPlotDictionary() const {
  const FieldMatrix f = intensityField();
  if (!f || f->numberOfElements() == 0) return std::nullopt;
  const std::size_t R = f->nRows(), K = f->nCols();
  // The middle line, or the two middle lines averaged for an even count.
  auto middle = [](std::size_t n) { return std::pair<std::size_t, std::size_t>{(n - 1) / 2, n / 2}; };
  const auto [c0, c1] = middle(K);
  const auto [r0, r1] = middle(R);
  VKSeries xs(R), xv(R), ys(K), yv(K);
  for (std::size_t i = 0; i < R; ++i) {
    xs.atPut(i, xCoordinateForIndex(static_cast<double>(i)));
    xv.atPut(i, (f->at(i, c0) + f->at(i, c1)) / 2);
  }
  for (std::size_t j = 0; j < K; ++j) {
    ys.atPut(j, yCoordinateForIndex(static_cast<double>(j)));
    yv.atPut(j, (f->at(r0, j) + f->at(r1, j)) / 2);
  }
  const std::string units = screenDeltaUnits();
  auto curve = [&](const char* name, VKSeries x, VKSeries y, const char* axis, bool dashed) {
    Dictionary c{{plot::kName, name},
                 {plot::kXSeries, SeriesValue::make(std::move(x))},
                 {plot::kYSeries, SeriesValue::make(std::move(y))},
                 {plot::kColor, Value(dashed ? platform::Color::make(1, 0, 0) : platform::Color::make(0, 0, 1))},
                 {plot::kLineWidth, 2.0},
                 {plot::kXLabel, axis},
                 {plot::kYLabel, "rays"}};
    if (dashed) c.set(Value(plot::kDashed), true);
    if (!resampleCurves()) c.set(Value(plot::kDrawAsLines), true);
    return Value(std::move(c));
  };
  return Dictionary{{plot::kCurves, Value(platform::Array{curve("x section", std::move(xs), std::move(xv), "x", false),
                                                          curve("y section", std::move(ys), std::move(yv), "y", true)})},
                    {plot::kTitle, "sections through the centre"},
                    {plot::kXLabel, platform::format("position (%s)", units.c_str())},
                    {plot::kYLabel, "# of rays"},
                    {plot::kYMin, 0.0},
                    {plot::kShowLegend, true},
                    {plot::kScaleOnlyExpands, scaleOnlyExpands()},
                    {plot::kDrawZeroLines, false}};
}

void ScreenCalculator::generatePlotDictionaryFromIntensityField() {
  auto d = plotsCentreSections() ? centreSectionsPlotDictionary() : plotDictionaryFromIntensityField();
  if (!d) return;
  if (platform::isMainThread())
    setPlotDictionary(std::move(*d));
  else
    performOnMainThreadForRun([this, d = std::move(*d)]() mutable { setPlotDictionary(std::move(d)); });
}

bool ScreenCalculator::exportToCSV(std::FILE* file) const {
  if (!file) return false;
  platform::Synchronized lock(this);
  const FieldMatrix f = intensityField();
  if (!f) return false;
  for (std::size_t r = 0; r < f->nRows(); ++r) {
    for (std::size_t c = 0; c < f->nCols(); ++c) {
      const double v = f->at(r, c);
      std::fprintf(file, c ? ",%g" : "%g", v < 0.001 ? 0.0 : v);
    }
    std::fputc('\n', file);
  }
  return true;
}

void ScreenCalculator::addRestorationDataToDictionary(Dictionary& d) const {
  IntensityCalculator::addRestorationDataToDictionary(d);
  for (const char* key : {"screenNumberOfPointsPerSideX", "screenNumberOfPointsPerSideY", "screenDelta",
                          "screenDeltaUnits", "binDimension", "useSlice", "useDiagonal", "useSkew", "sliceIndex",
                          "drawsSliceCursor", "useCircle", "circleRadius", "maskCircle", "multithreaded"})
    d.set(Value(key), valueForKey(key));
}

}  // namespace orb::wavefront
