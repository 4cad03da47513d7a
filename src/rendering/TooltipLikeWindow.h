#pragma once

#include <memory>

class QRect;
class QWidget;

namespace orb::rendering {

/// A new borderless window on `contentRect` (screen coordinates) that floats at tool-tip
/// level, lets the mouse through to what lies below and is painted the pale yellow of tool
/// tips (RGB 1.0, 0.96, 0.76). Not shown yet; the caller owns it and fills it.
std::unique_ptr<QWidget> tooltipLikeWindowWithContentRect(const QRect& contentRect);

}  // namespace orb::rendering
