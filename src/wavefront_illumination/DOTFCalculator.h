#pragma once

#include <atomic>
#include <complex>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "analysis/OPDCalculator.h"
#include "foundation/linear/ComplexMatrix.h"
#include "foundation/objects/XYZ.h"
#include "tracing/RayBundle.h"
#include "wavefront_illumination/PSFCalculator.h"

namespace orb::wavefront {

struct DOTFPupilImages;

/// The diffraction OTF/MTF, line-spread function and point-spread function of each field
/// point from the wavefront of a square grid of rays: the OPD of every ray becomes the
/// phase of a unit-amplitude pupil, placed in a zero matrix twice the grid's size (room
/// for the autocorrelation without wrap-around), whose FFT is the amplitude point spread;
/// its squared magnitude is the intensity field (optionally interpolated by padding its
/// spectrum with zeros), and the inverse FFT of the intensity is the OTF, 1 at zero
/// frequency. Polychromatic results are weight-averaged over the waves of interest.
///
/// The grid: n × n cell centres over the square around the unit pupil, k = i·n + j with
/// pupil x from row i and pupil y from column j; cells outside the unit circle are dead
/// (no light), so a perfect pupil of n = 16 has 208 live cells. The OTF holds 2n samples
/// a side; sample s along an axis is the frequency s/n of the cut-off.
///
/// `showBruteForce` adds the autocorrelation summed directly, shift by shift, without any
/// FFT, as markers: an independent check of the FFT curves.
///
/// A grid without a live ray, or a polychromatic field whose wave weights are all zero,
/// has no OTF: its field gets no curves and the status says why.
///
/// Keys besides PSFCalculator's: "numberOfRaysPerSide", "numberOfPointsPerSide" (16),
/// their "…Bits" forms (4), "useEqualNumberOfRaysAndPoints", "interpolationOrder" (2),
/// "showBruteForce", "usePerfectOPD", "correctForAngleOfIncidence", "useNewOrdering",
/// and the read-only "wavefrontMin", "wavefrontMax", "factorX", "factorY". "pupilImages"
/// is announced (on the main thread) when the last grid's pupil images change.
class DOTFCalculator : public PSFCalculator {
 public:
  /// One grid's input to the pipeline: the OPD (lens units) and liveness of every cell,
  /// row-major n × n, and its wavelength (mm).
  struct PupilGrid {
    int n = 0;
    std::vector<double> opd;
    std::vector<std::uint8_t> alive;
    double wavelength = 0;
    bool fftOrder = false;
    /// The OTF's frequency per sample along rows (pupil x) and columns (pupil y): the
    /// grid's step in image-space direction cosines over λ, cycles per mm (per radian
    /// afocal); 0 when unknown.
    double stepX = 0, stepY = 0;
  };
  /// What the pipeline makes of one grid: the OTF (2n × 2n, 1 at zero frequency), the
  /// intensity field (2n·2^order a side, FFT order) and the wavefront's range.
  struct Transfer {
    foundation::ComplexMatrix otf;
    foundation::Matrix intensity;
    double wavefrontMin = 0, wavefrontMax = 0;
    double stepX = 0, stepY = 0;  ///< the grid's (see PupilGrid)
    double spectrumZero = 0;      ///< the intensity's sum, which the OTF is normalised by
  };
  /// The directly summed autocorrelation of one grid along both axes, n shifts from 0,
  /// normalised by the zero shift: rows (pupil x) and columns (pupil y).
  struct BruteForce {
    std::vector<std::complex<double>> rows, columns;
    double stepX = 0, stepY = 0;  ///< the grid's (see PupilGrid)
  };

  /// 16 rays and points a side, interpolation order 2, OTF plot with the diffraction limit
  /// from 0 to 100 cycles per user unit.
  DOTFCalculator();
  /// A grid run is long enough that even 16384 rays pay for handing blocks to the pool.
  std::size_t parallelTraceFromRays() const override { return std::size_t(1) << 14; }

  static const platform::KeyTable& classKeys();
  const platform::KeyTable& keys() const override { return classKeys(); }
  std::string className() const override { return "DOTFCalculator"; }

  // --- settings ----------------------------------------------------------------------------------
  int numberOfRaysPerSide() const { return m_numberOfRaysPerSide.load(); }
  /// With equal counts also the points; the ray count becomes n².
  void setNumberOfRaysPerSide(int n);
  int numberOfPointsPerSide() const { return m_numberOfPointsPerSide.load(); }
  void setNumberOfPointsPerSide(int n);
  /// The smallest k with 2^k ≥ the count (0 below 2); the setter takes 2^k (1 for k < 1).
  int numberOfRaysPerSideBits() const { return bitsFor(numberOfRaysPerSide()); }
  void setNumberOfRaysPerSideBits(int bits);
  int numberOfPointsPerSideBits() const { return bitsFor(numberOfPointsPerSide()); }
  void setNumberOfPointsPerSideBits(int bits);
  bool useEqualNumberOfRaysAndPoints() const { return m_useEqualNumberOfRaysAndPoints.load(); }
  void setUseEqualNumberOfRaysAndPoints(bool on);
  int interpolationOrder() const { return m_interpolationOrder.load(); }
  void setInterpolationOrder(int order);
  bool showBruteForce() const { return m_showBruteForce.load(); }
  void setShowBruteForce(bool on);
  bool usePerfectOPD() const { return m_usePerfectOPD.load(); }
  void setUsePerfectOPD(bool on);
  bool correctForAngleOfIncidence() const { return m_correctForAngleOfIncidence.load(); }
  void setCorrectForAngleOfIncidence(bool on);
  bool useNewOrdering() const { return m_useNewOrdering.load(); }
  void setUseNewOrdering(bool on);
  /// A count that is not n² picks the grid whose n² holds it (n a power of two).
  void setNumberOfRays(std::uint64_t n) override;

  double wavefrontMin() const { return m_wavefrontMin.load(); }
  double wavefrontMax() const { return m_wavefrontMax.load(); }
  double factorX() const { return m_factorX.load(); }
  double factorY() const { return m_factorY.load(); }

  /// 2^(order + 1) for an order of 1 or more, else 2.
  double imageRescaleFactor() const override;
  /// The current transfer's frequency step over the paraxial one of the primary wave on
  /// axis, along rows (0) or columns (1): 1 there, λp/λ at another wavelength, the
  /// obliquity of the pupil off axis. The curves' abscissae scale by it, the field's
  /// pitch by its inverse.
  double frequencyRatio(int direction) const;
  /// The wave of interest's wavelength over the primary's (1 polychromatic): the
  /// diffraction limits drawn are those of the wavelength shown.
  double wavelengthRatio() const;
  double fieldPitchMM(int direction) const override;
  double fieldPitchInUserUnits(int direction) const override;
  /// The grid is placed as the lens's paraxial pupil says, aimed or not.
  bool suspendsRayAiming() const override { return true; }
  void calculate() override;
  int curveNumberOfPoints() const override { return numberOfPointsPerSide(); }

  // --- the pipeline (pure) --------------------------------------------------------------------------
  static int bitsFor(int count);
  /// Where grid row (or column) i goes in the 2n matrix's signed index.
  static int signedGridIndex(int n, int i, bool fftOrder);
  /// The grid's complex pupil in the 2n × 2n matrix: rows (pupil x) keep their sign,
  /// columns (pupil y) are mirrored; phase 2π·OPD/λ, amplitude 1, dead cells 0.
  static foundation::ComplexMatrix pupilMatrix(const PupilGrid& grid);
  /// Memory a calculator keeps from run to run: fresh pages cost a fault every 4 KB,
  /// which for a 2048² field is more than its transforms. Worker only.
  struct Workspace {
    /// The interpolation's column pass, one transformed column a row (huge pages: the
    /// row pass reads it across).
    tracing::detail::Column<foundation::XY> columnPass;
    /// The interpolation's row blocks, one per thread slot of the pool.
    std::vector<foundation::ComplexMatrix> rowBlocks;
    /// The ray states of the grid whose OPDs are taken.
    std::vector<analysis::OPDCalculator::RayState> states;
    /// Fields handed back; one is taken only when no reader holds it any more.
    std::vector<std::shared_ptr<const foundation::Matrix>> spares;
    /// OTFs handed back, the same way: the next pupil's storage.
    std::vector<std::shared_ptr<const foundation::ComplexMatrix>> transferSpares;
    /// A spare's storage of that size, or none.
    std::optional<foundation::Matrix> take(std::size_t rows, std::size_t cols);
    void giveBack(std::shared_ptr<const foundation::Matrix> field);
    std::optional<foundation::ComplexMatrix> takeTransfer(std::size_t rows, std::size_t cols);
    void giveBackTransfer(std::shared_ptr<const foundation::ComplexMatrix> otf);
  };
  /// The FFT pipeline; none when no cell lives (`problem` then says so) or the worker is
  /// cancelled. Its passes run over the cores; with a workspace it allocates no field.
  /// Without `withIntensity` only the OTF is made (the intensity is left empty).
  static std::optional<Transfer> transferForGrid(const PupilGrid& grid, int interpolationOrder,
                                                 std::string* problem = nullptr, Workspace* workspace = nullptr,
                                                 bool withIntensity = true);
  /// Keys' cubic convolution weights (a = −1/2) of the taps floor(t) − 1 … floor(t) + 2.
  struct CubicTaps {
    int first = 0;
    double w[4] = {0, 0, 0, 0};
  };
  static CubicTaps cubicTaps(double t);
  /// The OTF (2n × 2n, FFT order) sampled at other frequencies: sample s of the result is
  /// the OTF at sample s·ratioX along rows and s·ratioY along columns (Keys cubic, zero
  /// beyond the cut-off at sample n). Waves of one field meet on a common grid this way.
  static foundation::ComplexMatrix resampledOTF(const foundation::ComplexMatrix& otf, double ratioX, double ratioY);
  /// The intensity field whose spectrum is conj(otf)·spectrumZero, interpolated 2^order
  /// times finer; none when cancelled.
  static std::optional<foundation::Matrix> intensityFromOTF(const foundation::ComplexMatrix& otf, double spectrumZero,
                                                            int interpolationOrder, Workspace* workspace = nullptr);
  /// The brute-force sums of several waves, each taken at the frequencies of `onto`'s
  /// steps (cubic between its own samples), weighted and averaged; none without parts.
  static std::optional<BruteForce> averagedBruteForce(const std::vector<BruteForce>& parts,
                                                      const std::vector<double>& weights);

  /// Whether the curves read the intensity field: the line spread and the point-spread
  /// sections do, the MTF reads the OTF alone, so an MTF run makes no field.
  virtual bool needsIntensityField() const { return !plotOTF(); }
  /// Bytes a run at these settings needs, from the grid's size: its OTF grids (one; an
  /// averaged field two, and every wave's grid), its rays and, when the curves read one,
  /// its fields (the new one, the one on show, the spares kept, one cached per field).
  /// Without `withRays` the rays are left out: the curve stage finds them traced.
  double bytesForRun(bool withRays = true) const;
  /// The memory the machine has available now (/proc/meminfo's MemAvailable, else the
  /// free pages); infinite when neither says.
  static double availableMemory();
  /// The most a run may take: what the machine has available unless set (0: that default).
  double memoryBudget() const;
  void setMemoryBudget(double bytes) { m_memoryBudget = bytes; }
  /// "needs 8.6 GB but 2.0 GB is available; reduce rays per side or interpolation" when
  /// bytesForRun exceeds the budget.
  std::optional<std::string> memoryProblem(bool withRays = true) const;
  /// The field of the last run; after an MTF run, which made none, it is made now from
  /// the last transfer, as the run would have made it.
  bool exportToFile(std::FILE* file) override;
  /// The real part of matrixInterpolatedFromFFT for power-of-two sides: only the columns
  /// that hold the spectrum are column-transformed, then the field row by row; both
  /// passes run over the cores. None for other sides, or when the worker is cancelled.
  static std::optional<foundation::Matrix> realInterpolatedFromFFT(const foundation::ComplexMatrix& spectrum,
                                                                   int power, Workspace* workspace = nullptr);
  /// The spectrum S (R × Q) padded with zeros to R·2^p × Q·2^p about its zero frequency,
  /// then inverse transformed: S's signal sampled 2^p times finer.
  static foundation::ComplexMatrix matrixInterpolatedFromFFT(const foundation::ComplexMatrix& spectrum, int power);
  /// The autocorrelation of the n × n pupil summed shift by shift; none when no cell lives.
  static std::optional<BruteForce> bruteForceForGrid(const PupilGrid& grid);

  // --- the analysis ------------------------------------------------------------------------------------
  /// The square grid of rays (pupilCoordinatesForRealRays), whatever the fan type.
  tracing::pupil::Points pupilCoordinatesForRealRays() const override;
  /// Cells outside the unit pupil are dead before the trace.
  void traceRays() override;
  /// The traced rows of `field` (any when null) and `wave` (any when null), in order,
  /// dead rows included.
  static std::vector<std::size_t> rowsFor(const tracing::RayBundle& bundle, const lens::Field* field,
                                          const lens::Wave* wave);
  /// The centre of the reference sphere of a field (the live rows' centroid; afocal: of
  /// their momenta).
  foundation::XYZ centroidOf(const tracing::RayBundle& bundle, std::span<const std::size_t> rows) const;
  /// The grid of one field and wave: OPDs against the centroid, factorX and factorY; none
  /// when the rows do not make a grid of the current size or there is no OPD.
  std::optional<PupilGrid> gridForRows(const tracing::RayBundle& bundle, std::span<const std::size_t> rows,
                                       const foundation::XYZ& centroid, std::string* problem);
  /// Monochromatic: the grid's transfer into opticalTransferFunction and intensityField.
  bool generateOpticalTransferFunctionForRows(const tracing::RayBundle& bundle, std::span<const std::size_t> rows,
                                              const foundation::XYZ& centroid, std::string* problem);
  /// The weight-averaged transfer over the waves of interest.
  bool generatePolychromaticOpticalTransferFunctionForField(const FieldPtr& field, std::string* problem);
  /// The OTF of the last run (null when none); the curve stage drops it at its end.
  std::shared_ptr<const foundation::ComplexMatrix> opticalTransferFunction() const;
  /// What the pupil images of the last grid show (DOTFImages.h); null before the first.
  std::shared_ptr<const DOTFPupilImages> pupilImages() const;

  /// Modulus (and with plotComplex real and imaginary) curves of the OTF along one axis,
  /// n + 1 samples up to the cut-off; direction nonzero: first row (pupil y, tangential).
  platform::Array extractCurvesForDirection(int direction, const FieldPtr& field, const WavePtr& wave);

  // --- brute force -----------------------------------------------------------------------------------------
  /// Row real, row imaginary, column real, column imaginary, n samples from 0; none
  /// without a grid.
  std::optional<platform::Array> bruteForceCurvesForRows(const tracing::RayBundle& bundle,
                                                         std::span<const std::size_t> rows,
                                                         const foundation::XYZ& centroid, std::string* problem);
  std::optional<platform::Array> bruteForcePolychromaticCurvesForField(const FieldPtr& field, std::string* problem);
  /// A modulus curve after every (real, imaginary) pair; a last unpaired curve is dropped.
  static platform::Array curvesByAddingPairWiseMagnitudesToCurves(const platform::Array& curves);
  /// Without the curves whose "yLabel" is "Re" or "Im".
  static platform::Array curvesByRemovingComplexPartFromCurves(const platform::Array& curves);

  /// Clears the cache, then the OTF or LSF curves, then the point-spread image.
  void generateCurves() override;
  void generateCurvesForOTF();
  void generateCurvesForLSF();

 protected:
  /// The weights of the waves of interest (a single wave of weight 0 counts 1); none when
  /// they sum to zero.
  std::optional<std::vector<double>> waveWeights(const std::vector<WavePtr>& waves) const;
  /// For each field of interest: its OTF and intensity field for the wave of interest
  /// (polychromatic without one), then `each(field)`; false when cancelled.
  bool forEachFieldTransfer(std::vector<std::string>& problems, const std::function<void(const FieldPtr&)>& each);
  void willDeallocate() override;
  /// Says the memory problem and shows no curves; true when there is one, or when the
  /// run whose curves these would be was refused.
  bool refusedForMemory();
  /// Bytes of fields and OTFs the calculator holds now, which a run frees or reuses: they
  /// count as available to it. Worker only.
  double heldBytes() const;

 private:
  /// `order` and `average` say how the transfer was made (see exportToFile).
  void setTransfer(Transfer transfer, int order, bool average);
  /// Hands the OTF on show to the workspace before a new one is made, so that its storage
  /// serves the new one: a run holds one OTF grid, not two. The pupil images keep their
  /// grid and lose their OTF until the new one is recorded.
  void releaseTransferForReuse();
  /// Drops what only the intensity field needs (fields kept for reuse, the
  /// interpolation's buffers): an MTF run holds none of them.
  void releaseIntensityStorage();
  /// Keeps the grid with the OTF just set as the pupil images' data (DOTFImages.cpp).
  void recordPupilImages(PupilGrid grid);
  /// The paraxial frequency step of the primary wave on axis (cycles per mm, per radian
  /// afocal); 0 without a lens.
  double referenceStep() const;
  /// Curves from brute-force sums at their steps.
  platform::Array bruteForceCurves(const BruteForce& sums) const;

  std::atomic<int> m_numberOfRaysPerSide{16}, m_numberOfPointsPerSide{16};
  std::atomic<bool> m_useEqualNumberOfRaysAndPoints{true};
  std::atomic<int> m_interpolationOrder{2};
  std::atomic<bool> m_showBruteForce{false}, m_usePerfectOPD{false}, m_correctForAngleOfIncidence{false},
      m_useNewOrdering{false};
  std::atomic<double> m_wavefrontMin{0}, m_wavefrontMax{0}, m_factorX{0}, m_factorY{0};
  std::atomic<double> m_stepX{0}, m_stepY{0};  // the current transfer's
  std::atomic<double> m_memoryBudget{0};
  // How the last transfer was made, for a field made after the fact (under the lock).
  double m_spectrumZero = 0;
  int m_transferOrder = 0;
  bool m_transferIsAverage = false;
  std::optional<std::string> m_runRefusal;  // why calculate() traced nothing (the lock)
  std::shared_ptr<const foundation::ComplexMatrix> m_otf;  // under the calculator's lock
  std::shared_ptr<const DOTFPupilImages> m_pupilImages;    // the same
  Workspace m_workspace;                                   // worker only
};

/// The FFT point-spread window's calculator: the same pipeline, shown as the x and y
/// sections of the point-spread function through zero displacement (peak 1), with the
/// Airy pattern [2J₁(v)/v]², v = πr/(λN), as the diffraction limit.
class DPSFCalculator : public DOTFCalculator {
 public:
  DPSFCalculator();
  std::string className() const override { return "DPSFCalculator"; }
  /// The sections and the image read the field, whatever plotOTF says.
  bool needsIntensityField() const override { return true; }
  void generateCurves() override;
  /// The section of the cached field through zero displacement: direction nonzero along
  /// y (a column), else along x (a row); centred, peak 1.
  std::optional<platform::Dictionary> sectionCurve(int direction, const FieldPtr& field, const WavePtr& wave,
                                                   std::string* problem);
  /// The Airy pattern over the sections' range; none without a usable scale.
  std::optional<platform::Dictionary> curveForAiryPattern(double halfWidth) const;
};

}  // namespace orb::wavefront
