#include "rendering/Cursors.h"

#include <gtest/gtest.h>

#include <QCursor>
#include <QPixmap>

namespace orb::rendering {
namespace {

TEST(Cursors, MadeOnceFromTheirImagesWithCentredHotSpot) {
  struct Case {
    const char* name;
    const QCursor& (*make)();
  };
  for (const Case& c : {Case{"rotate", rotateCursor}, Case{"light", lightCursor}, Case{"left-right", leftRightCursor}}) {
    SCOPED_TRACE(c.name);
    const QCursor& cursor = c.make();
    EXPECT_EQ(&cursor, &c.make());
    EXPECT_EQ(cursor.shape(), Qt::BitmapCursor) << "the resource image was not found";
    EXPECT_EQ(cursor.pixmap().size(), QSize(16, 16));
    EXPECT_EQ(cursor.hotSpot(), QPoint(8, 8));
  }
}

}  // namespace
}  // namespace orb::rendering
