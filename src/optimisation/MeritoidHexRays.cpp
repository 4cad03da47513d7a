#include "optimisation/MeritoidHexRays.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <string_view>

#include "analysis/OPDCalculator.h"
#include "foundation/minimise/RayGridCounts.h"
#include "lens/AspectAperture.h"
#include "lens/CircularAperture.h"
#include "lens/Lens.h"
#include "lens/SpiderAperture.h"
#include "lens/Surface.h"
#include "lens/Wave.h"
#include "platform/Exception.h"
#include "platform/KeyTable.h"
#include "platform/Log.h"
#include "platform/Thread.h"
#include "tracing/LensSummary.h"
#include "tracing/PupilPatterns.h"
#include "tracing/Ray.h"
#include "tracing/RayBundle.h"
#include "tracing/RayGeneration.h"
#include "tracing/TraceDriver.h"

namespace orb::optimisation {

using platform::Value;
using tracing::Ray;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// A row's wave weight, 1 without a wave (as a ray's).
double weightOfRow(const tracing::RayBundle& b, std::size_t i) {
  return b.wave[i] < b.waves.size() && b.waves[b.wave[i]] ? b.waves[b.wave[i]]->weight() : 1.0;
}

std::uint32_t clampedCount(std::uint64_t n) {
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(n, std::numeric_limits<std::uint32_t>::max()));
}

std::shared_ptr<lens::Wave> primaryWaveOf(const analysis::Lens& lens) {
  for (const auto& w : lens.waveArray())
    if (w && w->isPrimary()) return w;
  return lens.waveArray().empty() ? nullptr : lens.waveArray().front();
}

// Whether `aperture` passes local (x, y) once central obscurations are taken away:
// obscurations and spiders pass everything, an annular clear aperture keeps only its
// outer rim, every other aperture tests as it does in a trace.
bool passesWithoutObscuration(const lens::Aperture& aperture, double x, double y) {
  if (aperture.isSoft()) return true;
  if (dynamic_cast<const lens::CircularObscuration*>(&aperture) ||
      dynamic_cast<const lens::EllipticalObscuration*>(&aperture) ||
      dynamic_cast<const lens::RectangularObscuration*>(&aperture) ||
      dynamic_cast<const lens::SpiderAperture*>(&aperture))
    return true;
  if (const auto* circle = dynamic_cast<const lens::CircularAperture*>(&aperture)) {
    const double dx = x - circle->decenterX(), dy = y - circle->decenterY(), r = circle->rMax();
    return dx * dx + dy * dy <= r * r + 1e-10;  // the trace's own slack
  }
  return aperture.passesPoint(x, y);
}

// The pupil-centre ray of an obscured pupil, as the reference of the wavefront: traced
// with no aperture tests, recording its path, then tested against every aperture the
// trace would test (not the object's, not the last surface's) except the obscurations.
// None when it is lost even so: a clear aperture, a missed surface, TIR.
std::optional<analysis::OPDCalculator::RayState> unobscuredReference(analysis::Lens& lens, Ray ray) {
  ray.enableTrajectory();
  tracing::traceRay(lens, ray, nullptr, tracing::TraceOptions::checkingApertures(false));
  if (!ray.isAlive() || !ray.trajectory()) return std::nullopt;
  const auto& surfaces = lens.surfaceArray();
  const tracing::Trajectory& path = *ray.trajectory();
  for (std::size_t k = 0; k < path.size(); ++k) {
    // A graded medium records points on the way to a surface under its name: the
    // crossing is the last of them.
    if (k + 1 < path.size() && path[k + 1].surface == path[k].surface) continue;
    for (std::size_t i = 1; i + 1 < surfaces.size(); ++i) {
      const lens::Surface& surface = *surfaces[i];
      if (static_cast<const platform::Object*>(&surface) != path[k].surface) continue;
      if (const auto& aperture = surface.apertureObject()) {
        const foundation::XYZ local = foundation::applyToPoint(
            surface.transform().globalToLocalCoordinateTransformationMatrix(), path[k].position);
        if (!passesWithoutObscuration(*aperture, local.x, local.y)) return std::nullopt;
      }
      break;
    }
  }
  return analysis::OPDCalculator::RayState{ray.position(), ray.momentum(), ray.opticalPathLength(), true};
}

}  // namespace

// --- the hexapolar base ----------------------------------------------------------------------------------

const platform::KeyTable& MeritoidWithHexRays::classKeys() {
  using M = MeritoidWithHexRays;
  using K = platform::Keys<M>;
  static const std::vector<std::string> sources{"included",     "value",  "calculationUnits", "displayUnits",
                                                "target",       "tolerance"};
  static const platform::KeyTable table(
      &Meritoid::classKeys(),
      {
          K::property("numberOfRays", &M::numberOfRays, &M::setNumberOfRays),
          K::property("numberOfRaysQuantum", &M::numberOfRaysQuantum, &M::setNumberOfRaysQuantum)
              .dependsOn({"numberOfRays"}),
          K::property("Hx", &M::Hx, &M::setHx),
          K::property("Hy", &M::Hy, &M::setHy),
          K::property("monochromatic", &M::monochromatic, &M::setMonochromatic),
          K::property("wavelengthInNanometers", &M::wavelengthInNanometers, &M::setWavelengthInNanometers),
          K::getter("estimatedRMS", &M::estimatedRMS),
      });
  return table;
}

void MeritoidWithHexRays::nontrivialize() {
  Meritoid::nontrivialize();
  setDisplayUnits("\u00b5m");
  setTolerance(1.0);
  setHx(0);
  setHy(0);
}

std::vector<std::string> MeritoidWithHexRays::coderKeys() const {
  std::vector<std::string> keys = Meritoid::coderKeys();
  keys.push_back("numberOfRays");
  return keys;
}

void MeritoidWithHexRays::setNumberOfRays(std::uint64_t n) {
  setAndAnnounce("numberOfRays", m_numberOfRays, n);
  setNeedsEvaluation(true);
}

std::uint64_t MeritoidWithHexRays::numberOfRaysQuantum() const {
  return foundation::hexagonalRingCountForPoints(clampedCount(m_numberOfRays));
}

void MeritoidWithHexRays::setNumberOfRaysQuantum(std::uint64_t q) {
  setNumberOfRays(foundation::centeredHexagonalNumber(clampedCount(q)));
}

void MeritoidWithHexRays::setHx(double v) {
  setAndAnnounce("Hx", m_Hx, v);
  setNeedsEvaluation(true);
}
void MeritoidWithHexRays::setHy(double v) {
  setAndAnnounce("Hy", m_Hy, v);
  setNeedsEvaluation(true);
}
void MeritoidWithHexRays::setMonochromatic(bool on) {
  setAndAnnounce("monochromatic", m_monochromatic, on);
  setNeedsEvaluation(true);
}
void MeritoidWithHexRays::setWavelengthInNanometers(double nm) {
  setAndAnnounce("wavelengthInNanometers", m_wavelengthInNanometers, nm);
  setNeedsEvaluation(true);
}

tracing::RayBundle MeritoidWithHexRays::testBundle(analysis::Lens& lens) const {
  const tracing::pupil::Points points = tracing::pupil::hexapolarArrayOfPointsInUnitCircle(clampedCount(m_numberOfRays));
  const tracing::Fields fields{tracing::fieldForH(lens, {m_Hx, m_Hy})};
  tracing::RayBundle rays;
  if (m_monochromatic) {
    if (!tracing::fillBundleForFields(rays, lens, fields, points)) {
      if (platform::currentThreadIsCancelled()) return rays;
      platform::Exception::raise("OBException", "%s", lens.warningReRayGeneration().value_or("no rays").c_str());
    }
    if (m_wavelengthInNanometers != 0) {
      // Made in the primary wave, the table's one entry, and traced in the operand's.
      auto wave = lens::Wave::wave();
      wave->setWavelengthInNanometers(m_wavelengthInNanometers);
      for (auto& w : rays.waves) w = wave;
    }
  } else if (!lens.waveArray().empty()) {
    // None made leaves the bundle empty: no live rays.
    tracing::fillBundleForFields(rays, lens, fields, points, lens.waveArray());
  }
  return rays;
}

tracing::RayBundle MeritoidWithHexRays::traceTestBundle(analysis::Lens& lens) const {
  platform::Synchronized lock(&lens);
  tracing::RayBundle rays = testBundle(lens);
  tracing::traceRays(lens, rays);
  return rays;
}

bool MeritoidWithHexRays::checkLens() {
  if (!lens()) {
    fail("No lens");
    return false;
  }
  if (!tracing::entrancePupilDiameterDetermined(*lens())) {
    fail("Lens is not ready");
    return false;
  }
  return true;
}

void MeritoidWithHexRays::fail(const std::string& message) {
  setEvaluationMessage(message);
  setEvaluationValue(kNaN);
  // Keep the residual count: every slot of a failed bundle is NaN.
  std::fill(m_entries.begin(), m_entries.end(), kNaN);
  m_liveEntries = 0;
}

void MeritoidWithHexRays::storeEntries(std::vector<double> entries, std::size_t liveEntries, double rms) {
  m_entries = std::move(entries);
  m_liveEntries = liveEntries;
  willChangeValueForKey("estimatedRMS");
  m_estimatedRMS = rms;
  didChangeValueForKey("estimatedRMS");
  setEvaluationValue(rms);
}

double MeritoidWithHexRays::reductionFactor(double tolerance, const std::string& units) const {
  const double n = static_cast<double>(m_liveEntries);
  return convert(1.0, calculationUnits(), units) / (std::sqrt(n) * tolerance);
}

std::vector<double> MeritoidWithHexRays::residuals() const {
  if (!hasResidualArray()) return {baseResidual()};
  if (!included() || !hasUsableTolerance()) return std::vector<double>(std::max<std::size_t>(m_entries.size(), 1), 0.0);
  if (m_entries.empty()) return {kNaN};
  if (m_liveEntries == 0) return std::vector<double>(m_entries.size(), kNaN);
  const double factor = reductionFactor(tolerance(), displayUnits());
  std::vector<double> out(m_entries.size());
  for (std::size_t i = 0; i < out.size(); ++i) out[i] = m_entries[i] * factor;
  return out;
}

// --- RMS spot ------------------------------------------------------------------------------------------------

const platform::KeyTable& MeritoidRMS::classKeys() {
  using M = MeritoidRMS;
  using K = platform::Keys<M>;
  static const platform::KeyTable table(
      &MeritoidWithHexRays::classKeys(),
      {
          K::property("analysisDirection", &M::analysisDirection, &M::setAnalysisDirection),
          K::getter("estimatedDistanceToFocus", &M::estimatedDistanceToFocus),
          platform::Keys<Meritoid>::getter("displayIdentifier", &Meritoid::displayIdentifier)
              .dependsOn({"identifier", "analysisDirection"}),
          platform::Keys<Meritoid>::getter("residual", &Meritoid::residual)
              .dependsOn({"included", "value", "calculationUnits", "displayUnits", "target", "tolerance",
                          "analysisDirection"}),
          platform::Keys<Meritoid>::getter("contribution", &Meritoid::contribution)
              .dependsOn({"included", "value", "calculationUnits", "displayUnits", "target", "tolerance",
                          "analysisDirection"}),
      });
  return table;
}

const std::vector<std::string>& MeritoidRMS::analysisDirections() {
  static const std::vector<std::string> directions{"x", "y", "r"};
  return directions;
}

void MeritoidRMS::nontrivialize() {
  MeritoidWithHexRays::nontrivialize();
  setAnalysisDirection("r");
}

std::vector<std::string> MeritoidRMS::coderKeys() const {
  std::vector<std::string> keys = MeritoidWithHexRays::coderKeys();
  for (const char* k : {"Hx", "Hy", "monochromatic", "wavelengthInNanometers", "analysisDirection"}) keys.push_back(k);
  return keys;
}

void MeritoidRMS::setAnalysisDirection(const std::string& d) {
  setAndAnnounce("analysisDirection", m_analysisDirection, d);
  setNeedsEvaluation(true);
}

void MeritoidRMS::firstTimeWithLens(const LensPtr& lens) {
  if (!lens) return;
  if (auto w = primaryWaveOf(*lens)) setWavelengthInNanometers(w->wavelengthInNanometers());
}

double MeritoidRMS::reductionFactor(double tolerance, const std::string& units) const {
  const double f = MeritoidWithHexRays::reductionFactor(tolerance, units);
  return m_analysisDirection == "r" ? f * std::sqrt(2.0) : f;
}

void MeritoidRMS::evaluation() {
  if (!checkLens()) return;
  const bool useX = m_analysisDirection == "x" || m_analysisDirection == "r";
  const bool useY = m_analysisDirection == "y" || m_analysisDirection == "r";
  if (!useX && !useY) return fail("Unknown analysis direction");
  try {
    const tracing::RayBundle rays = traceTestBundle(*lens());
    if (platform::currentThreadIsCancelled()) {
      setEvaluationValue(value());  // a cancelled trace measures nothing
      return;
    }
    const auto image = lens()->imageSurface();
    const auto& toLocal = image->transform().globalToLocalCoordinateTransformationMatrix();
    // The live rows in the image surface's frame.
    const std::size_t count = rays.size();
    std::vector<std::size_t> live;
    std::vector<foundation::XYZ> position(count), momentum(count);
    for (std::size_t i = 0; i < count; ++i)
      if (rays.alive[i]) {
        position[i] = foundation::applyToPoint(toLocal, {rays.qx[i], rays.qy[i], rays.qz[i]});
        momentum[i] = foundation::applyToDirection(toLocal, {rays.px[i], rays.py[i], rays.pz[i]});
        live.push_back(i);
      }
    const std::size_t perRay = (useX ? 1 : 0) + (useY ? 1 : 0);
    resetEntries(count * perRay);
    if (live.empty()) {
      platform::log("[%g] %s no rays", number(), identifier().c_str());
      return fail("No live rays");
    }
    // Scale factors: each ray counts with its wave's weight when polychromatic.
    const double N = static_cast<double>(live.size());
    std::vector<double> s(count, 1.0);
    if (!monochromatic()) {
      double sumW = 0;
      for (std::size_t i : live) sumW += weightOfRow(rays, i);
      for (std::size_t i : live)
        s[i] = std::sqrt(std::max(0.0, weightOfRow(rays, i))) * (sumW != 0 ? std::sqrt(N / sumW) : 1.0);
    }
    double sw = 0, cx = 0, cy = 0;
    for (std::size_t i : live) {
      const double w = s[i] * s[i];
      sw += w;
      cx += w * position[i].x;
      cy += w * position[i].y;
    }
    if (sw > 0) {
      cx /= sw;
      cy /= sw;
    }
    std::vector<double> entries(count * perRay, 0.0);
    double sumSquares = 0;
    for (std::size_t i : live) {
      std::size_t slot = i * perRay;
      if (useX) {
        entries[slot++] = s[i] * (position[i].x - cx);
        sumSquares += entries[slot - 1] * entries[slot - 1];
      }
      if (useY) {
        entries[slot] = s[i] * (position[i].y - cy);
        sumSquares += entries[slot] * entries[slot];
      }
    }
    // Distance to focus from the positions against the slopes (plain means).
    double mx = 0, my = 0, mu = 0, mv = 0;
    for (std::size_t i : live) {
      const auto& p = position[i];
      const auto& m = momentum[i];
      mx += p.x, my += p.y, mu += m.x / m.z, mv += m.y / m.z;
    }
    mx /= N, my /= N, mu /= N, mv /= N;
    double numerator = 0, denominator = 0;
    const double wX = useX ? 1 : 0, wY = useY ? 1 : 0;
    for (std::size_t i : live) {
      const auto& p = position[i];
      const auto& m = momentum[i];
      const double dx = p.x - mx, dy = p.y - my, du = m.x / m.z - mu, dv = m.y / m.z - mv;
      numerator += wX * dx * du + wY * dy * dv;
      denominator += wX * du * du + wY * dv * dv;
    }
    m_estimatedDistanceToFocus = denominator != 0 ? -numerator / denominator : 0;
    storeEntries(std::move(entries), live.size() * perRay, std::sqrt(sumSquares / N));
  } catch (const platform::Exception& e) {
    fail(e.reason());
  }
}

// --- RMS optical path difference -------------------------------------------------------------------------------

const platform::KeyTable& MeritoidRMSOPD::classKeys() {
  using M = MeritoidRMSOPD;
  using K = platform::Keys<M>;
  static const platform::KeyTable table(
      &MeritoidWithHexRays::classKeys(),
      {K::property("useCentroidAsReference", &M::useCentroidAsReference, &M::setUseCentroidAsReference)});
  return table;
}

void MeritoidRMSOPD::nontrivialize() {
  MeritoidWithHexRays::nontrivialize();
  setUseCentroidAsReference(true);
}

std::vector<std::string> MeritoidRMSOPD::coderKeys() const {
  std::vector<std::string> keys = MeritoidWithHexRays::coderKeys();
  for (const char* k : {"Hx", "Hy", "monochromatic", "wavelengthInNanometers", "useCentroidAsReference"})
    keys.push_back(k);
  return keys;
}

void MeritoidRMSOPD::setUseCentroidAsReference(bool on) {
  setAndAnnounce("useCentroidAsReference", m_useCentroidAsReference, on);
  setNeedsEvaluation(true);
}

void MeritoidRMSOPD::setLens(LensPtr lens) {
  if (lens && !(wavelengthInNanometers() > 0))
    if (auto w = primaryWaveOf(*lens)) setWavelengthInNanometers(w->wavelengthInNanometers());
  Meritoid::setLens(std::move(lens));
}

void MeritoidRMSOPD::evaluation() {
  if (!checkLens()) return;
  try {
    // Locked throughout: the bundle and any retraced reference see one lens.
    platform::Synchronized lock(lens().get());
    tracing::RayBundle rays = testBundle(*lens());
    // Runs of one wave (the rows come wave by wave), each against its own reference.
    std::vector<std::pair<std::size_t, std::size_t>> runs;
    for (std::size_t i = 0; i < rays.size(); ++i)
      if (runs.empty() || rays.wave[i] != rays.wave[runs.back().first])
        runs.emplace_back(i, i + 1);
      else
        runs.back().second = i + 1;
    // Each run's first row as made: its reference, should it be obscured.
    std::vector<Ray> untraced;
    for (const auto& run : runs) untraced.push_back(rays.ray(run.first));
    tracing::traceRays(*lens(), rays);
    if (platform::currentThreadIsCancelled()) {
      setEvaluationValue(value());
      return;
    }
    const foundation::XYZ E = tracing::exitPupilCenter(*lens());
    std::vector<double> entries(rays.size(), 0.0);
    std::size_t liveCount = 0;
    double sumSquares = 0;
    double W = 0;
    for (const auto& run : runs) W += weightOfRow(rays, run.first);
    const double M = static_cast<double>(runs.size());
    std::vector<std::size_t> rows;
    for (std::size_t r = 0; r < runs.size(); ++r) {
      const auto [begin, end] = runs[r];
      rows.resize(end - begin);
      for (std::size_t k = 0; k < rows.size(); ++k) rows[k] = begin + k;
      auto states = analysis::OPDCalculator::statesOfRows(rays, rows);
      // The centroid of the light that arrives, before a retraced reference joins it.
      const foundation::XYZ centroid = analysis::OPDCalculator::positionCentroid(states);
      if (!states[0].alive) {
        // An obscured pupil centre still has a chief ray to measure against; any other
        // loss leaves the wave without a reference, and it measures nothing.
        const char* cause = rays.causeOfDeath[begin];
        if (!cause || std::string_view(cause) != tracing::causeOfDeath::kApertureDoesNotPass) continue;
        const auto reference = unobscuredReference(*lens(), untraced[r]);
        if (!reference) continue;
        states[0] = *reference;
      }
      const foundation::XYZ centre = m_useCentroidAsReference ? centroid : states[0].position;
      const auto series = analysis::OPDCalculator::opdSeries(states, E, 0, centre);
      const double factor =
          (!monochromatic() && W != 0) ? std::sqrt(std::abs(weightOfRow(rays, begin) / W) * M) : 1.0;
      for (std::size_t k = 0; k < rows.size(); ++k) {
        const double v = series.opd.at(k);
        if (!rays.alive[begin + k] || !std::isfinite(v)) continue;
        entries[begin + k] = v * factor;
        sumSquares += entries[begin + k] * entries[begin + k];
        ++liveCount;
      }
    }
    resetEntries(rays.size());
    if (liveCount == 0) {
      platform::log("[%g] %s no rays", number(), identifier().c_str());
      return fail("No live rays");
    }
    storeEntries(std::move(entries), liveCount, std::sqrt(sumSquares / static_cast<double>(liveCount)));
  } catch (const platform::Exception& e) {
    fail(e.reason());
  }
}

}  // namespace orb::optimisation
