#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/linear/VKSeries.h"
#include "platform/Color.h"
#include "platform/Object.h"
#include "platform/Value.h"

namespace orb::analysis {

/// The plot dictionary: the one form in which every analysis publishes a 2-D result. A
/// calculator builds a new one on its worker thread and hands it whole to the main
/// thread; the plot views, the point-of-interest readout and the exports read it. Keys a
/// writer leaves out take the defaults of PlotSettings and CurveStyle below.
namespace plot {
// Top level.
inline constexpr const char* kTitle = "title";
inline constexpr const char* kXLabel = "xLabel";  // also a curve key (readout name)
inline constexpr const char* kYLabel = "yLabel";
inline constexpr const char* kCurves = "curves";  // array of curve dictionaries, drawn last to first
inline constexpr const char* kPlotTight = "plotTight";
inline constexpr const char* kXTight = "xTight";
inline constexpr const char* kYTight = "yTight";
inline constexpr const char* kScaleOnlyExpands = "scaleOnlyExpands";
inline constexpr const char* kTransposeAxes = "transposeAxes";
inline constexpr const char* kMultiplot = "multiplot";
inline constexpr const char* kShowLegend = "showLegend";
inline constexpr const char* kXMin = "xMin";
inline constexpr const char* kXMax = "xMax";
inline constexpr const char* kYMin = "yMin";
inline constexpr const char* kYMax = "yMax";
inline constexpr const char* kEqualAxis = "equalAxis";
inline constexpr const char* kIsotropic = "isotropic";
inline constexpr const char* kCenterAxis = "centerAxis";
inline constexpr const char* kDrawZeroLines = "drawZeroLines";
inline constexpr const char* kDrawTestPattern = "drawTestPattern";
// Curves.
inline constexpr const char* kXSeries = "xSeries";  // SeriesValue
inline constexpr const char* kYSeries = "ySeries";
inline constexpr const char* kName = "name";
inline constexpr const char* kColor = "color";  // platform::Color
inline constexpr const char* kUseContrastColor = "useColorHavingGoodContrastAgainstBackground";
inline constexpr const char* kDashed = "dashed";
inline constexpr const char* kDrawAsLines = "drawAsLines";
inline constexpr const char* kDrawAsDots = "drawAsDots";
inline constexpr const char* kDrawAsSquares = "drawAsSquares";
inline constexpr const char* kDotSize = "dotSize";
inline constexpr const char* kLineWidth = "lineWidth";
inline constexpr const char* kLayer = "layer";
inline constexpr const char* kLayerTitle = "layerTitle";
inline constexpr const char* kXFormat = "xFormat";
inline constexpr const char* kYFormat = "yFormat";
inline constexpr const char* kFrameMinY = "frameMinY";  // written by the view only
inline constexpr const char* kFrameMaxY = "frameMaxY";
// Kept by calculators for their own use; the views ignore them.
inline constexpr const char* kWave = "wave";
inline constexpr const char* kField = "field";
inline constexpr const char* kUpdateColor = "updateColor";
inline constexpr const char* kLockAlpha = "lockAlpha";

inline constexpr const char* kDefaultNumberFormat = "%e";

/// The key read in place of `key` when the axes are transposed: a leading "x" becomes
/// "y" and the reverse; other keys stay.
std::string transposedKey(std::string_view key);
/// The value of `key`, through the transposition when `transposed`.
platform::Value get(const platform::Dictionary& d, std::string_view key, bool transposed = false);
}  // namespace plot

/// An immutable series of a plot dictionary ("xSeries", "ySeries"): shared between the
/// worker that made it and the views that draw it, never changed after it is made.
class SeriesValue : public platform::Object {
 public:
  explicit SeriesValue(foundation::VKSeries series) : m_series(std::move(series)) {}
  static platform::Value make(foundation::VKSeries series);
  /// The series held by `value`, or null when it holds none.
  static const foundation::VKSeries* from(const platform::Value& value);

  const foundation::VKSeries& series() const { return m_series; }
  std::string className() const override { return "SeriesValue"; }
  std::string description() const override { return m_series.detailedDescription(); }
  bool isEqualTo(const platform::Object& other) const override;

 private:
  const foundation::VKSeries m_series;
};

/// The top-level settings of a plot dictionary with the readers' defaults applied.
/// Optional fields left empty mean "the plot engine's default".
struct PlotSettings {
  std::string title, xLabel, yLabel;
  std::optional<bool> xTight, yTight;  // "plotTight", overridden per axis by "xTight"/"yTight"
  bool scaleOnlyExpands = false;
  bool transposeAxes = false;
  bool multiplot = false;
  std::optional<int> showLegend;
  std::optional<double> xMin, xMax, yMin, yMax;
  std::optional<bool> equalAxis, isotropic, centerAxis;
  bool drawZeroLines = true;
  bool drawTestPattern = false;

  static PlotSettings read(const platform::Dictionary& plot);
};

/// One curve with the readers' defaults applied, read through the plot's transposition.
struct CurveStyle {
  std::shared_ptr<const SeriesValue> xSeries, ySeries;
  std::string name;
  std::shared_ptr<platform::Color> color;
  bool useContrastColor = false;
  bool dashed = false;
  bool drawAsLines = true;
  bool drawAsDots = false;
  bool drawAsSquares = false;
  std::optional<double> dotSize, lineWidth;
  platform::Value layer;  // nil: drawn in every frame
  std::string layerTitle;
  std::string xLabel, yLabel;
  std::string xFormat = plot::kDefaultNumberFormat;
  std::string yFormat = plot::kDefaultNumberFormat;

  static CurveStyle read(const platform::Dictionary& curve, bool transposed = false);
  /// Points drawn: both series present, the shorter count if they differ.
  std::size_t pointCount() const;
};

/// The point-of-interest readout: "name, xLabel = x, yLabel = y", the name part only when
/// the curve has a name. A number format that is not a single conversion of a double is
/// replaced by "%e", so a bad format cannot misread the arguments.
std::string readoutText(const CurveStyle& curve, double x, double y);
/// printf of one double with `format`, checked as readoutText says.
std::string formatNumber(const std::string& format, double value);

/// Multiplot frames: the distinct "layer" values of the curves in order of first
/// appearance (curves without a layer belong to every frame).
std::vector<platform::Value> multiplotLayers(const platform::Array& curves);
/// Whether a curve is drawn in the frame of `layer`.
bool curveIsInLayer(const platform::Dictionary& curve, const platform::Value& layer);
/// A frame's title: the common "layerTitle" of its curves when they all carry the same
/// one, else the plot's title.
std::string frameTitle(const platform::Dictionary& plot, const platform::Value& layer);

/// Sets `key` on every curve of a list (readout labels are set once all curves,
/// reference curves included, have been appended).
void setValueOnEveryCurve(platform::Array& curves, std::string_view key, const platform::Value& value);

}  // namespace orb::analysis
