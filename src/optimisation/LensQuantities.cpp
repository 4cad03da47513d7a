#include "optimisation/LensQuantities.h"

#include <functional>
#include <unordered_map>

#include "tracing/LensSummary.h"
#include "tracing/ParaxialMeasurement.h"
#include "tracing/SeidelAnalysis.h"

namespace orb::optimisation {

namespace {

using Quantity = std::function<double(analysis::Lens&)>;

const std::vector<std::pair<std::string, Quantity>>& table() {
  static const std::vector<std::pair<std::string, Quantity>> t{
      {"totalTrack", [](analysis::Lens& l) { return tracing::totalTrack(l); }},
      {"petzvalSum", [](analysis::Lens& l) { return tracing::seidelSums(l).petzvalSum(); }},
      {"edgeThickness", [](analysis::Lens& l) { return tracing::edgeThickness(l); }},
      {"glassThickness", [](analysis::Lens& l) { return tracing::glassThickness(l); }},
      {"secondPrincipalFocus", [](analysis::Lens& l) { return tracing::secondPrincipalFocus(l); }},
      {"measureMagnificationX", [](analysis::Lens& l) { return tracing::measureMagnificationX(l); }},
      {"seidelSphericalAberration", [](analysis::Lens& l) { return tracing::seidelSums(l).S1; }},
      {"seidelComa", [](analysis::Lens& l) { return tracing::seidelSums(l).S2; }},
      {"seidelAstigmatism", [](analysis::Lens& l) { return tracing::seidelSums(l).S3; }},
      {"seidelFieldCurvature", [](analysis::Lens& l) { return tracing::seidelSums(l).S4; }},
      {"seidelDistortion", [](analysis::Lens& l) { return tracing::seidelSums(l).S5; }},
      {"conradyAxialColor", [](analysis::Lens& l) { return tracing::seidelSums(l).C1; }},
      {"conradyLateralColor", [](analysis::Lens& l) { return tracing::seidelSums(l).C2; }},
  };
  return t;
}

}  // namespace

std::optional<double> derivedLensQuantity(analysis::Lens& lens, const std::string& name) {
  for (const auto& [key, quantity] : table())
    if (key == name) return quantity(lens);
  return std::nullopt;
}

const std::vector<std::string>& derivedLensQuantityNames() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> n;
    for (const auto& entry : table()) n.push_back(entry.first);
    return n;
  }();
  return names;
}

const std::vector<KeyPathOperandKind>& keyPathOperandKinds() {
  static const std::vector<KeyPathOperandKind> kinds{
      {"Total Track", "lens.totalTrack"},
      {"Petzval Sum", "lens.petzvalSum"},
      {"Edge Thickness", "lens.edgeThickness"},
      {"Glass Thickness", "lens.glassThickness"},
      {"Focal Length", "lens.focalLength"},
      {"Back Focal Length", "lens.secondPrincipalFocus"},
      {"Magnification X", "lens.measureMagnificationX"},
      {"Magnification Y", "lens.magnification"},
      {"Seidel Spherical Aberration", "lens.seidelSphericalAberration"},
      {"Seidel Coma", "lens.seidelComa"},
      {"Seidel Astigmatism", "lens.seidelAstigmatism"},
      {"Seidel Field Curvature", "lens.seidelFieldCurvature"},
      {"Seidel Distortion", "lens.seidelDistortion"},
      {"Conrady Axial Color", "lens.conradyAxialColor"},
      {"Conrady Lateral Color", "lens.conradyLateralColor"},
  };
  return kinds;
}

}  // namespace orb::optimisation
