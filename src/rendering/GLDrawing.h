#pragma once

// Fixed-function drawing helpers: the unit sphere, row-major matrices and the twelve edges
// of a box, plus the geometry layer's polygons and profile sweeps (the routines the
// surfaces draw themselves with). Everything is issued into a GLSink (immediateGL() in
// the views), normally while a display list is compiled. Main thread only.

#include "foundation/objects/XYZ.h"
#include "geometry/values/SweepDrawing.h"

namespace orb::foundation {
class OBTransform;
}
namespace orb::geometry {
class DrawingSink;
class Extents;
}  // namespace orb::geometry

namespace orb::rendering {

class GLSink;

// The polygon and sweep helpers are the geometry layer's, shared with the surfaces.
using geometry::MeridionalPoint;
using geometry::openGLClosedSurfaceOfRevolution;
using geometry::openGLMeridionalPolygon;
using geometry::openGLPolygon;
using geometry::openGLQuad;
using geometry::openGLReversesNormals;
using geometry::openGLRevolvedBand;
using geometry::openGLSurfaceOfRevolution;
using geometry::openGLTriangle;
using geometry::polygonHasDiagonal;
using geometry::setOpenGLReversesNormals;

/// The unit sphere about the origin, y the polar axis, with normals: n/2 latitude bands as
/// quad strips over n + 1 longitudes. Fewer than 4 segments give one point.
void openGLSphere(GLSink& gl, int segments);

/// The column-major copy of a row-major 4 × 4 matrix: element (r, c) goes to r + 4c.
void columnMajorFromRowMajor(const double* rowMajor, double* columnMajor);
/// Multiplies the current matrix by a row-major matrix.
void openGLMultMatrixRowMajor(GLSink& gl, const double* rowMajor);
/// Multiplies the current matrix by the frame's local-to-global matrix, so that what
/// follows is drawn in the frame's local coordinates.
void transformOpenGL(GLSink& gl, const foundation::OBTransform& transform);

/// The box's twelve edges: the loop at zMin, the loop at zMax and the four joining lines.
/// No colour, name or normal.
void drawUsingOpenGL(geometry::DrawingSink& gl, const geometry::Extents& extents);

}  // namespace orb::rendering
