#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QPointer>

#include "app/tables/DNDArrayController.h"
#include "app/tables/DNDTableView.h"
#include "app/tables/SolveSheets.h"
#include "platform/Observation.h"

class QMenu;

namespace orb::lens {
class Lens;
class Surface;
}  // namespace orb::lens

namespace orb::app {

/// The rows of the surface table: the lens's surfaces, object surface first and
/// image surface last. Every insertion, removal, move and flip reaches the lens
/// through its indexed accessors, so the lens's rename map, change cycle and
/// undo see each step.
///
/// Surfaces travel between tables and documents as keyed archives under the
/// surface MIME type; dropped plain text is read as Zemax text and its surfaces
/// inserted; pasted text names the glass of the selected surfaces; a glass or
/// colour dropped on a row sets that surface's. Surfaces coming from elsewhere
/// lose their solves and the stop flag (and a leading object surface) unless
/// the lens is empty.
///
/// The rows follow the lens: a change of its surface list re-reads them and
/// every end of its change cycle refreshes the shown values. The selection is
/// kept by index across a replacement of surfaces (a type change, undo).
class SurfaceArrayController : public DNDArrayController {
  Q_OBJECT
 public:
  explicit SurfaceArrayController(std::shared_ptr<lens::Lens> lens, QObject* parent = nullptr);
  ~SurfaceArrayController() override;

  const std::shared_ptr<lens::Lens>& lens() const { return m_lens; }
  /// Moves the table to another lens (the document took a new one).
  void setLens(std::shared_ptr<lens::Lens> lens);
  /// The table's columns: comment, radius, thickness, glass, semi-diameter,
  /// conic, aperture and emission, with the surface type and the solve letters
  /// beside them.
  static std::vector<TableColumn> surfaceColumns();
  /// The column index of `identifier`, or -1.
  int columnOf(const std::string& identifier) const;
  std::shared_ptr<lens::Surface> surfaceAt(std::size_t row) const;
  std::vector<std::shared_ptr<lens::Surface>> selectedSurfaces() const;

  // Hooks.
  QStringList draggedTypes() const override;
  QStringList acceptableObjects() const override;
  QStringList acceptableProperties() const override;
  std::string keyForProperty(const QString& type) const override;
  QStringList typesToDragOut() const override;
  /// The surfaces of Zemax text; nothing when the reader finds none.
  std::vector<ObjectPtr> objectsFromString(const std::string& text) override;
  std::optional<std::vector<ObjectPtr>> prepareObjectsForInsertion(std::vector<ObjectPtr> objects) override;
  ObjectPtr newObject() override;
  /// Nothing: the lens links each surface it takes.
  void reacquaintObjects(const std::vector<ObjectPtr>&) override {}

  /// A drag or copy of surfaces: the moved rows and the archived surface (one
  /// row) or array of surfaces (several).
  QMimeData* writeSurfaceRows(const std::vector<std::size_t>& rows);
  QMimeData* mimeData(const QModelIndexList& indexes) const override;

  // Actions.
  /// The surfaces every selected surface accepts as a solve reference, in the
  /// order of the first selected surface's list.
  std::vector<std::shared_ptr<lens::Surface>> possibleSolveSurfaces() const;
  /// Exactly one surface selected, and not the object surface.
  bool canSetSurfaceAsStop() const;
  void setSurfaceAsStop();
  void removeAllSolves();
  void removeAllVariables();
  void removeGlassPickups();
  void negateCurvatureSolveScale();
  void rainbowColors();
  void randomizeColors();
  /// Turns the span from the first to the last selected row end for end and
  /// selects it.
  void flipSurfaces();
  /// A new surface after the last selected row (before the image surface at the
  /// latest).
  void add() override;
  /// Removes the selected surfaces; when the stop goes, the surface before the
  /// first removed one becomes the stop (the one after, when that would be the
  /// object surface).
  void remove() override;
  /// Sets `glassName` on every selected surface (a pasted glass name).
  void setGlassNameOfSelection(const std::string& glassName);

  /// Around a replacement of surfaces the selection is kept by index.
  void startSurfaceReplacement();
  void endSurfaceReplacement();

  /// Row headers: "OBJ", the stop's letter, "IMA", else the surface number.
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  /// The object surface's thickness (the object distance) may be infinite.
  std::shared_ptr<const Formatter> formatterAt(const QModelIndex& index) const override;

 signals:
  /// The selection's solve references or stop eligibility may have changed.
  void surfaceSelectionChanged();

 private:
  void lensSurfacesChanged();
  void refreshValues();
  /// Applies `change` to every surface row, then refreshes the cells.
  void changeEverySurface(void (lens::Surface::*change)());

  std::shared_ptr<lens::Lens> m_lens;
  std::optional<std::vector<std::size_t>> m_memorizedSelectionIndexes;
  platform::Observation m_surfacesObservation;
  platform::Observation m_startReplacement;
  platform::Observation m_endReplacement;
  platform::Observation m_changed;
};

/// The surface table: the glass cell of a surface with a model or mutable glass
/// opens the model-glass sheet instead of text editing; a context menu offers
/// the surface actions. The columns take their content's width when the table
/// is first shown.
class SurfaceDataTableView : public SurfaceTableView {
  Q_OBJECT
 public:
  explicit SurfaceDataTableView(QWidget* parent = nullptr);
  SurfaceArrayController* surfaceController() const;
  /// The sheets of the window the table is in: the solve sheets a menu choice
  /// asks for, and the aperture and emission sheets.
  void setSolveSheetController(SolveSheetController* controller) { m_sheets = controller; }
  /// The surface actions, for the table's context menu and the window's menus.
  QMenu* makeSurfaceMenu(QWidget* parent);
  /// The type, solve, aperture and emission columns choose from a menu (a child
  /// of the table named "choicesMenu"): the surface types, the solves of that
  /// kind, none or one of the aperture or emission types. True when the cell has
  /// such a menu (it was shown).
  bool popUpChoices(const QModelIndex& index);
  /// Each column as wide as its title and the widest of its values.
  void sizeColumnsToContents();

 public slots:
  /// Copies the selected surfaces as surfaces (not only as rows).
  void copy() override;

 protected:
  bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
  /// Drags carry the surfaces themselves, for other tables and documents.
  void startDrag(Qt::DropActions supportedActions) override;
  void showEvent(QShowEvent* event) override;

 private:
  /// The aperture or emission menu of `surface`: none, each type (the one it has
  /// checked); a type with settings opens its sheet, OK puts it on the surface.
  void fillApertureOrEmissionMenu(QMenu& menu, const std::shared_ptr<lens::Surface>& surface, bool emission);

  QPointer<SolveSheetController> m_sheets;
  bool m_columnsSized = false;
};

}  // namespace orb::app
