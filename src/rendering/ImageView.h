#pragma once

#include <QImage>
#include <QRect>
#include <QSizeF>
#include <QString>
#include <QWidget>

#include <functional>

class QAction;

namespace orb::rendering {

/// Shows one image in a frame, scaled and aligned as asked, and lets the user copy it, copy
/// the view's tool tip, or save the image as PNG (context menu; Ctrl+C copies).
class ImageView : public QWidget {
 public:
  enum class FrameStyle { None = 0, Photo = 1, GrayBezel = 2, Groove = 3, Button = 4 };
  enum class ImageScaling { ProportionallyDown = 0, AxesIndependently = 1, None = 2, ProportionallyUpOrDown = 3 };
  enum class ImageAlignment {
    Center = 0,
    Top = 1,
    TopLeft = 2,
    TopRight = 3,
    Left = 4,
    Bottom = 5,
    BottomLeft = 6,
    BottomRight = 7,
    Right = 8
  };

  /// Asks where to save; an empty path cancels. Gets the view asking.
  using SavePathChooser = std::function<QString(ImageView&)>;
  /// The accessory text of the save dialog.
  static constexpr const char* kSaveAccessoryText = "Image will be saved in PNG format";

  explicit ImageView(QWidget* parent = nullptr);

  const QImage& image() const { return m_image; }
  void setImage(const QImage& image);
  FrameStyle frameStyle() const { return m_frameStyle; }
  void setFrameStyle(FrameStyle style);
  ImageScaling imageScaling() const { return m_imageScaling; }
  void setImageScaling(ImageScaling scaling);
  ImageAlignment imageAlignment() const { return m_imageAlignment; }
  void setImageAlignment(ImageAlignment alignment);

  /// Where the image is drawn, in view coordinates: inside the frame, sized by the scaling,
  /// placed by the alignment; origin rounded to whole pixels, size rounded up.
  QRect imageFrame() const;
  /// `source` scaled, keeping its aspect, to the largest size that fits in `target`. A
  /// source without area gives an empty size.
  static QSizeF sizeByScalingProportionallyToSize(QSizeF target, QSizeF source);

  /// Puts the image on the clipboard, as an image and as TIFF (PNG where Qt cannot write
  /// TIFF). Nothing happens without an image.
  void copyGraphics();
  void copy() { copyGraphics(); }
  /// Puts the view's tool tip on the clipboard as plain text.
  void copyToolTip();
  /// Asks for a path (window-modal PNG save dialog) and writes the image there as PNG; the
  /// old file stays whole if writing fails. False when cancelled or failed.
  bool save();
  /// Replaces the save dialog (tests, scripting); an empty chooser restores the dialog.
  void setSavePathChooser(SavePathChooser chooser);

  QAction* copyAction() const { return m_copyAction; }
  QAction* copyToolTipAction() const { return m_copyToolTipAction; }
  QAction* saveAction() const { return m_saveAction; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  static QString runSaveDialog(ImageView& view);
  /// The view's bounds less what the frame style draws on.
  QRectF frameInterior() const;

  QImage m_image;
  FrameStyle m_frameStyle = FrameStyle::None;
  ImageScaling m_imageScaling = ImageScaling::ProportionallyDown;
  ImageAlignment m_imageAlignment = ImageAlignment::Center;
  SavePathChooser m_chooseSavePath;
  QAction* m_copyAction = nullptr;
  QAction* m_copyToolTipAction = nullptr;
  QAction* m_saveAction = nullptr;
};

}  // namespace orb::rendering
