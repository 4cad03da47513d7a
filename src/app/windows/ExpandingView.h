#pragma once

#include <QWidget>
#include <map>
#include <vector>

class QFrame;

namespace orb::app {

/// A vertical stack of row views, each with a one-point separator under it, that grows
/// and shrinks as rows are added, removed or resized. Coordinates grow downwards; the
/// stack's own height is the sum of its rows and separators, so a scroll area around it
/// scrolls exactly over the rows.
///
/// Rows are not owned by the stack once removed: whoever made them keeps them (for undo).
class ExpandingView : public QWidget {
  Q_OBJECT
 public:
  explicit ExpandingView(QWidget* parent = nullptr, int width = 500);

  /// Appends a row at the bottom.
  void appendView(QWidget* view);
  /// Inserts a row at `y`: everything at or below moves down by the row's height + 1.
  void addViewAtY(QWidget* view, int y);
  /// Inserts below `reference` (under its separator); appends without one.
  void addViewBelowView(QWidget* view, QWidget* reference);
  /// Takes a row (and its separator) out; everything below moves up by the gap.
  void removeView(QWidget* view);
  /// Gives a row a new height; the rows below follow.
  void updateViewHeight(QWidget* view, int height);

  bool containsView(const QWidget* view) const { return m_separators.count(const_cast<QWidget*>(view)) != 0; }
  /// The rows, top to bottom.
  std::vector<QWidget*> rows() const;
  int countOfSubviews() const { return static_cast<int>(m_separators.size() * 2); }
  QFrame* separatorOf(const QWidget* view) const;
  /// Logs every row and separator with its y and height.
  void listSubviews() const;

 protected:
  /// Called after every layout change; `excluded` is a row that is leaving.
  virtual void renumberViewsExcluding(QWidget* excluded) { (void)excluded; }
  void renumberViews() { renumberViewsExcluding(nullptr); }

 private:
  QFrame* makeSeparator();
  void setStackHeight(int height);
  void shiftFrom(int y, int dy, const QWidget* except);

  std::map<QWidget*, QFrame*> m_separators;  // row → its separator
};

}  // namespace orb::app
