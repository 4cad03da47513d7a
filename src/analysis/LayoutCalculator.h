#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "analysis/RaysCalculator.h"
#include "lens/PlanarDrawing.h"

namespace orb::geometry {
class MutableExtents;
}
namespace orb::interchange {
class DxfWriter;
}

namespace orb::analysis {

/// The model behind the planar layouts and the 3-D lens view: traces a small fan of real
/// and paraxial rays with their trajectories, keeps what is to be drawn (the range of
/// surfaces, the surface whose frame the drawing uses, optional axial and test rays),
/// measures its extents, turns the selection rectangle and drags of the layout view into
/// surface selections and thickness edits, and draws the ZY and ZX sections into a
/// Painter2D.
///
/// It publishes no plot dictionary: the traced rays reach the main thread with the work
/// result, after which "modelChangedNotification" makes the views redraw. Selections
/// belong to each calculator (two layouts of two documents never share one). Surface
/// and glass identifiers for the view's drops are lens key paths ("s3", "s3.glass").
class LayoutCalculator : public RaysCalculator {
 public:
  using Rays = RaysCalculator::Rays;
  using ColorPtr = std::shared_ptr<platform::Color>;

  /// y-fan of 9 rays; surfaces coloured by surface, fixed colour orange; paraxial marginal
  /// green and chief red, axial blue, test ray green; cross-sections shaded.
  LayoutCalculator();
  static const platform::KeyTable& classKeys();
  const platform::KeyTable& keys() const override { return classKeys(); }
  std::string className() const override { return "LayoutCalculator"; }

  // --- settings ------------------------------------------------------------------------------
  /// "fixed", "surface", "glass".
  static const std::vector<std::string>& possibleSurfaceColorOptions();
  std::vector<std::string> possibleFanTypes() const override;
  static const std::vector<std::string>& transformationMatrixBasisStrings();

  std::string surfaceColorOption() const;
  /// Drawing only: posts the model-changed notification.
  void setSurfaceColorOption(const std::string& option);
  ColorPtr fixedSurfaceColor() const;
  void setFixedSurfaceColor(ColorPtr color);
  bool colorsCrossSection() const { return m_colorsCrossSection; }
  void setColorsCrossSection(bool on);
  ColorPtr paraxialMarginalRayColor() const;
  void setParaxialMarginalRayColor(ColorPtr color);
  ColorPtr paraxialChiefRayColor() const;
  void setParaxialChiefRayColor(ColorPtr color);
  ColorPtr axialRayColor() const;
  void setAxialRayColor(ColorPtr color);
  ColorPtr testRayColor() const;
  void setTestRayColor(ColorPtr color);
  bool showsAxialRay() const { return m_showsAxialRay; }
  void setShowsAxialRay(bool on);
  bool showTestRay() const { return m_showTestRay; }
  void setShowTestRay(bool on);
  double testRayHX() const { return m_testRay[0]; }
  double testRayHY() const { return m_testRay[1]; }
  double testRayPX() const { return m_testRay[2]; }
  double testRayPY() const { return m_testRay[3]; }
  void setTestRayHX(double v) { setTestRayCoordinate(0, "testRayHX", v); }
  void setTestRayHY(double v) { setTestRayCoordinate(1, "testRayHY", v); }
  void setTestRayPX(double v) { setTestRayCoordinate(2, "testRayPX", v); }
  void setTestRayPY(double v) { setTestRayCoordinate(3, "testRayPY", v); }
  std::string transformationMatrixBasisString() const;
  void setTransformationMatrixBasisString(const std::string& basis);
  bool realMarginalFlag() const { return m_realMarginal; }
  void setRealMarginalFlag(bool on);
  bool realChiefFlag() const { return m_realChief; }
  void setRealChiefFlag(bool on);
  bool generateFieldFan() const { return m_generateFieldFan; }
  void setGenerateFieldFan(bool on);
  bool drawsSecondPrincipalPointConstruction() const { return m_drawsConstruction; }
  void setDrawsSecondPrincipalPointConstruction(bool on);
  bool usesBeams() const override { return m_usesBeams; }
  void setUsesBeams(bool on);
  bool usesEmissionSurfaces() const override { return m_usesEmission; }
  void setUsesEmissionSurfaces(bool on);
  bool suppressVignetted() const { return m_suppressVignetted; }
  /// Recomputes the rays of interest from the traced rays without a new trace.
  void setSuppressVignetted(bool on);
  bool drawStopAperture() const { return m_apertureFlags[0]; }
  void setDrawStopAperture(bool on) { setApertureFlag(0, "drawStopAperture", on); }
  bool suppressFloatingStopAperture() const { return m_apertureFlags[1]; }
  void setSuppressFloatingStopAperture(bool on) { setApertureFlag(1, "suppressFloatingStopAperture", on); }
  bool drawNonstopApertures() const { return m_apertureFlags[2]; }
  void setDrawNonstopApertures(bool on) { setApertureFlag(2, "drawNonstopApertures", on); }
  bool suppressFloatingNonstopAperture() const { return m_apertureFlags[3]; }
  void setSuppressFloatingNonstopAperture(bool on) { setApertureFlag(3, "suppressFloatingNonstopAperture", on); }

  // --- surface range -----------------------------------------------------------------------------
  std::string firstSurfaceKeyPath() const;
  void setFirstSurfaceKeyPath(const std::string& keyPath);
  std::string lastSurfaceKeyPath() const;
  void setLastSurfaceKeyPath(const std::string& keyPath);
  std::string coordinateReferenceSurfaceKeyPath() const;
  void setCoordinateReferenceSurfaceKeyPath(const std::string& keyPath);
  SurfacePtr firstSurface() const;
  void setFirstSurface(const SurfacePtr& surface);
  SurfacePtr lastSurface() const;
  void setLastSurface(const SurfacePtr& surface);
  SurfacePtr coordinateReferenceSurface() const;
  void setCoordinateReferenceSurface(const SurfacePtr& surface);
  std::int64_t indexOfFirstSurface() const;
  void setIndexOfFirstSurface(std::int64_t index);
  std::int64_t indexOfLastSurface() const;
  void setIndexOfLastSurface(std::int64_t index);
  std::int64_t indexOfCoordinateReferenceSurface() const;
  void setIndexOfCoordinateReferenceSurface(std::int64_t index);
  void resetFirstAndLastSurfaces();
  void setLensKeyPathUpdateDictionary(const platform::Dictionary& renames) override;

  // --- rays --------------------------------------------------------------------------------------
  void firstTimeWithLens(const LensPtr& lens) override;
  std::vector<FieldPtr> fieldsOfInterest() const override;
  tracing::pupil::Points pupilCoordinatesForRealRays() const override;
  void generateInitialRays() override;
  /// Copies of the start rays with trajectories, traced through the whole lens (the
  /// paraxial ones paraxially); the result goes to the main thread with the work result.
  void traceRays() override;
  void workWillStart() override;
  void workDidStop(const WorkResult& result) override;

  RaysPtr tracedRays() const;
  RaysPtr tracedParaxialRays() const;
  RaysPtr raysOfInterest() const;
  RaysPtr paraxialRaysOfInterest() const { return tracedParaxialRays(); }
  std::optional<tracing::Ray> axialRay() const;
  std::optional<tracing::Ray> testRay() const;
  /// Only the live rays with suppressVignetted, else all.
  Rays raysOfInterestWithRays(const Rays& rays) const;

  // --- what is drawn --------------------------------------------------------------------------
  /// The lens's surfaces from the first to the last of the range (the whole lens when
  /// unset), inclusive.
  std::vector<SurfacePtr> surfacesOfInterest() const;
  /// The box of the drawn surfaces and ray points, in the reference surface's frame when
  /// one is set.
  std::shared_ptr<geometry::MutableExtents> extents() const;

  // --- selection and drag (main thread) ---------------------------------------------------------
  /// Selects the surfaces whose vertices lie in x0 ≤ z < x0 + width (z along the axis).
  void selectSurfacesByRect(double x0, double width);
  /// Selects the index range the picked surfaces span; picked objects that are not
  /// surfaces of the lens are ignored.
  void selectSurfacesByArray(const std::vector<std::shared_ptr<platform::Object>>& objects);
  /// The index range [start, end] of the lens's surfaces the selection covers; none when
  /// nothing is selected.
  std::optional<std::pair<std::size_t, std::size_t>> selectedSurfaceRange() const { return m_selectedRange; }
  /// The band [z0, z1) along the axis that selects exactly the selected surfaces by
  /// rectangle: from halfway to the drawn surface before them to halfway to the one after
  /// (a tenth of the drawing's length where there is none); none without a selection or
  /// when none of the selected surfaces is drawn.
  std::optional<std::pair<double, double>> bandOfSelectedSurfaces() const;
  SurfacePtr surfaceBeforeSelection() const { return m_before.lock(); }
  SurfacePtr firstSelectedSurface() const { return m_first.lock(); }
  SurfacePtr lastSelectedSurface() const { return m_last.lock(); }
  void beginMovingRect(double x0, double width);
  /// Moves the dragged block by dz along the axis: the surface ahead of it gets thickness
  /// + dz, its last surface − dz. Answers −dz when the drawing must shift to keep the
  /// block under the pointer (no surface ahead, or the object surface ahead), else none.
  std::optional<double> moveRectBy(double dz);
  void endMovingRect() {}
  /// The key path of the surface within 5 pixels of z ("s3"), else of the glass of the
  /// medium there ("s2.glass"), else none.
  std::optional<std::string> keyPathForPosition(double z, double pixelWidth) const;
  std::string commentForPosition(double) const { return "no comment"; }

  // --- drawing (LayoutDrawing.cpp; main thread) ------------------------------------------------
  struct DrawOptions {
    double pixelWidth = 0;
    ColorPtr defaultColor;  // black when null
    static DrawOptions from(const platform::Dictionary& options);
  };
  /// The surface's colour by the colour option; null when it has none.
  ColorPtr colorForSurface(const lens::Surface& surface) const;
  bool usingFixedSurfaceColor() const { return surfaceColorOption() == "fixed"; }
  void drawZY(lens::Painter2D& painter, const DrawOptions& options) const;
  void drawZX(lens::Painter2D& painter, const DrawOptions& options) const;
  /// Surfaces being dragged in: outlines in the default colour and bodies in their glass
  /// colours, no rays.
  static void drawZYSurfaceArray(lens::Painter2D& painter, const DrawOptions& options,
                                 const std::vector<SurfacePtr>& surfaces);
  void drawCardinalPoints(lens::Painter2D& painter, double pixelWidth) const;

  // --- DXF export (LayoutExport.cpp; main thread) ---------------------------------------------
  /// Writes the whole drawing (header, surfaces of interest, rays, trailer): each surface
  /// in its frame and colour, with its axes when the options hold a true
  /// "drawsSurfaceAxes"; surfaces of infinite thickness are skipped, but rays still pass
  /// through them when they are of interest. A ray's line ends at its last finite point;
  /// answers how many rays were left out for having no finite segment.
  std::size_t exportToDXF(interchange::DxfWriter& writer, const platform::Dictionary& options) const;
  /// The drawing written to `path`; a failure leaves no partial file, answers false and
  /// says why in `error`. `raysLeftOut`, when given, gets exportToDXF's count.
  bool exportToDXFFile(const std::string& path, const platform::Dictionary& options, std::string* error,
                       std::size_t* raysLeftOut = nullptr) const;

  void addRestorationDataToDictionary(platform::Dictionary& dictionary) const override;

 protected:
  void willDeallocate() override;

 private:
  void setTestRayCoordinate(int i, const char* key, double v);
  void setApertureFlag(int i, const char* key, bool on);
  void setColor(ColorPtr& member, const char* key, ColorPtr color, bool needsCalculation);
  void setRangeKeyPath(std::string& member, const char* key, const std::string& value);
  SurfacePtr surfaceAt(const std::string& keyPath) const;
  /// Surfaces of interest with their z along the drawing axis, by the thickness rule:
  /// leading infinite thicknesses skipped (the last of them reported as `skipped`), the
  /// walk ended at the next infinite one.
  struct Placed {
    SurfacePtr surface;
    double z;
  };
  std::vector<Placed> placedSurfaces(SurfacePtr* skipped) const;
  void tellSelectedSurfaces();
  void drawSection(lens::Painter2D& painter, const DrawOptions& options, bool zy) const;

  mutable std::mutex m_layoutMutex;  // strings and colours
  std::string m_surfaceColorOption = "surface";
  std::string m_basis = "(px,py,qx,qy)";
  std::string m_firstKeyPath, m_lastKeyPath, m_referenceKeyPath;
  ColorPtr m_fixedSurfaceColor, m_marginalColor, m_chiefColor, m_axialColor, m_testColor;
  std::atomic<bool> m_colorsCrossSection{true}, m_showsAxialRay{false}, m_showTestRay{false};
  std::atomic<bool> m_realMarginal{false}, m_realChief{false}, m_generateFieldFan{false};
  std::atomic<bool> m_drawsConstruction{false}, m_usesBeams{false}, m_usesEmission{false};
  std::atomic<bool> m_suppressVignetted{false};
  bool m_apertureFlags[4] = {false, false, false, false};
  std::atomic<double> m_testRay[4] = {0, 0, 0, 0};

  // The worker's traced arrays, handed over with the work result.
  Rays m_workerRays, m_workerParaxialRays;
  RaysPtr m_tracedRays, m_tracedParaxialRays, m_raysOfInterest;
  std::optional<tracing::Ray> m_axialRay, m_testRayTraced;

  std::weak_ptr<lens::Surface> m_before, m_first, m_last, m_ahead, m_blockLast;
  std::optional<std::pair<std::size_t, std::size_t>> m_selectedRange;
};

}  // namespace orb::analysis
