#pragma once

#include <string>

namespace orb::lens {
class Lens;
}

namespace orb::tracing {

/// Third-order (Seidel) sums and first-order colour (Conrady) terms, in lens units. The
/// lens's sums are those of its surfaces, so they are read back from the surfaces.
struct SeidelSums {
  double S1 = 0, S2 = 0, S3 = 0, S4 = 0, S5 = 0, C1 = 0, C2 = 0;
  double lagrangeInvariant = 0;  ///< H = u·h̄ − h·ū in object space
  double finalIndex = 1;         ///< the frame ray's index after the last surface
  double petzvalSum() const { return S4 / (lagrangeInvariant * lagrangeInvariant); }
};

/// Traces the paraxial marginal and chief rays (from the lens's marginal and chief rays)
/// through the placed system and stores each surface's trace record, Petzval term, Seidel
/// and Conrady contributions. Holds the lens's lock. A failure sets the trace warning
/// "Seidel analysis failure (name : reason)" (when unset) and re-raises.
void seidelDataMeasurement(lens::Lens& lens);
/// The sums of the last measurement.
SeidelSums seidelSums(const lens::Lens& lens);
/// The paraxial trace and Seidel listing of the last measurement.
std::string seidelListing(const lens::Lens& lens);

}  // namespace orb::tracing
