#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/tables/DNDArrayController.h"
#include "app/windows/ExpandingView.h"
#include "app/windows/WindowControllerWithDocumentController.h"
#include "optimisation/MeritFunction.h"
#include "platform/Observation.h"

class QColor;
class QComboBox;
class QLabel;
class QPushButton;
class QScrollArea;
class QUndoStack;

namespace orb::optimisation {
class MeritFunctionEvaluator;
}
namespace orb::analysis {
class LensBuffer;
}

namespace orb::app {

class MeritFunctionView;
class OBDocument;

/// The operand kinds the editor offers: display identifier, interface key, class and (for
/// the value-based kinds) the key-path script.
namespace meritkinds {
inline constexpr const char* kNoSelection = "No Selection";
/// The kind menu in order; an empty entry is a separator.
const std::vector<std::string>& menuEntries();
const std::vector<std::string>& enabledMeritTermIdentifiers();
/// The identifier without spaces.
std::string nibKeyForIdentifier(const std::string& identifier);
/// "_tValue" for the value-based kinds, else "_" and the key.
std::string nibNameForNibKey(const std::string& nibKey);
std::string classNameForNibKey(const std::string& nibKey);
/// Empty for kinds without a script.
std::string scriptForNibKey(const std::string& nibKey);
const std::vector<std::string>& valueBasedNibKeys();
/// A new operand of the kind, taking over what it shares with `basedOn`; null (and a log
/// line) for an identifier without a class.
optimisation::MeritoidPtr meritoidForIdentifier(const std::string& identifier,
                                                const optimisation::MeritoidPtr& basedOn);
}  // namespace meritkinds

/// A bar 128 × 16 showing an operand's importance (0 to 1).
class ImportanceBar : public QWidget {
  Q_OBJECT
 public:
  explicit ImportanceBar(QWidget* parent = nullptr);
  void setImportance(double importance);
  double importance() const { return m_importance; }
  QSize sizeHint() const override { return {128, 16}; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  double m_importance = 0;
};

/// One row of the editor: the kind menu, add and remove buttons, the operand's value,
/// importance and message, and below them the kind's own sub-editor. A row without an
/// operand is 63 points high; with one, the sub-editor's height plus 51.
class MeritoidViewController : public QObject, public std::enable_shared_from_this<MeritoidViewController> {
  Q_OBJECT
 public:
  static constexpr int kEmptyRowHeight = 63;
  static constexpr int kRowChrome = 51;

  explicit MeritoidViewController(optimisation::MeritoidPtr meritoid = {});
  ~MeritoidViewController() override;

  /// Builds the row view (once).
  void loadView();
  QWidget* view() const { return m_view; }
  QComboBox* popupButton() const { return m_popup; }
  QWidget* subview() const { return m_subview; }
  const optimisation::MeritoidPtr& meritoid() const { return m_meritoid; }
  MeritFunctionView* delegate() const { return m_delegate; }
  void setDelegate(MeritFunctionView* delegate) { m_delegate = delegate; }

  /// The identifier shown in the menu: the operand's, or "No Selection".
  std::string meritTermIdentifier() const;
  /// The menu's action: an undoable "Meritoid type change" to the chosen kind.
  void changeIdentifier(const std::string& identifier);
  /// Puts `meritoid` in the place of the present operand (in the merit function too).
  void setMeritoid(optimisation::MeritoidPtr meritoid);
  void synchronizeSubviewWithMeritoid();

  void addTermAction();
  void removeTermAction();
  /// A colour dropped on the row: the operand's curve colour, one undoable "Color change".
  void setColorAction(const QColor& color);
  bool needsNumber() const { return m_meritoid != nullptr; }
  void setNumber(int number);

 protected:
  /// Takes colour drops on the row view.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void setSubview(QWidget* subview);
  void refreshReadouts();

  optimisation::MeritoidPtr m_meritoid;
  MeritFunctionView* m_delegate = nullptr;
  QPointer<QWidget> m_view;
  QComboBox* m_popup = nullptr;
  QLabel* m_valueLabel = nullptr;
  QLabel* m_messageLabel = nullptr;
  QLabel* m_colorWell = nullptr;
  ImportanceBar* m_importanceBar = nullptr;
  QPointer<QWidget> m_subview;
  std::vector<platform::Observation> m_watches;
};

using MeritoidViewControllerPtr = std::shared_ptr<MeritoidViewController>;

/// The rows of one merit function: one per operand, in operand order, or a single empty
/// row for a merit function without operands. Adding and deleting rows is undoable on the
/// given undo stack. The operands follow the rows: each operand's "number" is its row's
/// place, and the merit function keeps its operands in that order.
class MeritFunctionView : public ExpandingView {
  Q_OBJECT
 public:
  MeritFunctionView(optimisation::MeritFunctionPtr meritFunction, QUndoStack* undoStack, QWidget* parent = nullptr);
  ~MeritFunctionView() override;

  const optimisation::MeritFunctionPtr& meritFunction() const { return m_meritFunction; }
  QUndoStack* undoStack() const { return m_undoStack; }
  /// Told +1 for every edit done or redone and −1 for every edit undone (the document's
  /// edited state).
  void setChangeCounter(std::function<void(int)> counter) { m_changeCounter = std::move(counter); }
  /// Runs `redo` now and registers the pair as one undoable step named `name`.
  void perform(const QString& name, std::function<void()> redo, std::function<void()> undo);
  /// One row per operand, or one empty row.
  void setup();
  /// More than one row.
  bool canDelete() const { return countOfSubviews() >= 3; }
  const std::vector<MeritoidViewControllerPtr>& viewControllers() const { return m_viewControllers; }
  MeritoidViewControllerPtr viewControllerForView(const QWidget* view) const;

  MeritoidViewControllerPtr viewControllerForNewObject();
  MeritoidViewControllerPtr viewControllerForObject(const optimisation::MeritoidPtr& meritoid);
  QWidget* viewForNewObject();
  QWidget* viewForObject(const optimisation::MeritoidPtr& meritoid);
  void addViewController(const MeritoidViewControllerPtr& row);
  void removeViewController(const MeritoidViewControllerPtr& row);
  void restoreViewController(const MeritoidViewControllerPtr& row, int y);
  /// Undoable "Add meritoid": a new empty row under `row`.
  MeritoidViewControllerPtr addNewViewControllerBelowViewController(MeritoidViewController* row);
  /// Undoable "Delete meritoid".
  void deleteViewController(MeritoidViewController* row);

  /// The operand joins the merit function (with its lens) unless it is there already.
  void addMeritoid(const optimisation::MeritoidPtr& meritoid);
  void removeMeritoid(const optimisation::MeritoidPtr& meritoid);

 protected:
  void renumberViewsExcluding(QWidget* excluded) override;

 private:
  optimisation::MeritFunctionPtr m_meritFunction;
  QUndoStack* m_undoStack;
  std::function<void(int)> m_changeCounter;
  std::vector<MeritoidViewControllerPtr> m_viewControllers;
};

/// The merit editor ("MeritWindow"): one of the document's merit functions edited row by
/// row, evaluated live (an evaluator re-evaluates after each burst of edits, and the
/// document's lens follows through a lens buffer).
class MeritFunctionEditorController : public WindowControllerWithDocumentController {
  Q_OBJECT
 public:
  explicit MeritFunctionEditorController(std::string nibName, const std::shared_ptr<SmartDocument>& document = {});
  ~MeritFunctionEditorController() override;

  const optimisation::MeritFunctionPtr& meritFunction() const { return m_meritFunction; }
  void setMeritFunction(optimisation::MeritFunctionPtr meritFunction);
  MeritFunctionView* meritFunctionView() const { return m_view; }

  optimisation::MeritFunctionPtr meritFunctionForIndex(std::size_t index) const;
  /// npos for none.
  std::size_t indexOfMeritFunction(const optimisation::MeritFunctionPtr& meritFunction) const;
  std::size_t indexOfMeritFunction() const { return indexOfMeritFunction(m_meritFunction); }
  void setIndexOfMeritFunction(std::size_t index);
  void evaluateMeritFunction();
  /// The operands coloured violet to red in row order, or by random hues (saturation 1):
  /// one undo step each.
  void rainbowColors();
  void randomizeColors();

  /// The open editor of `meritFunction` brought to the front, or a new one shown.
  static MeritFunctionEditorController* editMeritFunction(const std::shared_ptr<OBDocument>& document,
                                                          const optimisation::MeritFunctionPtr& meritFunction);
  /// Among the document's editors, the one editing `meritFunction`.
  static MeritFunctionEditorController* windowControllerForObject(const std::shared_ptr<OBDocument>& document,
                                                                  const optimisation::MeritFunctionPtr& meritFunction);

 protected:
  void awakeFromNib() override;
  void windowWillClose() override;
  /// The lens buffer hands the merit function the document's lens at its next readiness.
  void documentLensWasReplaced() override {}

 private:
  void generateMeritFunctionView();
  void colorOperands(const QString& name, const std::function<void(const platform::Array&)>& colorize);
  void refreshMeritFunctionMenu();
  void refreshMeritValue();
  std::shared_ptr<OBDocument> obDocument() const;

  optimisation::MeritFunctionPtr m_meritFunction;
  QPointer<MeritFunctionView> m_view;
  std::shared_ptr<optimisation::MeritFunctionEvaluator> m_evaluator;
  std::unique_ptr<analysis::LensBuffer> m_lensBuffer;
  std::vector<platform::Observation> m_watches;
  platform::Observation m_documentWatch;
};

/// The table of a document's merit functions ("MeritFunctions"). Rows move by dragging
/// inside the table; a colour dropped on a row colours that merit function, which is the
/// colour of its operands' curves. Every change of the document is one undo step.
class MeritFunctionArrayController : public DNDArrayController {
  Q_OBJECT
 public:
  explicit MeritFunctionArrayController(const std::shared_ptr<OBDocument>& document, QObject* parent = nullptr);
  ~MeritFunctionArrayController() override;

  QStringList draggedTypes() const override;
  QStringList acceptableObjects() const override { return {}; }
  QStringList acceptableProperties() const override;
  std::string keyForProperty(const QString& type) const override;
  /// Rows leave the table only as moves within it.
  QStringList typesToDragOut() const override;
  Qt::DropAction dragOperationForMask(Qt::DropActions mask) const override;
  bool acceptDrop(const QMimeData* data, int row, bool onRow, Qt::DropActions sourceMask,
                  bool fromOwnTable) override;
  /// A renamed merit function is one undoable "Rename merit function".
  bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

  /// The selected merit functions' editors, each brought front or opened.
  void editAction();
  /// Copies named "copy of <name>", appended.
  void cloneAction();
  void cloneAndEditAction();
  /// A new merit function appended and selected; its editor opens 0.1 s later.
  void addAndEditAction();
  void remove() override;
  /// Evaluates the selected merit functions against the document's lens.
  void evaluateAction();

 private:
  std::shared_ptr<OBDocument> document() const { return m_document.lock(); }
  /// Replaces the document's merit functions as one undo step named `name`.
  void replaceMeritFunctions(const char* name, platform::Array functions);
  /// Follows each merit function's name and value into its row.
  void watchRows();

  std::weak_ptr<OBDocument> m_document;
  platform::Observation m_watch;
  std::vector<platform::Observation> m_rowWatches;
};

/// Registers the interface files "MeritWindow" and "MeritFunctions".
void registerMeritEditor();
SmartWindowController* makeMeritFunctionEditorController(const std::string& nibName,
                                                         const std::shared_ptr<SmartDocument>& document);

}  // namespace orb::app
