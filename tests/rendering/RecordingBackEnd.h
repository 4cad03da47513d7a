#pragma once

#include <string>
#include <vector>

#include "rendering/PlotBackEnd.h"

namespace orb::rendering::test {

/// Records what the engine draws, in view units, for headless tests.
class RecordingBackEnd : public PlotBackEnd {
 public:
  struct Segment {
    double x0, y0, x1, y1;
    PlotColor color;
    double width;
  };
  struct Text {
    std::string text;
    double x, y, degrees;
  };
  std::vector<Segment> segments;
  std::vector<std::pair<double, double>> dots, squares;
  std::vector<Text> texts;
  PlotColor color;
  double width = 1;

  void moveTo(double x, double y) override { m_x = x, m_y = y; }
  void lineTo(double x, double y) override {
    segments.push_back({m_x, m_y, x, y, color, width});
    m_x = x, m_y = y;
  }
  void fillDot(double x, double y, double) override { dots.push_back({x, y}); }
  void fillSquare(double x, double y, double) override { squares.push_back({x, y}); }
  void drawText(const std::string& text, double x, double y, double degrees) override {
    texts.push_back({text, x, y, degrees});
  }
  void measureText(const std::string& text, double& w, double& h) override {
    w = 7.0 * static_cast<double>(text.size());
    h = 14;
  }
  void saveState() override { m_saved.push_back({color, width}); }
  void restoreState() override {
    color = m_saved.back().first;
    width = m_saved.back().second;
    m_saved.pop_back();
  }
  void setColor(const PlotColor& c) override { color = c; }
  void setLineWidth(double w) override { width = w; }

 private:
  double m_x = 0, m_y = 0;
  std::vector<std::pair<PlotColor, double>> m_saved;
};

}  // namespace orb::rendering::test
