#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "optimisation/Meritoid.h"

namespace orb::tracing {
class RayBundle;
}

namespace orb::optimisation {

/// Operands that trace a hexapolar bundle from one field point (normalised Hx, Hy) and
/// reduce it to an RMS. With a target of 0 they give one residual per ray entry, scaled
/// so that half their sum of squares is half the squared RMS over the tolerance; the list
/// keeps one slot per traced ray (dead rays hold 0), so its length never changes while a
/// minimiser differentiates it. No live ray, or a failed trace, is NaN with a message.
class MeritoidWithHexRays : public Meritoid {
 public:
  static const platform::KeyTable& classKeys();
  const platform::KeyTable& keys() const override { return classKeys(); }

  void nontrivialize() override;
  std::vector<std::string> coderKeys() const override;
  std::vector<double> residuals() const override;
  /// One residual per ray entry exactly when the target is 0.
  bool hasResidualArray() const override { return target() == 0; }

  std::uint64_t numberOfRays() const { return m_numberOfRays; }
  void setNumberOfRays(std::uint64_t n);
  /// The ring count of the hexapolar pattern; setting q stores 3q(q + 1) + 1 rays.
  std::uint64_t numberOfRaysQuantum() const;
  void setNumberOfRaysQuantum(std::uint64_t q);
  double Hx() const { return m_Hx; }
  void setHx(double v);
  double Hy() const { return m_Hy; }
  void setHy(double v);
  bool monochromatic() const { return m_monochromatic; }
  void setMonochromatic(bool on);
  double wavelengthInNanometers() const { return m_wavelengthInNanometers; }
  void setWavelengthInNanometers(double nm);
  double estimatedRMS() const { return m_estimatedRMS; }
  /// Entries per traced ray, dead ones 0 (unreduced, calculation units).
  const std::vector<double>& entries() const { return m_entries; }

 protected:
  /// The bundle as made, untraced, in global coordinates, wave by wave (raises when none
  /// can be made; empty when the calling worker is cancelled). Call with the lens locked.
  tracing::RayBundle testBundle(analysis::Lens& lens) const;
  /// The traced bundle, in global coordinates (raises on a failed trace).
  tracing::RayBundle traceTestBundle(analysis::Lens& lens) const;
  /// The factor that reduces the entries to residuals of the given tolerance and units.
  virtual double reductionFactor(double tolerance, const std::string& units) const;
  /// Stores the outcome of an evaluation: the entries with their live count, and the RMS.
  void storeEntries(std::vector<double> entries, std::size_t liveEntries, double rms);
  /// Sizes the entries for a bundle of `count` entries (all 0).
  void resetEntries(std::size_t count) { m_entries.assign(count, 0.0); }
  bool checkLens();
  void fail(const std::string& message);
  std::size_t m_liveEntries = 0;

 private:
  std::uint64_t m_numberOfRays = 127;
  double m_Hx = 0, m_Hy = 0;
  bool m_monochromatic = false;
  double m_wavelengthInNanometers = 0;
  double m_estimatedRMS = 0;
  std::vector<double> m_entries;
};

/// "RMS Spot Size": the RMS spot about the centroid on the image surface in x, y or
/// radially ("r"), weighted by the waves' weights when polychromatic.
class MeritoidRMS : public MeritoidWithHexRays {
 public:
  static const platform::KeyTable& classKeys();
  const platform::KeyTable& keys() const override { return classKeys(); }
  std::string className() const override { return "MeritoidRMS"; }
  static const std::vector<std::string>& analysisDirections();

  void nontrivialize() override;
  std::vector<std::string> coderKeys() const override;
  void firstTimeWithLens(const LensPtr& lens) override;
  void evaluation() override;
  std::string displayIdentifier() const override { return identifier() + " " + m_analysisDirection; }
  std::shared_ptr<Meritoid> makeEmpty() const override { return make<MeritoidRMS>(); }

  const std::string& analysisDirection() const { return m_analysisDirection; }
  void setAnalysisDirection(const std::string& d);
  double estimatedDistanceToFocus() const { return m_estimatedDistanceToFocus; }

 protected:
  double reductionFactor(double tolerance, const std::string& units) const override;

 private:
  std::string m_analysisDirection = "r";
  double m_estimatedDistanceToFocus = 0;
};

/// "RMS Optical Path Difference": the RMS optical path difference over the pupil against
/// a reference sphere through the exit-pupil centre, centred on the rays' centroid (or on
/// the reference ray); each wave against its own reference when polychromatic. The
/// reference ray is the pupil-centre ray; when an obscuration (or the hole of an annular
/// aperture) stops it, it is traced again past the obscurations alone, so that an obscured
/// pupil is still measured against its chief ray.
class MeritoidRMSOPD : public MeritoidWithHexRays {
 public:
  static const platform::KeyTable& classKeys();
  const platform::KeyTable& keys() const override { return classKeys(); }
  std::string className() const override { return "MeritoidRMSOPD"; }

  void nontrivialize() override;
  std::vector<std::string> coderKeys() const override;
  void setLens(LensPtr lens) override;
  void evaluation() override;
  std::shared_ptr<Meritoid> makeEmpty() const override { return make<MeritoidRMSOPD>(); }

  bool useCentroidAsReference() const { return m_useCentroidAsReference; }
  void setUseCentroidAsReference(bool on);

 private:
  bool m_useCentroidAsReference = true;
};

}  // namespace orb::optimisation
