#include "app/windows/ExpandingView.h"

#include <QFrame>
#include <algorithm>

#include "platform/Log.h"

namespace orb::app {

ExpandingView::ExpandingView(QWidget* parent, int width) : QWidget(parent) { setFixedSize(width, 0); }

QFrame* ExpandingView::makeSeparator() {
  auto* separator = new QFrame(this);
  separator->setFrameShape(QFrame::HLine);
  separator->setFrameShadow(QFrame::Plain);
  separator->setLineWidth(1);
  separator->setStyleSheet(QStringLiteral("color: #c8c8c8"));
  separator->setGeometry(0, 0, width(), 1);
  separator->show();
  return separator;
}

void ExpandingView::setStackHeight(int height) { setFixedHeight(std::max(0, height)); }

void ExpandingView::shiftFrom(int y, int dy, const QWidget* except) {
  for (auto [row, separator] : m_separators) {
    for (QWidget* w : {static_cast<QWidget*>(row), static_cast<QWidget*>(separator)})
      if (w != except && w->y() >= y) w->move(0, w->y() + dy);
  }
}

void ExpandingView::appendView(QWidget* view) {
  if (!view || containsView(view)) return;
  const int y = height();
  view->setParent(this);
  view->setGeometry(0, y, width(), view->height());
  view->show();
  auto* separator = makeSeparator();
  separator->move(0, y + view->height());
  m_separators[view] = separator;
  setStackHeight(y + view->height() + 1);
  renumberViews();
}

void ExpandingView::addViewAtY(QWidget* view, int y) {
  if (!view || containsView(view)) return;
  const int gap = view->height() + 1;
  shiftFrom(y, gap, nullptr);
  view->setParent(this);
  view->setGeometry(0, y, width(), view->height());
  view->show();
  auto* separator = makeSeparator();
  separator->move(0, y + view->height());
  m_separators[view] = separator;
  setStackHeight(height() + gap);
  renumberViews();
  update();
}

void ExpandingView::addViewBelowView(QWidget* view, QWidget* reference) {
  if (!reference || !containsView(reference)) {
    appendView(view);
    return;
  }
  const QFrame* separator = separatorOf(reference);
  addViewAtY(view, separator ? separator->geometry().bottom() + 1 : reference->geometry().bottom() + 1);
}

void ExpandingView::removeView(QWidget* view) {
  auto it = m_separators.find(view);
  if (it == m_separators.end()) return;
  QFrame* separator = it->second;
  const int y = view->y();
  const int gap = view->height() + separator->height();
  m_separators.erase(it);
  delete separator;
  view->hide();
  view->setParent(nullptr);
  shiftFrom(y + 1, -gap, nullptr);
  setStackHeight(height() - gap);
  update();
  renumberViewsExcluding(view);
}

void ExpandingView::updateViewHeight(QWidget* view, int newHeight) {
  if (!view) return;
  const int old = view->height();
  view->resize(view->width(), newHeight);
  auto it = m_separators.find(view);
  if (it != m_separators.end()) {
    const int dy = newHeight - old;
    shiftFrom(view->y() + 1, dy, view);
    setStackHeight(height() + dy);
  }
  renumberViews();
  update();
}

std::vector<QWidget*> ExpandingView::rows() const {
  std::vector<QWidget*> out;
  for (const auto& entry : m_separators) out.push_back(entry.first);
  std::stable_sort(out.begin(), out.end(), [](const QWidget* a, const QWidget* b) { return a->y() < b->y(); });
  return out;
}

QFrame* ExpandingView::separatorOf(const QWidget* view) const {
  auto it = m_separators.find(const_cast<QWidget*>(view));
  return it == m_separators.end() ? nullptr : it->second;
}

void ExpandingView::listSubviews() const {
  platform::log("-----");
  if (m_separators.empty()) platform::log("(no views)");
  for (QWidget* row : rows()) {
    platform::log("%s, y = %g, h = %g", row->metaObject()->className(), double(row->y()), double(row->height()));
    const QFrame* s = separatorOf(row);
    platform::log("%s, y = %g, h = %g", s->metaObject()->className(), double(s->y()), double(s->height()));
  }
  platform::log("-----");
}

}  // namespace orb::app
