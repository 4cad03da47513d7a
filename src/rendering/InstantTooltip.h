#pragma once

#include <QPoint>
#include <QString>
#include <memory>

class QLabel;
class QWidget;

namespace orb::rendering {

/// A tool tip that shows at once, where and as long as the caller wants (the
/// platform's tool tips wait for the mouse to rest and place themselves).
class OBInstantTooltip {
public:
  OBInstantTooltip() = delete;

  /// A label holding `text` in the tool-tip font at the small system size,
  /// neither editable nor selectable, without frame or background, sized to fit
  /// its text.
  static std::unique_ptr<QLabel> textFieldForString(const QString &text);
  /// That label in a tool-tip-like window as large as the label, its lower-left
  /// corner at `bottomLeft` (global coordinates), shown at once. The caller
  /// owns and closes it.
  static std::unique_ptr<QWidget> show(const QString &text, QPoint bottomLeft);

  /// The small system font size, in points.
  static constexpr double kSmallSystemFontSize = 11;
};

} // namespace orb::rendering
