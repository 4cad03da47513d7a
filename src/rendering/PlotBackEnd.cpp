#include "rendering/PlotBackEnd.h"

namespace orb::rendering {
namespace {
PlotColor gDrawingContrastColor{0, 0, 0, 1};
}

PlotColor drawingContrastColor() { return gDrawingContrastColor; }
void setDrawingContrastColor(const PlotColor& color) { gDrawingContrastColor = color; }

PlotColor contrastColorAgainst(const PlotColor& background) {
  if (background.red + background.green + background.blue > 1.5) return {0, 0, 0, 1};
  return {1, 1, 1, 1};
}

}  // namespace orb::rendering
