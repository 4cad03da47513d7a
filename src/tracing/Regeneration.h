#pragma once

namespace orb::lens {
class Lens;
}

namespace orb::tracing {

/// Installs generateSystemFromParaxialSpecification as every lens's system generator.
/// Call once at start-up (the application, tests) before lenses change.
void registerSystemGenerator();

/// Turns a prescription into a traceable system: resolves pickups and solves, places
/// every surface in the global frame, carries one paraxial frame ray through the system,
/// and measures the paraxial data, cardinal points, stop matrix, exit pupil, ray aiming,
/// semidiameters and Seidel sums again; then the glass checks.
///
/// Soft failures ("There is no stop", "Surface 0 can not have nonuniform index of
/// refraction") set the lens's system-generation warning and return. Hard ones ("Surface
/// 0 can not be a coordinate break", "Incomplete glass pickup") and any exception on the
/// way set it too (when unset) and raise "Generation exception" or re-raise.
void generateSystemFromParaxialSpecification(lens::Lens& lens);

/// The marginal ray's scale from the current paraxial data: tan(asin(NA)) for a finite
/// object, half the entrance pupil diameter at infinity; none when the datum is missing.
bool determineMarginalRayScaleFactor(const lens::Lens& lens, double* factor);

}  // namespace orb::tracing
