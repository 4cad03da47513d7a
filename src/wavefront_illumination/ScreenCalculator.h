#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "foundation/objects/XY.h"
#include "wavefront_illumination/IntensityCalculator.h"

namespace orb::wavefront {

/// The irradiance screen: rays launched from the lens's emitters are traced to the
/// surface of interest and counted into a grid of square bins (in position, or in
/// direction for angle units). From the count matrix it publishes a slice (a row, a
/// column, a diagonal or the sum along one direction) as a plot, the image of the whole
/// matrix (through IntensityCalculator), a monitor read-out of the bin under the mouse
/// and a CSV export.
///
/// Element (i, j) of the matrix is the bin whose centre is at x = xCoordinateForIndex(i),
/// y = yCoordinateForIndex(j): rows run along x, columns along y, in natural order.
/// Coordinates of the screen are in the pitch units (`screenDeltaUnits`).
///
/// Threads: with `multithreaded` on and at least 1001 rays per processor, the trace is
/// split into one slice per processor, the last slice taking the remainder, each traced
/// on a thread "tracer-<k>" on a copy of the lens made under the lens's lock, which the
/// worker holds until every tracer has been joined. Stopping the worker cancels the
/// tracers (they are registered as its subthreads).
class ScreenCalculator : public IntensityCalculator {
 public:
  /// 32 × 32 bins of 2 mm, 1024 rays per emitter, no field or beam rays.
  ScreenCalculator();

  static const platform::KeyTable& classKeys();
  const platform::KeyTable& keys() const override { return classKeys(); }
  std::string className() const override { return "ScreenCalculator"; }

  bool needsProgressMonitor() const override { return true; }
  bool usesEmissionSurfaces() const override { return true; }
  bool usesBeams() const override { return false; }
  bool sourceTypeIsEmitter() const { return true; }
  /// The screen is lit by emitter rays only: the field-ray count is not used.
  void setNumberOfRays(std::uint64_t) override {}

  // --- settings ------------------------------------------------------------------------------
  bool multithreaded() const { return m_multithreaded.load(); }
  void setMultithreaded(bool on);
  int screenNumberOfPointsPerSideX() const { return m_nx.load(); }
  void setScreenNumberOfPointsPerSideX(int n);
  int screenNumberOfPointsPerSideY() const { return m_ny.load(); }
  void setScreenNumberOfPointsPerSideY(int n);
  /// The y count.
  int screenNumberOfPointsPerSide() const { return screenNumberOfPointsPerSideY(); }
  void setScreenNumberOfPointsPerSide(int n);
  /// The bin pitch, in the pitch units.
  double screenDelta() const { return m_delta.load(); }
  void setScreenDelta(double delta);
  std::string screenDeltaUnits() const;
  /// A length or angle unit; empty or unknown names are ignored.
  void setScreenDeltaUnits(const std::string& units);
  void setScreenWidthUnits(const std::string& units) { setScreenDeltaUnits(units); }
  int binDimension() const { return m_binDimension.load(); }
  void setBinDimension(int dimension);
  bool useSlice() const { return m_useSlice.load(); }
  void setUseSlice(bool on);
  std::int64_t sliceIndex() const { return m_sliceIndex.load(); }
  void setSliceIndex(std::int64_t index);
  bool useDiagonal() const { return m_useDiagonal.load(); }
  void setUseDiagonal(bool on);
  bool useSkew() const { return m_useSkew.load(); }
  void setUseSkew(bool on);
  bool skewTest() const { return m_skewTest.load(); }
  void setSkewTest(bool on);
  bool histogramVersusIndex() const { return m_histogramVersusIndex.load(); }
  void setHistogramVersusIndex(bool on);
  bool drawsElementCursor() const { return m_drawsElementCursor.load(); }
  void setDrawsElementCursor(bool on);
  bool drawsSliceCursor() const { return m_drawsSliceCursor.load(); }
  void setDrawsSliceCursor(bool on);
  bool useCircle() const { return m_useCircle.load(); }
  void setUseCircle(bool on);
  double circleRadius() const { return m_circleRadius.load(); }
  void setCircleRadius(double radius);
  bool maskCircle() const { return m_maskCircle.load(); }
  void setMaskCircle(bool on);
  /// Finalizing only: the curves are rebuilt from the present field.
  void setResampleCurves(bool on) override;
  void unitsChanged() override { setNeedsFinalizeCurves(true); }
  /// Plot the x and y sections through the screen's centre in place of the slice (for
  /// windows that show no image of the matrix); not persisted.
  bool plotsCentreSections() const { return m_plotsCentreSections.load(); }
  void setPlotsCentreSections(bool on);
  double lastTraceDuration() const { return m_lastTraceDuration.load(); }
  void setLastTraceDuration(double seconds) { setAndAnnounce("lastTraceDuration", m_lastTraceDuration, seconds); }
  /// Tracer threads for a multithreaded trace; 0 (the default) means the processor count.
  std::size_t threadCount() const { return m_threadCount.load(); }
  void setThreadCount(std::size_t n) { m_threadCount = n; }

  // --- interface-facing forms ----------------------------------------------------------------------
  /// Keeps the pitch, the slice's coordinate and the monitored bin's centre.
  void setScreenNumberOfPointsPerSideXGUI(int n);
  void setScreenNumberOfPointsPerSideYGUI(int n);
  void setScreenDeltaGUI(double delta) { setScreenDelta(delta); }
  /// The pitch becomes width / count (nothing for a count of 0).
  void setScreenWidthXGUI(double width);
  void setScreenWidthYGUI(double width);
  /// Keeps the physical pitch across the change of unit.
  void setScreenDeltaUnitsGUI(const std::string& units);
  double sliceCoordinate() const;
  void setSliceCoordinate(double coordinate);

  // --- derived values ---------------------------------------------------------------------------
  double screenWidthX() const { return screenNumberOfPointsPerSideX() * screenDelta(); }
  double screenWidthY() const { return screenNumberOfPointsPerSideY() * screenDelta(); }
  double xCoordinateForIndex(double i) const;
  double yCoordinateForIndex(double j) const;
  double realIndexForX(double x) const;
  double realIndexForY(double y) const;
  int xIndexForCoordinate(double x) const;
  int yIndexForCoordinate(double y) const;
  /// The pitch in millimetres, or in radians for an angle unit; 0 for an unknown unit.
  double screenDeltaInRayUnits() const;
  bool usingAngle() const;
  /// The pitch in the pitch units, divided by |focal length| when so asked (0 when the
  /// focal length is 0 or unknown).
  double deltaInUserUnits() const;
  /// The length units, then the angle units.
  std::vector<std::string> possibleScreenDeltaUnits() const;
  std::int64_t sliceIndexMaxValue() const;
  std::int64_t sliceIndexMinValue() const;

  // --- the monitor (main thread) ------------------------------------------------------------------
  bool isMonitoring() const { return m_isMonitoring.load(); }
  void setIsMonitoring(bool on) { setAndAnnounce("isMonitoring", m_isMonitoring, on); }
  double monitorX() const { return m_monitorX.load(); }
  double monitorY() const { return m_monitorY.load(); }
  void setMonitorXY(double x, double y);
  /// The view's unit square onto the screen; monitoring only strictly inside it.
  void setPointInUnitSquare(double u, double v);
  /// (i, j) of the monitored bin, clamped to the bin counts.
  std::pair<int, int> matrixIndexForMonitorPoint() const;
  double monitorF() const;
  /// "x=%g,y=%g,f=%g"; empty unless monitoring.
  std::string monitorString() const;
  /// A click: the slice through the monitored bin, the monitor snapped to its centre, both
  /// cursors on.
  void kick();
  /// The square round the circle in fractional indexes: origin x, y, width, height.
  std::array<double, 4> circleRect() const;

  // --- sums ----------------------------------------------------------------------------------------
  double intensitySum() const override;
  /// The elements whose bin centres lie strictly inside the circle.
  double circleSum() const;

  // --- stages and their parts ----------------------------------------------------------------------
  /// Emitter rays only, the emitting surface as each ray's emitter (no tag dictionaries:
  /// a million rays stay plain values).
  void generateInitialRays() override;
  /// Moves the start rays into the traced ones and traces them in place, on tracer
  /// threads when multithreaded and worth it; then the surface's frame.
  void traceRays() override;
  /// The count matrix of the live emitter rays, handed to the main thread.
  void generateCurves() override;
  void workDidStop(const analysis::WorkResult& result) override;

  /// Whether n rays on `processors` threads go multithreaded (the option aside).
  static bool worthThreading(std::size_t rays, std::size_t processors);
  /// [begin, end) of each of `threads` slices of n rays: n / threads each, the last
  /// slice taking the remainder.
  static std::vector<std::pair<std::size_t, std::size_t>> slices(std::size_t rays, std::size_t threads);
  /// Traces the rays to the surface of interest on the calling thread (lens lock held).
  void atomicTraceRays(std::span<tracing::Ray> rays);
  /// Traces the slices on `threads` tracer threads, each on its own copy of the lens,
  /// and joins them (lens lock held by the caller). A tracer's exception is raised again.
  void atomicTraceRaysWithNumberOfThreads(std::span<tracing::Ray> rays, std::size_t threads);

  /// The live rays of `surfaces`' emitters, counted into X × Y bins of pitch dx, dy
  /// centred on the origin: bin i covers [x0 + i·dx, x0 + (i + 1)·dx), x0 = −X·dx/2.
  /// Direction angles instead of positions on the angular axes. Masked and blurred as set.
  foundation::Matrix intensityFieldForRays(std::span<const tracing::Ray> rays,
                                           const std::vector<const platform::Object*>& emitters, int pixelsX,
                                           int pixelsY, double deltaX, double deltaY, bool angularX,
                                           bool angularY) const;
  /// The plot of the present field's slice; none for a bin dimension other than 0 or 1
  /// or without a field.
  std::optional<platform::Dictionary> plotDictionaryFromIntensityField() const;
  /// The x section (along x, through the middle column or the mean of the middle two) and
  /// the y section through the centre; none without a field.
  std::optional<platform::Dictionary> centreSectionsPlotDictionary() const;
  /// Publishes that plot (main thread); leaves the old one when there is none.
  void generatePlotDictionaryFromIntensityField();
  /// One line per row: "%g" values separated by ",", values below 0.001 written as 0.
  /// False (nothing written) without a field.
  bool exportToCSV(std::FILE* file) const;

  void addRestorationDataToDictionary(platform::Dictionary& dictionary) const override;

 private:
  std::atomic<bool> m_multithreaded{false};
  std::atomic<int> m_nx{32}, m_ny{32};
  std::atomic<double> m_delta{2.0};
  mutable std::mutex m_unitsMutex;
  std::string m_deltaUnits = "mm";
  std::atomic<bool> m_isMonitoring{false};
  std::atomic<double> m_monitorX{0}, m_monitorY{0};
  std::atomic<bool> m_drawsElementCursor{false};
  std::atomic<int> m_binDimension{1};
  std::atomic<bool> m_useSlice{false};
  std::atomic<std::int64_t> m_sliceIndex{0};
  std::atomic<bool> m_drawsSliceCursor{false}, m_histogramVersusIndex{false}, m_useDiagonal{false}, m_useSkew{false},
      m_skewTest{false}, m_useCircle{false};
  std::atomic<double> m_circleRadius{0};
  std::atomic<bool> m_maskCircle{false}, m_plotsCentreSections{false};
  std::atomic<double> m_lastTraceDuration{0};
  std::atomic<std::size_t> m_threadCount{0};
  FieldMatrix m_pendingField;  // the curve stage's field until the main thread takes it; own lock
  std::string m_pendingProblem;  // the same
};

}  // namespace orb::wavefront
