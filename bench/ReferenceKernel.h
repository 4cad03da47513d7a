#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <stdexcept>
#include <vector>

#include "lens/Aperture.h"
#include "lens/Lens.h"
#include "lens/Surface.h"
#include "lens/Wave.h"
#include "materials/Medium.h"

namespace orb::bench {

/// The yardstick for the trace driver: the least a trace of a centred lens of conic
/// surfaces and circular apertures must do, as plain columns and loops the compiler
/// vectorises, with no object, virtual call or branch per ray. The driver's figure is
/// printed beside this one, so their ratio survives a noisy machine. One wave.
class ReferenceKernel {
 public:
  struct Columns {
    double *qx, *qy, *qz, *px, *py, *pz, *opl;
    double* alive;  // 1 or 0
  };

  /// The lens as its surfaces stand after the system update; raises for anything but a
  /// centred system of refracting conics.
  ReferenceKernel(lens::Lens& lens, const lens::Wave& wave) {
    const auto& surfaces = lens.surfaceArray();
    const auto ambient = lens.ambientMedium();
    const double lambda = wave.wavelengthInMicrons();
    for (std::size_t i = 1; i < surfaces.size(); ++i) {
      const lens::Surface& s = *surfaces[i];
      const lens::Surface& previous = *surfaces[i - 1];
      if (s.isMirror() || s.isCoordinateBreak()) throw std::runtime_error("reference kernel: centred refractors only");
      Step step;
      step.dz = i == 1 ? 0.0 : -previous.thickness();
      step.c = s.curvature();
      step.k1 = s.conicConstant() + 1;
      const bool last = i + 1 == surfaces.size();
      const lens::Aperture* aperture = last ? nullptr : s.apertureObject().get();
      step.rMax2 = aperture ? aperture->rMax() * aperture->rMax() + 1e-10 : INFINITY;
      const auto medium = s.medium() ? s.medium() : ambient;
      step.n1 = medium->indexOfRefractionAtWavelengthInMicrons(lambda);
      step.bends = !last;
      m_steps.push_back(step);
    }
  }

  /// Traces `n` rays that start on the first surface's frame (the object at infinity);
  /// answers the ray-surface interactions (live rays met by a turner). `alive` is 1 or 0.
  std::uint64_t trace(const Columns& r, std::size_t n) const {
    double count = 0;
    constexpr std::size_t kBlock = 256;
    for (std::size_t b = 0; b < n; b += kBlock) {
      const std::size_t e = std::min(n, b + kBlock);
      for (const Step& s : m_steps) count += s.bends ? step<true>(r, b, e, s) : step<false>(r, b, e, s);
    }
    return static_cast<std::uint64_t>(count);
  }

 private:
  struct Step {
    double dz, c, k1, rMax2, n1;
    bool bends;
  };

  // One surface for rays [b, e): all-double and branch-free, so that it vectorises, and
  // cloned per instruction set as the tracing library's kernels are. The
  // columns come in as restrict parameters (GCC loses restrict on locals once inlined),
  // and the count's sum may be reordered (-fopenmp-simd), which a floating-point sum
  // needs to vectorise.
  template <bool bends>
  static double step(const Columns& r, std::size_t b, std::size_t e, const Step& s) {
    return loop<bends>(r.qx + b, r.qy + b, r.qz + b, r.px + b, r.py + b, r.pz + b, r.opl + b, r.alive + b, e - b, s);
  }

  template <bool bends>
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
  __attribute__((target_clones("default", "avx2", "avx512f")))
#endif
  __attribute__((noinline)) static double loop(double* __restrict qx, double* __restrict qy, double* __restrict qz,
                                             double* __restrict px, double* __restrict py, double* __restrict pz,
                                             double* __restrict opl, double* __restrict alive, std::size_t n,
                                             const Step& s) {
    const double c = s.c, k1 = s.k1, n1n1 = s.n1 * s.n1, dz = s.dz, rMax2 = s.rMax2;
    const double normalise = k1 == 1 ? 0.0 : 1.0;
    double live = 0;
#pragma omp simd reduction(+ : live)
    for (std::size_t i = 0; i < n; ++i) {
      const double qx0 = qx[i], qy0 = qy[i], qz0 = qz[i] + dz;
      const double ux = px[i], uy = py[i], uz = pz[i];
      const double A = c * (ux * ux + uy * uy + k1 * uz * uz);
      const double B = 2 * (c * (qx0 * ux + qy0 * uy + k1 * qz0 * uz) - uz);
      const double E = c * (qx0 * qx0 + qy0 * qy0 + k1 * qz0 * qz0) - 2 * qz0;
      const double D = B * B - 4 * A * E;
      const double t = E / (-0.5 * (B + std::copysign(std::sqrt(std::max(D, 0.0)), B)));
      const double x = qx0 + t * ux, y = qy0 + t * uy, z = qz0 + t * uz;
      const double gx = c * x, gy = c * y, gz = k1 * c * z - 1;
      // A sphere's gradient is of unit length on the surface; the others are normalised.
      const double g2 = gx * gx + gy * gy + gz * gz;
      const double rg = 1 / std::sqrt(normalise * g2 + (1 - normalise));
      const double nx = gx * rg, ny = gy * rg, nz = gz * rg;
      double ok = alive[i] * (D >= 0 ? 1.0 : 0.0) * (x * x + y * y <= rMax2 ? 1.0 : 0.0);
      qx[i] = x, qy[i] = y, qz[i] = z;
      opl[i] += (ux * ux + uy * uy + uz * uz) * t;
      if constexpr (bends) {
        live += ok;  // the driver's count: live rays the turner meets
        const double pn = ux * nx + uy * ny + uz * nz;
        const double tx = ux - pn * nx, ty = uy - pn * ny, tz = uz - pn * nz;
        const double rad = n1n1 - (tx * tx + ty * ty + tz * tz);
        const double a = std::copysign(std::sqrt(std::max(rad, 0.0)), pn);
        px[i] = tx + a * nx, py[i] = ty + a * ny, pz[i] = tz + a * nz;
        ok *= rad >= 0 ? 1.0 : 0.0;
      }
      alive[i] = ok;
    }
    return live;
  }

  std::vector<Step> m_steps;
};

}  // namespace orb::bench
