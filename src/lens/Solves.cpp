// The texts, menus and attention requests of a surface's solves. The codes and their
// tables are in SolveCodes; storage and reference bookkeeping are in Surface.cpp.

#include <cctype>
#include <cstdlib>

#include "lens/SolveCodes.h"
#include "lens/Surface.h"
#include "materials/Glass.h"
#include "platform/Exception.h"
#include "platform/Log.h"

namespace orb::lens {

using platform::format;

namespace {

std::string nicknameOf(const std::shared_ptr<Surface>& surface) {
  return surface ? surface->nickname() : std::string(solve::kNoReference);
}

/// The descriptor of `code` in a menu, "" for a code the menu does not offer.
std::string descriptorOf(const std::vector<std::string>& descriptors, const std::vector<int>& keys, int code) {
  for (std::size_t i = 0; i < keys.size(); ++i)
    if (keys[i] == code) return descriptors[i];
  return {};
}

/// The code of a menu entry, none for text the menu does not hold.
std::optional<int> codeOf(const std::vector<std::string>& descriptors, const std::vector<int>& keys,
                          const std::string& descriptor) {
  for (std::size_t i = 0; i < descriptors.size(); ++i)
    if (descriptors[i] == descriptor) return keys[i];
  return std::nullopt;
}

std::string glassPickupDescriptor(std::size_t index, const Surface& source) {
  std::string d = format("P pickup from s%zu", index);
  if (auto name = source.glassName()) d += ": " + *name;
  return d;
}

}  // namespace

// --- letters and descriptions ---------------------------------------------------------------

std::string Surface::thicknessSolveLetter() const { return solve::thicknessSolveLetter(thicknessSolveType()); }
std::string Surface::curvatureSolveLetter() const { return solve::curvatureSolveLetter(curvatureSolveType()); }
std::optional<std::string> Surface::semidiameterSolveLetter() const {
  return solve::semidiameterSolveLetter(semidiameterSolveType());
}
std::string Surface::conicLetter() const { return solve::conicLetter(conicSolveType()); }

std::string Surface::glassLetter() const {
  const auto& g = glass();
  return solve::glassLetter(glassSolveType(), g && g->isModel(), g && g->isMutable());
}

std::string Surface::thicknessDescription() const {
  const SolveInputs& s = thicknessSolve();
  return solve::thicknessDescription(s.type, s.target, s.zone, s.scale, s.offset, nicknameOf(s.surface.lock()));
}

std::string Surface::curvatureDescription() const {
  if (auto* fixed = dynamic_cast<const solve::FixedCurvatureType*>(this)) return fixed->fixedCurvatureDescription();
  const SolveInputs& s = curvatureSolve();
  return solve::curvatureDescription(s.type, s.target, s.scale, nicknameOf(s.surface.lock()));
}

std::string Surface::semidiameterDescription() const {
  return solve::semidiameterDescription(semidiameterSolveType(), maximumSingleValuedSemidiameter(),
                                        nicknameOf(semidiameterSolveSurface()));
}

std::string Surface::conicDescription() const {
  return solve::conicDescription(conicSolveType(), conicConstant(), nicknameOf(conicSolveSurface()));
}

std::string Surface::glassDescription() const {
  if (isCoordinateBreak()) return "same as previous glass for coordinate break";
  std::optional<std::string> own;
  if (glass()) own = glass()->glassDescription();
  return solve::glassDescription(glassSolveType(), nicknameOf(glassSolveSurface()), own).value_or(std::string());
}

std::string Surface::fixedConicDescription() const { return solve::fixedConicDescription(conicConstant()); }

std::string Surface::coatingDescription() const { return "NYI"; }

// --- menus ------------------------------------------------------------------------------------

const std::vector<std::string>& Surface::thicknessSolveDescriptors() { return solve::thicknessSolveDescriptors(); }
const std::vector<int>& Surface::thicknessSolveKeys() { return solve::thicknessSolveKeys(); }
const std::vector<std::string>& Surface::curvatureSolveDescriptors() { return solve::curvatureSolveDescriptors(); }
const std::vector<int>& Surface::curvatureSolveKeys() { return solve::curvatureSolveKeys(); }
const std::vector<std::string>& Surface::semidiameterSolveDescriptors() {
  return solve::semidiameterSolveDescriptors();
}
const std::vector<int>& Surface::semidiameterSolveKeys() { return solve::semidiameterSolveKeys(); }

std::string Surface::thicknessSolveDescriptor() const {
  return descriptorOf(thicknessSolveDescriptors(), thicknessSolveKeys(), thicknessSolveType());
}
std::string Surface::curvatureSolveDescriptor() const {
  return descriptorOf(curvatureSolveDescriptors(), curvatureSolveKeys(), curvatureSolveType());
}
std::string Surface::semidiameterSolveDescriptor() const {
  return descriptorOf(semidiameterSolveDescriptors(), semidiameterSolveKeys(), semidiameterSolveType());
}

// Text that names no menu entry changes nothing: a stale menu must not set a code.
void Surface::setThicknessSolveDescriptor(const std::string& descriptor) {
  auto code = codeOf(thicknessSolveDescriptors(), thicknessSolveKeys(), descriptor);
  if (!code) return;
  setThicknessSolveType(*code);
  touchThicknessSolve();
}

void Surface::setCurvatureSolveDescriptor(const std::string& descriptor) {
  auto code = codeOf(curvatureSolveDescriptors(), curvatureSolveKeys(), descriptor);
  if (!code) return;
  setCurvatureSolveType(*code);
  touchCurvatureSolve();
}

void Surface::setSemidiameterSolveDescriptor(const std::string& descriptor) {
  auto code = codeOf(semidiameterSolveDescriptors(), semidiameterSolveKeys(), descriptor);
  if (!code) return;
  setSemidiameterSolveType(*code);
  touchSemidiameterSolve();
}

// The last surface (the image) has nothing behind it to solve for.
bool Surface::thicknessSolveDescriptorVisible() const {
  auto lens = container();
  if (!lens) return true;
  const auto& surfaces = lens->containedSurfaces();
  return surfaces.empty() || surfaces.back().get() != this;
}

// --- glass menu ---------------------------------------------------------------------------------

std::vector<std::string> Surface::glassSolveDescriptors() const {
  const auto& g = glass();
  std::vector<std::string> d{"  fixed at user-specified value", "  set to air", "  set to mirror"};
  d.push_back(g && g->isModel() && g->hasVariables() ? "V model glass" : "M model glass");
  if (g && !g->isModel()) d.push_back(g->isMutable() && g->hasVariables() ? "V mutable glass" : "m mutable glass");
  if (auto earlier = possibleSolveSurfaces())
    for (std::size_t i = 0; i < earlier->size(); ++i) d.push_back(glassPickupDescriptor(i, *(*earlier)[i]));
  return d;
}

std::string Surface::glassSolveDescriptor() const {
  const auto& g = glass();
  if (glassSolveType() == solve::kGlassPickup) {
    if (auto source = glassSolveSurface())
      if (auto index = source->indexInContainer()) return glassPickupDescriptor(*index, *source);
  }
  if (g && g->isModel()) return g->hasVariables() ? "V model glass" : "M model glass";
  if (g && g->isMutable()) return g->hasVariables() ? "V mutable glass" : "m mutable glass";
  return "  fixed at user-specified value";
}

void Surface::setGlassSolveDescriptor(const std::string& descriptor) {
  if (descriptor.empty()) return;
  switch (descriptor[0]) {
    case ' ': {
      setGlassSolveType(solve::kGlassAsSet);
      const auto start = descriptor.find_first_not_of(' ');
      const std::string choice = start == std::string::npos ? std::string() : descriptor.substr(start);
      if (choice == "set to air")
        setGlass(nullptr);
      else if (choice == "set to mirror")
        setGlassName("MIRROR");
      if (glass() && glass()->isModel()) setGlass(nullptr);
      return;
    }
    case 'M': {
      setGlassSolveType(solve::kGlassAsSet);
      std::shared_ptr<materials::Glass> model;
      if (auto old = glass()) {
        model = materials::Glass::glassWithGlass<materials::Glass>(*old);
        model->updateReferenceDataUsingGlass(*old);
        model->setFormula(0);
      } else {
        model = materials::Glass::glass();
        triggerModelGlassDialog();
      }
      model->setIsDummy(false);
      model->setVersion(std::string("model"));
      setGlass(model);
      return;
    }
    case 'P': {
      // The first decimal number is the source's index; a stale index changes nothing.
      const auto digit = descriptor.find_first_of("0123456789");
      auto lens = container();
      if (digit == std::string::npos || !lens) return;
      const std::size_t index = std::strtoul(descriptor.c_str() + digit, nullptr, 10);
      const auto& surfaces = lens->containedSurfaces();
      if (index >= surfaces.size()) return;
      setGlassSolveSurface(surfaces[index]);
      setGlassSolveType(solve::kGlassPickup);
      return;
    }
    case 'm':
      if (auto old = glass(); old && !old->isMutable()) setGlass(materials::Glass::mutableGlassWithGlass(*old));
      return;
    default:
      platform::log("unknown glass solve descriptor character: %c", descriptor[0]);
      return;
  }
}

// --- attention requests --------------------------------------------------------------------------

void Surface::touchThicknessSolve() {
  if (thicknessSolveIsNontrivial()) postNotificationWithName("thicknessSolveRequiresAttention");
}

void Surface::touchCurvatureSolve() {
  if (curvatureSolveIsNontrivial()) postNotificationWithName("curvatureSolveRequiresAttention");
}

void Surface::touchSemidiameterSolve() {
  if (semidiameterSolveIsNontrivial()) postNotificationWithName("semidiameterSolveRequiresAttention");
}

void Surface::touchGlassSolve() {
  if (glassSolveType() != solve::kGlassAsSet) postNotificationWithName("glassSolveRequiresAttention");
}

void Surface::triggerModelGlassDialog() { postNotificationWithName("modelGlassRequiresAttention"); }

// --- lens-wide lists and removal ------------------------------------------------------------------

std::vector<std::string> Surface::keyPathsForSolves() const {
  std::vector<std::string> paths;
  if (semidiameterSolveType() != 0) paths.push_back("semidiameter");
  if (thicknessSolveType() != 0) paths.push_back("thickness");
  if (curvatureSolveType() != 0) paths.push_back("curvature");
  if (conicSolveType() != 0) paths.push_back("conicConstant");
  for (const auto& p : parameterArray())
    if (p->solveType() == Parameter::kPickup) paths.push_back(p->title());
  return paths;
}

void Surface::removeVariables() {
  if (conicSolveType() == solve::kConicVariable) setConicSolveType(solve::kConicFixed);
  if (curvatureSolveType() == solve::kCurvatureVariable) setCurvatureSolveType(solve::kCurvatureFixed);
  if (thicknessSolveType() == solve::kThicknessVariable) setThicknessSolveType(solve::kThicknessFixed);
  if (glass()) glass()->removeVariables();
  for (const auto& p : parameterArray()) p->removeVariable();
}

void Surface::removeSolves() {
  if (semidiameterSolveType() != solve::kSemidiameterVariable) {
    setSemidiameterSolveType(solve::kSemidiameterFixed);
    setSemidiameterSolveSurface(nullptr);
  }
  if (conicSolveType() != solve::kConicVariable) {
    setConicSolveType(solve::kConicFixed);
    setConicSolveSurface(nullptr);
  }
  if (curvatureSolveType() != solve::kCurvatureVariable) {
    setCurvatureSolveType(solve::kCurvatureFixed);
    setCurvatureSolveSurface(nullptr);
  }
  if (thicknessSolveType() != solve::kThicknessVariable) {
    setThicknessSolveType(solve::kThicknessFixed);
    setThicknessSolveSurface(nullptr);
  }
  removeGlassPickup();
  for (const auto& p : parameterArray()) p->removeSolve();
}

void Surface::removeGlassPickup() {
  if (glassSolveType() != solve::kGlassPickup) return;
  setGlassSolveType(solve::kGlassAsSet);
  setGlassSolveSurface(nullptr);
}

}  // namespace orb::lens
