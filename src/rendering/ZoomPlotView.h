#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Object.h"
#include "platform/Value.h"
#include "rendering/PlotGraph.h"
#include "rendering/ZoomView.h"

namespace orb::rendering {

/// The values of a plot series: an Array of numbers, Data holding native doubles, or an
/// object that answers "array" with one of those. Anything else gives no values.
std::vector<double> plotSeriesValues(const platform::Value& series);
/// Reads series objects of the layers above (the analysis layer's series values): tried
/// first for object values, null answers fall through to the forms above.
using PlotSeriesReader = std::function<std::optional<std::vector<double>>(const platform::Value&)>;
void setPlotSeriesReader(PlotSeriesReader reader);

/// Draws one plot dictionary (an analysis's published result) as a 2-D graph: curves,
/// frame, ticks, labels, zero lines, title, axis labels and legend, optionally as a stack
/// of bands ("multiplot"), and reads out the mouse position in user units.
///
/// A window shows a calculator's result by calling `setPlotDictionary` with each newly
/// published dictionary (or `bindPlotDictionary` to an observable key path).
class ZoomPlotView : public ZoomView {
 public:
  explicit ZoomPlotView(QWidget* parent = nullptr);
  ~ZoomPlotView() override;

  const platform::Dictionary& plotDictionary() const { return m_plotDictionary; }
  void setPlotDictionary(platform::Dictionary dictionary);
  /// Follows `object`'s value at `keyPath` (a dictionary, or nil for none).
  void bindPlotDictionary(const std::shared_ptr<platform::Object>& object, std::string keyPath);
  void unbindPlotDictionary();

  /// The dictionary actually drawn: transposed and merged with the remembered extents as
  /// the plot dictionary asks; after a drawing its curves carry "frameMinY"/"frameMaxY".
  const platform::Dictionary& filteredPlotDictionary();
  void setFilteredPlotDictionary(std::optional<platform::Dictionary> dictionary);
  platform::Dictionary filteredVersionOfPlotDictionary(const platform::Dictionary& dictionary) const;
  /// Exchanges keys beginning with "x" and "y"; others are untouched.
  static platform::Dictionary dictionaryExchangingXY(const platform::Dictionary& dictionary);

  /// Data extents of the last drawing (untransposed key names).
  const platform::Dictionary& scaleOnlyExpandsDictionary() const { return m_scaleOnlyExpandsDictionary; }
  /// Plotted ranges of the last drawing (untransposed key names).
  const platform::Dictionary& feedbackDictionary() const { return m_feedbackDictionary; }
  bool zoomedToFit() const { return m_zoomedToFit; }
  int numberOfMultiplots() const { return m_numberOfMultiplots; }
  double frameDeltaY() const { return m_frameDeltaY; }
  PlotGraph* graph() const { return m_graph; }
  PlotPort* port() const { return m_port; }

  void zoomToFit() override;
  void zoom(const QRectF& rect, bool out) override;
  void immediateZoom(const QRectF& rect, bool out) override;
  ZoomExtents extents() const override;
  QPointF userPointForViewPoint(QPointF viewPoint) override;
  std::string commentForPresentMousePosition() const override;
  void mouseMoved(QMouseEvent* event) override;
  void leftMouseUp(QMouseEvent* event) override;
  void modelChanged() { update(); }

  QCursor defaultCursor() const override { return Qt::CrossCursor; }
  bool disableContextualMenus() const override { return false; }

 protected:
  void setupTransformation(QPainter&) override {}
  void drawContent(QPainter& painter, const platform::Dictionary& options) override;
  void drawBoxes(QPainter& painter) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  /// Resizes the window so that every band keeps its height when the band count changes.
  virtual void multiplotTransition(int newWindowHeight);

 private:
  struct Curve {
    platform::Dictionary dictionary;
    std::vector<double> x, y;
  };
  void drawGraph();
  void addCurve(Curve& curve);
  void styleCurve(const void* context, PlotGraph* graph);

  platform::Dictionary m_plotDictionary;
  std::optional<platform::Dictionary> m_filteredPlotDictionary;
  platform::Dictionary m_scaleOnlyExpandsDictionary;
  platform::Dictionary m_feedbackDictionary;
  PlotPort* m_port = nullptr;
  PlotGraph* m_graph = nullptr;
  bool m_zoomedToFit = true;
  int m_numberOfMultiplots = 0;
  int m_bandsOfLastCurves = 0;  ///< bands of the last drawing that had curves
  double m_frameDeltaY = 0;
  bool m_doubleClick = false;
  std::vector<Curve> m_curves;  ///< the curves of the last drawing, in array order
  platform::Observation m_binding;
};

}  // namespace orb::rendering
