#pragma once

#include "foundation/minimise/Functor.h"

namespace orb::geometry {

/// The angle of a direction (x, y), either plain atan2 or, once a cut is set, continuous
/// everywhere except across the cut direction: an elliptic arc or a polar domain maps its
/// directions into one 2π window that does not wrap inside it.
class VKThetaFinder : public foundation::Functor {
 public:
  VKThetaFinder() = default;

  /// atan2(y, x) until activated; then the angle in the window that starts at the cut.
  double angleForDoubles(double x, double y) const;
  /// Directions just past `cut` (counter-clockwise) get the window's smallest angles, and
  /// the direction `ref` keeps the angle `ref`.
  void setThetaCut(double cut, double ref);
  bool activated() const { return m_activated; }

  /// angleForDoubles(cos t, sin t).
  double valueAt(double t) const override;

 private:
  bool m_activated = false;
  double m_thetaOffset = 0, m_mss = 1, m_mst = 0, m_mts = 0, m_mtt = 1;
};

}  // namespace orb::geometry
