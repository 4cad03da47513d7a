#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "foundation/linear/VKInterval.h"
#include "foundation/objects/VKObject.h"
#include "foundation/objects/XY.h"
#include "foundation/objects/XYZ.h"
#include "geometry/values/BoxProtocol.h"
#include "lens/PlanarDrawing.h"

namespace orb::geometry {
class DrawingSink;
}

namespace orb::lens {

/// Where light may pass on a surface: a clear aperture, an obscuration that blocks the
/// same shapes, or a spider of obscuring arms. A surface owns at most one. Made by type
/// name from one registry ("Circular aperture", "Spider", ...), listed by apertureTypes().
///
/// Geometry is in the surface's local x, y (lens units); (decenterX, decenterY) is the
/// aperture's centre. A soft aperture passes everything (a surface that emits light
/// softens its aperture).
///
/// The pass test (passesPoint) is called per ray: it reads plain members only.
///
/// Keys (all observable): "isSoft", "decenterX", "decenterY", "decenterXIsVariable",
/// "decenterYIsVariable" and the subclasses' own; read-only "xRadius", "yRadius",
/// "rMin", "rMax", "xMin", "xMax", "yMin", "yMax", "isDecentered", "isAxisymmetric",
/// "canGenerateRandomPoint", "apertureType", "apertureDescription", "apertureGestalt"
/// (summary key of the model keys, which the owning surface observes),
/// "keyPathsForVariables", "zemaxCommands", "description". The aspect family makes
/// "xRadius" and "yRadius" settable; the circular family "rMin" and "rMax".
class Aperture : public foundation::VKObject, public geometry::BoxSurfaceTest {
 public:
  // --- Registry --------------------------------------------------------------------------
  /// The registered names in their menu order.
  static const std::vector<std::string>& apertureTypes();
  /// A new aperture of the class registered under `name`, given `information`
  /// (setInformation); null for an unregistered name.
  static std::shared_ptr<Aperture> apertureOfType(const std::string& name,
                                                  const platform::Dictionary& information = {});
  /// A new aperture of this base class (passes everything).
  static std::shared_ptr<Aperture> aperture();
  /// The registry name of this object's class (the last, should a class stand under
  /// several); none for an unregistered class.
  std::optional<std::string> apertureType() const;

  // --- Stored values -------------------------------------------------------------------
  /// The owning surface (not owned): Surface sets it when it takes the aperture.
  std::shared_ptr<platform::Object> surface() const { return m_surface.lock(); }
  void setSurface(const std::shared_ptr<platform::Object>& surface) { m_surface = surface; }
  bool isSoft() const { return m_isSoft; }
  void setIsSoft(bool soft);
  double decenterX() const { return m_decenterX; }
  double decenterY() const { return m_decenterY; }
  void setDecenterX(double x);
  void setDecenterY(double y);
  bool decenterXIsVariable() const { return m_decenterXIsVariable; }
  bool decenterYIsVariable() const { return m_decenterYIsVariable; }
  void setDecenterXIsVariable(bool v);
  void setDecenterYIsVariable(bool v);

  // --- Derived geometry ------------------------------------------------------------------
  virtual double xRadius() const { return 0; }
  virtual double yRadius() const { return 0; }
  virtual double rMin() const { return 0; }
  virtual double rMax() const { return 0; }
  /// The extent of the passing region (±∞ when unlimited).
  virtual double xMin() const;
  virtual double xMax() const;
  virtual double yMin() const;
  virtual double yMax() const;
  /// The parts of the x (y) axis through the centre that may pass, low to high.
  virtual std::vector<foundation::VKInterval> xIntervals() const;
  virtual std::vector<foundation::VKInterval> yIntervals() const;
  /// decenterX or decenterY is not 0 (NaN counts as decentred).
  bool isDecentered() const;
  virtual bool isAxisymmetric() const { return !isDecentered(); }

  // --- Tests ---------------------------------------------------------------------------
  /// Whether a ray at local (x, y) passes: always for a soft aperture, else by shape.
  bool passesPoint(double x, double y) const { return m_isSoft || shapePasses(x, y); }
  /// The same for a ray at local position `q` (z is not used).
  bool passesPoint(const foundation::XYZ& q) const { return m_isSoft || shapePasses(q.x, q.y); }
  /// The shape's own test, soft or not.
  virtual bool shapePasses(double x, double y) const;
  /// 1 when the box (x and y ranges) lies inside the passing region, 2 outside, 0 across.
  int boxSurfaceTest(const geometry::BoxProtocol& box) const override;
  /// Whether randomPointInAperture draws points of the passing region.
  virtual bool canGenerateRandomPoint() const { return false; }
  /// A point uniform over the passing region, from the shared random generator; (0, 0)
  /// where the shape cannot draw one.
  virtual foundation::XY randomPointInAperture() const { return {0, 0}; }

  // --- Optimisation --------------------------------------------------------------------
  /// Keys that may become variables.
  virtual std::vector<std::string> possibleVariables() const { return {"decenterX", "decenterY"}; }
  /// Each possible variable k whose flag "kIsVariable" is set.
  std::vector<std::string> keyPathsForVariables() const;

  // --- Information, copying ------------------------------------------------------------
  /// The values carried across a change of aperture type.
  static const std::vector<std::string>& informationExportKeys();
  /// The keys this class takes from an information dictionary.
  virtual std::vector<std::string> informationImportKeys() const { return {}; }
  /// This aperture's values under the export keys.
  platform::Dictionary information() const;
  /// Sets each import key the dictionary holds (other keys are left alone).
  void setInformation(const platform::Dictionary& information);
  /// A new aperture of this object's class with this one's information (and a spider's
  /// arms); variable flags and the surface are not carried.
  std::shared_ptr<Aperture> copy() const;
  /// A fresh object of this object's own class.
  virtual std::shared_ptr<Aperture> makeEmpty() const { return aperture(); }

  // --- Texts ---------------------------------------------------------------------------
  /// The Zemax command line of the type ("CLAP 0 4"), none for the base class.
  virtual std::optional<std::string> zemaxCommandForApertureType() const { return std::nullopt; }
  /// The type command and a line feed, then, when decentred, "OBDC %g %g\n" and another
  /// line feed; empty for a class without a command.
  std::string zemaxCommands() const;
  /// What the prescription listing shows; empty here.
  virtual std::string apertureDescription() const { return {}; }
  /// The editor sheet's interface file; none here.
  virtual std::optional<std::string> sheetNibName() const { return std::nullopt; }

  // --- Drawing -------------------------------------------------------------------------
  /// The marks of the zy (zx) planar views; none here.
  virtual PlanarPath zyBezierPathRepresentation() const { return {}; }
  virtual PlanarPath zxBezierPathRepresentation() const { return {}; }
  /// Draws the planar marks; `pixelWidth` is one pixel in drawing units.
  virtual void zyDrawWithPixelWidth(PlanarSink& sink, double pixelWidth) const;
  virtual void zxDrawWithPixelWidth(PlanarSink& sink, double pixelWidth) const;
  /// Draws in 3-D, in the surface's local frame. Options: "numberOfSegmentsPerRevolution"
  /// (100 when absent), "drawAlsoReversed" (each face again with the opposite winding).
  void drawUsingOpenGL(geometry::DrawingSink& sink, const platform::Dictionary& options = {}) const;

  std::string className() const override { return "Aperture"; }
  const platform::KeyTable& keys() const override { return classKeys(); }
  static const platform::KeyTable& classKeys();
  void encodeWithCoder(platform::Coder& coder) const override;
  void initWithCoder(const platform::Coder& coder) override;

 protected:
  /// What the given intervals leave of the whole axis, low to high: the passing parts of
  /// an obscuration's axis.
  static std::vector<foundation::VKInterval> complementOf(std::vector<foundation::VKInterval> blocked);
  struct DrawOptions {
    int segmentsPerRevolution = 100;
    bool drawAlsoReversed = false;
  };
  virtual void draw(geometry::DrawingSink& sink, const DrawOptions& options) const;
  /// State a copy keeps beyond the information keys.
  virtual void copyUninformedStateFrom(const Aperture&) {}
  /// The keys that summarise the model keys `model` (description, gestalt, Zemax text)
  /// and the variable list of the flags `variableFlags`: each class redeclares them with
  /// its own model keys.
  static std::vector<platform::KeyEntry> summaryKeyEntries(const std::vector<std::string>& model,
                                                           const std::vector<std::string>& variableFlags);
  /// The owning surface's sag at local (x, y); 0 without a surface or outside its domain.
  double surfaceSag(double x, double y) const;

 private:
  std::weak_ptr<platform::Object> m_surface;
  bool m_isSoft = false;
  double m_decenterX = 0;
  double m_decenterY = 0;
  bool m_decenterXIsVariable = false;
  bool m_decenterYIsVariable = false;
};

}  // namespace orb::lens
