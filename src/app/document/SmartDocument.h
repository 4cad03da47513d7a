#pragma once

#include <QPointer>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/objects/OBObject.h"

class QWidget;

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
  /// The file the document was read from or saved to; empty when it has none.
  virtual std::string documentPath() const { return {}; }

  /// What reading the document's file passed over, for the status line of its windows;
  /// empty when the file was read whole.
  virtual std::string readingNote() const { return {}; }

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
  /// Closes every window and leaves the document controller, without asking.
  virtual void close();
  /// True once close() has begun.
  bool isClosing() const { return m_isClosing; }

  // --- unsaved changes ---------------------------------------------------------------------
  /// Whether the document has changes that are not saved; the base has none.
  virtual bool isDocumentEdited() const { return false; }
  /// Shows isDocumentEdited() on every window of the document (the window-modified mark
  /// of its title). Documents call it whenever their edited state may have changed.
  void updateWindowsModifiedMark();
  /// Saves the document where it came from, asking for a place when it has none; false
  /// when it was not saved (cancelled or failed, the failure already shown).
  virtual bool saveDocument(QWidget* parent) {
    (void)parent;
    return false;
  }
  /// The three answers to "save changes?".
  enum class ReviewAnswer { Save, DontSave, Cancel };
  /// Asked before an edited document closes (a window-modal question by default; tests
  /// replace it). An empty function restores the question.
  using ReviewChangesAsker = std::function<ReviewAnswer(SmartDocument& document, QWidget* parent)>;
  static void setReviewChangesAsker(ReviewChangesAsker asker);
  /// Reviews unsaved changes before closing: true when the document may close (not
  /// edited, saved, or the user chose not to save); false when the user cancelled or the
  /// save failed.
  bool canCloseDocument(QWidget* parent);
  /// Whether this window may close: always, unless it is the document's last window and
  /// the review of unsaved changes says no.
  bool shouldCloseWindowController(SmartWindowController* controller);
  /// A window closed: when it was the last, the document closes with it.
  void windowControllerDidClose(SmartWindowController* controller);

  /// Document actions reached from window toolbars and menus ("showLensDataEditor",
  /// "showSources", "showSliders", ...); false when the document has no such action.
  virtual bool performAction(std::string_view action) {
    (void)action;
    return false;
  }
  /// Whether the action can be performed now (menus enable their items by it).
  virtual bool validateAction(std::string_view action) const {
    (void)action;
    return false;
  }

 private:
  std::vector<std::string> m_listOfWindows;
  std::vector<QPointer<SmartWindowController>> m_windowControllers;
  bool m_isClosing = false;
};

}  // namespace orb::app
