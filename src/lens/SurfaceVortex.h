#pragma once

#include <atomic>

#include "lens/Surface.h"

namespace orb::lens {

/// A flat surface that answers the local expansion of a helical ramp z = pitch·atan2(y, x)
/// ("pitch" height per radian): rays are met on the vertex plane, and the framed-ray
/// turners and drawings see the ramp's slope.
class SurfaceVortex : public Surface {
 public:
  std::string type() const override { return "Vortex"; }
  std::optional<std::string> zemaxType() const override { return std::nullopt; }
  const std::vector<std::string>& parameterTitleArray() const override;
  const platform::Dictionary& parameterDefaultsDictionary() const override;
  std::shared_ptr<Surface> makeEmpty() const override;
  std::string className() const override { return "SurfaceVortex"; }
  bool isPlanarInAppearance() const override { return true; }
  std::string_view pusherName() const override;
  void parametersDidChange() override;
  double pitch() const { return m_pitch; }
  /// The base scaling, then the pitch (a height) × f.
  void scaleByFactor(double f) override;

  /// Gradient (−p·y/r², p·x/r², −1), a plane at the centre (r² ≤ 1e-20).
  geometry::SurfaceTaylorExpansion taylorExpansionAtPosition(const foundation::XYZ& p) const override;

  /// Per-ray diagnostics (the pitch at each expansion, the pusher chosen) go to the log
  /// only while this is set; off by default, since a trace asks once per ray.
  static void setDebugLogging(bool on) { s_debugLogging = on; }
  static bool debugLogging() { return s_debugLogging; }

 private:
  double m_pitch = 0;
  static inline std::atomic<bool> s_debugLogging{false};
};

}  // namespace orb::lens
