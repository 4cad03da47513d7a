#pragma once

#include "app/windows/InterfaceFile.h"

namespace orb::app {

class OBWindow;

/// Lens ▸ Glasses ("GlassMonitor"): the lens's own glasses as an editable list and the
/// selected glass in a one-glass editor.
///
/// The list takes drops of glasses (from catalogs, the glass library, other lenses) and of
/// surfaces (whose glass is taken), clones glasses as model or mutable glasses, colours its
/// rows and removes glasses (the surfaces that used a removed glass become air) or the
/// unused ones. A glass dropped on the one-glass editor replaces the selected glass on every
/// surface as a mutable copy, whose coefficients the editor then edits.
///
/// Every edit goes through the lens and runs one change cycle, so it is one undo step of
/// the document; edits that touch only a glass (colours, coefficients) start the cycle
/// themselves, since the lens does not watch them.
InterfaceOutlets loadLensGlassWindow(OBWindow& window);

}  // namespace orb::app
