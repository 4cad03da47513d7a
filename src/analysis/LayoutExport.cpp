// The layout's 3-D drawing as DXF: surfaces in their own frames, rays in global
// coordinates, each ray drawn only between the surfaces of interest.

#include <algorithm>
#include <cmath>
#include <vector>

#include "analysis/LayoutCalculator.h"
#include "foundation/objects/TransformStack.h"
#include "foundation/objects/XYZ.h"
#include "geometry/values/Extents.h"
#include "interchange/DxfWriter.h"
#include "lens/DrawingOptions.h"
#include "lens/Surface.h"
#include "platform/Color.h"

namespace orb::analysis {

namespace {

void setDxfColor(interchange::DxfWriter& writer, const std::shared_ptr<const platform::Color>& c) {
  if (c)
    writer.setColorRGB(c->red(), c->green(), c->blue());
  else
    writer.setColorRGB(0, 0, 0);
}

}  // namespace

std::size_t LayoutCalculator::exportToDXF(interchange::DxfWriter& writer, const platform::Dictionary& options) const {
  const bool axes = lens::DrawingOptions::from(options).drawsSurfaceAxes;
  const auto surfaces = surfacesOfInterest();
  const auto box = extents();

  foundation::TransformStack stack;
  foundation::xformPush(stack);
  writer.setTransform(&stack);
  writer.setExtents(box->xMin(), box->xMax(), box->yMin(), box->yMax(), box->zMin(), box->zMax());
  writer.writeHeader();

  const std::string option = surfaceColorOption();
  const ColorPtr fixed = fixedSurfaceColor();
  for (const SurfacePtr& s : surfaces) {
    // An infinite object distance has nothing finite to draw.
    if (!std::isfinite(std::fabs(s->thickness()))) continue;
    foundation::xformPush(stack);
    const auto& t = s->transform();
    foundation::xformSetTop(stack, t.localToGlobalCoordinateTransformationMatrix(),
                            t.globalToLocalCoordinateTransformationMatrix());
    ColorPtr c;
    if (option == "surface") c = s->color();
    else if (option == "glass") c = s->glassColor();
    if (!c) c = fixed;
    setDxfColor(writer, c);
    s->dxfWithOptions(writer, options);
    if (axes) s->dxfAxesWithOptions(writer, options);
    foundation::xformPop(stack);
  }

  // Ray points are global.
  foundation::xformLoadIdentity(stack);
  writer.comment("rays");
  // A lens of F-number or wavelength 0 traces rays to NaN, which no DXF reader takes: a
  // ray's line ends at its last finite point, and one left with no segment is counted.
  std::size_t leftOut = 0;
  std::vector<foundation::XYZ> points;
  auto writeRays = [&](const RaysPtr& rays, bool paraxial) {
    if (!rays) return;
    for (const tracing::Ray& r : *rays) {
      const auto* trajectory = r.trajectory();
      if (!trajectory) continue;
      points.clear();
      bool cut = false;
      for (const tracing::RayVertex& v : *trajectory) {
        const bool ofInterest = std::any_of(surfaces.begin(), surfaces.end(),
                                            [&](const SurfacePtr& s) { return s.get() == v.surface; });
        if (!ofInterest) continue;
        const foundation::XYZ& p = v.position;
        if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) {
          cut = true;
          break;
        }
        points.push_back(p);
      }
      if (cut && points.size() < 2) {
        ++leftOut;
        continue;
      }
      std::shared_ptr<const platform::Color> c = paraxial ? r.tags().color() : colorForRay(r);
      if (paraxial && !c) c = platform::Color::make(0, 1, 0);
      setDxfColor(writer, c);
      writer.dxfBegin(geometry::DxfSink::kLineStrip);
      for (const foundation::XYZ& p : points) writer.dxfVertex(p.x, p.y, p.z);
      writer.dxfEnd();
    }
  };
  writeRays(raysOfInterest(), false);
  writeRays(paraxialRaysOfInterest(), true);
  writer.writeTrailer();
  writer.setTransform(nullptr);
  return leftOut;
}

bool LayoutCalculator::exportToDXFFile(const std::string& path, const platform::Dictionary& options,
                                       std::string* error, std::size_t* raysLeftOut) const {
  std::size_t leftOut = 0;
  const bool written = interchange::writeDxfFileAtomically(
      path, [&](interchange::DxfWriter& writer) { leftOut = exportToDXF(writer, options); }, error);
  if (raysLeftOut) *raysLeftOut = written ? leftOut : 0;
  return written;
}

}  // namespace orb::analysis
