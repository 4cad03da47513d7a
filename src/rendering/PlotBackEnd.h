#pragma once

#include <string>

namespace orb::rendering {

/// An RGBA colour in 0…1, the plot engine's own so the engine stays free of Qt.
struct PlotColor {
  double red = 0, green = 0, blue = 0, alpha = 1;
  friend bool operator==(const PlotColor&, const PlotColor&) = default;
};

/// What the plot engine draws through. Coordinates are view units with y growing
/// upwards (the port's convention); a back end for a y-down device flips them.
class PlotBackEnd {
 public:
  virtual ~PlotBackEnd() = default;

  /// Remembers the pen position without drawing.
  virtual void moveTo(double x, double y) = 0;
  /// Strokes a straight line from the remembered position and remembers the end.
  virtual void lineTo(double x, double y) = 0;
  /// A filled round dot or square of side `size`, centred on (x, y).
  virtual void fillDot(double x, double y, double size) = 0;
  virtual void fillSquare(double x, double y, double size) = 0;
  /// Text whose unrotated box has its lower-left corner at (x, y), rotated by `degrees`
  /// (counter-clockwise) about the box centre, in the drawing contrast colour.
  virtual void drawText(const std::string& text, double x, double y, double degrees) = 0;
  /// Width and height of `text` in view units.
  virtual void measureText(const std::string& text, double& width, double& height) = 0;

  virtual void saveState() = 0;
  virtual void restoreState() = 0;
  virtual void setColor(const PlotColor& color) = 0;
  /// The default line width of strokes (view units).
  virtual void setLineWidth(double width) = 0;
};

/// The colour that contrasts with the background of the 2-D view being drawn: every view
/// sets it at the start of drawing; curves asking for good contrast and all text use it.
/// Process-wide, as drawing happens on the main thread one view at a time.
PlotColor drawingContrastColor();
void setDrawingContrastColor(const PlotColor& color);
/// Black when red + green + blue exceed 1.5, white otherwise.
PlotColor contrastColorAgainst(const PlotColor& background);

}  // namespace orb::rendering
