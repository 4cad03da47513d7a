#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>

namespace orb::tracing::detail {

/// Rays a trace carries through every surface while they stay in cache.
constexpr std::size_t kBlock = 256;

/// One block of a trace as columns: pointers to n rows of a RayBundle (or to a scratch
/// copy of plain rays), and the surface normals, which live only within a trace.
struct RayBlock {
  std::size_t n = 0;
  double *qx = nullptr, *qy = nullptr, *qz = nullptr;
  double *px = nullptr, *py = nullptr, *pz = nullptr;
  double* opl = nullptr;
  std::uint8_t *alive = nullptr, *reflected = nullptr, *negative = nullptr, *wave = nullptr;
  const char** cause = nullptr;
  std::uint16_t* diedAt = nullptr;
  alignas(64) double nx[kBlock], ny[kBlock], nz[kBlock];
  /// The alive flags as 1 or 0 while the block is traced: doubles, so that every kernel
  /// loop is all-double and vectorises. kill() keeps both in step.
  alignas(64) double live[kBlock];
  /// Set to 1 by a kernel for the live rays it leaves to the one-ray code (or kills).
  alignas(64) double odd[kBlock];
  /// The index each row refracts into at the current surface, for blocks of mixed waves.
  alignas(64) double index[kBlock];
  /// Whether every row is in one wave (wave[0]'s), and whether any row may sit in a medium
  /// of negative index: the one-pass kernel takes neither.
  bool oneWave = true, mayBeNegative = false;

  /// live from alive and the two facts above, after the pointers are set.
  void loadLive() {
    unsigned mixed = 0, negatives = 0;
    const std::uint8_t w0 = n ? wave[0] : 0;
    for (std::size_t i = 0; i < n; ++i) {
      live[i] = alive[i] ? 1.0 : 0.0;
      mixed |= wave[i] != w0;
      negatives |= negative[i];
    }
    oneWave = !mixed, mayBeNegative = negatives != 0;
  }
  /// Re-reads mayBeNegative after code that may have changed the signs.
  void noteSigns() {
    unsigned negatives = 0;
    for (std::size_t i = 0; i < n; ++i) negatives |= negative[i];
    mayBeNegative = negatives != 0;
  }
  bool anyOdd() const {
    // No early exit: a reduction over the column vectorises, a search does not.
    unsigned any = 0;
    for (std::size_t i = 0; i < n; ++i) any |= odd[i] != 0;
    return any != 0;
  }
  void kill(std::size_t i, const char* why, std::uint16_t place) {
    live[i] = 0;
    alive[i] = 0;
    cause[i] = why;
    diedAt[i] = place;
  }
};

// The per-surface operations on a block. Built once per instruction set (SSE2, AVX2,
// AVX-512) and picked at run time, so every x86-64 runs the widest its processor has.
// Dead rays are computed along and left unchanged, so the loops stay branch-free.

/// Positions moved by (sx, sy, sz).
void shiftBlock(RayBlock& b, double sx, double sy, double sz);
/// Positions as points, momenta and normals as directions, by the 3 × 4 row-major matrix.
void transformBlock(RayBlock& b, const double* m);
/// The crossing of the conic c(x² + y² + (K + 1)z²) − 2z = 0 on its near root, as
/// PusherConicoid finds it; `sphere` (K = 0) takes the normal (cx, cy, cz − 1) as it is,
/// of unit length on the surface. Live rays off the common way (a miss, the far root,
/// a parallel ray) are marked in `odd` for the one-ray code; answers whether any was.
bool conicAcquireBlock(RayBlock& b, double c, double k, bool reflected);
/// The crossing of the even asphere z = c·r²/(1 + √(1 − (1 + K)c²r²)) + Σ a[j]·r^(2j), j < m
/// (m ≤ kEvenAsphereTerms): from the base conic's near crossing (the vertex plane's where
/// that has none), Newton's steps on sag(x, y) − z along each ray until every live ray moves
/// by no more than a few ulps of its coordinates, at most kNewtonSteps times. Sets the
/// position, the optical path (t·|p|²) and the unit normal (−∂z/∂x, −∂z/∂y, 1)/ℓ, +z at the
/// vertex as PusherIterative stores it. Live rays left unsettled, off the valid region
/// (1 + K)c²r² < 1, on the inactive side or without a finite crossing are marked in `odd`
/// and left where they were; answers their count.
constexpr int kEvenAsphereTerms = 11;
constexpr int kNewtonSteps = 8;
std::size_t evenAsphereAcquireBlock(RayBlock& b, double c, double k, const double* a, int m, bool reflected);
/// One conic surface in a single pass over the block, for the common case: the block's
/// shift into the surface's frame, the crossing as conicAcquireBlock finds it, the plain
/// circular aperture, and the bending (refraction into a positive index, reflection, or
/// none), with the results of the separate kernels. Rows are left in `odd` with a code:
/// kOddAcquire for the one-ray acquisition (then neither aperture nor bending was done),
/// kOddAperture and kOddTIR for rays to kill. Answers the rows with a code; `met` gets
/// the live rays past the aperture (those a turner meets).
struct ConicPass {
  double sx = 0, sy = 0, sz = 0;  // the shift applied first
  double c = 0, k = 0;
  bool reflected = false;
  double x0 = 0, y0 = 0, lo = -1, hi = std::numeric_limits<double>::infinity();  // r² bounds about (x0, y0)
  enum Bend { None, Refract, Reflect } bend = None;
  double n = 1;         // the index, for a block of one wave
  bool perRow = false;  // b.index holds each row's index instead
};
constexpr double kOddAcquire = 1, kOddAperture = 2, kOddTIR = 3;
std::size_t conicPassBlock(RayBlock& b, const ConicPass& p, std::size_t& met);
/// Kills the live rays outside the annulus rMin² − 1e-10 ≤ r² ≤ rMax² + 1e-10 about (x0, y0).
void circularApertureBlock(RayBlock& b, double x0, double y0, double rMin, double rMax, const char* cause,
                           std::uint16_t place);
/// Exact refraction of the live rays into the index of their wave (all finite, non-zero);
/// total internal reflection kills with `tir`.
void refractBlock(RayBlock& b, const double* indexByWave, const char* tir, std::uint16_t place);
/// p′ = p − 2(p·N)N for the live rays.
void reflectBlock(RayBlock& b);

}  // namespace orb::tracing::detail
