#pragma once

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "optimisation/Meritoid.h"

namespace orb::lens {
class Surface;
}

namespace orb::optimisation {

/// "Acceptance": the solid angle of directions from one field point whose rays pass the
/// lens and leave it with a transverse momentum no larger than the cutoff, from the
/// adaptive triangle sampling of the filtering throughput agent. Shown as a solid angle,
/// a sphere or hemisphere fraction or a numerical aperture; since more is better, the
/// residual is taken on the reciprocal. Nothing accepted is NaN with a message.
class MeritoidAcceptance : public Meritoid {
 public:
  static const platform::KeyTable& classKeys();
  const platform::KeyTable& keys() const override { return classKeys(); }
  std::string className() const override { return "MeritoidAcceptance"; }

  static const std::vector<std::string>& availableAbscissas();
  static const std::vector<std::string>& availableOrdinates();
  static const std::vector<std::string>& availableFilterTypes();
  /// The part of a triangle over which the linear interpolation of the momenta a, b, c
  /// at its corners is at most `cutoff`.
  static double acceptedFraction(double a, double b, double c, double cutoff);

  void nontrivialize() override;
  std::vector<std::string> coderKeys() const override;
  bool isDimensionless() const override { return true; }
  void setLens(LensPtr lens) override;
  void firstTimeWithLens(const LensPtr& lens) override;
  void evaluation() override;
  double displayValue() const override;
  std::vector<double> residuals() const override;
  std::shared_ptr<Meritoid> makeEmpty() const override { return make<MeritoidAcceptance>(); }

  double Hx() const { return m_Hx; }
  void setHx(double v) { mark("Hx", m_Hx, v); }
  double Hy() const { return m_Hy; }
  void setHy(double v) { mark("Hy", m_Hy, v); }
  double wavelengthInNanometers() const { return m_wavelength; }
  void setWavelengthInNanometers(double v) { mark("wavelengthInNanometers", m_wavelength, v); }
  const std::string& abscissa() const { return m_abscissa; }
  void setAbscissa(const std::string& v) { mark("abscissa", m_abscissa, v); }
  const std::string& ordinate() const { return m_ordinate; }
  /// Only the display changes: no new sampling.
  void setOrdinate(const std::string& v) { setAndAnnounce("ordinate", m_ordinate, v); }
  std::int32_t searchDepth() const { return m_searchDepth; }
  void setSearchDepth(std::int32_t v) { mark("searchDepth", m_searchDepth, v); }
  std::int32_t initialDepth() const { return m_initialDepth; }
  void setInitialDepth(std::int32_t v) { mark("initialDepth", m_initialDepth, v); }
  double cutoff() const { return m_cutoff; }
  void setCutoff(double v) { mark("cutoff", m_cutoff, v); }
  const std::string& filterType() const { return m_filterType; }
  void setFilterType(const std::string& v) { mark("filterType", m_filterType, v); }
  bool usesFilterRadius() const { return m_filterType == "Radius"; }
  double filterRadius() const { return m_filterRadius; }
  void setFilterRadius(double v) { mark("filterRadius", m_filterRadius, v); }

 private:
  template <class M, class V>
  void mark(std::string_view key, M& member, V&& v) {
    setAndAnnounce(key, member, std::forward<V>(v));
    setNeedsEvaluation(true);
  }
  void takeWavelength(const LensPtr& lens);
  double m_Hx = 0, m_Hy = 0, m_wavelength = 0;
  std::string m_abscissa = "Transverse momentum";
  std::string m_ordinate = "Solid angle";
  std::int32_t m_searchDepth = 7, m_initialDepth = 0;
  double m_cutoff = 0.23;
  std::string m_filterType = "None";
  double m_filterRadius = 1.0;
  double m_objectSpaceIndex = 1.0;
};

/// "Emitter Efficiency": the fraction of random rays from one emitting surface that
/// survive the trace (with a circle radius, only those landing within it on the image
/// surface). Dimensionless; target 1.
class MeritoidEmitterEfficiency : public Meritoid {
 public:
  static constexpr std::int64_t kUnsetEmitter = std::numeric_limits<std::int64_t>::max();
  static const platform::KeyTable& classKeys();
  const platform::KeyTable& keys() const override { return classKeys(); }
  std::string className() const override { return "MeritoidEmitterEfficiency"; }

  void nontrivialize() override;
  std::vector<std::string> coderKeys() const override;
  bool isDimensionless() const override { return true; }
  void setLens(LensPtr lens) override;
  void firstTimeWithLens(const LensPtr& lens) override;
  void evaluation() override;
  std::shared_ptr<Meritoid> makeEmpty() const override { return make<MeritoidEmitterEfficiency>(); }

  std::vector<std::shared_ptr<lens::Surface>> emissionSurfaces() const;
  std::vector<std::int64_t> possibleEmitterNumbers() const;
  std::shared_ptr<lens::Surface> emissionSurfaceWithEmitterNumber(std::int64_t n) const;

  std::uint64_t numberOfRays() const { return m_numberOfRays; }
  void setNumberOfRays(std::uint64_t n) { mark("numberOfRays", m_numberOfRays, n); }
  std::int64_t emitterNumber() const { return m_emitterNumber; }
  void setEmitterNumber(std::int64_t n) { mark("emitterNumber", m_emitterNumber, n); }
  double circleRadius() const { return m_circleRadius; }
  void setCircleRadius(double r) { mark("circleRadius", m_circleRadius, r); }

 private:
  template <class M, class V>
  void mark(std::string_view key, M& member, V&& v) {
    setAndAnnounce(key, member, std::forward<V>(v));
    setNeedsEvaluation(true);
  }
  void chooseEmitter(const LensPtr& lens);
  std::uint64_t m_numberOfRays = 1000;
  std::int64_t m_emitterNumber = kUnsetEmitter;
  double m_circleRadius = 0;
};

}  // namespace orb::optimisation
