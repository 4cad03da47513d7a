#include "wavefront_illumination/DOTFCalculator.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <set>
#include <utility>
#include <unistd.h>

#include <fftw3.h>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <tbb/blocked_range.h>
#include <tbb/parallel_for.h>
#include <tbb/task_arena.h>

#include <cstdint>
#include <map>
#include <tuple>

#include "analysis/ParallelChunks.h"
#include "analysis/PlotDictionary.h"
#include "foundation/linear/FFT.h"
#include "foundation/polynomial/Resampler.h"
#include "foundation/quadrature/SpecialFunctions.h"
#include "lens/Field.h"
#include "lens/Lens.h"
#include "lens/Surface.h"
#include "lens/Wave.h"
#include "platform/Exception.h"
#include "platform/KeyTable.h"
#include "platform/Thread.h"
#include "tracing/LensSummary.h"
#include "tracing/ParaxialMeasurement.h"
#include "wavefront_illumination/DOTFImages.h"

namespace orb::wavefront {

using analysis::OPDCalculator;
using analysis::SeriesValue;
using foundation::ComplexMatrix;
using foundation::Matrix;
using foundation::VKSeries;
using foundation::XY;
using foundation::XYZ;
using platform::Array;
using platform::Dictionary;
using platform::Value;
namespace plot = analysis::plot;

namespace {
constexpr double kTwoPi = 6.283185307179586;
// Cells outside the unit pupil carry no light.
constexpr const char* kOutsidePupil = "Outside the pupil";

double length(const XYZ& v) { return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z); }
XYZ momentumOf(const tracing::RayBundle& b, std::size_t i) { return {b.px[i], b.py[i], b.pz[i]}; }

// Pool threads have no cancelled flag of their own: the passes poll the worker's, taken
// on the worker before the pass starts.
struct StopFlag {
  const std::atomic<bool>* cancelled = platform::currentThreadCancelledFlag();
  bool operator()() const { return cancelled && cancelled->load(std::memory_order_relaxed); }
};

// The whole-field passes of the pipeline run over the cores in blocks of elements.
template <class Body>
void overElements(std::size_t count, Body&& body) {
  constexpr std::size_t kGrain = std::size_t{1} << 15;
  tbb::parallel_for(tbb::blocked_range<std::size_t>(0, count, kGrain),
                    [&](const tbb::blocked_range<std::size_t>& r) { body(r.begin(), r.end()); });
}

// --- 2-D transforms over the cores ---------------------------------------------------------------
// A 2-D transform is a row pass and a column pass of 1-D FFTW plans, each plan doing a
// batch of rows (or of adjacent columns); the batches are spread over the cores. FFTW's
// planner is not thread-safe: plans are made and looked up under the process-wide lock,
// which also guards ComplexMatrix's plans. Executing an existing plan on new arrays
// (fftw_execute_dft) is thread-safe, so the batches run without any lock.
enum class Pass { Rows, Columns };
struct BatchPlan {
  fftw_plan plan = nullptr;
  int batch = 1;  ///< rows, or adjacent columns, per execution
};

int batchFor(int count) {
  for (int b : {8, 4, 2})
    if (count % b == 0) return b;
  return 1;
}

// The plan of one pass over an R × C row-major matrix at `base`: a batch of rows (length
// C) or of adjacent columns (length R, stride C).
BatchPlan batchPlanFor(Pass pass, int R, int C, int sign, const XY* base) {
  const bool rows = pass == Pass::Rows;
  const int batch = batchFor(rows ? R : C);
  // A plan runs only on arrays aligned like the one it was made for: 64-byte aligned
  // storage whose batches start at multiples of 64 bytes all are; else any alignment.
  const std::size_t step = rows ? static_cast<std::size_t>(C) * batch : static_cast<std::size_t>(batch);
  const bool aligned = reinterpret_cast<std::uintptr_t>(base) % 64 == 0 && step * sizeof(XY) % 64 == 0;
  platform::Synchronized lock(platform::Synchronized::processWide());
  static std::map<std::tuple<bool, int, int, int, bool>, BatchPlan> plans;
  const auto key = std::make_tuple(rows, R, C, sign, aligned);
  if (const auto found = plans.find(key); found != plans.end()) return found->second;
  const std::size_t count = static_cast<std::size_t>(R) * static_cast<std::size_t>(C);
  auto* scratch = static_cast<fftw_complex*>(fftw_malloc(count * sizeof(fftw_complex)));
  if (!scratch) platform::Exception::raise("NSInternalInconsistencyException", "Insufficient storage for fft buffers");
  const unsigned flags = aligned ? FFTW_MEASURE : (FFTW_MEASURE | FFTW_UNALIGNED);
  BatchPlan p;
  p.batch = batch;
  const int length[1] = {rows ? C : R};
  p.plan = rows ? fftw_plan_many_dft(1, length, batch, scratch, nullptr, 1, C, scratch, nullptr, 1, C, sign, flags)
                : fftw_plan_many_dft(1, length, batch, scratch, nullptr, C, 1, scratch, nullptr, C, 1, sign, flags);
  fftw_free(scratch);
  if (!p.plan)
    platform::Exception::raise("NSInternalInconsistencyException", "FFTW could not plan a %d*%d transform", R, C);
  plans.emplace(key, p);
  return p;
}

// The unnormalised 2-D transform in place (sign FFTW_FORWARD or FFTW_BACKWARD): the row
// pass skips the rows that `liveRows` (when given) marks 0, which must be zero; false when
// cancelled.
bool transform2D(ComplexMatrix& m, int sign, const std::vector<std::uint8_t>* liveRows = nullptr) {
  const int R = static_cast<int>(m.nRows()), C = static_cast<int>(m.nCols());
  if (R == 0 || C == 0) return true;
  XY* base = m.rowMajorStorage();
  const BatchPlan rowPlan = batchPlanFor(Pass::Rows, R, C, sign, base);
  const BatchPlan columnPlan = batchPlanFor(Pass::Columns, R, C, sign, base);
  auto* data = reinterpret_cast<fftw_complex*>(base);
  const StopFlag stopRequested;
  tbb::parallel_for(tbb::blocked_range<int>(0, R / rowPlan.batch), [&](const tbb::blocked_range<int>& r) {
    if (stopRequested()) return;
    for (int b = r.begin(); b != r.end(); ++b) {
      const int r0 = b * rowPlan.batch;
      if (liveRows && std::none_of(liveRows->begin() + r0, liveRows->begin() + r0 + rowPlan.batch,
                                   [](std::uint8_t live) { return live != 0; }))
        continue;
      fftw_complex* at = data + static_cast<std::size_t>(r0) * static_cast<std::size_t>(C);
      fftw_execute_dft(rowPlan.plan, at, at);
    }
  });
  if (stopRequested()) return false;
  tbb::parallel_for(tbb::blocked_range<int>(0, C / columnPlan.batch), [&](const tbb::blocked_range<int>& r) {
    if (stopRequested()) return;
    for (int b = r.begin(); b != r.end(); ++b) {
      fftw_complex* at = data + static_cast<std::size_t>(b) * static_cast<std::size_t>(columnPlan.batch);
      fftw_execute_dft(columnPlan.plan, at, at);
    }
  });
  return !stopRequested();
}

// The grid's complex pupil into P (2n × 2n), every element written; liveRows marks the
// matrix rows that hold a grid row.
void fillPupil(const DOTFCalculator::PupilGrid& g, ComplexMatrix& P, std::vector<std::uint8_t>& liveRows) {
  const int n = g.n, m = 2 * n;
  liveRows.assign(static_cast<std::size_t>(std::max(m, 0)), 0);
  if (n <= 0 || g.opd.size() < static_cast<std::size_t>(n) * n || g.alive.size() < static_cast<std::size_t>(n) * n) {
    std::fill(P.rowMajorStorage(), P.rowMajorStorage() + P.numberOfElements(), XY{0, 0});
    return;
  }
  const double k = kTwoPi / g.wavelength;
  auto wrap = [m](int s) { return ((s % m) + m) % m; };
  // Matrix row → grid row (−1: none); matrix column of each grid column.
  std::vector<int> gridRow(static_cast<std::size_t>(m), -1), column(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) {
    const int r = wrap(DOTFCalculator::signedGridIndex(n, i, g.fftOrder));
    gridRow[static_cast<std::size_t>(r)] = i;
    liveRows[static_cast<std::size_t>(r)] = 1;
  }
  // Rows (pupil x) keep their sign; columns (pupil y) are mirrored.
  for (int j = 0; j < n; ++j) column[static_cast<std::size_t>(j)] = wrap(-1 - DOTFCalculator::signedGridIndex(n, j, g.fftOrder));
  XY* p = P.rowMajorStorage();
  const auto M = static_cast<std::size_t>(m);
  tbb::parallel_for(tbb::blocked_range<int>(0, m, 8), [&](const tbb::blocked_range<int>& range) {
    for (int r = range.begin(); r != range.end(); ++r) {
      XY* row = p + static_cast<std::size_t>(r) * M;
      std::fill(row, row + M, XY{0, 0});
      const int i = gridRow[static_cast<std::size_t>(r)];
      if (i < 0) continue;
      const std::size_t first = static_cast<std::size_t>(i) * static_cast<std::size_t>(n);
      for (int j = 0; j < n; ++j) {
        const std::size_t cell = first + static_cast<std::size_t>(j);
        if (!g.alive[cell]) continue;
        const double phase = g.opd[cell] * k;
        row[column[static_cast<std::size_t>(j)]] = XY{std::cos(phase), std::sin(phase)};
      }
    }
  });
}

// to[c] = s·from[c].x for a row of the field. The field is far larger than the caches and
// is not read again by this pass: stores that bypass the caches save reading every line
// before it is written. storesDone() orders them before the pass's end.
void storeRealParts(double* to, const XY* from, std::size_t n, double s) {
  std::size_t c = 0;
#if defined(__SSE2__)
  if (reinterpret_cast<std::uintptr_t>(to) % 16 == 0) {
    const __m128d scale = _mm_set1_pd(s);
    for (; c + 2 <= n; c += 2)
      _mm_stream_pd(to + c, _mm_mul_pd(_mm_set_pd(from[c + 1].x, from[c].x), scale));
  }
#endif
  for (; c < n; ++c) to[c] = from[c].x * s;
}
void storesDone() {
#if defined(__SSE2__)
  _mm_sfence();
#endif
}

// a += s·b and a *= s over the elements, on the cores.
void addScaled(double* a, const double* b, std::size_t count, double s) {
  overElements(count, [=](std::size_t i0, std::size_t i1) {
    for (std::size_t i = i0; i < i1; ++i) a[i] += s * b[i];
  });
}
void scaleAll(double* a, std::size_t count, double s) {
  overElements(count, [=](std::size_t i0, std::size_t i1) {
    for (std::size_t i = i0; i < i1; ++i) a[i] *= s;
  });
}
}  // namespace

DOTFCalculator::DOTFCalculator() {
  // The grid is the calculator's own; a square fan keeps the ray count at n².
  setFanType("square");
  setNumberOfRaysPerSideBits(4);
  setNumberOfPointsPerSideBits(4);
  m_useEqualNumberOfRaysAndPoints = true;
  setPlotSpatialFrequencyPhysicalRange(true);
  setPlotOTF(true);
  setPlotDiffractionLimit(true);
  setInterpolationOrder(2);
  // Turns the physical range off again: a new calculator plots 0 to 100 cycles per unit.
  setMaximumSpatialFrequency(100.0);
}

const platform::KeyTable& DOTFCalculator::classKeys() {
  using K = platform::Keys<DOTFCalculator>;
  using D = DOTFCalculator;
  static const platform::KeyTable table(
      &PSFCalculator::classKeys(),
      {
          K::property("numberOfRaysPerSide", &D::numberOfRaysPerSide, &D::setNumberOfRaysPerSide),
          K::property("numberOfPointsPerSide", &D::numberOfPointsPerSide, &D::setNumberOfPointsPerSide),
          K::property("numberOfRaysPerSideBits", &D::numberOfRaysPerSideBits, &D::setNumberOfRaysPerSideBits)
              .dependsOn({"numberOfRaysPerSide"}),
          K::property("numberOfPointsPerSideBits", &D::numberOfPointsPerSideBits, &D::setNumberOfPointsPerSideBits)
              .dependsOn({"numberOfPointsPerSide"}),
          K::property("useEqualNumberOfRaysAndPoints", &D::useEqualNumberOfRaysAndPoints,
                      &D::setUseEqualNumberOfRaysAndPoints),
          K::property("interpolationOrder", &D::interpolationOrder, &D::setInterpolationOrder),
          K::property("showBruteForce", &D::showBruteForce, &D::setShowBruteForce),
          K::property("usePerfectOPD", &D::usePerfectOPD, &D::setUsePerfectOPD),
          K::property("correctForAngleOfIncidence", &D::correctForAngleOfIncidence, &D::setCorrectForAngleOfIncidence),
          K::property("useNewOrdering", &D::useNewOrdering, &D::setUseNewOrdering),
          K::getter("wavefrontMin", &D::wavefrontMin),
          K::getter("wavefrontMax", &D::wavefrontMax),
          K::getter("factorX", &D::factorX),
          K::getter("factorY", &D::factorY),
      });
  return table;
}

void DOTFCalculator::willDeallocate() {
  {
    platform::Synchronized lock(this);
    m_otf.reset();
    m_pupilImages.reset();
  }
  PSFCalculator::willDeallocate();
}

// --- settings ---------------------------------------------------------------------------------------

int DOTFCalculator::bitsFor(int count) {
  int k = 0;
  while (k < 30 && (1 << k) < count) ++k;
  return k;
}

void DOTFCalculator::setNumberOfRaysPerSide(int n) {
  n = std::clamp(n, 1, 4096);
  setAndAnnounce("numberOfRaysPerSide", m_numberOfRaysPerSide, n);
  if (useEqualNumberOfRaysAndPoints()) {
    setAndAnnounce("numberOfPointsPerSide", m_numberOfPointsPerSide, n);
    setNeedsCalculation(true);
  }
  PSFCalculator::setNumberOfRays(static_cast<std::uint64_t>(n) * static_cast<std::uint64_t>(n));
}

void DOTFCalculator::setNumberOfPointsPerSide(int n) {
  n = std::clamp(n, 1, 4096);
  if (useEqualNumberOfRaysAndPoints()) {
    m_useEqualNumberOfRaysAndPoints = false;
    setNumberOfRaysPerSide(n);
    m_useEqualNumberOfRaysAndPoints = true;
  }
  setAndAnnounce("numberOfPointsPerSide", m_numberOfPointsPerSide, n);
  setNeedsCalculation(true);
}

void DOTFCalculator::setNumberOfRaysPerSideBits(int bits) {
  setNumberOfRaysPerSide(bits < 1 ? 1 : 1 << std::min(bits, 12));
}
void DOTFCalculator::setNumberOfPointsPerSideBits(int bits) {
  setNumberOfPointsPerSide(bits < 1 ? 1 : 1 << std::min(bits, 12));
}
void DOTFCalculator::setUseEqualNumberOfRaysAndPoints(bool on) {
  setAndAnnounce("useEqualNumberOfRaysAndPoints", m_useEqualNumberOfRaysAndPoints, on);
  if (on) setNumberOfPointsPerSide(numberOfRaysPerSide());
}
void DOTFCalculator::setInterpolationOrder(int order) {
  setForCalculation("interpolationOrder", m_interpolationOrder, std::clamp(order, 0, 4));
}
void DOTFCalculator::setShowBruteForce(bool on) { setForCurves("showBruteForce", m_showBruteForce, on); }
void DOTFCalculator::setUsePerfectOPD(bool on) { setForCurves("usePerfectOPD", m_usePerfectOPD, on); }
void DOTFCalculator::setCorrectForAngleOfIncidence(bool on) {
  setForCurves("correctForAngleOfIncidence", m_correctForAngleOfIncidence, on);
}
void DOTFCalculator::setUseNewOrdering(bool on) { setForCalculation("useNewOrdering", m_useNewOrdering, on); }

void DOTFCalculator::setNumberOfRays(std::uint64_t n) {
  const auto side = static_cast<std::uint64_t>(numberOfRaysPerSide());
  if (n == side * side) return PSFCalculator::setNumberOfRays(n);
  // A count typed into the rays field: the power-of-two grid that holds it.
  setNumberOfRaysPerSideBits(bitsFor(static_cast<int>(std::min<std::uint64_t>(squareSide(n), 4096))));
}

double DOTFCalculator::imageRescaleFactor() const {
  const int order = interpolationOrder();
  return order >= 1 ? std::ldexp(1.0, order + 1) : 2.0;
}

// --- the pipeline -----------------------------------------------------------------------------------

int DOTFCalculator::signedGridIndex(int n, int i, bool fftOrder) {
  if (!fftOrder) return i - n / 2;
  return i < n / 2 ? i : i - n;
}

ComplexMatrix DOTFCalculator::pupilMatrix(const PupilGrid& g) {
  const auto m = static_cast<std::size_t>(2 * std::max(g.n, 0));
  ComplexMatrix P(m, m);
  std::vector<std::uint8_t> liveRows;
  fillPupil(g, P, liveRows);
  return P;
}

ComplexMatrix DOTFCalculator::matrixInterpolatedFromFFT(const ComplexMatrix& S, int p) {
  const std::size_t f = std::size_t{1} << std::max(p, 0);
  const std::size_t R = S.nRows(), Q = S.nCols();
  ComplexMatrix out(R * f, Q * f);
  for (std::size_t i = 0; i < R; ++i) {
    const std::size_t r = i < R / 2 ? i : i + R * f - R;
    for (std::size_t j = 0; j < Q; ++j) out.atPut(r, j < Q / 2 ? j : j + Q * f - Q, S.at(i, j));
  }
  out.inPlaceInverseFFTWithFFTW();
  return out;
}

namespace {

// Fields and OTFs are recycled alike: a spare is taken only when no reader holds it; the
// oldest go beyond three (a polychromatic field needs two at once).
template <class M>
std::optional<M> takeSpare(std::vector<std::shared_ptr<const M>>& spares, std::size_t rows, std::size_t cols) {
  for (auto it = spares.begin(); it != spares.end(); ++it)
    if (it->use_count() == 1 && (*it)->nRows() == rows && (*it)->nCols() == cols) {
      M m = std::move(*std::const_pointer_cast<M>(*it));
      spares.erase(it);
      return m;
    }
  return std::nullopt;
}

template <class M>
void giveBackSpare(std::vector<std::shared_ptr<const M>>& spares, std::shared_ptr<const M> m) {
  if (!m || m->numberOfElements() == 0) return;
  spares.push_back(std::move(m));
  while (spares.size() > 3) spares.erase(spares.begin());
}

}  // namespace

std::optional<Matrix> DOTFCalculator::Workspace::take(std::size_t rows, std::size_t cols) {
  return takeSpare(spares, rows, cols);
}
void DOTFCalculator::Workspace::giveBack(std::shared_ptr<const Matrix> field) { giveBackSpare(spares, std::move(field)); }
std::optional<ComplexMatrix> DOTFCalculator::Workspace::takeTransfer(std::size_t rows, std::size_t cols) {
  return takeSpare(transferSpares, rows, cols);
}
void DOTFCalculator::Workspace::giveBackTransfer(std::shared_ptr<const ComplexMatrix> otf) {
  giveBackSpare(transferSpares, std::move(otf));
}

std::optional<Matrix> DOTFCalculator::realInterpolatedFromFFT(const ComplexMatrix& S, int p, Workspace* ws) {
  const int f = 1 << std::max(p, 0);
  const int R = static_cast<int>(S.nRows()), Q = static_cast<int>(S.nCols());
  const int RF = R * f, QF = Q * f;
  auto powerOfTwo = [](int n) { return n > 0 && (n & (n - 1)) == 0; };
  if (!powerOfTwo(RF) || !powerOfTwo(QF)) return std::nullopt;
  const auto rf = static_cast<std::size_t>(RF), qf = static_cast<std::size_t>(QF);
  Workspace local;
  Workspace& w = ws ? *ws : local;
  const StopFlag stopRequested;

  // Columns first: the padded spectrum is zero outside the Q columns that hold S, so
  // those alone need the column pass; each is kept as a contiguous row of the buffer
  // (row j: S's column j, padded to RF about zero frequency). The row pass then writes
  // the field row by row, in order.
  w.columnPass.resize(static_cast<std::size_t>(Q) * rf);  // every element is written
  XY* t = w.columnPass.data();
  const XY* s = S.rowMajorStorage();
  // Unnormalised inverse transforms; the one scale comes with the real part.
  const BatchPlan columnPlan = batchPlanFor(Pass::Rows, Q, RF, FFTW_BACKWARD, t);
  const int cb = columnPlan.batch;
  tbb::parallel_for(tbb::blocked_range<int>(0, Q / cb), [&](const tbb::blocked_range<int>& range) {
    if (stopRequested()) return;
    for (int b = range.begin(); b != range.end(); ++b) {
      const int j0 = b * cb;
      XY* to = t + static_cast<std::size_t>(j0) * rf;
      std::fill(to, to + static_cast<std::size_t>(cb) * rf, XY{0, 0});
      for (int i = 0; i < R; ++i) {
        const std::size_t r = static_cast<std::size_t>(i < R / 2 ? i : i + RF - R);
        const XY* from = s + static_cast<std::size_t>(i) * static_cast<std::size_t>(Q) + static_cast<std::size_t>(j0);
        for (int k = 0; k < cb; ++k) to[static_cast<std::size_t>(k) * rf + r] = from[k];
      }
      auto* at = reinterpret_cast<fftw_complex*>(to);
      fftw_execute_dft(columnPlan.plan, at, at);
    }
  });
  if (stopRequested()) return std::nullopt;

  // A field no reader holds any more lends its storage (every element is written).
  std::optional<Matrix> spare = ws ? ws->take(rf, qf) : std::nullopt;
  Matrix out = spare ? std::move(*spare) : Matrix(rf, qf);
  double* o = out.rowMajorStorage();
  const double scale = 1.0 / (static_cast<double>(RF) * static_cast<double>(QF));

  // Rows in blocks of 8: row j of the buffer gives each row of the block one element,
  // and each pool thread slot keeps its own block from run to run.
  constexpr int kBlock = 8;
  const int slots = std::max(tbb::this_task_arena::max_concurrency(), 1);
  if (w.rowBlocks.size() < static_cast<std::size_t>(slots)) w.rowBlocks.resize(static_cast<std::size_t>(slots));
  for (ComplexMatrix& c : w.rowBlocks)
    if (c.nRows() != static_cast<std::size_t>(kBlock) || c.nCols() != qf) c = ComplexMatrix(kBlock, qf);
  const BatchPlan rowPlan = batchPlanFor(Pass::Rows, kBlock, QF, FFTW_BACKWARD, w.rowBlocks.front().rowMajorStorage());
  const int blocks = (RF + kBlock - 1) / kBlock;
  tbb::parallel_for(tbb::blocked_range<int>(0, blocks, 2), [&](const tbb::blocked_range<int>& range) {
    if (stopRequested()) return;
    const int slot = tbb::this_task_arena::current_thread_index();
    std::optional<ComplexMatrix> own;
    if (slot < 0 || slot >= static_cast<int>(w.rowBlocks.size())) own.emplace(kBlock, qf);
    XY* block = (own ? *own : w.rowBlocks[static_cast<std::size_t>(slot)]).rowMajorStorage();
    for (int b = range.begin(); b != range.end(); ++b) {
      const int r0 = b * kBlock, height = std::min(kBlock, RF - r0);
      std::fill(block, block + static_cast<std::size_t>(kBlock) * qf, XY{0, 0});
      for (int j = 0; j < Q; ++j) {
        const std::size_t c = static_cast<std::size_t>(j < Q / 2 ? j : j + QF - Q);
        const XY* from = t + static_cast<std::size_t>(j) * rf + static_cast<std::size_t>(r0);
        for (int k = 0; k < height; ++k) block[static_cast<std::size_t>(k) * qf + c] = from[k];
      }
      for (int k = 0; k < kBlock; k += rowPlan.batch) {
        auto* at = reinterpret_cast<fftw_complex*>(block + static_cast<std::size_t>(k) * qf);
        fftw_execute_dft(rowPlan.plan, at, at);
      }
      for (int k = 0; k < height; ++k)
        storeRealParts(o + static_cast<std::size_t>(r0 + k) * qf, block + static_cast<std::size_t>(k) * qf, qf, scale);
    }
    storesDone();
  });
  if (stopRequested()) return std::nullopt;
  return out;
}

std::optional<DOTFCalculator::Transfer> DOTFCalculator::transferForGrid(const PupilGrid& g, int order,
                                                                        std::string* problem, Workspace* ws,
                                                                        bool withIntensity) {
  Transfer t;
  t.stepX = g.stepX;
  t.stepY = g.stepY;
  bool any = false;
  for (std::size_t k = 0; k < g.alive.size(); ++k) {
    if (!g.alive[k]) continue;
    t.wavefrontMin = any ? std::min(t.wavefrontMin, g.opd[k]) : g.opd[k];
    t.wavefrontMax = any ? std::max(t.wavefrontMax, g.opd[k]) : g.opd[k];
    any = true;
  }
  // No light through the pupil: no point spread, and the OTF's normalisation would
  // divide by zero.
  if (!any || !(g.wavelength > 0)) {
    if (problem) *problem = any ? "no wavelength" : "no ray passes the pupil";
    return std::nullopt;
  }
  Workspace local;
  Workspace& w = ws ? *ws : local;
  const auto m = static_cast<std::size_t>(2 * g.n);
  // An earlier OTF nobody reads any more holds the pupil, then becomes this OTF.
  std::optional<ComplexMatrix> spare = w.takeTransfer(m, m);
  ComplexMatrix field = spare ? std::move(*spare) : ComplexMatrix(m, m);
  std::vector<std::uint8_t> liveRows;
  fillPupil(g, field, liveRows);
  if (!transform2D(field, FFTW_FORWARD, &liveRows)) return std::nullopt;
  XY* v = field.rowMajorStorage();
  const std::size_t count = field.numberOfElements();
  overElements(count, [v](std::size_t i0, std::size_t i1) {
    for (std::size_t i = i0; i < i1; ++i) v[i] = XY{v[i].x * v[i].x + v[i].y * v[i].y, 0};
  });
  if (withIntensity && order <= 0) {
    std::optional<Matrix> fieldSpare = w.take(m, m);
    t.intensity = fieldSpare ? std::move(*fieldSpare) : Matrix(m, m);
    double* to = t.intensity.rowMajorStorage();
    overElements(count, [v, to](std::size_t i0, std::size_t i1) {
      for (std::size_t i = i0; i < i1; ++i) to[i] = v[i].x;
    });
  }
  // The intensity's spectrum. The intensity is real, so its inverse transform, the OTF,
  // is the spectrum's conjugate over the number of elements: one transform serves both.
  if (!transform2D(field, FFTW_FORWARD)) return std::nullopt;
  if (withIntensity && order > 0) {
    if (auto fine = realInterpolatedFromFFT(field, order, ws))
      t.intensity = std::move(*fine);
    else if (platform::currentThreadIsCancelled())
      return std::nullopt;
    else
      t.intensity = matrixInterpolatedFromFFT(field, order).re();
  }
  const double zero = field.at(0, 0).x;
  if (!(zero > 0) || !std::isfinite(zero)) {
    if (problem) *problem = "the point-spread function has no energy";
    return std::nullopt;
  }
  const double s = 1 / zero;
  overElements(count, [v, s](std::size_t i0, std::size_t i1) {
    for (std::size_t i = i0; i < i1; ++i) v[i] = XY{v[i].x * s, -v[i].y * s};
  });
  t.otf = std::move(field);
  t.spectrumZero = zero;
  return t;
}

DOTFCalculator::CubicTaps DOTFCalculator::cubicTaps(double t) {
  CubicTaps c;
  const double i = std::floor(t), f = t - i;
  c.first = static_cast<int>(i) - 1;
  c.w[0] = ((-0.5 * f + 1) * f - 0.5) * f;
  c.w[1] = (1.5 * f - 2.5) * f * f + 1;
  c.w[2] = ((-1.5 * f + 2) * f + 0.5) * f;
  c.w[3] = (0.5 * f - 0.5) * f * f;
  return c;
}

ComplexMatrix DOTFCalculator::resampledOTF(const ComplexMatrix& otf, double ratioX, double ratioY) {
  const int m = static_cast<int>(otf.nRows()), n = m / 2;
  const auto M = static_cast<std::size_t>(m);
  ComplexMatrix rows(M, M), out(M, M);
  if (m == 0 || otf.nCols() != M) return out;
  // Signed sample k of an axis, zero at and beyond the cut-off (sample n): the grid's
  // autocorrelation ends there, and the upper half of the axis is the negative samples.
  auto place = [m, n](int k) { return k <= -n || k >= n ? -1 : (k + m) % m; };
  const XY* a = otf.rowMajorStorage();
  XY* r = rows.rowMajorStorage();
  // Along rows (pupil x) first, one output row per task; then along columns.
  tbb::parallel_for(0, m, [&](int i) {
    const CubicTaps taps = cubicTaps(foundation::fftSignedFrequency(m, i) * ratioX);
    XY* to = r + static_cast<std::size_t>(i) * M;
    std::fill(to, to + M, XY{0, 0});
    for (int k = 0; k < 4; ++k) {
      const int from = place(taps.first + k);
      if (from < 0 || taps.w[k] == 0) continue;
      const XY* row = a + static_cast<std::size_t>(from) * M;
      const double w = taps.w[k];
      for (std::size_t j = 0; j < M; ++j) to[j] = XY{to[j].x + w * row[j].x, to[j].y + w * row[j].y};
    }
  });
  std::vector<CubicTaps> columnTaps(M);
  for (int j = 0; j < m; ++j) columnTaps[static_cast<std::size_t>(j)] = cubicTaps(foundation::fftSignedFrequency(m, j) * ratioY);
  XY* o = out.rowMajorStorage();
  tbb::parallel_for(0, m, [&](int i) {
    const XY* from = r + static_cast<std::size_t>(i) * M;
    XY* to = o + static_cast<std::size_t>(i) * M;
    for (std::size_t j = 0; j < M; ++j) {
      const CubicTaps& taps = columnTaps[j];
      XY sum{0, 0};
      for (int k = 0; k < 4; ++k) {
        const int c = place(taps.first + k);
        if (c >= 0) sum = XY{sum.x + taps.w[k] * from[c].x, sum.y + taps.w[k] * from[c].y};
      }
      to[j] = sum;
    }
  });
  return out;
}

namespace {
// sum += weight · resampledOTF(otf, ratioX, ratioY), the same sums row by row: one row
// of each pass at a time instead of the two whole grids.
void addResampledOTF(ComplexMatrix& sum, const ComplexMatrix& otf, double ratioX, double ratioY, double weight) {
  const int m = static_cast<int>(otf.nRows()), n = m / 2;
  const auto M = static_cast<std::size_t>(m);
  if (m == 0 || otf.nCols() != M || sum.nRows() != M || sum.nCols() != M) return;
  auto place = [m, n](int k) { return k <= -n || k >= n ? -1 : (k + m) % m; };
  std::vector<DOTFCalculator::CubicTaps> columnTaps(M);
  for (int j = 0; j < m; ++j)
    columnTaps[static_cast<std::size_t>(j)] = DOTFCalculator::cubicTaps(foundation::fftSignedFrequency(m, j) * ratioY);
  const XY* a = otf.rowMajorStorage();
  XY* s = sum.rowMajorStorage();
  tbb::parallel_for(tbb::blocked_range<int>(0, m, 8), [&](const tbb::blocked_range<int>& range) {
    std::vector<XY> to(M);
    for (int i = range.begin(); i != range.end(); ++i) {
      // Along rows (pupil x), then along columns, as resampledOTF.
      const DOTFCalculator::CubicTaps taps = DOTFCalculator::cubicTaps(foundation::fftSignedFrequency(m, i) * ratioX);
      std::fill(to.begin(), to.end(), XY{0, 0});
      for (int k = 0; k < 4; ++k) {
        const int from = place(taps.first + k);
        if (from < 0 || taps.w[k] == 0) continue;
        const XY* row = a + static_cast<std::size_t>(from) * M;
        const double w = taps.w[k];
        for (std::size_t j = 0; j < M; ++j) to[j] = XY{to[j].x + w * row[j].x, to[j].y + w * row[j].y};
      }
      XY* out = s + static_cast<std::size_t>(i) * M;
      for (std::size_t j = 0; j < M; ++j) {
        const DOTFCalculator::CubicTaps& t = columnTaps[j];
        XY v{0, 0};
        for (int k = 0; k < 4; ++k) {
          const int c = place(t.first + k);
          if (c >= 0) v = XY{v.x + t.w[k] * to[static_cast<std::size_t>(c)].x, v.y + t.w[k] * to[static_cast<std::size_t>(c)].y};
        }
        out[j] = XY{out[j].x + weight * v.x, out[j].y + weight * v.y};
      }
    }
  });
}
}  // namespace

std::optional<Matrix> DOTFCalculator::intensityFromOTF(const ComplexMatrix& otf, double spectrumZero, int order,
                                                      Workspace* ws) {
  // The OTF is the conjugate of the intensity's spectrum over its zero-frequency sum.
  ComplexMatrix spectrum(otf.nRows(), otf.nCols());
  const XY* from = otf.rowMajorStorage();
  XY* to = spectrum.rowMajorStorage();
  overElements(otf.numberOfElements(), [=](std::size_t i0, std::size_t i1) {
    for (std::size_t i = i0; i < i1; ++i) to[i] = XY{from[i].x * spectrumZero, -from[i].y * spectrumZero};
  });
  if (auto fine = realInterpolatedFromFFT(spectrum, std::max(order, 0), ws)) return fine;
  if (platform::currentThreadIsCancelled()) return std::nullopt;
  return matrixInterpolatedFromFFT(spectrum, std::max(order, 0)).re();
}

// --- rays ---------------------------------------------------------------------------------------------

tracing::pupil::Points DOTFCalculator::pupilCoordinatesForRealRays() const {
  const auto n = static_cast<std::uint32_t>(numberOfRaysPerSide());
  return useNewOrdering() ? tracing::pupil::fftPointsInFourSquare(n, n) : tracing::pupil::pointsInFourSquare(n, n);
}

void DOTFCalculator::traceRays() {
  if (TracedBundle* start = workingInitialBundle(); start && !start->pupil.empty()) {
    tracing::RayBundle& b = start->rays;
    const std::size_t per = start->pupil.size();
    for (std::size_t i = 0; i < b.size(); ++i) {
      const XY p = start->pupil[i % per];
      if (b.alive[i] && p.x * p.x + p.y * p.y > 1) {
        b.alive[i] = 0;
        b.causeOfDeath[i] = kOutsidePupil;
      }
    }
  }
  PSFCalculator::traceRays();
}

std::vector<std::size_t> DOTFCalculator::rowsFor(const tracing::RayBundle& b, const lens::Field* field,
                                                 const lens::Wave* wave) {
  // Which of the bundle's field and wave indexes match, looked up once rather than per row.
  std::vector<std::uint8_t> fieldMatches(b.fields.size()), waveMatches(b.waves.size());
  for (std::size_t k = 0; k < b.fields.size(); ++k) fieldMatches[k] = !field || b.fields[k].get() == field;
  for (std::size_t k = 0; k < b.waves.size(); ++k) waveMatches[k] = !wave || b.waves[k].get() == wave;
  auto matches = [&](std::size_t i) {
    if (field && (b.field[i] >= fieldMatches.size() || !fieldMatches[b.field[i]])) return false;
    if (wave && (b.wave[i] >= waveMatches.size() || !waveMatches[b.wave[i]])) return false;
    return true;
  };
  // Each chunk counts its rows, then writes them from its offset: rows in order.
  std::vector<std::size_t> offsets(analysis::chunkCount(b.size()) + 1, 0);
  analysis::parallelChunks(b.size(), [&](std::size_t chunk, std::size_t begin, std::size_t end) {
    std::size_t count = 0;
    for (std::size_t i = begin; i < end; ++i) count += matches(i) ? 1 : 0;
    offsets[chunk + 1] = count;
  });
  for (std::size_t k = 1; k < offsets.size(); ++k) offsets[k] += offsets[k - 1];
  std::vector<std::size_t> rows(offsets.back());
  analysis::parallelChunks(b.size(), [&](std::size_t chunk, std::size_t begin, std::size_t end) {
    std::size_t at = offsets[chunk];
    for (std::size_t i = begin; i < end; ++i)
      if (matches(i)) rows[at++] = i;
  });
  return rows;
}

XYZ DOTFCalculator::centroidOf(const tracing::RayBundle& b, std::span<const std::size_t> rows) const {
  // The live rows' mean, summed in row order as OPDCalculator's centroids do, straight
  // from the columns (no per-row copies of the ray states).
  const bool momenta = afocal();
  const double* x = momenta ? b.px.data() : b.qx.data();
  const double* y = momenta ? b.py.data() : b.qy.data();
  const double* z = momenta ? b.pz.data() : b.qz.data();
  XYZ c{0, 0, 0};
  std::size_t n = 0;
  for (std::size_t i : rows)
    if (b.alive[i]) c = {c.x + x[i], c.y + y[i], c.z + z[i]}, ++n;
  return n ? XYZ{c.x / n, c.y / n, c.z / n} : XYZ{0, 0, 0};
}

std::optional<DOTFCalculator::PupilGrid> DOTFCalculator::gridForRows(const tracing::RayBundle& b,
                                                                     std::span<const std::size_t> rows,
                                                                     const XYZ& centroid, std::string* problem) {
  const int n = numberOfRaysPerSide();
  if (rows.empty()) return std::nullopt;
  if (n != numberOfPointsPerSide()) {
    if (problem) *problem = "the rays and points per side differ";
    return std::nullopt;
  }
  if (rows.size() != static_cast<std::size_t>(n) * n) return std::nullopt;  // traced for another grid
  const bool fftOrder = useNewOrdering();
  const std::size_t r0 = fftOrder ? 0 : static_cast<std::size_t>((n + 1) * n / 2);

  // The momentum steps to the grid neighbours of the reference ray.
  auto momentumAt = [&](std::ptrdiff_t k) {
    return k >= 0 && static_cast<std::size_t>(k) < rows.size() ? momentumOf(b, rows[static_cast<std::size_t>(k)])
                                                              : XYZ{0, 0, 0};
  };
  const auto ref = static_cast<std::ptrdiff_t>(r0);
  const XYZ m0 = momentumAt(ref);
  const XYZ rowNeighbour = momentumAt(fftOrder ? ref + n : ref - n);
  const XYZ columnNeighbour = momentumAt(fftOrder ? ref + 1 : ref - 1);
  double fx = length({rowNeighbour.x - m0.x, rowNeighbour.y - m0.y, rowNeighbour.z - m0.z});
  double fy = length({columnNeighbour.x - m0.x, columnNeighbour.y - m0.y, columnNeighbour.z - m0.z});
  if (correctForAngleOfIncidence()) {
    // The surface's normal where the run's first live ray met it (+z without one).
    XYZ N{0, 0, 1};
    if (const BundlePtr traced = tracedBundle(); traced && &traced->rays == &b)
      for (std::size_t row : rows)
        if (const tracing::Ray* lead = traced->leadRay(row)) {
          N = lead->surfaceNormal();
          break;
        }
    const double sx = std::hypot(m0.x, m0.z), sy = std::hypot(m0.y, m0.z);
    // The cosine of the incidence, whichever way the surface's normal points.
    if (sx > 0) fx *= std::abs(N.x * m0.x + N.z * m0.z) / sx;
    if (sy > 0) fy *= std::abs(N.y * m0.y + N.z * m0.z) / sy;
  }
  m_factorX = fx;
  m_factorY = fy;

  // The exit-pupil centre in the frame the rays were traced into.
  XYZ E{0, 0, 0};
  if (const analysis::LensPtr l = lens()) {
    E = tracing::exitPupilCenter(*l);
    if (useLocalCoordinates()) {
      const SurfacePtr target = surfaceOfInterest();
      E = target ? target->transform().transformFromGlobal(E) : XYZ{0, 0, 0};
    }
  }
  // The rows' states as OPDCalculator::statesOfRows makes them, in storage kept from run to run.
  std::vector<OPDCalculator::RayState>& states = m_workspace.states;
  states.resize(rows.size());
  overElements(rows.size(), [&](std::size_t k0, std::size_t k1) {
    for (std::size_t k = k0; k < k1; ++k) {
      const std::size_t i = rows[k];
      states[k] = {{b.qx[i], b.qy[i], b.qz[i]}, {b.px[i], b.py[i], b.pz[i]}, b.opticalPathLength[i], b.alive[i] != 0};
    }
  });
  OPDCalculator::Series series = afocal() ? OPDCalculator::afocalOpdSeries(states, E, r0, centroid)
                                          : OPDCalculator::opdSeries(states, E, r0, centroid);
  if (series.opd.count() == 0) return std::nullopt;

  PupilGrid g;
  g.n = n;
  g.fftOrder = fftOrder;
  g.opd.assign(series.opd.begin(), series.opd.end());
  g.alive.resize(rows.size());
  const bool perfect = usePerfectOPD();
  for (std::size_t k = 0; k < rows.size(); ++k) {
    // A ray that misses the reference sphere has no phase: it is left dark.
    g.alive[k] = b.alive[rows[k]] && std::isfinite(g.opd[k]) ? 1 : 0;
    if (perfect || !g.alive[k]) g.opd[k] = 0;
  }
  if (series.invalid && problem)
    *problem = std::to_string(series.invalid) + " rays miss the reference sphere and are left dark";
  const std::size_t last = rows.back();
  g.wavelength = b.wave[last] < b.waves.size() && b.waves[b.wave[last]]
                     ? b.waves[b.wave[last]]->wavelengthInMillimeters()
                     : 0.0;
  // A pupil cell is a step of fx (fy) in image-space direction cosines, so one sample of
  // the OTF is fx/λ cycles per mm. Afocal, or where the steps can't be measured, the
  // paraxial step of the primary wave scaled to this wavelength stands in.
  double primary = 0;
  if (const analysis::LensPtr l = lens())
    if (const auto p = l->primaryWave()) primary = p->wavelengthInMillimeters();
  const double fallback = g.wavelength > 0 ? referenceStep() * primary / g.wavelength : 0.0;
  auto step = [&](double factor) {
    const double s = factor / g.wavelength;
    return !afocal() && std::isfinite(s) && s > 0 ? s : fallback;
  };
  g.stepX = step(fx);
  g.stepY = step(fy);
  return g;
}

double DOTFCalculator::wavelengthRatio() const {
  const analysis::LensPtr l = lens();
  const WavePtr wave = waveOfInterest();
  const auto primary = l ? l->primaryWave() : nullptr;
  if (!wave || !primary) return 1;
  const double r = wave->wavelengthInMillimeters() / primary->wavelengthInMillimeters();
  return std::isfinite(r) && r > 0 ? r : 1.0;
}

double DOTFCalculator::referenceStep() const {
  const analysis::LensPtr l = lens();
  const int n = numberOfPointsPerSide();
  if (!l || n <= 0) return 0;
  const double scale = afocal() ? tracing::diffractionAngle(*l) : tracing::diffractionLength(*l);
  return isUsableScale(scale) ? 2 / (scale * n) : 0.0;
}

double DOTFCalculator::frequencyRatio(int direction) const {
  const double step = direction ? m_stepY.load() : m_stepX.load();
  const double ratio = step / referenceStep();
  return std::isfinite(ratio) && ratio > 0 ? ratio : 1.0;
}

double DOTFCalculator::fieldPitchMM(int direction) const {
  return PSFCalculator::fieldPitchMM(direction) / frequencyRatio(direction);
}
double DOTFCalculator::fieldPitchInUserUnits(int direction) const {
  return PSFCalculator::fieldPitchInUserUnits(direction) / frequencyRatio(direction);
}

void DOTFCalculator::setTransfer(Transfer t, int order, bool average) {
  m_wavefrontMin = t.wavefrontMin;
  m_wavefrontMax = t.wavefrontMax;
  m_stepX = t.stepX;
  m_stepY = t.stepY;
  auto otf = std::make_shared<const ComplexMatrix>(std::move(t.otf));
  // An MTF run made no field: none is on show rather than an empty one.
  FieldMatrix field =
      t.intensity.numberOfElements() ? std::make_shared<const Matrix>(std::move(t.intensity)) : nullptr;
  {
    platform::Synchronized lock(this);
    m_workspace.giveBackTransfer(std::move(m_otf));
    m_otf = std::move(otf);
    m_spectrumZero = t.spectrumZero;
    m_transferOrder = order;
    m_transferIsAverage = average;
    // The field replaced here is the next run's storage once nobody reads it any more.
    FieldMatrix previous = intensityField();
    setIntensityField(std::move(field));
    m_workspace.giveBack(std::move(previous));
  }
}

std::shared_ptr<const ComplexMatrix> DOTFCalculator::opticalTransferFunction() const {
  platform::Synchronized lock(this);
  return m_otf;
}

void DOTFCalculator::releaseTransferForReuse() {
  std::shared_ptr<const DOTFPupilImages> replaced;
  {
    platform::Synchronized lock(this);
    m_workspace.giveBackTransfer(std::exchange(m_otf, nullptr));
    if (m_pupilImages && m_pupilImages->otf) {
      auto kept = std::make_shared<DOTFPupilImages>(*m_pupilImages);
      kept->otf.reset();
      replaced = std::exchange(m_pupilImages, std::move(kept));
    }
  }
  // Outside the lock, as recordPupilImages drops its data.
  replaced.reset();
}

void DOTFCalculator::releaseIntensityStorage() {
  FieldMatrix previous;
  {
    platform::Synchronized lock(this);
    previous = intensityField();
    setIntensityField(nullptr);
  }
  previous.reset();
  m_workspace.spares.clear();
  tracing::detail::Column<XY>().swap(m_workspace.columnPass);
  m_workspace.rowBlocks.clear();
}

bool DOTFCalculator::generateOpticalTransferFunctionForRows(const tracing::RayBundle& b,
                                                            std::span<const std::size_t> rows, const XYZ& centroid,
                                                            std::string* problem) {
  auto grid = gridForRows(b, rows, centroid, problem);
  if (!grid) return false;
  const int order = interpolationOrder();
  const bool withIntensity = needsIntensityField();
  if (!withIntensity) releaseIntensityStorage();
  releaseTransferForReuse();
  std::string why;
  auto transfer = transferForGrid(*grid, order, &why, &m_workspace, withIntensity);
  if (!transfer) {
    if (problem) *problem = why;
    return false;
  }
  setTransfer(std::move(*transfer), order, false);
  recordPupilImages(std::move(*grid));
  return true;
}

std::optional<std::vector<double>> DOTFCalculator::waveWeights(const std::vector<WavePtr>& waves) const {
  std::vector<double> w;
  double sum = 0;
  for (const WavePtr& wave : waves) {
    double weight = wave ? wave->weight() : 0.0;
    if (weight == 0 && waves.size() == 1) weight = 1;
    w.push_back(weight);
    sum += weight;
  }
  if (!(sum > 0) || !std::isfinite(sum)) return std::nullopt;
  return w;
}

bool DOTFCalculator::generatePolychromaticOpticalTransferFunctionForField(const FieldPtr& field,
                                                                         std::string* problem) {
  const BundlePtr traced = tracedBundle();
  if (!traced || !field) return false;
  const tracing::RayBundle& b = traced->rays;
  const auto waves = wavesOfInterest();
  const auto weights = waveWeights(waves);
  if (!weights) {
    if (problem) *problem = "the weights of its wavelengths sum to zero";
    return false;
  }
  const auto all = rowsFor(b, field.get(), nullptr);
  const XYZ centroid = centroidOf(b, all);
  const int order = interpolationOrder();
  const bool withIntensity = needsIntensityField();
  // Each wave's OTF on its own grid (sample s at s·step, the step ∝ 1/λ); the average is
  // taken at common frequencies: the finest waves' steps, which hold every wave's cut-off.
  // Every wave's grid comes first (n² cells, small beside an OTF), so that the steps are
  // known before any OTF is made: each is added to the average as soon as it is made,
  // and its storage serves the next wave's.
  struct Part {
    PupilGrid grid;
    double weight = 0;
    std::string problem;  // the last said of this wave, as the waves are taken in order
  };
  std::vector<Part> parts;
  for (std::size_t w = 0; w < waves.size(); ++w) {
    if (platform::currentThreadIsCancelled()) return false;
    if ((*weights)[w] == 0) continue;
    const auto rows = rowsFor(b, field.get(), waves[w].get());
    Part part;
    auto grid = gridForRows(b, rows, centroid, &part.problem);
    part.weight = (*weights)[w];
    if (grid) part.grid = std::move(*grid);
    parts.push_back(std::move(part));
  }
  auto sayProblems = [&] {
    if (problem)
      for (const Part& part : parts)
        if (!part.problem.empty()) *problem = part.problem;
  };
  // A grid without light or wavelength makes no OTF (transferForGrid says why) and has
  // no say in the common steps.
  auto makesTransfer = [](const PupilGrid& g) {
    return g.n > 0 && g.wavelength > 0 && std::any_of(g.alive.begin(), g.alive.end(), [](auto a) { return a != 0; });
  };
  Transfer sum;
  for (const Part& part : parts)
    if (makesTransfer(part.grid)) {
      sum.stepX = std::max(sum.stepX, part.grid.stepX);
      sum.stepY = std::max(sum.stepY, part.grid.stepY);
    }
  if (!withIntensity) releaseIntensityStorage();
  releaseTransferForReuse();
  double total = 0, zero = 0;
  bool any = false;
  std::optional<PupilGrid> lastGrid;  // the pupil images show the last wave's grid
  for (Part& part : parts) {
    if (platform::currentThreadIsCancelled()) return false;
    if (part.grid.n <= 0) continue;
    std::string why;
    auto t = transferForGrid(part.grid, order, &why, &m_workspace, false);
    if (!t) {
      part.problem = why;
      continue;
    }
    if (!any) {
      const auto rows = t->otf.nRows(), cols = t->otf.nCols();
      std::optional<ComplexMatrix> spare = m_workspace.takeTransfer(rows, cols);
      if (spare)
        std::fill(spare->rowMajorStorage(), spare->rowMajorStorage() + spare->numberOfElements(), XY{0, 0});
      sum.otf = spare ? std::move(*spare) : ComplexMatrix(rows, cols);
      sum.wavefrontMin = t->wavefrontMin;
      sum.wavefrontMax = t->wavefrontMax;
      any = true;
    }
    if (t->stepX != sum.stepX || t->stepY != sum.stepY)
      addResampledOTF(sum.otf, t->otf, sum.stepX / t->stepX, sum.stepY / t->stepY, part.weight);
    else
      addScaled(reinterpret_cast<double*>(sum.otf.rowMajorStorage()),
                reinterpret_cast<const double*>(t->otf.rowMajorStorage()), 2 * t->otf.numberOfElements(), part.weight);
    sum.wavefrontMin = std::min(sum.wavefrontMin, t->wavefrontMin);
    sum.wavefrontMax = std::max(sum.wavefrontMax, t->wavefrontMax);
    zero += part.weight * t->spectrumZero;
    total += part.weight;
    m_workspace.giveBackTransfer(std::make_shared<const ComplexMatrix>(std::move(t->otf)));
    lastGrid = std::move(part.grid);
  }
  sayProblems();
  if (!any || platform::currentThreadIsCancelled()) return false;
  if (!(total > 0)) return false;
  scaleAll(reinterpret_cast<double*>(sum.otf.rowMajorStorage()), 2 * sum.otf.numberOfElements(), 1 / total);
  sum.spectrumZero = zero / total;
  // The weighted point spread is the transform of the weighted OTF, on its common grid.
  if (withIntensity) {
    auto intensity = intensityFromOTF(sum.otf, sum.spectrumZero, order, &m_workspace);
    if (!intensity) return false;
    sum.intensity = std::move(*intensity);
  }
  setTransfer(std::move(sum), order, true);
  recordPupilImages(std::move(*lastGrid));
  return true;
}

// --- curves ---------------------------------------------------------------------------------------------

Array DOTFCalculator::extractCurvesForDirection(int d, const FieldPtr& field, const WavePtr& wave) {
  const auto otf = opticalTransferFunction();
  if (!otf || !field) return {};
  const auto n = static_cast<std::size_t>(numberOfPointsPerSide());
  VKSeries x(n + 1), modulus(n + 1), re(n + 1), im(n + 1);
  // The transfer's own step: another wavelength's cut-off, an oblique field's pupil.
  const double delta = diffractionLimitSpatialFrequencyInUserUnits() / static_cast<double>(n) * frequencyRatio(d);
  for (std::size_t i = 0; i <= n; ++i) {
    // Tangential (direction 1): along the first row, the pupil's y; sagittal: the first column.
    const XY v = d == 1 ? otf->at(0, i) : otf->at(i, 0);
    x.atPut(i, static_cast<double>(i) * delta);
    modulus.atPut(i, std::hypot(v.x, v.y));
    re.atPut(i, v.x);
    im.atPut(i, v.y);
  }
  if (resampleCurves() && std::isfinite(delta) && delta > 0) {
    auto r = foundation::Resampler::resampleComplexFunction(x, modulus, re, im);
    x = std::move(r.x), modulus = std::move(r.magnitude), re = std::move(r.re), im = std::move(r.im);
  }
  const std::string base =
      wave ? field->shortDescription() + " " + wave->wavelengthShortString() : field->shortDescription();
  const bool byWave = fieldsOfInterest().size() < 2 && wave;
  const char* tag = d ? " (T" : " (S";
  Dictionary m{{plot::kXSeries, SeriesValue::make(x)},
               {plot::kYSeries, SeriesValue::make(std::move(modulus))},
               {plot::kLineWidth, 2.0},
               {plot::kField, Value(field)},
               {plot::kLayer, Value(byWave ? wave->description() : field->description())},
               {plot::kName, base + tag + ")"},
               {plot::kYLabel, "MTF"},
               {plot::kUpdateColor, true}};
  if (wave) m.set(Value(plot::kWave), Value(wave));
  if (!d) m.set(Value(plot::kDashed), true);
  m.set(Value(plot::kColor), Value(colorForDictionary(m)));
  Array out{Value(std::move(m))};
  if (plotComplex()) {
    auto part = [&](VKSeries y, const char* suffix, std::shared_ptr<platform::Color> color, const char* label) {
      Dictionary c{{plot::kXSeries, SeriesValue::make(x)},
                   {plot::kYSeries, SeriesValue::make(std::move(y))},
                   {plot::kColor, Value(color)},
                   {plot::kName, base + tag + suffix + ")"},
                   {plot::kYLabel, label}};
      if (!d) c.set(Value(plot::kDashed), true);
      out.push_back(Value(std::move(c)));
    };
    part(std::move(re), "r", platform::Color::make(0, 1, 1), "Re");
    part(std::move(im), "i", platform::Color::make(1, 0, 1), "Im");
  }
  return out;
}

bool DOTFCalculator::forEachFieldTransfer(std::vector<std::string>& problems,
                                          const std::function<void(const FieldPtr&)>& each) {
  const BundlePtr traced = tracedBundle();
  const WavePtr wave = waveOfInterest();
  for (const FieldPtr& field : fieldsOfInterest()) {
    if (platform::currentThreadIsCancelled()) return false;
    if (!field) continue;
    std::string problem;
    bool made = false;
    if (wave) {
      if (traced) {
        const auto rows = rowsFor(traced->rays, field.get(), wave.get());
        made = generateOpticalTransferFunctionForRows(traced->rays, rows,
                                                      centroidOf(traced->rays, rows), &problem);
      }
    } else {
      made = generatePolychromaticOpticalTransferFunctionForField(field, &problem);
    }
    if (platform::currentThreadIsCancelled()) return false;
    if (!problem.empty()) problems.push_back("Field " + field->shortDescription() + ": " + problem);
    if (made) each(field);
  }
  return !platform::currentThreadIsCancelled();
}

double DOTFCalculator::bytesForRun(bool withRays) const {
  const double n = std::max(numberOfPointsPerSide(), 1), rays = std::max(numberOfRaysPerSide(), 1);
  const double side = 2 * n * std::ldexp(1.0, std::max(interpolationOrder(), 0));
  const double fields = static_cast<double>(std::max<std::size_t>(fieldsOfInterest().size(), 1));
  const double waves = static_cast<double>(std::max<std::size_t>(wavesOfInterest().size(), 1));
  // One OTF grid (2n × 2n complex) is made in place; an averaged field holds its sum and
  // one wave's OTF at once, and every wave's grid of OPDs and flags.
  const double grid = 4 * n * n * 16;
  const bool average = !waveOfInterest();
  double bytes = average ? 2 * grid + waves * n * n * 9 : grid;
  if (needsIntensityField()) {
    // Fields: the new one, the one on show, three spares, and one cached per field for
    // the line spread and the sections. The interpolation's column pass holds 2n columns
    // of the fine side; an average's field is made from a copy of its spectrum.
    bytes += (5 + fields) * side * side * 8 + 2 * n * side * 16 + (average ? grid : 0);
  }
  // A ray is about 160 bytes in columns.
  if (withRays) bytes += rays * rays * fields * waves * 160;
  return bytes;
}

double DOTFCalculator::availableMemory() {
  if (std::FILE* f = std::fopen("/proc/meminfo", "r")) {
    char line[256];
    double kB = -1;
    while (std::fgets(line, sizeof line, f))
      if (std::sscanf(line, "MemAvailable: %lf kB", &kB) == 1) break;
    std::fclose(f);
    if (kB >= 0) return kB * 1024;
  }
  const long pages = ::sysconf(_SC_AVPHYS_PAGES), size = ::sysconf(_SC_PAGE_SIZE);
  return pages > 0 && size > 0 ? static_cast<double>(pages) * static_cast<double>(size)
                               : std::numeric_limits<double>::infinity();
}

double DOTFCalculator::memoryBudget() const {
  if (const double b = m_memoryBudget.load(); b > 0) return b;
  return availableMemory();
}

double DOTFCalculator::heldBytes() const {
  std::set<const void*> seen;
  double bytes = 0;
  auto count = [&](const void* p, double size) {
    if (p && seen.insert(p).second) bytes += size;
  };
  auto field = [&](const std::shared_ptr<const Matrix>& m) {
    if (m) count(m.get(), static_cast<double>(m->numberOfElements()) * sizeof(double));
  };
  auto transfer = [&](const std::shared_ptr<const ComplexMatrix>& m) {
    if (m) count(m.get(), static_cast<double>(m->numberOfElements()) * sizeof(XY));
  };
  field(intensityField());
  transfer(opticalTransferFunction());
  for (const auto& m : m_workspace.spares) field(m);
  for (const auto& m : m_workspace.transferSpares) transfer(m);
  bytes += static_cast<double>(m_workspace.columnPass.capacity()) * sizeof(XY);
  return bytes;
}

std::optional<std::string> DOTFCalculator::memoryProblem(bool withRays) const {
  const double needed = bytesForRun(withRays);
  const double available = memoryBudget() + heldBytes();
  if (needed <= available) return std::nullopt;
  auto size = [](double bytes) {
    return bytes >= 1e9 ? platform::format("%.1f GB", bytes / 1e9) : platform::format("%.0f MB", bytes / 1e6);
  };
  return "needs " + size(needed) + " but " + size(available) +
         " is available; reduce rays per side or interpolation";
}

bool DOTFCalculator::refusedForMemory() {
  std::optional<std::string> problem;
  {
    platform::Synchronized lock(this);
    problem = m_runRefusal;
  }
  // The rays are traced by now; the fields a curve setting may ask for are not.
  if (!problem) problem = memoryProblem(false);
  if (!problem) return false;
  // Nothing is shown rather than the last run's curves under the new settings.
  Dictionary d = initialPlotDictionary();
  d.set(Value(plot::kCurves), Value(Array{}));
  d.set(Value(plot::kTitle), std::string(plotOTF() ? "Diffraction OTF" : "Diffraction LSF"));
  publishPlotDictionary(std::move(d));
  noteStatus(*problem);
  setNeedsGenerateCurves(false);
  return true;
}

void DOTFCalculator::calculate() {
  // Sized before anything is traced or allocated.
  auto problem = memoryProblem();
  {
    platform::Synchronized lock(this);
    m_runRefusal = problem;
  }
  if (problem) {
    setNeedsCalculation(false);
    setNeedsGenerateCurves(true);
    return;
  }
  PSFCalculator::calculate();
}

bool DOTFCalculator::exportToFile(std::FILE* file) {
  if (!file) return false;
  if (intensityField()) return PSFCalculator::exportToFile(file);
  std::shared_ptr<const ComplexMatrix> otf;
  std::shared_ptr<const DOTFPupilImages> images;
  double zero = 0;
  int order = 0;
  bool average = false;
  {
    platform::Synchronized lock(this);
    otf = m_otf;
    images = m_pupilImages;
    zero = m_spectrumZero;
    order = m_transferOrder;
    average = m_transferIsAverage;
  }
  if (!otf) return false;
  // As the run makes it: an average's from its OTF, a single wave's from its grid.
  std::optional<Matrix> field;
  if (average) {
    field = intensityFromOTF(*otf, zero, order);
  } else if (images && images->grid.n > 0) {
    if (auto t = transferForGrid(images->grid, order, nullptr, nullptr, true)) field = std::move(t->intensity);
  }
  if (!field || field->numberOfElements() == 0) return false;
  writeField(file, *field);
  return true;
}

void DOTFCalculator::generateCurves() {
  if (refusedForMemory()) return;
  clearIntensityFieldCache();
  if (plotOTF())
    generateCurvesForOTF();
  else
    generateCurvesForLSF();
  if (!platform::currentThreadIsCancelled()) generateImageOfPSF();
}

namespace {
void label(Array& curves, const char* yFormat) {
  analysis::setValueOnEveryCurve(curves, plot::kXLabel, "f");
  analysis::setValueOnEveryCurve(curves, plot::kXFormat, "%g");
  analysis::setValueOnEveryCurve(curves, plot::kYFormat, yFormat);
}
}  // namespace

void DOTFCalculator::generateCurvesForOTF() {
  if (!lens()) return;
  applyPhysicalRangeForCurves();
  if (fieldsOfInterest().empty()) return;
  const WavePtr wave = waveOfInterest();
  Array curves;
  std::vector<std::string> problems;
  const BundlePtr traced = tracedBundle();
  const bool ok = forEachFieldTransfer(problems, [&](const FieldPtr& field) {
    for (int d : {1, 0})
      for (Value& c : extractCurvesForDirection(d, field, wave)) curves.push_back(std::move(c));
    if (!showBruteForce()) return;
    std::string problem;
    std::optional<Array> brute;
    if (wave && traced) {
      const auto rows = rowsFor(traced->rays, field.get(), wave.get());
      brute = bruteForceCurvesForRows(traced->rays, rows, centroidOf(traced->rays, rows), &problem);
    } else if (!wave) {
      brute = bruteForcePolychromaticCurvesForField(field, &problem);
    }
    if (!brute) return;
    Array added = curvesByAddingPairWiseMagnitudesToCurves(*brute);
    if (!plotComplex()) added = curvesByRemovingComplexPartFromCurves(added);
    for (Value& c : added) curves.push_back(std::move(c));
  });
  if (!ok) return;
  if (plotDiffractionLimit()) {
    if (auto c = curveForDiffractionLimitedMTF(wavelengthRatio()))
      curves.push_back(Value(std::move(*c)));
    else
      problems.push_back("No diffraction limit: the lens has no image-space F-number");
  }
  label(curves, "%f");
  Dictionary d = initialPlotDictionary();
  d.set(Value(plot::kCurves), Value(std::move(curves)));
  d.set(Value(plot::kTitle), "Diffraction OTF (" + (wave ? wave->wavelengthShortString() : "polychromatic") + ")");
  d.set(Value(plot::kXLabel), "frequency (" + spatialFrequencyUnits() + ")");
  d.set(Value(plot::kYLabel), "contrast");
  d.set(Value(plot::kYTight), false);
  d.set(Value(plot::kXMin), 0.0);
  d.set(Value(plot::kXMax), maximumSpatialFrequency());
  if (platform::currentThreadIsCancelled()) return;
  publishPlotDictionary(std::move(d));
  noteProblems(problems);
  setNeedsGenerateCurves(false);
}

void DOTFCalculator::generateCurvesForLSF() {
  if (!lens()) return;
  applyPhysicalRangeForCurves();
  if (fieldsOfInterest().empty()) return;
  const WavePtr wave = waveOfInterest();
  Array curves;
  std::vector<std::string> problems;
  const bool ok = forEachFieldTransfer(problems, [&](const FieldPtr& field) {
    cacheIntensityFieldForField(*field, wave.get());
    for (int d : {1, 0}) {
      std::string problem;
      if (auto c = extractLSFCurvesForDirection(d, field, wave, &problem))
        for (Value& v : *c) curves.push_back(std::move(v));
      if (!problem.empty()) problems.push_back(std::move(problem));
    }
  });
  if (!ok) return;
  if (plotDiffractionLimit()) {
    if (auto c = curveForDiffractionLimitedLSF())
      curves.push_back(Value(std::move(*c)));
    else
      problems.push_back("No diffraction limit: the lens has no image-space F-number");
  }
  label(curves, "%f");
  Dictionary d = initialPlotDictionary();
  d.set(Value(plot::kCurves), Value(std::move(curves)));
  d.set(Value(plot::kTitle), "Diffraction LSF (" + (wave ? wave->wavelengthShortString() : "polychromatic") + ")");
  d.set(Value(plot::kXLabel), "displacement (" + units() + ")");
  d.set(Value(plot::kYLabel), "contrast");
  d.set(Value(plot::kYMin), 0.0);
  d.set(Value(plot::kYMax), 1.0);
  if (const double m = maximumDisplacement(); m != 0) {
    d.set(Value(plot::kXMin), -m);
    d.set(Value(plot::kXMax), m);
  }
  if (platform::currentThreadIsCancelled()) return;
  publishPlotDictionary(std::move(d));
  noteProblems(problems);
  setNeedsGenerateCurves(false);
}

// --- the point-spread sections --------------------------------------------------------------------------

DPSFCalculator::DPSFCalculator() {
  setPlotOTF(false);
  // The field's finer samples show the Airy rings; order 2 makes 8 samples per λN.
  setInterpolationOrder(2);
}

std::optional<Dictionary> DPSFCalculator::sectionCurve(int d, const FieldPtr& field, const WavePtr& wave,
                                                       std::string* problem) {
  if (!field) return std::nullopt;
  const FieldMatrix m = retreiveIntensityFieldForField(*field, wave.get());
  if (!m || m->nRows() == 0) return std::nullopt;
  const int n = static_cast<int>(m->nRows());
  const double delta = fieldPitchInUserUnits(d);
  VKSeries x(static_cast<std::size_t>(n)), y(static_cast<std::size_t>(n));
  for (int k = 0; k < n; ++k) {
    const auto p = static_cast<std::size_t>(foundation::fftUnshiftIndex(n, k));
    x.atPut(p, foundation::fftSignedFrequency(n, k) * delta);
    // Along y: the first row (columns are pupil y); along x: the first column.
    y.atPut(p, d ? m->at(0, static_cast<std::size_t>(k)) : m->at(static_cast<std::size_t>(k), 0));
  }
  const double peak = y.max();
  if (peak > 0 && std::isfinite(peak))
    y.scaleBy(1 / peak);
  else if (problem)
    *problem = "Field " + field->shortDescription() + ": the point-spread function is zero";
  return sectionCurveWithSeries(std::move(x), std::move(y), field, wave, d, "PSF");
}

std::optional<Dictionary> DPSFCalculator::curveForAiryPattern(double h) const {
  const double lambdaN = deltaInUserUnits() * wavelengthRatio();
  if (!isUsableScale(lambdaN) || !(h > 0)) return std::nullopt;
  VKSeries x = VKSeries::seriesWithCount(401, -h, h), y(401);
  for (std::size_t i = 0; i < 401; ++i) {
    const double v = M_PI * x.at(i) / lambdaN;
    const double a = std::abs(v) < 1e-9 ? 1.0 : 2 * foundation::besselJ1(v) / v;
    y.atPut(i, a * a);
  }
  return Dictionary{{plot::kXSeries, SeriesValue::make(std::move(x))},
                    {plot::kYSeries, SeriesValue::make(std::move(y))},
                    {plot::kColor, Value(platform::Color::make(1, 0, 0))},
                    {plot::kName, "Airy pattern"},
                    {plot::kYLabel, "PSF"}};
}

void DPSFCalculator::generateCurves() {
  if (refusedForMemory()) return;
  clearIntensityFieldCache();
  if (!lens() || fieldsOfInterest().empty()) return;
  const WavePtr wave = waveOfInterest();
  Array curves;
  std::vector<std::string> problems;
  const bool ok = forEachFieldTransfer(problems, [&](const FieldPtr& field) {
    cacheIntensityFieldForField(*field, wave.get());
    for (int d : {1, 0}) {
      std::string problem;
      if (auto c = sectionCurve(d, field, wave, &problem)) curves.push_back(Value(std::move(*c)));
      if (!problem.empty()) problems.push_back(std::move(problem));
    }
  });
  if (!ok) return;
  // The sections span ±n·λN/2; the core and the first rings lie within ±5λN.
  const double lambdaN = deltaInUserUnits();
  double h = maximumDisplacement();
  if (h == 0) h = std::min(0.5 * numberOfPointsPerSide(), 5.0) * lambdaN;
  if (plotDiffractionLimit()) {
    if (auto c = curveForAiryPattern(h))
      curves.push_back(Value(std::move(*c)));
    else
      problems.push_back("No diffraction limit: the lens has no image-space F-number");
  }
  label(curves, "%g");
  Dictionary d = initialPlotDictionary();
  d.set(Value(plot::kCurves), Value(std::move(curves)));
  d.set(Value(plot::kTitle), "FFT PSF (" + (wave ? wave->wavelengthShortString() : "polychromatic") + ")");
  d.set(Value(plot::kXLabel), "displacement (" + units() + ")");
  d.set(Value(plot::kYLabel), "intensity");
  d.set(Value(plot::kYMin), 0.0);
  d.set(Value(plot::kYMax), 1.0);
  if (isUsableScale(h)) {
    d.set(Value(plot::kXMin), -h);
    d.set(Value(plot::kXMax), h);
  }
  if (platform::currentThreadIsCancelled()) return;
  publishPlotDictionary(std::move(d));
  noteProblems(problems);
  setNeedsGenerateCurves(false);
  generateImageOfPSF();
}

}  // namespace orb::wavefront
