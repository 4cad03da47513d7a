#pragma once

#include <atomic>
#include <complex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "wavefront_illumination/OTFCalculator.h"

namespace orb::wavefront {

/// The geometrical optical transfer function of each field point: the weighted Fourier
/// transform of the ray intercepts of a hexapolar bundle along one transverse direction,
/// tangential (y) and sagittal (x), over a range of spatial frequencies. In its hybrid
/// form each frequency is multiplied by the diffraction-limited MTF of a circular pupil.
///
/// Rays of a field are weighted by their wave's weight, normalised to sum 1, so the
/// modulus is 1 at zero frequency. A field whose weights sum to zero (every wave of
/// weight 0) has no transfer function: it gets no curves and the status says why.
///
/// Keys besides OTFCalculator's: "numberOfSpatialFrequencies" (101), "useHybridForm",
/// "usePerfectImaging" (every intercept at the centroid: modulus 1, the hybrid form then
/// the diffraction limit itself); all persisted.
class GOTFCalculator : public OTFCalculator {
 public:
  /// 127 rays (6 rings), 101 frequencies from 0 to 20 cycles/mm, tight axes, legend.
  GOTFCalculator();

  static const platform::KeyTable& classKeys();
  const platform::KeyTable& keys() const override { return classKeys(); }
  std::string className() const override { return "GOTFCalculator"; }

  int numberOfSpatialFrequencies() const { return m_numberOfSpatialFrequencies.load(); }
  void setNumberOfSpatialFrequencies(int n);
  bool useHybridForm() const { return m_useHybridForm.load(); }
  void setUseHybridForm(bool on);
  bool usePerfectImaging() const { return m_usePerfectImaging.load(); }
  void setUsePerfectImaging(bool on);

  /// Always the hexapolar pattern of numberOfRays, whatever the fan type.
  tracing::pupil::Points pupilCoordinatesForRealRays() const override;

  // --- the transform --------------------------------------------------------------------------------
  /// Σⱼ wⱼ·e^{i·k·uⱼ}: the characteristic function of the intercepts u at angular
  /// frequency k (radians per unit of u).
  static std::complex<double> weightedPhasor(std::span<const double> u, std::span<const double> w, double k);
  /// The live rows of `field` (and `wave`, null for every wave), in order.
  static std::vector<std::size_t> selectRows(const tracing::RayBundle& bundle, const lens::Field* field,
                                             const lens::Wave* wave);
  /// The rows' wave weights divided by their sum; none when the sum is not positive.
  static std::optional<std::vector<double>> normalisedWeights(const tracing::RayBundle& bundle,
                                                              std::span<const std::size_t> rows);

  /// Direction nonzero tangential, 0 sagittal: the modulus curve and, with plotComplex,
  /// the real and imaginary parts; none when no ray of the field lives or its weights sum
  /// to zero (then `problem` says so).
  virtual std::optional<platform::Array> extractCurvesForDirection(int direction, const FieldPtr& field,
                                                                   const WavePtr& wave,
                                                                   const tracing::RayBundle& bundle,
                                                                   std::string* problem = nullptr) const;
  void generateCurves() override;
  /// The first ordinate of the curve whose "y" entry is "y"; 0 when there is no plot or
  /// no such curve (this analysis's curves carry none).
  double value() const;

  void addRestorationDataToDictionary(platform::Dictionary& dictionary) const override;

 protected:
  /// Every field of interest's curves in the given directions, in that order, for `wave`
  /// (null: all waves) from the traced bundle; false when the run is cancelled.
  bool appendFieldCurves(std::initializer_list<int> directions, const WavePtr& wave, platform::Array& curves,
                         std::vector<std::string>& problems) const;
  /// Curve name, with the field's short description: "0,1 (T)", "0,1 (Sr)".
  static std::string curveName(const lens::Field& field, int direction, const char* part);

 private:
  std::atomic<int> m_numberOfSpatialFrequencies{101};
  std::atomic<bool> m_useHybridForm{false}, m_usePerfectImaging{false};
};

}  // namespace orb::wavefront
