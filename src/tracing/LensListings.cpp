#include "tracing/LensListings.h"

#include "lens/Lens.h"
#include "lens/LensDelegate.h"
#include "lens/Surface.h"
#include "platform/Exception.h"
#include "tracing/ClassicNumbers.h"
#include "tracing/LensSummary.h"
#include "tracing/ParaxialMeasurement.h"
#include "tracing/RayGeneration.h"

namespace orb::tracing {

namespace {

using platform::format;

std::string displayName(const lens::Lens& lens) {
  const auto delegate = lens.delegate();
  return delegate ? delegate->displayName() : std::string();
}

}  // namespace

std::string transformationMatrixListing(const lens::Lens& lens) {
  const ClassicNumbers classic;
  std::string out = format("File: %s\n\n", displayName(lens).c_str());
  out += "Global coordinate and rotation listing\n\n";
  out += format("%9s %9s %9s %12s\n", "Rxx", "Rxy", "Rxz", "x");
  out += format("%9s %9s %9s %12s\n", "Ryx", "Ryy", "Ryz", "y");
  out += format("%9s %9s %9s %12s\n", "Rzx", "Rzy", "Rzz", "z");
  for (const auto& s : lens.surfaceArray()) s->appendTransformationDescriptionToString(out);
  return out;
}

std::string prescriptionListing(lens::Lens& lens) {
  if (!lens.isReady()) return "Lens is not yet ready";
  const ClassicNumbers classic;
  std::string out = format("File: %s\n", displayName(lens).c_str());
  out += format("Name: %s\n\n", lens.systemName().value_or("").c_str());
  out += "General\n\n";
  out += format("          object space index: %g\n", objectSpaceIndexOfRefraction(lens));
  out += format("           image space index: %g\n", imageSpaceIndexOfRefraction(lens));
  out += "\n";
  out += format("     entrance pupil diameter: %g mm\n", entrancePupilDiameter(lens));
  out += format("           object cone angle: %g degrees\n", objectConeAngleInDegrees(lens));
  out += format("            object space f/#: %g\n", objectSpaceFocalRatio(lens));
  out += format("           object space N.A.: %g\n", objectSpaceNumericalAperture(lens));
  out += format("  inf. conj. image space f/#: %g\n", infiniteConjugateImageSpaceFocalRatio(lens));
  out += format(" inf. conj. image space N.A.: %g\n", infiniteConjugateImageSpaceNumericalAperture(lens));
  out += format("             image space f/#: %g\n", imageSpaceFocalRatio(lens));
  out += format("            image space N.A.: %g\n", imageSpaceNumericalAperture(lens));
  out += "\n";
  out += format("    entrance pupil location: %g mm (relative to system surface)\n", entrancePupilLocation(lens));
  out += format("               focal length: %g mm\n", focalLength(lens));
  out += format("              magnification: %g\n", magnification(lens));
  out += format("               minification: %g\n", minification(lens));
  out += format("        exit pupil location: %g mm (relative to image surface)\n", exitPupilLocation(lens));
  out += format("        exit pupil diameter: %g mm\n", exitPupilDiameter(lens));
  out += format("         half angle of view: %g degrees\n", halfAngleOfViewInDegrees(lens));
  out += format("                total track: %g mm\n", lens.track());

  out += "\nCardinal points\n\n";
  out += format("         first focal length: %g mm\n", firstFocalLength(lens));
  out += format("          first nodal point: %g mm\n", firstNodalPoint(lens));
  out += format("      first principal focus: %g mm\n", firstPrincipalFocus(lens));
  out += format("      first principal point: %g mm\n", firstPrincipalPoint(lens));
  out += format("        second focal length: %g mm\n", secondFocalLength(lens));
  out += format("         second nodal point: %g mm\n", secondNodalPoint(lens));
  out += format("     second principal focus: %g mm (back focal length)\n", secondPrincipalFocus(lens));
  out += format("     second principal point: %g mm\n", secondPrincipalPoint(lens));

  out += "\nSurfaces\n\n";
  out += format("%6s %-4s %-11s %-8s %10s %10s %-9s %9s\n", "number", "code", "comment", "type", "radius", "thickness",
                "glass", "semidiameter");
  const auto& surfaces = lens.surfaceArray();
  for (const auto& s : surfaces) s->appendSurfaceDataToString(out);
  out += "\nAdditional data (if any)\n\n";
  for (const auto& s : surfaces) s->appendAdditionalSurfaceDataToString(out);
  out += "\nApertures (if any)\n\n";
  for (const auto& s : surfaces) s->appendApertureDataToString(out);
  return out;
}

}  // namespace orb::tracing
