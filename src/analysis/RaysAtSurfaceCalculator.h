#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "analysis/OBCalculatorUpdater.h"
#include "analysis/RaysCalculator.h"
#include "foundation/objects/XY.h"

namespace orb::analysis {

/// The ray calculator of analyses that look at the rays where they arrive at the surface
/// of interest (spot diagrams, fans, field scans, OPD, OTF and point-spread analyses). It
/// adds the display unit and its scale factors, lengths or angles (afocal systems,
/// division by the focal length), centroid and field-grid subtraction, the conversion of
/// the traced rays into the surface's local frame, display flags written straight into
/// the published plot dictionary, curve recolouring, centroids and a focus estimate.
///
/// Contract for subclasses' generateCurves (worker): build curves from the live traced
/// rays (local frame when local coordinates are on), lengths in millimetres or angles in
/// radians, times scaleForUnits(units()); start from initialPlotDictionary(); check the
/// cancelled flag; publish with publishPlotDictionary.
class RaysAtSurfaceCalculator : public RaysCalculator, public ScaleOnlyExpanding {
 public:
  /// Units "mm", fixed ray colour, centroid subtracted, local coordinates, grid 0.1.
  RaysAtSurfaceCalculator();

  static const platform::KeyTable& classKeys();
  const platform::KeyTable& keys() const override { return classKeys(); }
  std::string className() const override { return "RaysAtSurfaceCalculator"; }

  // --- units ------------------------------------------------------------------------------------
  /// "m", "cm", "mm", "micron", "inch", "mil", "uinch"; factors from millimetres.
  static const std::vector<std::string>& lengthUnits();
  static const std::vector<double>& lengthScaleFactors();
  /// "rad", "mrad", "microrad", "deg", "arcmin", "arcsec"; factors from radians.
  static const std::vector<std::string>& angleUnits();
  static const std::vector<double>& angleScaleFactors();
  /// "unity", "milli", "micro"; factors from plain numbers.
  static const std::vector<std::string>& momentumUnits();
  static const std::vector<double>& momentumScaleFactors();
  /// The factor of a unit name (length list, then angle, then momentum); 0 for none.
  static double scaleForUnits(const std::string& unit);

  /// Angle units when afocal or dividing by the focal length, else length units.
  std::vector<std::string> possibleUnits() const;
  /// A unit not possible any more becomes "mrad", else "micron", else "milli".
  void validateUnits();
  std::string units() const;
  virtual void setUnits(const std::string& unit);
  /// Asks for new curves; analyses that only rescale ask for finalizing.
  virtual void unitsChanged() { setNeedsGenerateCurves(true); }

  bool afocal() const { return m_afocal.load(); }
  void setAfocal(bool on);
  bool divideByFocalLength() const { return m_divideByFocalLength.load(); }
  /// Analyses whose settings are in the units it changes override it to convert them.
  virtual void setDivideByFocalLength(bool on);
  bool useLocalCoordinates() const { return m_useLocalCoordinates.load(); }
  void setUseLocalCoordinates(bool on);
  bool subtractCentroid() const { return m_subtractCentroid.load(); }
  /// On clears subtract-field-grid.
  void setSubtractCentroid(bool on);
  bool subtractFieldGrid() const { return m_subtractFieldGrid.load(); }
  /// On clears subtract-centroid.
  void setSubtractFieldGrid(bool on);
  bool useFieldGrid() const { return m_useFieldGrid.load(); }
  void setUseFieldGrid(bool on);
  double fieldGridScale() const { return m_fieldGridScale.load(); }
  void setFieldGridScale(double scale);
  bool gridify() const { return m_gridify.load(); }
  void setGridify(bool on);
  double gridScale() const { return m_gridScale.load(); }
  void setGridScale(double scale);

  // Display flags: written into the published plot dictionary, no recomputation.
  bool scaleOnlyExpands() const { return m_scaleOnlyExpands.load(); }
  void setScaleOnlyExpands(bool on) override;
  bool plotTight() const { return m_plotTight.load(); }
  void setPlotTight(bool on);
  bool showLegend() const { return m_showLegend.load(); }
  void setShowLegend(bool on);
  bool transposeAxes() const { return m_transposeAxes.load(); }
  void setTransposeAxes(bool on);
  bool multiplot() const { return m_multiplot.load(); }
  void setMultiplot(bool on);
  /// "transposeAxes", "multiplot", "showLegend", "plotTight" as set now.
  platform::Dictionary initialPlotDictionary() const;

  /// Then the lens's afocal setting.
  void firstTimeWithLens(const LensPtr& lens) override;
  /// The base trace, then (local coordinates on) into the surface's frame; asks for curves.
  void traceRays() override;
  /// Every live traced ray, real and paraxial, into the local frame of the surface of
  /// interest.
  void transformRaysToSurfaceCoordinates();
  /// Clears the plot; subclasses replace it.
  void generateCurves() override;

  void updateRayColors() override;
  /// Recolours the published curves marked "updateColor".
  void updateCurveColors();

  /// Mean (x, y) of the positions of all the rays given; none for no rays.
  static std::optional<foundation::XY> transverseCentroidOfRays(std::span<const tracing::Ray> rays);
  /// Mean direction tangents (px/pz, py/pz); none for no rays.
  static std::optional<foundation::XY> afocalTransverseCentroidOfRays(std::span<const tracing::Ray> rays);
  /// Signed z distance from the rays' plane to the plane of least weighted spread; none
  /// when the spread cannot change along z (fewer than two rays, or all slopes equal).
  static std::optional<double> estimatedDistanceToFocus(std::span<const tracing::Ray> rays, double weightX,
                                                        double weightY);

  void addRestorationDataToDictionary(platform::Dictionary& dictionary) const override;

 protected:
  /// The live rows' positions and momenta through `m`, as Ray::transformByMatrix moves them.
  static void transformLiveRows(tracing::RayBundle& rays, const foundation::TransformationMatrix& m);

 private:
  void setDisplayFlag(const char* key, std::atomic<bool>& member, bool on);

  std::atomic<bool> m_subtractCentroid{true}, m_subtractFieldGrid{false}, m_useFieldGrid{false};
  std::atomic<double> m_fieldGridScale{0};
  std::atomic<bool> m_gridify{false};
  std::atomic<double> m_gridScale{0.1};
  std::atomic<bool> m_afocal{false}, m_useLocalCoordinates{true};
  std::atomic<bool> m_scaleOnlyExpands{false}, m_plotTight{false}, m_showLegend{false}, m_transposeAxes{false},
      m_multiplot{false};
  std::atomic<bool> m_divideByFocalLength{false};
  mutable std::mutex m_unitsMutex;
  std::string m_units = "mm";
};

}  // namespace orb::analysis
