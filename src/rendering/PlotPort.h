#pragma once

#include <array>
#include <cstdint>
#include <iosfwd>
#include <vector>

#include "rendering/PlotBackEnd.h"

namespace orb::rendering {

/// An affine map x' = m[0][0]·x + m[0][1]·y + m[0][2], y' = m[1][0]·x + m[1][1]·y + m[1][2],
/// kept as a 3×3 matrix so transforms compose by multiplication.
using PlotMatrix = std::array<std::array<double, 3>, 3>;

/// Maps user coordinates through a window, a viewport (fractions of the frame) and a
/// frame (view units, y up) to view coordinates; clips, dashes and draws lines through
/// its back end. A plain record driven by the `plotPort…` functions, all of which accept
/// a null port and then do nothing.
struct PlotPort {
  std::int32_t referenceCount = 1;
  bool clipping = true;
  // Frame in view units.
  double frameLeft = 0, frameRight = 100, frameTop = 0, frameBottom = 100;
  // Viewport as fractions of the frame.
  double viewportXMin = 0, viewportXMax = 1, viewportYMin = 0, viewportYMax = 1;
  // Device rectangle in whole view units, derived from frame and viewport.
  double deviceX = 0, deviceWidth = 0, deviceY = 0, deviceHeight = 0;
  // Window in user units.
  double windowXLeft = -1, windowXRight = 1, windowYBottom = -1, windowYTop = 1;
  // Least and greatest coordinates passed to move or draw, after the transform.
  double extentsXMin = 0, extentsXMax = 0, extentsYMin = 0, extentsYMax = 0;
  bool extentsSeen = false;
  double currentU = 0, currentV = 0;  ///< current point (user units, transformed)
  double penU = 0, penV = 0;          ///< where the back end's pen stands (user units)
  // Polygon mode: 0 none, 1 started, 2 open inside the window, 3 closing.
  int polygonMode = 0;
  double polygonStartU = 0, polygonStartV = 0;
  double windingSum = 0;
  bool polygonOutside = false;  ///< the path has left the window since the last entry
  double polygonExitU = 0, polygonExitV = 0;
  std::vector<PlotMatrix> transforms;  ///< top is back(); empty means identity
  // Dash state: pattern (lengths in view units, zero-terminated) or null for solid.
  const double* dashPattern = nullptr;
  int dashIndex = 0;
  bool dashPenDown = true;
  double dashUsed = 0;
  double penFractionX = 0.5, penFractionY = 0.5;
  std::ostream* dxf = nullptr;       ///< when set, strokes become DXF LINE entities
  PlotBackEnd* backEnd = nullptr;    ///< not owned; null draws nothing
};

PlotPort* plotPortCreate();
void plotPortRetain(PlotPort* port);
void plotPortRelease(PlotPort* port);

void plotPortSetBackEnd(PlotPort* port, PlotBackEnd* backEnd);
void plotPortSetDXFStream(PlotPort* port, std::ostream* stream);
void plotPortSetFrame(PlotPort* port, double left, double right, double top, double bottom);
void plotPortSetViewport(PlotPort* port, double xMin, double xMax, double yMin, double yMax);
void plotPortSetWindow(PlotPort* port, double xLeft, double xRight, double yBottom, double yTop);
/// Returns the previous flag.
bool plotPortSetClipping(PlotPort* port, bool clipping);
/// Patterns 1–3; any other number is solid. Restarts the pattern with the pen down.
void plotPortSetDash(PlotPort* port, int pattern);
void plotPortMoveTo(PlotPort* port, double u, double v);
void plotPortDrawTo(PlotPort* port, double u, double v);
void plotPortFrameBox(PlotPort* port);
void plotPortBeginPolygon(PlotPort* port);
void plotPortEndPolygon(PlotPort* port);

void plotPortPushTransform(PlotPort* port);
void plotPortPopTransform(PlotPort* port);
void plotPortResetTransform(PlotPort* port);
void plotPortTranslate(PlotPort* port, double tx, double ty);
void plotPortScale(PlotPort* port, double sx, double sy);
void plotPortRotate(PlotPort* port, double degrees);
void plotPortConcat(PlotPort* port, const PlotMatrix& matrix);
void plotPortApplyTransform(const PlotPort* port, double& u, double& v);
void plotPortInvertTransform(const PlotPort* port, double& u, double& v);

/// User → view units; true when both window fractions lie within −0.001 … 1.001.
bool plotPortUserToView(const PlotPort* port, double u, double v, double& x, double& y);
/// View → user units through the clamped window fractions; true when strictly inside.
bool plotPortViewToUser(const PlotPort* port, double x, double y, double& u, double& v);
/// User → fractions of the frame.
void plotPortUserToViewport(const PlotPort* port, double u, double v, double& fx, double& fy);
/// Squares of view units per user unit in x and y (1 for a null port).
void plotPortScaleSquared(const PlotPort* port, double& sx2, double& sy2);
double plotPortAspect(const PlotPort* port);
double plotPortFrameWidth(const PlotPort* port);
double plotPortFrameHeight(const PlotPort* port);
void plotPortGetWindow(const PlotPort* port, double& xLeft, double& xRight, double& yBottom, double& yTop);
void plotPortGetExtents(const PlotPort* port, double& xMin, double& xMax, double& yMin, double& yMax);

}  // namespace orb::rendering
