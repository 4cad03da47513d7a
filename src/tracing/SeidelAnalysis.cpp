#include "tracing/SeidelAnalysis.h"

#include <cmath>
#include <limits>
#include <memory>
#include <optional>

#include "lens/Lens.h"
#include "lens/LensDelegate.h"
#include "lens/Surface.h"
#include "lens/Wave.h"
#include "materials/Medium.h"
#include "platform/Exception.h"
#include "platform/Thread.h"
#include "tracing/ClassicNumbers.h"
#include "tracing/ParaxialMeasurement.h"
#include "tracing/Pusher.h"
#include "tracing/PusherGraded.h"
#include "tracing/RayGeneration.h"
#include "tracing/RayWithFrame.h"
#include "tracing/SurfaceShape.h"
#include "tracing/Turner.h"

namespace orb::tracing {

namespace {

using foundation::XYZ;

bool isInfinite(double v) { return !(std::abs(v) < std::numeric_limits<double>::infinity()); }

// (slope, height) at global z = 0.
std::pair<double, double> atOrigin(const std::optional<Ray>& r) {
  if (!r) return {0, 0};
  const double u = r->py() / r->pz();
  return {u, r->y() - r->z() * u};
}

double dispersionOf(const lens::Lens& lens, const materials::Medium* medium) {
  const auto& waves = lens.waveArray();
  if (!medium || waves.size() < 2) return 0;
  double lo = waves.front()->wavelengthInMicrons(), hi = lo;
  for (const auto& w : waves) lo = std::min(lo, w->wavelengthInMicrons()), hi = std::max(hi, w->wavelengthInMicrons());
  return materials::relativeDispersion(medium, lo, hi, const_cast<lens::Lens&>(lens).primaryWave()->wavelengthInMicrons());
}

void perform(lens::Lens& lens) {
  lens.setWarningReTrace(std::nullopt);
  const auto& surfaces = lens.surfaceArray();
  for (const auto& s : surfaces) {
    s->setParaxialTraceData({});
    s->setPetzvalTerm(0);
    s->setSeidel(0, 0, 0, 0, 0);
    s->setConrady(0, 0);
  }
  if (surfaces.empty()) return;
  RayWithFrame ray = axialFrameRay(lens);
  const auto [mu, mh] = atOrigin(marginalRay(lens));
  const auto [cu, ch] = atOrigin(chiefRay(lens));
  const double H = mu * ch - mh * cu;
  const double lambda = ray.wave()->wavelengthInMicrons();

  surfaces.front()->setParaxialTraceData({mh, mu, ch, cu, 0, 0, 0});
  std::shared_ptr<materials::Medium> current = surfaces.front()->medium();
  if (!current) current = lens.ambientMedium();
  double previousDispersion = 0;
  bool coordinatesReflected = false;
  if (surfaces.size() == 1) return;

  std::size_t first = 1;
  while (first + 1 < surfaces.size() && surfaces[first]->isCoordinateBreak()) ++first;
  for (std::size_t index = first; index < surfaces.size(); ++index) {
    lens::Surface& s = *surfaces[index];
    const bool last = index + 1 == surfaces.size();
    ray.transformByMatrix(s.transform().globalToLocalCoordinateTransformationMatrix());
    std::unique_ptr<Pusher> pusher = pusherWithMedium(s, current);
    if (!pusher) platform::Exception::raise("Unsupported", "No pusher for surface %s", s.nickname().c_str());
    pusher->setRayAcquisitionTolerance(lens.rayAcquisitionTolerance());
    pusher->acquireRay(ray, coordinatesReflected);

    const AxialBasis b = AxialBasis::of(ray);
    const double sign = travelSign(ray);
    const double h = b.heightOf(mu, mh), u = sign * b.slopeOf(mu, mh);
    const double hb = b.heightOf(cu, ch), ub = sign * b.slopeOf(cu, ch);
    s.setParaxialTraceData({h, u, hb, ub, 0, 0, 0});
    if (!last) {
      std::unique_ptr<Turner> turner = turnerForSurface(s);
      if (!turner) platform::Exception::raise("Unsupported", "No turner for surface %s", s.nickname().c_str());
      const bool mirror = s.isMirror() && !s.isCoordinateBreak();
      const double n = ray.indexOfRefraction();
      const double c = s.isCoordinateBreak() ? 0 : turner->curvature();
      const double a4 = s.isCoordinateBreak() ? 0 : turner->seidelA4();
      double A = n * (u + c * h), Ab = n * (ub + c * hb);
      double nPrime = n, uPrime, D, P, Q, K;
      std::shared_ptr<materials::Medium> next = current;
      if (mirror) {
        uPrime = -u - 2 * c * h;
        D = -(u + uPrime) / n, P = 2 * c / n, Q = 0, K = -16 * n;
      } else {
        if (!s.isCoordinateBreak()) next = s.medium() ? s.medium() : lens.ambientMedium();
        nPrime = next->isUniform()
                     ? next->indexOfRefractionAtWavelengthInMicrons(lambda)
                     : next->indexOfRefractionAtWaveGlobalCoordinate(lambda, s.transform().transformToGlobal(ray.position()));
        uPrime = A / nPrime - c * h;
        D = uPrime / nPrime - u / n, P = -c * (1 / nPrime - 1 / n), Q = 1 / (nPrime * nPrime) - 1 / (n * n);
        K = 8 * (nPrime - n);
      }
      if (coordinatesReflected) A = -A, Ab = -Ab, D = -D, P = -P, K = -K;
      double delta = 0;
      if (!mirror) {
        const double d = s.medium() ? dispersionOf(lens, s.medium().get()) : 0;
        delta = d - previousDispersion;
        previousDispersion = d;
      }
      const double S1 = a4 * K * std::pow(h, 4) - A * A * h * D;
      const double S2 = a4 * K * h * h * h * hb - A * Ab * h * D;
      const double S3 = a4 * K * h * h * hb * hb - Ab * Ab * h * D;
      const double S4 = H * H * P;
      const double S5 = a4 * K * h * hb * hb * hb - Ab * Ab * Ab * h * Q - (2 * h * Ab - hb * A) * hb * Ab * P;
      if (ray.isAlive()) {
        if (mirror) {
          turner->reflectRay(ray);
        } else {
          turner->refractRay(ray, nPrime);
          turner->straightlineProcessRay(ray);
        }
      }
      s.setParaxialTraceData({h, uPrime, hb, ub, D, A, Ab});
      // A surface with a graded medium behind it has no third-order sums of this kind.
      const bool graded = !next->isUniform();
      s.setPetzvalTerm(graded ? 0 : P);
      if (graded) {
        s.setSeidel(0, 0, 0, 0, 0);
        s.setConrady(0, 0);
      } else {
        s.setSeidel(S1, S2, S3, S4, S5);
        s.setConrady(A * h * delta, Ab * h * delta);
      }
      current = next;
      if (mirror) coordinatesReflected = !coordinatesReflected;
    }
    ray.transformByMatrix(s.transform().localToGlobalCoordinateTransformationMatrix());
    if (last || isInfinite(s.thickness())) break;
  }
}

}  // namespace

void seidelDataMeasurement(lens::Lens& lens) {
  platform::Synchronized lock(&lens);
  try {
    perform(lens);
  } catch (const platform::Exception& e) {
    if (!lens.warningReTrace())
      lens.setWarningReTrace(platform::format("Seidel analysis failure (%s : %s)", e.name().c_str(), e.reason().c_str()));
    throw;
  }
}

SeidelSums seidelSums(const lens::Lens& lens) {
  SeidelSums out;
  const auto& surfaces = lens.surfaceArray();
  if (surfaces.empty()) return out;
  const auto& t0 = surfaces.front()->paraxialTraceData();
  out.lagrangeInvariant = t0.u * t0.hbar - t0.h * t0.ubar;
  for (const auto& s : surfaces) {
    const auto sd = s->seidelData();
    const auto cd = s->conradyData();
    out.S1 += sd[0], out.S2 += sd[1], out.S3 += sd[2], out.S4 += sd[3], out.S5 += sd[4];
    out.C1 += cd[0], out.C2 += cd[1];
  }
  out.finalIndex = numberForKey(lens.paraxialData(), "imageSpaceIndexOfRefraction").value_or(1.0);
  return out;
}

std::string seidelListing(const lens::Lens& lens) {
  using platform::format;
  const ClassicNumbers classic;
  const SeidelSums s = seidelSums(lens);
  std::string out;
  const auto delegate = lens.delegate();
  out += format("File: %s\n", delegate ? delegate->displayName().c_str() : "");
  out += format("%s\n\n", lens.systemName().value_or("").c_str());
  out += format("Lagrange invariant: %.3fmm\n\n", s.lagrangeInvariant);
  out += "Paraxial trace result\n\n";
  out += format("%9s %9s %9s %9s %9s %9s %9s  surface\n", "h", "u", "hbar", "ubar", "d(u/n)", "a", "abar");
  const auto& surfaces = lens.surfaceArray();
  for (const auto& surface : surfaces) surface->appendParaxialTraceToString(out);
  out += "\nSeidel contributions by surface (mm)\n[including aspheric a2 and a4]\n";
  out += format("%9s %9s %9s %9s %9s %9s %9s  surface\n", "S1", "S2", "S3", "S4", "S5", "C1", "C2");
  if (surfaces.size() >= 3)
    for (std::size_t i = 1; i + 1 < surfaces.size(); ++i) surfaces[i]->appendSeidelToString(out);
  out += format("\n%9.6f %9.6f %9.6f %9.6f %9.6f %9.6f %9.6f  TOTAL\n", s.S1, s.S2, s.S3, s.S4, s.S5, s.C1, s.C2);
  out += "\nSeidel third order aberrations and paraxial Conrady:\n--------------------------------\n";
  out += format("  Spherical aberration (S1): %+e mm\n", s.S1);
  out += format("                  Coma (S2): %+e mm\n", s.S2);
  out += format("           Astigmatism (S3): %+e mm\n", s.S3);
  out += format("       Field curvature (S4): %+e mm\n", s.S4);
  out += format("            Distortion (S5): %+e mm\n", s.S5);
  out += format("           Axial color (C1): %+e mm\n", s.C1);
  out += format("         Lateral color (C2): %+e mm\n", s.C2);
  out += "--------------------------------\n";
  const double H2 = s.lagrangeInvariant * s.lagrangeInvariant, nf = s.finalIndex;
  out += format("Curvature of tangential image surface: %+f 1/mm\n", (3 * s.S3 + s.S4) * nf / H2);
  out += format("Curvature of sagittal image surface:   %+f 1/mm\n", (s.S3 + s.S4) * nf / H2);
  out += format("Curvature of Petzval surface:          %+f 1/mm\n", nf * s.S4 / H2);
  return out;
}

}  // namespace orb::tracing
