#pragma once

#include <QColor>
#include <QFont>
#include <QPointF>
#include <vector>

#include "rendering/PlotBackEnd.h"

class QPainter;

namespace orb::rendering {

QColor toQColor(const PlotColor& color);
PlotColor fromQColor(const QColor& color);

/// Draws the plot engine's strokes, markers and text with a QPainter. The engine's view
/// units grow upwards; this back end flips them onto the painter's y-down device of
/// height `viewHeight`, and puts whole view units on pixel centres so that lines along
/// them stay crisp under antialiasing.
class QtPlotBackEnd final : public PlotBackEnd {
 public:
  QtPlotBackEnd(QPainter& painter, double viewHeight, const QFont& font);

  void moveTo(double x, double y) override;
  void lineTo(double x, double y) override;
  void fillDot(double x, double y, double size) override;
  void fillSquare(double x, double y, double size) override;
  void drawText(const std::string& text, double x, double y, double degrees) override;
  void measureText(const std::string& text, double& width, double& height) override;
  void saveState() override;
  void restoreState() override;
  void setColor(const PlotColor& color) override;
  void setLineWidth(double width) override;

 private:
  QPointF device(double x, double y) const { return {x + 0.5, m_viewHeight - y - 0.5}; }
  void applyPen();

  struct State {
    QColor color;
    double lineWidth;
  };
  QPainter& m_painter;
  double m_viewHeight;
  QFont m_font;
  QColor m_color;
  double m_lineWidth = 1.0;
  QPointF m_pen;
  std::vector<State> m_saved;
};

}  // namespace orb::rendering
