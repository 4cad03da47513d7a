#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/windows/SmartWindowController.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QTableView;

namespace orb::materials {
class Glass;
}

namespace orb::app {

class AGFDocument;
struct ArrayBinding;
class GlassCatalogController;
class GlassTableView;
class Glasser;

/// The window of a glass-catalog document ("AGFDocument"): the searchable glass list,
/// the selected glass's data and coefficients, and the catalog actions (clones, removal
/// of unused glasses, colours, export, the index plotter).
class GlassCatalogWindowController : public SmartWindowController {
  Q_OBJECT
 public:
  explicit GlassCatalogWindowController(std::string nibName, const std::shared_ptr<SmartDocument>& document);
  ~GlassCatalogWindowController() override;

  GlassCatalogController* glassController() const { return m_glasses; }
  Glasser* glasser() const { return m_glasser; }
  GlassTableView* glassTable() const;
  QLineEdit* searchField() const;
  /// The glass the data panel shows (null when none or several rows are selected).
  std::shared_ptr<materials::Glass> shownGlass() const;
  /// The data panel's text for the shown glass.
  QString shownGlassText() const;

  /// Asks where to export the selected glasses (all of them when none is selected) and
  /// writes them as AGF text; refusals and failures are shown.
  void exportGlasses();
  /// Where exports go (a save dialog by default; tests replace it). Empty restores it.
  using ExportPathChooser = std::function<std::optional<std::string>(QWidget* parent)>;
  static void setExportPathChooser(ExportPathChooser chooser);

 protected:
  void awakeFromNib() override;
  void windowWillClose() override;
  /// A read-only window lists glasses it does not own: no edits, drops, clones, removals,
  /// colours or export; drags out and the index plotter stay.
  virtual bool isReadOnly() const { return false; }
  /// The listed glasses (the document's catalog by default).
  virtual ArrayBinding glassBinding();
  /// Re-reads the list, keeping the selected glass (by name) when it is still listed.
  void reloadGlasses();

 private:
  std::shared_ptr<AGFDocument> glassDocument() const;
  void showGlass(const std::shared_ptr<materials::Glass>& glass);

  GlassCatalogController* m_glasses = nullptr;
  Glasser* m_glasser = nullptr;
};

/// Registers the interface file "AGFDocument".
void registerGlassCatalogWindow();

}  // namespace orb::app
