#pragma once

#include <optional>

#include "foundation/objects/OBTransform.h"
#include "materials/Medium.h"

namespace orb::materials {

/// A medium whose index varies with position: a profile in its own local frame, placed
/// in the lens by `transform` (local ↔ global), stepped through by the gradient-index
/// pusher with steps of `integrationStep`.
///
/// The global forms carry the global point into the local frame, evaluate there, and
/// carry the force back as a vector (rotation only) and the gradient as a tensor
/// (R·T·Rᵀ). Without a transform the index is that at the local origin and the force and
/// gradient are zero.
class NonuniformMedium : public Medium {
 public:
  NonuniformMedium() = default;
  NonuniformMedium(std::optional<foundation::OBTransform> transform, double integrationStep)
      : m_transform(std::move(transform)), m_integrationStep(integrationStep) {}

  const std::optional<foundation::OBTransform>& transform() const { return m_transform; }
  double integrationStep() const { return m_integrationStep; }
  /// Set by the gradient surfaces (their semidiameter), read by the gradient pusher.
  double bounceRadius() const { return m_bounceRadius; }
  void setBounceRadius(double radius) { m_bounceRadius = radius; }

  bool isUniform() const override { return false; }
  double indexOfRefractionAtWaveGlobalCoordinate(double lambda, const foundation::XYZ& globalPoint) const override;
  foundation::XYZ forceInGlobalFrameAtWave(double lambda, const foundation::XYZ& globalPoint) const override;
  foundation::XYZTensor forceGradientInGlobalFrameAtWave(double lambda,
                                                         const foundation::XYZ& globalPoint) const override;

  /// Keys "transform" ({"localToGlobal", "globalToLocal"}: 16 row-major numbers each;
  /// absent without a transform) and "integrationStep".
  void encodeWithCoder(platform::Coder& coder) const override;
  void initWithCoder(const platform::Coder& coder) override;
  const platform::KeyTable& keys() const override { return classKeys(); }
  static const platform::KeyTable& classKeys();

 private:
  std::optional<foundation::OBTransform> m_transform;
  double m_integrationStep = 0;
  double m_bounceRadius = 0;
};

}  // namespace orb::materials
