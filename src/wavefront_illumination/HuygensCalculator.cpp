#include "wavefront_illumination/HuygensCalculator.h"

#include <algorithm>
#include <cmath>
#include <system_error>
#include <thread>

#include "analysis/ParallelTrace.h"
#include "analysis/PlotDictionary.h"
#include "foundation/linear/FFT.h"
#include "foundation/polynomial/Resampler.h"
#include "lens/Field.h"
#include "lens/Lens.h"
#include "lens/Surface.h"
#include "lens/Wave.h"
#include "platform/Exception.h"
#include "platform/KeyTable.h"
#include "platform/Log.h"
#include "platform/Thread.h"
#include "tracing/LensSummary.h"
#include "tracing/TraceDriver.h"

// The summation kernel is built for the widest vector unit the processor has.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define ORB_HUYGENS_KERNEL __attribute__((target_clones("default", "avx2", "avx512f")))
#else
#define ORB_HUYGENS_KERNEL
#endif

namespace orb::wavefront {

using analysis::SeriesValue;
using foundation::ComplexMatrix;
using foundation::Matrix;
using foundation::VKSeries;
using foundation::XY;
using foundation::XYZ;
using platform::Array;
using platform::Dictionary;
using platform::Value;
using tracing::RayWithFrame;
namespace plot = analysis::plot;

namespace {

constexpr double kTwoPi = 6.283185307179586;

double dot(const XYZ& a, const XYZ& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
XYZ cross(const XYZ& a, const XYZ& b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
double norm(const XYZ& a) { return std::sqrt(dot(a, a)); }
XYZ scaled(const XYZ& a, double s) { return {a.x * s, a.y * s, a.z * s}; }

// An exit pupil farther than this many wavelengths is taken to be at infinity: a
// distance's rounding error (its size × 2⁻⁵²) then costs about 10⁻⁶ of a radian of phase.
constexpr double kFarthestPupilInWaves = 1e9;

// Rays in lanes of this width, so the per-lane partial sums vectorise without reordering
// any addition.
constexpr std::size_t kLanes = 8;

// sin and cos of x for |x| up to about 2⁵⁰: x is reduced to [−π, π] (2π in two parts),
// halved, and the half angle's Taylor series (to x¹⁹ and x²⁰, below 1e-15 at π/2) doubled
// back. Branch-free, so it vectorises; within 2e-15 of the library's values.
inline void sinCos(double x, double& s, double& c) {
  constexpr double kInvTwoPi = 0.15915494309189535;
  constexpr double kTwoPiHi = 6.28318530717958623200;   // 2π rounded to double
  constexpr double kTwoPiLo = 2.4492935982947064e-16;   // 2π − kTwoPiHi
  constexpr double kRound = 6755399441055744.0;         // 1.5·2⁵²: adding it rounds to an integer
  const double n = (x * kInvTwoPi + kRound) - kRound;
  const double h = 0.5 * ((x - n * kTwoPiHi) - n * kTwoPiLo);
  const double h2 = h * h;
  const double sh =
      h * (1 + h2 * (-1.0 / 6 + h2 * (1.0 / 120 + h2 * (-1.0 / 5040 + h2 * (1.0 / 362880 + h2 * (-1.0 / 39916800 +
          h2 * (1.0 / 6227020800 + h2 * (-1.0 / 1307674368000 + h2 * (1.0 / 355687428096000 +
          h2 * (-1.0 / 121645100408832000.0))))))))));
  const double ch =
      1 + h2 * (-0.5 + h2 * (1.0 / 24 + h2 * (-1.0 / 720 + h2 * (1.0 / 40320 + h2 * (-1.0 / 3628800 +
          h2 * (1.0 / 479001600 + h2 * (-1.0 / 87178291200 + h2 * (1.0 / 20922789888000 +
          h2 * (-1.0 / 6402373705728000.0 + h2 * (1.0 / 2432902008176640000.0))))))))));
  s = 2 * sh * ch;
  c = (ch - sh) * (ch + sh);
}

// Σ A·e^{ik·s} over the lanes of rays at the test point t. Paths are relative to a
// common reference, so the phases stay small and exactly reducible.
ORB_HUYGENS_KERNEL
void huygensSum(const double* qx, const double* qy, const double* qz, const double* mx, const double* my,
                const double* mz, const double* path, const double* weight, std::size_t n, double tx, double ty,
                double tz, double nRef, double k, double k0, double k1, double* outRe, double* outIm) {
  double accRe[kLanes] = {}, accIm[kLanes] = {};
  const double invNRef = 1 / nRef;
  for (std::size_t i = 0; i < n; i += kLanes) {
    for (std::size_t l = 0; l < kLanes; ++l) {
      const std::size_t j = i + l;
      const double dx = tx - qx[j], dy = ty - qy[j], dz = tz - qz[j];
      const double r = std::sqrt(dx * dx + dy * dy + dz * dz);
      const double invR = 1 / r;
      const double cosTheta = (mx[j] * dx + my[j] * dy + mz[j] * dz) * invR * invNRef;
      const double obliquity = k0 + k1 * std::fabs(cosTheta);
      const double nr = nRef * r;
      const double s = path[j] + (cosTheta >= 0 ? nr : -nr);
      const double a = obliquity * invR * weight[j];
      double sn, cs;
      sinCos(k * s, sn, cs);
      accRe[l] += a * cs;
      accIm[l] += a * sn;
    }
  }
  double re = 0, im = 0;
  for (std::size_t l = 0; l < kLanes; ++l) re += accRe[l], im += accIm[l];
  *outRe = re;
  *outIm = im;
}

}  // namespace

// The live rays of one sum as columns, padded to whole lanes with rays of weight 0.
struct HuygensCalculator::SumInput {
  std::vector<double> qx, qy, qz, mx, my, mz, path, weight;
  std::size_t count = 0;  // padded
  double nRef = 1, k = 0, k0 = 0.5, k1 = 0.5;
  XY globalPhase{1, 0};   // e^{ik·s₀}, the reference path taken out of the columns
  const std::vector<XYZ>* points = nullptr;
  XY* field = nullptr;
  std::size_t fieldCount = 0;
};

HuygensCalculator::HuygensCalculator() {
  setScreenWidthUnits("micron");
  setScreenNumberOfPointsPerSide(32);
  setScreenDelta(2.0);
  setScreenWidth(64.0);
  setResampleImageWidth(128);
  setFanType("hexapolar");
  setNumberOfRays(256);
  setPlotSpatialFrequencyPhysicalRange(true);
}

const platform::KeyTable& HuygensCalculator::classKeys() {
  using K = platform::Keys<HuygensCalculator>;
  using H = HuygensCalculator;
  static const platform::KeyTable table(
      &PSFCalculator::classKeys(),
      {
          K::property("screenNumberOfPointsPerSide", &H::screenNumberOfPointsPerSide,
                      &H::setScreenNumberOfPointsPerSide),
          K::property("screenDelta", &H::screenDelta, &H::setScreenDelta).dependsOn({"screenNumberOfPointsPerSide"}),
          K::property("screenWidth", &H::screenWidth, &H::setScreenWidth),
          K::property("screenWidthUnits", &H::screenWidthUnits, &H::setScreenWidthUnits),
          K::property("screenNumberOfPointsPerSideGUI", &H::screenNumberOfPointsPerSideGUI,
                      &H::setScreenNumberOfPointsPerSideGUI)
              .dependsOn({"screenNumberOfPointsPerSide"}),
          K::property("screenDeltaGUI", &H::screenDeltaGUI, &H::setScreenDeltaGUI).dependsOn({"screenDelta"}),
          K::property("screenWidthGUI", &H::screenWidthGUI, &H::setScreenWidthGUI).dependsOn({"screenWidth"}),
          K::property("screenWidthUnitsGUI", &H::screenWidthUnitsGUI, &H::setScreenWidthUnitsGUI)
              .dependsOn({"screenWidthUnits"}),
          K::property("suppressAmplitudeAttenuation", &H::suppressAmplitudeAttenuation,
                      &H::setSuppressAmplitudeAttenuation),
          K::property("suppressObliquityFactor", &H::suppressObliquityFactor, &H::setSuppressObliquityFactor),
          K::property("useReferenceSphere", &H::useReferenceSphere, &H::setUseReferenceSphere),
          K::property("usePerfectOPD", &H::usePerfectOPD, &H::setUsePerfectOPD),
          K::property("correctForAngleOfIncidence", &H::correctForAngleOfIncidence, &H::setCorrectForAngleOfIncidence),
          K::property("dataMaximumSpatialFrequency", &H::dataMaximumSpatialFrequency,
                      &H::setDataMaximumSpatialFrequency),
          K::property("plotSpatialFrequencyDataRange", &H::plotSpatialFrequencyDataRange,
                      &H::setPlotSpatialFrequencyDataRange),
      });
  return table;
}

void HuygensCalculator::willDeallocate() {
  m_haltSwarm = true;
  {
    platform::Synchronized lock(this);
    m_amplitudeField.reset();
    m_raysAtExitPupil.reset();
    m_tracedFramed.reset();
  }
  PSFCalculator::willDeallocate();
}

// --- settings -------------------------------------------------------------------------------------------

void HuygensCalculator::markSumChanged(const char*) {
  m_sumVersion.fetch_add(1);
  setNeedsGenerateCurves(true);
}

void HuygensCalculator::setScreenNumberOfPointsPerSide(int n) {
  setAndAnnounce("screenNumberOfPointsPerSide", m_screenNumberOfPointsPerSide, std::max(n, 1));
  markSumChanged("screenNumberOfPointsPerSide");
}
void HuygensCalculator::setScreenDelta(double delta) {
  setAndAnnounce("screenDelta", m_screenDelta, delta);
  markSumChanged("screenDelta");
}
void HuygensCalculator::setScreenWidth(double width) {
  setAndAnnounce("screenWidth", m_screenWidth, width);
  markSumChanged("screenWidth");
}
std::string HuygensCalculator::screenWidthUnits() const {
  std::lock_guard lock(m_unitsMutex);
  return m_screenWidthUnits;
}
void HuygensCalculator::setScreenWidthUnits(const std::string& units) {
  const auto& known = lengthUnits();
  if (std::find(known.begin(), known.end(), units) == known.end()) return;
  changeValueForKey("screenWidthUnits", [&] {
    std::lock_guard lock(m_unitsMutex);
    m_screenWidthUnits = units;
  });
  // The spacing is in these units: the same number in another unit is another screen.
  markSumChanged("screenWidthUnits");
}

void HuygensCalculator::setScreenNumberOfPointsPerSideGUI(int n) {
  setScreenNumberOfPointsPerSide(n);
  setScreenDelta(screenWidth() / screenNumberOfPointsPerSide());
}
void HuygensCalculator::setScreenDeltaGUI(double delta) {
  setScreenDelta(delta);
  setScreenWidth(screenNumberOfPointsPerSide() * screenDelta());
}
void HuygensCalculator::setScreenWidthGUI(double width) {
  setScreenWidth(width);
  setScreenDelta(screenWidth() / screenNumberOfPointsPerSide());
}
void HuygensCalculator::setScreenWidthUnitsGUI(const std::string& units) {
  const double before = scaleForUnits(screenWidthUnits()), after = scaleForUnits(units);
  if (before > 0 && after > 0) {
    // The screen stays physically the same.
    setScreenDelta(screenDelta() * after / before);
    setScreenWidth(after * screenWidth() / before);
  }
  setScreenWidthUnits(units);
}

void HuygensCalculator::setSuppressAmplitudeAttenuation(bool on) {
  setAndAnnounce("suppressAmplitudeAttenuation", m_suppressAmplitudeAttenuation, on);
  markSumChanged("suppressAmplitudeAttenuation");
}
void HuygensCalculator::setSuppressObliquityFactor(bool on) {
  setAndAnnounce("suppressObliquityFactor", m_suppressObliquityFactor, on);
  markSumChanged("suppressObliquityFactor");
}
void HuygensCalculator::setUseReferenceSphere(bool on) {
  setAndAnnounce("useReferenceSphere", m_useReferenceSphere, on);
  markSumChanged("useReferenceSphere");
}
void HuygensCalculator::setUsePerfectOPD(bool on) {
  setAndAnnounce("usePerfectOPD", m_usePerfectOPD, on);
  markSumChanged("usePerfectOPD");
}
void HuygensCalculator::setCorrectForAngleOfIncidence(bool on) {
  setForCurves("correctForAngleOfIncidence", m_correctForAngleOfIncidence, on);
}
void HuygensCalculator::setDataMaximumSpatialFrequency(double f) {
  setAndAnnounce("dataMaximumSpatialFrequency", m_dataMaximumSpatialFrequency, f);
}
void HuygensCalculator::setPlotSpatialFrequencyDataRange(bool on) {
  setAndAnnounce("plotSpatialFrequencyDataRange", m_plotSpatialFrequencyDataRange, on);
  setNeedsFinalizeCurves(true);
}

double HuygensCalculator::updateMaximumSpatialFrequency() {
  const bool physical = plotSpatialFrequencyPhysicalRange(), data = plotSpatialFrequencyDataRange();
  if (!physical && !data) return maximumSpatialFrequency();
  double maximum = 0;
  if (physical) {
    applyPhysicalRangeForCurves();  // stores the cut-off as the maximum, the flag kept on
    const double cutoff = diffractionLimitSpatialFrequencyInUserUnits();
    if (std::isfinite(cutoff)) maximum = cutoff;
  }
  // The data's range widens the axis only: storing it would turn the physical range off.
  if (data) maximum = std::max(maximum, dataMaximumSpatialFrequency());
  return maximum > 0 ? maximum : maximumSpatialFrequency();
}

double HuygensCalculator::screenDeltaMM() const {
  const double s = scaleForUnits(screenWidthUnits());
  return s > 0 ? screenDelta() / s : 0.0;
}

double HuygensCalculator::deltaInUserUnits() const {
  double d = screenDeltaMM() * scaleForUnits(units());
  if (divideByFocalLength())
    if (const analysis::LensPtr l = lens()) d /= std::abs(tracing::focalLength(*l));
  return d;
}

void HuygensCalculator::firstTimeWithLens(const analysis::LensPtr& l) {
  PSFCalculator::firstTimeWithLens(l);
  if (!l) return;
  const double d = diffractionScaleForLens(*l);
  double w = std::isfinite(d) ? std::floor(d * 5000 + 0.5) * 0.001 : 0.0;
  if (!(w > 0)) w = 0.001;
  // Through the panel's form, so the spacing follows: a width alone would be shown while
  // the screen summed kept its old spacing (N × 2 µm, undersampling a fast lens's PSF).
  setScreenWidthGUI(scaleForUnits(screenWidthUnits()) * w);
}

// --- geometry -----------------------------------------------------------------------------------------------

std::vector<XYZ> HuygensCalculator::pointsWithGridSize(int width, int height, const XYZ& center, const XYZ& normal,
                                                       double delta) {
  std::vector<XYZ> points;
  if (width <= 0 || height <= 0) return points;
  XYZ u{normal.z, 0, -normal.x};
  const double lu = norm(u);
  // A normal along ±y leaves ŷ × n undefined: x is as good a first axis as any.
  u = lu > 1e-12 ? scaled(u, 1 / lu) : XYZ{1, 0, 0};
  XYZ v = cross(normal, u);
  const double lv = norm(v);
  v = lv > 1e-12 ? scaled(v, 1 / lv) : XYZ{0, 1, 0};
  points.reserve(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
  for (int i = 0; i < width; ++i) {
    const double a = foundation::fftSignedFrequency(width, i) * delta;
    for (int j = 0; j < height; ++j) {
      const double b = foundation::fftSignedFrequency(height, j) * delta;
      points.push_back({center.x + a * u.x + b * v.x, center.y + a * u.y + b * v.y, center.z + a * u.z + b * v.z});
    }
  }
  return points;
}

void HuygensCalculator::propagateRaysToExitPupil(FramedRays& rays, const XYZ& E, const XYZ& n) {
  double m2 = -1;
  for (RayWithFrame& r : rays) {
    if (!r.isAlive()) continue;
    const XYZ& P = r.position();
    const XYZ& M = r.momentum();
    if (m2 < 0) m2 = dot(M, M);
    const double t = dot({E.x - P.x, E.y - P.y, E.z - P.z}, n) / dot(M, n);
    if (!std::isfinite(t)) continue;  // a ray along the pupil plane never reaches it
    r.incrementOpticalPathLength(t * m2);
    r.setPosition({P.x + t * M.x, P.y + t * M.y, P.z + t * M.z});
    r.setSurfaceNormal(n);
    r.updateTransferMatrixForReducedPathLength(t);
  }
}

void HuygensCalculator::updateAmplitudeFactorForRays(FramedRays& rays, bool objectAtInfinity) {
  for (RayWithFrame& r : rays) {
    const auto& M = r.transfer();  // rows and columns (px, py, qx, qy)
    auto at = [&](int row, int col) { return M[static_cast<std::size_t>(4 * row + col)]; };
    const double det = objectAtInfinity ? at(2, 2) * at(3, 3) - at(2, 3) * at(3, 2)
                                        : at(2, 0) * at(3, 1) - at(2, 1) * at(3, 0);
    r.setAmplitudeFactor(std::sqrt(std::abs(det)));
  }
}

void HuygensCalculator::propagateRaysToReferenceSphere(FramedRays& rays, const XYZ& C, const XYZ& E) {
  const XYZ axis{E.x - C.x, E.y - C.y, E.z - C.z};
  const double R2 = dot(axis, axis);
  double m2 = -1;
  for (RayWithFrame& r : rays) {
    if (!r.isAlive()) continue;
    const XYZ& P = r.position();
    const XYZ& M = r.momentum();
    if (m2 < 0) m2 = dot(M, M);
    // |D + tM|² = R²: a t² + 2b t + c = 0, its roots in the form that keeps the digits of
    // the small one (a ray starting on the sphere moves by nothing).
    const XYZ D{P.x - C.x, P.y - C.y, P.z - C.z};
    const double a = dot(M, M), b = dot(M, D), c = dot(D, D) - R2;
    const double disc = b * b - a * c;
    if (!(disc >= 0) || !(a > 0) || !std::isfinite(disc)) {
      r.kill("misses the reference sphere");
      continue;
    }
    const double q = -(b + std::copysign(std::sqrt(disc), b));
    double t = q != 0 ? q / a : 0;
    if (q != 0 && std::abs(c / q) < std::abs(t)) t = c / q;
    r.incrementOpticalPathLength(t * m2);
    const XYZ Q{P.x + t * M.x, P.y + t * M.y, P.z + t * M.z};
    r.setPosition(Q);
    const XYZ inward{C.x - Q.x, C.y - Q.y, C.z - Q.z};
    if (const double l = norm(inward); l > 0) r.setSurfaceNormal(scaled(inward, 1 / l));
    r.updateTransferMatrixForReducedPathLength(t);
  }
}

void HuygensCalculator::applyPerfectWavefront(FramedRays& rays, const XYZ& C) {
  double nRef = -1, constant = 0;
  for (RayWithFrame& r : rays) {
    if (!r.isAlive()) continue;
    const XYZ& P = r.position();
    const XYZ d{C.x - P.x, C.y - P.y, C.z - P.z};
    // Signed as the sum signs it: the path to C grows before C and shrinks past it.
    const double toC = dot(r.momentum(), d) >= 0 ? norm(d) : -norm(d);
    if (nRef < 0) {
      nRef = norm(r.momentum());
      constant = r.opticalPathLength() + nRef * toC;
    }
    r.setOpticalPathLength(constant - nRef * toC);
  }
}

HuygensCalculator::RayRefs HuygensCalculator::raysOf(const FramedRays& rays, const lens::Field* field,
                                                     const lens::Wave* wave) {
  RayRefs out;
  for (const RayWithFrame& r : rays)
    if ((!field || r.tags().field.get() == field) && (!wave || r.wave().get() == wave)) out.push_back(&r);
  return out;
}

HuygensCalculator::RayRefs HuygensCalculator::raysOf(const RayRefs& rays, const lens::Field* field,
                                                     const lens::Wave* wave) {
  RayRefs out;
  for (const RayWithFrame* r : rays)
    if ((!field || r->tags().field.get() == field) && (!wave || r->wave().get() == wave)) out.push_back(r);
  return out;
}

// --- the sum ---------------------------------------------------------------------------------------------------

// --- the sum ---------------------------------------------------------------------------------------------------

std::complex<double> HuygensCalculator::amplitudeForRays(const FramedRays& rays, double wavelengthMM,
                                                         const XYZ& T) const {
  const double k = kTwoPi / wavelengthMM;
  const bool obliquity = !suppressObliquityFactor(), attenuation = !suppressAmplitudeAttenuation();
  double nRef = -1;
  std::complex<double> sum = 0;
  for (const RayWithFrame& ray : rays) {
    if (!ray.isAlive()) continue;
    const XYZ& P = ray.position();
    const XYZ& M = ray.momentum();
    if (nRef < 0) nRef = norm(M);
    const XYZ d{T.x - P.x, T.y - P.y, T.z - P.z};
    const double r = norm(d);
    const double cosTheta = dot(M, d) / (nRef * r);
    const double K = obliquity ? (1 + std::abs(cosTheta)) / 2 : 1.0;
    const double s = ray.opticalPathLength() + (cosTheta >= 0 ? nRef * r : -nRef * r);
    const double A = K / r * (attenuation ? ray.amplitudeFactor() : 1.0);
    sum += A * std::complex<double>(std::cos(k * s), std::sin(k * s));
  }
  return sum;
}

void HuygensCalculator::sumPoints(const SumInput& in, std::size_t first, std::size_t step,
                                  const std::atomic<bool>* workerCancelled) {
  for (std::size_t k = first; k < in.fieldCount; k += step) {
    if (m_haltSwarm.load(std::memory_order_relaxed) || platform::currentThreadIsCancelled() ||
        (workerCancelled && workerCancelled->load(std::memory_order_relaxed)))
      return;
    const XYZ& t = (*in.points)[k];
    double re = 0, im = 0;
    huygensSum(in.qx.data(), in.qy.data(), in.qz.data(), in.mx.data(), in.my.data(), in.mz.data(), in.path.data(),
               in.weight.data(), in.count, t.x, t.y, t.z, in.nRef, in.k, in.k0, in.k1, &re, &im);
    in.field[k] = {re * in.globalPhase.x - im * in.globalPhase.y, re * in.globalPhase.y + im * in.globalPhase.x};
    setWorkDone(static_cast<double>(m_pointsDone.fetch_add(1, std::memory_order_relaxed) + 1));
  }
}

std::shared_ptr<platform::WorkerThread> HuygensCalculator::startSummationThread(std::string name,
                                                                                std::function<void()> body) {
  return std::make_shared<platform::WorkerThread>(std::move(name), std::move(body));
}

std::optional<ComplexMatrix> HuygensCalculator::amplitudeFieldForRays(const FramedRays& rays,
                                                                      const std::vector<XYZ>& points, int n) {
  return amplitudeFieldForRefs(raysOf(rays, nullptr, nullptr), points, n);
}

std::optional<ComplexMatrix> HuygensCalculator::amplitudeFieldForRefs(const RayRefs& rays,
                                                                      const std::vector<XYZ>& points, int n) {
  const std::size_t count = static_cast<std::size_t>(n) * static_cast<std::size_t>(n);
  if (n <= 0 || points.size() != count) return std::nullopt;
  // The wavelength of the rays' one wave, and the live rays as padded columns.
  const RayWithFrame* first = nullptr;
  const lens::Wave* wave = nullptr;
  std::size_t live = 0;
  for (const RayWithFrame* r : rays) {
    if (!r->isAlive()) continue;
    if (!first) first = r;
    if (r->wave()) wave = r->wave().get();
    ++live;
  }
  if (!first || !wave) return std::nullopt;
  const double lambda = wave->wavelengthInMillimeters();
  if (!(lambda > 0) || !std::isfinite(lambda)) return std::nullopt;

  SumInput in;
  in.count = (live + kLanes - 1) / kLanes * kLanes;
  for (auto* column : {&in.qx, &in.qy, &in.qz, &in.mx, &in.my, &in.mz, &in.path, &in.weight})
    column->assign(in.count, 0.0);
  in.nRef = norm(first->momentum());
  in.k = kTwoPi / lambda;
  if (suppressObliquityFactor()) in.k0 = 1, in.k1 = 0;
  // The reference path: the first ray's to the screen's centre. Taken out of every path
  // and put back as one phase factor, it keeps the kernel's phases to a few hundred
  // radians, where its reduction is exact.
  const XYZ& c = points.front();
  const XYZ& p0 = first->position();
  const double s0 = first->opticalPathLength() + in.nRef * norm({c.x - p0.x, c.y - p0.y, c.z - p0.z});
  in.globalPhase = {std::cos(in.k * s0), std::sin(in.k * s0)};
  const bool attenuation = !suppressAmplitudeAttenuation();
  std::size_t j = 0;
  for (const RayWithFrame* r : rays) {
    if (!r->isAlive()) continue;
    in.qx[j] = r->position().x, in.qy[j] = r->position().y, in.qz[j] = r->position().z;
    in.mx[j] = r->momentum().x, in.my[j] = r->momentum().y, in.mz[j] = r->momentum().z;
    in.path[j] = r->opticalPathLength() - s0;
    // A tube whose transfer matrix went non-finite weighs nothing rather than spoil the sum.
    const double w = attenuation ? r->amplitudeFactor() : 1.0;
    in.weight[j] = std::isfinite(w) ? w : 0.0;
    ++j;
  }
  for (; j < in.count; ++j) {  // padding: the first ray again, weighing nothing
    in.qx[j] = p0.x, in.qy[j] = p0.y, in.qz[j] = p0.z;
    in.mx[j] = first->momentum().x, in.my[j] = first->momentum().y, in.mz[j] = first->momentum().z;
  }

  ComplexMatrix F(static_cast<std::size_t>(n), static_cast<std::size_t>(n));
  in.points = &points;
  in.field = F.rowMajorStorage();
  in.fieldCount = count;
  m_haltSwarm = false;
  const std::atomic<bool>* workerCancelled = platform::currentThreadCancelledFlag();

  unsigned threads = 1;
  if (static_cast<double>(live) * static_cast<double>(count) >= kSwarmThreshold) {
    const unsigned chosen = swarmThreadCount();
    threads = chosen ? chosen : std::max(2u, std::thread::hardware_concurrency());
  }
  if (threads <= 1) {
    sumPoints(in, 0, 1, workerCancelled);
  } else {
    // The worker sums the first share itself, a thread each the others. Every thread is
    // joined, so none outlives the columns it reads; a share whose thread cannot be
    // started is summed here instead of being waited for.
    std::vector<std::shared_ptr<platform::WorkerThread>> swarm;
    std::vector<std::size_t> unstarted{0};
    for (unsigned i = 1; i < threads; ++i) {
      try {
        auto t = startSummationThread("huygens-" + std::to_string(i),
                                      [this, &in, i, threads, workerCancelled] {
                                        sumPoints(in, i, threads, workerCancelled);
                                      });
        if (!t) {
          unstarted.push_back(i);
          continue;
        }
        addSubthread(t);
        swarm.push_back(std::move(t));
      } catch (const std::exception& e) {
        platform::log("Huygens summation thread %u not started: %s", i, e.what());
        unstarted.push_back(i);
      }
    }
    for (std::size_t i : unstarted) sumPoints(in, i, threads, workerCancelled);
    for (auto& t : swarm) t->join();
  }
  if (m_haltSwarm.load() || platform::currentThreadIsCancelled()) return std::nullopt;
  return F;
}

std::optional<HuygensCalculator::OpticalField> HuygensCalculator::opticalFieldForRays(const RayRefs& rays,
                                                                                      const std::vector<XYZ>& points,
                                                                                      int n) {
  auto F = amplitudeFieldForRefs(rays, points, n);
  if (!F) return std::nullopt;
  OpticalField out;
  out.intensityField = std::make_shared<const Matrix>(F->squaredMagnitude());
  out.amplitudeField = std::make_shared<const ComplexMatrix>(std::move(*F));
  return out;
}

HuygensCalculator::RayRefs HuygensCalculator::raysForSum(const RayRefs& rays, const XYZ& screenCenter,
                                                         FramedRays& storage) const {
  const bool sphere = useReferenceSphere(), perfect = usePerfectOPD();
  if (!sphere && !perfect) return rays;
  storage.clear();
  storage.reserve(rays.size());
  for (const RayWithFrame* r : rays) storage.push_back(*r);
  if (sphere) {
    XYZ E;
    bool objectAtInfinity;
    {
      platform::Synchronized lock(this);
      E = m_pupilCenter;
      objectAtInfinity = m_objectAtInfinity;
    }
    propagateRaysToReferenceSphere(storage, screenCenter, E);
    updateAmplitudeFactorForRays(storage, objectAtInfinity);
  }
  if (perfect) applyPerfectWavefront(storage, screenCenter);
  RayRefs out;
  out.reserve(storage.size());
  for (const RayWithFrame& r : storage) out.push_back(&r);
  return out;
}

double HuygensCalculator::powerOfRays(const RayRefs& rays) const {
  const bool attenuation = !suppressAmplitudeAttenuation();
  double sum = 0, lambda = 0;
  for (const RayWithFrame* r : rays) {
    if (!r->isAlive()) continue;
    if (r->wave()) lambda = r->wave()->wavelengthInMillimeters();
    // A tube of no area (or a non-finite one) carries nothing through the pupil; with the
    // attenuation on the sum gives it no weight either.
    const double a = r->amplitudeFactor();
    if (!(a > 0) || !std::isfinite(a)) continue;
    const double w = attenuation ? 1.0 : 1 / a;
    sum += w * w;
  }
  return lambda * lambda * sum;
}

bool HuygensCalculator::screenFor(const RayRefs& traced, std::vector<XYZ>& points) {
  // The screen sits about the centroid of the positions (the momentum centroid of an
  // afocal system is a direction, not a place on the screen).
  XYZ Q{0, 0, 0};
  std::size_t live = 0;
  for (const RayWithFrame* r : traced) {
    if (!r->isAlive()) continue;
    Q.x += r->position().x, Q.y += r->position().y, Q.z += r->position().z;
    ++live;
  }
  if (!live) return false;
  Q = scaled(Q, 1 / static_cast<double>(live));
  const RayWithFrame* closest = nullptr;
  double best = 0;
  for (const RayWithFrame* r : traced) {
    if (!r->isAlive()) continue;
    const XYZ& q = r->position();
    const double d = dot({q.x - Q.x, q.y - Q.y, q.z - Q.z}, {q.x - Q.x, q.y - Q.y, q.z - Q.z});
    if (!closest || d < best) closest = r, best = d;
  }
  const int n = screenNumberOfPointsPerSide();
  const double delta = screenDeltaMM();
  if (!(delta > 0) || !std::isfinite(delta)) return false;
  points = pointsWithGridSize(n, n, Q, closest->surfaceNormal(), delta);
  return true;
}

std::optional<HuygensCalculator::OpticalField> HuygensCalculator::monochromaticOpticalFieldForField(
    const FieldPtr& field, const WavePtr& wave) {
  FramedRaysPtr traced, exit;
  {
    platform::Synchronized lock(this);
    traced = m_tracedFramed;
    exit = m_raysAtExitPupil;
  }
  if (!traced || !exit || !field) return std::nullopt;
  const RayRefs A = raysOf(*traced, field.get(), wave.get());
  if (A.empty()) return std::nullopt;
  std::vector<XYZ> points;
  if (!screenFor(A, points)) return std::nullopt;
  FramedRays storage;
  return opticalFieldForRays(raysForSum(raysOf(*exit, field.get(), wave.get()), points.front(), storage), points,
                             screenNumberOfPointsPerSide());
}

std::optional<HuygensCalculator::OpticalField> HuygensCalculator::polychromaticOpticalFieldForField(
    const FieldPtr& field, std::string* problem) {
  FramedRaysPtr traced, exit;
  {
    platform::Synchronized lock(this);
    traced = m_tracedFramed;
    exit = m_raysAtExitPupil;
  }
  if (!traced || !exit || !field) return std::nullopt;
  std::vector<XYZ> points;
  if (!screenFor(raysOf(*traced, field.get(), nullptr), points)) return std::nullopt;
  FramedRays storage;
  const RayRefs B = raysForSum(raysOf(*exit, field.get(), nullptr), points.front(), storage);
  const int n = screenNumberOfPointsPerSide();
  Matrix S(static_cast<std::size_t>(n), static_cast<std::size_t>(n));
  double W = 0, weightedPower = 0;
  OpticalField out;
  const auto waves = wavesOfInterest();
  for (const WavePtr& w : waves) {
    if (!w) continue;
    double g = w->weight();
    if (g == 0 && waves.size() == 1) g = 1;
    const RayRefs rays = raysOf(B, nullptr, w.get());
    auto record = opticalFieldForRays(rays, points, n);
    if (!record) return std::nullopt;
    // The sum gives a wave a power growing as λ² (no 1/λ in its amplitude): each wave is
    // brought to unit power before its weight, so the waves share the light as weighted.
    const double power = powerOfRays(rays);
    if (power > 0 && std::isfinite(power)) {
      S.addMatrixScaledBy(*record->intensityField, g / power);
      weightedPower += g * power;
    }
    if (w->isPrimary()) out.amplitudeField = record->amplitudeField;
    W += g;
  }
  // Every wave of weight 0 leaves nothing to average.
  if (!(W > 0) || !std::isfinite(W)) {
    if (problem) *problem = "Field " + field->shortDescription() + ": the weights of its wavelengths sum to zero";
    return std::nullopt;
  }
  // Back to the scale of one wave's field: the waves' powers averaged with their weights.
  S.scaleBy(weightedPower / (W * W));
  out.intensityField = std::make_shared<const Matrix>(std::move(S));
  return out;
}

HuygensCalculator::FramedRaysPtr HuygensCalculator::raysAtExitPupil() const {
  platform::Synchronized lock(this);
  return m_raysAtExitPupil;
}

std::shared_ptr<const ComplexMatrix> HuygensCalculator::amplitudeField() const {
  platform::Synchronized lock(this);
  return m_amplitudeField;
}

XYZ HuygensCalculator::pupilCenterOfSum() const {
  platform::Synchronized lock(this);
  return m_pupilCenter;
}

HuygensCalculator::FramedRays HuygensCalculator::raysForSumOfField(const FieldPtr& field, const WavePtr& wave) {
  FramedRaysPtr traced, exit;
  {
    platform::Synchronized lock(this);
    traced = m_tracedFramed;
    exit = m_raysAtExitPupil;
  }
  if (!traced || !exit || !field) return {};
  std::vector<XYZ> points;
  if (!screenFor(raysOf(*traced, field.get(), wave.get()), points)) return {};
  FramedRays storage, out;
  for (const RayWithFrame* r : raysForSum(raysOf(*exit, field.get(), wave.get()), points.front(), storage))
    out.push_back(*r);
  return out;
}

// --- stages ----------------------------------------------------------------------------------------------------

void HuygensCalculator::traceRays() {
  // Every start ray as a framed ray too: the bundle keeps no transfer matrix, and the
  // amplitude of a ray tube comes from it.
  FramedRays framed;
  if (const TracedBundle* start = workingInitialBundle()) {
    framed.reserve(start->rays.size());
    for (std::size_t i = 0; i < start->rays.size(); ++i) framed.emplace_back(start->rays.ray(i));
  }
  PSFCalculator::traceRays();
  const analysis::LensPtr l = lens();
  if (!l || platform::currentThreadIsCancelled()) return;
  const SurfacePtr target = surfaceOfInterest();
  if (!framed.empty())
    analysis::traceFramedRays(*l, std::span<RayWithFrame>(framed), target.get(),
                              tracing::TraceOptions::paraxial(paraxial()));
  if (platform::currentThreadIsCancelled()) return;

  XYZ E = tracing::exitPupilCenter(*l), n = tracing::exitPupilNormal(*l);
  if (useLocalCoordinates() && target) {
    // The frame the bundle was put in, so that screen and pupil share it.
    const auto& m = target->transform().globalToLocalCoordinateTransformationMatrix();
    for (RayWithFrame& r : framed)
      if (r.isAlive()) r.transformByMatrix(m);
    E = foundation::applyToPoint(m, E);
    n = foundation::applyToDirection(m, n);
  }
  auto traced = std::make_shared<const FramedRays>(framed);

  // A telecentric image space puts the exit pupil at infinity, or so far that the paths
  // to it keep no digit of phase: the sum starts instead from the plane one focal length
  // before the image, which the same converging wave crosses (a sphere about the image
  // through that plane's centre stays finite too).
  std::string problem;
  XYZ image{0, 0, 0};
  std::size_t live = 0;
  double lambda = 0;
  for (const RayWithFrame& r : framed) {
    if (!r.isAlive()) continue;
    image.x += r.position().x, image.y += r.position().y, image.z += r.position().z, ++live;
    if (r.wave() && !(lambda > 0)) lambda = r.wave()->wavelengthInMillimeters();
  }
  if (live) {
    image = scaled(image, 1 / static_cast<double>(live));
    const double distance = norm({E.x - image.x, E.y - image.y, E.z - image.z});
    if (!(distance <= kFarthestPupilInWaves * lambda)) {
      const double f = std::abs(tracing::focalLength(*l)), along = norm(n);
      if (std::isfinite(f) && f > 0 && std::isfinite(along) && along > 0)
        E = {image.x - f * n.x / along, image.y - f * n.y / along, image.z - f * n.z / along};
      else
        problem = "The exit pupil is at infinity and the lens has no focal length to place the pupil plane by: no "
                  "Huygens sum";
    }
  }
  const bool objectAtInfinity = tracing::isObjectAtInfinity(*l);
  FramedRaysPtr exit;
  if (problem.empty()) {
    propagateRaysToExitPupil(framed, E, n);
    updateAmplitudeFactorForRays(framed, objectAtInfinity);
    exit = std::make_shared<const FramedRays>(std::move(framed));
  }
  {
    platform::Synchronized lock(this);
    m_tracedFramed = std::move(traced);
    m_raysAtExitPupil = std::move(exit);
    m_pupilCenter = E;
    m_objectAtInfinity = objectAtInfinity;
    m_pupilProblem = std::move(problem);
  }
  m_sumVersion.fetch_add(1);
}

void HuygensCalculator::generateCurves() {
  const analysis::LensPtr l = lens();
  if (!l) return;
  const auto fields = fieldsOfInterest();
  if (fields.empty()) throw platform::Exception("Abort", "No fields of interest");
  const WavePtr wave = waveOfInterest();

  // Nothing that enters the sum has changed: the cached fields only need new curves.
  const std::uint64_t version = m_sumVersion.load();
  if (version != m_summedVersion) {
    clearIntensityFieldCache();
    std::string pupilProblem;
    {
      platform::Synchronized lock(this);
      pupilProblem = m_pupilProblem;
    }
    if (!pupilProblem.empty()) {
      noteStatus(std::move(pupilProblem));
      setNeedsGenerateCurves(false);
      return;
    }
    const int n = screenNumberOfPointsPerSide();
    double toDo = static_cast<double>(n) * n * static_cast<double>(fields.size());
    if (!wave) toDo *= static_cast<double>(std::max<std::size_t>(wavesOfInterest().size(), 1));
    setWorkToDo(toDo);
    setWorkDone(0);
    m_pointsDone = 0;
    std::vector<std::string> problems;
    for (const FieldPtr& field : fields) {
      std::string problem;
      auto record = wave ? monochromaticOpticalFieldForField(field, wave) : polychromaticOpticalFieldForField(field, &problem);
      if (platform::currentThreadIsCancelled()) return;
      if (!record) {
        // No live ray of the field, or no usable screen: no image and no curves; the
        // status says why rather than leaving the last lens's plot unexplained.
        noteStatus(problem.empty() ? "Field " + field->shortDescription() + ": no rays reach the screen" : problem);
        setNeedsGenerateCurves(false);
        return;
      }
      {
        platform::Synchronized lock(this);
        m_amplitudeField = record->amplitudeField;
        setIntensityField(record->intensityField);
        cacheIntensityFieldForField(*field, wave.get());
      }
    }
    m_summedVersion = version;
    generateImageOfPSF();
  }
  finalizeCurves();
  if (!platform::currentThreadIsCancelled()) setNeedsGenerateCurves(false);
}

void HuygensCalculator::finalizeCurves() {
  const analysis::LensPtr l = lens();
  if (!l) return;
  const auto fields = fieldsOfInterest();
  if (fields.empty()) throw platform::Exception("Abort", "No fields of interest");
  const WavePtr wave = waveOfInterest();
  Array curves;
  std::vector<std::string> problems;
  for (const FieldPtr& field : fields)
    for (int d : {1, 0}) {
      if (platform::currentThreadIsCancelled()) return;
      std::string problem;
      if (auto c = extractCurvesForDirection(d, field, wave, &problem))
        for (Value& v : *c) curves.push_back(std::move(v));
      if (!problem.empty()) problems.push_back(std::move(problem));
    }
  publishCurves(std::move(curves), std::move(problems));
}

std::optional<Array> HuygensCalculator::extractCurvesForDirection(int d, const FieldPtr& field, const WavePtr& wave,
                                                                  std::string* problem) {
  if (plotOTF()) {
    auto c = extractOTFCurvesForDirection(d, field, wave);
    if (!c && problem && field && retreiveIntensityFieldForField(*field, wave.get()))
      *problem = "ERROR: the MTF needs a screen whose number of points per side is a power of two";
    return c;
  }
  return extractLSFCurvesForDirection(d, field, wave, problem);
}

std::optional<Array> HuygensCalculator::extractOTFCurvesForDirection(int d, const FieldPtr& field, const WavePtr& wave) {
  if (!field) return std::nullopt;
  const FieldMatrix I = retreiveIntensityFieldForField(*field, wave.get());
  const int n = I ? static_cast<int>(I->nRows()) : 0;
  // Other sides have no transform here; the caller's status says why.
  if (n == 0 || (n & (n - 1)) != 0) return std::nullopt;
  std::vector<XY> line;
  {
    // The transform's buffers are made under the process-wide lock, as the 2-D ones are.
    platform::Synchronized lock(platform::Synchronized::processWide());
    line.assign(static_cast<std::size_t>(n), XY{0, 0});
  }
  const VKSeries sums = d ? I->sumAlongFirstDimensionAsSeries() : I->sumAlongSecondDimensionAsSeries();
  for (int i = 0; i < n; ++i) line[static_cast<std::size_t>(i)].x = sums.at(static_cast<std::size_t>(i));
  if (foundation::fft_forward(line.data(), n) != 0) {
    platform::log("ERROR");
    return std::nullopt;
  }
  const double zero = line[0].x;
  if (!(zero > 0) || !std::isfinite(zero)) return std::nullopt;  // nothing reached the screen
  const double scale = 1 / zero, delta = deltaInUserUnits();
  const std::size_t m = static_cast<std::size_t>((n + 1) / 2);
  VKSeries x(m), modulus(m), re(m), im(m);
  for (std::size_t i = 0; i < m; ++i) {
    x.atPut(i, static_cast<double>(i) / (delta * n));
    modulus.atPut(i, std::hypot(line[i].x, line[i].y) * scale);
    re.atPut(i, line[i].x * scale);
    im.atPut(i, line[i].y * scale);
  }
  setAndAnnounce("dataMaximumSpatialFrequency", m_dataMaximumSpatialFrequency, x.at(m - 1));
  if (resampleCurves() && m >= 2) {
    auto r = foundation::Resampler::resampleComplexFunction(x, modulus, re, im);
    x = std::move(r.x), modulus = std::move(r.magnitude), re = std::move(r.re), im = std::move(r.im);
  }

  const bool manyFields = fieldsOfInterest().size() > 1;
  const std::string base =
      wave ? field->shortDescription() + " " + wave->wavelengthShortString() : field->shortDescription();
  auto curve = [&](VKSeries y, const char* suffix, const char* yLabel) {
    Dictionary c{{plot::kXSeries, SeriesValue::make(x)},
                 {plot::kYSeries, SeriesValue::make(std::move(y))},
                 {plot::kField, Value(field)},
                 {plot::kName, base + suffix},
                 {plot::kYLabel, yLabel}};
    if (wave) c.set(Value(plot::kWave), Value(wave));
    if (manyFields) {
      c.set(Value(plot::kLayer), Value(field->description()));
      c.set(Value(plot::kLayerTitle), Value(field->shortDescription()));
    } else if (wave) {
      c.set(Value(plot::kLayer), Value(wave->description()));
    }
    if (!d) c.set(Value(plot::kDashed), true);
    return c;
  };
  Array out;
  Dictionary main = curve(std::move(modulus), d ? " (y)" : " (x)", "MTF");
  main.set(Value(plot::kUpdateColor), true);
  main.set(Value(plot::kColor), Value(colorForDictionary(main)));
  out.push_back(Value(std::move(main)));
  if (plotComplex()) {
    Dictionary r = curve(std::move(re), d ? " (Tr)" : " (Sr)", "Re");
    r.set(Value(plot::kColor), Value(platform::Color::make(0, 1, 1)));
    out.push_back(Value(std::move(r)));
    Dictionary i = curve(std::move(im), d ? " (Ti)" : " (Si)", "Im");
    i.set(Value(plot::kColor), Value(platform::Color::make(1, 0, 1)));
    out.push_back(Value(std::move(i)));
  }
  return out;
}

void HuygensCalculator::publishCurves(Array curves, std::vector<std::string> problems) {
  const WavePtr wave = waveOfInterest();
  const std::string waveText = wave ? wave->wavelengthShortString() : "polychromatic";
  Dictionary d = initialPlotDictionary();
  if (plotOTF()) {
    const double maximum = updateMaximumSpatialFrequency();
    if (plotDiffractionLimit()) {
      if (auto c = curveForDiffractionLimitedMTF())
        curves.push_back(Value(std::move(*c)));
      else
        problems.push_back("No diffraction limit: the lens has no image-space F-number");
    }
    analysis::setValueOnEveryCurve(curves, plot::kXLabel, "f");
    d.set(Value(plot::kTitle), (plotComplex() ? "Huygens OTF (" : "Huygens MTF (") + waveText + ")");
    d.set(Value(plot::kXLabel), "frequency (" + spatialFrequencyUnits() + ")");
    d.set(Value(plot::kXMin), 0.0);
    d.set(Value(plot::kXMax), maximum);
  } else {
    if (plotDiffractionLimit()) {
      if (auto c = curveForDiffractionLimitedLSF())
        curves.push_back(Value(std::move(*c)));
      else
        problems.push_back("No diffraction limit: the lens has no image-space F-number");
    }
    analysis::setValueOnEveryCurve(curves, plot::kXLabel, "d");
    d.set(Value(plot::kTitle), "Huygens LSF (" + waveText + ")");
    d.set(Value(plot::kXLabel), "displacement (" + units() + ")");
    if (const double m = maximumDisplacement(); m != 0) {
      d.set(Value(plot::kXMin), -m);
      d.set(Value(plot::kXMax), m);
    }
  }
  analysis::setValueOnEveryCurve(curves, plot::kXFormat, "%g");
  analysis::setValueOnEveryCurve(curves, plot::kYFormat, "%f");
  d.set(Value(plot::kYLabel), "power");
  d.set(Value(plot::kCurves), Value(std::move(curves)));
  if (platform::currentThreadIsCancelled()) return;
  publishPlotDictionary(std::move(d));
  noteProblems(problems);
  setNeedsFinalizeCurves(false);
}

void HuygensCalculator::addRestorationDataToDictionary(Dictionary& d) const {
  PSFCalculator::addRestorationDataToDictionary(d);
  for (const char* key : {"screenNumberOfPointsPerSide", "screenDelta", "screenWidth", "screenWidthUnits",
                          "useReferenceSphere", "suppressAmplitudeAttenuation", "suppressObliquityFactor",
                          "usePerfectOPD", "correctForAngleOfIncidence", "dataMaximumSpatialFrequency",
                          "plotSpatialFrequencyDataRange"})
    d.set(Value(key), valueForKey(key));
}

// --- the point-spread sections ---------------------------------------------------------------------------

std::optional<Array> HuygensPSFCalculator::extractSectionCurveForDirection(int d, const FieldPtr& field,
                                                                           const WavePtr& wave) {
  if (!field) return std::nullopt;
  const FieldMatrix I = retreiveIntensityFieldForField(*field, wave.get());
  const int n = I ? static_cast<int>(I->nRows()) : 0;
  if (n == 0) return std::nullopt;
  double peak = 0;
  for (std::size_t k = 0; k < I->numberOfElements(); ++k) peak = std::max(peak, I->rowMajorStorage()[k]);
  const double scale = peak > 0 && std::isfinite(peak) ? 1 / peak : 1.0;
  const double delta = deltaInUserUnits();
  VKSeries x(static_cast<std::size_t>(n)), y(static_cast<std::size_t>(n));
  for (int k = 0; k < n; ++k) {
    const auto p = static_cast<std::size_t>(foundation::fftUnshiftIndex(n, k));
    const auto uk = static_cast<std::size_t>(k);
    x.atPut(p, foundation::fftSignedFrequency(n, k) * delta);
    y.atPut(p, (d ? I->at(0, uk) : I->at(uk, 0)) * scale);
  }
  return Array{Value(sectionCurveWithSeries(std::move(x), std::move(y), field, wave, d, "PSF"))};
}

void HuygensPSFCalculator::finalizeCurves() {
  const analysis::LensPtr l = lens();
  if (!l) return;
  const auto fields = fieldsOfInterest();
  if (fields.empty()) throw platform::Exception("Abort", "No fields of interest");
  const WavePtr wave = waveOfInterest();
  Array curves;
  for (const FieldPtr& field : fields)
    for (int d : {1, 0}) {
      if (platform::currentThreadIsCancelled()) return;
      if (auto c = extractSectionCurveForDirection(d, field, wave))
        for (Value& v : *c) curves.push_back(std::move(v));
    }
  analysis::setValueOnEveryCurve(curves, plot::kXLabel, "d");
  analysis::setValueOnEveryCurve(curves, plot::kXFormat, "%g");
  analysis::setValueOnEveryCurve(curves, plot::kYFormat, "%f");
  Dictionary d = initialPlotDictionary();
  d.set(Value(plot::kTitle), "Huygens PSF (" + (wave ? wave->wavelengthShortString() : std::string("polychromatic")) + ")");
  d.set(Value(plot::kXLabel), "displacement (" + units() + ")");
  d.set(Value(plot::kYLabel), "intensity");
  if (const double m = maximumDisplacement(); m != 0) {
    d.set(Value(plot::kXMin), -m);
    d.set(Value(plot::kXMax), m);
  }
  d.set(Value(plot::kCurves), Value(std::move(curves)));
  if (platform::currentThreadIsCancelled()) return;
  publishPlotDictionary(std::move(d));
  setNeedsFinalizeCurves(false);
}

}  // namespace orb::wavefront
