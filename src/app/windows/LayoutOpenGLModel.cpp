#include "app/windows/LayoutOpenGLModel.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>

#include "analysis/LayoutCalculator.h"
#include "geometry/values/Extents.h"
#include "lens/Aperture.h"
#include "lens/DrawingOptions.h"
#include "lens/Surface.h"
#include "platform/Color.h"
#include "platform/NotificationCenter.h"
#include "rendering/GLColors.h"
#include "rendering/GLDrawing.h"
#include "rendering/GLSink.h"

namespace orb::app {

namespace {

void lensMaterial(const std::shared_ptr<const platform::Color>& color) {
  static const float noEmission[4] = {0, 0, 0, 1}, specular[4] = {0.3f, 0.3f, 0.3f, 1};
  const float* rgba = color ? rendering::rgba(*color) : nullptr;
  static const float black[4] = {0, 0, 0, 1};
  if (!rgba) rgba = black;
  glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE, rgba);
  glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, specular);
  glMaterialfv(GL_FRONT_AND_BACK, GL_EMISSION, noEmission);
  glColor4fv(rgba);
}

}  // namespace

LayoutOpenGLModel::LayoutOpenGLModel(const std::shared_ptr<analysis::LayoutCalculator>& calculator)
    : m_calculator(calculator) {
  const platform::Object* source = calculator.get();
  m_observation = platform::NotificationCenter::defaultCenter().addObserver(
      "modelChangedNotification", {}, [this, source](const platform::Notification& n) {
        const platform::Object* sender = nullptr;
        if (n.object.kind() == platform::Value::Kind::Reference)
          sender = n.object.asReference().get();
        else if (n.object.isObject())
          sender = n.object.asObject().get();
        if (!sender || sender != source) return;
        platform::NotificationCenter::defaultCenter().post("modelChangedNotification", platform::Value(reference()));
      });
}

LayoutOpenGLModel::~LayoutOpenGLModel() { m_observation.remove(); }

void LayoutOpenGLModel::drawUsingOpenGL(const platform::Dictionary& options) {
  const auto calculator = m_calculator.lock();
  if (!calculator) return;
  rendering::GLSink& gl = rendering::immediateGL();
  const lens::DrawingOptions o = lens::DrawingOptions::from(options);
  const auto surfaces = calculator->surfacesOfInterest();
  const auto fixed = calculator->fixedSurfaceColor();

  glMatrixMode(GL_MODELVIEW);
  for (const auto& s : surfaces) {
    // An object at infinity has nothing finite to draw.
    if (!s || !std::isfinite(s->thickness())) continue;
    auto color = calculator->colorForSurface(*s);
    if (!color) color = fixed;
    lensMaterial(color);
    glPushMatrix();
    rendering::transformOpenGL(gl, s->transform());
    rendering::loadOpenGLSelectionName(s->nameForOpenGL(s));
    s->drawUsingOpenGL(gl, options);
    if (o.drawsSurfaceAxes) {
      // The axes switch lighting back on after them; an unlit drawing stays unlit.
      const GLboolean lit = glIsEnabled(GL_LIGHTING);
      s->drawAxesUsingOpenGL(gl, options);
      if (!lit) glDisable(GL_LIGHTING);
    }
    // The stop's aperture, in black about the stop, where the beam is limited.
    if (s->isStop())
      if (const auto& aperture = s->apertureObject()) {
        lensMaterial(platform::Color::make(0, 0, 0, 1));
        aperture->drawUsingOpenGL(gl, options);
      }
    rendering::loadOpenGLSelectionName(0);
    glPopMatrix();
  }

  // Rays in lens coordinates, unlit, between the surfaces of interest only.
  const GLboolean lit = glIsEnabled(GL_LIGHTING);
  glDisable(GL_LIGHTING);
  auto isOfInterest = [&](const platform::Object* surface) {
    return std::any_of(surfaces.begin(), surfaces.end(), [surface](const auto& x) { return x.get() == surface; });
  };
  auto drawRays = [&](const analysis::LayoutCalculator::RaysPtr& rays, bool paraxial) {
    if (!rays) return;
    for (const tracing::Ray& r : *rays) {
      const auto* trajectory = r.trajectory();
      if (!trajectory) continue;
      std::shared_ptr<const platform::Color> c = paraxial ? r.tags().color() : calculator->colorForRay(r);
      if (paraxial && !c) c = platform::Color::make(0, 1, 0, 0.7);
      if (c)
        glColor4fv(rendering::rgba(*c));
      else
        glColor4f(0, 0, 0, 1);
      rendering::loadOpenGLSelectionName(r.nameForOpenGL(rays));
      glBegin(GL_LINE_STRIP);
      for (const tracing::RayVertex& v : *trajectory)
        if (isOfInterest(v.surface)) glVertex3d(v.position.x, v.position.y, v.position.z);
      glEnd();
      rendering::loadOpenGLSelectionName(0);
    }
  };
  drawRays(calculator->raysOfInterest(), false);
  drawRays(calculator->paraxialRaysOfInterest(), true);
  if (lit) glEnable(GL_LIGHTING);
}

std::shared_ptr<geometry::Extents> LayoutOpenGLModel::extents() const {
  const auto calculator = m_calculator.lock();
  if (!calculator) return nullptr;
  auto box = calculator->extents();
  if (!box || !box->active()) return nullptr;
  return box;
}

rendering::PickedObjectInfo LayoutOpenGLModel::infoForPickedObject(const foundation::GLObject& object) const {
  rendering::PickedObjectInfo info;
  info.description = object.description();
  const auto* surface = dynamic_cast<const lens::Surface*>(&object);
  if (!surface) return info;
  info.isSurface = true;
  const foundation::XYZ origin = surface->originInGlobalCoordinates();
  info.origin = {origin.x, origin.y, origin.z};
  const auto local = surface->extents();
  auto global = geometry::MutableExtents::extents();
  if (local && local->active())
    for (int i = 0; i < 8; ++i)
      global->absorbPoint(surface->transform().transformToGlobal(
          {i & 1 ? local->xMax() : local->xMin(), i & 2 ? local->yMax() : local->yMin(),
           i & 4 ? local->zMax() : local->zMin()}));
  else
    global->absorbPoint(origin);
  info.extents = global;
  return info;
}

}  // namespace orb::app
