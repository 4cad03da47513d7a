#pragma once

#include <QPointF>
#include <QSizeF>
#include <optional>

namespace orb::rendering {

/// Where the overlay puts its blocks in a view of w × h pixels (origin top left, y down)
/// and how strongly the fading lines show. Absent blocks are not drawn.
struct OverlayLayout {
  std::optional<QPointF> info, camera, help, message, error;
  double messageStrength = 0, errorStrength = 0;
};

struct OverlayInput {
  bool drawsInfo = false, drawsHelp = false;
  double width = 0, height = 0;
  std::optional<QSizeF> infoSize, cameraSize, helpSize, messageSize, errorSize;
  /// Elapsed seconds now, when the message was set and when the last error came.
  double time = 0, messageTime = -1e9, errorTime = -1e9;
};

/// Messages and errors fade out linearly over this many seconds.
inline constexpr double kOverlayFadeSeconds = 10.0;

OverlayLayout layoutOverlay(const OverlayInput& in);

}  // namespace orb::rendering
