#include "interchange/ZemaxParameterMapping.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "lens/Parameter.h"
#include "lens/Surface.h"
#include "platform/Exception.h"
#include "platform/Log.h"

namespace orb::interchange {

void emitMessage(const MessageSink& sink, const std::string& message) {
  if (sink)
    sink(message);
  else
    platform::logText(message);
}

void warnUnlessCollected(const MessageSink& sink, std::string_view subject, std::string_view kind,
                         const std::string& warning) {
  if (!sink) platform::logWarningOnce(subject, kind, "%s", warning.c_str());
}

ZemaxParameterRanges zemaxParameterRanges(std::string_view zemaxType, std::size_t parameterCount) {
  ZemaxParameterRanges r;
  const int count = static_cast<int>(parameterCount);
  // The kinoform's order is Zemax's parameter 0 (BINARY_2), its phase terms extra data.
  if (zemaxType == "BINARY_2" || zemaxType == "KINOFORM") {
    r.firstParameter = 0;
    r.lastParameter = 8;
  } else if (zemaxType == "ZERNSURF" || zemaxType == "SZERNSAG") {
    r.lastParameter = 10;
  } else if (zemaxType == "PARAXIAL") {
    // Zemax's parameter 2 of a paraxial lens is its OPD mode: a lenslet array, which
    // Zemax lacks, goes out as its lenslet focal length alone.
    r.lastParameter = std::min(count, 1);
    r.lastExtraData = 0;
    return r;
  } else {
    r.lastParameter = count;
  }
  r.firstExtraData = 1;
  r.lastExtraData = r.firstExtraData + count - 1 - (r.lastParameter - r.firstParameter);
  return r;
}

ZemaxParameterRanges zemaxParameterRanges(const lens::Surface& surface) {
  return zemaxParameterRanges(surface.zemaxType().value_or(""), surface.countOfParameterArray());
}

std::uint32_t parameterIndexForZemaxParameterIndex(const lens::Surface& surface, std::uint32_t index) {
  return index - static_cast<std::uint32_t>(zemaxParameterRanges(surface).firstParameter);
}

std::uint32_t parameterIndexForZemaxExtraDataIndex(const lens::Surface& surface, std::uint32_t index) {
  const auto r = zemaxParameterRanges(surface);
  return parameterIndexForZemaxParameterIndex(surface, static_cast<std::uint32_t>(r.lastParameter)) +
         (index - static_cast<std::uint32_t>(r.firstExtraData)) + 1;
}

namespace {
std::shared_ptr<lens::Parameter> at(const lens::Surface& surface, std::uint32_t position) {
  const auto& parameters = surface.parameterArray();
  return position < parameters.size() ? parameters[position] : nullptr;
}
}  // namespace

std::shared_ptr<lens::Parameter> parameterForZemaxParameterIndex(const lens::Surface& surface, std::uint32_t index) {
  return at(surface, parameterIndexForZemaxParameterIndex(surface, index));
}

std::shared_ptr<lens::Parameter> parameterForZemaxExtraDataIndex(const lens::Surface& surface, std::uint32_t index) {
  return at(surface, parameterIndexForZemaxExtraDataIndex(surface, index));
}

void setParameterValueForZemaxParameterIndex(lens::Surface& surface, std::uint32_t index, double value,
                                             const MessageSink& log) {
  if (auto p = parameterForZemaxParameterIndex(surface, index))
    p->setValue(value);
  else if (value != 0)
    emitMessage(log, platform::format("setParameterValueForZemaxParameterIndex: %u withValue: %g; "
                               "warning: this nontrivial parameter is ignored",
                               index, value));
}

void setParameterValueForZemaxExtraDataIndex(lens::Surface& surface, std::uint32_t index, double value,
                                             const MessageSink& log) {
  if (auto p = parameterForZemaxExtraDataIndex(surface, index))
    p->setValue(value);
  else if (value != 0)
    emitMessage(log, platform::format("setParameterValueForZemaxExtraDataIndex: %u withValue: %g; "
                               "warning: ignoring this nontrivial extra datum",
                               index, value));
}

void setParameterVariableForZemaxParameterIndex(lens::Surface& surface, std::uint32_t index) {
  if (auto p = parameterForZemaxParameterIndex(surface, index)) p->setSolveType(lens::Parameter::kVariable);
}

void setParameterVariableForZemaxExtraDataIndex(lens::Surface& surface, std::uint32_t index) {
  if (auto p = parameterForZemaxExtraDataIndex(surface, index)) p->setSolveType(lens::Parameter::kVariable);
}

namespace {
void makePickup(const std::shared_ptr<lens::Parameter>& p, const std::shared_ptr<lens::Surface>& source, double scale,
                double offset) {
  if (!p) return;
  p->setSolveType(lens::Parameter::kPickup);
  p->setSolveSurface(source);
  p->setSolveScale(scale);
  p->setSolveOffset(offset);
}
}  // namespace

void setParameterPickupForZemaxParameterIndex(lens::Surface& surface, std::uint32_t index,
                                              const std::shared_ptr<lens::Surface>& source, double scale,
                                              double offset) {
  makePickup(parameterForZemaxParameterIndex(surface, index), source, scale, offset);
}

void setParameterPickupForZemaxExtraDataIndex(lens::Surface& surface, std::uint32_t index,
                                              const std::shared_ptr<lens::Surface>& source, double scale,
                                              double offset) {
  makePickup(parameterForZemaxExtraDataIndex(surface, index), source, scale, offset);
}

int zemaxSemidiameterSolveType(const lens::Surface& surface) {
  const int type = surface.semidiameterSolveType();
  return type < 4 ? type : 1;
}

// Both sides read the flag as an integer (a stored 0.9 is order 0).
double lensBreakOrderFromZemax(double zemaxOrder) {
  const bool decentreFirst = !std::isfinite(zemaxOrder) || std::trunc(zemaxOrder) == 0;
  return decentreFirst ? 1.0 : 0.0;
}

double zemaxBreakOrderFromLens(double lensOrder) {
  const bool decentreFirst = std::isfinite(lensOrder) && std::trunc(lensOrder) != 0;
  return decentreFirst ? 0.0 : 1.0;
}

AngleField lensAngleFieldFromTangentAngles(AngleField file) {
  if (file.x == 0 || file.y == 0) return file;  // exact on the axes, where both conventions agree
  constexpr double toRadians = std::numbers::pi / 180;
  const double tx = std::tan(file.x * toRadians), ty = std::tan(file.y * toRadians);
  const double off = std::atan(std::hypot(tx, ty)) / toRadians;  // angle from the axis
  const double azimuth = std::atan2(ty, tx);
  return {off * std::cos(azimuth), off * std::sin(azimuth)};
}

AngleField tangentAnglesFromLensAngleField(AngleField lens) {
  if (lens.x == 0 || lens.y == 0) return lens;
  constexpr double toRadians = std::numbers::pi / 180;
  const double r = std::hypot(lens.x, lens.y) * toRadians;
  // Direction (sin r cos φ, sin r sin φ, cos r); tan of each file angle is a component over z.
  const double t = std::tan(r) / (std::hypot(lens.x, lens.y) * toRadians);
  return {std::atan(lens.x * toRadians * t) / toRadians, std::atan(lens.y * toRadians * t) / toRadians};
}

}  // namespace orb::interchange
