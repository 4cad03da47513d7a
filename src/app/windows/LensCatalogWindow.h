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
class QPlainTextEdit;
class QPushButton;
class QTreeWidget;

namespace orb::app {

class SmartDocument;

/// A browser over a stock-lens catalog file: its entries in a list, a short preview of
/// the selected one, and Open (or a double-click) to make that entry an untitled lens
/// document. Zemax catalogs are indexed once and their entries read again when used;
/// OSLO catalogs are an entry list beside a name file and a data file.
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
};

}  // namespace orb::app
