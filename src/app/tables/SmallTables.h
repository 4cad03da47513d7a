#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <QStringList>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/tables/ColorThing.h"
#include "app/tables/DNDArrayController.h"
#include "platform/Object.h"
#include "platform/Observation.h"

class QMimeData;
class QTableView;
class QWidget;

namespace orb::lens {
class Lens;
class Surface;
}  // namespace orb::lens

namespace orb::app {

class OBDocument;

// --- Rows of plain keyed values ----------------------------------------------------------------------

/// A row that is nothing but named values: a measured (wavelength, index) pair, a key with its value. Any key reads
/// (nil when absent) and writes.
class KeyValueRow : public platform::Object {
 public:
  static std::shared_ptr<KeyValueRow> row(platform::Dictionary values = {});
  const platform::Dictionary& values() const { return m_values; }

  std::string className() const override { return "KeyValueRow"; }
  std::string description() const override { return m_values.description(); }
  platform::Value valueForUndefinedKey(std::string_view key) const override;
  void setValueForUndefinedKey(std::string_view key, const platform::Value& value) override;
  void encodeWithCoder(platform::Coder& coder) const override;
  void initWithCoder(const platform::Coder& coder) override;
  /// Makes rows decodable from the tables' copies and drags.
  static void registerArchiveClass();

 private:
  platform::Dictionary m_values;
};

// --- Text forms of the small tables ------------------------------------------------------------------

/// One "label<TAB>number" line per row ("%@\t%e\n"): the label under `xKey`, the number under `yKey` in exponent
/// notation. Rows lacking either value are skipped.
std::string parameterRowsText(const std::vector<ObjectPtr>& rows, std::string_view xKey, std::string_view yKey);

/// The (name, number) pairs of pasted text: a run of letters and digits names a row, the number after it is its value
/// (0 when no number follows); reading stops where no name can be read.
std::vector<std::pair<std::string, double>> scanTitledValues(const std::string& text);

/// Index-data rows (keys "wavelength" and "indexOfRefraction") from text of one "wavelength index" pair a line; reading
/// stops at the first line without both numbers.
std::vector<ObjectPtr> indexRowsFromString(std::string_view text);
/// "%g\t%.7f\n" of each row holding both numbers.
std::string indexRowsText(const std::vector<ObjectPtr>& rows);

// --- Parameters of a surface -------------------------------------------------------------------------

/// The type-specific parameters of a surface, exchanged with other programs as plain "title value" text: copy a list
/// out, edit it elsewhere and paste or drop it back by title. Rows can be filtered by a search text on their titles.
class ParameterArrayController : public QAbstractTableModel {
  Q_OBJECT
 public:
  explicit ParameterArrayController(QObject* parent = nullptr);
  ~ParameterArrayController() override;

  /// The label and number keys of the text form.
  virtual std::string xKey() const { return "title"; }
  virtual std::string yKey() const { return "value"; }
  virtual QStringList typesToDragIn() const;
  QStringList typesToDragOut() const;
  Qt::DropAction dragOperationForMask(Qt::DropActions mask) const;

  /// The rows' source; reloadContent() re-reads it.
  void setContent(std::function<std::vector<ObjectPtr>()> objects);
  void reloadContent();
  const std::vector<ObjectPtr>& arrangedObjects() const { return m_arranged; }
  /// Tells the views that values changed (rows stay).
  void refreshValues();

  void setEditable(bool editable) { m_editable = editable; }
  bool isEditable() const { return m_editable; }

  /// Keeps only rows whose title contains the text, ignoring case; empty shows all.
  void setSearchString(const QString& text);
  const QString& searchString() const { return m_searchString; }

  // Selection: indexes into arrangedObjects, in step with the view's selection when set.
  void setTableView(QTableView* view);
  QTableView* tableView() const { return m_view; }
  std::vector<std::size_t> selectionIndexes() const;
  void setSelectionIndexes(const std::vector<std::size_t>& rows);
  std::vector<ObjectPtr> selectedObjects() const;

  /// The text form of the given arranged rows.
  std::string stringFromRowIndexes(const std::vector<std::size_t>& rows) const;
  /// Gives each named row of the text its number; unknown names are passed over. Answers how many values were set.
  int pasteString(const std::string& text);
  /// A drop: refused when not editable or from the own table; text as it is, a file's text for a file drop; goes to
  /// pasteString.
  Qt::DropAction validateDrop(const QMimeData* data) const;
  bool acceptDrop(const QMimeData* data);
  bool pasteFromMimeData(const QMimeData* data);
  QMimeData* writeRows(const std::vector<std::size_t>& rows) const;
  void copy() const;
  void paste();

  // Actions on the selected rows.
  void zero();
  void negate();
  void bigger();
  void smaller();
  /// Around a replacement of the shown surface the selection is kept by index.
  void startSurfaceReplacement();
  void endSurfaceReplacement();

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
  QStringList mimeTypes() const override;
  QMimeData* mimeData(const QModelIndexList& indexes) const override;
  bool canDropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                       const QModelIndex& parent) const override;
  bool dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                    const QModelIndex& parent) override;
  Qt::DropActions supportedDragActions() const override;
  Qt::DropActions supportedDropActions() const override;

 signals:
  void selectionChanged();

 private:
  void arrange();
  void pullSelectionFromView();
  void pushSelectionToView();
  void scaleSelected(double factor);

  std::function<std::vector<ObjectPtr>()> m_source;
  std::vector<ObjectPtr> m_content;
  std::vector<ObjectPtr> m_arranged;
  QString m_searchString;
  bool m_editable = true;
  QTableView* m_view = nullptr;
  std::vector<std::size_t> m_selection;
  std::optional<std::vector<std::size_t>> m_memorizedSelection;
  bool m_pushing = false;
  std::vector<platform::Observation> m_observations;
};

/// Rows of "key" and "value": the same text form, but its table takes no drops.
class DCArrayController : public ParameterArrayController {
  Q_OBJECT
 public:
  using ParameterArrayController::ParameterArrayController;
  std::string xKey() const override { return "key"; }
  QStringList typesToDragIn() const override { return {}; }
};

/// The parameter table of one surface with its search field and value buttons, for the surface-data window. It follows
/// the document's lens (undo, replacements of the surface).
QWidget* makeParameterTable(const std::shared_ptr<OBDocument>& document, QWidget* parent);
/// The surface whose parameters `table` (made by makeParameterTable) shows; null shows none.
void setParameterTableSurface(QWidget* table, const std::shared_ptr<lens::Surface>& surface);
/// The controller of a table made by makeParameterTable.
ParameterArrayController* parameterTableController(QWidget* table);

// --- Fields, waves, beams, index data ----------------------------------------------------------------

/// The shared part of the lens's list controllers: rows follow the lens collection (and its undo), values refresh
/// whenever the lens is ready again.
class LensListController : public DNDArrayController {
  Q_OBJECT
 public:
  LensListController(std::shared_ptr<lens::Lens> lens, std::string arrayKey, QObject* parent = nullptr);
  const std::shared_ptr<lens::Lens>& lens() const { return m_lens; }

  QStringList draggedTypes() const override;
  QStringList acceptableObjects() const override { return {}; }
  QStringList acceptableProperties() const override;
  std::string keyForProperty(const QString& type) const override;

  void rainbowColors();
  void randomizeColors();
  /// Refreshes the shown values (the rows stay).
  void refreshValues();

 private:
  void watchColors();

  std::shared_ptr<lens::Lens> m_lens;
  /// Announces colour edits of the rows ("colorChangedNotification"): open analyses
  /// recolour and the document counts an edit.
  std::unique_ptr<ColorThing> m_colorThing;
  platform::Observation m_arrayObservation;
  platform::Observation m_readyObservation;
};

/// The lens's fields. The lens needs at least one: removing every field is refused.
class FieldArrayController : public LensListController {
  Q_OBJECT
 public:
  explicit FieldArrayController(std::shared_ptr<lens::Lens> lens, QObject* parent = nullptr);
  ObjectPtr newObject() override;
  void remove() override;
  /// False (and why) when removing the selected rows would leave the lens without fields.
  bool canRemoveSelection(std::string* why = nullptr) const;
  /// The selected fields get their full pupil back (no vignetting factors).
  void clearVignetting();
};

/// The lens's wavelengths. The lens needs at least one: removing every wave is refused.
class WaveArrayController : public LensListController {
  Q_OBJECT
 public:
  explicit WaveArrayController(std::shared_ptr<lens::Lens> lens, std::weak_ptr<OBDocument> document = {},
                               QObject* parent = nullptr);
  ObjectPtr newObject() override;
  void remove() override;
  bool canRemoveSelection(std::string* why = nullptr) const;
  /// Replaces the waves by F, d and C in rainbow colours: one undo step "F,d,C".
  void useFdC();
  /// Exactly one wave selected, and not the first row.
  bool canSetWaveAsPrimary() const;
  void setWaveAsPrimary();

 private:
  std::weak_ptr<OBDocument> m_document;
};

/// The lens's Gaussian beams.
class BeamArrayController : public LensListController {
  Q_OBJECT
 public:
  explicit BeamArrayController(std::shared_ptr<lens::Lens> lens, QObject* parent = nullptr);
  ObjectPtr newObject() override;
  /// Every edited beam value is a lens change (name, index and M² included), so one undo step.
  bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
};

/// Measured (wavelength, index) pairs for the index fitter, exchanged as text.
class IndexArrayController : public DNDArrayController {
  Q_OBJECT
 public:
  /// Rows kept in `rows` (a new list when null).
  explicit IndexArrayController(std::shared_ptr<std::vector<ObjectPtr>> rows = nullptr, QObject* parent = nullptr);
  const std::shared_ptr<std::vector<ObjectPtr>>& rows() const { return m_rows; }

  QStringList draggedTypes() const override;
  QStringList acceptableObjects() const override { return {}; }
  QStringList acceptableProperties() const override;
  std::string keyForProperty(const QString& type) const override;
  QStringList typesToDragOut() const override;
  std::vector<ObjectPtr> objectsFromFile(const std::string& path) override;
  std::vector<ObjectPtr> objectsFromString(const std::string& text) override;
  std::optional<std::string> stringFromRowIndexes(const std::vector<std::size_t>& rows) const override;
  ObjectPtr newObject() override;

 private:
  std::shared_ptr<std::vector<ObjectPtr>> m_rows;
};

// --- Surfaces carrying an emission or an aperture ----------------------------------------------------

/// The surfaces of the lens whose value under a key ("emission", "aperture") is set, in lens order; the list filters
/// again whenever a surface gains or loses one.
class SurfaceFilterController : public QAbstractTableModel {
  Q_OBJECT
 public:
  struct Column {
    std::string title;
    std::string keyPath;  // on the surface; "" shows the surface's number
    bool editable = false;
  };
  SurfaceFilterController(std::shared_ptr<lens::Lens> lens, std::string filterKey, std::vector<Column> columns,
                          QObject* parent = nullptr);

  const std::vector<std::shared_ptr<lens::Surface>>& arrangedObjects() const { return m_arranged; }
  /// Re-applies the filter (the surfaces or their keys changed).
  void rearrangeObjects();

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

 private:
  void watchSurfaces();

  std::shared_ptr<lens::Lens> m_lens;
  std::string m_filterKey;
  std::vector<Column> m_columns;
  std::vector<std::shared_ptr<lens::Surface>> m_arranged;
  platform::Observation m_surfacesObservation;
  std::vector<platform::Observation> m_surfaceObservations;
  platform::Observation m_readyObservation;
};

/// The emitters: surfaces with an emission.
class EmitterArrayController : public SurfaceFilterController {
  Q_OBJECT
 public:
  explicit EmitterArrayController(std::shared_ptr<lens::Lens> lens, QObject* parent = nullptr);
};

/// The surfaces with an aperture.
class ApertureArrayController : public SurfaceFilterController {
  Q_OBJECT
 public:
  explicit ApertureArrayController(std::shared_ptr<lens::Lens> lens, QObject* parent = nullptr);
};

}  // namespace orb::app
