#pragma once

#include <string>

namespace orb::lens {
class Lens;
}

namespace orb::tracing {

/// The global position and rotation of every surface: the delegate's display name, a
/// header, then each surface's block. Numbers are written in the C locale.
std::string transformationMatrixListing(const lens::Lens& lens);

/// The prescription with its first-order data, cardinal points, surfaces, additional
/// surface data and apertures; "Lens is not yet ready" while the lens is not ready.
/// Traces the chief ray for the half angle of view. Numbers are written in the C locale.
std::string prescriptionListing(lens::Lens& lens);

}  // namespace orb::tracing
