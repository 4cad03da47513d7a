#pragma once

#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "interchange/OsloLensCatalog.h"
#include "interchange/ZemaxLensCatalog.h"

class QLabel;
class QLineEdit;
class QMimeData;
class QPlainTextEdit;
class QPushButton;
class QTreeWidget;

namespace orb::app {

class SmartDocument;

/// A keyed archive of one catalog entry's Zemax lens text (a string).
inline constexpr const char* kArchivedZemaxStringType = "ArchivedZemaxStringType";

/// A browser over a stock-lens catalog file: its entries in a list, a short preview of
/// the selected one, and Open (or a double-click) to make that entry an untitled lens
/// document. Zemax catalogs are indexed once and their entries read again when used;
/// OSLO catalogs are an entry list beside a name file and a data file. An entry dragged out
/// carries its lens text and its surfaces (for a surface table, a layout or another program).
class LensCatalogWindow : public QWidget {
  Q_OBJECT
 public:
  enum class Kind { Zemax, Oslo };

  explicit LensCatalogWindow(Kind kind, QWidget* parent = nullptr);

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

  Kind m_kind;
  std::vector<interchange::ZemaxLensCatalogEntry> m_zemax;
  interchange::OsloLensCatalog m_oslo;
  QTreeWidget* m_list = nullptr;
  QLabel* m_preview = nullptr;
  QPlainTextEdit* m_text = nullptr;
  QPushButton* m_open = nullptr;
  QLineEdit* m_search = nullptr;
  QString m_searchString;
};

}  // namespace orb::app
