#pragma once

#include <QPointer>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "foundation/objects/OBObject.h"

class QWidget;

namespace orb::materials {
class GlassCatalog;
}

namespace orb::app {

class SmartDocument;
class StartWindow;

/// The application delegate: registers the factory defaults and the named value
/// transformers, names the main thread, loads the system glass catalog on a thread of
/// its own and offers what the application does without a document (the start window,
/// new documents from clipboard text).
///
/// The system glass catalog is process-wide: requests wait (on a condition variable)
/// while a load runs, and a request when none has run loads it on the requesting thread.
/// Key "systemGlassCatalog" is observable (announced on reset).
class OBAppDel : public foundation::OBObject {
 public:
  static const platform::KeyTable& classKeys();
  const platform::KeyTable& keys() const override { return classKeys(); }
  std::string className() const override { return "OBAppDel"; }

  /// The application's delegate (made on first use).
  static OBAppDel& shared();

  /// Before anything else: factory defaults, then the seven named value transformers.
  /// Safe to call more than once.
  static void initialize();
  /// Registers the resource "UserDefaults" ("plist") as the factory defaults.
  static void setupDefaults();

  /// Names the main thread "Orbelline".
  void applicationWillFinishLaunching();
  /// Starts loading the system glass catalog on a thread, unless it is loaded.
  void applicationDidFinishLaunching();
  /// No untitled document at launch or reactivation.
  bool applicationShouldOpenUntitledFile() const { return false; }

  // --- system glass catalog --------------------------------------------------------------
  /// The catalog; waits while a load runs; loads at once when none has. Null when the
  /// load failed. Any thread.
  static std::shared_ptr<materials::GlassCatalog> systemGlassCatalog();
  /// Releases the catalog and the glass libraries read from the folders the defaults
  /// name, then posts "systemGlassCatalogResetNotification" (object: the delegate); the
  /// next request loads it again, reading the folders as they are named then. Main thread.
  void resetGlassCatalog();
  /// True while a load runs.
  static bool isLoadingSystemGlassCatalog();
  /// Waits for a launch-time load to end (shut-down).
  static void waitForSystemGlassCatalogLoader();
  /// What a load runs (the default reads the resources and the glass libraries the
  /// defaults name); tests and tools replace it. An empty function restores the default.
  using CatalogLoader = std::function<std::shared_ptr<materials::GlassCatalog>()>;
  static void setSystemGlassCatalogLoader(CatalogLoader loader);

  // --- documents without a document window -------------------------------------------------
  /// New document from clipboard text (the clipboard's plain text, or none): an untitled
  /// document that reads the text, then shows its windows. On failure returns null with
  /// `error` set to "Unable to make new Orbelline document" or, when the text could not
  /// be read, "Pasteboard does not contain Orbelline data" (and `detail` to the reader's
  /// reason); the document is closed then.
  std::shared_ptr<SmartDocument> openSelection(const std::optional<std::string>& plainText, std::string* error,
                                               std::string* detail = nullptr);

  /// A lens catalog's entry (its text, of an OBDocument type) as an untitled document
  /// with its windows. On failure says why in an alert over `parent` and returns null.
  std::shared_ptr<SmartDocument> openCatalogEntry(const std::string& text, const std::string& type, QWidget* parent);

  /// Opens a lens file as a document and shows its windows; a file already open brings
  /// its windows front instead. On failure says why in an alert over `parent` and
  /// returns null.
  std::shared_ptr<SmartDocument> openDocumentWithPath(const std::string& path, QWidget* parent);
  /// Asks for a file (`chooseFileToOpen`), then opens it.
  void openDocument(QWidget* parent);
  /// Lens files dropped on `window` (start, lens or analysis window) open as documents.
  static void acceptLensFileDrops(QWidget* window);
  /// A new document from the clipboard's text, failures shown over `parent`.
  void newFromClipboard(QWidget* parent);
  /// Where Open… finds its file (a file dialog by default; tests replace it).
  std::function<std::optional<std::string>(QWidget* parent)> chooseFileToOpen;

  /// The files opened or saved lately, newest first (the user default
  /// "recentDocumentPaths", at most ten).
  std::vector<std::string> recentDocumentPaths() const;
  void noteRecentDocumentPath(const std::string& path);
  void clearRecentDocuments();

  /// The document of a window's controller, or null.
  static std::shared_ptr<SmartDocument> documentOfWindow(QWidget* window);
  /// Closes the document of `frontWindow` after reviewing its unsaved changes.
  void performCloseDocument(QWidget* frontWindow);
  /// Enabled while at least one document is open.
  bool canPerformCloseDocument() const;
  /// Closes every other window of the front window's document (or, when it has none,
  /// every other window that has none); windows of other documents stay.
  void closeAllButFrontWindow(QWidget* frontWindow);
  /// Brings every window of the application to the front, the front window last.
  void arrangeInFront(QWidget* frontWindow = nullptr);
  /// Quit: reviews every edited document (Save / Don't Save / Cancel); a Cancel or a
  /// failed save keeps the application running and returns false. Otherwise closes
  /// every document and ends the application.
  bool terminate(QWidget* parent);

  /// The small window shown while no document is open (Linux has no menu bar without a
  /// window): Open, New from Clipboard, Quit.
  StartWindow* startWindow();
  /// Shows or hides the start window as documents open and close.
  void updateStartWindow();

  /// Choose the directory of the Zemax (or OSLO) glass library: stored, with the home
  /// directory as "~", in "zemaxGlassLibraryPath" (or "osloGlassLibraryPath"). Cancel
  /// changes nothing. The next catalog load reads it.
  void browseForZemaxGlassDirectory(QWidget* parent);
  void browseForOsloGlassDirectory(QWidget* parent);
  /// Where the directory comes from (a directory dialog by default; tests replace it).
  std::function<std::optional<std::string>(QWidget* parent, const std::string& title)> chooseDirectory;
  /// "~/…" for a path inside the home directory.
  static std::string abbreviatingWithTildeInPath(const std::string& path);

  /// The application's glass library window: loaded on first use, then made key and
  /// brought to the front.
  void showGlassLibrary();

  /// "closeAllOptionPanelsNotification" when idle, coalesced on name.
  void closeAllOptionPanels();

  std::string versionString() const;
  static unsigned processorCount();

 private:
  QPointer<StartWindow> m_startWindow;
};

}  // namespace orb::app
