#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "rendering/PlotPort.h"

namespace orb::rendering {

/// One axis's settings, or the layout's working results for it.
struct PlotAxis {
  bool logarithmic = false;
  bool minGiven = false, maxGiven = false;
  bool tightMin = false, tightMax = false;
  bool stepGiven = false;
  double dataMin, dataMax;  ///< +∞, −∞ until data are scanned or seeded
  double min, max;          ///< the plotted range; +∞, −∞ mean unset
  double axisMin = 0, axisMax = 0;  ///< first and last tick value
  double step = 0, minorStep = 0;   ///< minor step 0: no minor ticks
  char labelFormat[16] = "%g";      ///< printf format for one double
  PlotAxis();
};

/// A curve of the current drawing pass. The values are the caller's and must stay alive
/// until the curve list is cleared.
struct PlotCurve {
  int count = 0;
  const double* x = nullptr;
  const double* y = nullptr;
  const double* breaks = nullptr;  ///< non-zero starts a new line at that point; may be null
  const void* context = nullptr;   ///< handed to the callbacks
};

struct PlotGraph;
/// Sets colour, dash and drawing style before a curve or its legend entry is drawn;
/// called once more with a null context after the last one.
using PlotCurveStyleCallback = std::function<void(const void* context, PlotGraph* graph)>;
using PlotCurveNameCallback = std::function<std::optional<std::string>(const void* context)>;

/// The settings and curves of one graph, laid out (`plotGraphLayout`) and drawn
/// (`plotGraphDraw`) onto its port. Driven by the `plotGraph…` functions, which accept a
/// null graph and then do nothing.
struct PlotGraph {
  PlotPort* port = nullptr;  ///< counted reference
  bool alternativeStyle = false;
  PlotCurveStyleCallback styleCallback;
  PlotCurveNameCallback nameCallback;
  PlotAxis x, y;            ///< settings (overwritten by the layout before equal/isotropic)
  PlotAxis workX, workY;    ///< the layout's final results, read by drawing and callers
  std::vector<PlotCurve> curves;  ///< in list order (a new curve goes to the head)
  bool measureOnly = false;
  bool drawLines = true, drawDots = false, drawSquares = false;
  double markerSize = 3.0;
  bool centerAxis = false, equalAxis = false, isotropic = false;
  int axisMode = 1;  ///< 0 no axes, 1 frame with ticks and labels, 2 plus zero lines
  // Plot area as viewport fractions of the frame.
  double areaXMin = 0.2, areaXMax = 0.9, areaYMin = 0.2, areaYMax = 0.9;
  double marginLeft = 60, marginRight = 20, marginTop = 20, marginBottom = 40;
  int legend = 0;
  double legendFirstOffset = 30, legendSpacing = -35;       ///< view units
  double legendFirstFraction = 0.8, legendSpacingFraction = -0.13;
};

PlotGraph* plotGraphCreate();
/// Default settings again; keeps the port and the name callback, clears the style callback.
void plotGraphReset(PlotGraph* graph);
void plotGraphFree(PlotGraph* graph);
void plotGraphSetPort(PlotGraph* graph, PlotPort* port);
void plotGraphAddCurve(PlotGraph* graph, int count, const double* x, const double* y, const double* breaks,
                       const void* context);
void plotGraphClearCurves(PlotGraph* graph);

enum class PlotAxisId { X, Y };
void plotGraphSetMin(PlotGraph* graph, PlotAxisId axis, double value);
void plotGraphSetMax(PlotGraph* graph, PlotAxisId axis, double value);
void plotGraphSetStep(PlotGraph* graph, PlotAxisId axis, double step);
void plotGraphSetTight(PlotGraph* graph, PlotAxisId axis, bool tightMin, bool tightMax);
void plotGraphSetLogarithmic(PlotGraph* graph, PlotAxisId axis, bool logarithmic);
void plotGraphSetLabelFormat(PlotGraph* graph, PlotAxisId axis, const char* format);
/// Seeds the data extents the next layout scans from (scale-only-expands mode).
void plotGraphSetDataExtents(PlotGraph* graph, double xMin, double xMax, double yMin, double yMax);
void plotGraphGetDataExtents(const PlotGraph* graph, double& xMin, double& xMax, double& yMin, double& yMax);
void plotGraphGetWorkingDataExtents(const PlotGraph* graph, double& xMin, double& xMax, double& yMin, double& yMax);
/// The plotted ranges of the last layout.
void plotGraphGetRanges(const PlotGraph* graph, double& xMin, double& xMax, double& yMin, double& yMax);

/// Ranges, ticks, label formats and plot area from the settings and the curve list.
void plotGraphLayout(PlotGraph* graph);
/// Plot-area fractions of the port's present frame from the margins of the last layout.
void plotGraphApplyMargins(PlotGraph* graph);
/// Layout, then the curve, axes and legend passes.
void plotGraphDraw(PlotGraph* graph);
/// The three passes with the margins of the last layout (one band of a multiplot).
void plotGraphDrawBand(PlotGraph* graph);
void plotGraphDrawTitles(PlotGraph* graph, const std::string& title, const std::string& xLabel,
                         const std::string& yLabel);
/// Port viewport = plot area, window = plotted ranges.
void plotGraphApplyToPort(PlotGraph* graph);
bool plotGraphUserToView(PlotGraph* graph, double u, double v, double& x, double& y);
bool plotGraphViewToUser(PlotGraph* graph, double x, double y, double& u, double& v);

/// The text primitive: `hAlign` 'R' right, 'C' centre, else left; `vAlign` 'C' centre,
/// 'T' top, else bottom; (dx, dy) extra offset in view units; rotation about the centre.
void plotPortText(PlotPort* port, double u, double v, const std::string& text, char hAlign, char vAlign, double dx,
                  double dy, double degrees);
/// The left edge (view x) the text would have, without drawing.
double plotPortTextLeft(PlotPort* port, double u, double v, const std::string& text, char hAlign);

/// Runs the nice-number axis rule on one axis (exposed for tests).
void plotAxisRule(PlotAxis& axis);
/// printf of one double with an axis label format into a 30-character buffer.
std::string plotFormatLabel(const char* format, double value);

}  // namespace orb::rendering
