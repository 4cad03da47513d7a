// The drawing passes of a laid-out graph: curves, axes, legend, then titles.
#include <algorithm>
#include <cmath>

#include "rendering/PlotGraph.h"

namespace orb::rendering {
namespace {

void styleCurve(PlotGraph* g, const void* context) {
  if (g->styleCallback) g->styleCallback(context, g);
}

void marker(PlotGraph* g, double u, double v) {
  PlotBackEnd* be = g->port->backEnd;
  if (!be || (!g->drawDots && !g->drawSquares)) return;
  double x, y;
  if (!plotPortUserToView(g->port, u, v, x, y)) return;
  if (g->drawDots) be->fillDot(x, y, g->markerSize);
  if (g->drawSquares) be->fillSquare(x, y, g->markerSize);
}

void saveState(PlotGraph* g) {
  if (g->port->backEnd) g->port->backEnd->saveState();
}

void restoreState(PlotGraph* g, bool resetLineWidth) {
  if (!g->port->backEnd) return;
  g->port->backEnd->restoreState();
  if (resetLineWidth) g->port->backEnd->setLineWidth(1.0);
}

void curvePass(PlotGraph* g) {
  if (g->curves.empty()) return;
  plotGraphApplyToPort(g);
  bool clip = plotPortSetClipping(g->port, true);
  for (const PlotCurve& c : g->curves) {
    saveState(g);
    styleCurve(g, c.context);
    bool penDown = false;
    for (int i = 0; i < c.count; ++i) {
      double u = c.x[i], v = c.y[i];
      if (c.breaks && c.breaks[i] != 0) penDown = false;
      if (g->workX.logarithmic) u = u > 0 ? std::log10(u) : std::nan("");
      if (g->workY.logarithmic) v = v > 0 ? std::log10(v) : std::nan("");
      if (!std::isfinite(u) || !std::isfinite(v)) {
        penDown = false;
        continue;
      }
      marker(g, u, v);
      if (!g->drawLines) continue;
      if (penDown) {
        plotPortDrawTo(g->port, u, v);
      } else {
        plotPortMoveTo(g->port, u, v);
        penDown = true;
      }
    }
    restoreState(g, true);
  }
  styleCurve(g, nullptr);
  plotPortSetClipping(g->port, clip);
}

// Major and minor ticks along u at v = 0 (pointing to v = 0.02 and 0.01), or along v
// when `vertical`.
void ticks(PlotPort* port, const PlotAxis& a, bool vertical) {
  auto tick = [&](double at, double length) {
    if (vertical) {
      plotPortMoveTo(port, 0, at);
      plotPortDrawTo(port, length, at);
    } else {
      plotPortMoveTo(port, at, 0);
      plotPortDrawTo(port, at, length);
    }
  };
  if (!(a.step > 0)) {
    tick(a.axisMin, 0.02);
    return;
  }
  for (int i = 0; i <= 100; ++i) {
    double v = a.axisMin + i * a.step;
    if (!(v < a.axisMax + a.step / 2)) break;
    tick(v, 0.02);
    if (a.minorStep > 0) {
      double next = v + a.step;
      for (int j = 1; j < 1000; ++j) {
        double w = v + j * a.minorStep;
        if (!(w < next - a.minorStep / 2) || !(w < a.axisMax)) break;
        tick(w, 0.01);
      }
    }
  }
}

// Calls `label(v)` at every tick value that lies within the plotted range (widened by a
// thousandth of a step), printing values below a tenth of a step as 0.
template <class F>
void forEachLabel(const PlotAxis& a, F label) {
  if (a.step == 0) {
    label(a.axisMin);
    return;
  }
  if (!(a.step > 0)) return;
  for (int i = 0; i <= 100; ++i) {
    double v = a.axisMin + i * a.step;
    if (!(v < a.axisMax + a.step / 2)) break;
    if (v < a.min - 0.001 * a.step || v > a.max + 0.001 * a.step) continue;
    label(std::abs(v) < 0.1 * a.step ? 0.0 : v);
  }
}

void axesPass(PlotGraph* g) {
  if (g->axisMode == 0) return;
  PlotPort* port = g->port;
  const PlotAxis &x = g->workX, &y = g->workY;
  plotGraphApplyToPort(g);
  plotPortFrameBox(port);

  plotPortSetWindow(port, x.min, x.max, 0, 1);
  ticks(port, x, false);
  plotPortPushTransform(port);
  plotPortTranslate(port, 0, 1);
  plotPortScale(port, 1, -1);
  ticks(port, x, false);
  plotPortPopTransform(port);

  plotPortSetWindow(port, 0, 1, y.min, y.max);
  ticks(port, y, true);
  plotPortPushTransform(port);
  plotPortTranslate(port, 1, 0);
  plotPortScale(port, -1, 1);
  ticks(port, y, true);
  plotPortPopTransform(port);

  saveState(g);
  plotGraphApplyToPort(g);
  forEachLabel(x, [&](double v) {
    plotPortText(port, v, y.min, plotFormatLabel(x.labelFormat, v), 'C', 'T', 0, 0, 0);
  });
  forEachLabel(y, [&](double v) {
    plotPortText(port, x.min, v, plotFormatLabel(y.labelFormat, v), 'R', 'C', -5, 0, 0);
  });
  restoreState(g, false);

  if (g->axisMode == 2) {
    if (!y.logarithmic && y.min < 0 && 0 < y.max && y.step > 0) {
      plotPortMoveTo(port, x.min, 0);
      plotPortDrawTo(port, x.max, 0);
    }
    if (!x.logarithmic && x.min < 0 && 0 < x.max && x.step > 0) {
      plotPortMoveTo(port, 0, y.min);
      plotPortDrawTo(port, 0, y.max);
    }
  }
}

void legendPass(PlotGraph* g) {
  if (g->legend == 0 || g->curves.empty()) return;
  PlotPort* port = g->port;
  plotPortSetViewport(port, g->areaXMax, 1, g->areaYMin, g->areaYMax);
  plotPortSetWindow(port, 0, 10, 0, 1);
  double at = g->legendFirstFraction;
  for (const PlotCurve& c : g->curves) {
    saveState(g);
    styleCurve(g, c.context);
    // A sample dot as small as the plot's own (spot diagrams use 3) is hard to match to
    // its name; the sample is drawn at least 7 units across.
    const double plotMarkerSize = g->markerSize;
    g->markerSize = std::max(plotMarkerSize, 7.0);
    marker(g, 5, at);
    g->markerSize = plotMarkerSize;
    if (g->drawLines) {
      plotPortMoveTo(port, 1, at);
      plotPortDrawTo(port, 9, at);
    }
    restoreState(g, true);
    if (g->nameCallback) {
      if (auto name = g->nameCallback(c.context)) plotPortText(port, 5, at, *name, 'C', 'B', 0, 5, 0);
    }
    at += g->legendSpacingFraction;
  }
  styleCurve(g, nullptr);
}

}  // namespace

void plotPortText(PlotPort* port, double u, double v, const std::string& text, char hAlign, char vAlign, double dx,
                  double dy, double degrees) {
  if (!port || !port->backEnd || text.empty()) return;
  double x, y, w, h;
  plotPortUserToView(port, u, v, x, y);
  port->backEnd->measureText(text, w, h);
  if (hAlign == 'R') x -= w;
  if (hAlign == 'C') x -= w / 2;
  if (vAlign == 'C') y -= h / 2;
  if (vAlign == 'T') y -= h;
  port->backEnd->drawText(text, x + dx, y + dy, degrees);
}

double plotPortTextLeft(PlotPort* port, double u, double v, const std::string& text, char hAlign) {
  if (!port) return 0;
  double x, y, w = 7.0 * static_cast<double>(text.size()), h = 14;
  plotPortUserToView(port, u, v, x, y);
  if (port->backEnd) port->backEnd->measureText(text, w, h);
  if (hAlign == 'R') x -= w;
  if (hAlign == 'C') x -= w / 2;
  return x;
}

void plotGraphDraw(PlotGraph* graph) {
  if (!graph) return;
  plotGraphLayout(graph);
  plotGraphDrawBand(graph);
}

void plotGraphDrawBand(PlotGraph* graph) {
  if (!graph) return;
  plotGraphApplyMargins(graph);
  curvePass(graph);
  axesPass(graph);
  legendPass(graph);
}

void plotGraphDrawTitles(PlotGraph* g, const std::string& title, const std::string& xLabel,
                         const std::string& yLabel) {
  if (!g) return;
  PlotPort* port = g->port;
  plotPortSetViewport(port, g->areaXMin, g->areaXMax, 0, g->areaYMin);
  plotPortSetWindow(port, -20, 20, -1, 3);
  plotPortText(port, 0, 0, xLabel, 'C', 'B', 0, 0, 0);
  plotPortSetViewport(port, 0, g->areaXMin, g->areaYMin, g->areaYMax);
  plotPortSetWindow(port, -1, 3, -20, 20);
  plotPortText(port, 0, 0, yLabel, 'C', 'C', 0, 0, 90);
  plotPortSetViewport(port, g->areaXMin, g->areaXMax, g->areaYMax, 1);
  plotPortSetWindow(port, -20, 20, -1, 3);
  plotPortText(port, 0, 0, title, 'C', 'B', 0, 0, 0);
  plotGraphApplyToPort(g);
}

}  // namespace orb::rendering
