#pragma once

#include <QPointer>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/objects/OBObject.h"

namespace orb::app {

class SmartWindowController;

/// The base of every document: the lens document, the glass-catalog document and the
/// lens-catalog documents. It keeps the base titles of its open windows, against which
/// window titles are numbered, and the controllers of its windows.
///
/// Documents are shared objects (platform::makeObject); the document controller keeps
/// the open ones. Window controllers refer to their document weakly. Main thread only.
class SmartDocument : public foundation::OBObject {
 public:
  /// The name shown in window titles ("Untitled" until the document has a file).
  virtual std::string displayName() const { return "Untitled"; }

  /// Base titles of the open windows (see SmartWindowController's numbering).
  std::vector<std::string>& listOfWindows() { return m_listOfWindows; }

  void addWindowController(SmartWindowController* controller);
  void removeWindowController(SmartWindowController* controller);
  /// The controllers of the open windows, in the order they were added.
  std::vector<SmartWindowController*> windowControllers() const;

  /// Turns plain text (the clipboard's Zemax text) into the document's content; false
  /// and a reason when it can't. The base reads nothing.
  virtual bool readFromPlainText(const std::string& text, std::string* error);
  /// Makes the document's standard windows; the base makes none.
  virtual void makeWindowControllers() {}
  /// Shows every window of the document.
  virtual void showWindows();
  /// Closes every window and leaves the document controller.
  virtual void close();

  /// Document actions reached from window toolbars and menus ("showLensDataEditor",
  /// "showSources", "showSliders", ...); false when the document has no such action.
  virtual bool performAction(std::string_view action) {
    (void)action;
    return false;
  }

 private:
  std::vector<std::string> m_listOfWindows;
  std::vector<QPointer<SmartWindowController>> m_windowControllers;
};

}  // namespace orb::app
