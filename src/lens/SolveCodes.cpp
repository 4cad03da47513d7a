#include "lens/SolveCodes.h"

#include <cmath>

#include "platform/Exception.h"

namespace orb::lens::solve {

using platform::format;

namespace {

std::vector<int> iota(int count) {
  std::vector<int> keys;
  for (int k = 0; k < count; ++k) keys.push_back(k);
  return keys;
}

template <std::size_t N>
std::string letterOf(const char* const (&letters)[N], int code) {
  if (code < 0 || static_cast<std::size_t>(code) >= N) return "?";
  return letters[code];
}

}  // namespace

// --- thickness ------------------------------------------------------------------------

std::string thicknessSolveLetter(int code) {
  static const char* const letters[] = {"", "V", "M", "C", "E", "P", "O", "T", "S", "X"};
  return letterOf(letters, code);
}

const std::vector<std::string>& thicknessSolveDescriptors() {
  static const std::vector<std::string> descriptors{"  fixed at user-specified value",
                                                    "V variable for optimization",
                                                    "M marginal ray height...",
                                                    "C chief ray height...",
                                                    "E edge thickness...",
                                                    "P pick up...",
                                                    "O optical path difference...",
                                                    "T total length...",
                                                    "S thickness compensator...",
                                                    "X center of curvature..."};
  return descriptors;
}

const std::vector<int>& thicknessSolveKeys() {
  static const std::vector<int> keys = iota(10);
  return keys;
}

bool thicknessSolveSurfaceRequired(int code) {
  return code == kThicknessPickup || code == kThicknessTotalLength || code == kThicknessCompensator ||
         code == kThicknessCenterOfCurvature;
}

bool thicknessSolveIsNontrivial(int code) { return code >= 2 && code <= 9; }

std::string thicknessDescription(int code, double target, double zone, double scale, double offset,
                                 const std::string& reference) {
  switch (code) {
    case kThicknessFixed:
      return "user-specified";
    case kThicknessVariable:
      return "variable";
    case kThicknessMarginalHeight:
      return format("paraxial marginal ray height %g", target);
    case kThicknessChiefHeight:
      return format("paraxial chief ray height %g", target);
    case kThicknessEdge:
      return format("edge thickness %g", target);
    case kThicknessPickup:
      if (offset == 0) return format("pick up from surface %s with scale %g", reference.c_str(), scale);
      return format("pick up from surface %s with scale %g, offset %g", reference.c_str(), scale, offset);
    case kThicknessOpd:
      return format("OPD %g to be %g", target, zone);
    case kThicknessTotalLength:
      return format("total thickness %g from surface %s", target, reference.c_str());
    default:
      return "unknown code";
  }
}

// --- curvature ------------------------------------------------------------------------

std::string curvatureSolveLetter(int code) {
  static const char* const letters[] = {" ", "V", "M", "C", "P", "N", "n", "A", "X", "S", "R", "F"};
  return letterOf(letters, code);
}

const std::vector<std::string>& curvatureSolveDescriptors() {
  static const std::vector<std::string> descriptors{"  fixed at user-specified value",
                                                    "V variable for optimization",
                                                    "M marginal ray angle...",
                                                    "C chief ray angle...",
                                                    "P pick up...",
                                                    "N marginal ray normal",
                                                    "n chief ray normal",
                                                    "A aplanatic",
                                                    "X element power...",
                                                    "S concentric with surface...",
                                                    "R concentric with radius...",
                                                    "F focal ratio..."};
  return descriptors;
}

const std::vector<int>& curvatureSolveKeys() {
  static const std::vector<int> keys = iota(12);
  return keys;
}

bool curvatureSolveSurfaceRequired(int code) {
  return code == kCurvaturePickup || code == kCurvatureConcentricSurface || code == kCurvatureConcentricRadius;
}

bool curvatureSolveIsNontrivial(int code) {
  switch (code) {
    case kCurvatureMarginalAngle:
    case kCurvatureChiefAngle:
    case kCurvaturePickup:
    case kCurvatureConcentricSurface:
    case kCurvatureConcentricRadius:
    case kCurvatureFocalRatio:
      return true;
    default:
      return false;
  }
}

std::string curvatureDescription(int code, double target, double scale, const std::string& reference) {
  switch (code) {
    case kCurvatureFixed:
      return "user-specified";
    case kCurvatureVariable:
      return "variable";
    case kCurvatureMarginalAngle:
      return format("marginal ray angle %g", target);
    case kCurvatureChiefAngle:
      return format("chief ray angle %g", target);
    case kCurvaturePickup:
      return format("pickup from surface %s, scale %g", reference.c_str(), scale);
    case kCurvatureMarginalNormal:
      return "marginal ray normal to surface";
    case kCurvatureChiefNormal:
      return "chief ray normal to surface";
    case kCurvatureAplanatic:
      return "aplanatic";
    case kCurvatureElementPower:
      return format("element power %g", target);
    case kCurvatureConcentricSurface:
      return format("concentric with surface %s", reference.c_str());
    case kCurvatureConcentricRadius:
      return format("concentric with radius %s", reference.c_str());
    case kCurvatureFocalRatio:
      return format("focal ratio (F/#) %g", target);
    default:
      return "unknown curvature solve";
  }
}

// --- semidiameter ---------------------------------------------------------------------

std::optional<std::string> semidiameterSolveLetter(int code) {
  switch (code) {
    case kSemidiameterAutomatic:
      return std::nullopt;
    case kSemidiameterFixed:
      return "U";
    case kSemidiameterPickup:
      return "P";
    case kSemidiameterMaximum:
      return "M";
    case kSemidiameterVariable:
      return "V";
    default:
      return "?";
  }
}

const std::vector<std::string>& semidiameterSolveDescriptors() {
  static const std::vector<std::string> descriptors{"  automatic", "P pick up...", "M maximum", "U fixed...",
                                                    "V variable..."};
  return descriptors;
}

const std::vector<int>& semidiameterSolveKeys() {
  static const std::vector<int> keys{kSemidiameterAutomatic, kSemidiameterPickup, kSemidiameterMaximum,
                                     kSemidiameterFixed, kSemidiameterVariable};
  return keys;
}

std::string semidiameterDescription(int code, double maximumSingleValued, const std::string& reference) {
  switch (code) {
    case kSemidiameterAutomatic:
      return "automatic";
    case kSemidiameterFixed:
      if (std::isinf(maximumSingleValued)) return "user-specified (maximum would be infinity)";
      return format("user-specified (maximum would be %.3f)", maximumSingleValued);
    case kSemidiameterPickup:
      return format("same as surface %s", reference.c_str());
    case kSemidiameterMaximum:
      return "maximum value";
    case kSemidiameterVariable:
      return "variable";
    default:
      return "unknown solve";
  }
}

// --- conic constant -------------------------------------------------------------------

std::string conicLetter(int code) {
  static const char* const letters[] = {"", "V", "P"};
  return letterOf(letters, code);
}

std::string fixedConicDescription(double k) {
  if (k > 0) return "oblate ellipsoid";
  if (k == 0) return "sphere";
  if (k > -1) return "prolate ellipsoid";
  if (k == -1) return "parabola";
  return "hyperboloid";  // k < −1, and NaN, which fails every test above
}

std::string conicDescription(int code, double k, const std::string& reference) {
  switch (code) {
    case kConicFixed:
      return format("fixed value (%s)", fixedConicDescription(k).c_str());
    case kConicVariable:
      return "variable";
    case kConicPickup:
      return format("pick up from surface %s", reference.c_str());
    default:
      return format("unknown conic constant type: %d", code);
  }
}

// --- glass ----------------------------------------------------------------------------

std::string glassLetter(int code, bool isModelGlass, bool isMutableGlass) {
  if (code == kGlassPickup) return "P";
  if (isModelGlass) return "M";
  if (isMutableGlass) return "m";
  return "";
}

std::optional<std::string> glassDescription(int code, const std::string& reference,
                                            const std::optional<std::string>& glassOwnDescription) {
  switch (code) {
    case kGlassPickup:
      return format("pick up from surface %s", reference.c_str());
    case kGlassAsSet:
      return glassOwnDescription;
    default:
      return "unknown glass solve type";
  }
}

}  // namespace orb::lens::solve
