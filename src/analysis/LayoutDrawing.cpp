// The layout's sections: lens bodies shaded in their glass colours, surface profiles,
// apertures, rays and the second principal point construction, into a Painter2D.

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

#include "analysis/LayoutCalculator.h"
#include "lens/Aperture.h"
#include "lens/CircularAperture.h"
#include "lens/Lens.h"
#include "lens/Surface.h"
#include "materials/Glass.h"
#include "platform/Color.h"

namespace orb::analysis {

using foundation::XY;
using lens::Painter2D;
using lens::PlanarAffineTransform;
using lens::PlanarBezierPath;
using platform::Color;
using platform::Value;

namespace {

bool isInfinite(double t) { return !(std::abs(t) < std::numeric_limits<double>::infinity()); }

std::shared_ptr<const Color> withAlpha(const std::shared_ptr<const Color>& c, double alpha) {
  return c ? Color::make(c->red(), c->green(), c->blue(), alpha) : Color::make(0, 0, 0, alpha);
}

bool sameColor(const std::shared_ptr<Color>& a, const std::shared_ptr<Color>& b) {
  if (a == b) return true;
  if (!a || !b) return false;
  return a->red() == b->red() && a->green() == b->green() && a->blue() == b->blue() && a->alpha() == b->alpha();
}

double numberFrom(const platform::Dictionary& d, const char* key) {
  const Value* v = d.find(Value(key));
  return v && v->isNumber() ? v->asDouble() : 0;
}

// The profile paths of one surface in its section.
struct Profile {
  PlanarBezierPath upper, lower, full;
};

Profile profileOf(const lens::Surface& s, const PlanarAffineTransform& t, bool xOriented, double pixelWidth) {
  Profile p;
  s.appendHalfToPath(p.upper, t, xOriented, true, false);
  s.appendHalfToPath(p.lower, t, xOriented, false, false);
  s.appendToPath(p.full, t, xOriented, false);
  if (s.isMirror() && pixelWidth != 0)
    for (PlanarBezierPath* path : {&p.upper, &p.lower, &p.full}) path->setLineWidth(2 * pixelWidth);
  return p;
}

// The two regions of the body between surface `a` (drawn earlier) and `b`: above and
// below the axis, each closed along both profiles.
std::pair<PlanarBezierPath, PlanarBezierPath> bodyRegions(const lens::Surface& a, const PlanarAffineTransform& ta,
                                                         const lens::Surface& b, const PlanarAffineTransform& tb,
                                                         bool xOriented) {
  PlanarBezierPath upper, lower;
  b.appendHalfToPath(upper, tb, xOriented, true, false);
  a.appendHalfToPath(upper, ta, xOriented, true, true);
  upper.close();
  a.appendHalfToPath(lower, ta, xOriented, false, true);
  b.appendHalfToPath(lower, tb, xOriented, false, false);
  lower.close();
  return {std::move(upper), std::move(lower)};
}

PlanarAffineTransform sectionTransform(const lens::Surface& s, bool zy) {
  return zy ? s.zyAffineTransform() : s.zxAffineTransform();
}

}  // namespace

LayoutCalculator::DrawOptions LayoutCalculator::DrawOptions::from(const platform::Dictionary& options) {
  DrawOptions o;
  o.pixelWidth = numberFrom(options, "pixelWidth");
  if (const Value* c = options.find(Value("defaultColor"))) o.defaultColor = c->objectIf<Color>();
  return o;
}

LayoutCalculator::ColorPtr LayoutCalculator::colorForSurface(const lens::Surface& s) const {
  const std::string option = surfaceColorOption();
  if (option == "surface") return s.color();
  if (option == "glass") return s.glassColor();
  return fixedSurfaceColor();
}

void LayoutCalculator::drawZY(Painter2D& painter, const DrawOptions& options) const { drawSection(painter, options, true); }
void LayoutCalculator::drawZX(Painter2D& painter, const DrawOptions& options) const { drawSection(painter, options, false); }

void LayoutCalculator::drawSection(Painter2D& painter, const DrawOptions& options, bool zy) const {
  const auto surfaces = surfacesOfInterest();
  if (surfaces.empty()) return;
  const bool xOriented = !zy;
  const std::shared_ptr<const Color> defaultColor = options.defaultColor ? options.defaultColor : Color::make(0, 0, 0);
  painter.saveGraphicsState();
  if (const SurfacePtr reference = coordinateReferenceSurface())
    painter.concat(sectionTransform(*reference, zy).inverted());

  std::vector<const lens::Surface*> drawn;
  const lens::Surface* bodyStart = nullptr;   // the open lens body's first surface
  std::shared_ptr<Color> mediumColor;         // ZY: the colour of the medium behind
  const lens::Surface* lastMirror = nullptr;  // ZY: a dummy surface on it is skipped
  bool finiteMet = false;
  for (const SurfacePtr& sp : surfaces) {
    const lens::Surface& s = *sp;
    const bool infinite = isInfinite(s.thickness());
    if (!finiteMet && infinite) continue;
    if (!infinite) finiteMet = true;
    if (s.isCoordinateBreak()) continue;
    if (zy && lastMirror && typeid(s) == typeid(lens::Surface)) {
      const auto a = s.originInGlobalCoordinates(), b = lastMirror->originInGlobalCoordinates();
      if (a.x == b.x && a.y == b.y && a.z == b.z) continue;
    }
    drawn.push_back(&s);
    const PlanarAffineTransform t = sectionTransform(s, zy);
    const ColorPtr own = colorForSurface(s);
    const std::shared_ptr<const Color> color = own ? std::shared_ptr<const Color>(own) : defaultColor;
    const Profile profile = profileOf(s, t, xOriented, options.pixelWidth);

    // Close the open body where the medium changes.
    if (bodyStart) {
      bool closes;
      std::shared_ptr<const Color> fill;
      if (zy) {
        closes = !sameColor(s.glassColor(), mediumColor);
        fill = mediumColor ? std::shared_ptr<const Color>(mediumColor) : Color::make(1, 1, 1);
      } else {
        closes = s.glass() != bodyStart->glass();
        fill = bodyStart->glassColor();
      }
      if (closes) {
        auto [upper, lower] = bodyRegions(*bodyStart, sectionTransform(*bodyStart, zy), s, t, xOriented);
        painter.saveGraphicsState();
        painter.setColor(zy && !colorsCrossSection() ? defaultColor : fill);
        if (colorsCrossSection()) {
          painter.fill(upper), painter.fill(lower);
        } else {
          painter.stroke(upper), painter.stroke(lower);
        }
        if (zy) {
          painter.setColor(defaultColor);
          painter.stroke(upper), painter.stroke(lower);
        }
        painter.restoreGraphicsState();
        bodyStart = nullptr;
      }
    }

    painter.saveGraphicsState();
    painter.setColor(color);
    const bool entity = zy ? s.entityDrawZY(painter, t) : s.entityDrawZX(painter, t);
    painter.stroke(profile.upper);
    painter.stroke(profile.lower);
    painter.setColor(withAlpha(color, 0.1));
    painter.stroke(profile.full);
    painter.restoreGraphicsState();

    if (!zy) {
      // Apertures of the stop and of the other surfaces, as the flags ask.
      if (const auto& aperture = s.apertureObject()) {
        const bool stop = s.isStop();
        const bool wanted = stop ? drawStopAperture() : drawNonstopApertures();
        const bool suppressed = (stop ? suppressFloatingStopAperture() : suppressFloatingNonstopAperture()) &&
                                std::dynamic_pointer_cast<lens::FloatingAperture>(aperture);
        if (wanted && !suppressed) {
          painter.saveGraphicsState();
          painter.setColor(defaultColor);
          painter.concat(t);
          aperture->zxDrawWithPixelWidth(painter, options.pixelWidth);
          painter.restoreGraphicsState();
        }
      }
    }

    // Body bookkeeping.
    if (zy) {
      if (!bodyStart && !s.isMirror() && !s.precedesAmbient()) bodyStart = &s;
      if (entity) bodyStart = nullptr;
      if (!s.isMirror()) {
        mediumColor = s.glassColor();
        lastMirror = nullptr;
      } else {
        bodyStart = nullptr;
        lastMirror = &s;
      }
    } else {
      if (!bodyStart && s.glass() && s.glass()->indexAtWavelengthInMicrons(0.55) != 1.0) bodyStart = &s;
      if (entity) bodyStart = nullptr;
    }
    if (infinite) break;
  }

  // Rays between the drawn surfaces.
  auto strokeRays = [&](const RaysPtr& rays, bool paraxialRays) {
    if (!rays) return;
    painter.saveGraphicsState();
    for (const tracing::Ray& r : *rays) {
      const auto* trajectory = r.trajectory();
      if (!trajectory) continue;
      std::shared_ptr<const Color> c;
      if (paraxialRays) {
        c = r.tags().color();
        if (!c) c = Color::make(0, 1, 0, 0.7);
      } else {
        c = colorForRay(r);
      }
      PlanarBezierPath path;
      for (const tracing::RayVertex& v : *trajectory) {
        if (std::find(drawn.begin(), drawn.end(), v.surface) == drawn.end()) continue;
        path.addPoint({v.position.z, zy ? v.position.y : v.position.x});
      }
      if (path.empty()) continue;
      painter.setColor(c);
      painter.stroke(path);
    }
    painter.restoreGraphicsState();
  };
  strokeRays(raysOfInterest(), false);
  strokeRays(paraxialRaysOfInterest(), true);

  if (zy && drawsSecondPrincipalPointConstruction())
    if (const LensPtr l = lens()) {
      const auto& cardinal = l->cardinalData();
      const double thickness = numberFrom(cardinal, "thickness");
      const double p2 = numberFrom(cardinal, "secondPrincipalPoint") + thickness;
      const double f2 = numberFrom(cardinal, "secondPrincipalFocus") + thickness;
      painter.saveGraphicsState();
      painter.setColor(Color::make(1, 0, 0));
      painter.fillCircle({p2, 0}, options.pixelWidth);
      const tracing::Ray* marginal = nullptr;
      if (const RaysPtr paraxialRays = paraxialRaysOfInterest())
        for (const tracing::Ray& r : *paraxialRays)
          if (r.tags().name() == std::optional<std::string>("marginal")) marginal = &r;
      // Where the marginal ray meets the lens: its height there, carried across to the
      // principal plane and on to the focus. (Its end, at the image, lies on the axis.)
      std::optional<foundation::XYZ> entry;
      if (marginal)
        if (const auto* trajectory = marginal->trajectory())
          for (const tracing::RayVertex& v : *trajectory)
            if (std::find(drawn.begin(), drawn.end(), v.surface) != drawn.end()) {
              entry = v.position;
              break;
            }
      if (entry) {
        const double z = entry->z, y = entry->y;
        PlanarBezierPath path;
        path.moveTo({z, y});
        path.lineTo({p2, y});
        path.moveTo({p2, y});
        path.lineTo({f2, 0});
        painter.stroke(path);
      }
      painter.restoreGraphicsState();
    }
  painter.restoreGraphicsState();
}

void LayoutCalculator::drawZYSurfaceArray(Painter2D& painter, const DrawOptions& options,
                                          const std::vector<SurfacePtr>& surfaces) {
  if (surfaces.empty()) return;
  const std::shared_ptr<const Color> defaultColor = options.defaultColor ? options.defaultColor : Color::make(0, 0, 0);
  painter.saveGraphicsState();
  const lens::Surface* previous = nullptr;
  bool finiteMet = false;
  for (const SurfacePtr& sp : surfaces) {
    const lens::Surface& s = *sp;
    const bool infinite = isInfinite(s.thickness());
    if (!finiteMet && infinite) continue;
    if (!infinite) finiteMet = true;
    if (s.isCoordinateBreak()) continue;
    const PlanarAffineTransform t = s.zyAffineTransform();
    if (previous && !previous->precedesAmbient()) {
      auto [upper, lower] = bodyRegions(*previous, previous->zyAffineTransform(), s, t, false);
      painter.setColor(previous->glassColor());
      painter.fill(upper), painter.fill(lower);
    }
    const Profile profile = profileOf(s, t, false, options.pixelWidth);
    painter.setColor(defaultColor);
    painter.stroke(profile.upper), painter.stroke(profile.lower);
    painter.setColor(withAlpha(defaultColor, 0.1));
    painter.stroke(profile.full);
    previous = &s;
    if (infinite) break;
  }
  painter.restoreGraphicsState();
}

void LayoutCalculator::drawCardinalPoints(Painter2D& painter, double p) const {
  const LensPtr l = lens();
  if (!l) return;
  const auto& c = l->cardinalData();
  const double t = numberFrom(c, "thickness");
  struct Point {
    const char* key;
    double offset;
    std::shared_ptr<const Color> color;
    bool filled;
  };
  const auto red = Color::make(1, 0, 0), blue = Color::make(0, 0, 1), green = Color::make(0, 1, 0);
  for (const Point& q : {Point{"firstPrincipalPoint", 0, red, true}, Point{"secondPrincipalPoint", t, blue, true},
                         Point{"firstNodalPoint", 0, red, false}, Point{"secondNodalPoint", t, blue, false},
                         Point{"firstPrincipalFocus", 0, green, true}, Point{"secondPrincipalFocus", t, green, true}}) {
    painter.setColor(q.color);
    const XY centre{numberFrom(c, q.key) + q.offset, 0};
    if (q.filled)
      painter.fillCircle(centre, 2 * p);
    else
      painter.strokeCircle(centre, 2 * p);
  }
}

}  // namespace orb::analysis
