#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/tables/DNDArrayController.h"
#include "platform/Observation.h"
#include "platform/Value.h"

namespace orb::materials {
class Glass;
}

namespace orb::app {

using GlassPtr = std::shared_ptr<materials::Glass>;

/// The glass list of a glass catalog (and the base of the lens's glass lists): a name
/// search over the rows, drags of glasses out as archived glasses and glass dictionaries,
/// drops of glasses or surfaces (whose glass is taken), clones, removal of unused glasses
/// and row colours.
///
/// The rows are the glasses of the bound collection whose name contains the search text
/// (ignoring case). Glasses inserted while a search is active stay listed until the next
/// search, so a clone or a drop is always seen where it landed.
class GlassCatalogController : public DNDArrayController {
  Q_OBJECT
 public:
  explicit GlassCatalogController(QObject* parent = nullptr);
  ~GlassCatalogController() override;

  /// The whole collection; the rows are its searched part.
  void setGlassContent(ArrayBinding binding);
  /// Every glass of the collection, searched or not.
  std::vector<GlassPtr> allGlasses() const;

  const std::string& searchString() const { return m_searchString; }
  /// Sets the filter and rearranges (the selection follows its objects where they stay).
  void setSearchString(std::string text);
  /// The search field's action: keeps the selected glass selected when the search still
  /// lists it, otherwise selects the first row.
  void search(const QString& text);

  /// The glass of a single-row selection; null for none or several.
  GlassPtr selectedGlass() const;
  /// Receives the selected glass (null for none or several) at every selection change:
  /// the window's display of one glass.
  using IndexHandler = std::function<void(const GlassPtr&)>;
  void setIndexHandler(IndexHandler handler);

  /// The actions below change the collection or its glasses: a list that is not editable
  /// ignores them.

  /// Removes every listed glass that no surface uses; leaves everything as it is when
  /// there is none.
  void removeUnusedGlasses();
  /// Model glasses (reference data only, not dummy, no variables, version "model") of the
  /// selected glasses, inserted at the selected indexes.
  void cloneAsModelGlasses();
  /// Mutable copies of the selected glasses, of each glass's own class, inserted at the
  /// selected indexes.
  void cloneAsMutableGlasses();
  void rainbowColors();
  void randomizeColors();

  // Hooks.
  QStringList draggedTypes() const override;
  QStringList acceptableObjects() const override;
  QStringList acceptableProperties() const override;
  std::string keyForProperty(const QString& type) const override;
  bool dragCanMoveRows() const override { return true; }
  std::optional<std::vector<ObjectPtr>> prepareObjectsForInsertion(std::vector<ObjectPtr> objects) override;
  void reacquaintObjects(const std::vector<ObjectPtr>&) override {}
  /// What a single-glass drag carries under the glass type.
  virtual GlassPtr prepareGlassForExport(const GlassPtr& glass) const { return glass; }

  /// One row: moved rows, the archived glass and its dictionary; several: moved rows and
  /// the archived array of glasses.
  QMimeData* writeRows(const std::vector<std::size_t>& rows) override;

 signals:
  /// The collection was changed through this controller (insertions, removals, colours).
  void contentEdited();

 private:
  /// Inserts a clone of every selected glass at its row.
  void cloneSelectedGlasses(const std::function<ObjectPtr(const materials::Glass&)>& makeClone);
  bool passesSearch(const ObjectPtr& object) const;
  std::vector<ObjectPtr> searchedObjects() const;
  /// Inserts the objects at the given ascending row indexes (each index counts the
  /// insertions before it) and selects them.
  void insertObjectsAtIndexes(const std::vector<ObjectPtr>& objects, const std::vector<std::size_t>& rows);
  void handSelectionToIndex();

  ArrayBinding m_all;
  std::string m_searchString;
  std::vector<const platform::Object*> m_pinned;  // inserted during the present search
  IndexHandler m_indexHandler;
};

/// The one-glass list of a glass editor: a dropped glass (or a surface's glass) replaces
/// the one it holds, as a mutable catalog-glass copy; its rows never move.
class GlassSingletonController : public GlassCatalogController {
  Q_OBJECT
 public:
  using GlassCatalogController::GlassCatalogController;
  QStringList draggedTypes() const override;
  QStringList acceptableProperties() const override;
  bool dragCanMoveRows() const override { return false; }
  /// A copy of the same class, so the drag never hands out the editor's own glass.
  GlassPtr prepareGlassForExport(const GlassPtr& glass) const override;
  /// The first object that gives a glass, as a mutable catalog glass, to stand alone in
  /// the list (the glass it held goes); nothing when no object gives a glass.
  std::optional<std::vector<ObjectPtr>> prepareObjectsForInsertion(std::vector<ObjectPtr> objects) override;
};

/// The lens's own glass list: drops from anywhere are read as glasses or surfaces (never
/// as moved rows), and removed rows first let go of their glass.
class GlassArrayController : public GlassCatalogController {
  Q_OBJECT
 public:
  using GlassCatalogController::GlassCatalogController;
  bool forceIntoGapsForLocalDrag() const override { return false; }
  QString typeFromDrop(const QMimeData* data, bool fromOwnTable) const override;
  void remove() override;
};

/// The dispersion coefficients of one glass as table rows ("coefficientName",
/// "coefficientValue", "coefficientIsVariable"). Editing a row sets that coefficient on
/// the glass at once; a change of the glass's coefficients made elsewhere rebuilds the
/// rows.
class Glasser : public QAbstractTableModel {
  Q_OBJECT
 public:
  enum Column { NameColumn, ValueColumn, VariableColumn };

  explicit Glasser(QObject* parent = nullptr);
  ~Glasser() override;

  void setContent(const GlassPtr& glass);
  const GlassPtr& glass() const { return m_glass; }
  /// A glass the user may not change shows its coefficients without editing them.
  void setEditable(bool editable) { m_editable = editable; }
  bool isEditable() const { return m_editable; }
  /// Rebuilds the rows from the glass's coefficients, in their order.
  void updateCoefficientData();
  const platform::Array& coefficientData() const { return m_coefficientData; }
  /// Sets the coefficient of `row` on the glass (the rows follow through the glass's
  /// announcement); false for a row that does not exist.
  bool setCoefficientValue(int row, double value);
  bool setCoefficientIsVariable(int row, bool variable);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

 signals:
  /// A coefficient was edited through the table.
  void glassEdited();

 private:
  std::string rowName(int row) const;

  GlassPtr m_glass;
  platform::Observation m_observation;
  platform::Array m_coefficientData;
  bool m_editable = true;
};

}  // namespace orb::app
