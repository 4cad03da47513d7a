#pragma once

class QCursor;

namespace orb::rendering {

// The program's own cursors, each made once from its resource image (16 × 16 PNG, hot spot
// at the centre, 8, 8) and kept for the life of the process. A missing image falls back to
// a standard cursor of similar meaning, with one line in the log.

/// "rotateCursor": dragging turns the view.
const QCursor& rotateCursor();
/// "lightCursor": dragging moves the light.
const QCursor& lightCursor();
/// "left-right-cursor": dragging moves sideways.
const QCursor& leftRightCursor();

}  // namespace orb::rendering
