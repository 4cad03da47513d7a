#pragma once

#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "interchange/OsloLensCatalog.h"
#include "interchange/ZemaxLensCatalog.h"
#include "platform/Observation.h"

class QLabel;
class QLineEdit;
class QMimeData;
class QPlainTextEdit;
class QPushButton;
class QTreeWidget;

namespace orb::analysis {
class LayoutCalculator;
class OBCalculatorUpdater;
}  // namespace orb::analysis
namespace orb::lens {
class Lens;
}
namespace orb::rendering {
class PlanarView;
}

namespace orb::app {

class LayoutPlanarModel;
class SmartDocument;

/// A keyed archive of one catalog entry's Zemax lens text (a string).
inline constexpr const char* kArchivedZemaxStringType = "ArchivedZemaxStringType";

/// A browser over a stock-lens catalog file: its entries in a list, a preview of the
/// selected one (for a Zemax catalog its planar layout, glasses in rainbow colours and
/// framed to fit), and Open (or a double-click) to make that entry an untitled lens
/// document. Zemax catalogs are indexed once and their entries read again when used;
/// OSLO catalogs are an entry list beside a name file and a data file. An entry dragged out
/// carries its lens text and its surfaces (for a surface table, a layout or another program).
class LensCatalogWindow : public QWidget {
  Q_OBJECT
 public:
  enum class Kind { Zemax, Oslo };

  explicit LensCatalogWindow(Kind kind, QWidget* parent = nullptr);
  ~LensCatalogWindow() override;

  /// Asks for a catalog file of that kind, then shows a browser over it; null when the
  /// user cancels or the file cannot be read (said in an alert over `parent`).
  static LensCatalogWindow* browse(Kind kind, QWidget* parent);
  /// Where the catalog file comes from (a file dialog by default; tests replace it).
  /// Empty restores the dialog.
  using FileChooser = std::function<std::optional<std::string>(QWidget* parent, Kind kind)>;
  static void setFileChooser(FileChooser chooser);

  /// Indexes the file and lists its entries; false when it cannot be opened.
  bool loadFile(const std::string& path);

  Kind kind() const { return m_kind; }
  int entryCount() const;
  QTreeWidget* entryList() const { return m_list; }
  QLabel* previewLabel() const { return m_preview; }
  /// The layout of the selected Zemax entry (null for an OSLO catalog), drawn by the
  /// preview's own layout calculator from the preview lens.
  rendering::PlanarView* layoutView() const { return m_layout; }
  const std::shared_ptr<analysis::LayoutCalculator>& layoutCalculator() const { return m_calculator; }
  const std::shared_ptr<lens::Lens>& previewLens() const { return m_previewLens; }
  QPlainTextEdit* entryText() const { return m_text; }
  QPushButton* openButton() const { return m_open; }
  QLineEdit* searchField() const { return m_search; }

  /// Shows only the entries whose name contains `text`, whatever its case; all when empty.
  /// A selected entry that is hidden is no longer selected.
  void search(const QString& text);
  QString searchString() const { return m_searchString; }

  /// What dragging the entry at `row` out carries: its text as plain text, for a Zemax
  /// entry that text archived under "ArchivedZemaxStringType", and the entry's surfaces
  /// archived under the surface type. Null for a row that is no entry.
  QMimeData* dragDataForRow(int row) const;

  /// The selected entry as a new document with its windows; null (and an alert) when
  /// nothing is selected or the entry holds no lens.
  std::shared_ptr<SmartDocument> openSelectedEntry();

 private:
  void showSelection();
  std::string selectedEntryText(int row) const;
  /// Shows `lens` in the layout (null clears it) and frames it once its rays are traced.
  void setPreviewLens(std::shared_ptr<lens::Lens> lens);

  Kind m_kind;
  std::vector<interchange::ZemaxLensCatalogEntry> m_zemax;
  interchange::OsloLensCatalog m_oslo;
  QTreeWidget* m_list = nullptr;
  QLabel* m_preview = nullptr;
  QPlainTextEdit* m_text = nullptr;
  QPushButton* m_open = nullptr;
  QLineEdit* m_search = nullptr;
  QString m_searchString;
  rendering::PlanarView* m_layout = nullptr;
  std::shared_ptr<analysis::LayoutCalculator> m_calculator;
  std::shared_ptr<analysis::OBCalculatorUpdater> m_updater;
  std::shared_ptr<LayoutPlanarModel> m_model;
  std::shared_ptr<lens::Lens> m_previewLens;
  platform::Observation m_modelChanged;
  bool m_fitPending = false;
};

}  // namespace orb::app
