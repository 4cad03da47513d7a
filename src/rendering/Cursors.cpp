#include "rendering/Cursors.h"

#include "platform/Log.h"
#include "platform/Resources.h"

#include <QCursor>
#include <QPixmap>

#include <string>

namespace orb::rendering {

namespace {

// Never deleted: a cursor's pixmap must not outlive the application object, and statics
// are destroyed after it.
const QCursor& cursorFromImage(const std::string& name, Qt::CursorShape fallback) {
  QPixmap pixmap;
  if (auto path = platform::resources::pathFor(name, "png")) pixmap.load(QString::fromStdString(*path));
  if (pixmap.isNull()) {
    platform::log("cursor image %s.png not found; using a standard cursor", name.c_str());
    return *new QCursor(fallback);
  }
  return *new QCursor(pixmap, 8, 8);
}

}  // namespace

const QCursor& rotateCursor() {
  static const QCursor& cursor = cursorFromImage("rotateCursor", Qt::OpenHandCursor);
  return cursor;
}

const QCursor& lightCursor() {
  static const QCursor& cursor = cursorFromImage("lightCursor", Qt::PointingHandCursor);
  return cursor;
}

const QCursor& leftRightCursor() {
  static const QCursor& cursor = cursorFromImage("left-right-cursor", Qt::SizeHorCursor);
  return cursor;
}

}  // namespace orb::rendering
