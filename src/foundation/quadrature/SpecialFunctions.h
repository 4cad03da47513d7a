#pragma once

namespace orb::foundation {

// Legendre functions of the first and second kind, integer order.
/// P_n(x); 1 for n < 1.
double legendreP(int n, double x);
/// Q_n(x), with Q₀ = ½ ln((x + 1)/(1 − x)) on [−1, 1] and ½ ln((x + 1)/(x − 1)) outside.
double legendreQ(int n, double x);
/// P₀(x) … P_{n−1}(x) into out[0 … n−1].
void legendrePArray(int n, double* out, double x);
/// W_{n−1} = Σ_{k=1…n} P_{k−1}·P_{n−k}/k from p[0 … n−1]; 0 for n < 1.
double legendreW(int n, const double* p);
/// Q_n(x)/P_n(x) by Christoffel's formula Q₀ − W_{n−1}/P_n.
double legendreQOverP(int n, double x);

// Complete elliptic integrals of the parameter m = k², by the arithmetic–geometric mean.
/// K(m) and E(m); both 0 outside 0 ≤ m < 1.
void ellipticKE(double* K, double* E, double m);
/// K and E of the parameter 1 − m1: +∞ and 1 for m1 ≤ 0, π/2 and π/2 for m1 > 1.
void ellipticKEComplementary(double* K, double* E, double m1);
/// Heuman's Lambda Λ₀(φ, k) of the modulus k: Λ₀(π/2, k) = 1, Λ₀(φ, 0) = sin φ,
/// Λ₀(φ, 1) = 2φ/π, Λ₀(φ + π, k) = Λ₀(φ, k) + 2.
double heumanLambda(double phi, double k);

// Bessel functions of integer order; J0, J1, Y0 and Y1 to about 1e-8 absolute.
double besselJ0(double x);
double besselJ1(double x);
/// J_n(x) for any integer n and real x (J_{−n} = (−1)ⁿJ_n, J_n(−x) = (−1)ⁿJ_n(x)).
double besselJn(int n, double x);
/// Y0, Y1, Y_n for x > 0.
double besselY0(double x);
double besselY1(double x);
double besselYn(int n, double x);

// Spherical Bessel functions.
double sphericalBesselJ0(double x);
double sphericalBesselJ1(double x);
double sphericalBesselJn(int n, double x);
double sphericalBesselY0(double x);
double sphericalBesselY1(double x);
double sphericalBesselYn(int n, double x);
/// k_n(x) = (π/2)·e^{−x}/x·(…), the modified spherical Bessel function of the second
/// kind; 0 for x ≤ 0.
double sphericalBesselKn(int n, double x);
/// e^x·k_n(x); 0 for x ≤ 0.
double sphericalBesselKnScaled(int n, double x);

}  // namespace orb::foundation
