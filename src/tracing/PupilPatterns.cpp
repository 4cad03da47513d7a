#include "tracing/PupilPatterns.h"

#include <cmath>
#include <numbers>

#include "foundation/minimise/MersenneTwister.h"
#include "foundation/minimise/RayGridCounts.h"

namespace orb::tracing::pupil {

using foundation::XY;

Points bidirectionalFan(std::uint32_t n, double dx, double dy) {
  if (n == 0) return {};
  if (n == 1) return {XY{dx, dy}};
  Points out;
  out.reserve(n);
  const double s = 2.0 / (n - 1);
  double t = -1;
  for (std::uint32_t i = 0; i < n; ++i) {
    // Repeated addition drifts; the middle of an odd fan must be exactly on axis.
    if (std::abs(t) < 0.1 * s) t = 0;
    out.push_back(XY{t * dx, t * dy});
    t += s;
  }
  return out;
}

Points xFan(std::uint32_t n) { return bidirectionalFan(n, 1, 0); }
Points yFan(std::uint32_t n) { return bidirectionalFan(n, 0, 1); }

Points radialFan(std::uint32_t n, double dx, double dy) {
  if (n == 0) return {};
  if (n == 1) return {XY{dx, dy}};
  Points out;
  out.reserve(n);
  double t = 0;
  for (std::uint32_t i = 0; i < n; ++i) {
    out.push_back(XY{t * dx, t * dy});
    t += 1.0 / (n - 1);
  }
  return out;
}

Points pointsInFourSquare(std::uint32_t nx, std::uint32_t ny) {
  if (nx == 0 || ny == 0) return {};
  Points out;
  out.reserve(std::size_t(nx) * ny);
  for (std::uint32_t i = 0; i < nx; ++i)
    for (std::uint32_t j = 0; j < ny; ++j) out.push_back(XY{-1 + (i + 0.5) * 2.0 / nx, -1 + (j + 0.5) * 2.0 / ny});
  return out;
}

namespace {
double fftCoordinate(std::uint32_t i, std::uint32_t n) {
  const double s = 2.0 / n;
  const long m = i < (n + 1) / 2 ? long(i) : long(i) - long(n);
  return m * s + (n % 2 == 0 ? s / 2 : 0);
}
}  // namespace

Points fftPointsInFourSquare(std::uint32_t nx, std::uint32_t ny) {
  if (nx == 0 || ny == 0) return {};
  Points out;
  out.reserve(std::size_t(nx) * ny);
  for (std::uint32_t i = 0; i < nx; ++i)
    for (std::uint32_t j = 0; j < ny; ++j) out.push_back(XY{fftCoordinate(i, nx), fftCoordinate(j, ny)});
  return out;
}

Points squareArrayOfPointsInUnitCircle(std::uint32_t n) {
  long K = static_cast<long>(std::sqrt(n / std::numbers::pi));
  auto inside = [](long i, long j, double h) { return (i * h) * (i * h) + (j * h) * (j * h) < 1; };
  for (;;) {
    const double h = 1 / (K + 0.5);
    std::uint64_t count = 0;
    for (long i = -K; i <= K; ++i)
      for (long j = -K; j <= K; ++j) count += inside(i, j, h);
    if (count >= n) break;
    ++K;
  }
  const double h = 1 / (K + 0.5);
  Points out{XY{0, 0}};
  for (long i = -K; i <= K; ++i)
    for (long j = -K; j <= K; ++j)
      if ((i != 0 || j != 0) && inside(i, j, h)) out.push_back(XY{i * h, j * h});
  return out;
}

Points hexapolarArrayOfPointsInUnitCircle(std::uint32_t n) {
  const std::uint32_t K = foundation::hexagonalRingCountForPoints(n);
  Points out;
  out.reserve(foundation::centeredHexagonalNumber(K));
  out.push_back(XY{0, 0});
  for (std::uint32_t k = 1; k <= K; ++k) {
    const double r = k / (K + 0.5);
    const double delta = 2 * std::numbers::pi / (6.0 * k);
    double theta = 0;
    for (std::uint32_t i = 0; i < 6 * k; ++i) {
      out.push_back(XY{r * std::cos(theta), r * std::sin(theta)});
      theta += delta;
    }
  }
  return out;
}

Points randomPointsInUnitCircle(std::uint32_t n) {
  Points out;
  out.reserve(n);
  while (out.size() < n) {
    const double x = 2 * foundation::mersenneTwisterRandom() - 1;
    const double y = 2 * foundation::mersenneTwisterRandom() - 1;
    if (x * x + y * y < 1) out.push_back(XY{x, y});
  }
  return out;
}

Points spiralInUnitCircle(std::uint32_t n, double phaseDegrees) {
  const std::uint32_t K = foundation::hexagonalRingCountForPoints(n);
  const std::uint32_t N = foundation::centeredHexagonalNumber(K);
  // No turns: r = a·θ would be 0 · ∞; the single point is the centre.
  if (K == 0) return {XY{0, 0}};
  const double Theta = 2 * std::numbers::pi * K;
  const double root = std::sqrt(1 + Theta * Theta);
  // Arc length of r = θ from 0 to Θ, in N − 1 equal parts.
  const double ds = (Theta * root + std::log(Theta + root)) / 2 / (N - 1);
  const double a = N / (Theta * (N + 0.5));
  const double phi = phaseDegrees * std::numbers::pi / 180;
  auto rate = [](double theta) { return 1 / std::sqrt(1 + theta * theta); };
  Points out;
  out.reserve(N);
  double theta = 0;
  for (std::uint32_t i = 0; i < N; ++i) {
    const double r = a * theta;
    out.push_back(XY{r * std::cos(theta + phi), r * std::sin(theta + phi)});
    const double k1 = ds * rate(theta);
    const double k2 = ds * rate(theta + k1 / 2);
    const double k3 = ds * rate(theta + k2 / 2);
    const double k4 = ds * rate(theta + k3);
    theta += (k1 + 2 * k2 + 2 * k3 + k4) / 6;
  }
  return out;
}

Points goldenSpiralInUnitCircle(std::uint32_t n, double phaseDegrees) { return spiralInUnitCircle(n, phaseDegrees); }

}  // namespace orb::tracing::pupil
