#include "rendering/OpenGLOverlay.h"

#include <cmath>

namespace orb::rendering {

OverlayLayout layoutOverlay(const OverlayInput& in) {
  OverlayLayout out;
  double y = 13;
  if (in.drawsInfo) {
    if (in.infoSize) out.info = QPointF(10, in.height - in.infoSize->height() - 10);
    if (in.cameraSize) {
      out.camera = QPointF(10, 10);
      y = in.cameraSize->height() + 3 + 10;
    }
  }
  if (in.drawsHelp && in.helpSize)
    out.help = QPointF(std::floor((in.width - in.helpSize->width()) / 2),
                       std::floor((in.height - in.helpSize->height()) / 3));
  if (in.drawsInfo) {
    const double sinceMessage = in.time - in.messageTime;
    if (in.messageSize && sinceMessage < kOverlayFadeSeconds) {
      out.message = QPointF(10, y);
      out.messageStrength = (kOverlayFadeSeconds - sinceMessage) / kOverlayFadeSeconds;
      y += in.messageSize->height() + 3;
    }
    const double sinceError = in.time - in.errorTime;
    if (in.errorSize && sinceError < kOverlayFadeSeconds) {
      out.error = QPointF(10, y);
      out.errorStrength = (kOverlayFadeSeconds - sinceError) / kOverlayFadeSeconds;
    }
  }
  return out;
}

}  // namespace orb::rendering
