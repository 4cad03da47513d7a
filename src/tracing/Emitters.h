#pragma once

#include <optional>
#include <string>
#include <vector>

#include "lens/Emission.h"
#include "tracing/Ray.h"

namespace orb::lens {
class Surface;
}

namespace orb::tracing {

/// Common frame of the emitters: rays start on the emitting surface (global
/// coordinates), not alive, with the surface as their emitter and the emission's wave, so
/// the trace driver brings them to life only when it reaches that surface.
class RayEmission : public lens::Emission {
 public:
  /// Up to `count` rays; fewer when the calling thread is cancelled. Empty without a surface.
  std::vector<Ray> randomRaysWithCount(std::size_t count) const;

 protected:
  /// A local start point (x, y, 0) and momentum for medium index n.
  virtual void drawRay(double n, const lens::Surface& surface, foundation::XYZ& point, foundation::XYZ& momentum) const = 0;
};

/// A Lambertian (cosine-weighted) radiance cut off at the numerical aperture: transverse
/// momenta uniform over the disc of radius min(|NA|, n), start points uniform over the
/// aperture (or the semidiameter's disc).
class LambertianEmission : public RayEmission {
 public:
  std::optional<std::string> sheetNibName() const override { return std::string("_LambertianEmission"); }
  std::shared_ptr<lens::Emission> makeEmpty() const override;
  std::string className() const override { return "LambertianEmission"; }

 protected:
  void drawRay(double n, const lens::Surface& surface, foundation::XYZ& point, foundation::XYZ& momentum) const override;
};

/// A diode bar: a Gaussian profile of full width at half maximum wx across, a uniform
/// stripe of length wy along; x momenta Gaussian (width parameter wpx), y momenta uniform
/// within ±wpy. The bandwidth is descriptive only: every ray carries the one wave.
class SLDEmission : public RayEmission {
 public:
  double bandwidthInNanometers() const { return m_bandwidth; }
  void setBandwidthInNanometers(double v);
  double wx() const { return m_wx; }
  void setWx(double v);
  double wy() const { return m_wy; }
  void setWy(double v);
  double wpx() const { return m_wpx; }
  void setWpx(double v);
  double wpy() const { return m_wpy; }
  void setWpy(double v);

  std::vector<std::string> informationExportKeys() const override;
  std::optional<std::string> sheetNibName() const override { return std::string("_SLDEmission"); }
  /// "%@(%gnm)": the emission's description and the wavelength.
  std::string description() const override;
  /// "wavelength %g+/-%gnm".
  std::string emissionDescription() const override;
  std::shared_ptr<lens::Emission> makeEmpty() const override;
  std::string className() const override { return "SLDEmission"; }
  const platform::KeyTable& keys() const override { return classKeys(); }
  static const platform::KeyTable& classKeys();
  /// The emission's keys, then "wx", "wy", "wpx", "wpy" (the bandwidth is not archived).
  void encodeWithCoder(platform::Coder& coder) const override;
  void initWithCoder(const platform::Coder& coder) override;

 protected:
  void drawRay(double n, const lens::Surface& surface, foundation::XYZ& point, foundation::XYZ& momentum) const override;

 private:
  double m_bandwidth = 0;
  double m_wx = 0, m_wy = 0;
  double m_wpx = 0.2, m_wpy = 0.1;
};

/// "Lambertian emission" and "Diode bar emission", in that order; once.
void registerEmissionTypes();

}  // namespace orb::tracing
