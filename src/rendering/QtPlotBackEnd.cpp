#include "rendering/QtPlotBackEnd.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPen>

namespace orb::rendering {

QColor toQColor(const PlotColor& c) { return QColor::fromRgbF(float(c.red), float(c.green), float(c.blue), float(c.alpha)); }

PlotColor fromQColor(const QColor& color) {
  QColor c = color.toRgb();
  return {c.redF(), c.greenF(), c.blueF(), c.alphaF()};
}

QtPlotBackEnd::QtPlotBackEnd(QPainter& painter, double viewHeight, const QFont& font)
    : m_painter(painter), m_viewHeight(viewHeight), m_font(font), m_color(painter.pen().color()) {
  applyPen();
}

void QtPlotBackEnd::applyPen() {
  QPen pen(m_color, m_lineWidth);
  pen.setCapStyle(Qt::FlatCap);
  pen.setJoinStyle(Qt::RoundJoin);
  m_painter.setPen(pen);
  m_painter.setBrush(m_color);
}

void QtPlotBackEnd::moveTo(double x, double y) { m_pen = device(x, y); }

void QtPlotBackEnd::lineTo(double x, double y) {
  QPointF end = device(x, y);
  m_painter.drawLine(m_pen, end);
  m_pen = end;
}

void QtPlotBackEnd::fillDot(double x, double y, double size) {
  QPointF c = device(x, y);
  m_painter.save();
  m_painter.setPen(Qt::NoPen);
  m_painter.drawEllipse(c, size / 2, size / 2);
  m_painter.restore();
}

void QtPlotBackEnd::fillSquare(double x, double y, double size) {
  QPointF c = device(x, y);
  m_painter.fillRect(QRectF(c.x() - size / 2, c.y() - size / 2, size, size), m_color);
}

void QtPlotBackEnd::drawText(const std::string& text, double x, double y, double degrees) {
  double w, h;
  measureText(text, w, h);
  // Centre of the unrotated box, in device coordinates (the box's lower-left is at x, y).
  QPointF centre(x + w / 2, m_viewHeight - (y + h / 2));
  m_painter.save();
  m_painter.setFont(m_font);
  m_painter.setPen(toQColor(drawingContrastColor()));
  m_painter.translate(centre);
  m_painter.rotate(-degrees);
  m_painter.drawText(QRectF(-w / 2, -h / 2, w, h), Qt::AlignCenter, QString::fromUtf8(text.c_str()));
  m_painter.restore();
}

void QtPlotBackEnd::measureText(const std::string& text, double& width, double& height) {
  QFontMetricsF metrics(m_font);
  width = metrics.horizontalAdvance(QString::fromUtf8(text.c_str()));
  height = metrics.height();
}

void QtPlotBackEnd::saveState() { m_saved.push_back({m_color, m_lineWidth}); }

void QtPlotBackEnd::restoreState() {
  if (m_saved.empty()) return;
  m_color = m_saved.back().color;
  m_lineWidth = m_saved.back().lineWidth;
  m_saved.pop_back();
  applyPen();
}

void QtPlotBackEnd::setColor(const PlotColor& color) {
  m_color = toQColor(color);
  applyPen();
}

void QtPlotBackEnd::setLineWidth(double width) {
  m_lineWidth = width;
  applyPen();
}

}  // namespace orb::rendering
