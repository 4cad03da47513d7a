#pragma once

#include <functional>

#include "foundation/objects/XY.h"

namespace orb::geometry {

// Integrals over plane regions swept by rays from one point Q: along each ray the radial
// integral of f (no factor r), then over the direction in the variable
// u = h·atanh(sin(θ − θ₀)), which spreads the rays evenly along a line at distance h from Q
// whose perpendicular from Q has the direction θ₀. With R(θ) the radial integral the
// results are
//   sinIntegral = ∫ R(θ)·sin θ du  and  cosIntegral = ∫ R(θ)·cos θ du,
// du = h/cos(θ − θ₀) dθ, by Gauss–Legendre with n nodes in u and m along each ray.
// The routines hold no state between calls.

using PlaneIntegrand = std::function<double(double x, double y)>;
using RadialLimit = std::function<double(double theta)>;

/// The bow tie P-A-B-D: Q is where the line P-D meets the line A-B; the rays run from the
/// direction of P seen from D to the direction of A seen from B (raised by 2π when below
/// it), each from the line D-B to the line P-A (negative radii lie behind Q, so a Q between
/// the two lines takes in both triangles of the tie). h and θ₀ belong to whichever of the
/// two lines is nearer Q. Status 0, or −1 (results 0) when the lines through Q are parallel,
/// Q lies on P-A or D-B, or a ray of the sweep runs parallel to the nearer line.
int bowTieIntegral(const PlaneIntegrand& f, int n, int m, double* sinIntegral, double* cosIntegral,
                   const foundation::XY& P, const foundation::XY& A, const foundation::XY& B, const foundation::XY& D);

/// The same sweep from Q over [θ₁, θ₂] with the radial limits given as functions of θ, and
/// h, θ₀ given directly. Status 0, or −1 (results 0) when h is not positive or the sweep
/// leaves (θ₀ − π/2, θ₀ + π/2).
int bowTieIntegralAlongBoundary(const PlaneIntegrand& f, int n, int m, double* sinIntegral, double* cosIntegral,
                                const foundation::XY& Q, double theta1, double theta2, double h, double theta0,
                                const RadialLimit& lower, const RadialLimit& upper);

/// bowTieIntegral of f = 1 with 10 nodes each way, printing every step to standard output
/// ("BowTieIntegral", the perpendicular directions and distances of the two lines, the
/// sweep in θ and in u, each node's angle, radial limits and radial integral, and the two
/// results).
int bowTieIntegralTrace(double* sinIntegral, double* cosIntegral, const foundation::XY& P, const foundation::XY& A,
                        const foundation::XY& B, const foundation::XY& D);

}  // namespace orb::geometry
