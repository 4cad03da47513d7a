#pragma once

#include <memory>
#include <optional>

#include "analysis/OBCalculator.h"
#include "foundation/objects/XY.h"
#include "foundation/objects/XYZ.h"
#include "tracing/Ray.h"
#include "tracing/RayWithFrame.h"

namespace orb::lens {
class Field;
class Lens;
class Wave;
}  // namespace orb::lens

namespace orb::analysis {

/// Single test rays from a field and a pupil specification, shared by the test-ray
/// generator (the trace merit operand) and the trace listing. n is the lens's object-space
/// index; positions and momenta are global.
///
/// Field tags: 0 normalised field H (of the largest field), 4 object position (x, y);
/// 1 angle, 2 momentum and 3 tangent are not implemented. Pupil tags: 0 normalised pupil
/// P, 1 point on the stop (aimed to first order), 2 transverse momentum (mx, my), 3
/// direction tangents (tx, ty).
///
/// Specifications that name no real ray raise "ValueError" rather than make a ray of NaN
/// or infinite numbers: a momentum with mx² + my² > n², and a stop point that the first-
/// order transfer to the stop cannot reach (singular or non-finite).
namespace testray {

inline constexpr const char* kInconsistentSpecification =
    "Unimplemented or inconsistent combination of field and pupil specification";

/// What names one test ray.
struct Specification {
  int fieldTag = 0;
  foundation::XY field{0, 0};
  int pupilTag = 0;
  foundation::XY pupil{0, 0};
  /// A field of the lens that stands for the field specification (the trace listing's
  /// field of interest); null to use `fieldTag`.
  std::shared_ptr<lens::Field> definedField;
  /// The ray's wave; null for the primary one.
  std::shared_ptr<lens::Wave> wave;
};

/// (mx, my, √(n² − mx² − my²)).
foundation::XYZ momentumForMomentumPoint(double n, const foundation::XY& m);
/// n · (tx, ty, 1)/√(1 + tx² + ty²).
foundation::XYZ momentumForTangentPoint(double n, const foundation::XY& t);
/// (x, y, z): z = 0 for an object at infinity, else the object surface's global z.
foundation::XYZ positionForPositionPoint(lens::Lens& lens, const foundation::XY& q);
/// A ray from `position` aimed to first order at the point `stop` of the stop surface:
/// the transverse momentum solves stop = A·(x, y) + B·(px, py) with the position and
/// momentum blocks of the transfer matrix of a ray along z from `position` to the stop.
tracing::Ray rayForPositionStopPoint(lens::Lens& lens, const foundation::XYZ& position, const foundation::XY& stop);

/// The test ray of `spec`, not yet framed. Raises NSInternalInconsistencyException with
/// kInconsistentSpecification for a combination that is not implemented or names no
/// ray, and "ValueError" as above. Call with the lens locked.
tracing::Ray makeTestRay(lens::Lens& lens, const Specification& spec);

}  // namespace testray

/// One test ray from two coordinate pairs and two tags, at a given wavelength, for the
/// trace merit operand. A calculator that runs no stages.
class TestRayGenerator : public OBCalculator {
 public:
  std::string className() const override { return "TestRayGenerator"; }

  std::shared_ptr<lens::Lens> lens() const { return m_lens.lock(); }
  void setLens(const std::shared_ptr<lens::Lens>& lens) { m_lens = lens; }
  void setFieldX(double x) { m_spec.field.x = x; }
  void setFieldY(double y) { m_spec.field.y = y; }
  void setPupilX(double x) { m_spec.pupil.x = x; }
  void setPupilY(double y) { m_spec.pupil.y = y; }
  void setFieldSpecificationTag(int tag) { m_spec.fieldTag = tag; }
  void setPupilSpecificationTag(int tag) { m_spec.pupilTag = tag; }
  void setWavelengthInNanometers(double nm) { m_wavelengthInNanometers = nm; }
  /// The generator chooses none.
  std::shared_ptr<lens::Field> fieldOfInterest() const { return nullptr; }
  std::shared_ptr<lens::Wave> waveOfInterest() const { return nullptr; }

  /// The framed test ray in a new wave of the generator's wavelength. Raises as
  /// testray::makeTestRay; without a lens, the inconsistency exception.
  tracing::RayWithFrame generateRay() const;

 private:
  std::weak_ptr<lens::Lens> m_lens;
  testray::Specification m_spec;
  double m_wavelengthInNanometers = 587.5618;
};

}  // namespace orb::analysis
