#pragma once

#include <QColor>
#include <memory>
#include <string>
#include <vector>

#include "app/windows/LayoutViewWindowController.h"
#include "platform/Observation.h"

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
/// is one undoable edit of the document, and so is a paste of surfaces. The
/// surfaces a rectangle selects are the document's shared surface selection (the
/// surface table's rows), and a selection made elsewhere shows as the rectangle
/// over those surfaces.
class PlanarWindowController : public LayoutViewWindowController {
  Q_OBJECT
 public:
  explicit PlanarWindowController(std::string nibName, const std::shared_ptr<SmartDocument>& document = {});
  ~PlanarWindowController() override;

  rendering::PlanarView* planarView() const;
  const std::shared_ptr<LayoutPlanarModel>& model() const { return m_model; }

  /// "Planar": the layout keeps its toolbar arrangement apart from the 3-D view's, whose
  /// calculator is of the same class.
  std::string toolbarIdentifier() const override { return "Planar"; }
  std::vector<std::string> toolbarAllowedItemIdentifiers() const override;
  std::vector<std::string> toolbarDefaultItemIdentifiers() const override;

  /// The colour of test-ray annotations in the layout.
  static QColor testRayTextColor() { return Qt::blue; }

  void encodeRestorableState(platform::Dictionary& state) const override;
  void restoreState(const platform::Dictionary& state) override;

 protected:
  void connectToolbarItem(const std::string& identifier, QAction* item) override;
  bool attachModel() override;
  void detachModel() override;
  void modelDidChange() override;
  bool modelHasExtents() override;
  void zoomViewToFitAtOnce() override;
  std::optional<ViewHistory> viewHistory() const override;
  void stepViewHistory(bool forward) override;

 private:
  /// Shows the document's shared surface selection, unless it is the layout's own.
  void showSharedSelection();

  std::shared_ptr<LayoutPlanarModel> m_model;
  platform::Observation m_sharedSelectionObservation;
};

/// Registers the interface file "PlanarView".
void registerPlanarWindow();
/// The factory of the controller class "PlanarWindowController".
SmartWindowController* makePlanarWindowController(const std::string& nibName,
                                                  const std::shared_ptr<SmartDocument>& document);

}  // namespace orb::app
