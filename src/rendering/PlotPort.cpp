#include "rendering/PlotPort.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <ostream>

namespace orb::rendering {
namespace {

// Lengths in view units, alternating on and off, zero-terminated.
constexpr double kDash1[] = {10, 10, 0};
constexpr double kDash2[] = {0.03, 0.01, 0.01, 0.01, 0};
constexpr double kDash3[] = {0.03, 0.03, 0};

constexpr PlotMatrix kIdentity = {{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};

PlotMatrix multiply(const PlotMatrix& a, const PlotMatrix& b) {
  PlotMatrix r{};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) r[i][j] = a[i][0] * b[0][j] + a[i][1] * b[1][j] + a[i][2] * b[2][j];
  return r;
}

void updateDeviceRectangle(PlotPort* p) {
  double fw = p->frameRight - p->frameLeft;
  double fh = p->frameTop - p->frameBottom;
  p->deviceX = std::trunc(fw * p->viewportXMin + p->frameLeft);
  p->deviceWidth = std::trunc(fw * (p->viewportXMax - p->viewportXMin));
  p->deviceY = std::trunc(fh * p->viewportYMin + p->frameBottom);
  p->deviceHeight = std::trunc(fh * (p->viewportYMax - p->viewportYMin));
}

// Window fractions of a (transformed) user point; a window of no span maps to 0.
void windowFractions(const PlotPort* p, double u, double v, double& fx, double& fy) {
  double sx = p->windowXRight - p->windowXLeft;
  double sy = p->windowYTop - p->windowYBottom;
  fx = sx != 0 ? (u - p->windowXLeft) / sx : 0;
  fy = sy != 0 ? (v - p->windowYBottom) / sy : 0;
}

// Transformed user point → view units.
void toView(const PlotPort* p, double u, double v, double& x, double& y) {
  double fx, fy;
  windowFractions(p, u, v, fx, fy);
  x = p->deviceX + p->deviceWidth * fx;
  y = p->deviceY + p->deviceHeight * fy;
}

void recordExtents(PlotPort* p, double u, double v) {
  if (!p->extentsSeen) {
    p->extentsXMin = p->extentsXMax = u;
    p->extentsYMin = p->extentsYMax = v;
    p->extentsSeen = true;
    return;
  }
  p->extentsXMin = std::min(p->extentsXMin, u);
  p->extentsXMax = std::max(p->extentsXMax, u);
  p->extentsYMin = std::min(p->extentsYMin, v);
  p->extentsYMax = std::max(p->extentsYMax, v);
}

void setPen(PlotPort* p, double u, double v) {
  p->penU = u;
  p->penV = v;
  windowFractions(p, u, v, p->penFractionX, p->penFractionY);
}

void movePen(PlotPort* p, double u, double v) {
  setPen(p, u, v);
  double x, y;
  toView(p, u, v, x, y);
  if (p->backEnd && !p->dxf) p->backEnd->moveTo(x, y);
}

// One stroked piece between two view points: a DXF entity or a back-end line.
void strokePiece(PlotPort* p, double x0, double y0, double x1, double y1) {
  if (p->dxf) {
    double fw = p->frameRight - p->frameLeft, fh = p->frameTop - p->frameBottom;
    auto fx = [&](double x) { return fw != 0 ? (x - p->frameLeft) / fw : 0.0; };
    auto fy = [&](double y) { return fh != 0 ? (y - p->frameBottom) / fh : 0.0; };
    char buffer[256];
    std::snprintf(buffer, sizeof buffer, "  0\nLINE\n 8\n0\n 10\n%lf\n 20\n%lf\n 11\n%lf\n 21\n%lf\n", fx(x0), fy(y0),
                  fx(x1), fy(y1));
    *p->dxf << buffer;
    return;
  }
  if (p->backEnd) p->backEnd->lineTo(x1, y1);
}

// Strokes from the pen to (u, v), dashed when a pattern is set; the unfinished part of
// the current dash carries over into the next call.
void strokeTo(PlotPort* p, double u, double v) {
  double x0, y0, x1, y1;
  toView(p, p->penU, p->penV, x0, y0);
  toView(p, u, v, x1, y1);
  setPen(p, u, v);
  if (!p->dashPattern) {
    strokePiece(p, x0, y0, x1, y1);
    return;
  }
  double length = std::hypot(x1 - x0, y1 - y0);
  double done = 0;
  auto pointAt = [&](double s, double& x, double& y) {
    double t = length > 0 ? s / length : 1;
    x = x0 + (x1 - x0) * t;
    y = y0 + (y1 - y0) * t;
  };
  double px = x0, py = y0;
  while (length - done >= p->dashPattern[p->dashIndex] - p->dashUsed) {
    done += p->dashPattern[p->dashIndex] - p->dashUsed;
    double x, y;
    pointAt(done, x, y);
    if (p->dashPenDown)
      strokePiece(p, px, py, x, y);
    else if (p->backEnd && !p->dxf)
      p->backEnd->moveTo(x, y);
    px = x;
    py = y;
    p->dashPenDown = !p->dashPenDown;
    p->dashUsed = 0;
    if (p->dashPattern[++p->dashIndex] <= 0) p->dashIndex = 0;
  }
  if (p->dashPenDown)
    strokePiece(p, px, py, x1, y1);
  else if (p->backEnd && !p->dxf)
    p->backEnd->moveTo(x1, y1);
  p->dashUsed += length - done;
}

int outcode(const PlotPort* p, double u, double v) {
  int code = 0;
  if (u < p->windowXLeft) code |= 1;
  if (u > p->windowXRight) code |= 2;
  if (v < p->windowYBottom) code |= 4;
  if (v > p->windowYTop) code |= 8;
  return code;
}

// Moves (u, v) onto the first border its code violates, in the order left, right,
// bottom, top, along the segment towards (ou, ov).
void clipEnd(const PlotPort* p, int code, double& u, double& v, double ou, double ov) {
  auto atX = [&](double x) {
    v = v + (ov - v) * (x - u) / (ou - u);
    u = x;
  };
  auto atY = [&](double y) {
    u = u + (ou - u) * (y - v) / (ov - v);
    v = y;
  };
  if (code & 1)
    atX(p->windowXLeft);
  else if (code & 2)
    atX(p->windowXRight);
  else if (code & 4)
    atY(p->windowYBottom);
  else if (code & 8)
    atY(p->windowYTop);
}

// Position of a border point along the window's perimeter, counter-clockwise from the
// lower-left corner.
double perimeterPosition(const PlotPort* p, double u, double v) {
  double w = p->windowXRight - p->windowXLeft, h = p->windowYTop - p->windowYBottom;
  double du = u - p->windowXLeft, dv = v - p->windowYBottom;
  double dl = std::abs(du), dr = std::abs(u - p->windowXRight);
  double db = std::abs(dv), dt = std::abs(v - p->windowYTop);
  double least = std::min({dl, dr, db, dt});
  if (least == db) return du;
  if (least == dr) return w + dv;
  if (least == dt) return w + h + (w - du);
  return 2 * w + h + (h - dv);
}

// Walks the pen along the window border to (u, v), through the corners on the shorter way.
void walkBorder(PlotPort* p, double u, double v) {
  double w = p->windowXRight - p->windowXLeft, h = p->windowYTop - p->windowYBottom;
  double perimeter = 2 * (w + h);
  if (perimeter <= 0) return;
  double from = perimeterPosition(p, p->penU, p->penV), to = perimeterPosition(p, u, v);
  double forward = std::fmod(to - from + perimeter, perimeter);
  bool counterClockwise = forward <= perimeter / 2;
  const double corners[4][3] = {{0, p->windowXLeft, p->windowYBottom},
                                {w, p->windowXRight, p->windowYBottom},
                                {w + h, p->windowXRight, p->windowYTop},
                                {2 * w + h, p->windowXLeft, p->windowYTop}};
  double distance = counterClockwise ? forward : perimeter - forward;
  // Corners met on the way, in walking order.
  std::vector<std::pair<double, int>> met;
  for (int i = 0; i < 4; ++i) {
    double d = counterClockwise ? std::fmod(corners[i][0] - from + perimeter, perimeter)
                                : std::fmod(from - corners[i][0] + perimeter, perimeter);
    if (d > 0 && d < distance) met.push_back({d, i});
  }
  std::sort(met.begin(), met.end());
  for (auto& [d, i] : met) strokeTo(p, corners[i][1], corners[i][2]);
  strokeTo(p, u, v);
}

void addWinding(PlotPort* p, double u0, double v0, double u1, double v1) {
  double cx = (p->windowXLeft + p->windowXRight) / 2, cy = (p->windowYBottom + p->windowYTop) / 2;
  double ax = u0 - cx, ay = v0 - cy, bx = u1 - cx, by = v1 - cy;
  p->windingSum += std::atan2(ax * by - ay * bx, ax * bx + ay * by);
}

void traceWindowBorder(PlotPort* p) {
  bool clip = plotPortSetClipping(p, false);
  int mode = p->polygonMode;
  p->polygonMode = 0;
  plotPortMoveTo(p, p->windowXLeft, p->windowYBottom);
  plotPortDrawTo(p, p->windowXRight, p->windowYBottom);
  plotPortDrawTo(p, p->windowXRight, p->windowYTop);
  plotPortDrawTo(p, p->windowXLeft, p->windowYTop);
  plotPortDrawTo(p, p->windowXLeft, p->windowYBottom);
  p->polygonMode = mode;
  plotPortSetClipping(p, clip);
}

}  // namespace

PlotPort* plotPortCreate() { return new PlotPort(); }

void plotPortRetain(PlotPort* port) {
  if (port) ++port->referenceCount;
}

void plotPortRelease(PlotPort* port) {
  if (port && --port->referenceCount == 0) delete port;
}

void plotPortSetBackEnd(PlotPort* port, PlotBackEnd* backEnd) {
  if (port) port->backEnd = backEnd;
}

void plotPortSetDXFStream(PlotPort* port, std::ostream* stream) {
  if (port) port->dxf = stream;
}

void plotPortSetFrame(PlotPort* port, double left, double right, double top, double bottom) {
  if (!port) return;
  port->frameLeft = left;
  port->frameRight = right;
  port->frameTop = top;
  port->frameBottom = bottom;
  port->viewportXMin = port->viewportYMin = 0;
  port->viewportXMax = port->viewportYMax = 1;
  port->windowXLeft = port->windowYBottom = 0;
  port->windowXRight = port->windowYTop = 1;
  updateDeviceRectangle(port);
  movePen(port, 0.5, 0.5);
}

void plotPortSetViewport(PlotPort* port, double xMin, double xMax, double yMin, double yMax) {
  if (!port) return;
  port->viewportXMin = xMin;
  port->viewportXMax = xMax;
  port->viewportYMin = yMin;
  port->viewportYMax = yMax;
  updateDeviceRectangle(port);
  port->windowXLeft = xMin;
  port->windowXRight = xMax;
  port->windowYBottom = yMin;
  port->windowYTop = yMax;
  setPen(port, (xMin + xMax) / 2, (yMin + yMax) / 2);
}

void plotPortSetWindow(PlotPort* port, double xLeft, double xRight, double yBottom, double yTop) {
  if (!port) return;
  port->windowXLeft = xLeft;
  port->windowXRight = xRight;
  port->windowYBottom = yBottom;
  port->windowYTop = yTop;
  setPen(port, (xLeft + xRight) / 2, (yBottom + yTop) / 2);
}

bool plotPortSetClipping(PlotPort* port, bool clipping) {
  if (!port) return false;
  bool old = port->clipping;
  port->clipping = clipping;
  return old;
}

void plotPortSetDash(PlotPort* port, int pattern) {
  if (!port) return;
  switch (pattern) {
    case 1: port->dashPattern = kDash1; break;
    case 2: port->dashPattern = kDash2; break;
    case 3: port->dashPattern = kDash3; break;
    default: port->dashPattern = nullptr; break;
  }
  port->dashIndex = 0;
  port->dashUsed = 0;
  port->dashPenDown = true;
}

void plotPortMoveTo(PlotPort* port, double u, double v) {
  if (!port) return;
  plotPortApplyTransform(port, u, v);
  recordExtents(port, u, v);
  port->currentU = u;
  port->currentV = v;
  if (port->clipping && outcode(port, u, v) != 0) return;
  movePen(port, u, v);
  if (port->polygonMode == 1) {
    port->polygonMode = 2;
    port->polygonStartU = u;
    port->polygonStartV = v;
  }
}

void plotPortDrawTo(PlotPort* port, double u, double v) {
  if (!port) return;
  plotPortApplyTransform(port, u, v);
  recordExtents(port, u, v);
  double u0 = port->currentU, v0 = port->currentV, u1 = u, v1 = v;
  port->currentU = u;
  port->currentV = v;
  if (port->polygonMode) addWinding(port, u0, v0, u1, v1);
  if (port->clipping) {
    int c0 = outcode(port, u0, v0), c1 = outcode(port, u1, v1);
    while ((c0 | c1) != 0) {
      if (c0 & c1) return;  // wholly outside one border
      if (c0) {
        clipEnd(port, c0, u0, v0, u1, v1);
        c0 = outcode(port, u0, v0);
      } else {
        clipEnd(port, c1, u1, v1, u0, v0);
        c1 = outcode(port, u1, v1);
      }
    }
  }
  if (port->polygonMode == 1) {
    port->polygonMode = 2;
    port->polygonStartU = u0;
    port->polygonStartV = v0;
    movePen(port, u0, v0);
  } else if (port->polygonMode == 2 && port->polygonOutside) {
    walkBorder(port, u0, v0);
    port->polygonOutside = false;
  } else if (u0 != port->penU || v0 != port->penV) {
    movePen(port, u0, v0);
  }
  strokeTo(port, u1, v1);
  if (port->polygonMode == 2 && (u1 != u || v1 != v)) {
    port->polygonOutside = true;
    port->polygonExitU = u1;
    port->polygonExitV = v1;
  }
}

void plotPortFrameBox(PlotPort* port) {
  if (!port) return;
  if (port->dxf) {
    traceWindowBorder(port);
    return;
  }
  double x0 = port->deviceX, y0 = port->deviceY;
  double x1 = x0 + port->deviceWidth, y1 = y0 + port->deviceHeight;
  if (x1 >= port->frameRight) x1 = port->frameRight - 1;
  if (y1 >= port->frameTop) y1 = port->frameTop - 1;
  if (!port->backEnd) return;
  port->backEnd->moveTo(x0, y0);
  port->backEnd->lineTo(x1, y0);
  port->backEnd->lineTo(x1, y1);
  port->backEnd->lineTo(x0, y1);
  port->backEnd->lineTo(x0, y0);
}

void plotPortBeginPolygon(PlotPort* port) {
  if (!port) return;
  port->polygonMode = 1;
  port->windingSum = 0;
  port->polygonOutside = false;
}

void plotPortEndPolygon(PlotPort* port) {
  if (!port) return;
  if (port->polygonMode == 1) {
    if (std::abs(std::round(port->windingSum / std::numbers::pi)) >= 1) traceWindowBorder(port);
  } else if (port->polygonMode == 2) {
    port->polygonMode = 3;
    if (port->polygonOutside)
      walkBorder(port, port->polygonStartU, port->polygonStartV);
    else
      strokeTo(port, port->polygonStartU, port->polygonStartV);
  }
  port->polygonMode = 0;
  port->polygonOutside = false;
}

void plotPortPushTransform(PlotPort* port) {
  if (!port) return;
  port->transforms.push_back(port->transforms.empty() ? kIdentity : port->transforms.back());
}

void plotPortPopTransform(PlotPort* port) {
  if (port && !port->transforms.empty()) port->transforms.pop_back();
}

void plotPortResetTransform(PlotPort* port) {
  if (port && !port->transforms.empty()) port->transforms.back() = kIdentity;
}

void plotPortConcat(PlotPort* port, const PlotMatrix& matrix) {
  if (!port) return;
  if (port->transforms.empty()) port->transforms.push_back(kIdentity);
  port->transforms.back() = multiply(port->transforms.back(), matrix);
}

void plotPortTranslate(PlotPort* port, double tx, double ty) {
  plotPortConcat(port, {{{1, 0, tx}, {0, 1, ty}, {0, 0, 1}}});
}

void plotPortScale(PlotPort* port, double sx, double sy) {
  plotPortConcat(port, {{{sx, 0, 0}, {0, sy, 0}, {0, 0, 1}}});
}

void plotPortRotate(PlotPort* port, double degrees) {
  double r = degrees * std::numbers::pi / 180, c = std::cos(r), s = std::sin(r);
  plotPortConcat(port, {{{c, -s, 0}, {s, c, 0}, {0, 0, 1}}});
}

void plotPortApplyTransform(const PlotPort* port, double& u, double& v) {
  if (!port || port->transforms.empty()) return;
  const PlotMatrix& m = port->transforms.back();
  double x = m[0][0] * u + m[0][1] * v + m[0][2];
  double y = m[1][0] * u + m[1][1] * v + m[1][2];
  u = x;
  v = y;
}

void plotPortInvertTransform(const PlotPort* port, double& u, double& v) {
  if (!port || port->transforms.empty()) return;
  const PlotMatrix& m = port->transforms.back();
  double det = m[0][0] * m[1][1] - m[0][1] * m[1][0];
  if (det == 0) return;
  double x = u - m[0][2], y = v - m[1][2];
  u = (m[1][1] * x - m[0][1] * y) / det;
  v = (-m[1][0] * x + m[0][0] * y) / det;
}

bool plotPortUserToView(const PlotPort* port, double u, double v, double& x, double& y) {
  if (!port) {
    x = y = 0;
    return false;
  }
  plotPortApplyTransform(port, u, v);
  double fx, fy;
  windowFractions(port, u, v, fx, fy);
  x = port->deviceX + port->deviceWidth * fx;
  y = port->deviceY + port->deviceHeight * fy;
  return fx >= -0.001 && fx <= 1.001 && fy >= -0.001 && fy <= 1.001;
}

bool plotPortViewToUser(const PlotPort* port, double x, double y, double& u, double& v) {
  if (!port) {
    u = v = 0;
    return false;
  }
  double fx = port->deviceWidth != 0 ? (x - port->deviceX) / port->deviceWidth : 0;
  double fy = port->deviceHeight != 0 ? (y - port->deviceY) / port->deviceHeight : 0;
  bool inside = fx > 0 && fx < 1 && fy > 0 && fy < 1;
  fx = std::clamp(fx, 0.0, 1.0);
  fy = std::clamp(fy, 0.0, 1.0);
  u = port->windowXLeft + fx * (port->windowXRight - port->windowXLeft);
  v = port->windowYBottom + fy * (port->windowYTop - port->windowYBottom);
  plotPortInvertTransform(port, u, v);
  return inside;
}

void plotPortUserToViewport(const PlotPort* port, double u, double v, double& fx, double& fy) {
  if (!port) {
    fx = fy = 0;
    return;
  }
  double x, y;
  plotPortUserToView(port, u, v, x, y);
  double fw = plotPortFrameWidth(port), fh = plotPortFrameHeight(port);
  fx = fw != 0 ? (x - port->frameLeft) / fw : 0;
  fy = fh != 0 ? (y - port->frameBottom) / fh : 0;
}

void plotPortScaleSquared(const PlotPort* port, double& sx2, double& sy2) {
  if (!port) {
    sx2 = sy2 = 1.0;
    return;
  }
  double sx = port->deviceWidth / (port->windowXRight - port->windowXLeft);
  double sy = port->deviceHeight / (port->windowYTop - port->windowYBottom);
  sx2 = sx * sx;
  sy2 = sy * sy;
}

double plotPortAspect(const PlotPort* port) {
  if (!port || port->deviceWidth == 0) return 0.0;
  return port->deviceHeight / port->deviceWidth;
}

double plotPortFrameWidth(const PlotPort* port) { return port ? port->frameRight - port->frameLeft : 0.0; }
double plotPortFrameHeight(const PlotPort* port) { return port ? port->frameTop - port->frameBottom : 0.0; }

void plotPortGetWindow(const PlotPort* port, double& xLeft, double& xRight, double& yBottom, double& yTop) {
  if (!port) {
    xLeft = xRight = yBottom = yTop = 0;
    return;
  }
  xLeft = port->windowXLeft;
  xRight = port->windowXRight;
  yBottom = port->windowYBottom;
  yTop = port->windowYTop;
}

void plotPortGetExtents(const PlotPort* port, double& xMin, double& xMax, double& yMin, double& yMax) {
  if (!port) {
    xMin = xMax = yMin = yMax = 0;
    return;
  }
  xMin = port->extentsXMin;
  xMax = port->extentsXMax;
  yMin = port->extentsYMin;
  yMax = port->extentsYMax;
}

}  // namespace orb::rendering
