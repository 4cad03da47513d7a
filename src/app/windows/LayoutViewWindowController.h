#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/windows/InterfaceFile.h"
#include "app/windows/LensCalculatorWindowController.h"
#include "rendering/ZoomHistory.h"

class QTimer;
class QVBoxLayout;
class QWidget;

namespace orb::analysis {
class LayoutCalculator;
}

namespace orb::app {

/// A window that shows the lens of a layout calculator in a zoomable view with a history
/// of view changes: the 2-D layout and the 3-D view. A new window frames the lens once,
/// when it is idle and the model has something to frame; a restored one keeps its saved
/// view. The toolbar's "back" and "forward" step through the view's history, their tool
/// tips refreshed every second.
class LayoutViewWindowController : public LensCalculatorWindowController {
  Q_OBJECT
 public:
  explicit LayoutViewWindowController(std::string nibName, const std::shared_ptr<SmartDocument>& document = {});
  ~LayoutViewWindowController() override;

  /// Frames the lens when the window is next idle (new windows do so unless restored).
  void zoomToFitWhenAwake() { m_willZoomToFitWhenAwake = true; }
  void haveViewZoomToFitWhenIdle();
  bool zoomToFitIsPending() const { return m_zoomToFitPending; }

  /// The "back" and "forward" tool tips from the view's history.
  void validateToolbar();
  QTimer* toolbarUpdateTimer() const { return m_toolbarUpdateTimer; }

 protected:
  /// What the toolbar shows of the view's history.
  struct ViewHistory {
    bool canGoBack = false;
    bool canGoForward = false;
    std::string backActionName;
    std::string forwardActionName;
  };

  void awakeFromNib() override;
  void windowWillClose() override;
  /// Connects "back" and "forward" to the view.
  void connectToolbarItem(const std::string& identifier, QAction* item) override;

  /// Gives the view its model; false when there is no view or no layout calculator.
  virtual bool attachModel() = 0;
  /// Takes the model from the view as the window closes.
  virtual void detachModel() = 0;
  /// The model has changed ("modelChangedNotification"), before a pending fit is retried.
  virtual void modelDidChange() {}
  /// Whether there is a view and its model has extents to frame yet (the view may refresh
  /// what it knows of them).
  virtual bool modelHasExtents() = 0;
  /// Frames the lens at once, leaving no step in the view's history.
  virtual void zoomViewToFitAtOnce() = 0;
  /// The view's history; nothing when there is no view.
  virtual std::optional<ViewHistory> viewHistory() const = 0;
  /// One step back ("back") or forward ("forward") through the view's history.
  virtual void stepViewHistory(bool forward) = 0;
  /// Whether "back" and "forward" are disabled while there is nothing to step to.
  virtual bool disablesHistoryItemsWhenEmpty() const { return true; }

  /// The saved view replaces the first fit of a new window.
  void cancelPendingZoomToFit() { m_zoomToFitPending = false; }

  /// The view's zoom rectangle as kept under "zoomData", and read back (nothing when the
  /// state has no usable one).
  static void encodeZoomData(platform::Dictionary& state, const rendering::ZoomData& zoom);
  static std::optional<rendering::ZoomData> decodeZoomData(const platform::Dictionary& state);
  /// The data under `key`, or null when there is none.
  static const platform::Data* dataFor(const platform::Dictionary& state, const char* key);

 private:
  void zoomToFitIfReady();

  QTimer* m_toolbarUpdateTimer = nullptr;
  bool m_willZoomToFitWhenAwake = true;
  bool m_zoomToFitPending = false;
  bool m_awakeAlready = false;
  platform::Observation m_modelObservation;
};

/// The outlets of a layout window: a new layout calculator drawn in `view`, the options
/// panel `makeOptionsPanel` builds for it, and "dice" drawing a new random ray set.
InterfaceOutlets layoutWindowOutlets(
    QWidget* view,
    const std::function<QWidget*(const std::shared_ptr<analysis::LayoutCalculator>&)>& makeOptionsPanel);

/// The layout calculator's options (surface colours, ray fan) as groups added to an
/// options panel's column; the layout and 3-D windows share them.
void addLayoutCalculatorOptions(QVBoxLayout* column, const std::shared_ptr<analysis::LayoutCalculator>& calculator,
                                QWidget* panel);

}  // namespace orb::app
