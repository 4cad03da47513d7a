#pragma once

#include <QColor>
#include <memory>
#include <string>
#include <vector>

#include "app/windows/LensCalculatorWindowController.h"

class QTimer;

namespace orb::rendering {
class PlanarView;
}

namespace orb::app {

class LayoutPlanarModel;

/// The layout window ("PlanarView"), a lens document's main window: the lens
/// and its rays as a ZY or ZX section drawn from a layout calculator. A new
/// window frames the lens once it has something to show; a restored one keeps
/// its saved "zoomData". The toolbar steps back and forward through the view's
/// history (tool tips refreshed every second). A drag of the selected surfaces
/// is one undoable edit of the document.
class PlanarWindowController : public LensCalculatorWindowController {
  Q_OBJECT
 public:
  explicit PlanarWindowController(std::string nibName, const std::shared_ptr<SmartDocument>& document = {});
  ~PlanarWindowController() override;

  rendering::PlanarView* planarView() const;
  const std::shared_ptr<LayoutPlanarModel>& model() const { return m_model; }

  /// Frames the lens when the window is next idle (new windows do so unless
  /// restored).
  void zoomToFitWhenAwake() { m_willZoomToFitWhenAwake = true; }
  void haveViewZoomToFitWhenIdle();
  bool zoomToFitIsPending() const { return m_zoomToFitPending; }

  /// "Planar": the layout keeps its toolbar arrangement apart from the 3-D view's, whose
  /// calculator is of the same class.
  std::string toolbarIdentifier() const override { return "Planar"; }
  std::vector<std::string> toolbarAllowedItemIdentifiers() const override;
  std::vector<std::string> toolbarDefaultItemIdentifiers() const override;
  /// The "back" and "forward" tool tips from the view's history.
  void validateToolbar();
  QTimer* toolbarUpdateTimer() const { return m_toolbarUpdateTimer; }

  /// The colour of test-ray annotations in the layout.
  static QColor testRayTextColor() { return Qt::blue; }

  void encodeRestorableState(platform::Dictionary& state) const override;
  void restoreState(const platform::Dictionary& state) override;

 protected:
  void awakeFromNib() override;
  void windowWillClose() override;
  void connectToolbarItem(const std::string& identifier, QAction* item) override;

 private:
  void zoomToFitIfReady();

  std::shared_ptr<LayoutPlanarModel> m_model;
  QTimer* m_toolbarUpdateTimer = nullptr;
  bool m_willZoomToFitWhenAwake = true;
  bool m_zoomToFitPending = false;
  bool m_awakeAlready = false;
  platform::Observation m_modelObservation;
};

/// Registers the interface file "PlanarView".
void registerPlanarWindow();
/// The factory of the controller class "PlanarWindowController".
SmartWindowController* makePlanarWindowController(const std::string& nibName,
                                                  const std::shared_ptr<SmartDocument>& document);

}  // namespace orb::app
