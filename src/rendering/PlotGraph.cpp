#include "rendering/PlotGraph.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

namespace orb::rendering {

namespace {
constexpr double kInf = std::numeric_limits<double>::infinity();

PlotAxis& settings(PlotGraph* g, PlotAxisId axis) { return axis == PlotAxisId::X ? g->x : g->y; }

// On a logarithmic axis the graph keeps base-10 logarithms of the given ends.
double stored(const PlotAxis& a, double value) { return a.logarithmic ? std::log10(value) : value; }
}  // namespace

PlotAxis::PlotAxis() : dataMin(kInf), dataMax(-kInf), min(kInf), max(-kInf) {}

PlotGraph* plotGraphCreate() { return new PlotGraph(); }

void plotGraphReset(PlotGraph* graph) {
  if (!graph) return;
  PlotPort* port = graph->port;
  PlotCurveNameCallback name = std::move(graph->nameCallback);
  *graph = PlotGraph();
  graph->port = port;
  graph->nameCallback = std::move(name);
  graph->workX = graph->x;
  graph->workY = graph->y;
}

void plotGraphFree(PlotGraph* graph) {
  if (!graph) return;
  plotPortRelease(graph->port);
  delete graph;
}

void plotGraphSetPort(PlotGraph* graph, PlotPort* port) {
  if (!graph) return;
  plotPortRetain(port);
  plotPortRelease(graph->port);
  graph->port = port;
}

void plotGraphAddCurve(PlotGraph* graph, int count, const double* x, const double* y, const double* breaks,
                       const void* context) {
  if (!graph) return;
  graph->curves.insert(graph->curves.begin(), PlotCurve{count, x, y, breaks, context});
}

void plotGraphClearCurves(PlotGraph* graph) {
  if (graph) graph->curves.clear();
}

void plotGraphSetMin(PlotGraph* graph, PlotAxisId axis, double value) {
  if (!graph) return;
  PlotAxis& a = settings(graph, axis);
  a.min = stored(a, value);
  a.minGiven = true;
}

void plotGraphSetMax(PlotGraph* graph, PlotAxisId axis, double value) {
  if (!graph) return;
  PlotAxis& a = settings(graph, axis);
  a.max = stored(a, value);
  a.maxGiven = true;
}

void plotGraphSetStep(PlotGraph* graph, PlotAxisId axis, double step) {
  if (!graph) return;
  PlotAxis& a = settings(graph, axis);
  a.step = step;
  a.stepGiven = true;
}

void plotGraphSetTight(PlotGraph* graph, PlotAxisId axis, bool tightMin, bool tightMax) {
  if (!graph) return;
  PlotAxis& a = settings(graph, axis);
  a.tightMin = tightMin;
  a.tightMax = tightMax;
}

void plotGraphSetLogarithmic(PlotGraph* graph, PlotAxisId axis, bool logarithmic) {
  if (graph) settings(graph, axis).logarithmic = logarithmic;
}

void plotGraphSetLabelFormat(PlotGraph* graph, PlotAxisId axis, const char* format) {
  if (!graph || !format) return;
  PlotAxis& a = settings(graph, axis);
  std::strncpy(a.labelFormat, format, sizeof a.labelFormat - 1);
  a.labelFormat[sizeof a.labelFormat - 1] = '\0';
}

void plotGraphSetDataExtents(PlotGraph* graph, double xMin, double xMax, double yMin, double yMax) {
  if (!graph) return;
  graph->x.dataMin = xMin;
  graph->x.dataMax = xMax;
  graph->y.dataMin = yMin;
  graph->y.dataMax = yMax;
}

void plotGraphGetDataExtents(const PlotGraph* graph, double& xMin, double& xMax, double& yMin, double& yMax) {
  if (!graph) {
    xMin = xMax = yMin = yMax = 0;
    return;
  }
  xMin = graph->x.dataMin;
  xMax = graph->x.dataMax;
  yMin = graph->y.dataMin;
  yMax = graph->y.dataMax;
}

void plotGraphGetWorkingDataExtents(const PlotGraph* graph, double& xMin, double& xMax, double& yMin,
                                    double& yMax) {
  if (!graph) {
    xMin = xMax = yMin = yMax = 0;
    return;
  }
  xMin = graph->workX.dataMin;
  xMax = graph->workX.dataMax;
  yMin = graph->workY.dataMin;
  yMax = graph->workY.dataMax;
}

void plotGraphGetRanges(const PlotGraph* graph, double& xMin, double& xMax, double& yMin, double& yMax) {
  if (!graph) {
    xMin = xMax = yMin = yMax = 0;
    return;
  }
  xMin = graph->workX.min;
  xMax = graph->workX.max;
  yMin = graph->workY.min;
  yMax = graph->workY.max;
}

void plotGraphApplyToPort(PlotGraph* graph) {
  if (!graph) return;
  plotPortSetViewport(graph->port, graph->areaXMin, graph->areaXMax, graph->areaYMin, graph->areaYMax);
  plotPortSetWindow(graph->port, graph->workX.min, graph->workX.max, graph->workY.min, graph->workY.max);
}

bool plotGraphUserToView(PlotGraph* graph, double u, double v, double& x, double& y) {
  if (!graph) {
    x = y = 0;
    return false;
  }
  if (graph->workX.logarithmic) u = std::log10(u);
  if (graph->workY.logarithmic) v = std::log10(v);
  return plotPortUserToView(graph->port, u, v, x, y);
}

bool plotGraphViewToUser(PlotGraph* graph, double x, double y, double& u, double& v) {
  if (!graph) {
    u = v = 0;
    return false;
  }
  bool inside = plotPortViewToUser(graph->port, x, y, u, v);
  if (graph->workX.logarithmic) u = std::pow(10.0, u);
  if (graph->workY.logarithmic) v = std::pow(10.0, v);
  return inside;
}

std::string plotFormatLabel(const char* format, double value) {
  char buffer[30];
  std::snprintf(buffer, sizeof buffer, format, value);
  return buffer;
}

}  // namespace orb::rendering
