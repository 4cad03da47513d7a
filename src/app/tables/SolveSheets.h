#pragma once

// The sheets that collect a solve's settings and the pop-up that chooses a
// solve.
//
// A surface or parameter whose new solve needs settings asks for attention with
// a notification; the sheet controller of the editing window opens the matching
// sheet a fifth of a second later, only for an object selected in that window
// and only when no sheet is open or already scheduled, so one burst of model
// changes opens one sheet. Sheets are window-modal dialogs over the editing
// window: OK writes every value at once (one change cycle of the lens, so one
// undo step), Cancel writes nothing.

#include <QDialog>
#include <QPointer>
#include <QTimer>
#include <QToolButton>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/Object.h"
#include "platform/Observation.h"
#include "platform/Value.h"

class QAbstractItemView;
class QComboBox;
class QCheckBox;
class QMenu;
class QModelIndex;
class QDialogButtonBox;
class QFormLayout;
class QLabel;
class QLineEdit;

namespace orb::lens {
class Lens;
class Parameter;
class Surface;
} // namespace orb::lens

namespace orb::app {

using ObjectPtr = std::shared_ptr<platform::Object>;

/// What a sheet edits.
enum class SolveSheetKind {
  Curvature,
  Thickness,
  Semidiameter,
  Glass,
  ModelGlass,
  Parameter,
  Aperture
};

/// The notification by which a model object asks for the sheet of `kind` (""
/// for the aperture sheet, which is opened directly).
const char *solveSheetNotificationName(SolveSheetKind kind);

/// The text a solve pop-up shows for a menu title: its first character; a title
/// shorter than two characters as it is (an empty title shows nothing).
QString solvePopUpTitle(const QString &title);

/// The solve menu of `kind` for `object` (a surface, or a parameter for the
/// parameter kind): the model's descriptors, whose first character is the
/// letter the table shows. Empty for kinds without a menu or objects of the
/// wrong class.
std::vector<std::string> solveChoices(SolveSheetKind kind,
                                      const ObjectPtr &object);
/// The entry of that menu the object's solve stands at ("" when none does).
std::string currentSolveChoice(SolveSheetKind kind, const ObjectPtr &object);
/// Sets the solve through its descriptor; the model then asks for its sheet
/// when the new solve needs settings. Text that names no entry changes nothing.
void chooseSolve(SolveSheetKind kind, const ObjectPtr &object,
                 const std::string &choice);

class SolveSheetController;

/// A solve chosen from a menu by the user: sets it and asks `controller` (when
/// given) for its sheet; cancelling that sheet takes the choice back. On a model
/// glass, "fixed at user-specified value" asks for the catalog glass to take its
/// place instead (no step through air).
void chooseSolveFromMenu(SolveSheetKind kind, const ObjectPtr &object,
                         const std::string &choice,
                         SolveSheetController *controller);

/// A window-modal dialog that shows one object's settings and writes them on
/// OK.
class SolveSheet : public QDialog {
  Q_OBJECT
public:
  SolveSheet(SolveSheetKind kind, ObjectPtr object, QWidget *window);
  SolveSheetKind kind() const { return m_kind; }
  const ObjectPtr &object() const { return m_object; }

  /// Reads the object's current settings into the fields.
  virtual void load() = 0;
  /// Checks every field, then writes them all; false (nothing written) with a
  /// reason.
  virtual bool apply(QString *error) = 0;

  /// The sheet's own widgets, for tests and for the window's key-view loop.
  QDialogButtonBox *buttons() const { return m_buttons; }
  QLabel *errorLabel() const { return m_error; }

  /// Runs just before OK writes the values (the controller names the undo step
  /// there).
  void setWillApply(std::function<void()> hook) {
    m_willApply = std::move(hook);
  }
  /// The name of the undo step OK makes.
  virtual std::string undoName() const;

  void accept() override;

protected:
  /// A labelled row; `key` names the field for findChild (its object name).
  QLineEdit *addNumberRow(const QString &label, const char *key);
  QComboBox *addChoiceRow(const QString &label, const char *key);
  QCheckBox *addCheckRow(const QString &label, const char *key);
  void setRowShown(QWidget *field, bool shown);
  /// A finite number from the field's text (the user's locale, then the C
  /// locale).
  bool readNumber(QLineEdit *field, const QString &label, double &out,
                  QString *error) const;
  static void showNumber(QLineEdit *field, double value);

  QFormLayout *m_form = nullptr;

private:
  SolveSheetKind m_kind;
  ObjectPtr m_object;
  QDialogButtonBox *m_buttons = nullptr;
  QLabel *m_error = nullptr;
  std::function<void()> m_willApply;
};

/// The curvature, thickness, semidiameter and glass solves of one surface: the
/// solve type and the inputs that type uses (target, zone, reference surface,
/// scale, offset, semidiameter); the reference may be any earlier surface of
/// the lens.
class SurfaceSolveSheet : public SolveSheet {
  Q_OBJECT
public:
  SurfaceSolveSheet(SolveSheetKind kind, std::shared_ptr<lens::Surface> surface,
                    QWidget *window);
  void load() override;
  bool apply(QString *error) override;

  QComboBox *typeField() const { return m_type; }
  QComboBox *surfaceField() const { return m_surface; }
  QLineEdit *targetField() const { return m_target; }
  QLineEdit *zoneField() const { return m_zone; }
  QLineEdit *scaleField() const { return m_scale; }
  QLineEdit *offsetField() const { return m_offset; }
  QLineEdit *semidiameterField() const { return m_semidiameter; }
  /// The code the type field stands at.
  int chosenType() const;

private:
  void showRowsForType();
  std::shared_ptr<lens::Surface> chosenSurface() const;

  std::shared_ptr<lens::Surface> m_edited;
  std::vector<std::shared_ptr<lens::Surface>> m_candidates;
  std::vector<int> m_codes;
  QComboBox *m_type = nullptr;
  QComboBox *m_surface = nullptr;
  QLineEdit *m_target = nullptr;
  QLineEdit *m_zone = nullptr;
  QLineEdit *m_scale = nullptr;
  QLineEdit *m_offset = nullptr;
  QLineEdit *m_semidiameter = nullptr;
};

/// The model glass of one surface: its index nd and Abbe number Vd, or a
/// catalog glass by name to put in its place (one step, never air between).
class ModelGlassSheet : public SolveSheet {
  Q_OBJECT
public:
  ModelGlassSheet(std::shared_ptr<lens::Surface> surface, QWidget *window);
  void load() override;
  bool apply(QString *error) override;
  std::string undoName() const override;
  QLineEdit *indexField() const { return m_index; }
  QLineEdit *abbeField() const { return m_abbe; }
  /// A catalog glass's name; when filled, OK gives the surface that glass.
  QLineEdit *catalogGlassField() const { return m_catalogGlass; }

private:
  std::shared_ptr<lens::Surface> m_edited;
  QLineEdit *m_index = nullptr;
  QLineEdit *m_abbe = nullptr;
  QLineEdit *m_catalogGlass = nullptr;
};

/// The pickup of one surface parameter: the source surface (an earlier surface
/// with a parameter of the same title), scale and offset.
class ParameterSolveSheet : public SolveSheet {
  Q_OBJECT
public:
  /// `candidates`: the surfaces the parameter may pick up from.
  ParameterSolveSheet(std::shared_ptr<lens::Parameter> parameter,
                      std::vector<std::shared_ptr<lens::Surface>> candidates,
                      QWidget *window);
  void load() override;
  bool apply(QString *error) override;
  QComboBox *typeField() const { return m_type; }
  QComboBox *surfaceField() const { return m_surface; }
  QLineEdit *scaleField() const { return m_scale; }
  QLineEdit *offsetField() const { return m_offset; }

private:
  void showRowsForType();
  std::shared_ptr<lens::Parameter> m_edited;
  std::vector<std::shared_ptr<lens::Surface>> m_candidates;
  QComboBox *m_type = nullptr;
  QComboBox *m_surface = nullptr;
  QLineEdit *m_scale = nullptr;
  QLineEdit *m_offset = nullptr;
};

/// The settings of an aperture or emission, laid out by the sheet name the
/// object gives
/// ("SVCircularAperture", "SVRectangularAperture", "SVSpiderAperture",
/// "_LambertianEmission", "_SLDEmission"); objects without one get their common
/// keys. Fields are named by the key they edit.
///
/// A sheet may show an object that no surface holds yet (a new aperture or
/// emission): OK then first installs it through the installer, which answers
/// the object the surface holds afterwards, and writes the fields onto that, all
/// in one change of the lens; Cancel leaves the surface as it was.
class ApertureSheet : public SolveSheet {
  Q_OBJECT
public:
  using Installer = std::function<ObjectPtr()>;
  ApertureSheet(ObjectPtr object, QWidget *window, Installer install = {});
  void load() override;
  bool apply(QString *error) override;
  std::string undoName() const override;
  /// The interface name the sheet was laid out for ("" for the common keys).
  const std::string &sheetName() const { return m_sheetName; }
  bool isEmission() const { return m_isEmission; }

  struct Row {
    const char *key;
    const char *label;
    enum Type { Number, Count, Flag } type;
  };
  /// The rows of a sheet name (the common aperture or emission keys for
  /// others).
  static std::vector<Row> rowsForSheet(const std::string &sheetName,
                                       bool isEmission);

private:
  std::string m_sheetName;
  bool m_isEmission = false;
  Installer m_install;
  std::vector<std::pair<Row, QWidget *>> m_rows;
};

/// Opens the solve and aperture sheets of one editing window (the surface-data
/// window). Listens to every solve's attention notification; a request
/// schedules the sheet 0.2 s later only when its object is among
/// `selectedObjects()` and no sheet is open or scheduled. The controller is a
/// child of the window and closes its sheet with it.
class SolveSheetController : public QObject {
  Q_OBJECT
public:
  using SelectionProvider = std::function<std::vector<ObjectPtr>()>;
  /// `selectedObjects` answers the surfaces or parameters selected in `window`.
  SolveSheetController(QWidget *window, SelectionProvider selectedObjects);
  ~SolveSheetController() override;

  /// Where a sheet opened from a control (not by a model request) unrolls from:
  /// the top edge of this view. None: the window's usual sheet position.
  void setOriginOfExpansion(QWidget *view) { m_origin = view; }
  QWidget *originOfExpansion() const { return m_origin; }
  /// The lens whose surfaces a parameter may pick up from (parameters do not
  /// know their surface). Without it the parameter sheet offers no source.
  void setLensProvider(std::function<std::shared_ptr<lens::Lens>()> provider) {
    m_lens = std::move(provider);
  }
  /// Called with the undo name ("Curvature solve", …) just before a sheet
  /// writes its values; the lens document names its next undo step with it.
  void setUndoNamer(std::function<void(const std::string &)> namer) {
    m_undoNamer = std::move(namer);
  }

  /// A model request (`object`: the notification's object, a surface reference
  /// or a parameter).
  void needDialog(SolveSheetKind kind, const platform::Value &object);
  /// The solve pop-ups' action: after 0.2 s the selected objects re-announce
  /// their need.
  void startDialogIfNeeded(SolveSheetKind kind);
  /// Every selected object re-announces a solve of `kind` that needs settings.
  void touchSelectedObjects(SolveSheetKind kind);
  /// Opens the sheet of `kind` for `object` now (a request from a control: the
  /// sheet unrolls from the origin of expansion). Nothing while a sheet is
  /// open.
  void startDialog(SolveSheetKind kind, const ObjectPtr &object);
  /// The sheet of an aperture or an emission, opened at once.
  void startApertureDialog(const ObjectPtr &apertureOrEmission);
  /// The sheet of a new aperture or emission that no surface holds yet: OK
  /// installs it through `install` and writes the sheet's values onto what the
  /// surface then holds, one undo step; Cancel changes nothing.
  void startApertureDialog(const ObjectPtr &apertureOrEmission,
                           ApertureSheet::Installer install);

  /// Names the next undo step (the document's upcoming action name).
  void nameUndoStep(const std::string &name) const {
    if (m_undoNamer)
      m_undoNamer(name);
  }
  /// How a menu choice is taken back when the sheet it asked for is cancelled:
  /// `mark` answers a token just before the choice, `revert` puts the lens back
  /// as it stood at that token (and leaves nothing to redo).
  void setChoiceReverter(std::function<int()> mark,
                         std::function<void(int)> revert) {
    m_markChoice = std::move(mark);
    m_revertChoice = std::move(revert);
  }
  /// A menu is about to change `object`: should the sheet this asks for be
  /// cancelled, the change is taken back. A note no sheet follows within a
  /// second lapses.
  void willChooseFromMenu(const ObjectPtr &object);

  /// True from the moment a sheet is scheduled until it closes.
  bool isArmed() const { return m_armed; }
  /// True while a sheet waits for its 0.2 s.
  bool isScheduled() const { return m_timer.isActive(); }
  /// The open sheet, or null.
  SolveSheet *sheet() const { return m_sheet; }
  /// Opens a scheduled sheet without waiting (tests; the window when it must
  /// show it now).
  void openScheduledSheetNow();

  /// Algorithm of the sheet's placement: a sheet opened by a model request
  /// takes the proposed (usual) rectangle; without an origin view, too;
  /// otherwise the origin view's top edge in window coordinates, at its width
  /// and zero height.
  QRect sheetRectForProposedRect(const QRect &proposed);

signals:
  void sheetOpened(orb::app::SolveSheet *sheet);
  void sheetClosed(bool accepted);

private:
  void open(SolveSheetKind kind, const ObjectPtr &object, bool byRequest);
  void present(SolveSheet *sheet);
  void doneDialog(int result);
  SolveSheet *makeSheet(SolveSheetKind kind, const ObjectPtr &object);
  void placeSheet(SolveSheet *sheet);
  bool isSelected(const platform::Object *object) const;

  QPointer<QWidget> m_window;
  SelectionProvider m_selectedObjects;
  QPointer<QWidget> m_origin;
  std::function<std::shared_ptr<lens::Lens>()> m_lens;
  std::function<void(const std::string &)> m_undoNamer;
  std::function<int()> m_markChoice;
  std::function<void(int)> m_revertChoice;
  // The menu choice a sheet may still follow, and the one the open sheet
  // follows.
  std::weak_ptr<platform::Object> m_choiceObject;
  std::optional<int> m_choiceToken;
  QTimer m_choiceLapse;
  std::optional<int> m_sheetChoiceToken;
  std::vector<platform::Observation> m_observations;
  QTimer m_timer;
  QTimer m_touchTimer;
  SolveSheetKind m_touchKind = SolveSheetKind::Curvature;
  bool m_armed = false;
  SolveSheetKind m_pendingKind = SolveSheetKind::Curvature;
  std::weak_ptr<platform::Object> m_pendingObject;
  QPointer<SolveSheet> m_sheet;
};

/// The solve of a surface-table column by its identifier ("curvatureSolve",
/// "thicknessSolve", "semidiameterSolve", "glassSolve"; "solve" for a
/// parameter's), or none.
std::optional<SolveSheetKind>
solveKindForColumnIdentifier(const std::string &identifier);

/// The registered aperture types, or with `emission` the emission types (the
/// emitters of the tracing layer registered first), in menu order.
std::vector<std::string> apertureOrEmissionTypes(bool emission);
/// Gives `surface` an aperture (with `emission`, an emission) of the registered
/// `type`. The type it already has opens the sheet of the one it holds; another
/// type with settings opens the sheet of a new one, whose OK puts it on the
/// surface with the values shown (one undo step) and whose Cancel forgets it; a
/// type without settings, or no `controller`, is put on at once.
void chooseApertureOrEmissionType(const std::shared_ptr<lens::Surface> &surface,
                                  const std::string &type, bool emission,
                                  SolveSheetController *controller);
/// Takes the aperture (with `emission`, the emission) off `surface`; one undo
/// step named through `controller` when given.
void removeApertureOrEmission(const std::shared_ptr<lens::Surface> &surface,
                              bool emission, SolveSheetController *controller);
/// Opens the sheet of the aperture (with `emission`, the emission) `surface`
/// holds; false when it holds none.
bool editApertureOrEmission(const std::shared_ptr<lens::Surface> &surface,
                            bool emission, SolveSheetController *controller);

/// Pops up (without blocking) the solve menu of `object` at `globalPos`, its
/// current entry checked; a choice sets the solve and, through `controller`
/// when given, asks for the sheet. The menu is a child of `parent` named
/// "solveMenu" and deletes itself when closed.
QMenu *popUpSolveMenu(SolveSheetKind kind, const ObjectPtr &object,
                      QWidget *parent, const QPoint &globalPos,
                      SolveSheetController *controller);

/// Makes a click on a solve cell of `view` pop up that solve's menu under the
/// cell. `kindAt` names the solve of a cell (none for other cells), `objectAt`
/// its row's surface or parameter.
void installSolvePopUps(
    QAbstractItemView *view,
    std::function<std::optional<SolveSheetKind>(const QModelIndex &)> kindAt,
    std::function<ObjectPtr(const QModelIndex &)> objectAt,
    SolveSheetController *controller);

/// A compact pop-up for a table cell: shows the current solve's letter and
/// offers the solve menu of its object; a choice sets the solve and, through
/// `controller` when one is given, asks for the sheet.
class SolvePopUpButton : public QToolButton {
  Q_OBJECT
public:
  explicit SolvePopUpButton(QWidget *parent = nullptr);
  void setObject(SolveSheetKind kind, ObjectPtr object);
  void setController(SolveSheetController *controller) {
    m_controller = controller;
  }
  /// Re-reads the menu and the letter from the object.
  void refresh();
  /// Chooses the menu entry at `index` as the user would.
  void choose(int index);

signals:
  void solveChosen(const QString &choice);

private:
  SolveSheetKind m_kind = SolveSheetKind::Curvature;
  ObjectPtr m_object;
  QPointer<SolveSheetController> m_controller;
};

} // namespace orb::app
