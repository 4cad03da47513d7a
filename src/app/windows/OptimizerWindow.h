#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/windows/WindowControllerWithDocumentController.h"
#include "platform/Observation.h"

class QComboBox;
class QLabel;
class QTableWidget;
class QTimer;

namespace orb::optimisation {
class MeritFunction;
class Optimizer;
}  // namespace orb::optimisation

namespace orb::app {

class OBDocument;

/// The "Optimizer" window of a lens document: the optimiser's variables (editable, their
/// scale, bounds and enabled flag kept in the document's scale memory), the merit function
/// it minimises (one of the document's), the minimiser and the convergence settings,
/// Start/Stop, and what the optimiser says and the merit it reached. The optimiser is
/// bound to the document, so its result is one undoable lens change.
class OptimizerWindowController : public WindowControllerWithDocumentController {
  Q_OBJECT
 public:
  /// Table columns.
  enum Column {
    kEnabledColumn = 0,
    kKeyPathColumn,
    kValueColumn,
    kScaleColumn,
    kMinimumColumn,
    kMaximumColumn,
    kColumnCount
  };

  explicit OptimizerWindowController(std::string nibName, const std::shared_ptr<SmartDocument>& document = {});
  ~OptimizerWindowController() override;

  const std::shared_ptr<optimisation::Optimizer>& optimizer() const { return m_optimizer; }

  /// The document's merit functions in the chooser's order.
  std::vector<std::shared_ptr<optimisation::MeritFunction>> meritFunctions() const;
  /// Makes the document's merit function at `index` the one optimised; false when there
  /// is none there or the optimiser is running (it refuses a change then).
  bool selectMeritFunction(int index);

  /// Marks the lens value at `keyPath` ("s1.curvature", "s2.thickness", "s3.conicConstant",
  /// "s1.semidiameter") variable, so the optimiser gets it as a variable; anything else is
  /// refused with a message. True when the variable is there afterwards.
  bool addVariableWithKeyPath(const std::string& keyPath);

  void start();
  void stop();
  /// Writes the minimiser choice into "oPreferredOptimizerTag" as well.
  void setMinimizerTag(unsigned tag);

  static std::string helpAnchor() { return "anc-optimizer"; }

 protected:
  void awakeFromNib() override;
  void windowWillClose() override;
  void documentLensWasReplaced() override;

 private:
  std::shared_ptr<OBDocument> lensDocument() const;
  void reloadMeritFunctions();
  void reloadVariables();
  /// Variables and merit as the document's lens now has them (after undo, revert), unless a run is on.
  void followLens();
  void refreshStatus();
  void refreshSettings();
  /// The chosen merit function's value for the document's lens as it stands (idle only).
  void measureMerit();
  void variableEdited(int row, int column);
  void settingEdited(const std::string& key, const QString& text);
  QTableWidget* table() const;

  std::shared_ptr<optimisation::Optimizer> m_optimizer;
  std::vector<platform::Observation> m_observations;
  QTimer* m_statusTimer = nullptr;
  bool m_filling = false;
  bool m_wasRunning = false;
  std::optional<double> m_idleMerit;
};

/// Registers the interface file "Optimizer".
void registerOptimizerWindow();
SmartWindowController* makeOptimizerWindowController(const std::string& nibName,
                                                     const std::shared_ptr<SmartDocument>& document);

}  // namespace orb::app
