#include "rendering/InstantTooltip.h"

#include <QLabel>
#include <QToolTip>

#include "rendering/TooltipLikeWindow.h"

namespace orb::rendering {

std::unique_ptr<QLabel>
OBInstantTooltip::textFieldForString(const QString &text) {
  auto label = std::make_unique<QLabel>();
  label->resize(10, 10);
  label->setTextFormat(Qt::PlainText);
  label->setTextInteractionFlags(Qt::NoTextInteraction);
  label->setFrameShape(QFrame::NoFrame);
  label->setAutoFillBackground(false);
  label->setAttribute(Qt::WA_TranslucentBackground);
  QFont font = QToolTip::font();
  font.setPointSizeF(kSmallSystemFontSize);
  label->setFont(font);
  label->setContentsMargins(3, 2, 3, 2);
  label->setText(text);
  label->adjustSize();
  return label;
}

std::unique_ptr<QWidget> OBInstantTooltip::show(const QString &text,
                                                QPoint bottomLeft) {
  auto label = textFieldForString(text);
  const QSize size = label->size();
  auto window = tooltipLikeWindowWithContentRect(
      QRect(QPoint(bottomLeft.x(), bottomLeft.y() - size.height()), size));
  label->setParent(window.get());
  label->move(0, 0);
  label.release()->show(); // owned by the window from here on
  window->show();
  return window;
}

} // namespace orb::rendering
