#include "app/document/OBDocument.h"

#include "interchange/LensDictionary.h"
#include "interchange/TextDecoding.h"
#include "interchange/CodeVReader.h"
#include "interchange/OsloReader.h"
#include "interchange/ZemaxReader.h"
#include "interchange/ZemaxWriter.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QLocale>
#include <QMessageBox>
#include <QPageLayout>
#include <QPageSetupDialog>
#include <QPageSize>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QUndoCommand>
#include <QUndoStack>
#include <QWidget>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <set>
#include <utility>

#include "analysis/ImmediateUpdate.h"
#include "analysis/PlotDictionary.h"
#include "app/Messages.h"
#include "app/document/OBAppDel.h"
#include "app/document/ArrayColorizer.h"
#include "app/document/MenuBar.h"
#include "app/document/WindowActions.h"
#include "app/windows/StatusLine.h"
#include "app/windows/InterfaceFile.h"
#include "app/windows/LensWindow.h"
#include "app/windows/LensPlotWindowController.h"
#include "app/windows/OBWindow.h"
#include "app/windows/SmartWindowController.h"
#include "app/windows/SpotWindow.h"
#include "app/windows/TracerWindowController.h"
#include "app/windows/WindowControllerWithDocumentController.h"
#include "lens/ArchiveClasses.h"
#include "lens/Field.h"
#include "lens/Lens.h"
#include "lens/Surface.h"
#include "lens/SurfaceTypeRegistry.h"
#include "lens/Wave.h"
#include "materials/Glass.h"
#include "materials/GlassCatalog.h"
#include "optimisation/ArchiveClasses.h"
#include "optimisation/MeritFunction.h"
#include "optimisation/Optimizer.h"
#include "optimisation/VariableDescriptor.h"
#include "optimisation/VariablesController.h"
#include "platform/AtomicFile.h"
#include "platform/Color.h"
#include "platform/Exception.h"
#include "platform/KeyTable.h"
#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "platform/NotificationQueue.h"
#include "platform/RunLoop.h"
#include "platform/UserDefaults.h"
#include "rendering/BasicOpenGLView.h"
#include "rendering/ZoomPlotView.h"
#include "tracing/LensSummary.h"
#include "tracing/Regeneration.h"

namespace orb::app {

namespace {

OBDocument::ZemaxTroubleAsker& troubleAsker() {
  static OBDocument::ZemaxTroubleAsker asker;  // main thread only
  return asker;
}

/// The windows the "onOpenShow…" / "onNewShow…" defaults ask for, in order.
const std::vector<std::pair<const char*, const char*>>& onOpenShowActions() {
  static const std::vector<std::pair<const char*, const char*>> table = {
      {"Info", "showSystemWindow"},          {"SurfaceDataEditor", "showLensDataEditor"},
      {"FieldEditor", "showFieldEditor"},    {"Sources", "showSources"},
      {"WaveEditor", "showWaveEditor"},      {"GlassCache", "showGlassMonitor"},
      {"PlanarView", "makeLayout"},          {"SolidView", "makeSolidView"},
  };
  return table;
}

constexpr const char* kDocumentWindow = kLensWindowNibName;

std::string displayNameOfPath(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool fail(std::string* error, std::string why) {
  if (error) *error = std::move(why);
  return false;
}

std::string exceptionText(const platform::Exception& e) { return e.name() + " : " + e.reason(); }

/// What the user reads of a failure: the reason in words. The exception's name is an
/// internal word and goes to the log only.
std::string reasonForUser(const platform::Exception& e, const char* context) {
  platform::logText(std::string(context) + ": " + exceptionText(e));
  if (e.name() == "NSInvalidArchiveOperationException")
    return "The file is damaged or is not an Orbelline document (" + e.reason() + ").";
  return e.reason();
}

constexpr const char* kSnapshotRequiredNotification = "snapshotRequiredNotification";
constexpr const char* kLensChangeActionName = "lens change";

platform::Dictionary inverseOf(const platform::Dictionary& map) {
  platform::Dictionary inverse;
  for (const auto& [key, value] : map)
    if (value.isString()) inverse.set(value.asString(), key);
  return inverse;
}

/// One lens change: undo restores the archived lens from before it (after applying the
/// inverse rename map), redo the lens as it was when the undo ran (then the forward map).
class SnapshotCommand : public QUndoCommand {
 public:
  SnapshotCommand(std::weak_ptr<OBDocument> document, platform::Data before, platform::Dictionary renameOnUndo,
                  const std::string& name)
      : QUndoCommand(QString::fromStdString(name)),
        m_document(std::move(document)),
        m_before(std::move(before)),
        m_renameOnUndo(std::move(renameOnUndo)) {}

  void undo() override {
    auto document = m_document.lock();
    if (!document) return;
    try {
      m_after = platform::KeyedArchiver::archivedDataWithRootObject(document->lens()->dictionary());
    } catch (const platform::Exception& e) {
      platform::logText("undo snapshot: " + exceptionText(e));
    }
    if (!m_renameOnUndo.empty()) document->setLensKeyPathUpdateDictionary(m_renameOnUndo);
    document->setModelFromSnapshot(m_before);
    document->updateChangeCount(-1);
  }

  void redo() override {
    if (m_firstRedo) {  // QUndoStack::push redoes at once; the change has already happened
      m_firstRedo = false;
      return;
    }
    auto document = m_document.lock();
    if (!document || m_after.empty()) return;
    document->setModelFromSnapshot(m_after);
    if (!m_renameOnUndo.empty()) document->setLensKeyPathUpdateDictionary(inverseOf(m_renameOnUndo));
    document->updateChangeCount(1);
  }

 private:
  std::weak_ptr<OBDocument> m_document;
  platform::Data m_before;
  platform::Data m_after;
  platform::Dictionary m_renameOnUndo;
  bool m_firstRedo = true;
};

/// An undoable step given by its two directions; pushing it performs it.
class FunctionCommand : public QUndoCommand {
 public:
  FunctionCommand(const char* name, std::function<void()> perform, std::function<void()> revert)
      : QUndoCommand(QString::fromUtf8(name)), m_perform(std::move(perform)), m_revert(std::move(revert)) {}
  void redo() override { m_perform(); }
  void undo() override { m_revert(); }

 private:
  std::function<void()> m_perform, m_revert;
};

}  // namespace

// ------------------------------------------------------------------------------------------

const platform::KeyTable& OBDocument::classKeys() {
  using K = platform::Keys<OBDocument>;
  static const platform::KeyTable table(
      &Object::classKeys(), {K::readOnlyField("lens", &OBDocument::m_lens),
                             K::field("lensKeyPathUpdateDictionary", &OBDocument::m_lensKeyPathUpdateDictionary),
                             K::property("scaleMemory", &OBDocument::scaleMemory, &OBDocument::setScaleMemory),
                             K::property("meritFunctionArray", &OBDocument::meritFunctionArray,
                                         &OBDocument::setMeritFunctionArray)});
  return table;
}

OBDocument::OBDocument()
    : m_lens(lens::Lens::create()),
      m_scaleMemory(std::make_shared<optimisation::ScaleMemory>()),
      m_undoStack(std::make_unique<QUndoStack>()) {}

OBDocument::~OBDocument() {
  if (m_lens) m_lens->setDelegate(nullptr);
  m_localGlassCatalog.reset();
}

void OBDocument::init() {
  setLens(m_lens);
  std::weak_ptr<OBDocument> weak = std::static_pointer_cast<OBDocument>(shared_from_this());
  m_snapshotObservation = platform::NotificationCenter::defaultCenter().addObserver(
      kSnapshotRequiredNotification, reference(), [weak](const platform::Notification&) {
        if (auto self = weak.lock()) self->takeSnapshot();
      });
  m_colorObservation = platform::NotificationCenter::defaultCenter().addObserver(
      "colorChangedNotification", {}, [weak](const platform::Notification& n) {
        if (auto self = weak.lock()) self->colorChanged(n.object);
      });
  applyUndoLevels();
  m_undoLevelsObservation = platform::UserDefaults::standard().addObserver(
      "numberOfUndoLevels", [weak](const platform::ObservedChange&) {
        if (auto self = weak.lock()) self->applyUndoLevels();
      });
}

void OBDocument::applyUndoLevels() {
  const auto levels = static_cast<int>(std::clamp<std::int64_t>(
      platform::UserDefaults::standard().integerForKey("numberOfUndoLevels"), 0, std::numeric_limits<int>::max()));
  if (levels == m_undoStack->undoLimit()) return;
  // The stack takes a new limit only while empty; dropping the history is the price of
  // a limit that holds at once.
  m_undoStack->clear();
  m_undoStack->setUndoLimit(levels);
}

// --- surface selection ---------------------------------------------------------------------------

void OBDocument::setSelectedSurfaceIndexes(std::vector<std::size_t> indexes) {
  std::sort(indexes.begin(), indexes.end());
  indexes.erase(std::unique(indexes.begin(), indexes.end()), indexes.end());
  if (indexes == m_selectedSurfaceIndexes) return;
  m_selectedSurfaceIndexes = std::move(indexes);
  platform::NotificationCenter::defaultCenter().post(kSurfaceSelectionChangedNotification, reference());
}

// --- undo snapshots ------------------------------------------------------------------------------

void OBDocument::enqueueSnapshotRequiredNotification() {
  if (analysis::isImmediateUpdate()) return;
  platform::NotificationQueue::defaultQueue().enqueue(
      platform::Notification(kSnapshotRequiredNotification, reference()), platform::PostingStyle::WhenIdle,
      platform::Coalescing::OnName | platform::Coalescing::OnSender);
}

void OBDocument::dequeueSnapshotRequiredNotification() {
  platform::NotificationQueue::defaultQueue().dequeueMatching(
      platform::Notification(kSnapshotRequiredNotification, reference()),
      platform::Coalescing::OnName | platform::Coalescing::OnSender);
}

void OBDocument::takeSnapshot() {
  if (!m_lens) return;
  try {
    m_snapshot = platform::KeyedArchiver::archivedDataWithRootObject(m_lens->dictionary());
    m_snapshotIsFresh = true;
    m_immediateStepOpen = false;
  } catch (const platform::Exception& e) {
    // No snapshot: the next change empties the undo stack rather than offer a wrong undo.
    platform::logText("snapshot: " + exceptionText(e));
    m_snapshot.clear();
    m_snapshotIsFresh = false;
  }
}

void OBDocument::primeUndoForLensChange() {
  if (m_restoringSnapshot) return;  // the lens is being restored by undo or redo itself
  if (m_snapshotIsFresh && !m_snapshot.empty()) {
    registerSnapshot();
    m_upcomingActionName = kLensChangeActionName;
    m_snapshotIsFresh = false;
    m_immediateStepOpen = analysis::isImmediateUpdate();
  } else if (m_immediateStepOpen) {
    // A later step of the same drag: the lens from before the drag is already on the stack.
  } else {
    m_undoStack->clear();
  }
  m_pendingRenameMap = {};
  if (m_undoIsLive) updateChangeCount();
}

void OBDocument::primeUndoForLensChangeWithName(const std::string& name) {
  primeUndoForLensChange();
  m_upcomingActionName = name;
}

void OBDocument::registerSnapshot() {
  auto self = std::static_pointer_cast<OBDocument>(shared_from_this());
  m_undoStack->push(new SnapshotCommand(self, m_snapshot, inverseOf(m_pendingRenameMap), m_upcomingActionName));
}

platform::Dictionary OBDocument::lensKeyPathUpdateDictionaryInverse() const {
  return inverseOf(m_lensKeyPathUpdateDictionary);
}

bool OBDocument::setModelFromSnapshot(const platform::Data& snapshot) {
  platform::Dictionary lensDictionary;
  try {
    const auto decoded = platform::KeyedUnarchiver::unarchiveObjectWithData(snapshot);
    if (!decoded.isDictionary()) return false;
    lensDictionary = decoded.asDictionary();
  } catch (const platform::Exception& e) {
    platform::logText("undo snapshot: " + exceptionText(e));
    return false;
  }
  m_restoringSnapshot = true;
  enqueueSnapshotRequiredNotification();
  auto& queue = platform::NotificationQueue::defaultQueue();
  queue.enqueue(platform::Notification("startSurfaceReplacementNotification", platform::Value(m_lens)),
                platform::PostingStyle::Now, platform::Coalescing::OnName);
  try {
    m_lens->setValuesForDesiredKeysWithDictionary(lensDictionary);
    m_lens->validateStop();
    m_lens->validateFields();
    m_lens->validateWaves();
  } catch (const platform::Exception& e) {
    platform::logText("undo snapshot: " + exceptionText(e));
  }
  // The restored values are no edit: no change cycle, so no new undo is primed.
  m_lens->dequeueLensChangedNotification();
  queue.enqueue(platform::Notification("endSurfaceReplacementNotification", platform::Value(m_lens)),
                platform::PostingStyle::Now, platform::Coalescing::OnName);
  try {
    m_lens->generateSystemFromParaxialSpecification();
    m_lens->setIsReady(true);
  } catch (const platform::Exception& e) {
    m_lens->setWarningReUpdate(platform::format("System update failure (%s : %s)", e.name().c_str(), e.reason().c_str()));
  }
  m_restoringSnapshot = false;
  m_pendingRenameMap = {};  // the maps undo and redo apply belong to no new change
  platform::NotificationCenter::defaultCenter().post(analysis::kLensIsReadyNotification, reference());
  return true;
}

void OBDocument::undo() {
  if (m_undoStack->canUndo()) m_undoStack->undo();
}

// --- scale memory and merit functions ------------------------------------------------------------

platform::Dictionary OBDocument::scaleMemory() const { return m_scaleMemory->dictionary(); }

void OBDocument::setScaleMemory(platform::Dictionary memory) {
  willChangeValueForKey("scaleMemory");
  m_scaleMemory->setDictionary(std::move(memory));
  didChangeValueForKey("scaleMemory");
}

void OBDocument::setMeritFunctionArray(platform::Array functions) {
  willChangeValueForKey("meritFunctionArray");
  m_meritFunctionArray = std::move(functions);
  didChangeValueForKey("meritFunctionArray");
}

std::shared_ptr<optimisation::MeritFunction> OBDocument::objectInMeritFunctionArrayAtIndex(std::size_t index) const {
  if (index >= m_meritFunctionArray.size()) return nullptr;
  return m_meritFunctionArray[index].objectIf<optimisation::MeritFunction>();
}

void OBDocument::replaceObjectInMeritFunctionArrayAtIndex(std::size_t index,
                                                          std::shared_ptr<optimisation::MeritFunction> function) {
  if (index >= m_meritFunctionArray.size() || !function) return;
  willChangeValueForKey("meritFunctionArray");
  m_meritFunctionArray[index] = platform::Value(std::move(function));
  didChangeValueForKey("meritFunctionArray");
}

namespace {
void insertMeritFunction(OBDocument& document, const platform::Value& function, std::size_t index) {
  platform::Array functions = document.meritFunctionArray();
  functions.insert(functions.begin() + static_cast<std::ptrdiff_t>(std::min(index, functions.size())), function);
  document.setMeritFunctionArray(std::move(functions));
}
void removeMeritFunction(OBDocument& document, std::size_t index) {
  platform::Array functions = document.meritFunctionArray();
  if (index >= functions.size()) return;
  functions.erase(functions.begin() + static_cast<std::ptrdiff_t>(index));
  document.setMeritFunctionArray(std::move(functions));
}
}  // namespace

void OBDocument::insertObjectInMeritFunctionArrayAtIndex(std::shared_ptr<optimisation::MeritFunction> function,
                                                         std::size_t index) {
  if (!function) return;
  index = std::min(index, m_meritFunctionArray.size());
  std::weak_ptr<OBDocument> weak = std::static_pointer_cast<OBDocument>(shared_from_this());
  const platform::Value inserted(std::move(function));
  m_undoStack->push(new FunctionCommand(
      "Insert merit function",
      [weak, inserted, index] {
        if (auto self = weak.lock()) {
          insertMeritFunction(*self, inserted, index);
          self->updateChangeCount(1);
        }
      },
      [weak, index] {
        if (auto self = weak.lock()) {
          removeMeritFunction(*self, index);
          self->updateChangeCount(-1);
        }
      }));
}

void OBDocument::removeObjectFromMeritFunctionArrayAtIndex(std::size_t index) {
  if (index >= m_meritFunctionArray.size()) return;
  std::weak_ptr<OBDocument> weak = std::static_pointer_cast<OBDocument>(shared_from_this());
  const platform::Value removed = m_meritFunctionArray[index];
  m_undoStack->push(new FunctionCommand(
      "Delete merit function",
      [weak, index] {
        if (auto self = weak.lock()) {
          removeMeritFunction(*self, index);
          self->updateChangeCount(1);
        }
      },
      [weak, removed, index] {
        if (auto self = weak.lock()) {
          insertMeritFunction(*self, removed, index);
          self->updateChangeCount(-1);
        }
      }));
}

// --- the optimiser ----------------------------------------------------------------------------------

void OBDocument::bindOptimizer(optimisation::Optimizer& optimizer) {
  optimizer.variablesController()->setScaleMemory(m_scaleMemory);
  std::weak_ptr<OBDocument> weak = std::static_pointer_cast<OBDocument>(shared_from_this());
  optimizer.setWillApplyBestPoint([weak] {
    if (auto self = weak.lock()) self->optimizerWillApplyBestPoint();
  });
  optimizer.setLens(m_lens);
}

void OBDocument::unbindOptimizer(optimisation::Optimizer& optimizer) {
  optimizer.setWillApplyBestPoint({});
  const auto& variables = optimizer.variablesController();
  if (variables->scaleMemory() == m_scaleMemory)
    variables->setScaleMemory(std::make_shared<optimisation::ScaleMemory>(m_scaleMemory->dictionary()));
}

void OBDocument::optimizerWillApplyBestPoint() {
  // The best point is written in one change cycle, which registers the snapshot as its
  // undo. Without a fresh one (the run ended before the loop was idle after an edit) that
  // cycle would empty the undo stack instead: the lens as it stands is the state to return to.
  if (!m_snapshotIsFresh || m_snapshot.empty()) takeSnapshot();
  m_upcomingActionName = kLensChangeActionName;  // a name left by a caller whose change never came
}

void OBDocument::redo() {
  if (m_undoStack->canRedo()) m_undoStack->redo();
}

void OBDocument::setZemaxTroubleAsker(ZemaxTroubleAsker asker) { troubleAsker() = std::move(asker); }

std::string OBDocument::displayName() const {
  if (m_filePath.empty()) return SmartDocument::displayName();
  return displayNameOfPath(m_filePath);
}

void OBDocument::setFilePath(std::string path) {
  m_filePath = std::move(path);
  // The listings name the file: the lens of this moment refreshes them once the caller is done.
  if (m_lens) {
    std::weak_ptr<lens::Lens> weak = m_lens;
    platform::RunLoop::main().perform(m_lens->reference(), [weak] {
      if (auto lens = weak.lock()) lens->surfaceCommentChanged();
    });
  }
}

void OBDocument::setLens(std::shared_ptr<lens::Lens> lens) {
  if (m_lens == lens) {
    if (m_lens) m_lens->setDelegate(std::dynamic_pointer_cast<lens::LensDelegate>(shared_from_this()));
    return;
  }
  if (m_lens) m_lens->setDelegate(nullptr);
  // Announced: every window of the document moves to the new lens.
  willChangeValueForKey("lens");
  m_lens = std::move(lens);
  if (m_lens) m_lens->setDelegate(std::dynamic_pointer_cast<lens::LensDelegate>(shared_from_this()));
  didChangeValueForKey("lens");
}

void OBDocument::setLensKeyPathUpdateDictionary(const platform::Dictionary& renames) {
  if (!m_restoringSnapshot) m_pendingRenameMap = renames;
  setValueForKey("lensKeyPathUpdateDictionary", renames);  // announced: variables rewrite their paths
}

void OBDocument::lensIsReady() {
  platform::NotificationCenter::defaultCenter().post(analysis::kLensIsReadyNotification, reference());
  if (!m_undoIsLive) {
    // Reading and the first regeneration are no user edits.
    clearChangeCount();
    m_undoStack->clear();
    m_undoIsLive = true;
  }
  enqueueSnapshotRequiredNotification();
}

QWidget* OBDocument::dialogParent() const {
  for (auto* c : windowControllers())
    if (c->isWindowLoaded()) return c->window();
  return QApplication::activeWindow();
}

// --- reading ----------------------------------------------------------------------------------

std::string OBDocument::typeOfFile(const std::string& path) {
  const auto dot = path.find_last_of('.');
  std::string extension = dot == std::string::npos ? std::string() : path.substr(dot + 1);
  std::transform(extension.begin(), extension.end(), extension.begin(), [](unsigned char c) { return std::tolower(c); });
  if (extension == "zmx") return kZemaxType;
  if (extension == "seq") return kCodeVType;
  if (extension == "len") return kOsloType;
  if (extension == kNativeExtension) return kNativeType;
  std::ifstream in(path, std::ios::binary);
  char head[8] = {};
  in.read(head, sizeof head);
  const std::string start(head, static_cast<std::size_t>(in.gcount()));
  if (start.rfind("bplist", 0) == 0 || start.rfind("<?xml", 0) == 0) return kNativeType;
  return {};
}

bool OBDocument::readFromFile(const std::string& path, const std::string& type, std::string* error) {
  if (error) error->clear();
  m_readingNote.clear();
  // The readers refuse with platform::Exception, which each turns into its reason. Whatever
  // else escapes one (a library's std:: exception, a stray throw) must still only fail
  // the open, never end the program.
  try {
    if (type == kZemaxType) return readZemaxFile(path, error);
    if (type == kNativeType) return readNativeFile(path, error);
    if (type == kCodeVType || type == kOsloType) return readPrescriptionFile(path, type, error);
  } catch (const platform::Exception& e) {
    return fail(error, reasonForUser(e, "reading"));
  } catch (const std::exception& e) {
    platform::logText("reading " + path + ": " + e.what());
    return fail(error, std::string("The file could not be read (") + e.what() + ").");
  } catch (...) {
    platform::logText("reading " + path + ": an exception of unknown kind");
    return fail(error, "The file could not be read: reading it failed in an unexpected way.");
  }
  return fail(error, "Orbelline does not read this kind of file.");
}

bool OBDocument::takeLensFromDictionary(const platform::Dictionary& lensDictionary, std::string* error,
                                        const char* autoloadCatalogType) {
  try {
    auto lens = lens::Lens::create();
    // Before the dictionary, so that its glass names resolve in that program's library.
    if (autoloadCatalogType) lens->setAutoloadCatalogType(std::string(autoloadCatalogType));
    lens->setValuesForDesiredKeysWithDictionary(lensDictionary);
    lens->validateStop();
    lens->validateFields();
    lens->validateWaves();
    colorizeLensWithRainbows(*lens);
    setLens(lens);
  } catch (const platform::Exception& e) {
    return fail(error, reasonForUser(e, "reading"));
  }
  return true;
}

namespace {
/// The glasses a Zemax lens file is delivered with: the glass library (its .agf files) of
/// the file's folder, then that folder's gradient dispersion library; null when there are
/// none. A library that can't be read costs only its glasses: the lens still opens.
std::shared_ptr<materials::GlassCatalog> glassCatalogBesideZemaxFile(const std::string& path) {
  const auto parent = std::filesystem::path(path).parent_path();
  const std::string directory = parent.empty() ? std::string(".") : parent.string();  // a bare file name
  try {
    auto catalog = materials::GlassCatalog::zemaxGlassLibraryWithPath(directory);
    catalog->addGlassesFromCatalog(*materials::GlassCatalog::zemaxGradientDispersionLibraryWithPath(directory));
    return catalog->count() ? catalog : nullptr;
  } catch (const std::exception& e) {
    platform::logText("reading the glass catalogs beside " + path + ": " + e.what());
    return nullptr;
  }
}
}  // namespace

bool OBDocument::readZemaxFile(const std::string& path, std::string* error) {
  std::string why;
  // The decoder tries the detected encoding, UTF-8, ASCII, then the bytes with bit 7 cleared.
  auto decoded = interchange::readTextFile(path, &why);
  if (!decoded) {
    platform::logText("final attempt to read " + path + " failed");
    return fail(error, why.empty() ? "The file could not be read as text." : why);
  }
  auto options = interchange::ZemaxReadOptions::fromUserDefaults();
  options.source = path;
  std::string firstTrouble;
  options.onTrouble = [this, &firstTrouble](const interchange::ZemaxTrouble& trouble) {
    return askAboutTrouble(trouble, &firstTrouble);
  };
  std::optional<platform::Dictionary> dictionary;
  try {
    dictionary = interchange::readZemaxString(decoded->text, options);
  } catch (const platform::Exception& e) {
    return fail(error, reasonForUser(e, "reading"));
  }
  if (!dictionary) return fail(error, "Reading the Zemax file was given up.");
  // Text without a single surface (an empty file, random bytes, another program's file
  // under a .zmx name) is no lens: opening it empty would invite saving over it.
  if (const auto surfaces = dictionary->get("surfaceArray"); !surfaces.isArray() || surfaces.asArray().empty()) {
    const std::string name = displayNameOfPath(path);
    return fail(error, firstTrouble.empty() ? "\u201c" + name + "\u201d is not a Zemax lens file: no surface was found in it."
                                            : firstTrouble);
  }
  // In place before the new lens takes the document as its delegate, which resolves its
  // glass names: those only the file's own catalogs hold are found then.
  auto previousCatalog = std::exchange(m_localGlassCatalog, glassCatalogBesideZemaxFile(path));
  if (!takeLensFromDictionary(*dictionary, error)) {
    m_localGlassCatalog = std::move(previousCatalog);
    return false;
  }
  setFilePath(path);
  m_fileType = kZemaxType;
  m_fileStamp = platform::fileStampAt(path);
  m_fileEncoding = decoded->encoding;
  m_lens->trigger();  // regenerate now, so the windows meet a ready lens
  clearChangeCount();
  return true;
}

interchange::ZemaxTroubleAnswer OBDocument::askAboutTrouble(const interchange::ZemaxTrouble& trouble,
                                                            std::string* firstTrouble) {
  // The user reads the line and the reason; the exception's name is in the log.
  const std::string said = trouble.lineText + "\n" + trouble.exceptionReason;
  if (firstTrouble->empty()) *firstTrouble = trouble.message() + ": " + said;
  if (troubleAsker()) return troubleAsker()(trouble);
  QMessageBox box(dialogParent());
  box.setWindowModality(Qt::WindowModal);
  box.setText(QString::fromStdString(trouble.message()));
  box.setInformativeText(QString::fromStdString(said));
  auto* giveUp = box.addButton(QStringLiteral("Give up"), QMessageBox::RejectRole);
  box.addButton(QStringLiteral("Continue reading"), QMessageBox::AcceptRole);
  box.exec();
  return box.clickedButton() == giveUp ? interchange::ZemaxTroubleAnswer::GiveUp
                                       : interchange::ZemaxTroubleAnswer::ContinueReading;
}

bool OBDocument::readPrescriptionFile(const std::string& path, const std::string& type, std::string* error) {
  const bool codeV = type == kCodeVType;
  const char* program = codeV ? "CODE V" : "OSLO";
  std::string why;
  auto decoded = interchange::readTextFile(path, &why);
  if (!decoded) return fail(error, why.empty() ? "The file could not be read as text." : why);
  auto options = interchange::PrescriptionReadOptions::fromUserDefaults(
      codeV ? "codeFiveReadHandleInfiniteConjugate" : "osloReadHandleInfiniteConjugate");
  options.source = path;
  // These readers never stop for a line: each passed-over line is logged with its number,
  // and the windows say once how many there were.
  std::string firstTrouble;
  std::set<int> unreadLines;
  options.onTrouble = [&firstTrouble, &unreadLines](const interchange::ZemaxTrouble& trouble) {
    if (unreadLines.insert(trouble.line).second && unreadLines.size() == 1)
      firstTrouble = platform::format("line %d %s", trouble.line, trouble.lineText.c_str());
    return interchange::ZemaxTroubleAnswer::ContinueReading;
  };
  std::optional<platform::Dictionary> dictionary;
  try {
    dictionary = codeV ? interchange::readCodeVString(decoded->text, options)
                       : interchange::readOsloString(decoded->text, options);
  } catch (const platform::Exception& e) {
    return fail(error, reasonForUser(e, "reading"));
  }
  if (!dictionary) return fail(error, std::string("Reading the ") + program + " file was given up.");
  // Both readers always end with an image surface; a file that gave no other is no lens.
  if (const auto surfaces = dictionary->get("surfaceArray"); !surfaces.isArray() || surfaces.asArray().size() < 3) {
    const std::string name = displayNameOfPath(path);
    std::string why = "\u201c" + name + "\u201d is not " + (codeV ? "a CODE V sequence" : "an OSLO lens") +
                      " file: no surface was found in it.";
    if (!firstTrouble.empty()) why += " The first line not read: " + firstTrouble + ".";
    return fail(error, why);
  }
  if (!takeLensFromDictionary(*dictionary, error, codeV ? "ZEMAX" : "OSLO")) return false;
  if (const std::size_t n = unreadLines.size(); n > 0) {
    const std::string name = displayNameOfPath(path);
    m_readingNote = n == 1 ? platform::format("1 line of %s was not read: %s", name.c_str(), firstTrouble.c_str())
                           : platform::format("%zu lines of %s were not read, the first: %s", n, name.c_str(),
                                              firstTrouble.c_str());
  }
  setFilePath(path);
  m_fileType = type;
  m_lens->trigger();
  clearChangeCount();
  return true;
}

bool OBDocument::readFromCatalogEntryText(const std::string& text, const std::string& type, std::string* error) {
  if (error) error->clear();
  if (type == kZemaxType) return readFromPlainText(text, error);
  if (type != kOsloType) return fail(error, "Orbelline does not read this kind of catalog entry.");
  std::optional<platform::Dictionary> dictionary;
  try {
    dictionary = interchange::readOsloString(
        text, interchange::PrescriptionReadOptions::fromUserDefaults("osloReadHandleInfiniteConjugate"));
  } catch (const platform::Exception& e) {
    return fail(error, reasonForUser(e, "reading the catalog entry"));
  }
  if (!dictionary || !dictionary->get("surfaceArray").isArray() || dictionary->get("surfaceArray").asArray().size() < 3)
    return fail(error, "The catalog entry holds no lens.");
  if (!takeLensFromDictionary(*dictionary, error, "OSLO")) return false;
  m_lens->trigger();
  clearChangeCount();
  return true;
}

bool OBDocument::readFromPlainText(const std::string& text, std::string* error) {
  std::optional<platform::Dictionary> dictionary;
  try {
    auto options = interchange::ZemaxReadOptions::fromUserDefaults();
    options.source = "pasteboard";
    dictionary = interchange::readZemaxString(text, options);
  } catch (const platform::Exception& e) {
    return fail(error, "Error attempting to read ZMX string: " + reasonForUser(e, "reading clipboard text"));
  }
  if (!dictionary) return fail(error, "Error attempting to read ZMX string");
  const auto surfaces = dictionary->get("surfaceArray");
  if (!surfaces.isArray() || surfaces.asArray().empty())
    return fail(error, "No surfaces detected: Probably not ZEMAX data");
  if (!takeLensFromDictionary(*dictionary, error)) return false;
  m_lens->setAutoloadCatalogType("ZEMAX");
  m_lens->trigger();
  clearChangeCount();
  return true;
}

bool OBDocument::readNativeFile(const std::string& path, std::string* error) {
  platform::Value root;
  try {
    root = platform::KeyedUnarchiver::unarchiveObjectWithFile(path);
  } catch (const platform::Exception& e) {
    return fail(error, reasonForUser(e, "reading"));
  }
  if (!applyNativeRoot(root, error)) return false;
  setFilePath(path);
  m_fileType = kNativeType;
  m_fileStamp = platform::fileStampAt(path);
  return true;
}

bool OBDocument::applyNativeRoot(const platform::Value& root, std::string* error) {
  // Every decoded value is checked before anything is taken, so a damaged or foreign
  // archive leaves the document as it was.
  std::shared_ptr<lens::Lens> lens;
  platform::Dictionary scaleMemory;
  platform::Array meritFunctions, records;
  platform::Value printInfo;
  try {
    if (root.isObject()) {
      lens = root.objectIf<lens::Lens>();
      if (!lens) return fail(error, "The archive holds a " + root.asObject()->className() + ", not a lens.");
      lens->setAutoloadCatalogType("ZEMAX");
    } else if (root.isDictionary() && root.asDictionary().contains("surfaceArray")) {
      // The older form: the lens keys at the top.
      platform::Dictionary old = root.asDictionary();
      old.remove("apodizationType");
      old.remove("apodizationFactor");
      if (const auto fieldType = old.get("fieldType"); fieldType.isNumber()) {
        const auto code = fieldType.asInt();
        old.set("fieldType", code == 2 ? "Image height" : code == 1 ? "Object height" : "Angle");
      }
      const auto surfaces = old.get("surfaceArray");
      if (!surfaces.isArray()) return fail(error, "The archive's \"surfaceArray\" is not an array.");
      // These archives kept every surface as the plain class and named its kind under
      // "surfaceType": each becomes a surface of that kind, its values carried over.
      platform::Array typed;
      for (const auto& s : surfaces.asArray()) {
        auto surface = s.objectIf<lens::Surface>();
        if (!surface) return fail(error, "The archive's \"surfaceArray\" holds something other than surfaces.");
        surface->setValueForKey("aperture", nullptr);
        if (!surface->surfaceType().empty())
          surface = lens::SurfaceTypeRegistry::shared().surfaceOfType(surface->surfaceType(), surface.get());
        typed.push_back(platform::Value(surface));
      }
      old.set("surfaceArray", std::move(typed));
      lens = lens::Lens::create();
      lens->setValuesForDesiredKeysWithDictionary(old);
    } else if (root.isDictionary()) {
      const auto& d = root.asDictionary();
      lens = d.get("lens").objectIf<lens::Lens>();
      if (!lens) return fail(error, "The archive holds no lens.");
      if (const auto v = d.get("scaleMemory"); !v.isNil()) {
        if (!v.isDictionary()) return fail(error, "The archive's \"scaleMemory\" is not a dictionary.");
        scaleMemory = v.asDictionary();
      }
      if (const auto v = d.get("meritFunctionArray"); !v.isNil()) {
        if (!v.isArray()) return fail(error, "The archive's \"meritFunctionArray\" is not an array.");
        for (const auto& f : v.asArray())
          if (!f.objectIf<optimisation::MeritFunction>())
            return fail(error, "The archive's \"meritFunctionArray\" holds something other than merit functions.");
        meritFunctions = v.asArray();
      }
      if (const auto v = d.get("windowRestorationDictionaries"); !v.isNil()) {
        if (!v.isArray()) return fail(error, "The archive's window records are not an array.");
        for (const auto& r : v.asArray())
          if (!r.isDictionary()) return fail(error, "The archive's window records hold something other than records.");
        records = v.asArray();
      }
      printInfo = d.get("printInfo");
    } else {
      return fail(error, "The file is not an Orbelline lens (unexpected archive root).");
    }
    lens->validateStop();
    lens->validateFields();
    lens->validateWaves();
    if (!lens->isReady()) {
      lens->generateSystemFromParaxialSpecification();
      lens->setIsReady(true);
    }
  } catch (const platform::Exception& e) {
    return fail(error, reasonForUser(e, "reading"));
  }
  setLens(lens);
  setScaleMemory(std::move(scaleMemory));  // the same memory object: bound optimisers keep it
  setMeritFunctionArray(std::move(meritFunctions));
  m_windowRestorationDictionaries = std::move(records);
  m_printInfo = std::move(printInfo);
  lensIsReady();
  return true;
}

// --- writing ----------------------------------------------------------------------------------

platform::Dictionary OBDocument::nativeRootDictionary() const {
  platform::Dictionary root;
  root.set("lens", platform::Value(m_lens));
  root.set("scaleMemory", scaleMemory());
  root.set("meritFunctionArray", m_meritFunctionArray);
  root.set("windowRestorationDictionaries", presentWindowRestorationDictionaries());
  root.set("printInfo", m_printInfo.isNil() ? platform::Value(platform::Dictionary()) : m_printInfo);
  return root;
}

bool OBDocument::writeToFile(const std::string& path, const std::string& type, std::string* error) {
  if (type == kNativeType) {
    try {
      platform::KeyedArchiver::archiveRootObjectToFile(nativeRootDictionary(), path);  // temporary file + rename
    } catch (const platform::Exception& e) {
      return fail(error, "Unable to generate archive: " + e.reason());
    }
  } else if (type == kZemaxType) {
    std::string text;
    try {
      text = interchange::zemaxStringForModel(interchange::lensDictionaryFromLens(*m_lens));
    } catch (const platform::Exception& e) {
      return fail(error, "Unable to generate ZEMAX code: " + e.reason());
    }
    // The text goes back in the encoding it was read in (ASCII for a new document) when
    // every character fits, else in UTF-16LE with its byte-order mark, as Zemax writes.
    auto encoding = m_fileEncoding;
    auto bytes = interchange::encodeText(text, encoding);
    if (!bytes) bytes = interchange::encodeText(text, encoding = interchange::TextEncoding::Utf16LE);
    try {
      platform::writeFileAtomically(path, *bytes);
    } catch (const platform::Exception& e) {
      return fail(error, "Unable to write " + path + ": " + e.reason());
    }
    m_fileEncoding = encoding;
  } else {
    return fail(error, "Orbelline does not write this kind of file.");
  }
  const bool renamed = m_filePath != path;
  if (renamed) setFilePath(path);
  m_fileType = type;
  m_fileStamp = platform::fileStampAt(path);
  clearChangeCount();
  if (renamed)
    for (auto* c : windowControllers()) c->synchronizeWindowTitleWithDocumentName();
  return true;
}

namespace {
OBDocument::SaveDestinationChooser& saveDestinationChooser() {
  static OBDocument::SaveDestinationChooser chooser;  // main thread only
  return chooser;
}
OBDocument::RevertConfirmer& revertConfirmer() {
  static OBDocument::RevertConfirmer confirmer;  // main thread only
  return confirmer;
}
OBDocument::ChangedFileAsker& changedFileAsker() {
  static OBDocument::ChangedFileAsker asker;  // main thread only
  return asker;
}

bool askToSaveOverChangedFile(QWidget* parent) {
  QMessageBox box(parent);
  box.setWindowModality(Qt::WindowModal);
  box.setIcon(QMessageBox::Warning);
  box.setText(QStringLiteral("The file has been changed by another application. Save anyway?"));
  auto* save = box.addButton(QStringLiteral("Save anyway"), QMessageBox::AcceptRole);
  box.setDefaultButton(box.addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole));
  box.exec();
  return box.clickedButton() == save;
}

std::optional<OBDocument::SaveDestination> askSaveDestination(QWidget* parent, const OBDocument& document) {
  const QString native = QStringLiteral("Orbelline lens (*.orb)");
  const QString zemax = QStringLiteral("Zemax lens (*.zmx)");
  QString selected = document.fileType() == OBDocument::kZemaxType ? zemax : native;
  QString suggestion = QString::fromStdString(document.filePath().empty() ? document.displayName() : document.filePath());
  const QString path = QFileDialog::getSaveFileName(parent, QStringLiteral("Save As"), suggestion,
                                                    native + QStringLiteral(";;") + zemax, &selected);
  if (path.isEmpty()) return std::nullopt;
  OBDocument::SaveDestination destination{path.toStdString(), selected == zemax ? OBDocument::kZemaxType
                                                                                 : OBDocument::kNativeType};
  // The filter chose the type; the name gets its extension when the user left it out.
  const std::string extension = destination.type == OBDocument::kZemaxType ? ".zmx" : ".orb";
  if (QFileInfo(path).suffix().isEmpty()) destination.path += extension;
  return destination;
}
}  // namespace

void OBDocument::setSaveDestinationChooser(SaveDestinationChooser chooser) {
  saveDestinationChooser() = std::move(chooser);
}

void OBDocument::setRevertConfirmer(RevertConfirmer confirmer) { revertConfirmer() = std::move(confirmer); }

void OBDocument::setChangedFileAsker(ChangedFileAsker asker) { changedFileAsker() = std::move(asker); }

bool OBDocument::saveDocument(QWidget* parent) {
  // CODE V and OSLO files are read only: Save asks where to write, as Save As does.
  if (m_filePath.empty() || m_fileType.empty() || m_fileType == kCodeVType || m_fileType == kOsloType)
    return saveDocumentAs(parent);
  // Another program's change would be lost without a word: ask first. A file that is
  // gone, or one this document never read or wrote (no stamp), is written as it is.
  if (const auto onDisk = platform::fileStampAt(m_filePath); onDisk && m_fileStamp && *onDisk != *m_fileStamp) {
    QWidget* over = parent ? parent : dialogParent();
    if (!(changedFileAsker() ? changedFileAsker()(over, *this) : askToSaveOverChangedFile(over))) return false;
  }
  std::string error;
  if (writeToFile(m_filePath, m_fileType, &error)) {
    OBAppDel::shared().noteRecentDocumentPath(m_filePath);
    return true;
  }
  showMessage(parent ? parent : dialogParent(), "The document \u201c" + displayName() + "\u201d could not be saved.",
              error);
  return false;
}

bool OBDocument::saveDocumentAs(QWidget* parent) {
  if (!parent) parent = dialogParent();
  const auto destination =
      saveDestinationChooser() ? saveDestinationChooser()(parent, *this) : askSaveDestination(parent, *this);
  if (!destination) return false;
  std::string error;
  if (!writeToFile(destination->path, destination->type, &error)) {
    showMessage(parent, "The document could not be saved as \u201c" + displayNameOfPath(destination->path) + "\u201d.",
                error);
    return false;
  }
  OBAppDel::shared().noteRecentDocumentPath(destination->path);
  return true;
}

bool OBDocument::revertDocumentToSaved(QWidget* parent) {
  if (m_filePath.empty() || m_fileType.empty()) return false;
  if (!parent) parent = dialogParent();
  if (isDocumentEdited()) {
    const bool confirmed = revertConfirmer() ? revertConfirmer()(parent, *this) : [&] {
      QMessageBox box(parent);
      box.setWindowModality(Qt::WindowModal);
      box.setIcon(QMessageBox::Warning);
      box.setText(QStringLiteral("Do you want to revert to the saved version of \u201c%1\u201d?")
                      .arg(QString::fromStdString(displayName())));
      box.setInformativeText(QStringLiteral("Your current changes will be lost."));
      auto* revert = box.addButton(QStringLiteral("Revert"), QMessageBox::DestructiveRole);
      box.addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
      box.exec();
      return box.clickedButton() == revert;
    }();
    if (!confirmed) return false;
  }
  // Read into a second document first: a file that no longer reads leaves this one whole.
  auto fresh = platform::makeObject<OBDocument>();
  fresh->init();
  std::string error;
  if (!fresh->readFromFile(m_filePath, m_fileType, &error)) {
    showMessage(parent, "The document \u201c" + displayName() + "\u201d could not be reverted.", error);
    return false;
  }
  auto lens = fresh->m_lens;
  fresh->setLens(nullptr);
  m_undoIsLive = false;  // the reverted lens is no edit: its readiness empties the undo stack
  setLens(lens);
  setScaleMemory(fresh->scaleMemory());
  setMeritFunctionArray(fresh->m_meritFunctionArray);
  m_fileStamp = fresh->m_fileStamp;  // the file as read now is what Save compares with
  m_fileEncoding = fresh->m_fileEncoding;
  clearChangeCount();
  lensIsReady();
  return true;
}

// --- colours and the example lens ------------------------------------------------------------

void OBDocument::performColorAction(std::string_view action) {
  if (action == "generateRainbow") {
    generateRainbow(*m_lens);
    return;
  }
  applyColorAction(*m_lens, action);
  // Wave, field and glass colours are kept in the file; surface colours are the view's.
  if (action != "rainbowSurfaceColors" && action != "randomizeSurfaceColors") updateChangeCount();
}

void OBDocument::colorChanged(const platform::Value& object) {
  // A recoloured wave, field or glass is part of what the file keeps; surface colours
  // are not. The colour table's notification carries its {colour number: colour}
  // dictionary; a single object may also be named.
  if (!m_lens) return;
  bool ours = false;
  if (object.isObject()) {
    ours = lensOwnsColoredObject(*m_lens, object.asObject().get());
  } else if (object.isDictionary()) {
    auto numbered = [&](const auto& members) {
      for (const auto& m : members)
        if (m && object.asDictionary().contains(platform::Value(static_cast<std::int64_t>(m->colorNumber())))) return true;
      return false;
    };
    ours = numbered(m_lens->waveArray()) || numbered(m_lens->fieldArray()) || numbered(m_lens->glassArray());
  }
  if (ours) updateChangeCount();
}

std::shared_ptr<lens::Lens> OBDocument::tripletTestLens() {
  auto lens = lens::Lens::create();
  lens->stopWatchingSelf();
  const double inf = std::numeric_limits<double>::infinity();
  struct Row {
    double radius, thickness, nd, vd;
  };
  const Row rows[] = {{inf, inf, 0, 0},
                      {42.9879, 4.0, 1.620408, 60.3},
                      {-248.0774, 10.51018, 0, 0},
                      {-38.21035, 2.5, 1.616589, 36.61},
                      {43.95894, 9.86946, 0, 0},
                      {656.66349, 4.5, 1.620408, 60.3},
                      {-33.50754, 86.48643, 0, 0},
                      {inf, 0, 0, 0}};
  platform::Array surfaces;
  for (const auto& r : rows) {
    auto s = lens::Surface::create<lens::Surface>();
    if (std::isfinite(r.radius)) s->setValueForKey("radiusOfCurvature", r.radius);
    s->setValueForKey("thickness", r.thickness);
    if (r.nd > 0) s->setValueForKey("glassName", platform::format("%.6f,%.2f", r.nd, r.vd));
    surfaces.push_back(platform::Value(s));
  }
  platform::Dictionary d;
  d.set("surfaceArray", surfaces);
  lens->setValuesForDesiredKeysWithDictionary(d);
  lens->surfaceArray()[4]->setIsStop(true);
  lens->setValueForKey("sourceDivergenceType", 0);
  lens->setValueForKey("sourceDivergenceValue", 200.0 / 9.0);
  lens->setValueForKey("fieldType", "Angle");
  lens->validateFields();
  auto field = lens->fieldArray().front();
  lens->insertObjectInFieldArrayAtIndex(field->copy(), 1);
  lens->fieldArray()[1]->setValueForKey("y", 20.0);
  lens::Lens::Waves waves;
  for (double nm : {587.6, 656.3, 486.1}) {
    waves.push_back(lens::Wave::wave());
    waves.back()->setWavelength(nm);
  }
  waves.front()->setIsPrimary(true);
  lens->setWaveArray(waves);
  lens->validateStop();
  lens->validateWaves();
  colorizeLensWithRainbows(*lens);
  lens->generateSystemFromParaxialSpecification();
  lens->setIsReady(true);
  lens->startWatchingSelf();
  return lens;
}

// --- windows -----------------------------------------------------------------------------------

const std::vector<std::string>& OBDocument::actionNames() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> n;
    for (const auto& a : windowActions()) n.emplace_back(a.action);
    return n;
  }();
  return names;
}

SmartWindowController* OBDocument::existingWindowControllerForWindowNibName(const std::string& nibName) const {
  for (auto* c : windowControllers())
    if (c->nibName() == nibName && !c->isClosing()) return c;
  return nullptr;
}

SmartWindowController* OBDocument::showWindowWithNibName(const std::string& nibName, const std::string& controllerClass) {
  auto self = std::static_pointer_cast<OBDocument>(shared_from_this());
  auto* controller = makeController(controllerClass, nibName, self);
  if (!controller) return nullptr;
  controller->showWindow();
  return controller;
}

SmartWindowController* OBDocument::showUniqueWindowWithNibName(const std::string& nibName,
                                                               const std::string& controllerClass) {
  if (auto* existing = existingWindowControllerForWindowNibName(nibName)) {
    existing->showWindow();
    return existing;
  }
  return showWindowWithNibName(nibName, controllerClass);
}

const std::vector<std::string>& OBDocument::lensActionNames() {
  static const std::vector<std::string> names = {
      "quickFocus", "removeAllSolves", "removeAllVariables", "removeGlassPickups",
      "rainbowSurfaceColors", "randomizeSurfaceColors", "rainbowFieldColors", "randomizeFieldColors",
      "rainbowWaveColors", "randomizeWaveColors", "rainbowGlassColors", "randomizeGlassColors", "generateRainbow"};
  return names;
}

bool OBDocument::validateAction(std::string_view action) const {
  if (const auto* a = windowAction(action)) return windowActionIsAvailable(*a);
  if (action == "revertDocumentToSaved") return !m_filePath.empty() && !m_fileType.empty();
  if (action == "showAllPossibleWindows" || action == "showAlert") return true;
  if (!m_lens) return false;
  if (action == "removeAllSolves") return !m_lens->keyPathsForSolves().empty();
  if (action == "removeAllVariables") return !m_lens->keyPathsForVariables().empty();
  return std::find(lensActionNames().begin(), lensActionNames().end(), action) != lensActionNames().end();
}

bool OBDocument::performLensAction(std::string_view action) {
  if (std::find(lensActionNames().begin(), lensActionNames().end(), action) == lensActionNames().end()) return false;
  if (!m_lens) return true;
  try {
    if (action == "quickFocus") {
      tracing::adjustFocus(*m_lens);
    } else if (action == "removeAllSolves" || action == "removeAllVariables" || action == "removeGlassPickups") {
      m_lens->willChangeValueForKey("surfaceArray");
      for (const auto& surface : m_lens->surfaceArray()) {
        if (!surface) continue;
        if (action == "removeAllSolves")
          surface->removeSolves();
        else if (action == "removeAllVariables")
          surface->removeVariables();
        else
          surface->removeGlassPickup();
      }
      m_lens->didChangeValueForKey("surfaceArray");
    } else {
      performColorAction(action);
    }
  } catch (const platform::Exception& e) {
    showMessage(dialogParent(), "The lens could not be changed.", reasonForUser(e, std::string(action).c_str()));
  }
  return true;
}

bool OBDocument::performAction(std::string_view action) {
  if (performLensAction(action)) return true;
  if (action == "revertDocumentToSaved") {
    revertDocumentToSaved(nullptr);
    return true;
  }
  if (action == "showAllPossibleWindows") {
    showAllPossibleWindows();
    return true;
  }
  if (action == "showAlert") {
    showAlert(dialogParent());
    return true;
  }
  const auto* a = windowAction(action);
  if (!a) return false;
  if (!windowActionIsAvailable(*a)) {
    showNotAvailableYet(dialogParent(), std::string("The window \"") + a->nibName + "\"");
    return true;
  }
  if (a->unique)
    showUniqueWindowWithNibName(a->nibName, a->controllerClass);
  else
    applyWindowActionSettings(action, showWindowWithNibName(a->nibName, a->controllerClass));
  return true;
}

const std::vector<std::string>& OBDocument::allPossibleWindowActions() {
  static const std::vector<std::string> actions = {
      "makeTrace", "makePupilDataWindow", "makeSourceDivergenceWindow", "makeLayout", "makeSolidView",
      "makeSpotDiagram", "makeIntensityFan", "makeOPD", "makeCRS", "makeThroughput", "makeAcceptance", "makeRayFan",
      "makeChiefRayAngle", "makeFieldCurvature", "makeOSC", "makeMeritVsParameter", "makeMeritEditor",
      "makeDistortion", "makeGEE", "makeGOTF", "makeFGOTF", "makeDOTF", "makeDLSF", "makeDPSF", "makeHPSF",
      "makeHLSF", "makeHOTF", "showTransformationMatrixListing", "showPrescriptionListing", "showSystemWindow",
      "showAdvancedOptions", "showScaleLensWindow", "showLensDataEditor", "showSeidelListing", "showSources",
      "showFieldEditor", "showVignettingFactors", "showBeamEditor", "showMeritFunctions", "showWaveEditor",
      "showGlassMonitor", "showOptimizer", "showSliders", "showLayout"};
  return actions;
}

std::vector<std::string> OBDocument::showAllPossibleWindows() {
  // Keeps the document alive should one of the windows close it.
  auto self = shared_from_this();
  std::vector<std::string> skipped;
  for (const auto& action : allPossibleWindowActions()) {
    // A window that does not exist yet is no error here: one notice per missing window
    // would bury the windows that did open.
    const auto* a = windowAction(action);
    if (!a || !windowActionIsAvailable(*a)) {
      skipped.push_back(action);
      continue;
    }
    try {
      performAction(action);
    } catch (const std::exception& e) {
      // One window failing to open leaves the others to open.
      platform::logText("showAllPossibleWindows: " + action + ": " + e.what());
      skipped.push_back(action);
    }
  }
  if (!skipped.empty()) {
    std::string names;
    for (const auto& s : skipped) names += (names.empty() ? "" : ", ") + s;
    platform::logText("showAllPossibleWindows passed over " + names);
  }
  return skipped;
}

platform::Array OBDocument::presentWindowRestorationDictionaries() const {
  platform::Array records;
  try {
    for (auto* c : windowControllers()) {
      if (!c->isWindowLoaded() || c->isClosing()) continue;
      platform::Dictionary state;
      c->encodeRestorableState(state);
      c->window()->encodeRestorableState(state);
      platform::Dictionary record;
      record.set("NSUIID", c->window()->identifier());
      record.set("data", platform::KeyedArchiver::archivedDataWithRootObject(state));
      records.push_back(record);
    }
  } catch (const platform::Exception& e) {
    platform::logText("window records: " + exceptionText(e));
  }
  return records;
}

void OBDocument::makeWindowsWithRestorationDictionaries(const platform::Array& records) {
  auto self = std::static_pointer_cast<OBDocument>(shared_from_this());
  for (const auto& r : records) {
    try {
      const auto& record = r.asDictionary();
      const auto identifier = record.get("NSUIID");
      if (!identifier.isString() || identifier.asString().rfind("OB:", 0) != 0) continue;
      const auto decoded = platform::KeyedUnarchiver::unarchiveObjectWithData(record.get("data").asData());
      if (!decoded.isDictionary()) continue;
      const auto& state = decoded.asDictionary();
      const auto controllerClass = state.get("controllerClassName");
      const auto nibName = state.get("nibName");
      if (!controllerClass.isString() || !nibName.isString()) continue;
      SmartWindowController* controller = nullptr;
      if (interfacefile::loader(nibName.asString()))
        controller = makeController(controllerClass.asString(), nibName.asString(), self);
      if (!controller) {
        platform::logText("Fail to create window controller for controllerClassName = " + controllerClass.asString() +
                      ", nibName = " + nibName.asString());
        continue;
      }
      OBWindow* window = controller->window();
      window->move(10, 10);
      if (const auto frame = state.get("NSWindowFrame"); frame.isString())
        if (const auto restored = OBWindow::restoredFrame(frame.asString())) {
          window->setGeometry(*restored);
          window->move(restored->topLeft());  // the record's origin is the frame's, title bar included
        }
      window->ignoreOneSetFrameOrigin();
      controller->restoreState(state);
    } catch (const platform::Exception& e) {
      platform::logText("window creation exception = " + exceptionText(e));
    }
  }
}

void OBDocument::makeWindowControllers() {
  const bool hasFile = !m_filePath.empty();
  if (m_windowRestorationDictionaries.empty()) {
    auto& defaults = platform::UserDefaults::standard();
    for (const auto& [key, action] : onOpenShowActions()) {
      if (!defaults.boolForKey(std::string(hasFile ? "onOpenShow" : "onNewShow") + key)) continue;
      // Windows that do not exist yet are passed over quietly: opening a lens should not
      // greet the user with a row of notices.
      const auto* a = windowAction(action);
      if (a && windowActionIsAvailable(*a))
        performAction(action);
    }
  }
  if (windowControllers().empty()) makeWindowsWithRestorationDictionaries(m_windowRestorationDictionaries);
  m_windowRestorationDictionaries.clear();
  if (windowControllers().empty()) {
    // A document always shows at least one window: the layout, or until the layout view
    // exists, the lens window.
    if (const auto* layout = windowAction("makeLayout"); layout && windowActionIsAvailable(*layout))
      performAction("makeLayout");
    else
      showWindowWithNibName(kDocumentWindow, "WindowControllerWithDocumentController");
  } else {
    OBAppDel::shared().arrangeInFront(windowControllers().front()->window());
  }
  platform::NotificationQueue::defaultQueue().enqueue(platform::Notification("windowFinalizationNotification", reference()),
                                                      platform::PostingStyle::WhenIdle,
                                                      platform::Coalescing::OnName | platform::Coalescing::OnSender);
}

void OBDocument::close() {
  // Closing hands the document back to the controller, which may hold the last reference.
  const auto keepAlive = shared_from_this();
  SmartDocument::close();
  if (m_lens) m_lens->setDelegate(nullptr);
}

// --- printing ----------------------------------------------------------------------------------

namespace {

OBDocument::PrinterChooser& printerChooser() {
  static OBDocument::PrinterChooser chooser;  // main thread only
  return chooser;
}

OBDocument::PageSetupChooser& pageSetupChooser() {
  static OBDocument::PageSetupChooser chooser;  // main thread only
  return chooser;
}

double numberIn(const platform::Dictionary& d, const char* key, double otherwise) {
  const auto v = d.get(key);
  return v.isNumber() && std::isfinite(v.asDouble()) ? v.asDouble() : otherwise;
}

/// The page size of a print info: its paper in points, else the locale's paper.
QPageSize pageSizeOf(const platform::Dictionary& info) {
  const double w = numberIn(info, "paperWidth", 0), h = numberIn(info, "paperHeight", 0);
  if (w > 0 && h > 0 && w < 1e5 && h < 1e5) {
    const auto name = info.get("paperName");
    return QPageSize(QSizeF(w, h), QPageSize::Point, name.isString() ? QString::fromStdString(name.asString()) : QString(),
                     QPageSize::FuzzyMatch);
  }
  return QPageSize(QLocale::system().measurementSystem() == QLocale::ImperialUSSystem ? QPageSize::Letter
                                                                                       : QPageSize::A4);
}

platform::Dictionary printInfoOfPageSize(const QPageSize& size, QPageLayout::Orientation orientation) {
  const QSizeF points = size.size(QPageSize::Point);
  platform::Dictionary info;
  info.set("paperName", size.key().toStdString());
  info.set("paperWidth", points.width());
  info.set("paperHeight", points.height());
  info.set("orientation", orientation == QPageLayout::Landscape ? "Landscape" : "Portrait");
  return info;
}

QPageLayout pageLayoutOf(const platform::Dictionary& info) {
  const auto orientation = info.get("orientation");
  const bool landscape = orientation.isString() && orientation.asString() == "Landscape";
  const QMarginsF margins(numberIn(info, "leftMargin", 0), numberIn(info, "topMargin", 0),
                          numberIn(info, "rightMargin", 0), numberIn(info, "bottomMargin", 0));
  QPageLayout layout(pageSizeOf(info), landscape ? QPageLayout::Landscape : QPageLayout::Portrait, QMarginsF(),
                     QPageLayout::Point);
  layout.setMode(QPageLayout::FullPageMode);  // the printer's own limits do not move the picture
  layout.setMargins(margins);
  return layout;
}

void runPrintDialog(QWidget* parent, std::shared_ptr<QPrinter> printer, std::function<void()> accepted) {
  auto* dialog = new QPrintDialog(printer.get(), parent);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->setWindowModality(parent ? Qt::WindowModal : Qt::ApplicationModal);
  QObject::connect(dialog, &QDialog::accepted, dialog, [printer, accepted] { accepted(); });
  dialog->open();
}

void runPageSetupDialog(QWidget* parent, const QPageLayout& layout, std::function<void(const QPageLayout&)> accepted) {
  auto printer = std::make_shared<QPrinter>();
  printer->setPageLayout(layout);
  auto* dialog = new QPageSetupDialog(printer.get(), parent);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->setWindowModality(parent ? Qt::WindowModal : Qt::ApplicationModal);
  QObject::connect(dialog, &QDialog::accepted, dialog, [printer, accepted] { accepted(printer->pageLayout()); });
  dialog->open();
}

}  // namespace

void OBDocument::setPrinterChooser(PrinterChooser chooser) { printerChooser() = std::move(chooser); }
void OBDocument::setPageSetupChooser(PageSetupChooser chooser) { pageSetupChooser() = std::move(chooser); }

platform::Dictionary OBDocument::printInfo() {
  // An archive may hold anything here: only a print info with a paper is taken.
  if (!m_printInfo.isDictionary() || !m_printInfo.asDictionary().get("paperWidth").isNumber())
    m_printInfo = printInfoOfPageSize(pageSizeOf({}), QPageLayout::Portrait);
  return m_printInfo.asDictionary();
}

void OBDocument::setPrintInfo(const platform::Dictionary& printInfo) {
  m_printInfo = printInfo;
  updateChangeCount();
}

OBDocument::PrintOperation::PrintOperation(QWidget* view, platform::Dictionary printInfo)
    : m_view(view), m_printInfo(std::move(printInfo)) {}

QWidget* OBDocument::PrintOperation::view() const { return qobject_cast<QWidget*>(m_view.data()); }

bool OBDocument::PrintOperation::runOn(QPrinter& printer) const {
  QWidget* shown = view();
  if (!shown || shown->width() <= 0 || shown->height() <= 0) return false;
  printer.setFullPage(true);
  printer.setPageLayout(pageLayoutOf(m_printInfo));
  // A 3-D view is read back from its frame buffer, on white.
  QImage picture;
  if (auto* gl = dynamic_cast<rendering::BasicOpenGLView*>(shown)) picture = gl->viewForPrinting();
  QPainter painter(&printer);
  if (!painter.isActive()) return false;
  const double perPoint = printer.resolution() / 72.0;
  const QRectF area = printer.pageLayout().paintRectPixels(printer.resolution());
  // Fit both ways: shrunk to the page, never enlarged; centred across, at the top.
  const double scale = std::min({perPoint, area.width() / shown->width(), area.height() / shown->height()});
  const QSizeF drawn(shown->width() * scale, shown->height() * scale);
  painter.translate(area.left() + (area.width() - drawn.width()) / 2, area.top());
  painter.scale(scale, scale);
  if (!picture.isNull())
    painter.drawImage(QRectF(0, 0, shown->width(), shown->height()), picture);
  else
    shown->render(&painter, QPoint(), QRegion(), QWidget::DrawChildren);
  return true;
}

std::optional<OBDocument::PrintOperation> OBDocument::printOperationWithSettings(const platform::Dictionary& settings,
                                                                                 QWidget* mainWindow) {
  SmartWindowController* controller = nullptr;
  for (auto* c : windowControllers())
    if (c && c->isWindowLoaded() && !c->isClosing() &&
        (mainWindow ? c->window() == mainWindow : c->window() == QApplication::activeWindow()))
      controller = c;
  QWidget* view = controller ? controller->viewForPrinting() : nullptr;
  if (!view) return std::nullopt;
  platform::Dictionary info = printInfo();
  for (const auto& [key, value] : settings) info.set(key, value);
  info.set("horizontalPagination", "fit");
  info.set("verticalPagination", "fit");
  info.set("topMargin", 0.0);
  info.set("bottomMargin", 0.0);
  info.set("leftMargin", 7.0);
  info.set("rightMargin", 7.0);
  return PrintOperation(view, std::move(info));
}

bool OBDocument::printDocument(QWidget* window) {
  auto operation = printOperationWithSettings({}, window);
  if (!operation) return false;
  auto printer = std::make_shared<QPrinter>(QPrinter::HighResolution);
  printer->setPageLayout(pageLayoutOf(operation->printInfo()));
  printer->setDocName(QString::fromStdString(displayName()));
  auto run = [printer, operation = *operation] { operation.runOn(*printer); };
  (printerChooser() ? printerChooser() : runPrintDialog)(window, printer, run);
  return true;
}

void OBDocument::runPageLayout(QWidget* window) {
  std::weak_ptr<OBDocument> weak = std::static_pointer_cast<OBDocument>(shared_from_this());
  auto accepted = [weak](const QPageLayout& layout) {
    auto self = weak.lock();
    if (self) self->setPrintInfo(printInfoOfPageSize(layout.pageSize(), layout.orientation()));
  };
  (pageSetupChooser() ? pageSetupChooser() : runPageSetupDialog)(window, pageLayoutOf(printInfo()), accepted);
}

// --- the application's side ---------------------------------------------------------------------

std::shared_ptr<SmartDocument> OBDocumentFactory::openDocument(const std::string& path, std::string* error) {
  const auto type = OBDocument::typeOfFile(path);
  if (type.empty()) {
    if (error) *error = "Orbelline does not know this kind of file.";
    return nullptr;
  }
  auto document = platform::makeObject<OBDocument>();
  document->init();
  if (!document->readFromFile(path, type, error)) return nullptr;
  return document;
}

std::shared_ptr<SmartDocument> OBDocumentFactory::makeUntitledDocument() {
  auto document = platform::makeObject<OBDocument>();
  document->init();
  return document;
}

void registerLensDocument() {
  static const bool once = [] {
    lens::registerArchiveClasses();
    optimisation::registerArchiveClasses();  // merit functions and operands in native files
    tracing::registerSystemGenerator();
    rendering::setPlotSeriesReader([](const platform::Value& v) -> std::optional<std::vector<double>> {
      if (const auto* series = analysis::SeriesValue::from(v)) return std::vector<double>(series->data(), series->data() + series->count());
      return std::nullopt;
    });
    registerControllerClass("WindowControllerWithDocumentController", [](const std::string& nib, const auto& document) {
      return new WindowControllerWithDocumentController(nib, document);
    });
    registerControllerClass("LensPlotWindowController", [](const std::string& nib, const auto& document) {
      return new LensPlotWindowController(nib, document);
    });
    registerControllerClass("RandomizableLensPlotWindowController", [](const std::string& nib, const auto& document) {
      return new RandomizableLensPlotWindowController(nib, document);
    });
    registerTracerWindowController();
    registerLensWindow();
    registerSpotWindow();
    // Every window carries the application's menus and, in a document, the status line.
    SmartWindowController::setWindowDecorator([](SmartWindowController& controller) {
      installMenuBar(controller.window()->menuBar(), controller.window());
      installStatusLine(controller);
      OBAppDel::acceptLensFileDrops(controller.window());
    });
    return true;
  }();
  (void)once;
  DocumentController::shared().setDocumentFactory(std::make_unique<OBDocumentFactory>());
}

}  // namespace orb::app
