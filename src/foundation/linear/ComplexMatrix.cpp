#include "foundation/linear/ComplexMatrix.h"

#include <fftw3.h>

#include <cmath>
#include <map>
#include <tuple>

#include "foundation/linear/FFT.h"
#include "platform/Exception.h"
#include "platform/Thread.h"

namespace orb::foundation {

static_assert(sizeof(XY) == sizeof(fftw_complex), "XY must have the layout of fftw_complex");

namespace {

std::size_t smallestPowerOfTwoNotBelow(std::size_t n) {
  std::size_t p = 1;
  while (p < n) p <<= 1;
  return p;
}

enum class PlanKind { TwoD, Columns };

/// FFTW plans by kind, size, sign and the data's alignment (a plan may only be executed on
/// arrays aligned like the one it was made for; ComplexMatrix storage is always 64-byte
/// aligned, so in practice one plan serves every matrix of a size). Plans are made with
/// FFTW_MEASURE, which overwrites its array, on a scratch array of the same alignment:
/// several times faster transforms for a one-time planning cost per size (well under a
/// second even at 1024 × 1024). Planning is not thread-safe in FFTW: the table is read and
/// filled only under the process-wide lock. Plans live as long as the process.
fftw_plan planFor(PlanKind kind, int rows, int cols, int sign, XY* data) {
  platform::Synchronized lock(platform::Synchronized::processWide());
  static std::map<std::tuple<PlanKind, int, int, int, int>, fftw_plan> plans;
  const int alignment = fftw_alignment_of(reinterpret_cast<double*>(data));
  const auto key = std::make_tuple(kind, rows, cols, sign, alignment);
  const auto found = plans.find(key);
  if (found != plans.end()) return found->second;
  // Scratch of the same alignment: fftw_malloc'd (alignment 0) plus the data's offset.
  const std::size_t count = static_cast<std::size_t>(rows) * static_cast<std::size_t>(cols);
  char* raw = static_cast<char*>(fftw_malloc(count * sizeof(fftw_complex) + 64));
  if (!raw) platform::Exception::raise("NSInternalInconsistencyException", "Insufficient storage for fft buffers");
  fftw_complex* scratch = reinterpret_cast<fftw_complex*>(raw + alignment);
  const unsigned flags = alignment == 0 ? FFTW_MEASURE : (FFTW_MEASURE | FFTW_UNALIGNED);
  fftw_plan plan = nullptr;
  if (kind == PlanKind::TwoD) {
    plan = fftw_plan_dft_2d(rows, cols, scratch, scratch, sign, flags);
  } else {
    const int n[1] = {rows};
    plan = fftw_plan_many_dft(1, n, cols, scratch, nullptr, cols, 1, scratch, nullptr, cols, 1, sign, flags);
  }
  fftw_free(raw);
  if (!plan)
    platform::Exception::raise("NSInternalInconsistencyException", "FFTW could not plan a %d*%d transform", rows, cols);
  plans.emplace(key, plan);
  return plan;
}

void execute(fftw_plan plan, XY* data) {
  fftw_complex* array = reinterpret_cast<fftw_complex*>(data);
  fftw_execute_dft(plan, array, array);
}

}  // namespace

ComplexMatrix::ComplexMatrix(std::size_t rows, std::size_t cols)
    : m_nRows(rows), m_nCols(cols), m_storage(rows * cols, XY{0, 0}) {}

ComplexMatrix::ComplexMatrix(const Matrix& real) : ComplexMatrix(real.nRows(), real.nCols()) {
  for (std::size_t r = 0; r < m_nRows; ++r)
    for (std::size_t c = 0; c < m_nCols; ++c) atPut(r, c, XY{real.at(r, c), 0});
}

ComplexMatrix ComplexMatrix::paddedWithMatrix(const Matrix& real) {
  ComplexMatrix m(2 * smallestPowerOfTwoNotBelow(real.nRows()), 2 * smallestPowerOfTwoNotBelow(real.nCols()));
  for (std::size_t r = 0; r < real.nRows(); ++r)
    for (std::size_t c = 0; c < real.nCols(); ++c) m.atPut(r, c, XY{real.at(r, c), 0});
  return m;
}

std::string ComplexMatrix::description() const {
  return platform::format("ComplexMatrix %zu*%zu", m_nRows, m_nCols);
}

// ---------------------------------------------------------------------------------------
// Transforms

void ComplexMatrix::inPlaceFFT() {
  platform::Synchronized lock(platform::Synchronized::processWide());
  fft2d_forward(m_storage.data(), static_cast<int>(m_nRows), static_cast<int>(m_nCols));
}

void ComplexMatrix::inPlaceInverseFFT() {
  platform::Synchronized lock(platform::Synchronized::processWide());
  fft2d_reverse(m_storage.data(), static_cast<int>(m_nRows), static_cast<int>(m_nCols));
}

void ComplexMatrix::inPlaceFFTWithFFTW() {
  if (m_storage.empty()) return;
  platform::Synchronized lock(platform::Synchronized::processWide());  // recursive: planFor takes it again
  execute(planFor(PlanKind::TwoD, int(m_nRows), int(m_nCols), FFTW_FORWARD, m_storage.data()), m_storage.data());
}

void ComplexMatrix::inPlaceInverseFFTWithFFTW() {
  if (m_storage.empty()) return;
  platform::Synchronized lock(platform::Synchronized::processWide());
  execute(planFor(PlanKind::TwoD, int(m_nRows), int(m_nCols), FFTW_BACKWARD, m_storage.data()), m_storage.data());
  scaleByReal(1.0 / static_cast<double>(numberOfElements()));
}

void ComplexMatrix::inPlaceColumnFFT(int direction) {
  if (m_storage.empty()) return;
  const int sign = direction > 0 ? FFTW_FORWARD : FFTW_BACKWARD;
  // All columns in one strided plan; the plan is fetched under the lock, the transform
  // runs without it.
  execute(planFor(PlanKind::Columns, int(m_nRows), int(m_nCols), sign, m_storage.data()), m_storage.data());
}

void ComplexMatrix::inPlaceColumnInverseFFT() {
  inPlaceColumnFFT(-1);
  if (m_nRows > 0) scaleByReal(1.0 / static_cast<double>(m_nRows));
}

void ComplexMatrix::inPlaceMomentumSpaceSkewAlongColumns() {
  constexpr double kTwoPi = 6.283185307179586;
  const int m = static_cast<int>(m_nRows), n = static_cast<int>(m_nCols);
  for (int r = 0; r < m; ++r) {
    const int kr = fftSignedFrequencyHalf(m, r);
    for (int c = 0; c < n; ++c) {
      const int kc = fftSignedFrequencyHalf(n, c);
      const double phi = (kTwoPi / n) * kc * kr;
      const double cs = std::cos(phi), sn = std::sin(phi);
      const XY z = at(std::size_t(r), std::size_t(c));
      atPut(std::size_t(r), std::size_t(c), XY{z.x * cs - z.y * sn, z.x * sn + z.y * cs});
    }
  }
}

void ComplexMatrix::inPlaceDiagonalSkew() {
  inPlaceColumnForwardFFT();
  inPlaceMomentumSpaceSkewAlongColumns();
  inPlaceColumnInverseFFT();
}

// ---------------------------------------------------------------------------------------
// Element operations

Matrix ComplexMatrix::squaredMagnitude() const {
  Matrix m(m_nRows, m_nCols);
  for (std::size_t r = 0; r < m_nRows; ++r)
    for (std::size_t c = 0; c < m_nCols; ++c) {
      const XY z = at(r, c);
      m.atPut(r, c, z.x * z.x + z.y * z.y);
    }
  return m;
}

Matrix ComplexMatrix::re() const {
  Matrix m(m_nRows, m_nCols);
  for (std::size_t r = 0; r < m_nRows; ++r)
    for (std::size_t c = 0; c < m_nCols; ++c) m.atPut(r, c, at(r, c).x);
  return m;
}

void ComplexMatrix::inPlaceSquaredMagnitude() {
  for (XY& z : m_storage) z = XY{z.x * z.x + z.y * z.y, 0};
}

void ComplexMatrix::scaleByReal(double s) {
  for (XY& z : m_storage) {
    z.x *= s;
    z.y *= s;
  }
}

void ComplexMatrix::addComplexMatrixScaledByReal(const ComplexMatrix& b, double s) {
  for (std::size_t r = 0; r < m_nRows; ++r)
    for (std::size_t c = 0; c < m_nCols; ++c) {
      const XY a = at(r, c), v = b.at(r, c);
      atPut(r, c, XY{a.x + s * v.x, a.y + s * v.y});
    }
}

void ComplexMatrix::inPlaceHadamardProductWithMatrix(const Matrix& m) {
  for (std::size_t r = 0; r < m_nRows; ++r)
    for (std::size_t c = 0; c < m_nCols; ++c) {
      const XY a = at(r, c);
      const double f = m.at(r, c);
      atPut(r, c, XY{a.x * f, a.y * f});
    }
}

void ComplexMatrix::inPlaceHadamardProductWithComplexMatrix(const ComplexMatrix& b) {
  for (std::size_t r = 0; r < m_nRows; ++r)
    for (std::size_t c = 0; c < m_nCols; ++c) {
      const XY a = at(r, c), v = b.at(r, c);
      atPut(r, c, XY{a.x * v.x - a.y * v.y, a.x * v.y + a.y * v.x});
    }
}

}  // namespace orb::foundation
