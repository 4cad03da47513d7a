#include "lens/SurfaceGradient.h"

#include "materials/Glass.h"
#include "materials/GrinDispersion.h"
#include "materials/Medium2.h"
#include "materials/Medium5.h"
#include "platform/Color.h"
#include "platform/Exception.h"

namespace orb::lens {

// --- common base ------------------------------------------------------------------------------

std::shared_ptr<platform::Color> SurfaceGradientZemax::glassColor() const {
  if (glass()) return glass()->displayColor();
  return color();
}

void SurfaceGradientZemax::parametersDidChange() {
  Surface::parametersDidChange();
  setCachedMedium(nullptr);
}

void SurfaceGradientZemax::frameDidChange() {
  // The medium carries the frame it was made in: a surface placed elsewhere needs a new one.
  const auto& m = cachedMedium();
  if (!m) return;
  const auto* graded = dynamic_cast<const materials::NonuniformMedium*>(m.get());
  if (!graded || !graded->transform() ||
      graded->transform()->localToGlobalCoordinateTransformationMatrix().m !=
          transform().localToGlobalCoordinateTransformationMatrix().m)
    setCachedMedium(nullptr);
}

std::shared_ptr<materials::Medium> SurfaceGradientZemax::medium() const {
  if (!cachedMedium()) conjureMedium();
  return cachedMedium();
}

void SurfaceGradientZemax::appendSeidelToString(std::string& out) const {
  out += platform::format("%70s  %s\n", "GRADIENT SURFACE SEIDEL NYI", nickname().c_str());
}

// --- Gradient 2 ---------------------------------------------------------------------------------

const std::vector<std::string>& SurfaceGradient2::parameterTitleArray() const {
  static const std::vector<std::string> titles{"dt", "n0", "nr2", "nr4", "nr6", "nr8", "nr10", "nr12"};
  return titles;
}

const platform::Dictionary& SurfaceGradient2::parameterDefaultsDictionary() const {
  static const platform::Dictionary defaults{{"dt", 0.1}, {"n0", 1.5}, {"nr2", 0.001}};
  return defaults;
}

std::shared_ptr<Surface> SurfaceGradient2::makeEmpty() const { return platform::makeObject<SurfaceGradient2>(); }

void SurfaceGradient2::conjureMedium() const {
  const materials::Medium2::Coefficients c{parameterOr("n0", 0),  parameterOr("nr2", 0), parameterOr("nr4", 0),
                                           parameterOr("nr6", 0), parameterOr("nr8", 0), parameterOr("nr10", 0),
                                           parameterOr("nr12", 0)};
  setCachedMedium(materials::Medium2::withTransform(transform(), c, parameterOr("dt", 0)));
}

// --- Gradient 5 ---------------------------------------------------------------------------------

const std::vector<std::string>& SurfaceGradient5::parameterTitleArray() const {
  static const std::vector<std::string> titles{"dt", "n0", "nr2", "nr4", "nz1", "nz2", "nz3", "nz4"};
  return titles;
}

const platform::Dictionary& SurfaceGradient5::parameterDefaultsDictionary() const {
  static const platform::Dictionary defaults{{"dt", 0.1}, {"n0", 1.5}, {"nz1", 0.001}};
  return defaults;
}

std::shared_ptr<Surface> SurfaceGradient5::makeEmpty() const { return platform::makeObject<SurfaceGradient5>(); }

std::string SurfaceGradient5::glassDescription() const {
  if (!glass()) return "Dispersionless";
  if (!dynamic_cast<const materials::GrinDispersion*>(glass().get()))
    return platform::format("%s must use a GRIN dispersion glass", type().c_str());
  return glass()->glassDescription();
}

bool SurfaceGradient5::glassIsGood() const {
  return !glass() || dynamic_cast<const materials::GrinDispersion*>(glass().get()) != nullptr;
}

std::shared_ptr<materials::Medium> SurfaceGradient5::medium() const {
  if (const auto* m = dynamic_cast<const materials::NonuniformMedium*>(cachedMedium().get());
      m && m->bounceRadius() != semidiameter())
    setCachedMedium(nullptr);
  return SurfaceGradientZemax::medium();
}

void SurfaceGradient5::conjureMedium() const {
  const materials::Medium5::Coefficients c{parameterOr("n0", 0),  parameterOr("nr2", 0), parameterOr("nr4", 0),
                                           parameterOr("nz1", 0), parameterOr("nz2", 0), parameterOr("nz3", 0),
                                           parameterOr("nz4", 0)};
  auto medium = materials::Medium5::withTransform(transform(), c, parameterOr("dt", 0));
  medium->setBounceRadius(semidiameter());
  if (auto dispersion = std::dynamic_pointer_cast<materials::GrinDispersion>(glass()))
    medium->setGrinDispersion(dispersion);
  setCachedMedium(medium);
}

}  // namespace orb::lens
