#pragma once

#include <QPointer>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/LensRoles.h"
#include "app/document/DocumentController.h"
#include "app/document/SmartDocument.h"
#include "interchange/TextDecoding.h"
#include "lens/LensDelegate.h"
#include "platform/AtomicFile.h"
#include "platform/Observation.h"
#include "platform/Value.h"

class QPageLayout;
class QPrinter;
class QUndoStack;
class QWidget;

namespace orb::lens {
class Lens;
}
namespace orb::optimisation {
class MeritFunction;
class Optimizer;
class ScaleMemory;
}
namespace orb::interchange {
struct ZemaxTrouble;
enum class ZemaxTroubleAnswer;
}

namespace orb::app {

class SmartWindowController;

/// The lens document: owns one Lens and is its delegate, with the document's merit
/// functions, the optimiser's scale memory and the window records read from a file. It
/// reads Zemax, CODE V and OSLO lens files and its own keyed archive ("Orbelline file"),
/// writes the Zemax and native forms, and
/// hands its lens to the analysis windows as their lens provider. Main thread only.
///
/// Reading either gives a whole document or fails with a reason: a file that cannot be
/// decoded or applied never leaves an empty document under the file's name, where Save
/// would overwrite the user's file.
class OBDocument : public SmartDocument, public analysis::LensProvider, public lens::LensDelegate {
 public:
  static constexpr const char* kNativeType = "Orbelline file";
  static constexpr const char* kZemaxType = "ZEMAX lens file";
  static constexpr const char* kCodeVType = "CODE V sequence file";
  static constexpr const char* kOsloType = "OSLO lens file";
  static constexpr const char* kNativeExtension = "orb";
  /// Posted (sender: the document's reference) when the shared surface selection changes.
  static constexpr const char* kSurfaceSelectionChangedNotification = "surfaceSelectionChangedNotification";

  static const platform::KeyTable& classKeys();
  const platform::KeyTable& keys() const override { return classKeys(); }
  std::string className() const override { return "OBDocument"; }

  /// A document with a new empty lens (use platform::makeObject, then init()).
  OBDocument();
  ~OBDocument() override;
  /// Makes the document the delegate of its lens (needs the shared owner).
  void init();

  /// The document type of a file: by extension, then by content (a keyed archive is a
  /// property list); empty when neither tells.
  static std::string typeOfFile(const std::string& path);

  // --- reading and writing ----------------------------------------------------------------
  /// Reads the file as the given type; false and a reason when it can't. On failure the
  /// document's lens is left as it was.
  bool readFromFile(const std::string& path, const std::string& type, std::string* error);
  bool readFromPlainText(const std::string& text, std::string* error) override;
  /// A lens catalog's entry as an untitled document: Zemax text (type kZemaxType, from a
  /// Zemax lens catalog) or an OSLO prescription (kOsloType, from an OSLO lens catalog),
  /// read without questions. False and a reason when the entry holds no lens.
  bool readFromCatalogEntryText(const std::string& text, const std::string& type, std::string* error);
  /// Writes the document (temporary file, then renamed over the old one): the old file
  /// stays whole on failure.
  bool writeToFile(const std::string& path, const std::string& type, std::string* error);
  /// The native archive's root dictionary.
  platform::Dictionary nativeRootDictionary() const;

  /// The question asked at each Zemax line the reader cannot take (a window-modal
  /// "Trouble at file line %d" box by default; tests replace it). Empty restores it.
  using ZemaxTroubleAsker = std::function<interchange::ZemaxTroubleAnswer(const interchange::ZemaxTrouble&)>;
  static void setZemaxTroubleAsker(ZemaxTroubleAsker asker);

  // --- the document ---------------------------------------------------------------------
  const std::string& filePath() const { return m_filePath; }
  /// The document's file. The listings show its name, so the lens is then asked, after a
  /// zero delay, to announce its comments changed (surfaceCommentChanged).
  void setFilePath(std::string path);
  std::string documentPath() const override { return m_filePath; }
  /// After a CODE V or OSLO file: how many of its lines were passed over, and the first.
  std::string readingNote() const override { return m_readingNote; }
  /// The type the document was read as or last saved as ("Orbelline file", "ZEMAX lens
  /// file"); Save writes it again. Empty for a new document.
  const std::string& fileType() const { return m_fileType; }
  std::string displayName() const override;
  bool isDocumentEdited() const override { return m_changeCount != 0; }

  /// Save: to the document's file in its type; a new document asks where (Save As…).
  bool saveDocument(QWidget* parent) override;
  /// Save As…: asks for a place and a type, then writes there; false when cancelled or
  /// failed (the failure shown over `parent`).
  bool saveDocumentAs(QWidget* parent);
  /// Revert to Saved: after asking, reads the document's file again; the windows keep
  /// showing the document's lens. False when cancelled, without a file, or when the
  /// file can no longer be read (shown; the document is left as it was).
  bool revertDocumentToSaved(QWidget* parent);
  /// Where Save As… writes: a path and a type. A save dialog by default; tests replace
  /// it. An empty function restores the dialog.
  struct SaveDestination {
    std::string path;
    std::string type;
  };
  using SaveDestinationChooser = std::function<std::optional<SaveDestination>(QWidget* parent, const OBDocument&)>;
  static void setSaveDestinationChooser(SaveDestinationChooser chooser);
  /// Asked before Revert to Saved throws the changes away (a question by default; tests
  /// replace it).
  using RevertConfirmer = std::function<bool(QWidget* parent, const OBDocument&)>;
  static void setRevertConfirmer(RevertConfirmer confirmer);
  /// Asked before Save writes over a file another program changed since it was read or
  /// last saved (a window-modal question by default; tests replace it): true saves
  /// anyway. An empty function restores the question.
  using ChangedFileAsker = std::function<bool(QWidget* parent, const OBDocument&)>;
  static void setChangedFileAsker(ChangedFileAsker asker);
  /// Restoring a snapshot is no edit of its own (undo and redo count themselves).
  void updateChangeCount() override {
    if (!m_restoringSnapshot) updateChangeCount(1);
  }
  /// Undo counts an edit back, redo forward.
  void updateChangeCount(int delta) {
    m_changeCount += delta;
    updateWindowsModifiedMark();
  }
  void clearChangeCount() {
    m_changeCount = 0;
    updateWindowsModifiedMark();
  }

  // --- printing ---------------------------------------------------------------------------
  /// The document's print info, archived under "printInfo": "paperName" (a page size's
  /// name, "A4", "Letter", …) and "orientation" ("Portrait" or "Landscape"). On first use
  /// it is the application's default, copied in.
  platform::Dictionary printInfo();
  /// Stores a copy and marks the document edited (Page Setup… changed it).
  void setPrintInfo(const platform::Dictionary& printInfo);
  /// Prints the view a window gives for printing (SmartWindowController::viewForPrinting)
  /// on one page, scaled to fit both ways, with no top and bottom margins and 7 points left
  /// and right, on the paper and in the orientation of the document's print info.
  class PrintOperation {
   public:
    PrintOperation(QWidget* view, platform::Dictionary printInfo);
    QWidget* view() const;
    /// The print info the operation prints with: the document's, the settings over it,
    /// then the fitting and margins above.
    const platform::Dictionary& printInfo() const { return m_printInfo; }
    /// Prints on `printer` (tests pass a PDF printer); false when the view has gone or
    /// the printer cannot be painted on.
    bool runOn(QPrinter& printer) const;

   private:
    QPointer<QObject> m_view;  // the view; QObject keeps QWidget out of this header
    platform::Dictionary m_printInfo;
  };
  /// The print operation of `mainWindow` (the document's active window when null): none
  /// when that window gives no view for printing. `settings` go over the print info.
  std::optional<PrintOperation> printOperationWithSettings(const platform::Dictionary& settings,
                                                           QWidget* mainWindow = nullptr);
  /// File ▸ Print…: asks for a printer (the printer chooser) and prints `window`'s view.
  /// False when the window has nothing to print.
  bool printDocument(QWidget* window);
  /// File ▸ Page Setup…: asks for paper and orientation (the page-setup chooser) and keeps
  /// them as the print info.
  void runPageLayout(QWidget* window);
  /// Asks for a printer, window-modal over `parent`, and calls `accepted` once the user
  /// confirms (never on cancel). A print dialog by default; tests replace it (empty
  /// restores the dialog).
  using PrinterChooser =
      std::function<void(QWidget* parent, std::shared_ptr<QPrinter> printer, std::function<void()> accepted)>;
  static void setPrinterChooser(PrinterChooser chooser);
  /// Asks for paper and orientation starting from `layout`; calls `accepted` with the
  /// chosen layout. A page-setup dialog by default; tests replace it.
  using PageSetupChooser =
      std::function<void(QWidget* parent, const QPageLayout& layout, std::function<void(const QPageLayout&)> accepted)>;
  static void setPageSetupChooser(PageSetupChooser chooser);

  // --- the lens ---------------------------------------------------------------------------
  analysis::LensPtr lens() const override { return m_lens; }
  void setLens(std::shared_ptr<lens::Lens> lens);
  platform::Dictionary lensKeyPathUpdateDictionary() const override { return m_lensKeyPathUpdateDictionary; }
  void setLensKeyPathUpdateDictionary(const platform::Dictionary& renames) override;
  /// Posts "lensIsReadyNotification" (sender: the document's reference); the first time
  /// the edit count is cleared.
  void lensIsReady() override;
  /// The optimiser's remembered scales, bounds and enabled flags by variable key path
  /// (archived under "scaleMemory"). The object is shared with the optimisers bound to the
  /// document, so it stays the same one for the document's life.
  platform::Dictionary scaleMemory() const;
  void setScaleMemory(platform::Dictionary memory);
  const std::shared_ptr<optimisation::ScaleMemory>& sharedScaleMemory() const { return m_scaleMemory; }
  /// The glasses delivered with the document's file, searched by the lens after its own
  /// glasses and before the system's: reading a Zemax file sets it to the Zemax glass
  /// library and then the gradient dispersion library of the file's folder. Null when
  /// there are none.
  std::shared_ptr<materials::GlassCatalog> localGlassCatalog() const override { return m_localGlassCatalog; }
  void setLocalGlassCatalog(std::shared_ptr<materials::GlassCatalog> catalog) {
    m_localGlassCatalog = std::move(catalog);
  }

  // --- merit functions ("meritFunctionArray") ----------------------------------------------
  const platform::Array& meritFunctionArray() const { return m_meritFunctionArray; }
  void setMeritFunctionArray(platform::Array functions);
  std::size_t countOfMeritFunctionArray() const { return m_meritFunctionArray.size(); }
  std::shared_ptr<optimisation::MeritFunction> objectInMeritFunctionArrayAtIndex(std::size_t index) const;
  void replaceObjectInMeritFunctionArrayAtIndex(std::size_t index, std::shared_ptr<optimisation::MeritFunction> function);
  /// Undoable as "Insert merit function"; an index past the end appends.
  void insertObjectInMeritFunctionArrayAtIndex(std::shared_ptr<optimisation::MeritFunction> function, std::size_t index);
  /// Undoable as "Delete merit function"; an index past the end does nothing.
  void removeObjectFromMeritFunctionArrayAtIndex(std::size_t index);

  // --- the optimiser ------------------------------------------------------------------------
  /// Hands an optimiser the document's lens and scale memory, and makes the best point it
  /// applies one undoable lens change. Bind before the optimiser has a lens of its own, so
  /// its variables start from the remembered settings.
  void bindOptimizer(optimisation::Optimizer& optimizer);
  /// The optimiser keeps a copy of the scale memory; the document's is no longer written.
  void unbindOptimizer(optimisation::Optimizer& optimizer);
  /// Just before an optimiser writes its best point into the lens: the undo step it makes
  /// restores the lens as it is now, under the ordinary name.
  void optimizerWillApplyBestPoint();
  const platform::Array& windowRestorationDictionaries() const { return m_windowRestorationDictionaries; }
  void setWindowRestorationDictionaries(platform::Array records) { m_windowRestorationDictionaries = std::move(records); }

  /// "colorChangedNotification": a recoloured wave, field or glass of the lens marks the
  /// document edited; other objects (surfaces included) do not.
  void colorChanged(const platform::Value& object);
  /// The example lens: a Cooke triplet from its paraxial specification.
  static std::shared_ptr<lens::Lens> tripletTestLens();

  // --- surface selection -----------------------------------------------------------------
  /// The lens's selected surfaces by index, ascending, shared by the windows that select
  /// surfaces (the surface table, the layouts) so that a selection made in one shows in
  /// the others. A change posts kSurfaceSelectionChangedNotification at once; the same
  /// selection again posts nothing, which ends the echo between windows.
  const std::vector<std::size_t>& selectedSurfaceIndexes() const { return m_selectedSurfaceIndexes; }
  void setSelectedSurfaceIndexes(std::vector<std::size_t> indexes);

  // --- undo snapshots ---------------------------------------------------------------------
  // Lens edits come from everywhere and are not undoable one by one: the document keeps an
  // archive of the lens taken when editing goes quiet, and the next change registers it as
  // its undo action. A change with no fresh snapshot (a second change before the loop was
  // idle) empties the undo stack instead, except within a drag under the immediate-update
  // flag: the drag's later steps join the step its first change registered, until the
  // snapshot after the drag closes it.
  QUndoStack& undoStack() const { return *m_undoStack; }
  /// Enqueues "snapshotRequiredNotification" when idle, coalesced; nothing while the
  /// immediate-update flag is set.
  void enqueueSnapshotRequiredNotification();
  void dequeueSnapshotRequiredNotification();
  /// Archives the lens's dictionary as the snapshot and marks it fresh.
  void takeSnapshot();
  const platform::Data& snapshot() const { return m_snapshot; }
  void setSnapshot(platform::Data snapshot) { m_snapshot = std::move(snapshot); }
  bool snapshotIsFresh() const { return m_snapshotIsFresh; }
  void primeUndoForLensChange() override;
  void primeUndoForLensChangeWithName(const std::string& name);
  const std::string& upcomingActionName() const { return m_upcomingActionName; }
  void setUpcomingActionName(std::string name) { m_upcomingActionName = std::move(name); }
  /// Restores the document's own lens (windows keep it) from a snapshot; false, leaving
  /// the lens as it was, when the data is not a lens dictionary.
  bool setModelFromSnapshot(const platform::Data& snapshot);
  /// A new map from each value of the rename map to its key; empty without a map.
  platform::Dictionary lensKeyPathUpdateDictionaryInverse() const;
  void undo() override;
  void redo();

  // --- windows ----------------------------------------------------------------------------
  void makeWindowControllers() override;
  void close() override;
  /// The window actions ("makeSpotDiagram", "showLensDataEditor", …): true for every
  /// action of the table, those whose window does not exist yet saying so.
  bool performAction(std::string_view action) override;
  /// Window actions are valid when their window exists; "removeAllSolves" and
  /// "removeAllVariables" while the lens has some; "revertDocumentToSaved" with a file.
  bool validateAction(std::string_view action) const override;
  /// The actions on the lens itself, by name: "quickFocus", "removeAllSolves",
  /// "removeAllVariables", "removeGlassPickups", the colour actions and "generateRainbow".
  static const std::vector<std::string>& lensActionNames();
  /// Always a new window of that interface file.
  SmartWindowController* showWindowWithNibName(const std::string& nibName, const std::string& controllerClass);
  /// The open window of that interface file brought front, or a new one.
  SmartWindowController* showUniqueWindowWithNibName(const std::string& nibName, const std::string& controllerClass);
  SmartWindowController* existingWindowControllerForWindowNibName(const std::string& nibName) const;
  /// One restoration record per open window, for saving.
  platform::Array presentWindowRestorationDictionaries() const;

  /// The names of the window actions, in menu order.
  static const std::vector<std::string>& actionNames();
  /// The window actions "showAllPossibleWindows" performs, in the order it opens them.
  static const std::vector<std::string>& allPossibleWindowActions();
  /// Opens every window of allPossibleWindowActions() on this document. Windows that do not
  /// exist yet are passed over quietly; their actions are answered, in order.
  std::vector<std::string> showAllPossibleWindows();

 private:
  bool performLensAction(std::string_view action);
  void performColorAction(std::string_view action);
  bool readZemaxFile(const std::string& path, std::string* error);
  /// CODE V and OSLO files, with the Zemax reader's question at each line passed over.
  bool readPrescriptionFile(const std::string& path, const std::string& type, std::string* error);
  interchange::ZemaxTroubleAnswer askAboutTrouble(const interchange::ZemaxTrouble& trouble, std::string* firstTrouble);
  bool readNativeFile(const std::string& path, std::string* error);
  bool applyNativeRoot(const platform::Value& root, std::string* error);
  /// Applies a lens dictionary to a new lens that becomes the document's on success.
  bool takeLensFromDictionary(const platform::Dictionary& lensDictionary, std::string* error,
                              const char* autoloadCatalogType = nullptr);
  void makeWindowsWithRestorationDictionaries(const platform::Array& records);
  QWidget* dialogParent() const;
  void registerSnapshot();
  void applyUndoLevels();

  std::shared_ptr<lens::Lens> m_lens;
  platform::Array m_meritFunctionArray;
  std::shared_ptr<optimisation::ScaleMemory> m_scaleMemory;
  std::shared_ptr<materials::GlassCatalog> m_localGlassCatalog;
  platform::Array m_windowRestorationDictionaries;
  platform::Value m_printInfo;
  platform::Dictionary m_lensKeyPathUpdateDictionary;
  std::string m_filePath;
  std::string m_readingNote;
  std::string m_fileType;
  /// The file's modification time and size when read or last saved: Save asks before
  /// writing over a file that no longer matches.
  std::optional<platform::FileStamp> m_fileStamp;
  /// The encoding the Zemax file was read in; Save writes it again when the text fits.
  interchange::TextEncoding m_fileEncoding = interchange::TextEncoding::Ascii;
  int m_changeCount = 0;
  bool m_undoIsLive = false;

  std::unique_ptr<QUndoStack> m_undoStack;
  platform::Data m_snapshot;
  bool m_snapshotIsFresh = false;
  bool m_restoringSnapshot = false;
  /// A step registered under the immediate-update flag, open to the rest of its drag.
  bool m_immediateStepOpen = false;
  std::string m_upcomingActionName = "lens change";
  /// The rename map the lens handed over since the last registered change: an older map
  /// belongs to an older change and must not be inverted by this one's undo.
  platform::Dictionary m_pendingRenameMap;
  platform::Observation m_snapshotObservation;
  platform::Observation m_undoLevelsObservation;
  platform::Observation m_colorObservation;
  std::vector<std::size_t> m_selectedSurfaceIndexes;
};

/// Opens lens documents for the application (Open…, the command line, the clipboard).
class OBDocumentFactory : public DocumentFactory {
 public:
  std::shared_ptr<SmartDocument> openDocument(const std::string& path, std::string* error) override;
  std::shared_ptr<SmartDocument> makeUntitledDocument() override;
};

/// The start-up of the lens document: archive classes, the system regeneration, the
/// plot series reader, the interface files and the document factory. Idempotent.
void registerLensDocument();

}  // namespace orb::app
