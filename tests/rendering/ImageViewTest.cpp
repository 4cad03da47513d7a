#include "rendering/ImageView.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QFileDialog>
#include <QImageReader>
#include <QLabel>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTimer>

#include <vector>

namespace orb::rendering {
namespace {

using Frame = ImageView::FrameStyle;
using Scaling = ImageView::ImageScaling;
using Align = ImageView::ImageAlignment;

QImage filledImage(int w, int h, QColor color = Qt::red) {
  QImage image(w, h, QImage::Format_ARGB32);
  image.fill(color);
  return image;
}

/// Every pixel different, so a transposed or shifted copy shows.
QImage patternImage(int w, int h) {
  QImage image(w, h, QImage::Format_ARGB32);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) image.setPixel(x, y, qRgba(x * 7 % 256, y * 11 % 256, (x + y) % 256, 255 - x % 3));
  return image;
}

TEST(ImageView, SizeByScalingProportionallyFitsAndKeepsAspect) {
  struct Case {
    const char* name;
    QSizeF target, source, expected;
  };
  const std::vector<Case> cases = {
      {"wide source, width limits", {100, 100}, {200, 100}, {100, 50}},
      {"tall source, height limits", {100, 100}, {100, 200}, {50, 100}},
      {"wide source, height limits", {300, 100}, {200, 100}, {200, 100}},
      {"tall source, width limits", {100, 300}, {100, 200}, {100, 200}},
      {"same aspect fills exactly", {200, 100}, {20, 10}, {200, 100}},
      {"square source in a wide target", {100, 60}, {50, 50}, {60, 60}},
      {"enlarges", {400, 400}, {20, 10}, {400, 200}},
      {"no width", {100, 100}, {0, 10}, {0, 0}},
      {"no height", {100, 100}, {10, 0}, {0, 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const QSizeF got = ImageView::sizeByScalingProportionallyToSize(c.target, c.source);
    EXPECT_DOUBLE_EQ(got.width(), c.expected.width());
    EXPECT_DOUBLE_EQ(got.height(), c.expected.height());
  }
}

TEST(ImageView, ImageFrameByFrameScalingAndAlignment) {
  struct Case {
    const char* name;
    Frame frame;
    Scaling scaling;
    Align align;
    QSize image;
    QRect expected;
  };
  // View 200 × 100; y grows downwards, so "top" is y = 0.
  const std::vector<Case> cases = {
      {"centre", Frame::None, Scaling::None, Align::Center, {50, 40}, {75, 30, 50, 40}},
      {"top", Frame::None, Scaling::None, Align::Top, {50, 40}, {75, 0, 50, 40}},
      {"top left", Frame::None, Scaling::None, Align::TopLeft, {50, 40}, {0, 0, 50, 40}},
      {"top right", Frame::None, Scaling::None, Align::TopRight, {50, 40}, {150, 0, 50, 40}},
      {"left", Frame::None, Scaling::None, Align::Left, {50, 40}, {0, 30, 50, 40}},
      {"bottom", Frame::None, Scaling::None, Align::Bottom, {50, 40}, {75, 60, 50, 40}},
      {"bottom left", Frame::None, Scaling::None, Align::BottomLeft, {50, 40}, {0, 60, 50, 40}},
      {"bottom right", Frame::None, Scaling::None, Align::BottomRight, {50, 40}, {150, 60, 50, 40}},
      {"right", Frame::None, Scaling::None, Align::Right, {50, 40}, {150, 30, 50, 40}},
      {"unscaled larger image overhangs", Frame::None, Scaling::None, Align::Center, {300, 120}, {-50, -10, 300, 120}},
      {"groove fills its inside", Frame::Groove, Scaling::AxesIndependently, Align::Center, {50, 40}, {2, 2, 196, 96}},
      {"button fills its inside", Frame::Button, Scaling::AxesIndependently, Align::TopLeft, {50, 40}, {2, 2, 196, 96}},
      {"bezel fills its inside", Frame::GrayBezel, Scaling::AxesIndependently, Align::Center, {50, 40}, {8, 8, 184, 84}},
      {"photo leaves room for its shadow", Frame::Photo, Scaling::AxesIndependently, Align::Center, {50, 40}, {1, 1, 197, 97}},
      {"bezel bottom right", Frame::GrayBezel, Scaling::None, Align::BottomRight, {50, 40}, {142, 52, 50, 40}},
      {"photo top left", Frame::Photo, Scaling::None, Align::TopLeft, {50, 40}, {1, 1, 50, 40}},
      // 75 wide centred: x = 62.5, rounded away from zero.
      {"up or down enlarges", Frame::None, Scaling::ProportionallyUpOrDown, Align::Center, {30, 40}, {63, 0, 75, 100}},
      // 42.857… wide: the width rounds up, x = 78.57… to the nearest.
      {"fractional width rounds up", Frame::None, Scaling::ProportionallyUpOrDown, Align::Center, {30, 70}, {79, 0, 43, 100}},
      {"down shrinks a large image", Frame::None, Scaling::ProportionallyDown, Align::Center, {400, 100}, {0, 25, 200, 50}},
      {"down leaves a small image", Frame::None, Scaling::ProportionallyDown, Align::Center, {50, 40}, {75, 30, 50, 40}},
      {"down shrinks a tall image", Frame::None, Scaling::ProportionallyDown, Align::Left, {100, 400}, {0, 0, 25, 100}},
      {"no image", Frame::None, Scaling::ProportionallyDown, Align::Center, {0, 0}, {100, 50, 0, 0}},
  };
  ImageView view;
  view.resize(200, 100);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    view.setImage(c.image.isEmpty() ? QImage() : filledImage(c.image.width(), c.image.height()));
    view.setFrameStyle(c.frame);
    view.setImageScaling(c.scaling);
    view.setImageAlignment(c.align);
    EXPECT_EQ(view.imageFrame(), c.expected);
  }
}

TEST(ImageView, DrawsTheImageInItsFrame) {
  ImageView view;
  view.resize(60, 40);
  view.setImage(filledImage(10, 10, Qt::blue));
  view.setImageAlignment(Align::BottomRight);
  const QImage shot = view.grab().toImage();
  EXPECT_EQ(shot.pixelColor(55, 35), QColor(Qt::blue));
  EXPECT_NE(shot.pixelColor(5, 5), QColor(Qt::blue));
}

TEST(ImageView, CopyPutsTheImageOnTheClipboard) {
  ImageView view;
  const QImage image = patternImage(30, 20);
  view.setImage(image);
  QApplication::clipboard()->clear();
  view.copy();
  const QMimeData* data = QApplication::clipboard()->mimeData();
  ASSERT_NE(data, nullptr);
  ASSERT_TRUE(data->hasImage());
  EXPECT_EQ(qvariant_cast<QImage>(data->imageData()).convertToFormat(QImage::Format_ARGB32), image);
  // The file form: TIFF where Qt writes it, else PNG; either decodes to the image.
  const QString type = data->hasFormat("image/tiff") ? "image/tiff" : "image/png";
  ASSERT_TRUE(data->hasFormat(type)) << "neither TIFF nor PNG data";
  EXPECT_EQ(QImage::fromData(data->data(type)).convertToFormat(QImage::Format_ARGB32), image);
}

TEST(ImageView, CopyToolTipAsPlainText) {
  struct Case {
    const char* name;
    QString tip, expected;
  };
  const std::vector<Case> cases = {
      {"plain", "f = 50 mm", "f = 50 mm"},
      {"rich", "<b>f</b> = 50&nbsp;mm", "f = 50 mm"},
  };
  ImageView view;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    view.setToolTip(c.tip);
    view.copyToolTip();
    EXPECT_EQ(QApplication::clipboard()->text(), c.expected);
  }
}

TEST(ImageView, SaveWritesPngThroughTheChooser) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString path = dir.filePath("spot.png");
  ImageView view;
  const QImage image = patternImage(23, 17);
  view.setImage(image);

  int asked = 0;
  view.setSavePathChooser([&](ImageView&) {
    ++asked;
    return QString();
  });
  EXPECT_FALSE(view.save());
  EXPECT_EQ(asked, 1);
  EXPECT_FALSE(QFile::exists(path));

  view.setSavePathChooser([&](ImageView&) { return path; });
  ASSERT_TRUE(view.save());
  QImageReader reader(path);
  EXPECT_EQ(reader.format(), "png");
  EXPECT_EQ(reader.read().convertToFormat(QImage::Format_ARGB32), image);

  view.setSavePathChooser([&](ImageView&) { return dir.filePath("missing/spot.png"); });
  EXPECT_FALSE(view.save());
}

TEST(ImageView, SaveDialogOffersPngWithItsNote) {
  ImageView view;
  view.setImage(filledImage(4, 4));
  view.show();
  bool sawNote = false;
  Qt::WindowModality modality = Qt::NonModal;
  QTimer::singleShot(0, [&] {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* dialog = qobject_cast<QFileDialog*>(w); dialog && dialog->isVisible()) {
        modality = dialog->windowModality();
        for (auto* label : dialog->findChildren<QLabel*>())
          sawNote |= label->text() == ImageView::kSaveAccessoryText && label->isVisible();
        EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptSave);
        EXPECT_EQ(dialog->defaultSuffix(), "png");
        dialog->reject();
      }
  });
  EXPECT_FALSE(view.save());  // cancelled
  EXPECT_TRUE(sawNote);
  EXPECT_EQ(modality, Qt::WindowModal);
}

TEST(ImageView, ContextMenuOffersCopyCopyToolTipAndSave) {
  ImageView view;
  EXPECT_EQ(view.contextMenuPolicy(), Qt::ActionsContextMenu);
  QStringList texts;
  for (auto* a : view.actions()) texts << a->text();
  EXPECT_EQ(texts, QStringList({"Copy", "Copy Tool Tip", QString("Save as PNG") + QChar(0x2026)}));
  EXPECT_EQ(view.copyAction()->shortcut(), QKeySequence(QKeySequence::Copy));
}

}  // namespace
}  // namespace orb::rendering
