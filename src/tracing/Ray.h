#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/objects/GLObject.h"
#include "foundation/objects/TransformationMatrix.h"
#include "foundation/objects/XY.h"
#include "foundation/objects/XYZ.h"
#include "platform/Value.h"
#include "tracing/RayVertex.h"

namespace orb::platform {
class Color;
class Object;
}  // namespace orb::platform

namespace orb::lens {
class Field;
class Wave;
}  // namespace orb::lens

namespace orb::tracing {

/// The fixed causes of death a ray can carry in "tags.causeOfDeath". Writers store one
/// of these pointers; readers may compare pointers or texts.
namespace causeOfDeath {
inline constexpr const char* kMissedSurface = "Missed surface";
inline constexpr const char* kUnableToHitActiveSide = "Unable to hit active side of surface";
inline constexpr const char* kPusherTiltedSurfaceMiss = "PusherTilted surface miss";
inline constexpr const char* kMissesSurface = "Misses surface";
inline constexpr const char* kDidNotHitActiveSide = "Did not hit active side of surface";
inline constexpr const char* kInvalidCoord = "Terminated (invalid coord for surface)";
inline constexpr const char* kInvalidRadius = "Terminated (invalid radius for surface)";
inline constexpr const char* kTIR = "TIR";
/// The medium behind a surface has an index of 0, NaN or ±∞: nothing can be refracted
/// into it, and calling that total internal reflection would mislead the user.
inline constexpr const char* kInvalidIndex = "Invalid index of refraction";
inline constexpr const char* kApertureDoesNotPass = "Aperture does not pass ray";
inline constexpr const char* kPupilStampKills = "Lens method pupilStampRays kills ray";
inline constexpr const char* kDoesNotEnterPipe = "Ray does not enter pipe";
inline constexpr const char* kDoesNotEnterGenericPipe = "Ray does not enter generic pipe";
inline constexpr const char* kMissesAllPipeSurfaces = "Misses all surfaces of light pipe";
inline constexpr const char* kBounceback = "Bounceback";
inline constexpr const char* kFTIR = "FTIR";
inline constexpr const char* kTooManyBounces = "Too many bounces";
inline constexpr const char* kOutsideAcceptanceRadius = "Ray radius outside acceptance radius";

/// The stored pointer for `text`: one of the constants above when the text matches,
/// else a process-wide interned copy (texts set through key-value coding).
const char* intern(std::string_view text);
}  // namespace causeOfDeath

/// Which satellite of a framed ray's swarm a ray is ("tags.swarmID").
enum class SwarmID : std::uint8_t { None, qxp, qxm, qyp, qym, pxp, pxm, pyp, pym };
/// "qxp" … "pym"; null for None.
const char* swarmIDName(SwarmID id);

/// The facts a ray carries besides its geometry, keyed once for the whole system. The
/// keys that tracing and sorting read per ray are typed fields; the ones the analyses set
/// for drawing and listing ("color", "name", "transferMatrixBasisString", "beam",
/// "emissionSurface") and any other key live in a dictionary made on first use, so a ray
/// without them stays small. The "wave" tag is the ray's own wave (Ray::wave).
class RayTags {
 public:
  RayTags() = default;
  RayTags(const RayTags& other);
  RayTags& operator=(const RayTags& other);
  RayTags(RayTags&&) noexcept = default;
  RayTags& operator=(RayTags&&) noexcept = default;
  ~RayTags();

  /// "field": the field point the ray was made for.
  std::shared_ptr<lens::Field> field;
  /// "pupilCoordinate": where the ray was aimed in the unit pupil.
  std::optional<foundation::XY> pupilCoordinate;
  /// "direction": 1 for a ray of a y-fan, 0 for an x-fan.
  std::optional<int> direction;
  bool lockColor = false;   ///< "lockColor"
  bool isAxialRay = false;  ///< "isAxialRay"
  bool isTestRay = false;   ///< "isTestRay"
  SwarmID swarmID = SwarmID::None;
  /// "causeOfDeath": one of the causeOfDeath texts, null while alive.
  const char* causeOfDeath = nullptr;
  /// "diedAtSurface": the nickname of the surface that stopped the ray.
  std::string diedAtSurface;

  /// The dictionary-held tags; null when not set.
  std::shared_ptr<platform::Color> color() const;
  void setColor(std::shared_ptr<platform::Color> color);
  std::optional<std::string> name() const;
  std::optional<std::string> transferMatrixBasisString() const;

  /// Any tag as a value (nil when not set). "pupilCoordinate" answers an XYValue.
  platform::Value valueForKey(std::string_view key) const;
  /// Stores a tag; nil removes it. Typed keys convert the value (a wrong type raises).
  void setValueForKey(std::string_view key, const platform::Value& value);
  /// Every key that holds a value, typed keys first.
  std::vector<std::string> allKeys() const;

 private:
  std::unique_ptr<platform::Dictionary> m_other;
};

/// A geometric ray in momentum form: position q and optical momentum p = n · unit
/// direction, so |p| is the absolute index of the medium. Coordinates are those of the
/// frame the ray sits in (a surface's local frame during a trace).
///
/// A compact value: pushers and turners work on spans of rays with the plain accessors;
/// key-value access ("x", "tags.causeOfDeath") is for analyses and listings. A ray never
/// throws: it dies (kill) with a fixed cause and the surface's nickname.
///
/// The dynamic members (key-value access and texts) are virtual so a framed ray answers
/// its own keys through a Ray&; the tracing operations are not: framed rays go through
/// the RayWithFrame overloads of the pushers and turners.
/// Pickable in the 3-D views (a copy starts without a selection name).
class Ray : public foundation::GLObject {
 public:
  /// Alive, empty tags, position as given, momentum n · direction/|direction| (a zero
  /// direction gives a non-finite momentum), negative-index flag (n < 0), normal (0, 0, 1).
  Ray(const foundation::XYZ& position, const foundation::XYZ& direction, double indexOfRefraction);
  Ray(const Ray&) = default;
  Ray& operator=(const Ray&) = default;
  Ray(Ray&&) noexcept = default;
  Ray& operator=(Ray&&) noexcept = default;
  virtual ~Ray() = default;

  static Ray rayWithPosition(const foundation::XYZ& position, const foundation::XYZ& direction,
                             double indexOfRefraction) {
    return Ray(position, direction, indexOfRefraction);
  }
  /// A plain copy whatever the receiver's class.
  Ray ray() const { return Ray(*this); }

  // --- Stored values ---------------------------------------------------------------------
  const foundation::XYZ& position() const { return m_position; }
  void setPosition(const foundation::XYZ& q) { m_position = q; }
  const foundation::XYZ& momentum() const { return m_momentum; }
  void setMomentum(const foundation::XYZ& p) { m_momentum = p; }
  /// Unit normal of the last surface met, as its pusher stored it.
  const foundation::XYZ& surfaceNormal() const { return m_surfaceNormal; }
  void setSurfaceNormal(const foundation::XYZ& n) { m_surfaceNormal = n; }
  double opticalPathLength() const { return m_opticalPathLength; }
  void setOpticalPathLength(double l) { m_opticalPathLength = l; }
  void incrementOpticalPathLength(double dl) { m_opticalPathLength += dl; }
  bool isAlive() const { return m_isAlive; }
  void setIsAlive(bool alive) { m_isAlive = alive; }
  /// Travelling against the local z axis after a reflection.
  bool isReflected() const { return m_isReflected; }
  bool isRetrograde() const { return m_isReflected; }
  void setIsReflected(bool reflected) { m_isReflected = reflected; }
  bool indexOfRefractionIsNegative() const { return m_indexIsNegative; }
  void setIndexOfRefractionIsNegative(bool negative) { m_indexIsNegative = negative; }
  /// Kills the ray: alive flag cleared, cause (one of causeOfDeath) and the nickname of
  /// the surface in the tags. The nickname may be empty (no surface stopped it).
  void kill(const char* cause, std::string_view surfaceNickname = {});

  const std::shared_ptr<lens::Wave>& wave() const { return m_wave; }
  /// Also the "wave" tag.
  void setWave(std::shared_ptr<lens::Wave> wave) { m_wave = std::move(wave); }
  /// The emitting surface of an emission ray (not owned), else null.
  const platform::Object* emitter() const { return m_emitter; }
  void setEmitter(const platform::Object* emitter) { m_emitter = emitter; }

  RayTags& tags() { return m_tags; }
  const RayTags& tags() const { return m_tags; }
  void setTags(const RayTags& tags) { m_tags = tags; }

  // --- Trajectory ----------------------------------------------------------------------
  /// Null unless recording was enabled.
  const Trajectory* trajectory() const { return m_trajectory.get(); }
  Trajectory* trajectory() { return m_trajectory.get(); }
  /// Starts recording with an empty trajectory.
  void enableTrajectory() { m_trajectory.reset(new Trajectory()); }
  /// Stops recording (no trajectory).
  void disableTrajectory() { m_trajectory.reset(); }
  void setTrajectory(const Trajectory& trajectory) { m_trajectory.reset(new Trajectory(trajectory)); }
  bool trajectoryIsFrozen() const { return m_trajectoryIsFrozen; }
  void setTrajectoryIsFrozen(bool frozen) { m_trajectoryIsFrozen = frozen; }
  /// Appends a vertex when the ray records and is not frozen.
  void addVertex(const RayVertex& vertex) {
    if (m_trajectory && !m_trajectoryIsFrozen) m_trajectory->push_back(vertex);
  }

  // --- Derived values -----------------------------------------------------------------
  double x() const { return m_position.x; }
  double y() const { return m_position.y; }
  double z() const { return m_position.z; }
  double qx() const { return m_position.x; }
  double qy() const { return m_position.y; }
  double qz() const { return m_position.z; }
  double px() const { return m_momentum.x; }
  double py() const { return m_momentum.y; }
  double pz() const { return m_momentum.z; }
  /// |p|.
  double p() const;
  /// Direction tangents (px/pz, py/pz).
  foundation::XY u() const { return {m_momentum.x / m_momentum.z, m_momentum.y / m_momentum.z}; }
  double ux() const { return m_momentum.x / m_momentum.z; }
  double uy() const { return m_momentum.y / m_momentum.z; }
  double thetax() const;
  double thetay() const;
  double theta() const;
  /// (px, py) · atan(r/pz)/r with r = |(px, py)|; (0, 0) for r = 0.
  foundation::XY angle() const;
  double tx() const { return angle().x; }
  double ty() const { return angle().y; }
  /// |p|, negated for a negative-index medium.
  double indexOfRefraction() const { return m_indexIsNegative ? -p() : p(); }
  /// p / indexOfRefraction: the direction of travel.
  foundation::XYZ unitDirector() const;
  /// The wave's weight, 1 without a wave.
  double weight() const;
  /// |p × surfaceNormal|.
  double transverseMomentumAmplitude() const;
  /// The z distance to reach height y: (y − this y) · pz/py.
  double distanceToRayY(double y) const { return (y - m_position.y) * m_momentum.z / m_momentum.y; }

  // --- Moves -------------------------------------------------------------------------
  /// Position as a point, momentum and normal as directions.
  void transformByMatrix(const foundation::TransformationMatrix& matrix);
  void transformPositionByMatrix(const foundation::TransformationMatrix& matrix);
  void displaceBy(const foundation::XYZ& d);
  void displaceByMomentumScaledBy(double s);
  /// x, y moved along the tangents by dz; z unchanged.
  void virtualPropagate(double dz);
  /// Momentum rescaled to length n; the negative-index flag is untouched.
  void rescaleToIndexOfRefraction(double n);
  /// Scales x, y and the tangents by f, keeping |p|; pz comes out positive.
  void paraxialScaleByFactor(double f);
  /// Nothing for a plain ray; a framed ray logs misalignment.
  void consistencyCheck() const {}

  // --- Key-value access (analyses and listings) -------------------------------------
  /// "x", "qx", "px", "p", "ux", "theta", "tx", "indexOfRefraction", "opticalPathLength",
  /// "isAlive", … and "tags.<key>"; nil for an unknown key.
  virtual platform::Value valueForKeyPath(std::string_view keyPath) const;
  /// "tags.<key>", "isAlive", "isReflected", "opticalPathLength",
  /// "indexOfRefractionIsNegative" (non-zero integer part means yes); other keys raise
  /// "NSUnknownKeyException".
  virtual void setValueForKeyPath(std::string_view keyPath, const platform::Value& value);

  // --- Texts -------------------------------------------------------------------------
  /// "Ray{x=(…),p=(…)}" with ",dead" for a dead ray.
  virtual std::string description() const;
  /// Position and momentum lines, or the cause and place of death.
  virtual std::string formattedDescription() const;

  // --- Helpers on sets of rays ------------------------------------------------------
  /// Mean position (momentum) of the live rays; (0, 0, 0) when none lives.
  static foundation::XYZ positionCentroidOfLiveRays(std::span<const Ray> rays);
  static foundation::XYZ momentumCentroidOfLiveRays(std::span<const Ray> rays);
  static foundation::XYZ centroidOfLiveRays(std::span<const Ray> rays, bool afocal) {
    return afocal ? momentumCentroidOfLiveRays(rays) : positionCentroidOfLiveRays(rays);
  }
  /// Index of the live ray whose position is nearest the point (the first of equals);
  /// none when no ray lives.
  static std::optional<std::size_t> liveRayClosestToPoint(std::span<const Ray> rays, const foundation::XYZ& point);
  /// Distance along a to its point of closest approach to b; non-finite for parallel rays.
  static double distanceAlongRayForClosestApproachToRay(const Ray& a, const Ray& b);

 protected:
  std::string deadDescription() const;

 private:
  // Members are laid out in declaration order: what the driver, pushers and turners touch
  // per ray per surface comes first, so a block of rays streams through the fewest cache
  // lines; the rest follows.
  foundation::XYZ m_position;
  foundation::XYZ m_momentum;
  foundation::XYZ m_surfaceNormal{0, 0, 1};
  double m_opticalPathLength = 0;
  bool m_isAlive = true;
  bool m_isReflected = false;
  bool m_indexIsNegative = false;
  bool m_trajectoryIsFrozen = false;
  std::shared_ptr<lens::Wave> m_wave;
  const platform::Object* m_emitter = nullptr;
  // A copied ray gets its own vertices.
  detail::CopyingPtr<Trajectory> m_trajectory;
  RayTags m_tags;

 public:
  // --- Seidel and paraxial scratch values ----------------------------------------------
  // Written only by the paraxial trace, hence after the fields of the exact one.
  double seidelA = 0, seidelD = 0, seidelT = 0, dispersion = 0, colorJump = 0;
};

}  // namespace orb::tracing
