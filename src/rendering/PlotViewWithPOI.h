#pragma once

#include <QPointF>
#include <cstddef>
#include <functional>
#include <limits>
#include <string>

#include "rendering/ZoomPlotView.h"

namespace orb::platform {
class UserDefaults;
}

namespace orb::rendering {

/// A plot view on which the user picks one data point, the point of interest: a click
/// (in select mode) picks the point nearest on screen, the arrow keys step along the
/// curve (left, right) and between curves (up, down), Shift-click or pressing the select
/// mode again clears it. The point is marked with a small red square and described as
/// "xLabel = x, yLabel = y" (prefixed with the curve's "name"), formatted with the
/// curve's "xFormat" and "yFormat".
///
/// The point is kept as indices into the filtered dictionary's curves, so it survives new
/// results of the same shape; indices that no longer fit are dropped when drawn.
class PlotViewWithPOI : public ZoomPlotView {
 public:
  static constexpr std::size_t kNotFound = std::numeric_limits<std::size_t>::max();

  explicit PlotViewWithPOI(QWidget* parent = nullptr);

  /// Select mode, no point of interest.
  void nontrivialize();
  void resetCurveAndPointOfInterest();
  /// Clears the point of interest and redraws.
  void resetPOI();

  std::size_t indexOfCurveOfInterest() const { return m_curveOfInterest; }
  std::size_t indexOfPointOfInterest() const { return m_pointOfInterest; }
  bool hasPointOfInterest() const { return m_curveOfInterest != kNotFound && m_pointOfInterest != kNotFound; }
  /// Sets both indices (as a pick would) and redraws.
  void setCurveAndPointOfInterest(std::size_t curve, std::size_t point);

  /// Empty when there is no point of interest.
  const std::string& pointOfInterestDescription() const { return m_description; }
  double pointOfInterestAbscissa() const { return m_abscissa; }
  double pointOfInterestOrdinate() const { return m_ordinate; }
  /// Called whenever the description or the coordinates change (for a read-out).
  void setPointOfInterestChangedHandler(std::function<void()> handler) { m_poiChanged = std::move(handler); }

  void incrementPointOfInterest();
  void decrementPointOfInterest();
  virtual void incrementCurveOfInterest();
  virtual void decrementCurveOfInterest();

  /// Picks the point nearest to `viewPoint` (view units, y up) among the drawn curves;
  /// in a multiplot only the curves of the band clicked.
  void setCurveAndPointOfInterestFromViewPoint(QPointF viewPoint);
  /// Recomputes the description and the coordinates from the present indices.
  void updatePointOfInterestDescription();

  /// `format` when it is a printf format for exactly one double (one of e E f F g G a A,
  /// with flags, width and precision of at most two digits, and literal text around it),
  /// else "%e": curve formats come from data files and are not trusted.
  static std::string safeDoubleFormat(const std::string& format);
  /// `value` printed with `safeDoubleFormat(format)`.
  static std::string formatDouble(const std::string& format, double value);

  void mouseModeStress() override;
  void mouseMoved(QMouseEvent* event) override;

 protected:
  void drawContent(QPainter& painter, const platform::Dictionary& options) override;
  void selectMouseDown(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

  /// Sets the port frame to the band the curve was drawn in (the whole bounds when it has
  /// none) and applies the graph's plot area and plotted ranges to it.
  void restoreDataCoordinateSystemForCurve(const platform::Dictionary& curve);
  /// The drawn curves (with their bands), in array order.
  platform::Array drawnCurves();
  /// The red square round the point of interest; resets indices that no longer fit.
  void plotPointOfInterestWithCurves(const platform::Array& curves, QPainter& painter);
  /// Tells the read-out that the point moved.
  void pointOfInterestChanged();
  void setIndices(std::size_t curve, std::size_t point) {
    m_curveOfInterest = curve;
    m_pointOfInterest = point;
  }

 private:
  /// One wrapping step of the point along its curve, or of the curve, forward or back.
  void stepPointOfInterest(bool forward);
  void stepCurveOfInterest(bool forward);

  std::size_t m_curveOfInterest = kNotFound;
  std::size_t m_pointOfInterest = kNotFound;
  std::string m_description;
  double m_abscissa = 0, m_ordinate = 0;
  std::function<void()> m_poiChanged;
  bool m_cursorHidden = false;  ///< by the arrow keys, until the mouse moves
};

/// A point-of-interest view for curves that sample the same thing differently: stepping
/// to another curve lands on its point nearest on screen to the present one, not on the
/// same index.
class PlotViewRegeneratingPOI : public PlotViewWithPOI {
 public:
  using PlotViewWithPOI::PlotViewWithPOI;

  /// The view point (y up) of the curve's point at `index`.
  QPointF viewPointForCurve(const platform::Dictionary& curve, std::size_t index);
  /// The index of the curve's point nearest on screen to `viewPoint` (the first of equal
  /// distances), or kNotFound when the curve has no finite point.
  std::size_t closestPointOnCurve(const platform::Dictionary& curve, QPointF viewPoint);
  /// Steps the curve by `delta` (+1 or −1, wrapping) and lands on its nearest point.
  void changeCurveIndexBy(int delta);

  void incrementCurveOfInterest() override { changeCurveIndexBy(1); }
  void decrementCurveOfInterest() override { changeCurveIndexBy(-1); }
};

/// The view of spot diagrams: a point-of-interest view whose background is black when the
/// user default "spotDiagramsUseBlackBackground" is set, else white.
class SpotView : public PlotViewWithPOI {
 public:
  explicit SpotView(QWidget* parent = nullptr);
  /// Reads the background choice from `defaults` instead of the standard defaults.
  SpotView(QWidget* parent, const platform::UserDefaults& defaults);
};

}  // namespace orb::rendering
