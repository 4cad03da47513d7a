#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/objects/GLObject.h"
#include "foundation/objects/OBTransform.h"
#include "foundation/objects/TransformStack.h"
#include "foundation/objects/VKColoredObject.h"
#include "foundation/objects/XY.h"
#include "foundation/objects/XYZ.h"
#include "geometry/values/OutlinableSurface.h"
#include "geometry/values/SurfaceTaylorExpansion.h"
#include "lens/ConicSection.h"
#include "lens/Parameter.h"
#include "lens/PlanarDrawing.h"
#include "platform/Observation.h"
#include "platform/Reference.h"

namespace orb::geometry {
class DrawingSink;
class DxfSink;
class MutableExtents;
}  // namespace orb::geometry

namespace orb::materials {
class Glass;
class Medium;
}  // namespace orb::materials

namespace orb::lens {

class Aperture;
class Emission;
class Surface;

/// What a surface asks of the lens it belongs to. The Lens implements it and hands itself
/// to each of its surfaces with Surface::setDelegate; the surface holds it weakly.
class SurfaceDelegate {
 public:
  virtual ~SurfaceDelegate() = default;
  /// The lens's own copy of a glass of that name (its glass list), possibly `glass` itself.
  virtual std::shared_ptr<materials::Glass> localVersionOfGlass(const std::shared_ptr<materials::Glass>& glass) = 0;
  /// The glass named `name` (catalogs, number names, else a dummy), replacing `current`.
  virtual std::shared_ptr<materials::Glass> glassForName(const std::string& name,
                                                         const std::shared_ptr<materials::Glass>& current) = 0;
  /// The surface has taken a new glass: the lens updates its glass list.
  virtual void newGlassForSurface(Surface& surface) = 0;
  /// The user chose another type for `surface`: the lens builds the replacement with
  /// SurfaceTypeRegistry::surfaceOfType(type, &surface) and swaps it in.
  virtual void replaceSurfaceWithSurfaceOfType(Surface& surface, const std::string& type) = 0;
};

/// The ordered surfaces of one lens. The Lens implements it and hands itself to each of its
/// surfaces with Surface::setContainer (held weakly); index, neighbours, pickup sources and
/// their validity are read from it.
class SurfaceContainer {
 public:
  virtual ~SurfaceContainer() = default;
  virtual const std::vector<std::shared_ptr<Surface>>& containedSurfaces() const = 0;
};

/// The inputs of one solve of a surface (see the solve codes on Surface). The reference
/// surface is held weakly: the lens owns its surfaces, and a surface may pick up from
/// itself.
struct SolveInputs {
  int type = 0;
  double target = 0;
  double zone = 1;
  double scale = 1;
  double offset = 0;
  std::weak_ptr<Surface> surface;
};

/// The paraxial record stored at a surface by the paraxial measurement.
struct ParaxialTraceData {
  double h = 0, u = 0, hbar = 0, ubar = 0, dun = 0, a = 0, abar = 0;
};

/// One optical surface of a lens and the space behind it up to the next vertex.
///
/// The base class is the "Standard" type: a rotationally symmetric conic of vertex
/// curvature c and conic constant k. Every other type is a subclass registered in
/// SurfaceTypeRegistry; it overrides the profile hooks (either the ordinate family or the
/// Q family), parameterTitleArray/parameterDefaultsDictionary, type/zemaxType,
/// pusherName/turnerName where its tracing differs, flip/scaleByFactor for its own
/// coefficients, parametersDidChange to cache plain doubles for the hot paths,
/// initWithSurface for adjustments after a type change, makeEmpty and className.
///
/// Making surfaces: Surface::create<T>() (defaults), SurfaceTypeRegistry::surfaceOfType
/// (by name, optionally from another surface), copy(), or a keyed archive. A bare
/// makeObject<T>() is a valid surface with the defaults but without its parameters; call
/// init() on it.
///
/// Frames and units: profile operations work in the surface's local frame, lens units;
/// the vertex is at the origin with the axis along +z. transform() maps local to global.
///
/// Hot paths (sag, normals, Taylor expansion, phase) are plain arithmetic: no key-value
/// coding, no allocation, no locks; safe to call from worker threads on a lens copy.
///
/// Keys (observable): "comment", "curvature", "radiusOfCurvature", "thickness",
/// "conicConstant", "isStop", "isMirror", "semidiameter", the solve inputs
/// ("<quantity>SolveType", …Target, …Zone, …Surface, …Scale, "thicknessSolveOffset"),
/// "glass", "glassName", "aperture", "emission", "parameterArray", "color", the derived
/// keys and the summary key "surfaceGestalt", and every parameter title.
class Surface : public foundation::VKColoredObject,
                public foundation::GLObject,
                public ParameterSurface,
                public geometry::OutlinableSurface {
 public:
  /// Solve codes. Thickness: 0 fixed, 1 variable, 2 marginal ray height, 3 chief ray height,
  /// 4 edge thickness, 5 pickup, 6 OPD, 7 total length, 8 compensator, 9 centre of curvature.
  /// Curvature: 0 fixed, 1 variable, 2 marginal angle, 3 chief angle, 4 pickup, 5 marginal
  /// normal, 6 chief normal, 7 aplanatic, 8 element power, 9 concentric with surface,
  /// 10 concentric with radius, 11 focal ratio. Semidiameter: 0 automatic, 1 fixed,
  /// 2 pickup, 3 maximum, 4 variable. Conic: 0 fixed, 1 variable, 2 pickup. Glass: 0 as
  /// set, 1 pickup.
  enum SemidiameterSolve : int { kSemiAutomatic = 0, kSemiFixed = 1, kSemiPickup = 2, kSemiMaximum = 3, kSemiVariable = 4 };

  /// A new surface of class T with the defaults and its parameters.
  template <class T = Surface>
  static std::shared_ptr<T> create() {
    auto s = platform::makeObject<T>();
    s->init();
    return s;
  }

  Surface();
  ~Surface() override;

  // --- creation ---------------------------------------------------------------------------
  /// Default parameters, then parametersDidChange. (The constructor already set the other
  /// defaults: comment "", identity frame, every value 0, every solve code 0, scales 1,
  /// zones 1.)
  virtual void init();
  /// Takes everything a type change or a copy keeps from `other`: frame (as its own
  /// copy), comment, curvature, thickness, conic, stop, semidiameter, every solve input,
  /// mirror flag, a copy of its glass, aperture and emission, its colour; then its own
  /// default parameters, `other`'s backed-up parameters, `other`'s parameters (current
  /// values win), parametersDidChange. Subclasses call this first, then adjust.
  virtual void initWithSurface(const Surface& other);
  /// A fresh object of this object's own class (no init). Every subclass overrides it.
  virtual std::shared_ptr<Surface> makeEmpty() const;
  /// Same class, initWithSurface(*this), same colour number.
  std::shared_ptr<Surface> copy() const;

  // --- type --------------------------------------------------------------------------------
  /// The menu name ("Standard").
  virtual std::string type() const { return "Standard"; }
  /// The Zemax surface-type code ("STANDARD"); none for a type Zemax lacks.
  virtual std::optional<std::string> zemaxType() const { return std::string("STANDARD"); }
  /// Asks the delegate to replace this surface by one of type `type`.
  void setType(const std::string& type);
  /// The type name an archive carried under "surfaceType" (informational); empty if none.
  const std::string& surfaceType() const { return m_surfaceType; }
  void setSurfaceType(std::string type) { m_surfaceType = std::move(type); }
  /// The surfaces the Zemax writer emits for this one (itself; split types override).
  virtual std::vector<std::shared_ptr<const Surface>> zemaxSurfaces() const;

  // --- stored values -------------------------------------------------------------------------
  const std::string& comment() const { return m_comment; }
  /// Stored trimmed of whitespace at both ends.
  void setComment(std::string comment);
  double curvature() const { return m_conic.c; }
  /// Infinite or NaN is stored as 0. Rebuilds the conic, then maximizeSemidiameter.
  void setCurvature(double curvature);
  /// 1/curvature: ±∞ for a plane.
  double radiusOfCurvature() const;
  /// Stores 1/r; a radius of 0 (infinite curvature) gives curvature 0.
  void setRadiusOfCurvature(double radius);
  /// The stored thickness; types whose length follows from their parameters override it.
  virtual double thickness() const { return m_thickness; }
  void setThickness(double thickness);
  double conicConstant() const { return m_conic.k; }
  /// Rebuilds the conic, then maximizeSemidiameter.
  void setConicConstant(double conicConstant);
  bool isStop() const { return m_isStop; }
  /// Only stores the flag: the lens keeps the single stop.
  void setIsStop(bool isStop);
  virtual bool canBecomeStop() const;
  bool isMirror() const { return m_isMirror; }
  /// A mirror has no glass: setting true drops the glass.
  void setIsMirror(bool isMirror);
  double semidiameter() const override { return m_semidiameter; }
  /// An infinite or NaN value is ignored (the previous value stays).
  void setSemidiameter(double semidiameter);
  /// Sets the semidiameter and makes its solve fixed (code 1): the editor's entry.
  void setSemidiameterForGUI(double semidiameter);
  double semidiameterForGUI() const { return m_semidiameter; }
  /// The conic profile of the current c and k.
  const ConicSection& conicSection() const { return m_conic; }

  // --- profile: radial form (hot path) -----------------------------------------------------------
  // The base forwards the ordinate family to its conic; the radius family calls the
  // ordinate family. An axisymmetric subclass overrides one of the two families.
  virtual bool validOrdinate(double r) const { return m_conic.validOrdinate(r); }
  virtual double sagAtOrdinate(double r) const { return m_conic.sagAtOrdinate(r); }
  virtual double sagGradientAtOrdinate(double r) const { return m_conic.sagGradientAtOrdinate(r); }
  virtual double sagSecondGradientAtOrdinate(double r) const { return m_conic.sagSecondGradientAtOrdinate(r); }
  virtual double maximumOrdinate() const { return m_conic.maximumOrdinate(); }
  double minimumOrdinate() const { return -maximumOrdinate(); }
  virtual double sagAtMaximumOrdinate() const { return m_conic.sagAtMaximumOrdinate(); }
  double sagAtMinimumOrdinate() const { return sagAtMaximumOrdinate(); }

  virtual bool validRadius(double r) const { return validOrdinate(r); }
  virtual double sagAtRadius(double r) const { return sagAtOrdinate(r); }
  virtual double sagGradientAtRadius(double r) const { return sagGradientAtOrdinate(r); }
  virtual double sagSecondGradientAtRadius(double r) const { return sagSecondGradientAtOrdinate(r); }
  virtual double maximumRadius() const { return m_conic.maximumOrdinate(); }
  virtual double sagAtMaximumRadius() const { return m_conic.sagAtMaximumOrdinate(); }
  /// The largest semidiameter over which the conic is single valued.
  double maximumSingleValuedSemidiameter() const { return m_conic.maximumOrdinate(); }

  // --- profile: point form (hot path) ------------------------------------------------------------
  /// r = √(x²+y²) through the radius family.
  bool validQ(const foundation::XY& q) const override;
  double sagAtQ(const foundation::XY& q) const override;
  /// (∂z/∂x, ∂z/∂y); (0, 0) at the vertex.
  virtual foundation::XY sagGradientAtQ(const foundation::XY& q) const;
  /// sagAtQ(0, semidiameter).
  double sag() const;

  /// Unit normal at (x, y, sag(x, y)), pointing to +z at the vertex whatever the sign of
  /// the curvature.
  virtual foundation::XYZ surfaceNormalAtQ(const foundation::XY& q) const;
  /// F(x, y, z) = sag(x, y) − z: zero on the surface, negative behind (larger z).
  virtual double implicitFunctionAtPosition(const foundation::XYZ& p) const;
  /// Gradient and second derivatives of F at p (gz = −1 for a sag surface).
  geometry::SurfaceTaylorExpansion taylorExpansionAtPosition(const foundation::XYZ& p) const override;
  /// −∇F/|∇F| at p.
  virtual foundation::XYZ surfaceNormalAtPosition(const foundation::XYZ& p) const;

  // --- phase (diffractive types override; 0 here) -------------------------------------------------
  virtual double phaseAtRadius(double) const { return 0; }
  virtual double phaseRadialGradientAtRadius(double) const { return 0; }
  virtual double phaseRadialSecondGradientAtRadius(double) const { return 0; }
  virtual double phaseAtPosition(const foundation::XYZ&) const { return 0; }
  virtual foundation::XYZ phaseTangentGradientAtPosition(const foundation::XYZ&) const { return {0, 0, 0}; }
  /// The Taylor construction applied to the radial phase, with no z dependence.
  virtual geometry::SurfaceTaylorExpansion phaseTaylorExpansionAtPosition(const foundation::XYZ& p) const;
  /// Called by the diffracter before each refraction; the diffuser draws its random phase
  /// gradient here. Nothing in the base.
  virtual void turnerWillRefractRay() const {}

  // --- shape classification ----------------------------------------------------------------------
  /// Curvature exactly 0 (subclasses with their own shape override).
  virtual bool isPlanarInAppearance() const { return m_conic.c == 0; }
  virtual bool isAxisymmetric() const { return true; }
  virtual bool isCoordinateBreak() const { return false; }
  /// Axisymmetric with no aperture or an axisymmetric one.
  bool canDrawAxisymmetric() const;

  // --- frame -------------------------------------------------------------------------------------
  /// The local frame; a new surface has the identity; each surface (and each copy) owns
  /// its own, so regenerating a copy never moves another lens's surfaces.
  const foundation::OBTransform& transform() const { return m_transform; }
  void setTransform(const foundation::OBTransform& transform) {
    m_transform = transform;
    frameDidChange();
  }
  /// The system update's entry: both matrices, supplied as exact inverses.
  void setLocalToGlobalCoordinateTransformationMatrix(const foundation::TransformationMatrix& localToGlobal,
                                                      const foundation::TransformationMatrix& globalToLocal);
  /// Composes this surface's break onto the stack's top; nothing in the base class.
  virtual void implementCoordinateBreak(foundation::TransformStack& stack) const;
  /// Moves the stack's top to the next vertex: a translation by (0, 0, thickness).
  virtual void implementExitFrame(foundation::TransformStack& stack) const;
  foundation::XYZ originInGlobalCoordinates() const;
  double zInGlobalCoordinates() const { return originInGlobalCoordinates().z; }
  /// The local-to-global matrix restricted to the (z, y) or (z, x) plane, for planar views.
  PlanarAffineTransform zyAffineTransform() const;
  PlanarAffineTransform zxAffineTransform() const;

  // --- shape changes -----------------------------------------------------------------------------
  /// Reverses the shape (curvature → −curvature); subclasses also negate their coefficients.
  virtual void flip();
  /// Scales every length by f: curvature / f, thickness × f, semidiameter × f, and the
  /// thickness solve target × f when it is a length (codes 2, 3, 7, 8). Subclasses scale
  /// their coefficients after calling this.
  virtual void scaleByFactor(double f);

  // --- drawing (SurfaceDrawing.cpp) -------------------------------------------------------------------
  /// The meridional profile as points (r, 0, z): for a surface planar in appearance
  /// (ρ, 0, 0) and (semidiameter, 0, 0), else "numberOfRadialSegments" + 1 samples from ρ
  /// to R = min(maximumRadius, semidiameter), ρ the inner radius of a centred annular
  /// aperture (else 0).
  virtual std::vector<foundation::XYZ> shapeSequence() const;
  /// The local bounding box: from the profile for axisymmetric surfaces, else from 32
  /// rim points.
  virtual std::shared_ptr<geometry::MutableExtents> extents() const;
  /// The surface as a solid in its local frame: the profile swept about z (options
  /// "numberOfSegmentsPerRevolution", "phiMin", "phiMax", "drawAlsoReversed",
  /// "drawBoundingBox"), or an outline mesh of the sag for other surfaces.
  virtual void drawUsingOpenGL(geometry::DrawingSink& sink, const platform::Dictionary& options = {}) const;
  /// The same as DXF entities ("drawBoundingBox" has no effect).
  virtual void dxfWithOptions(geometry::DxfSink& sink, const platform::Dictionary& options = {}) const;
  /// The three local axes from the origin, of length "surfaceAxesLength" (10), unlit in
  /// red, green and blue at line width 2; lighting and width 1 are restored after.
  void drawAxesUsingOpenGL(geometry::DrawingSink& sink, const platform::Dictionary& options = {}) const;
  /// The three local axes as one DXF line primitive, of length "surfaceAxesLength" (10).
  void dxfAxesWithOptions(geometry::DxfSink& sink, const platform::Dictionary& options = {}) const;
  /// Types with a drawing of their own (light pipes, elbows) stroke it here and answer
  /// true; the base draws nothing.
  virtual bool entityDrawZY(Painter2D& painter, const PlanarAffineTransform& transform) const;
  virtual bool entityDrawZX(Painter2D& painter, const PlanarAffineTransform& transform) const;
  /// The whole profile in the x–z (xOriented) or y–z section, sampled at
  /// "planarNumberOfRadialSegments" steps each side of the axis, as points (z, t) mapped
  /// by `transform`.
  void appendToPath(PlanarBezierPath& path, const PlanarAffineTransform& transform, bool xOriented,
                    bool backwards) const;
  /// One half of the profile: t from 0 to R' (upper) or −R' to 0, R' = min(maximumRadius,
  /// semidiameter); 4 points for a surface planar in appearance, else 101.
  virtual void appendHalfToPath(PlanarBezierPath& path, const PlanarAffineTransform& transform, bool xOriented,
                                bool upper, bool backwards) const;

  // --- tracing --------------------------------------------------------------------------------------
  /// Names of the pusher and turner classes that trace this surface; the tracing layer
  /// maps them to its objects ("PusherConicoid", "PusherIterative", "PusherParaxial",
  /// "PusherTilted", "PusherGraded"; "TurnerStandard", "TurnerAsphere", "Diffracter",
  /// "TurnerParaxial", "TurnerPoly", …).
  virtual std::string_view pusherName() const { return "PusherConicoid"; }
  virtual std::string_view turnerName() const { return "TurnerStandard"; }
  /// "PusherGraded" when `medium` (the medium the ray travels in up to this surface) is
  /// not uniform, else pusherName().
  std::string_view pusherNameWithMedium(const materials::Medium* medium) const;
  /// The medium behind the surface made from its glass on first use (null without glass).
  /// Not thread-safe on first use: the system update calls it before tracing starts.
  virtual std::shared_ptr<materials::Medium> medium() const;

  // --- glass ----------------------------------------------------------------------------------------
  /// Null means the ambient medium (air) or a mirror.
  const std::shared_ptr<materials::Glass>& glass() const { return m_glass; }
  /// Drops the cached medium and the mirror flag; takes the delegate's local version of
  /// the glass; observes its "name", "glassDescription" and "indexInContainer"; tells the
  /// delegate.
  void setGlass(std::shared_ptr<materials::Glass> glass);
  /// "MIRROR" for a mirror, else the glass's name; none without glass.
  virtual std::optional<std::string> glassName() const;
  /// The first word: empty → no glass; "mirror" in any case → a mirror; else the glass
  /// the delegate finds (a dummy glass of that name without delegate).
  void setGlassName(const std::string& name);
  std::optional<std::size_t> glassNumber() const;
  virtual std::shared_ptr<platform::Color> glassColor() const;
  virtual bool glassIsGood() const;
  /// No medium of its own behind the surface (the ambient one follows).
  virtual bool precedesAmbient() const { return !m_glass; }
  /// A dummy glass is replaced by the delegate's; any other is reported to the delegate.
  void resolveGlass();

  // --- aperture and emission -------------------------------------------------------------------------
  const std::shared_ptr<Aperture>& apertureObject() const { return m_aperture; }
  /// OutlinableSurface: the clear aperture or obscuration, null when none.
  std::shared_ptr<const geometry::BoxSurfaceTest> aperture() const override;
  void setAperture(std::shared_ptr<Aperture> aperture);
  /// A new annulus from 0 to the semidiameter.
  std::shared_ptr<const geometry::BoxSurfaceTest> fullAperture() const override;
  std::shared_ptr<Aperture> makeFullAperture() const;
  std::optional<std::string> apertureType() const;
  static std::vector<std::string> apertureTypes();
  /// Installs an aperture of that type carrying the settings of the earlier ones.
  void setApertureType(const std::string& name);
  const std::shared_ptr<Emission>& emission() const { return m_emission; }
  void setEmission(std::shared_ptr<Emission> emission);
  std::optional<std::string> emissionType() const;
  static std::vector<std::string> emissionTypes();
  void setEmissionType(const std::string& name);
  bool hasExtraData() const { return m_aperture || m_emission; }
  double xMin() const { return -m_semidiameter; }
  double xMax() const { return m_semidiameter; }
  double yMin() const { return -m_semidiameter; }
  double yMax() const { return m_semidiameter; }

  // --- parameters by title ----------------------------------------------------------------------------
  /// The titles of this type's parameters, in order (none in the base class).
  virtual const std::vector<std::string>& parameterTitleArray() const;
  /// Title → default value (numbers); empty in the base class.
  virtual const platform::Dictionary& parameterDefaultsDictionary() const;
  const std::vector<std::shared_ptr<Parameter>>& parameterArray() const { return m_parameterArray; }
  /// Installs the parameters (observing each that enters, releasing each that leaves).
  void setParameterArray(std::vector<std::shared_ptr<Parameter>> parameters);
  std::size_t countOfParameterArray() const { return m_parameterArray.size(); }
  void insertObjectInParameterArrayAtIndex(std::shared_ptr<Parameter> parameter, std::size_t index);
  void removeObjectFromParameterArrayAtIndex(std::size_t index);
  void replaceObjectInParameterArrayAtIndex(std::size_t index, std::shared_ptr<Parameter> parameter);
  /// One new parameter per title, then the defaults.
  void generateParameterArray();
  /// Adds (with defaults) the titles that have no parameter; keeps unknown titles.
  void validateParameterArray();
  /// Takes over parameters by title (copies); titles this type lacks go to the backup.
  void absorbParametersFromArray(const std::vector<std::shared_ptr<Parameter>>& parameters);
  const std::map<std::string, std::shared_ptr<Parameter>>& parameterBackupDictionary() const {
    return m_parameterBackup;
  }
  std::shared_ptr<Parameter> parameterForTitle(std::string_view title) const;
  std::shared_ptr<Parameter> parameterForKey(std::string_view title) const override { return parameterForTitle(title); }
  /// The value of the parameter titled `title`; none when there is none. Not for hot
  /// paths: types cache their coefficients in parametersDidChange.
  std::optional<double> parameterValue(std::string_view title) const;
  /// Hook after any parameter change, init, initWithSurface and decoding: rebuild caches.
  virtual void parametersDidChange() {}
  /// Earlier surfaces whose titles include this surface's first title; none without
  /// container, for the first surface, or without parameters.
  std::optional<std::vector<std::shared_ptr<Surface>>> possibleParameterSolveSurfaces() const;
  std::shared_ptr<Surface> suitableParameterSolveSurface() const;
  void implementParameterPickups();
  platform::Value valueForUndefinedKey(std::string_view key) const override;
  void setValueForUndefinedKey(std::string_view key, const platform::Value& value) override;

  // --- solves: inputs ----------------------------------------------------------------------------------
  // Storage and the bookkeeping every surface needs (side effects of the type setters,
  // reference validation and replacement) are defined in Surface.cpp; the menus, letters,
  // descriptions, attention notifications and removals further below are defined in
  // Solves.cpp over the code tables of lens/SolveCodes.h.
  const SolveInputs& thicknessSolve() const { return m_thicknessSolve; }
  const SolveInputs& curvatureSolve() const { return m_curvatureSolve; }
  const SolveInputs& semidiameterSolve() const { return m_semidiameterSolve; }
  const SolveInputs& conicSolve() const { return m_conicSolve; }
  const SolveInputs& glassSolve() const { return m_glassSolve; }

  int thicknessSolveType() const { return m_thicknessSolve.type; }
  /// Code 2 resets target 0 and zone 1; a code that needs a reference surface takes
  /// suitableSolveSurface when none is set; code 7 marks the target sticky.
  void setThicknessSolveType(int type);
  double thicknessSolveTarget() const { return m_thicknessSolve.target; }
  /// Clears the sticky flag.
  void setThicknessSolveTarget(double target);
  double thicknessSolveZone() const { return m_thicknessSolve.zone; }
  void setThicknessSolveZone(double zone);
  std::shared_ptr<Surface> thicknessSolveSurface() const { return m_thicknessSolve.surface.lock(); }
  void setThicknessSolveSurface(const std::shared_ptr<Surface>& surface);
  double thicknessSolveScale() const { return m_thicknessSolve.scale; }
  void setThicknessSolveScale(double scale);
  /// A pickup's thickness is source × scale + offset.
  double thicknessSolveOffset() const { return m_thicknessSolve.offset; }
  void setThicknessSolveOffset(double offset);

  int curvatureSolveType() const { return m_curvatureSolve.type; }
  /// A code that needs a reference surface takes suitableSolveSurface when none is set;
  /// code 3 marks the target sticky.
  void setCurvatureSolveType(int type);
  double curvatureSolveTarget() const { return m_curvatureSolve.target; }
  void setCurvatureSolveTarget(double target);
  double curvatureSolveZone() const { return m_curvatureSolve.zone; }
  void setCurvatureSolveZone(double zone);
  std::shared_ptr<Surface> curvatureSolveSurface() const { return m_curvatureSolve.surface.lock(); }
  void setCurvatureSolveSurface(const std::shared_ptr<Surface>& surface);
  double curvatureSolveScale() const { return m_curvatureSolve.scale; }
  void setCurvatureSolveScale(double scale);

  int semidiameterSolveType() const { return m_semidiameterSolve.type; }
  /// Code 2 takes suitableSolveSurface when none is set; any other code maximizeSemidiameter.
  void setSemidiameterSolveType(int type);
  std::shared_ptr<Surface> semidiameterSolveSurface() const { return m_semidiameterSolve.surface.lock(); }
  void setSemidiameterSolveSurface(const std::shared_ptr<Surface>& surface);

  int conicSolveType() const { return m_conicSolve.type; }
  void setConicSolveType(int type);
  std::shared_ptr<Surface> conicSolveSurface() const { return m_conicSolve.surface.lock(); }
  void setConicSolveSurface(const std::shared_ptr<Surface>& surface);
  double conicSolveScale() const { return m_conicSolve.scale; }
  void setConicSolveScale(double scale);

  int glassSolveType() const { return m_glassSolve.type; }
  /// Code 1 takes suitableGlassSolveSurface when none is set.
  void setGlassSolveType(int type);
  std::shared_ptr<Surface> glassSolveSurface() const { return m_glassSolve.surface.lock(); }
  void setGlassSolveSurface(const std::shared_ptr<Surface>& surface);

  // Convenience setters: the inputs first, then the type.
  void setThicknessSolveTypeTarget(int type, double target);
  void setThicknessSolveTypeTargetZone(int type, double target, double zone);
  void setThicknessSolveTypeSurface(int type, const std::shared_ptr<Surface>& surface);
  void setThicknessSolveTypeSurfaceTarget(int type, const std::shared_ptr<Surface>& surface, double target);
  void setThicknessSolveTypeSurfaceScaleOffset(int type, const std::shared_ptr<Surface>& surface, double scale,
                                               double offset);
  void setCurvatureSolveTypeTarget(int type, double target);
  void setCurvatureSolveTypeTargetZone(int type, double target, double zone);
  void setCurvatureSolveTypeSurfaceScale(int type, const std::shared_ptr<Surface>& surface, double scale);
  void setConicSolveTypeSurfaceScale(int type, const std::shared_ptr<Surface>& surface, double scale);

  /// A thickness pickup (code 5) with a live source: source thickness × scale + offset;
  /// none otherwise. The system update stores it as the thickness.
  std::optional<double> pickupThickness() const;

  bool curvatureSolveTargetSticky() const { return m_curvatureSolveTargetSticky; }
  bool thicknessSolveTargetSticky() const { return m_thicknessSolveTargetSticky; }
  /// Outcome of the last system update.
  bool curvatureSolveImplemented() const { return m_curvatureSolveImplemented; }
  bool thicknessSolveImplemented() const { return m_thicknessSolveImplemented; }
  const std::string& curvatureSolveErrorMessage() const { return m_curvatureSolveErrorMessage; }
  const std::string& thicknessSolveErrorMessage() const { return m_thicknessSolveErrorMessage; }
  void setCurvatureSolveOutcome(bool implemented, std::string errorMessage);
  void setThicknessSolveOutcome(bool implemented, std::string errorMessage);

  // --- solves: bookkeeping -------------------------------------------------------------------------------
  static bool curvatureSolveNeedsSurface(int type) { return type == 4 || type == 9 || type == 10; }
  static bool thicknessSolveNeedsSurface(int type) { return type == 5 || type == 7 || type == 8 || type == 9; }
  bool curvatureSolveSurfaceRequired() const { return curvatureSolveNeedsSurface(m_curvatureSolve.type); }
  bool thicknessSolveSurfaceRequired() const { return thicknessSolveNeedsSurface(m_thicknessSolve.type); }
  bool glassSolveSurfaceRequired() const { return m_glassSolve.type == 1; }
  bool thicknessSolveIsNontrivial() const { return m_thicknessSolve.type >= 2 && m_thicknessSolve.type <= 9; }
  bool curvatureSolveIsNontrivial() const;
  bool semidiameterSolveIsNontrivial() const { return m_semidiameterSolve.type == 1 || m_semidiameterSolve.type == 2; }
  virtual bool canEditCurvature() const { return m_curvatureSolve.type == 0 || m_curvatureSolve.type == 1; }
  virtual bool canEditThickness() const { return m_thicknessSolve.type == 0 || m_thicknessSolve.type == 1; }
  bool canEditSemidiameter() const { return m_semidiameterSolve.type != 2 && m_semidiameterSolve.type != 3; }
  bool canEditConicConstant() const { return m_conicSolve.type != 2; }
  virtual bool canEditGlass() const { return m_glassSolve.type != 1; }
  bool canEditGlassName() const;
  virtual bool canEditCurvatureSolveType() const { return true; }
  virtual bool canEditThicknessSolveType() const { return true; }
  virtual bool canEditGlassSolveType() const { return true; }
  /// With the maximum semidiameter solve (code 3), semidiameter = the largest single-valued
  /// one when that is finite.
  void maximizeSemidiameter();
  /// The surface just before this one; none for the first or without container.
  std::shared_ptr<Surface> suitableSolveSurface() const;
  /// The nearest earlier surface with a glass.
  std::shared_ptr<Surface> suitableGlassSolveSurface() const;
  /// The surfaces before this one; none without container.
  std::optional<std::vector<std::shared_ptr<Surface>>> possibleSolveSurfaces() const;
  /// Null is valid; a non-surface, a surface of another container, or a later surface is
  /// not (the latter two are logged).
  bool invalidSolveSurface(const std::shared_ptr<platform::Object>& source) const override;
  /// Drops references the codes do not need and invalid ones (falling back to a code
  /// without reference), then lets every parameter validate its solve.
  void validateSolveSurfaces();
  /// Points every reference to `oldSurface` at `newSurface`; with none, pickups fall back.
  void replaceSurface(const std::shared_ptr<Surface>& oldSurface, const std::shared_ptr<Surface>& newSurface);
  /// {"oldSurface", "newSurface"}: replaceSurface here and in every parameter.
  void surfaceReplacement(const platform::Dictionary& userInfo);
  /// The surface leaves the lens: replaceSurface(surface, none) here and in every parameter.
  void detachSurface(const std::shared_ptr<Surface>& surface);
  /// "semidiameter" (code 4), "curvature", "conicConstant", "thickness" (code 1), variable
  /// parameter titles, then "aperture."- and "emission."-prefixed variables.
  std::vector<std::string> keyPathsForVariables() const;

  // --- solves: texts and menus (Solves.cpp) ------ ----------------------------------------------------
  std::string thicknessSolveLetter() const;
  std::string curvatureSolveLetter() const;
  /// None for the automatic code.
  std::optional<std::string> semidiameterSolveLetter() const;
  std::string conicLetter() const;
  std::string glassLetter() const;
  virtual std::string thicknessDescription() const;
  std::string curvatureDescription() const;
  std::string semidiameterDescription() const;
  std::string conicDescription() const;
  virtual std::string glassDescription() const;
  std::string fixedConicDescription() const;
  std::string coatingDescription() const;
  static const std::vector<std::string>& thicknessSolveDescriptors();
  static const std::vector<int>& thicknessSolveKeys();
  static const std::vector<std::string>& curvatureSolveDescriptors();
  static const std::vector<int>& curvatureSolveKeys();
  static const std::vector<std::string>& semidiameterSolveDescriptors();
  static const std::vector<int>& semidiameterSolveKeys();
  std::string thicknessSolveDescriptor() const;
  void setThicknessSolveDescriptor(const std::string& descriptor);
  std::string curvatureSolveDescriptor() const;
  void setCurvatureSolveDescriptor(const std::string& descriptor);
  std::string semidiameterSolveDescriptor() const;
  void setSemidiameterSolveDescriptor(const std::string& descriptor);
  bool thicknessSolveDescriptorVisible() const;
  std::vector<std::string> glassSolveDescriptors() const;
  std::string glassSolveDescriptor() const;
  void setGlassSolveDescriptor(const std::string& descriptor);
  void touchThicknessSolve();
  void touchCurvatureSolve();
  void touchSemidiameterSolve();
  void touchGlassSolve();
  void triggerModelGlassDialog();
  std::vector<std::string> keyPathsForSolves() const;
  void removeVariables();
  void removeSolves();
  void removeGlassPickup();

  // --- container, delegate and identity -----------------------------------------------------------------------
  std::shared_ptr<SurfaceContainer> container() const { return m_container.lock(); }
  /// Stores the lens (weakly) and, when set, validates the solve references.
  void setContainer(const std::shared_ptr<SurfaceContainer>& container);
  std::shared_ptr<SurfaceDelegate> delegate() const { return m_delegate.lock(); }
  /// Stores the lens (weakly) and, when set, resolves the glass.
  void setDelegate(const std::shared_ptr<SurfaceDelegate>& delegate);
  /// The position in the container by identity; none without container.
  std::optional<std::size_t> indexInContainer() const;
  std::shared_ptr<Surface> nextSurface() const;
  /// "%lu", then " (comment)" when there is one, then " [Stop]".
  std::string nickname() const override;
  /// "s%ld" in a container, else the default description.
  std::string description() const override;
  /// Without aperture "STO" for the stop, else none; with one "*ST" or "*".
  std::optional<std::string> stopLetter() const;
  /// thickness − own sag at the semidiameter + the next surface's sag at its semidiameter.
  double edgeThickness() const;
  /// The object of "surfaceChangedNotification": the lens's reference.
  void setNotificationToken(platform::Reference token) { m_notificationToken = std::move(token); }
  const platform::Reference& notificationToken() const { return m_notificationToken; }
  /// Posts "surfaceChangedNotification" (now, coalesced by name and sender) with the
  /// notification token as object.
  void broadcastSurfaceChangedNotification() const;
  /// Posts `name` with this surface's reference as object, when idle, coalesced by name
  /// and sender: the solve module's attention notifications use it.
  void postNotificationWithName(const std::string& name) const;

  // --- values written by the system update and measurements (not archived) -------------------------------------
  int selected() const { return m_selected; }
  void setSelected(int selected) { m_selected = selected; }
  std::uint32_t glName() const { return m_glName; }
  void setGlName(std::uint32_t name) { m_glName = name; }
  double track() const { return m_track; }
  void setTrack(double track) { m_track = track; }
  bool reflected() const { return m_reflected; }
  void setReflected(bool reflected) { m_reflected = reflected; }
  const ParaxialTraceData& paraxialTraceData() const { return m_paraxialTraceData; }
  void setParaxialTraceData(const ParaxialTraceData& data) { m_paraxialTraceData = data; }
  double petzvalTerm() const { return m_petzvalTerm; }
  void setPetzvalTerm(double term) { m_petzvalTerm = term; }
  /// Seidel sums s1…s5 (SPHA, COMA, ASTI, FCUR, DIST) and Conrady c1, c2.
  void setSeidel(double s1, double s2, double s3, double s4, double s5);
  void setConrady(double c1, double c2);
  std::vector<double> seidelData() const { return {m_s[0], m_s[1], m_s[2], m_s[3], m_s[4]}; }
  std::vector<double> conradyData() const { return {m_c1, m_c2}; }
  double SPHA() const { return m_s[0]; }
  double COMA() const { return m_s[1]; }
  double ASTI() const { return m_s[2]; }
  double FCUR() const { return m_s[3]; }
  double DIST() const { return m_s[4]; }

  // --- listings -----------------------------------------------------------------------------------------------------
  void appendSurfaceDataToString(std::string& out) const;
  void appendAdditionalSurfaceDataToString(std::string& out) const;
  void appendApertureDataToString(std::string& out) const;
  void appendTransformationDescriptionToString(std::string& out) const;
  void appendParaxialTraceToString(std::string& out) const;
  virtual void appendSeidelToString(std::string& out) const;

  // --- key-value coding and archive ------------------------------------------------------------------------------------
  /// Always true: observing it reports a change of any model key.
  bool surfaceGestalt() const { return true; }
  /// The archive keys, in order.
  static const std::vector<std::string>& coderKeys();
  std::string className() const override { return "Surface"; }
  const platform::KeyTable& keys() const override { return classKeys(); }
  static const platform::KeyTable& classKeys();
  /// Keyed coders only ("Surface only supports NSKeyedArchiver coders"). A plane's radius
  /// is written as infinity; the frame, the solve outcomes, the thickness solve offset's
  /// absence in older files and the update's values are not needed on reading.
  void encodeWithCoder(platform::Coder& coder) const override;
  void initWithCoder(const platform::Coder& coder) override;

 protected:
  void willDeallocate() override;
  /// The section of the surface over [a, b] of the x (xOriented) or y axis, cut into the
  /// pieces the aperture's intervals leave; each piece walked in 100 steps (from b when
  /// backwards, the pieces then last to first) as points (sag, t). The first piece joins
  /// the path (a move only on an empty path), every later one starts with a move: the
  /// aperture's gaps. An empty range appends nothing.
  void appendSectionToPath(PlanarBezierPath& path, const PlanarAffineTransform& transform, bool xOriented, double a,
                           double b, bool backwards) const;
  /// The half outline of a surface limited in this meridian at `limit` (Rt or a conic's
  /// maximum ordinate): [min(limit, 0), min(semidiameter, limit)] upper, mirrored lower.
  void appendMeridianHalfToPath(PlanarBezierPath& path, const PlanarAffineTransform& transform, bool xOriented,
                                bool upper, bool backwards, double limit) const;
  /// Subclasses that keep values outside parameters announce through this after edits.
  void surfaceDidChange() { broadcastSurfaceChangedNotification(); }
  /// The surface was placed anew; types whose medium depends on the frame drop it.
  virtual void frameDidChange() {}
  /// The cached medium behind the surface (types that make their own).
  const std::shared_ptr<materials::Medium>& cachedMedium() const { return m_medium; }
  void setCachedMedium(std::shared_ptr<materials::Medium> medium) const { m_medium = std::move(medium); }

 private:
  void rebuildConic(double c, double k);
  void startWatchingParameter(std::size_t index);
  void observeGlass(const std::string& key);
  void setSolveSurface(SolveInputs& solve, std::string_view key, const std::shared_ptr<Surface>& surface);
  bool isInSameContainer(const Surface& other) const;

  std::string m_surfaceType;
  std::string m_comment;
  ConicSection m_conic;
  double m_thickness = 0;
  bool m_isStop = false;
  bool m_isMirror = false;
  double m_semidiameter = 0;
  SolveInputs m_semidiameterSolve;
  SolveInputs m_conicSolve;
  SolveInputs m_curvatureSolve;
  SolveInputs m_thicknessSolve;
  SolveInputs m_glassSolve;
  bool m_curvatureSolveTargetSticky = false;
  bool m_thicknessSolveTargetSticky = false;
  bool m_curvatureSolveImplemented = true;
  bool m_thicknessSolveImplemented = true;
  std::string m_curvatureSolveErrorMessage;
  std::string m_thicknessSolveErrorMessage;

  std::shared_ptr<materials::Glass> m_glass;
  std::vector<platform::Observation> m_glassObservations;
  mutable std::shared_ptr<materials::Medium> m_medium;
  std::shared_ptr<Aperture> m_aperture;
  std::vector<platform::Observation> m_apertureObservations;
  std::shared_ptr<Emission> m_emission;
  std::vector<platform::Observation> m_emissionObservations;
  platform::Dictionary m_apertureInformation;
  platform::Dictionary m_emissionInformation;

  std::vector<std::shared_ptr<Parameter>> m_parameterArray;
  std::vector<std::vector<platform::Observation>> m_parameterObservations;  // aligned with the array
  std::map<std::string, std::shared_ptr<Parameter>> m_parameterBackup;

  std::weak_ptr<SurfaceContainer> m_container;
  std::weak_ptr<SurfaceDelegate> m_delegate;
  platform::Reference m_notificationToken;

  foundation::OBTransform m_transform;
  int m_selected = 0;
  std::uint32_t m_glName = 0;
  double m_track = 0;
  bool m_reflected = false;
  ParaxialTraceData m_paraxialTraceData;
  double m_petzvalTerm = 0;
  double m_s[5] = {0, 0, 0, 0, 0};
  double m_c1 = 0, m_c2 = 0;
};

}  // namespace orb::lens
