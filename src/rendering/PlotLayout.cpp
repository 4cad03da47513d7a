// Layout of a graph: data scan, the nice-number axis rule, equal and isotropic
// adjustments, and the margins around the plot area.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "rendering/PlotGraph.h"

namespace orb::rendering {
namespace {

void setFormat(PlotAxis& a, const char* format) {
  std::strncpy(a.labelFormat, format, sizeof a.labelFormat - 1);
  a.labelFormat[sizeof a.labelFormat - 1] = '\0';
}

void applyTight(PlotAxis& a) {
  if (a.tightMin) a.min = a.dataMin;
  if (a.tightMax) a.max = a.dataMax;
}

// The y tick labels the axes pass will draw, measured as right-aligned 5 units left of
// `areaLeft`: the smallest left edge, at most 50.
double leftmostYLabel(PlotGraph* g, const PlotAxis& a, double areaLeft) {
  double left = 50;
  if (g->axisMode == 0) return left;
  auto measure = [&](double v) {
    if (std::abs(v) < 0.1 * a.step) v = 0;
    std::string text = plotFormatLabel(a.labelFormat, v);
    double w = 7.0 * static_cast<double>(text.size()), h = 14;
    if (g->port && g->port->backEnd) g->port->backEnd->measureText(text, w, h);
    left = std::min(left, areaLeft - 5 - w);
  };
  if (a.step == 0) {
    measure(a.axisMin);
    return left;
  }
  if (!(a.step > 0)) return left;
  for (int i = 0; i <= 100; ++i) {
    double v = a.axisMin + i * a.step;
    if (!(v < a.axisMax + a.step / 2)) break;
    if (v >= a.min - 0.001 * a.step && v <= a.max + 0.001 * a.step) measure(v);
  }
  return left;
}

// The widest legend name of the curves, in view units (0 without names).
double widestLegendName(PlotGraph* g) {
  double widest = 0;
  if (!g->nameCallback) return widest;
  for (const PlotCurve& c : g->curves) {
    auto name = g->nameCallback(c.context);
    if (!name || name->empty()) continue;
    double w = 7.0 * static_cast<double>(name->size()), h = 14;
    if (g->port && g->port->backEnd) g->port->backEnd->measureText(*name, w, h);
    widest = std::max(widest, w);
  }
  return widest;
}

// Margins in view units. The labels are measured against the base left margin, not the
// plot area of an earlier layout, so that every layout of the same graph agrees. The
// legend strip is 100 wide, or as wide as its longest name and a little air (names are
// centred in it), but never more than two fifths of the frame.
void computeMargins(PlotGraph* g, const PlotAxis& y) {
  g->marginLeft = 60;
  g->marginRight = 20;
  if (g->legend != 0) {
    const double fitted = std::max(100.0, widestLegendName(g) + 16);
    g->marginRight = std::max(100.0, std::min(fitted, 0.4 * plotPortFrameWidth(g->port)));
  }
  g->marginTop = 20;
  g->marginBottom = 40;
  double left = leftmostYLabel(g, y, g->marginLeft);
  if (left < 20) g->marginLeft += 20 - left;
}

// Aspect (height / width) of the plot area the margins leave in the port's frame.
double plotAreaAspect(const PlotGraph* g) {
  double fw = plotPortFrameWidth(g->port), fh = plotPortFrameHeight(g->port);
  double w = fw - g->marginLeft - g->marginRight, h = fh - g->marginTop - g->marginBottom;
  if (w > 0 && h > 0) return h / w;
  return plotPortAspect(g->port);
}

void reRule(PlotAxis& a, double centre, double halfSpan) {
  a.min = centre - halfSpan;
  a.max = centre + halfSpan;
  a.minGiven = a.maxGiven = true;
  plotAxisRule(a);
}

void makeIsotropic(PlotAxis& x, PlotAxis& y, double r) {
  if (!(r > 0)) return;
  double sx = x.max - x.min, sy = y.max - y.min;
  if (sx * r > sy)
    reRule(y, (y.min + y.max) / 2, sx * r / 2);
  else if (sy > sx * r)
    reRule(x, (x.min + x.max) / 2, sy / r / 2);
}

}  // namespace

void plotAxisRule(PlotAxis& a) {
  setFormat(a, "%g");
  if (!a.minGiven) a.min = a.dataMin;
  if (!a.maxGiven) a.max = a.dataMax;
  applyTight(a);
  if (a.stepGiven) {
    a.axisMin = a.min;
    a.axisMax = a.max;
    a.minorStep = 0;
    return;
  }
  double lo = a.min, hi = a.max;
  if (!(lo < hi) || !std::isfinite(hi - lo)) {
    a.axisMin = std::isfinite(lo - 1) ? lo - 1 : -1;
    a.axisMax = std::isfinite(hi + 1) ? hi + 1 : 1;
    a.step = 1;
    a.minorStep = 0;
    if (!a.minGiven) a.min = a.axisMin;
  } else {
    double span = hi - lo;
    int k = 0;
    for (int n = 0; n < 1000 && span * std::pow(10.0, k) < 10; ++n) ++k;
    while (span * std::pow(10.0, k) >= 100 && k > -999) --k;
    double s = std::pow(10.0, k);
    double sa = lo * s, sb = hi * s;
    double c = 20, first = 0, last = 0;
    for (double candidate : {2.0, 5.0, 10.0}) {
      first = std::floor(sa / candidate + 1e-6) * candidate;
      last = std::ceil(sb / candidate - 1e-6) * candidate;
      if (std::trunc((last - first) / candidate + 1) < 7) {
        c = candidate;
        break;
      }
    }
    if (c == 20) {
      first = std::floor(sa / c + 1e-6) * c;
      last = std::ceil(sb / c - 1e-6) * c;
    }
    double minor = c == 10 ? 0 : (c == 20 ? 10 : 1);
    int d = c >= 10 ? k - 1 : k;
    if (d >= -4 && d <= 4 && std::abs(sa) <= 100000 && std::abs(sb) <= 100000) {
      char format[16];
      std::snprintf(format, sizeof format, "%%.%dlf", std::max(d, 0));
      setFormat(a, format);
    }
    a.axisMin = first / s;
    a.axisMax = last / s;
    a.step = c / s;
    a.minorStep = minor / s;
    if (!a.minGiven) a.min = a.axisMin;
  }
  if (!a.maxGiven) a.max = a.axisMax;
  applyTight(a);
  if (a.min == a.max) {
    if (std::abs(a.min) < 0.001) setFormat(a, "%.2e");
    double old = a.min;
    a.min = a.axisMin;
    a.max = a.axisMax;
    a.axisMin = a.axisMax = old;
    a.step = 0;
  }
}

void plotGraphLayout(PlotGraph* g) {
  if (!g) return;
  PlotAxis x = g->x, y = g->y;
  for (const PlotCurve& c : g->curves) {
    for (int i = 0; i < c.count; ++i) {
      if (std::isfinite(c.x[i])) {
        x.dataMin = std::min(x.dataMin, c.x[i]);
        x.dataMax = std::max(x.dataMax, c.x[i]);
      }
      if (std::isfinite(c.y[i])) {
        y.dataMin = std::min(y.dataMin, c.y[i]);
        y.dataMax = std::max(y.dataMax, c.y[i]);
      }
    }
  }
  plotAxisRule(x);
  plotAxisRule(y);
  g->x = x;
  g->y = y;
  if (g->equalAxis) {
    double sx = x.max - x.min, sy = y.max - y.min;
    if (sx > sy)
      reRule(y, (y.min + y.max) / 2, sx / 2);
    else if (sy > sx)
      reRule(x, (x.min + x.max) / 2, sy / 2);
  }
  computeMargins(g, y);
  if (g->isotropic) {
    // One user unit must have the same length on both axes of the plot area itself, so
    // the ratio is taken after the margins; a wider y label may change the left margin,
    // and then the ratio once more.
    PlotAxis x0 = x, y0 = y;
    double marginLeft = g->marginLeft;
    makeIsotropic(x, y, plotAreaAspect(g));
    computeMargins(g, y);
    if (g->marginLeft != marginLeft) {
      x = x0;
      y = y0;
      makeIsotropic(x, y, plotAreaAspect(g));
    }
  }
  g->workX = x;
  g->workY = y;
  plotGraphApplyMargins(g);
  plotGraphApplyToPort(g);
}

void plotGraphApplyMargins(PlotGraph* g) {
  if (!g) return;
  double fw = plotPortFrameWidth(g->port), fh = plotPortFrameHeight(g->port);
  if (fw <= 0 || fh <= 0) return;
  g->areaXMin = g->marginLeft / fw;
  g->areaXMax = 1 - g->marginRight / fw;
  g->areaYMin = g->marginBottom / fh;
  g->areaYMax = 1 - g->marginTop / fh;
  g->legendFirstOffset = 30;
  g->legendSpacing = -35;
  g->legendFirstFraction = 1 - 30 / fh;
  g->legendSpacingFraction = -35 / fh;
}

}  // namespace orb::rendering
