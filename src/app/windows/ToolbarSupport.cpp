#include "app/windows/ToolbarSupport.h"

#include <QAction>
#include <QIcon>
#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QMenu>
#include <QSizePolicy>
#include <QStyle>
#include <QToolBar>
#include <QWidget>
#include <QWidgetAction>
#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <utility>

#include "platform/Resources.h"

namespace orb::app::toolbar {

namespace {

// --- the item icons ------------------------------------------------------------------------------
// Line drawings on a 24-unit grid, scaled to whatever size the toolbar asks for: one ink colour for the
// outline and a few accents, so that the icons read as a family at 16 and at 32 pixels alike.

struct Palette {
  QColor ink, blue, green, orange, red, tint;
};

Palette paletteFor(QIcon::Mode mode) {
  if (mode == QIcon::Disabled) {
    const QColor grey(150, 150, 150);
    return {grey, grey, grey, grey, grey, QColor(225, 225, 225)};
  }
  return {QColor(48, 56, 66), QColor(30, 110, 215), QColor(40, 150, 70), QColor(225, 125, 0), QColor(205, 55, 45),
          QColor(205, 225, 250)};
}

using Drawing = void (*)(QPainter&, const Palette&);

QPen pen(const QColor& c, double width = 1.6) {
  QPen p(c, width);
  p.setCapStyle(Qt::RoundCap);
  p.setJoinStyle(Qt::RoundJoin);
  return p;
}

void arrowHead(QPainter& p, QPointF tip, double angleDegrees, double size = 4.0) {
  const double a = angleDegrees * M_PI / 180.0, spread = 0.6;
  p.drawLine(tip, tip - size * QPointF(std::cos(a - spread), std::sin(a - spread)));
  p.drawLine(tip, tip - size * QPointF(std::cos(a + spread), std::sin(a + spread)));
}

// A biconvex lens between x = cx ± w/2, of height h, centred on the axis y = 12.
QPainterPath lensShape(double cx, double w, double h) {
  QPainterPath path;
  path.moveTo(cx, 12 - h / 2);
  path.quadTo(cx + w, 12, cx, 12 + h / 2);
  path.quadTo(cx - w, 12, cx, 12 - h / 2);
  return path;
}

void drawZoomToFit(QPainter& p, const Palette& c) {
  p.setPen(pen(c.ink));
  const double a = 3, b = 21, l = 5;
  for (const auto& [x, y, dx, dy] : {std::array{a, a, 1.0, 1.0}, std::array{b, a, -1.0, 1.0},
                                     std::array{a, b, 1.0, -1.0}, std::array{b, b, -1.0, -1.0}}) {
    p.drawLine(QPointF(x, y), QPointF(x + dx * l, y));
    p.drawLine(QPointF(x, y), QPointF(x, y + dy * l));
  }
  p.setBrush(c.tint);
  p.setPen(pen(c.blue, 1.4));
  p.drawPath(lensShape(12, 7, 11));
}

void drawSurfaces(QPainter& p, const Palette& c) {
  p.setPen(Qt::NoPen);
  p.setBrush(c.tint);
  p.drawRect(QRectF(3, 4, 18, 4));
  p.setBrush(Qt::NoBrush);
  p.setPen(pen(c.ink));
  p.drawRoundedRect(QRectF(3, 4, 18, 16), 1.5, 1.5);
  p.setPen(pen(c.ink, 1.1));
  for (double y : {8.0, 12.0, 16.0}) p.drawLine(QPointF(3, y), QPointF(21, y));
  p.drawLine(QPointF(9, 4), QPointF(9, 20));
  p.setPen(pen(c.blue, 1.4));
  p.drawLine(QPointF(11.5, 14), QPointF(18.5, 14));
}

void drawSources(QPainter& p, const Palette& c) {
  p.setPen(pen(c.orange));
  for (double angle : {-40.0, -20.0, 0.0, 20.0, 40.0}) {
    const double a = angle * M_PI / 180;
    p.drawLine(QPointF(7 + 4.5 * std::cos(a), 12 + 4.5 * std::sin(a)), QPointF(7 + 15 * std::cos(a), 12 + 15 * std::sin(a)));
  }
  p.setPen(pen(c.ink));
  p.setBrush(c.orange);
  p.drawEllipse(QPointF(6, 12), 2.6, 2.6);
}

void drawDice(QPainter& p, const Palette& c) {
  p.setPen(pen(c.ink));
  p.setBrush(Qt::white);
  p.drawRoundedRect(QRectF(3.5, 3.5, 17, 17), 3.5, 3.5);
  p.setPen(Qt::NoPen);
  p.setBrush(c.ink);
  for (const auto& [x, y] : {std::pair{8.0, 8.0}, {16.0, 8.0}, {12.0, 12.0}, {8.0, 16.0}, {16.0, 16.0}})
    p.drawEllipse(QPointF(x, y), 1.5, 1.5);
}

void drawExport(QPainter& p, const Palette& c) {
  p.setPen(pen(c.ink));
  QPainterPath tray;
  tray.moveTo(8, 10);
  tray.lineTo(4, 10);
  tray.lineTo(4, 20);
  tray.lineTo(20, 20);
  tray.lineTo(20, 10);
  tray.lineTo(16, 10);
  p.drawPath(tray);
  p.setPen(pen(c.blue, 1.8));
  p.drawLine(QPointF(12, 16), QPointF(12, 3.5));
  arrowHead(p, QPointF(12, 3.5), -90);
}

void drawSliders(QPainter& p, const Palette& c) {
  const double knobs[] = {15, 8, 12.5};
  for (int i = 0; i < 3; ++i) {
    const double y = 6 + 6 * i;
    p.setPen(pen(c.ink, 1.4));
    p.drawLine(QPointF(3, y), QPointF(21, y));
    p.setPen(pen(c.ink, 1.2));
    p.setBrush(i == 1 ? c.blue : Qt::white);
    p.drawRoundedRect(QRectF(knobs[i] - 2, y - 2.5, 4, 5), 1, 1);
  }
}

void drawOptions(QPainter& p, const Palette& c) {
  // A gear: eight teeth around a rim with a hole.
  QPainterPath gear;
  const int teeth = 8;
  for (int i = 0; i < 2 * teeth; ++i) {
    const double r = i % 2 ? 7.0 : 9.5;
    for (double half : {-1.0, 1.0}) {
      const double a = (i + 0.5 * half * 0.8 + 0.5) * M_PI / teeth;
      const QPointF q(12 + r * std::cos(a), 12 + r * std::sin(a));
      if (gear.elementCount() == 0)
        gear.moveTo(q);
      else
        gear.lineTo(q);
    }
  }
  gear.closeSubpath();
  gear.addEllipse(QPointF(12, 12), 3, 3);
  gear.setFillRule(Qt::OddEvenFill);
  p.setPen(pen(c.ink, 1.3));
  p.setBrush(c.tint);
  p.drawPath(gear);
}

void drawInfo(QPainter& p, const Palette& c) {
  p.setPen(pen(c.blue));
  p.setBrush(Qt::NoBrush);
  p.drawEllipse(QPointF(12, 12), 9, 9);
  p.setPen(pen(c.blue, 2.2));
  p.drawLine(QPointF(12, 11), QPointF(12, 17));
  p.drawPoint(QPointF(12, 7.3));
}

void drawGlasses(QPainter& p, const Palette& c) {
  QPainterPath prism;
  prism.moveTo(11, 3.5);
  prism.lineTo(19, 19);
  prism.lineTo(3, 19);
  prism.closeSubpath();
  p.setPen(pen(c.ink, 1.4));
  p.setBrush(c.tint);
  p.drawPath(prism);
  p.setPen(pen(c.ink, 1.3));
  p.drawLine(QPointF(1.5, 14), QPointF(8.5, 11.5));
  p.drawLine(QPointF(8.5, 11.5), QPointF(14.5, 12));
  const QColor fan[] = {c.red, c.green, c.blue};
  for (int i = 0; i < 3; ++i) {
    p.setPen(pen(fan[i], 1.3));
    p.drawLine(QPointF(14.5, 12), QPointF(22.5, 13 + 2.6 * i));
  }
}

// A shelf of glass blocks: the catalog of glasses.
void drawGlassLibrary(QPainter& p, const Palette& c) {
  const QColor spines[] = {c.red, c.green, c.blue};
  const double tops[] = {5, 8, 3.5};
  for (int i = 0; i < 3; ++i) {
    const QRectF block(3 + 6.2 * i, tops[i], 5, 19.5 - tops[i]);
    p.setPen(pen(c.ink, 1.2));
    p.setBrush(c.tint);
    p.drawRect(block);
    p.setPen(pen(spines[i], 1.4));
    p.drawLine(QPointF(block.left() + 1.6, block.top() + 2.5), QPointF(block.left() + 1.6, block.bottom() - 2.5));
  }
  p.setPen(pen(c.ink, 1.6));
  p.drawLine(QPointF(1.5, 20.5), QPointF(22.5, 20.5));
}

void drawLayout(QPainter& p, const Palette& c) {
  p.setPen(pen(c.ink, 1.0));
  p.drawLine(QPointF(1.5, 12), QPointF(22.5, 12));
  p.setPen(pen(c.blue, 1.2));
  for (double y : {7.0, 17.0}) {
    p.drawLine(QPointF(2, y), QPointF(9, y));
    p.drawLine(QPointF(9, y), QPointF(20, 12));
  }
  p.setPen(pen(c.ink, 1.4));
  p.setBrush(c.tint);
  p.drawPath(lensShape(9, 6, 15));
  p.setPen(pen(c.ink, 1.4));
  p.drawLine(QPointF(20.5, 8), QPointF(20.5, 16));
}

void drawFocus(QPainter& p, const Palette& c) {
  p.setPen(pen(c.ink, 1.4));
  p.drawLine(QPointF(16, 4), QPointF(16, 20));
  p.setPen(pen(c.green, 1.4));
  for (double y : {4.5, 12.0, 19.5}) p.drawLine(QPointF(2, y), QPointF(16, 12));
  p.setPen(Qt::NoPen);
  p.setBrush(c.red);
  p.drawEllipse(QPointF(16, 12), 2.2, 2.2);
  p.setPen(pen(c.ink, 1.2));
  p.drawLine(QPointF(19, 12), QPointF(22.5, 12));
}

void drawBackOrForward(QPainter& p, const Palette& c, bool forward) {
  p.setPen(Qt::NoPen);
  p.setBrush(c.green);
  p.drawEllipse(QPointF(12, 12), 10, 10);
  p.setPen(pen(Qt::white, 2.2));
  const double s = forward ? 1 : -1;
  p.drawLine(QPointF(12 - 5 * s, 12), QPointF(12 + 5 * s, 12));
  arrowHead(p, QPointF(12 + 5 * s, 12), forward ? 0 : 180, 4.5);
}

void drawBack(QPainter& p, const Palette& c) { drawBackOrForward(p, c, false); }
void drawForward(QPainter& p, const Palette& c) { drawBackOrForward(p, c, true); }

void drawTumble(QPainter& p, const Palette& c) {
  p.setPen(pen(c.ink, 1.2));
  p.setBrush(c.tint);
  p.drawPath(lensShape(12, 5, 9));
  p.setBrush(Qt::NoBrush);
  p.setPen(pen(c.blue, 1.7));
  const QRectF ring(3, 3, 18, 18);
  p.drawArc(ring, 30 * 16, 300 * 16);
  // The arrow's head where the arc ends, pointing along it.
  const double end = (30 + 300) * M_PI / 180;
  arrowHead(p, QPointF(12 + 9 * std::cos(end), 12 - 9 * std::sin(end)), -60, 4);
}

const std::map<std::string, Drawing>& drawings() {
  static const std::map<std::string, Drawing> table{
      {"zoomToFit", drawZoomToFit},   {"zoomToFitSolid", drawZoomToFit}, {"tb-surfaces", drawSurfaces},
      {"tb-sources", drawSources},    {"dice", drawDice},                {"export", drawExport},
      {"slider-icon-27", drawSliders}, {"options", drawOptions},          {"tb-info", drawInfo},
      {"tb-glasses", drawGlasses},    {"tb-layout", drawLayout},         {"tb-pfoc", drawFocus},
      {"GL", drawGlassLibrary},
      {"green-back", drawBack},       {"green-forward", drawForward},    {"reloadflip", drawTumble},
  };
  return table;
}

class DrawnIconEngine : public QIconEngine {
 public:
  explicit DrawnIconEngine(Drawing drawing) : m_drawing(drawing) {}

  void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override {
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    const double side = std::min(rect.width(), rect.height());
    painter->translate(rect.x() + (rect.width() - side) / 2, rect.y() + (rect.height() - side) / 2);
    painter->scale(side / 24.0, side / 24.0);
    m_drawing(*painter, paletteFor(mode));
    painter->restore();
  }

  QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
    return scaledPixmap(size, mode, state, 1.0);
  }

  QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state, qreal scale) override {
    QPixmap pixmap(size * scale);
    pixmap.fill(Qt::transparent);
    {
      QPainter painter(&pixmap);
      paint(&painter, QRect(QPoint(0, 0), pixmap.size()), mode, state);
    }
    pixmap.setDevicePixelRatio(scale);
    return pixmap;
  }

  QIconEngine* clone() const override { return new DrawnIconEngine(m_drawing); }
  QString key() const override { return QStringLiteral("orbellineDrawn"); }

 private:
  Drawing m_drawing;
};

}  // namespace

QIcon itemIcon(const std::string& image) {
  const auto& table = drawings();
  const auto found = table.find(image);
  return found == table.end() ? QIcon() : QIcon(new DrawnIconEngine(found->second));
}

const std::vector<std::string>& drawnItemImages() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> out;
    for (const auto& [name, drawing] : drawings()) out.push_back(name);
    return out;
  }();
  return names;
}

const ItemDescription* findItemDescription(std::span<const ItemDescription> descriptions, const std::string& identifier) {
  const auto described =
      std::find_if(descriptions.begin(), descriptions.end(), [&](const ItemDescription& s) { return identifier == s.identifier; });
  return described == descriptions.end() ? nullptr : &*described;
}

QAction* makeItemAction(const ItemDescription& described, QObject* parent) {
  auto* item = new QAction(QString::fromUtf8(described.label), parent);
  item->setObjectName(QString::fromUtf8(described.identifier));
  item->setToolTip(QString::fromUtf8(described.toolTip));
  QIcon icon = itemIcon(described.image);
  // An image the program has no drawing of may still come as a picture among the resources.
  if (icon.isNull())
    if (auto path = platform::resources::pathFor(described.image, "png")) icon = QIcon(QString::fromStdString(*path));
  item->setIcon(icon);
  return item;
}

QToolBar* makeToolbar(QWidget* parent, const QString& name, QObject* context,
                      std::function<void(QMenu&)> populateMenu) {
  auto* toolbar = new QToolBar(parent);
  toolbar->setObjectName(name);
  toolbar->setMovable(false);
  // The style's toolbar icon size: the drawn icons are sharp at any.
  const int side = toolbar->style()->pixelMetric(QStyle::PM_ToolBarIconSize, nullptr, toolbar);
  toolbar->setIconSize(QSize(side, side));
  toolbar->setContextMenuPolicy(Qt::CustomContextMenu);
  QObject::connect(toolbar, &QToolBar::customContextMenuRequested, context,
                   [toolbar, populateMenu = std::move(populateMenu)](const QPoint& position) {
                     QMenu menu(toolbar);
                     populateMenu(menu);
                     menu.exec(toolbar->mapToGlobal(position));
                   });
  return toolbar;
}

std::vector<std::string> usableItemIdentifiers(const std::vector<std::string>& identifiers,
                                               const std::vector<std::string>& allowed,
                                               const std::function<bool(const std::string&)>& isKnown) {
  std::vector<std::string> usable;
  for (const auto& identifier : identifiers) {
    const bool isSpace = identifier == kFlexibleSpace;
    if (!isSpace && isKnown && !isKnown(identifier)) continue;
    if (std::find(allowed.begin(), allowed.end(), identifier) == allowed.end()) continue;
    if (!isSpace && std::find(usable.begin(), usable.end(), identifier) != usable.end()) continue;
    usable.push_back(identifier);
  }
  return usable;
}

std::optional<std::vector<std::string>> storedItemIdentifiers(const platform::Dictionary& configuration) {
  const auto* items = configuration.find(kItemIdentifiersKey);
  if (!items || !items->isArray()) return std::nullopt;
  std::vector<std::string> identifiers;
  for (const auto& item : items->asArray())
    if (item.isString()) identifiers.push_back(item.asString());
  return identifiers;
}

platform::Array itemIdentifierArray(const std::vector<std::string>& identifiers) {
  platform::Array items;
  for (const auto& identifier : identifiers) items.emplace_back(identifier);
  return items;
}

void fillToolbar(QToolBar* toolbar, const std::vector<std::string>& identifiers, std::vector<QAction*>& spacers,
                 const std::function<QAction*(const std::string&)>& itemFor) {
  toolbar->clear();
  for (QAction* spacer : spacers) delete spacer;  // and its widget
  spacers.clear();
  for (const auto& identifier : identifiers) {
    if (identifier == kFlexibleSpace) {
      auto* spacer = new QWidget();
      spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
      auto* action = new QWidgetAction(toolbar);
      action->setDefaultWidget(spacer);
      toolbar->addAction(action);
      spacers.push_back(action);
    } else if (QAction* item = itemFor(identifier)) {
      toolbar->addAction(item);
    }
  }
}

}  // namespace orb::app::toolbar
