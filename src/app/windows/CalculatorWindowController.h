#pragma once

#include <QPointer>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/windows/ExportSheet.h"
#include "app/windows/ToolbarSupport.h"
#include "app/windows/WindowControllerWithDocumentController.h"
#include "platform/Observation.h"

class QAction;
class QMenu;
class QTimer;
class QToolBar;

namespace orb::analysis {
class OBCalculator;
class OBCalculatorUpdater;
}  // namespace orb::analysis

namespace orb::app {

class OptionPanelController;

/// The window of an analysis. Its interface file holds the calculator (the content of
/// the calculator controller), the main view and the options panel; the controller joins
/// them to an updater (made after a zero delay, once the window is set up), a progress
/// timer for long analyses, the options panel and the toolbar.
///
/// Closing stops the calculator's worker and lets go of the updater, the timer and the
/// calculator, so a closed window leaves no work running and nothing calls back into it.
class CalculatorWindowController : public WindowControllerWithDocumentController {
  Q_OBJECT
 public:
  static constexpr const char* kFlexibleSpace = toolbar::kFlexibleSpace;

  explicit CalculatorWindowController(std::string nibName, const std::shared_ptr<SmartDocument>& document = {});
  ~CalculatorWindowController() override;

  /// The calculator (the calculator controller's content), or null once closed.
  std::shared_ptr<analysis::OBCalculator> calculator() const;
  const std::shared_ptr<ObjectController>& calculatorController() const { return m_calculatorController; }
  QWidget* view() const { return outlets().view; }
  OptionPanelController* optionsPanelController() const { return m_optionsPanelController.get(); }
  const std::shared_ptr<analysis::OBCalculatorUpdater>& calculatorUpdater() const { return m_calculatorUpdater; }
  /// The 0.1 s timer that refreshes the progress of long analyses, or null.
  QTimer* progressUpdateTimer() const { return m_progressUpdateTimer; }

  // --- toolbar ---------------------------------------------------------------------
  /// How the toolbar's items show; the values are those kept under "TB Display Mode".
  enum class ToolbarDisplayMode { Default = 0, IconAndLabel = 1, IconOnly = 2, LabelOnly = 3 };

  QToolBar* toolbar() const { return m_toolbar; }
  virtual std::vector<std::string> toolbarAllowedItemIdentifiers() const;
  virtual std::vector<std::string> toolbarDefaultItemIdentifiers() const;
  /// The toolbar item of `identifier` (made on first use), or null for an unknown one.
  QAction* toolbarItem(const std::string& identifier);

  /// The calculator's class name (the interface file's name without a calculator): each
  /// kind of analysis keeps its own toolbar configuration.
  virtual std::string toolbarIdentifier() const;
  /// The user-defaults key of a toolbar's configuration: "NSToolbar Configuration <identifier>",
  /// a dictionary of "TB Item Identifiers" (array), "TB Display Mode" (int), "TB Is Shown" (bool).
  static std::string toolbarConfigurationKey(const std::string& identifier);

  // Customisation. Every change is applied at once and saved under the configuration key,
  // so the next window of the same analysis starts from it.
  /// The items shown, in order (flexible spaces included).
  const std::vector<std::string>& toolbarItemIdentifiers() const { return m_toolbarItemIdentifiers; }
  /// Shows these items in this order; unknown, not allowed and repeated ones are skipped.
  void setToolbarItemIdentifiers(const std::vector<std::string>& identifiers);
  bool isToolbarItemShown(const std::string& identifier) const;
  /// Hides an item, or shows it where the default order puts it among the items shown.
  void setToolbarItemShown(const std::string& identifier, bool shown);
  void restoreDefaultToolbarItems();
  ToolbarDisplayMode toolbarDisplayMode() const { return m_toolbarDisplayMode; }
  void setToolbarDisplayMode(ToolbarDisplayMode mode);
  bool isToolbarShown() const { return m_toolbarIsShown; }
  void setToolbarShown(bool shown);
  /// The toolbar's context menu: a check item per allowed item, the three display modes
  /// and "Restore Default Items".
  void populateToolbarContextMenu(QMenu& menu);

  // --- options panel ---------------------------------------------------------------
  bool needsOptionsPanel() const { return m_needsOptionsPanel; }
  void setNeedsOptionsPanel(bool needs) { m_needsOptionsPanel = needs; }
  void windowDidBecomeMain() override;
  void windowDidMiniaturize() override;
  void windowDidDeminiaturize() override;
  /// When restored with its panel open: shows the panel once the document's windows are
  /// made ("windowFinalizationNotification").
  void windowFinalization();

  // --- persisted settings --------------------------------------------------------------
  platform::Dictionary calculatorData() const;
  void setCalculatorData(const platform::Dictionary& data);
  /// "calculatorData", and "optionsPanelIsVisible" with "optionsPanelFrame" when the
  /// panel is open.
  void encodeRestorableState(platform::Dictionary& state) const override;
  void restoreState(const platform::Dictionary& state) override;

  /// Toolbar "Export": the export sheet (plot windows); other windows say it is not available.
  virtual void exportAction();

  // --- help ----------------------------------------------------------------------------
  /// Where Help goes when it is not asked from a button (the Help key).
  static constexpr const char* kDefaultHelpAnchor = "anc-ray";
  /// The help book's section for this analysis: the title of the options panel's help
  /// button ("helpButton").
  virtual std::string helpAnchor() const { return "anc-analysis"; }
  /// Opens the help book at the anchor of the sender's title when the sender is a button,
  /// else at kDefaultHelpAnchor.
  void showHelp(QObject* sender);

  // --- data export ---------------------------------------------------------------------
  /// "Save Data…": a save panel for a text file, window-modal over the window; the chosen
  /// file gets the calculator's data (exportDataToPath).
  void saveData();
  /// Has the calculator write its data to `path`. Nothing is left on disk when the file
  /// cannot be made, the analysis has nothing to export or writing fails (an old file
  /// stays whole); each case is shown to the user. True when the file was written.
  bool exportDataToPath(const std::string& path);
  void setSavePathChooser(SavePathChooser chooser) { m_savePathChooser = std::move(chooser); }

 protected:
  void awakeFromNib() override;
  void windowWillClose() override;
  /// The lens buffer hands the calculator the document's lens at its next readiness.
  void documentLensWasReplaced() override {}
  virtual void makeUpdaterForCalculator(const std::shared_ptr<analysis::OBCalculator>& calculator);
  void initializeToolbar();
  /// For subclasses whose main view answers items this class does not wire ("back",
  /// "forward", "tumble", or a view of their own behind "zoomToFit").
  virtual void connectToolbarItem(const std::string& /*identifier*/, QAction* /*item*/) {}
  /// A document action reached from the toolbar; says so when the document has none.
  void performDocumentAction(const std::string& action);

 private:
  QAction* makeToolbarItem(const std::string& identifier);
  /// The identifiers that can be shown, in order: known, allowed, each item once.
  std::vector<std::string> usableToolbarItemIdentifiers(const std::vector<std::string>& identifiers) const;
  void readToolbarConfiguration();
  void saveToolbarConfiguration() const;
  void rebuildToolbar();

  std::shared_ptr<ObjectController> m_calculatorController;
  std::shared_ptr<analysis::OBCalculatorUpdater> m_calculatorUpdater;
  std::unique_ptr<OptionPanelController> m_optionsPanelController;
  QTimer* m_progressUpdateTimer = nullptr;
  QToolBar* m_toolbar = nullptr;
  std::map<std::string, QAction*> m_toolbarItemDictionary;
  std::vector<std::string> m_toolbarItemIdentifiers;
  std::vector<QAction*> m_toolbarSpacers;  // owned; remade with the toolbar's contents
  ToolbarDisplayMode m_toolbarDisplayMode = ToolbarDisplayMode::Default;
  bool m_toolbarIsShown = true;
  SavePathChooser m_savePathChooser = runSavePanel;
  bool m_awakeAlready = false;
  bool m_needsOptionsPanel = false;
  bool m_panelHiddenByDeactivation = false;
  platform::Observation m_finalizationObservation;
  QMetaObject::Connection m_applicationStateConnection;
};

}  // namespace orb::app
