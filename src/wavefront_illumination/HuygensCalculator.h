#pragma once

#include <atomic>
#include <complex>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "foundation/linear/ComplexMatrix.h"
#include "foundation/objects/XYZ.h"
#include "tracing/RayWithFrame.h"
#include "wavefront_illumination/PSFCalculator.h"

namespace orb::platform {
class WorkerThread;
}

namespace orb::wavefront {

/// The point-spread function, line-spread functions and MTF of a lens by direct Huygens
/// summation: every traced ray is carried back to the exit-pupil plane, and the complex
/// amplitudes of all rays, with their optical paths as phases, are summed at each point
/// of a small square screen centred on the image of the field point. The intensity on the
/// screen is the PSF (FFT order, as PSFCalculator keeps it); its sums along x and y are
/// the LSFs; their Fourier transforms give the MTF.
///
/// The sum costs rays × N² phasors. From kSwarmThreshold on it is spread over summation
/// threads of the calculator (interleaved screen points, so they finish together): the
/// worker sums one share itself, and the share of any thread that could not be started,
/// and joins the others; every thread stops at its next point once the run is stopped or
/// the swarm halted.
///
/// Settings that change the sum (screen, amplitude and obliquity options) ask for new
/// curves; the presentation (OTF or LSF, axes, resampling) is redrawn from the cached
/// fields without summing again.
///
/// Without a wave of interest each wave's intensity is scaled to the power its rays carry
/// through the pupil, so that the waves share the light as their weights do: the sum by
/// itself gives a wave a power growing as λ².
///
/// An exit pupil at infinity (a telecentric image space) has no plane to carry the rays
/// back to: the sum is taken from the plane one focal length before the image, which the
/// same converging wave crosses.
///
/// Keys besides PSFCalculator's: "screenNumberOfPointsPerSide", "screenDelta",
/// "screenWidth", "screenWidthUnits" and their "…GUI" forms (which keep width = N × spacing),
/// "useReferenceSphere" (the rays carried on from the pupil plane to the sphere through the
/// pupil centre about the screen's centre, and summed from there), "usePerfectOPD" (every
/// ray's path that of a perfect wave converging on the screen's centre),
/// "correctForAngleOfIncidence" (kept, no effect), "suppressAmplitudeAttenuation",
/// "suppressObliquityFactor", "dataMaximumSpatialFrequency", "plotSpatialFrequencyDataRange"
/// (all persisted).
class HuygensCalculator : public PSFCalculator {
 public:
  /// rays × N² at which the summation threads start.
  static constexpr double kSwarmThreshold = 65536;

  /// One complex amplitude field and its squared magnitude.
  struct OpticalField {
    /// Null for a polychromatic sum without its primary wave.
    std::shared_ptr<const foundation::ComplexMatrix> amplitudeField;
    std::shared_ptr<const foundation::Matrix> intensityField;
  };
  using FramedRays = std::vector<tracing::RayWithFrame>;
  using FramedRaysPtr = std::shared_ptr<const FramedRays>;

  /// 32 × 32 points 2 µm apart, 256 hexapolar rays, frequencies up to the cut-off.
  HuygensCalculator();

  static const platform::KeyTable& classKeys();
  const platform::KeyTable& keys() const override { return classKeys(); }
  std::string className() const override { return "HuygensCalculator"; }

  bool needsProgressMonitor() const override { return true; }

  // --- screen -------------------------------------------------------------------------------------
  int screenNumberOfPointsPerSide() const { return m_screenNumberOfPointsPerSide.load(); }
  void setScreenNumberOfPointsPerSide(int n);
  /// Spacing of the screen points, in screenWidthUnits.
  double screenDelta() const { return m_screenDelta.load(); }
  void setScreenDelta(double delta);
  double screenWidth() const { return m_screenWidth.load(); }
  void setScreenWidth(double width);
  std::string screenWidthUnits() const;
  /// A length unit; anything else is ignored.
  void setScreenWidthUnits(const std::string& units);
  // The panel's forms keep width = N × spacing and the physical size across unit changes.
  int screenNumberOfPointsPerSideGUI() const { return screenNumberOfPointsPerSide(); }
  void setScreenNumberOfPointsPerSideGUI(int n);
  double screenDeltaGUI() const { return screenDelta(); }
  void setScreenDeltaGUI(double delta);
  double screenWidthGUI() const { return screenWidth(); }
  void setScreenWidthGUI(double width);
  std::string screenWidthUnitsGUI() const { return screenWidthUnits(); }
  void setScreenWidthUnitsGUI(const std::string& units);

  // --- sum options -----------------------------------------------------------------------------------
  bool suppressAmplitudeAttenuation() const { return m_suppressAmplitudeAttenuation.load(); }
  void setSuppressAmplitudeAttenuation(bool on);
  bool suppressObliquityFactor() const { return m_suppressObliquityFactor.load(); }
  void setSuppressObliquityFactor(bool on);
  bool useReferenceSphere() const { return m_useReferenceSphere.load(); }
  void setUseReferenceSphere(bool on);
  bool usePerfectOPD() const { return m_usePerfectOPD.load(); }
  void setUsePerfectOPD(bool on);
  bool correctForAngleOfIncidence() const { return m_correctForAngleOfIncidence.load(); }
  void setCorrectForAngleOfIncidence(bool on);
  /// Summation threads: 0 (the default) for the larger of 2 and the processor count.
  unsigned swarmThreadCount() const { return m_swarmThreadCount.load(); }
  void setSwarmThreadCount(unsigned n) { m_swarmThreadCount = n; }
  /// Stops the summation threads at their next point (the run's stop does it as well).
  void haltSwarm() { m_haltSwarm = true; }

  // --- frequency axis ----------------------------------------------------------------------------------
  double dataMaximumSpatialFrequency() const { return m_dataMaximumSpatialFrequency.load(); }
  void setDataMaximumSpatialFrequency(double f);
  bool plotSpatialFrequencyDataRange() const { return m_plotSpatialFrequencyDataRange.load(); }
  void setPlotSpatialFrequencyDataRange(bool on);
  /// The axis maximum: the cut-off (also stored as the maximum) and/or the data's highest
  /// frequency when their flags are on, else the maximum as set.
  double updateMaximumSpatialFrequency();

  // --- scales ------------------------------------------------------------------------------------------------
  int curveNumberOfPoints() const override { return screenNumberOfPointsPerSide(); }
  /// The screen spacing in millimetres: the image's pixel pitch.
  double screenDeltaMM() const override;
  /// The screen spacing in user units (per |focal length| when dividing by it).
  double deltaInUserUnits() const override;

  // --- computation -----------------------------------------------------------------------------------------
  /// Copies of the traced rays as framed rays, moved to the exit-pupil plane (in the frame
  /// of the traced bundle; for a pupil at infinity the plane of pupilCenterOfSum), with
  /// their amplitude factors. Null when no such plane could be placed.
  FramedRaysPtr raysAtExitPupil() const;
  /// The last amplitude field (of the last field of interest).
  std::shared_ptr<const foundation::ComplexMatrix> amplitudeField() const;

  /// Row i along u, column j along v, both in FFT order (index 0 the centre, the upper
  /// half of the axis negative offsets); u = ŷ × n and v = n × u, both normalised. A normal
  /// along ±y takes u = x̂. Empty when a size is 0.
  static std::vector<foundation::XYZ> pointsWithGridSize(int width, int height, const foundation::XYZ& center,
                                                         const foundation::XYZ& normal, double delta);
  /// Each live ray moved along its momentum to the plane through E normal to n: the path
  /// grows by t·|p|², the transfer matrix by the free step t.
  static void propagateRaysToExitPupil(FramedRays& rays, const foundation::XYZ& center, const foundation::XYZ& normal);
  /// √|det| of the transfer matrix's position block (object at infinity) or its
  /// position-by-momentum block: the weight of the ray tube in the sum.
  static void updateAmplitudeFactorForRays(FramedRays& rays, bool objectAtInfinity);
  /// Each live ray moved along its momentum to the sphere about `center` through
  /// `pupilCenter` (the crossing nearer the ray), as propagateRaysToExitPupil moves it to a
  /// plane; a ray that misses the sphere dies.
  static void propagateRaysToReferenceSphere(FramedRays& rays, const foundation::XYZ& center,
                                             const foundation::XYZ& pupilCenter);
  /// Every live ray's path made that of a perfect wave converging on `center` (diverging
  /// from it for a ray already past it), the first live ray's path kept.
  static void applyPerfectWavefront(FramedRays& rays, const foundation::XYZ& center);
  /// The centre of the plane the sum starts from, in the rays' frame, which the reference
  /// sphere passes through: the exit-pupil centre, or for a pupil at infinity the point one
  /// focal length before the centroid of the traced rays.
  foundation::XYZ pupilCenterOfSum() const;
  /// Copies of the rays of a field (and wave; null: all) as the sum takes them, with the
  /// reference sphere and perfect wavefront applied when they are on; empty without rays.
  FramedRays raysForSumOfField(const FieldPtr& field, const WavePtr& wave);
  /// The Huygens sum at one point (the reference for the threaded field).
  std::complex<double> amplitudeForRays(const FramedRays& rays, double wavelengthMM, const foundation::XYZ& point) const;
  /// The N × N amplitude field of rays of one wave at the points; none when the run was
  /// stopped or no ray lives.
  std::optional<foundation::ComplexMatrix> amplitudeFieldForRays(const FramedRays& rays,
                                                                 const std::vector<foundation::XYZ>& points, int n);
  /// The field of interest's optical field at the wave of interest (all waves, weighted,
  /// when there is none); none without live rays, a usable screen, or when stopped.
  std::optional<OpticalField> monochromaticOpticalFieldForField(const FieldPtr& field, const WavePtr& wave);
  std::optional<OpticalField> polychromaticOpticalFieldForField(const FieldPtr& field, std::string* problem = nullptr);

  // --- stages --------------------------------------------------------------------------------------------------
  void traceRays() override;
  /// Sums every field of interest (unless nothing that enters the sum has changed since
  /// the last sum), caches the fields, makes the image, then finalizes.
  void generateCurves() override;
  /// LSF or OTF curves from the cached fields; publishes the plot.
  void finalizeCurves() override;
  /// Direction nonzero: tangential (y, column sums), 0: sagittal (x). The MTF from the
  /// FFT of the LSF, normalised at zero frequency, with the real and imaginary parts when
  /// plotComplex; none for a screen that is not a power of two ("ERROR" logged).
  std::optional<platform::Array> extractOTFCurvesForDirection(int direction, const FieldPtr& field,
                                                              const WavePtr& wave);
  std::optional<platform::Array> extractCurvesForDirection(int direction, const FieldPtr& field, const WavePtr& wave,
                                                           std::string* problem = nullptr);

  /// The screen width from the lens: five diffraction scales, to 0.001 mm (at least that).
  void firstTimeWithLens(const analysis::LensPtr& lens) override;
  void addRestorationDataToDictionary(platform::Dictionary& dictionary) const override;

 protected:
  /// Starts one summation thread; raises (std::system_error) when the system cannot.
  virtual std::shared_ptr<platform::WorkerThread> startSummationThread(std::string name, std::function<void()> body);
  void willDeallocate() override;

 private:
  struct SumInput;
  /// Rays picked out of a shared array without copying them.
  using RayRefs = std::vector<const tracing::RayWithFrame*>;
  std::optional<foundation::ComplexMatrix> amplitudeFieldForRefs(const RayRefs& rays,
                                                                 const std::vector<foundation::XYZ>& points, int n);
  void sumPoints(const SumInput& in, std::size_t first, std::size_t step, const std::atomic<bool>* workerCancelled);
  void publishCurves(platform::Array curves, std::vector<std::string> problems);
  void markSumChanged(const char* key);
  std::optional<OpticalField> opticalFieldForRays(const RayRefs& rays, const std::vector<foundation::XYZ>& points,
                                                  int n);
  /// The rays of a field and wave (null: any), in order.
  static RayRefs raysOf(const FramedRays& rays, const lens::Field* field, const lens::Wave* wave);
  static RayRefs raysOf(const RayRefs& rays, const lens::Field* field, const lens::Wave* wave);
  /// The screen about the centroid of the traced rays, across the normal of the live ray
  /// closest to it; false without a live ray or a usable spacing.
  bool screenFor(const RayRefs& traced, std::vector<foundation::XYZ>& points);
  /// The rays themselves, or copies in `storage` moved to the reference sphere about the
  /// screen's centre and given the perfect wave's paths as those options ask.
  RayRefs raysForSum(const RayRefs& rays, const foundation::XYZ& screenCenter, FramedRays& storage) const;
  /// The power the sum puts on a screen wide enough to catch it all, up to a factor common
  /// to every wave: λ² Σ w²/det over the rays, w a ray's weight in the sum and det its tube's
  /// area at the pupil per area at the start (the amplitude factor squared).
  double powerOfRays(const RayRefs& rays) const;

  std::atomic<int> m_screenNumberOfPointsPerSide{32};
  std::atomic<double> m_screenDelta{2.0}, m_screenWidth{64.0};
  mutable std::mutex m_unitsMutex;
  std::string m_screenWidthUnits = "micron";
  std::atomic<bool> m_useReferenceSphere{false}, m_usePerfectOPD{false}, m_correctForAngleOfIncidence{false},
      m_suppressAmplitudeAttenuation{false}, m_suppressObliquityFactor{false};
  std::atomic<double> m_dataMaximumSpatialFrequency{0};
  std::atomic<bool> m_plotSpatialFrequencyDataRange{false};
  std::atomic<unsigned> m_swarmThreadCount{0};
  std::atomic<bool> m_haltSwarm{false};
  std::atomic<std::uint64_t> m_pointsDone{0};

  // What entered the last sum: the rays' generation and the settings' version.
  std::atomic<std::uint64_t> m_sumVersion{1};
  std::uint64_t m_summedVersion = 0;  // worker only

  // Replaced by the trace and the curve stage under the calculator's own lock.
  FramedRaysPtr m_tracedFramed, m_raysAtExitPupil;
  foundation::XYZ m_pupilCenter{0, 0, 0};
  bool m_objectAtInfinity = true;
  std::string m_pupilProblem;  // why the rays could not be carried to a pupil plane
  std::shared_ptr<const foundation::ComplexMatrix> m_amplitudeField;
};

/// The Huygens point-spread function shown as curves: its sections through zero
/// displacement along x (rows) and y (columns) for every field of interest, each scaled
/// to the field's peak. The point-spread window draws it until it can show the field as
/// an image.
class HuygensPSFCalculator : public HuygensCalculator {
 public:
  using HuygensCalculator::HuygensCalculator;
  std::string className() const override { return "HuygensPSFCalculator"; }

  /// Direction nonzero: the y section (row 0 of the field), 0: the x section (column 0),
  /// from the most negative displacement to the most positive; none without a cached field.
  std::optional<platform::Array> extractSectionCurveForDirection(int direction, const FieldPtr& field,
                                                                 const WavePtr& wave);
  void finalizeCurves() override;
};

}  // namespace orb::wavefront
