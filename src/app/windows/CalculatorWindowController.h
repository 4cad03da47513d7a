#pragma once

#include <QPointer>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/windows/WindowControllerWithDocumentController.h"
#include "platform/Observation.h"

class QAction;
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
  static constexpr const char* kFlexibleSpace = "NSToolbarFlexibleSpaceItem";

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
  QToolBar* toolbar() const { return m_toolbar; }
  virtual std::vector<std::string> toolbarAllowedItemIdentifiers() const;
  virtual std::vector<std::string> toolbarDefaultItemIdentifiers() const;
  /// The toolbar item of `identifier` (made on first use), or null for an unknown one.
  QAction* toolbarItem(const std::string& identifier);

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

  /// Toolbar "Export": the export sheet.
  virtual void exportAction();

 protected:
  void awakeFromNib() override;
  void windowWillClose() override;
  virtual void makeUpdaterForCalculator(const std::shared_ptr<analysis::OBCalculator>& calculator);
  void initializeToolbar();
  /// A document action reached from the toolbar; says so when the document has none.
  void performDocumentAction(const std::string& action);

 private:
  QAction* makeToolbarItem(const std::string& identifier);

  std::shared_ptr<ObjectController> m_calculatorController;
  std::shared_ptr<analysis::OBCalculatorUpdater> m_calculatorUpdater;
  std::unique_ptr<OptionPanelController> m_optionsPanelController;
  QTimer* m_progressUpdateTimer = nullptr;
  QToolBar* m_toolbar = nullptr;
  std::map<std::string, QAction*> m_toolbarItemDictionary;
  bool m_awakeAlready = false;
  bool m_needsOptionsPanel = false;
  bool m_panelHiddenByDeactivation = false;
  platform::Observation m_finalizationObservation;
  QMetaObject::Connection m_applicationStateConnection;
};

}  // namespace orb::app
