#pragma once

#include <functional>
#include <string>
#include <vector>

#include "analysis/RaysAtSurfaceCalculator.h"
#include "foundation/linear/VKSeries.h"
#include "foundation/objects/XY.h"

namespace orb::analysis {

/// Spot diagrams: where the live rays of each source land on the surface of interest (or
/// any other pair of ray quantities), one point per ray, one curve per source and wave.
/// Sources are the lens's fields ("Field", one curve per field and wave of interest), its
/// Gaussian beams ("Beam", per beam and wave) and its emitting surfaces ("Emitter", one
/// per surface). Each group's curves carry its rms size in their layer title; an Airy
/// disk (an ellipse where the rays meet the surface obliquely) and a reference ellipse
/// can be drawn with each curve.
///
/// The plot dictionary: "title", "xLabel", "yLabel", "curves", "scaleOnlyExpands",
/// "plotTight", "isotropic", "equalAxis" and the initial display flags; each spot curve
/// has "xSeries", "ySeries", "drawAsDots", "dotSize", "layer", "layerTitle" (the source
/// and its rms size in plot units, "Field 2 (10°): rms x 5.120 µm, y 6.400 µm"), "name"
/// ("10°, 486.1 nm"), "color" and the source objects.
class SpotDiagramCalculator : public RaysAtSurfaceCalculator {
 public:
  /// The three answers to the "Potential delay" question.
  enum class PotentialDelayAnswer { GoAhead, UsePrimaryWave, Cancel };
  /// Asked on the main thread before all beams are chosen with all waves of several
  /// fields; message "Potential delay", informative text as kPotentialDelayText, buttons
  /// "Go ahead", "Use primary wave", "Cancel". Without a callback the answer is go ahead.
  using PotentialDelayQuestion = std::function<PotentialDelayAnswer()>;
  static constexpr const char* kPotentialDelayMessage = "Potential delay";
  static constexpr const char* kPotentialDelayText =
      "Selecting all beams with all waves selected may result in a longer computation than you intend";

  SpotDiagramCalculator();

  static const platform::KeyTable& classKeys();
  const platform::KeyTable& keys() const override { return classKeys(); }
  std::string className() const override { return "SpotDiagramCalculator"; }

  /// A spot diagram shows the whole lens at first: every field and every wave, coloured
  /// by wave when there are several (else by field), besides the inherited choices.
  void firstTimeWithLens(const LensPtr& lens) override;

  // --- source -----------------------------------------------------------------------------------
  std::string sourceType() const;
  /// "Field", "Beam" or "Emitter"; re-validates the fan type and the colour option.
  void setSourceType(const std::string& type);
  bool sourceTypeIsField() const;
  bool sourceTypeIsBeam() const { return sourceType() == "Beam"; }
  bool sourceTypeIsEmitter() const { return sourceType() == "Emitter"; }
  bool usesBeams() const override { return sourceTypeIsBeam(); }
  bool usesEmissionSurfaces() const override { return sourceTypeIsEmitter(); }
  std::vector<BeamPtr> beamsOfInterest() const override;
  /// "random" alone for beams and emitters.
  std::vector<std::string> possibleFanTypes() const override;
  /// "Determined by beam", "<λ>nm" of the emitter, or empty for fields.
  std::string wavelengthDescription() const;

  void setPotentialDelayQuestion(PotentialDelayQuestion question) { m_potentialDelayQuestion = std::move(question); }
  /// Null (all beams) with all waves of several fields asks the question first.
  void setBeamOfInterest(const BeamPtr& beam) override;

  // --- colours: one setting serves every source --------------------------------------------------
  std::vector<std::string> possibleColorOptions() const;
  std::string colorOption() const { return rayColorOption(); }
  /// An option the source does not offer becomes "field" (Field), "default" (Beam) or
  /// "fixed" (Emitter).
  void setColorOption(const std::string& option);
  std::string beamColorOption() const override { return rayColorOption(); }
  std::string emissionColorOption() const override { return rayColorOption(); }
  std::shared_ptr<platform::Color> fixedBeamColor() const override { return fixedRayColor(); }
  std::shared_ptr<platform::Color> fixedEmissionColor() const override { return fixedRayColor(); }

  // --- plotted keys and units ---------------------------------------------------------------------
  /// "x", "y", "ux", "uy", "px", "py", "x/f", "y/f", "thetax", "thetay", "theta", "tx", "ty".
  static const std::vector<std::string>& plottableKeys();
  /// "x/f" → "x", "y/f" → "y", others themselves.
  static std::string keyForPlotKey(const std::string& key);
  static std::vector<std::string> possibleUnitsForKey(const std::string& key);
  /// The ray quantity a plot key reads (before any division by the focal length).
  static double rayValueForKey(const tracing::Ray& ray, const std::string& key);

  std::string keyX() const;
  void setKeyX(const std::string& key);
  std::string keyY() const;
  void setKeyY(const std::string& key);
  std::string unitsX() const;
  void setUnitsX(const std::string& unit);
  std::string unitsY() const;
  void setUnitsY(const std::string& unit);
  std::vector<std::string> possibleUnitsX() const { return possibleUnitsForKey(keyX()); }
  std::vector<std::string> possibleUnitsY() const { return possibleUnitsForKey(keyY()); }
  void validateUnitsX();
  void validateUnitsY();
  /// Also sets both axis units.
  void setUnits(const std::string& unit) override;
  /// Also the beam and emitter counts.
  void setNumberOfRays(std::uint64_t n) override;
  bool divideAbscissaByFocalLength() const;
  bool divideOrdinateByFocalLength() const;

  // --- drawing settings ---------------------------------------------------------------------------
  int dotSize() const { return m_dotSize.load(); }
  void setDotSize(int size);
  bool drawsAiryDisk() const { return m_drawsAiryDisk.load(); }
  void setDrawsAiryDisk(bool on);
  bool drawsReferenceEllipsoid() const { return m_drawsReferenceEllipsoid.load(); }
  void setDrawsReferenceEllipsoid(bool on);
  double referenceEllipsoidRadiusX() const { return m_referenceRadiusX.load(); }
  void setReferenceEllipsoidRadiusX(double r);
  double referenceEllipsoidRadiusY() const { return m_referenceRadiusY.load(); }
  void setReferenceEllipsoidRadiusY(double r);
  void makeReferenceEllipsoidCircular() { setReferenceEllipsoidRadiusY(referenceEllipsoidRadiusX()); }
  // Written into the published plot dictionary; no recomputation.
  bool centerAxis() const { return m_centerAxis.load(); }
  void setCenterAxis(bool on);
  bool equalAxis() const { return m_equalAxis.load(); }
  void setEqualAxis(bool on);
  bool isotropic() const { return m_isotropic.load(); }
  void setIsotropic(bool on);
  std::string lostFanType() const;
  void setLostFanType(const std::string& fan);

  // --- texts ------------------------------------------------------------------------------------
  /// How a unit is written for a reader: "micron" as "µm", "deg" as "°"; "unity" as
  /// nothing (a plain number).
  static std::string unitSymbol(const std::string& unit);
  /// "1.234 µm": four significant digits and the unit's symbol.
  static std::string formatWithUnit(double value, const std::string& unit);
  /// A field as its angles or heights: "10°" on the y axis alone, else "(1°, 10°)"; heights
  /// in mm.
  static std::string fieldValueText(const lens::Field& field, bool angle);
  /// "Field 2 (10°)": the field's number in the lens and its value.
  std::string fieldTitle(const lens::Field& field) const;
  /// "<group>: rms x <x>, y <y>" with the axes' units.
  std::string rmsTitle(const std::string& group, double rmsX, double rmsY) const;
  /// "x (µm)", "delta x (µm)" under gridify, or the bare key for a plain number.
  std::string xLabel() const;
  std::string yLabel() const;
  std::string title() const;

  // --- curve makers (100 points, closed) ----------------------------------------------------------
  static platform::Dictionary ellipseWithCenter(foundation::XY center, foundation::XY a, foundation::XY b);
  /// Airy circle of `wave` scaled per axis; none without a lens.
  platform::Dictionary airyCurveWithWave(const lens::Wave& wave, double scaleX, double scaleY) const;
  platform::Dictionary referenceEllisoidWithCenter(foundation::XY center) const;

  // --- stage ------------------------------------------------------------------------------------
  platform::Array curvesForFieldWaveCombinations();
  platform::Array curvesForBeamWaveCombinations();
  platform::Array curvesForEmitter();
  void generateCurves() override;

  void addRestorationDataToDictionary(platform::Dictionary& dictionary) const override;

 private:
  struct AxisFactors {
    double fx = 1, fy = 1;
    bool airy = false;
  };
  AxisFactors axisFactors();
  /// The Airy outline for the first ray of a group (ellipse for oblique incidence); none
  /// at grazing incidence.
  std::optional<platform::Dictionary> airyCurveForRay(const tracing::Ray& ray, const lens::Wave& wave,
                                                      const AxisFactors& f) const;
  /// Tells the user, through the status, what a build had to leave out.
  void noteStatus(const std::string& text);

  // The settings strings are read on the worker while the interface sets them.
  std::string lockedString(const std::string& field) const;
  void setLockedString(std::string_view key, std::string& field, const std::string& value);
  mutable std::mutex m_spotMutex;  // the strings below
  std::string m_sourceType, m_keyX = "x", m_keyY = "y", m_unitsX = "mm", m_unitsY = "mm", m_lostFanType;
  std::atomic<int> m_dotSize{3};
  std::atomic<bool> m_drawsAiryDisk{false}, m_drawsReferenceEllipsoid{false};
  std::atomic<double> m_referenceRadiusX{1.0}, m_referenceRadiusY{1.0};
  std::atomic<bool> m_centerAxis{false}, m_equalAxis{false}, m_isotropic{true};
  PotentialDelayQuestion m_potentialDelayQuestion;
};

}  // namespace orb::analysis
