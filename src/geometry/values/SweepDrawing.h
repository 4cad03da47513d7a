#pragma once

// Solids drawn from meridional profiles, shared by the surfaces' own drawing and the
// rendering layer: flat polygons with their normals, profiles swept about the z axis (open
// ones as surfaces, closed ones as solids with flat caps) and the twelve edges of a box.
// Everything is issued into a DrawingSink, normally while a display list is compiled.
// Profiles are points (r, ·, z): component 0 is the distance from the axis, component 2
// the height; component 1 is never read. Main thread only.

#include "foundation/objects/XYZ.h"

namespace orb::geometry {

class DrawingSink;
class Extents;

/// The process-wide normal-reversal flag: the base view copies its "reverses normal"
/// setting here before it draws. Every normal issued below is negated when exactly one of
/// this flag and the call's facing flag is set.
void setOpenGLReversesNormals(bool reverses);
bool openGLReversesNormals();

/// One filled polygon. Its normal (p1 − p0) × (p2 − p0), unnormalised, is issued once for
/// n ≥ 3; facing = true issues the points in reverse order.
void openGLPolygon(DrawingSink& gl, int n, const foundation::XYZ* points, bool facing);
void openGLQuad(DrawingSink& gl, const foundation::XYZ (&points)[4], bool facing);
void openGLTriangle(DrawingSink& gl, const foundation::XYZ (&points)[3], bool facing);

/// A 2-D point of a meridional polygon: (r, z).
struct MeridionalPoint {
  double r, z;
};

/// Whether the segment from vertex i to vertex j lies inside the counter-clockwise polygon
/// of n points: within the cone at i, and touching no edge that does not end at i or j.
bool polygonHasDiagonal(int i, int j, int n, const MeridionalPoint* points);

/// The filled profile (n ≥ 3 points) in the meridional plane at azimuth φ, triangulated by
/// ear clipping. A start cap drawn with its band's facing (an end cap with the opposite
/// one) faces the same side of the solid as the band, whichever way the profile runs.
/// `cosPhi` and `sinPhi` need not be a unit pair: the solids' partial sweeps pass a point
/// on a polygon's chord. A profile for which no ear is found (self-intersecting) is drawn
/// only as far as the clipping got.
void openGLMeridionalPolygon(DrawingSink& gl, int n, const foundation::XYZ* profile, bool facing, double cosPhi,
                             double sinPhi);

/// An open profile swept about z from φmin to φmax (degrees; equal limits sweep a full
/// turn) in steps of at most 360/s: quads, or triangles where a point lies on the axis. A
/// profile whose first and last points agree in r and z is closed and goes to
/// openGLClosedSurfaceOfRevolution. Fewer than two points or three segments draw nothing.
void openGLSurfaceOfRevolution(DrawingSink& gl, int n, const foundation::XYZ* profile, int segmentsPerRevolution,
                               bool facing, double phiMin, double phiMax);

/// A closed profile (closing point not repeated) swept about z: the prism over the
/// regular s-gon, cut between φmin and φmax by flat caps when the sweep is partial.
void openGLClosedSurfaceOfRevolution(DrawingSink& gl, int n, const foundation::XYZ* profile,
                                     int segmentsPerRevolution, bool facing, double phiMin, double phiMax);

/// The band of a closed profile between the azimuth directions (c1, s1) and (c2, s2), with
/// an optional cap at each end (the end cap faces the other way).
void openGLRevolvedBand(DrawingSink& gl, int n, const foundation::XYZ* profile, bool startCap, bool endCap,
                        bool facing, double c1, double s1, double c2, double s2);

/// The box's twelve edges: the loop at zMin, the loop at zMax and the four joining lines.
/// No colour, name or normal.
void drawExtents(DrawingSink& gl, const Extents& extents);

}  // namespace orb::geometry
