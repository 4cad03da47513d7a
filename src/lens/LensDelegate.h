#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/Value.h"

namespace orb::materials {
class GlassCatalog;
}

namespace orb::lens {

/// A request to replace (or, with no new glass, remove) a glass on every surface of a lens.
struct GlassReplacementQuestion {
  std::string messageText;      ///< "Global glass replacement" or "Global glass removal"
  std::string informativeText;  ///< "Glass A will be replaced with B on all surfaces" …
};

/// What a lens asks of the object that owns it (the document). The lens holds its delegate
/// weakly. Every call comes on the main thread.
class LensDelegate {
 public:
  virtual ~LensDelegate() = default;
  /// Before the lens regenerates after an edit: the document registers its previous
  /// snapshot as the undo action.
  virtual void primeUndoForLensChange() {}
  /// After a successful regeneration: the document posts "lensIsReadyNotification".
  virtual void lensIsReady() {}
  /// After a surface or beam was inserted or removed: old member name → new member name
  /// (see keypath::renameMapForInsertion / renameMapForRemoval). Handed over even when empty.
  virtual void setLensKeyPathUpdateDictionary(const platform::Dictionary& /*renameMap*/) {}
  virtual void undo() {}
  /// The system name or the notes were edited by hand: mark the document edited.
  virtual void updateChangeCount() {}
  virtual std::string displayName() const { return {}; }
  /// The document's own glasses, searched after the lens's and before the system's.
  virtual std::shared_ptr<materials::GlassCatalog> localGlassCatalog() const { return nullptr; }
  /// The user confirms or refuses a global glass replacement. `answer(true)` goes ahead;
  /// the answer may come later (a window-modal sheet). The default goes ahead at once, as
  /// scripted and headless use expects.
  virtual void askGlassReplacement(const GlassReplacementQuestion& /*question*/, std::function<void(bool)> answer) {
    answer(true);
  }
};

}  // namespace orb::lens
