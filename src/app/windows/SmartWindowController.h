#pragma once

#include <QObject>
#include <QRect>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/windows/InterfaceFile.h"
#include "platform/Value.h"

class QWidget;

namespace orb::app {

class OBWindow;
class SmartDocument;

/// The base of every window controller. It loads its interface file into an OBWindow,
/// gives the window a stable identifier for restoration and titles it "<base> - <document>",
/// the base title numbered against the other open windows of the same document:
/// "Spot Diagram", "Spot Diagram 1", "Spot Diagram 2", numbers freed on close and reused
/// smallest first. Controllers without a document number against one process-wide list.
///
/// The controller lives until its window closes and then deletes itself (later, so a
/// close from inside its own code is safe). Main thread only.
class SmartWindowController : public QObject {
  Q_OBJECT
 public:
  /// `nibName` names the interface file; the document may be null (app-wide windows).
  explicit SmartWindowController(std::string nibName, const std::shared_ptr<SmartDocument>& document = {});
  ~SmartWindowController() override;

  const std::string& nibName() const { return m_nibName; }
  /// The class name restoration records keep (without namespace).
  std::string controllerClassName() const;
  std::shared_ptr<SmartDocument> document() const { return m_document.lock(); }
  bool hasDocument() const { return m_hadDocument; }

  /// The window, loading the interface file on first use; raises
  /// "NSInternalInconsistencyException" when no interface of that name is registered.
  OBWindow* window();
  bool isWindowLoaded() const { return m_window != nullptr; }
  /// Shows the window and brings it to the front. A document's window shown for the first
  /// time is placed kCascadeStep right of and below the document's last visible window.
  void showWindow();
  static constexpr int kCascadeStep = 22;
  /// Where the first showing puts the window's frame; none without another visible window
  /// of the document (the window system places it).
  std::optional<QPoint> cascadeOrigin() const;
  /// Closes the window as the user would (the window may refuse).
  void close();
  /// True once closing has begun: the controller then takes up nothing new.
  bool isClosing() const { return m_closing; }

  /// "%@ - %@" of the numbered base title and `displayName`; the base title is chosen on
  /// the first call and kept.
  std::string windowTitleForDocumentDisplayName(const std::string& displayName);
  const std::string& baseWindowName() const { return m_baseWindowName; }
  /// Gives the window a new base title (numbered like the first, if taken) and shows it
  /// with the document's name: one interface file can serve two presentations.
  void retitle(const std::string& base);
  /// Sets the window title from the document's present display name.
  void synchronizeWindowTitleWithDocumentName();
  /// Called for every window once it is loaded and titled: the application adds its
  /// menus and status line there. Main thread only.
  using WindowDecorator = std::function<void(SmartWindowController&)>;
  static void setWindowDecorator(WindowDecorator decorator);

  /// The list of base titles that this window numbers against.
  std::vector<std::string>* determineListOfWindows();
  static std::vector<std::string>& processWideListOfWindows();

  // Window events, from the OBWindow.
  /// The last window of an edited document first reviews its unsaved changes.
  virtual bool windowShouldClose();
  virtual void windowDidBecomeMain() {}
  virtual void windowDidMiniaturize() {}
  virtual void windowDidDeminiaturize() {}
  void windowDidCloseByUser();

  /// The frame the window takes when zoomed, given the largest the screen allows (the
  /// screen's available area); windows that keep a shape of their own cut it.
  virtual QRect windowWillUseStandardFrame(const QRect& defaultFrame) const { return defaultFrame; }
  /// What File ▸ Print… prints of this window: its main view, else its whole contents;
  /// null when the window has nothing to print.
  virtual QWidget* viewForPrinting();

  /// Restorable state of the controller (subclasses add their settings).
  virtual void encodeRestorableState(platform::Dictionary& state) const { (void)state; }
  virtual void restoreState(const platform::Dictionary& state) { (void)state; }

 protected:
  /// After the interface is loaded, once: the place to connect what it holds.
  virtual void awakeFromNib() {}
  /// After awakeFromNib, once.
  virtual void windowDidLoad();
  /// Once, as the window closes: every level lets go of what it holds, then calls its
  /// base. The base frees the window's base title.
  virtual void windowWillClose();
  /// Runs the closing chain once; every level's destructor calls it, so a controller
  /// deleted with its window open still lets go of everything in order.
  void closeIfOpen();

  /// Builds the loaded window's contents again from its interface file, keeping the
  /// window's place, size and title.
  void reloadInterface();

  const InterfaceOutlets& outlets() const { return m_outlets; }
  InterfaceOutlets& outlets() { return m_outlets; }

 private:
  void loadWindow();

  std::string m_nibName;
  std::weak_ptr<SmartDocument> m_document;
  bool m_hadDocument = false;
  OBWindow* m_window = nullptr;  // owned; deleted with the controller
  InterfaceOutlets m_outlets;
  std::string m_baseWindowName;
  bool m_titled = false;
  bool m_closing = false;
  bool m_placed = false;
};

}  // namespace orb::app
