#include "analysis/PlotDictionary.h"

#include <algorithm>
#include <cstring>

#include "platform/Exception.h"

namespace orb::analysis {

using platform::Array;
using platform::Dictionary;
using platform::Value;

namespace plot {

std::string transposedKey(std::string_view key) {
  std::string k(key);
  if (!k.empty() && k[0] == 'x')
    k[0] = 'y';
  else if (!k.empty() && k[0] == 'y')
    k[0] = 'x';
  return k;
}

Value get(const Dictionary& d, std::string_view key, bool transposed) {
  return d.get(Value(transposed ? transposedKey(key) : std::string(key)));
}

}  // namespace plot

// --- SeriesValue -----------------------------------------------------------------------------

Value SeriesValue::make(foundation::VKSeries series) {
  return Value(platform::makeObject<SeriesValue>(std::move(series)));
}

const foundation::VKSeries* SeriesValue::from(const Value& value) {
  auto s = value.objectIf<SeriesValue>();
  return s ? &s->series() : nullptr;
}

bool SeriesValue::isEqualTo(const platform::Object& other) const {
  auto* s = dynamic_cast<const SeriesValue*>(&other);
  return s && s->m_series == m_series;
}

// --- reading with defaults -----------------------------------------------------------------

namespace {

std::string stringOr(const Value& v, std::string fallback = {}) { return v.isString() ? v.asString() : fallback; }
std::optional<bool> optionalBool(const Value& v) {
  return v.isNumber() ? std::optional<bool>(v.asBool()) : std::nullopt;
}
std::optional<double> optionalDouble(const Value& v) {
  return v.isNumber() ? std::optional<double>(v.asDouble()) : std::nullopt;
}
bool boolOr(const Value& v, bool fallback) { return v.isNumber() ? v.asBool() : fallback; }

}  // namespace

PlotSettings PlotSettings::read(const Dictionary& plot) {
  PlotSettings s;
  s.transposeAxes = boolOr(plot.get(plot::kTransposeAxes), false);
  const bool t = s.transposeAxes;
  auto get = [&](const char* key) { return plot::get(plot, key, t); };
  s.title = stringOr(plot.get(plot::kTitle));
  s.xLabel = stringOr(get(plot::kXLabel));
  s.yLabel = stringOr(get(plot::kYLabel));
  const std::optional<bool> tight = optionalBool(plot.get(plot::kPlotTight));
  s.xTight = optionalBool(get(plot::kXTight));
  if (!s.xTight) s.xTight = tight;
  s.yTight = optionalBool(get(plot::kYTight));
  if (!s.yTight) s.yTight = tight;
  s.scaleOnlyExpands = boolOr(plot.get(plot::kScaleOnlyExpands), false);
  s.multiplot = boolOr(plot.get(plot::kMultiplot), false);
  if (Value legend = plot.get(plot::kShowLegend); legend.isNumber()) s.showLegend = static_cast<int>(legend.asInt());
  s.xMin = optionalDouble(get(plot::kXMin));
  s.xMax = optionalDouble(get(plot::kXMax));
  s.yMin = optionalDouble(get(plot::kYMin));
  s.yMax = optionalDouble(get(plot::kYMax));
  s.equalAxis = optionalBool(plot.get(plot::kEqualAxis));
  s.isotropic = optionalBool(plot.get(plot::kIsotropic));
  s.centerAxis = optionalBool(plot.get(plot::kCenterAxis));
  s.drawZeroLines = boolOr(plot.get(plot::kDrawZeroLines), true);
  s.drawTestPattern = boolOr(plot.get(plot::kDrawTestPattern), false);
  return s;
}

CurveStyle CurveStyle::read(const Dictionary& curve, bool transposed) {
  CurveStyle c;
  auto get = [&](const char* key) { return plot::get(curve, key, transposed); };
  c.xSeries = get(plot::kXSeries).objectIf<SeriesValue>();
  c.ySeries = get(plot::kYSeries).objectIf<SeriesValue>();
  c.name = stringOr(curve.get(plot::kName));
  c.color = curve.get(plot::kColor).objectIf<platform::Color>();
  c.useContrastColor = boolOr(curve.get(plot::kUseContrastColor), false);
  c.dashed = boolOr(curve.get(plot::kDashed), false);
  c.drawAsLines = boolOr(curve.get(plot::kDrawAsLines), true);
  c.drawAsDots = boolOr(curve.get(plot::kDrawAsDots), false);
  c.drawAsSquares = boolOr(curve.get(plot::kDrawAsSquares), false);
  c.dotSize = optionalDouble(curve.get(plot::kDotSize));
  c.lineWidth = optionalDouble(curve.get(plot::kLineWidth));
  c.layer = curve.get(plot::kLayer);
  c.layerTitle = stringOr(curve.get(plot::kLayerTitle));
  c.xLabel = stringOr(get(plot::kXLabel));
  c.yLabel = stringOr(get(plot::kYLabel));
  c.xFormat = stringOr(get(plot::kXFormat), plot::kDefaultNumberFormat);
  c.yFormat = stringOr(get(plot::kYFormat), plot::kDefaultNumberFormat);
  return c;
}

std::size_t CurveStyle::pointCount() const {
  if (!xSeries || !ySeries) return 0;
  return std::min(xSeries->series().count(), ySeries->series().count());
}

// --- readout -------------------------------------------------------------------------------

namespace {

/// True when `format` converts exactly one double: "%%" escapes, then one conversion with
/// optional flags, width, precision and an "l" length, ending in one of "aAeEfFgG".
bool formatsOneDouble(const std::string& format) {
  int conversions = 0;
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%') continue;
    if (++i < format.size() && format[i] == '%') continue;
    while (i < format.size() && std::strchr("-+ #0", format[i])) ++i;
    while (i < format.size() && std::isdigit(static_cast<unsigned char>(format[i]))) ++i;
    if (i < format.size() && format[i] == '.') {
      ++i;
      while (i < format.size() && std::isdigit(static_cast<unsigned char>(format[i]))) ++i;
    }
    if (i < format.size() && format[i] == 'l') ++i;
    if (i >= format.size() || !std::strchr("aAeEfFgG", format[i])) return false;
    ++conversions;
  }
  return conversions == 1;
}

}  // namespace

std::string formatNumber(const std::string& format, double value) {
  const std::string& f = formatsOneDouble(format) ? format : std::string(plot::kDefaultNumberFormat);
  return platform::format(f.c_str(), value);
}

std::string readoutText(const CurveStyle& curve, double x, double y) {
  std::string text;
  if (!curve.name.empty()) text = curve.name + ", ";
  text += curve.xLabel + " = " + formatNumber(curve.xFormat, x);
  text += ", " + curve.yLabel + " = " + formatNumber(curve.yFormat, y);
  return text;
}

// --- multiplot -----------------------------------------------------------------------------

std::vector<Value> multiplotLayers(const Array& curves) {
  std::vector<Value> layers;
  for (const auto& c : curves) {
    if (!c.isDictionary()) continue;
    Value layer = c.asDictionary().get(plot::kLayer);
    if (!layer.isNil() && std::find(layers.begin(), layers.end(), layer) == layers.end()) layers.push_back(layer);
  }
  return layers;
}

bool curveIsInLayer(const Dictionary& curve, const Value& layer) {
  Value own = curve.get(plot::kLayer);
  return own.isNil() || own == layer;
}

std::string frameTitle(const Dictionary& plot, const Value& layer) {
  std::optional<std::string> common;
  bool same = true;
  if (Value curves = plot.get(plot::kCurves); curves.isArray())
    for (const auto& c : curves.asArray()) {
      if (!c.isDictionary() || !curveIsInLayer(c.asDictionary(), layer)) continue;
      Value title = c.asDictionary().get(plot::kLayerTitle);
      if (!title.isString()) {
        same = false;
        break;
      }
      if (!common)
        common = title.asString();
      else if (*common != title.asString())
        same = false;
    }
  if (same && common) return *common;
  return stringOr(plot.get(plot::kTitle));
}

void setValueOnEveryCurve(Array& curves, std::string_view key, const Value& value) {
  for (auto& c : curves) {
    if (!c.isDictionary()) continue;
    Dictionary d = c.asDictionary();
    d.set(Value(key), value);
    c = Value(std::move(d));
  }
}

}  // namespace orb::analysis
