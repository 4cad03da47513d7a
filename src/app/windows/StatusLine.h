#pragma once

#include <string>

namespace orb::app {

class SmartWindowController;

/// Gives a document window a status line that shows, in words, what is wrong with the
/// document's lens (its warning: a failed system update, unknown glasses…) and otherwise
/// the status of the window's analysis. It follows the lens as the document replaces it.
/// Windows without a lens document get none.
void installStatusLine(SmartWindowController& controller);

/// A lens warning as the user reads it: "System update failure (Unsupported : no
/// diffracter)" becomes "System update failure: no diffracter"; the exception's name is
/// an internal word (it stays in the log).
std::string readableWarning(const std::string& warning);

}  // namespace orb::app
