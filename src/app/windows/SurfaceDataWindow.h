#pragma once

#include <QPointer>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/windows/ToolbarSupport.h"
#include "app/windows/WindowControllerWithDocumentController.h"
#include "platform/Observation.h"

class QAction;
class QMenu;
class QTimer;
class QToolBar;
class QVBoxLayout;

namespace orb::app {

class OBDocument;
class SolveSheetController;
class SurfaceArrayController;
class SurfaceDataTableView;

/// The surface data editor ("SurfaceData", one per document): the surface table
/// on top, the tables of the selected surface (its parameters) in a lower part
/// that folds away, and a toolbar of the document's nearby windows. Folding
/// keeps the window's top edge and the upper part's size: the window loses (or
/// regains) exactly the lower part's height. Solves that need settings open
/// their sheets over this window.
class SurfaceDataWindowController : public WindowControllerWithDocumentController {
  Q_OBJECT
 public:
  static constexpr int kLowerPartHeight = 330;
  static constexpr const char* kFlexibleSpace = toolbar::kFlexibleSpace;

  explicit SurfaceDataWindowController(std::string nibName, const std::shared_ptr<SmartDocument>& document = {});
  ~SurfaceDataWindowController() override;

  SurfaceArrayController* surfaceArrayController() const { return m_surfaceArrayController; }
  SurfaceDataTableView* surfaceTable() const;
  /// The folding part below the surface table; its layout takes the small
  /// tables.
  QWidget* lowerPart() const;
  QVBoxLayout* lowerPartLayout() const;
  /// The parameter table of the selected surface, when the build has one.
  QWidget* parameterTable() const { return m_parameterTable; }
  SolveSheetController* solveSheetController() const { return m_solveSheetController; }

  bool lowerPartIsHidden() const { return m_lowerPartIsHidden; }
  void showHideTheLowerPart();
  void showTheLowerPart();
  void hideTheLowerPart();

  // --- toolbar ("SDE")
  // ---------------------------------------------------------------------
  QToolBar* toolbar() const { return m_toolbar; }
  static std::vector<std::string> toolbarAllowedItemIdentifiers();
  static std::vector<std::string> toolbarDefaultItemIdentifiers();
  /// "NSToolbar Configuration SDE": "TB Item Identifiers" (array), "TB Is
  /// Shown" (bool).
  static std::string toolbarConfigurationKey();
  const std::vector<std::string>& toolbarItemIdentifiers() const { return m_toolbarItemIdentifiers; }
  /// Shows these items in this order (unknown, not allowed and repeated ones
  /// skipped); saved.
  void setToolbarItemIdentifiers(const std::vector<std::string>& identifiers);
  QAction* toolbarItem(const std::string& identifier);
  /// Enables each visible item whose document action is available (every
  /// second, too).
  void validateToolbar();
  void populateToolbarContextMenu(QMenu& menu);

  void encodeRestorableState(platform::Dictionary& state) const override;
  void restoreState(const platform::Dictionary& state) override;

 protected:
  void awakeFromNib() override;
  void windowWillClose() override;
  void documentLensWasReplaced() override;

 private:
  void initializeToolbar();
  void rebuildToolbar();
  void selectionChanged();
  void updateLowerPartToggle();
  /// The table's selection and the document's shared surface selection follow each other.
  void shareSurfaceSelection(const std::shared_ptr<OBDocument>& document);

  SurfaceArrayController* m_surfaceArrayController = nullptr;
  SolveSheetController* m_solveSheetController = nullptr;
  QPointer<QWidget> m_parameterTable;
  bool m_lowerPartIsHidden = false;
  QToolBar* m_toolbar = nullptr;
  std::map<std::string, QAction*> m_toolbarItemDictionary;
  std::vector<std::string> m_toolbarItemIdentifiers;
  std::vector<QAction*> m_toolbarSpacers;
  QTimer* m_toolbarUpdateTimer = nullptr;
  platform::Observation m_sharedSelectionObservation;
};

/// Registers the interface file "SurfaceData".
void registerSurfaceDataWindow();
/// The factory of the controller class "SurfaceDataWindowController".
SmartWindowController* makeSurfaceDataWindowController(const std::string& nibName,
                                                       const std::shared_ptr<SmartDocument>& document);

}  // namespace orb::app
