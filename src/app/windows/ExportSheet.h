#pragma once

#include <QDialog>
#include <QPointer>
#include <QWidget>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Object.h"

namespace Ui {
class ExportSheet;
}

namespace orb::app {

/// What a save panel asks for: its title, the file type it adds when the user gives none,
/// and an optional line of text shown under the file list.
struct SavePanelOptions {
  std::string title;
  std::string suffix = "txt";
  std::string accessoryText;
};

/// Asks for the path to save to, window-modal over `parent`, and calls `chosen` with it
/// once the user confirms (never when the user cancels). Tests replace it.
using SavePathChooser =
    std::function<void(QWidget* parent, const SavePanelOptions& options, std::function<void(const std::string&)> chosen)>;

/// The application's save panel: a non-blocking file dialog, window-modal over `parent`.
void runSavePanel(QWidget* parent, const SavePanelOptions& options, std::function<void(const std::string&)> chosen);

/// Writes `text` to `path` through a temporary file that replaces the old one only when
/// everything was written; on failure returns false with the reason in `error`.
bool writeTextFile(const std::string& path, const std::string& text, std::string* error);

/// The field delimiter of a delimiter type: 0 a comma, 1 a space, 2 a tab, any other a space.
std::string delimiterForType(int type);

/// The columns text of `curves` (plot-dictionary curve dictionaries, in column order): an
/// optional row of quoted names headed by the first curve's "xLabel", then one row per
/// point holding the first curve's x and every curve's y, numbers as printf's "%e" writes
/// them in the C locale. Curves whose abscissae differ get an x column each (each headed by
/// its own "xLabel"). Rows run to the longest curve; a shorter one leaves empty fields.
std::string curvesExportText(const std::vector<platform::Dictionary>& curves, const std::string& delimiter,
                             bool includeNameRow);

/// The export sheet of the plot windows: lists a plot's curves by name and puts the
/// selected ones on the clipboard, or in a text file, as delimited columns.
///
/// Keys: "curves" (array of curve dictionaries; setting it selects them all),
/// "delimiterType" (int, 0 at start), "includeNameRow" (bool, true at start).
/// The dialog ("ExportSheet.ui") is loaded on first use and belongs to the controller.
class ExportSheetController : public platform::Object {
 public:
  ExportSheetController();
  ~ExportSheetController() override;

  static const platform::KeyTable& classKeys();
  const platform::KeyTable& keys() const override { return classKeys(); }
  std::string className() const override { return "ExportSheetController"; }

  /// The window the sheet opens over.
  QWidget* mainWindow() const { return m_mainWindow.data(); }
  void setMainWindow(QWidget* window);

  const platform::Array& curves() const { return m_curves; }
  void setCurves(platform::Array curves);
  int delimiterType() const { return m_delimiterType; }
  void setDelimiterType(int type);
  bool includeNameRow() const { return m_includeNameRow; }
  void setIncludeNameRow(bool include);
  /// Indexes into "curves" of the curves to export, ascending.
  const std::vector<std::size_t>& selectionIndexes() const { return m_selectionIndexes; }
  void setSelectionIndexes(std::vector<std::size_t> indexes);

  /// The text of the selected curves with the present settings.
  std::string exportText() const;
  /// "Copy": replaces the clipboard's contents with the text.
  void copy();
  /// "Save…": asks for a file and writes the text there; failures are shown.
  void save();
  void setSavePathChooser(SavePathChooser chooser) { m_savePathChooser = std::move(chooser); }

  /// The dialog, loaded on first use.
  QDialog* sheet();
  bool isSheetLoaded() const { return m_sheet != nullptr; }
  /// Opens the sheet, window-modal over the main window.
  void beginSheet();
  /// "Close".
  void endSheet();

 private:
  void loadSheet();
  void reloadCurveList();
  void showSelectionInList();
  void showSettings();
  void writeToPath(const std::string& path);

  QPointer<QWidget> m_mainWindow;
  QPointer<QDialog> m_sheet;
  std::unique_ptr<Ui::ExportSheet> m_form;
  platform::Array m_curves;
  int m_delimiterType = 0;
  bool m_includeNameRow = true;
  std::vector<std::size_t> m_selectionIndexes;
  bool m_updatingList = false;  // list changes made by the controller are not user selections
  SavePathChooser m_savePathChooser = runSavePanel;
};

}  // namespace orb::app
