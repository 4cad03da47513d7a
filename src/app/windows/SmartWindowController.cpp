#include "app/windows/SmartWindowController.h"

#include <algorithm>
#include <atomic>

#include <QRect>
#include <QScreen>
#include <QWidget>

#include "app/document/SmartDocument.h"
#include "app/windows/OBWindow.h"
#include "platform/Exception.h"

namespace orb::app {

SmartWindowController::SmartWindowController(std::string nibName, const std::shared_ptr<SmartDocument>& document)
    : m_nibName(std::move(nibName)), m_document(document), m_hadDocument(document != nullptr) {
  if (document) document->addWindowController(this);
}

SmartWindowController::~SmartWindowController() {
  closeIfOpen();
  if (auto document = m_document.lock()) document->removeWindowController(this);
  if (m_window) m_window->deleteLater();
}

std::string SmartWindowController::controllerClassName() const {
  std::string name = metaObject()->className();
  const auto colons = name.rfind("::");
  return colons == std::string::npos ? name : name.substr(colons + 2);
}

OBWindow* SmartWindowController::window() {
  if (!m_window) loadWindow();
  return m_window;
}

void SmartWindowController::loadWindow() {
  const InterfaceLoader* loader = interfacefile::loader(m_nibName);
  if (!loader)
    platform::Exception::raise("NSInternalInconsistencyException", "No interface file named \"%s\"",
                               m_nibName.c_str());
  m_window = new OBWindow(this);
  m_outlets = (*loader)(*m_window);
  awakeFromNib();
  windowDidLoad();
}

void SmartWindowController::reloadInterface() {
  const InterfaceLoader* loader = interfacefile::loader(m_nibName);
  if (!m_window || !loader) return;
  const QRect frame = m_window->geometry();
  // Out of the window at once, so nothing finds the old contents; freed once its events are done.
  if (QWidget* old = m_window->takeCentralWidget()) old->deleteLater();
  m_outlets = (*loader)(*m_window);
  m_window->setGeometry(frame);
  synchronizeWindowTitleWithDocumentName();
}

namespace {
SmartWindowController::WindowDecorator& windowDecorator() {
  static SmartWindowController::WindowDecorator decorator;  // main thread only
  return decorator;
}
}  // namespace

void SmartWindowController::setWindowDecorator(WindowDecorator decorator) { windowDecorator() = std::move(decorator); }

void SmartWindowController::windowDidLoad() {
  static std::atomic<long> next{1};
  m_window->setIdentifier("OB:" + std::to_string(next++));
  synchronizeWindowTitleWithDocumentName();
  if (windowDecorator()) windowDecorator()(*this);
}

void SmartWindowController::synchronizeWindowTitleWithDocumentName() {
  if (!m_window) return;
  auto document = m_document.lock();
  std::string title = windowTitleForDocumentDisplayName(document ? document->displayName() : std::string());
  if (!m_hadDocument) title = m_baseWindowName;  // app-wide windows show the base title alone
  // Windows of a document carry its unsaved changes as the window-modified mark.
  else title += "[*]";
  m_window->setWindowTitle(QString::fromStdString(title));
  m_window->setWindowModified(document && document->isDocumentEdited());
}

std::vector<std::string>& SmartWindowController::processWideListOfWindows() {
  static std::vector<std::string> list;
  return list;
}

std::vector<std::string>* SmartWindowController::determineListOfWindows() {
  if (m_hadDocument) {
    auto document = m_document.lock();
    return document ? &document->listOfWindows() : nullptr;
  }
  return &processWideListOfWindows();
}

std::string SmartWindowController::windowTitleForDocumentDisplayName(const std::string& displayName) {
  if (!m_titled) {
    m_titled = true;
    const std::string title = m_window ? m_window->windowTitle().toStdString() : m_nibName;
    m_baseWindowName = title;
    if (auto* list = determineListOfWindows()) {
      auto taken = [&](const std::string& name) { return std::find(list->begin(), list->end(), name) != list->end(); };
      for (int n = 1; taken(m_baseWindowName); ++n) m_baseWindowName = title + " " + std::to_string(n);
      list->push_back(m_baseWindowName);
    }
  }
  return m_baseWindowName + " - " + displayName;
}

void SmartWindowController::retitle(const std::string& base) {
  if (!m_window) return;
  if (m_titled && m_baseWindowName.rfind(base, 0) == 0) return;  // already this presentation
  if (m_titled)
    if (auto* list = determineListOfWindows()) std::erase(*list, m_baseWindowName);
  m_titled = false;
  m_window->setWindowTitle(QString::fromStdString(base));
  synchronizeWindowTitleWithDocumentName();
}

std::optional<QPoint> SmartWindowController::cascadeOrigin() const {
  auto document = m_document.lock();
  if (!document || !m_window) return std::nullopt;
  const OBWindow* last = nullptr;
  for (auto* c : document->windowControllers())
    if (c && c != this && !c->isClosing() && c->m_window && c->m_window->isVisible() && !c->m_window->isMinimized())
      last = c->m_window;
  if (!last) return std::nullopt;
  QPoint origin = last->frameGeometry().topLeft() + QPoint(kCascadeStep, kCascadeStep);
  // Back to the top-left corner of the screen when the cascade would run off it.
  const QScreen* shownOn = last->screen();
  const QRect available = shownOn ? shownOn->availableGeometry() : QRect();
  const QSize size = m_window->frameGeometry().size();
  if (available.isValid() &&
      (origin.x() + size.width() > available.right() + 1 || origin.y() + size.height() > available.bottom() + 1))
    origin = available.topLeft();
  return origin;
}

void SmartWindowController::showWindow() {
  auto* w = window();
  // The first showing places a document's new window down and right of its last one;
  // a restored window has been told to ignore this move and keeps its frame.
  if (!m_placed) {
    m_placed = true;
    if (const auto origin = cascadeOrigin()) w->setFrameOrigin(*origin);
  }
  w->show();
  w->raise();
  w->activateWindow();
}

QWidget* SmartWindowController::viewForPrinting() {
  if (!m_window) return nullptr;
  return m_outlets.view ? m_outlets.view : m_window->centralWidget();
}

void SmartWindowController::close() {
  if (m_window && !m_closing) m_window->close();
}

void SmartWindowController::windowDidCloseByUser() {
  if (m_closing) return;
  closeIfOpen();
  deleteLater();
}

void SmartWindowController::closeIfOpen() {
  if (m_closing) return;
  m_closing = true;
  windowWillClose();
}

bool SmartWindowController::windowShouldClose() {
  auto document = m_document.lock();
  return !document || document->shouldCloseWindowController(this);
}

void SmartWindowController::windowWillClose() {
  if (m_titled)
    if (auto* list = determineListOfWindows()) {
      auto it = std::find(list->begin(), list->end(), m_baseWindowName);
      if (it != list->end()) list->erase(it);
    }
  // A document closes with its last window.
  if (auto document = m_document.lock()) document->windowControllerDidClose(this);
}

}  // namespace orb::app
