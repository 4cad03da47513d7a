#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/windows/ExportSheet.h"
#include "app/windows/LayoutViewWindowController.h"

class QMenu;

namespace orb::rendering {
class OBOpenGL;
}

namespace orb::app {

class LayoutOpenGLModel;

/// The 3-D view window ("SolidView"): the lens and its traced rays in a rotatable,
/// pickable view drawn from a layout calculator. A new window frames the lens once it is
/// idle; a restored one keeps its saved view ("extentsData", "worldCenterData",
/// "worldRotationData", "zoomData"). Its toolbar has back and forward through the view's
/// history (tool tips refreshed every second), tumble, and "Export" as DXF.
class SolidWindowController : public LayoutViewWindowController {
  Q_OBJECT
 public:
  explicit SolidWindowController(std::string nibName, const std::shared_ptr<SmartDocument>& document = {});
  ~SolidWindowController() override;

  rendering::OBOpenGL* solidView() const;
  const std::shared_ptr<LayoutOpenGLModel>& model() const { return m_model; }

  /// The 3-D window's toolbar keeps its own saved arrangement, apart from the layout's.
  std::string toolbarIdentifier() const override { return "Solid"; }
  std::vector<std::string> toolbarAllowedItemIdentifiers() const override;
  std::vector<std::string> toolbarDefaultItemIdentifiers() const override;

  void encodeRestorableState(platform::Dictionary& state) const override;
  void restoreState(const platform::Dictionary& state) override;

  /// "Export in DXF format": a save panel for a .dxf file; on OK the model is written
  /// there with the view's options. Cancel writes nothing.
  void exportAction() override;
  /// Writes the model as DXF; a failure leaves no file and is shown to the user.
  bool exportToDXFPath(const std::string& path);
  void setDxfPathChooser(SavePathChooser chooser) { m_dxfPathChooser = std::move(chooser); }

 protected:
  void connectToolbarItem(const std::string& identifier, QAction* item) override;
  bool attachModel() override;
  void detachModel() override;
  bool modelHasExtents() override;
  void zoomViewToFitAtOnce() override;
  std::optional<ViewHistory> viewHistory() const override;
  void stepViewHistory(bool forward) override;

 private:
  std::shared_ptr<LayoutOpenGLModel> m_model;
  SavePathChooser m_dxfPathChooser = runSavePanel;
};

/// The 3-D view's contextual menu: "Mode" (the present mode checked), zoom to fit, zoom to
/// the whole system, turn, back and forward. The caller owns it.
QMenu* solidViewContextMenu(rendering::OBOpenGL* view);

/// Registers the interface file "SolidView".
void registerSolidWindow();
/// The factory of the controller class "SolidWindowController".
SmartWindowController* makeSolidWindowController(const std::string& nibName,
                                                 const std::shared_ptr<SmartDocument>& document);

}  // namespace orb::app
