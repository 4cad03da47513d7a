#include "app/document/OBAppDel.h"

#include "lens/LensGlassResolver.h"

#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QFileInfo>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "app/Messages.h"
#include "app/document/DocumentController.h"
#include "app/document/OBDocument.h"
#include "app/document/SmartDocument.h"
#include "app/document/StartWindow.h"
#include "app/tables/ValueTransformers.h"
#include "app/windows/GlassLibraryWindow.h"
#include "app/windows/OBWindow.h"
#include "app/windows/SmartWindowController.h"
#include "materials/GlassCatalog.h"
#include "materials/SystemGlassCatalog.h"
#include "platform/Exception.h"
#include "platform/KeyTable.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "platform/NotificationQueue.h"
#include "platform/Thread.h"
#include "platform/UserDefaults.h"

namespace orb::app {

namespace {

// The catalog, whether a load runs, and who waits for it: one mutex, one condition.
struct CatalogState {
  std::mutex mutex;
  std::condition_variable loaded;
  std::shared_ptr<materials::GlassCatalog> catalog;
  bool loading = false;
  OBAppDel::CatalogLoader loader;
  std::unique_ptr<platform::WorkerThread> thread;

  static CatalogState& shared() {
    static auto* state = new CatalogState();  // the loader thread may outlive static destruction
    return *state;
  }
};

std::shared_ptr<materials::GlassCatalog> defaultLoad() {
  std::string why;
  return materials::systemcatalog::load(true, &why);
}

// Runs a load the caller has claimed (loading set); the outcome is published and the
// waiters woken last, whatever happens.
void runClaimedLoad() {
  auto& s = CatalogState::shared();
  OBAppDel::CatalogLoader loader;
  {
    std::lock_guard lock(s.mutex);
    loader = s.loader ? s.loader : OBAppDel::CatalogLoader(defaultLoad);
  }
  std::shared_ptr<materials::GlassCatalog> catalog;
  try {
    catalog = loader();
  } catch (const std::exception& e) {
    platform::log("Unable to read system glass catalog: %s", e.what());
  }
  {
    std::lock_guard lock(s.mutex);
    s.catalog = std::move(catalog);
    s.loading = false;
  }
  s.loaded.notify_all();
}

}  // namespace

const platform::KeyTable& OBAppDel::classKeys() {
  static const platform::KeyTable table(
      &Object::classKeys(),
      {platform::KeyEntry{"systemGlassCatalog", [](const Object&) {
                            return platform::Value(systemGlassCatalog());
                          }}});
  return table;
}

OBAppDel& OBAppDel::shared() {
  static auto delegate = platform::makeObject<OBAppDel>();
  return *delegate;
}

void OBAppDel::setupDefaults() {
  // UserDefaults::standard() registers the resource on first use; a missing file is a
  // broken installation worth a line in the log, not a reason to stop.
  auto& defaults = platform::UserDefaults::standard();
  if (!defaults.registerDefaultsFromResource()) platform::log("factory defaults \"UserDefaults.plist\" not found");
}

void OBAppDel::initialize() {
  setupDefaults();
  ValueTransformer::setValueTransformer(std::make_shared<GenericDoubleToStringTransformer>(),
                                        "GenericDoubleToStringTransformer");
  ValueTransformer::setValueTransformer(std::make_shared<BooleanNoIsRedTransformer>(), "BooleanNoIsRedTransformer");
  ValueTransformer::setValueTransformer(std::make_shared<ColorToImageTransformer>(), "ColorToImageTransformer");
  ValueTransformer::setValueTransformer(std::make_shared<IntLogBaseTwoTransformer>(), "IntLogBaseTwoTransformer");
  ValueTransformer::setValueTransformer(std::make_shared<ImportanceToImageTransformer>(),
                                        "ImportanceToImageTransformer");
  ValueTransformer::setValueTransformer(std::make_shared<LogBaseTwoTransformer>(), "LogBaseTwoTransformer");
  ValueTransformer::setValueTransformer(std::make_shared<VKIsNotUnity>(), "VKIsNotUnity");
  // Lenses resolve glass names through the catalog this delegate loads (and waits for).
  lens::glassresolution::setSystemGlassLibraryProvider([] { return systemGlassCatalog(); });
}

void OBAppDel::applicationWillFinishLaunching() { platform::setCurrentThreadName("Orbelline"); }

void OBAppDel::applicationDidFinishLaunching() {
  auto& s = CatalogState::shared();
  {
    std::lock_guard lock(s.mutex);
    if (s.catalog || s.loading) return;
    s.loading = true;  // claimed before the thread starts, so early requests wait for it
  }
  auto thread = std::make_unique<platform::WorkerThread>("glass catalog", [] { runClaimedLoad(); });
  std::lock_guard lock(s.mutex);
  s.thread = std::move(thread);
}

std::shared_ptr<materials::GlassCatalog> OBAppDel::systemGlassCatalog() {
  auto& s = CatalogState::shared();
  {
    std::unique_lock lock(s.mutex);
    if (s.catalog) return s.catalog;
    if (s.loading) {
      s.loaded.wait(lock, [&] { return !s.loading; });
      return s.catalog;
    }
    s.loading = true;
  }
  runClaimedLoad();
  std::lock_guard lock(s.mutex);
  return s.catalog;
}

bool OBAppDel::isLoadingSystemGlassCatalog() {
  auto& s = CatalogState::shared();
  std::lock_guard lock(s.mutex);
  return s.loading;
}

void OBAppDel::waitForSystemGlassCatalogLoader() {
  auto& s = CatalogState::shared();
  std::unique_ptr<platform::WorkerThread> thread;
  {
    std::lock_guard lock(s.mutex);
    thread = std::move(s.thread);
  }
  if (thread) thread->join();
}

void OBAppDel::setSystemGlassCatalogLoader(CatalogLoader loader) {
  auto& s = CatalogState::shared();
  std::lock_guard lock(s.mutex);
  s.loader = std::move(loader);
}

void OBAppDel::showGlassLibrary() { app::showGlassLibrary(); }

void OBAppDel::resetGlassCatalog() {
  auto& s = CatalogState::shared();
  willChangeValueForKey("systemGlassCatalog");
  {
    // A load under way finishes first: its result would otherwise outlive the reset.
    std::unique_lock lock(s.mutex);
    s.loaded.wait(lock, [&] { return !s.loading; });
    s.catalog.reset();
    // The glass library folders may have been changed since they were read: the next
    // load reads them again. Forgotten before a new load can be claimed.
    materials::GlassCatalog::resetDefaultLibraries();
  }
  didChangeValueForKey("systemGlassCatalog");
  platform::NotificationCenter::defaultCenter().post("systemGlassCatalogResetNotification", reference());
}

std::shared_ptr<SmartDocument> OBAppDel::openSelection(const std::optional<std::string>& plainText,
                                                       std::string* error, std::string* detail) {
  auto* factory = DocumentController::shared().documentFactory();
  std::shared_ptr<SmartDocument> document = factory ? factory->makeUntitledDocument() : nullptr;
  if (!document) {
    if (error) *error = "Unable to make new Orbelline document";
    return nullptr;
  }
  DocumentController::shared().addDocument(document);
  if (plainText) {
    std::string why;
    if (!document->readFromPlainText(*plainText, &why)) {
      document->close();
      if (error) *error = "Pasteboard does not contain Orbelline data";
      if (detail) *detail = why;
      return nullptr;
    }
  }
  document->makeWindowControllers();
  document->showWindows();
  return document;
}

std::shared_ptr<SmartDocument> OBAppDel::openCatalogEntry(const std::string& text, const std::string& type,
                                                          QWidget* parent) {
  auto* factory = DocumentController::shared().documentFactory();
  auto document = factory ? std::dynamic_pointer_cast<OBDocument>(factory->makeUntitledDocument()) : nullptr;
  if (!document) {
    showNotAvailableYet(parent, "Opening lens catalog entries");
    return nullptr;
  }
  DocumentController::shared().addDocument(document);
  std::string why;
  if (!document->readFromCatalogEntryText(text, type, &why)) {
    document->close();
    showMessage(parent, "The catalog entry could not be opened.", why);
    return nullptr;
  }
  document->makeWindowControllers();
  document->showWindows();
  return document;
}

// --- opening ---------------------------------------------------------------------------------

namespace {
constexpr const char* kRecentDocumentPaths = "recentDocumentPaths";
constexpr std::size_t kRecentDocumentLimit = 10;

std::string canonicalPath(const std::string& path) {
  const QFileInfo info(QString::fromStdString(path));
  const QString canonical = info.canonicalFilePath();
  return (canonical.isEmpty() ? info.absoluteFilePath() : canonical).toStdString();
}

std::string fileName(const std::string& path) { return QFileInfo(QString::fromStdString(path)).fileName().toStdString(); }
}  // namespace

std::shared_ptr<SmartDocument> OBAppDel::openDocumentWithPath(const std::string& path, QWidget* parent) {
  auto* factory = DocumentController::shared().documentFactory();
  const auto* opener = DocumentController::shared().openerForPath(path);
  if (!factory && !opener) {
    showMessage(parent, notAvailableYetText("Opening lens files"),
                "Lens files open once the lens document is part of the application (" + path + ").");
    return nullptr;
  }
  const std::string canonical = canonicalPath(path);
  for (const auto& open : DocumentController::shared().documents())
    if (!open->documentPath().empty() && canonicalPath(open->documentPath()) == canonical) {
      open->showWindows();
      return open;
    }
  std::string error;
  auto document = opener ? (*opener)(path, &error) : factory->openDocument(path, &error);
  if (!document) {
    showMessage(parent, "The document \u201c" + fileName(path) + "\u201d could not be opened.", error);
    return nullptr;
  }
  noteRecentDocumentPath(canonical);
  DocumentController::shared().addDocument(document);
  document->makeWindowControllers();
  document->showWindows();
  return document;
}

namespace {

// Takes drags of local files and opens each dropped file, which reports its own failure.
class LensFileDropFilter : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    switch (event->type()) {
      case QEvent::DragEnter:
      case QEvent::DragMove: {
        auto* drag = static_cast<QDropEvent*>(event);
        if (!localFiles(drag->mimeData()).empty()) {
          drag->acceptProposedAction();
          return true;
        }
        return false;
      }
      case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        const auto paths = localFiles(drop->mimeData());
        if (paths.empty()) return false;
        drop->acceptProposedAction();
        auto* window = qobject_cast<QWidget*>(watched);
        for (const auto& path : paths) OBAppDel::shared().openDocumentWithPath(path, window);
        return true;
      }
      default:
        return QObject::eventFilter(watched, event);
    }
  }

 private:
  static std::vector<std::string> localFiles(const QMimeData* data) {
    std::vector<std::string> paths;
    if (!data || !data->hasUrls()) return paths;
    for (const QUrl& url : data->urls())
      if (url.isLocalFile()) paths.push_back(url.toLocalFile().toStdString());
    return paths;
  }
};

}  // namespace

void OBAppDel::acceptLensFileDrops(QWidget* window) {
  if (!window || window->findChild<LensFileDropFilter*>(QString(), Qt::FindDirectChildrenOnly)) return;
  window->setAcceptDrops(true);
  window->installEventFilter(new LensFileDropFilter(window));
}

void OBAppDel::openDocument(QWidget* parent) {
  if (!DocumentController::shared().documentFactory()) {
    showNotAvailableYet(parent, "Opening lens files");
    return;
  }
  auto choose = chooseFileToOpen ? chooseFileToOpen : [](QWidget* p) -> std::optional<std::string> {
    const QString path = QFileDialog::getOpenFileName(
        p, QStringLiteral("Open"), QString(),
        QStringLiteral("Lens files (*.orb *.zmx *.ZMX *.seq *.SEQ *.len *.LEN);;Orbelline lenses (*.orb);;Zemax lenses (*.zmx *.ZMX);;"
                       "CODE V sequence files (*.seq *.SEQ);;OSLO lens files (*.len *.LEN);;"
                       "Glass catalogs (*.agf *.AGF *.glc *.GLC);;All files (*)"));
    if (path.isEmpty()) return std::nullopt;
    return path.toStdString();
  };
  if (auto path = choose(parent)) openDocumentWithPath(*path, parent);
}

void OBAppDel::newFromClipboard(QWidget* parent) {
  if (!DocumentController::shared().documentFactory()) {
    showNotAvailableYet(parent, "Making a lens from clipboard text");
    return;
  }
  std::optional<std::string> text;
  if (const QMimeData* data = QApplication::clipboard()->mimeData(); data && data->hasText())
    text = data->text().toStdString();
  std::string error, detail;
  if (!openSelection(text, &error, &detail)) showMessage(parent, error, detail);
}

std::vector<std::string> OBAppDel::recentDocumentPaths() const {
  std::vector<std::string> paths;
  const auto stored = platform::UserDefaults::standard().objectForKey(kRecentDocumentPaths);
  if (!stored.isArray()) return paths;
  for (const auto& p : stored.asArray())
    if (p.isString() && !p.asString().empty()) paths.push_back(p.asString());
  return paths;
}

void OBAppDel::noteRecentDocumentPath(const std::string& path) {
  if (path.empty()) return;
  auto paths = recentDocumentPaths();
  std::erase(paths, path);
  paths.insert(paths.begin(), path);
  if (paths.size() > kRecentDocumentLimit) paths.resize(kRecentDocumentLimit);
  platform::Array stored;
  for (const auto& p : paths) stored.push_back(p);
  platform::UserDefaults::standard().setObject(kRecentDocumentPaths, stored);
}

void OBAppDel::clearRecentDocuments() { platform::UserDefaults::standard().removeObject(kRecentDocumentPaths); }

// --- glass libraries -------------------------------------------------------------------------------

std::string OBAppDel::abbreviatingWithTildeInPath(const std::string& path) {
  const char* home = std::getenv("HOME");
  if (!home || !*home) return path;
  std::string h = home;
  while (h.size() > 1 && h.back() == '/') h.pop_back();
  if (path == h) return "~";
  if (path.size() > h.size() && path.compare(0, h.size(), h) == 0 && path[h.size()] == '/')
    return "~" + path.substr(h.size());
  return path;
}

namespace {
void browseForGlassDirectory(OBAppDel& app, QWidget* parent, const char* title, const char* key) {
  auto choose = app.chooseDirectory ? app.chooseDirectory
                                    : [](QWidget* p, const std::string& t) -> std::optional<std::string> {
    const QString path = QFileDialog::getExistingDirectory(p, QString::fromStdString(t));
    if (path.isEmpty()) return std::nullopt;
    return path.toStdString();
  };
  if (auto path = choose(parent, title))
    platform::UserDefaults::standard().setObject(key, OBAppDel::abbreviatingWithTildeInPath(*path));
}
}  // namespace

void OBAppDel::browseForZemaxGlassDirectory(QWidget* parent) {
  browseForGlassDirectory(*this, parent, "Zemax Glass Library Folder", "zemaxGlassLibraryPath");
}

void OBAppDel::browseForOsloGlassDirectory(QWidget* parent) {
  browseForGlassDirectory(*this, parent, "OSLO Glass Library Folder", "osloGlassLibraryPath");
}

// --- closing -------------------------------------------------------------------------------------

std::shared_ptr<SmartDocument> OBAppDel::documentOfWindow(QWidget* window) {
  auto* obWindow = qobject_cast<OBWindow*>(window ? window->window() : nullptr);
  auto* controller = obWindow ? obWindow->controller() : nullptr;
  return controller ? controller->document() : nullptr;
}

bool OBAppDel::canPerformCloseDocument() const { return !DocumentController::shared().documents().empty(); }

void OBAppDel::performCloseDocument(QWidget* frontWindow) {
  auto document = documentOfWindow(frontWindow);
  if (!document || document->isClosing()) return;
  if (document->canCloseDocument(frontWindow)) document->close();
}

void OBAppDel::closeAllButFrontWindow(QWidget* frontWindow) {
  QWidget* front = frontWindow ? frontWindow->window() : nullptr;
  if (!front) return;
  auto* frontController = qobject_cast<OBWindow*>(front) ? qobject_cast<OBWindow*>(front)->controller() : nullptr;
  const auto document = frontController ? frontController->document() : nullptr;
  for (QWidget* w : QApplication::topLevelWidgets()) {
    auto* window = qobject_cast<OBWindow*>(w);
    if (!window || window == front || !window->controller() || window->controller()->isClosing()) continue;
    const bool sameDocument = window->controller()->document() == document &&
                              window->controller()->hasDocument() == (frontController && frontController->hasDocument());
    if (sameDocument) window->close();
  }
}

void OBAppDel::arrangeInFront(QWidget* frontWindow) {
  for (QWidget* w : QApplication::topLevelWidgets()) {
    auto* window = qobject_cast<OBWindow*>(w);
    if (window && window->isVisible() && window != frontWindow) {
      if (window->isMinimized()) window->showNormal();
      window->raise();
    }
  }
  if (frontWindow && frontWindow->isVisible()) {
    frontWindow->raise();
    frontWindow->activateWindow();
  }
}

bool OBAppDel::terminate(QWidget* parent) {
  const auto documents = DocumentController::shared().documents();
  for (const auto& document : documents)
    if (!document->canCloseDocument(parent)) return false;
  for (const auto& document : documents) document->close();
  if (m_startWindow) m_startWindow->hide();
  QTimer::singleShot(0, qApp, &QCoreApplication::quit);
  return true;
}

StartWindow* OBAppDel::startWindow() {
  if (!m_startWindow) {
    m_startWindow = new StartWindow();
    QObject::connect(&DocumentController::shared(), &DocumentController::documentsChanged, m_startWindow,
                     [this](int) { updateStartWindow(); });
  }
  return m_startWindow;
}

void OBAppDel::updateStartWindow() {
  auto* window = startWindow();
  if (DocumentController::shared().documents().empty())
    window->show();
  else
    window->hide();
}

void OBAppDel::closeAllOptionPanels() {
  platform::NotificationQueue::defaultQueue().enqueue(
      platform::Notification("closeAllOptionPanelsNotification", reference()), platform::PostingStyle::WhenIdle,
      platform::Coalescing::OnName);
}

std::string OBAppDel::versionString() const {
  return platform::format("%s (%s)", ORB_VERSION, ORB_BUILD_NUMBER);
}

unsigned OBAppDel::processorCount() { return std::max(1u, std::thread::hardware_concurrency()); }

}  // namespace orb::app
