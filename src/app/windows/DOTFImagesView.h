#pragma once

#include <QImage>
#include <QWidget>
#include <memory>

#include "platform/Observation.h"

class QLabel;

namespace orb::rendering {
class ImageView;
class OBImageView;
class VKImageCreator;
}  // namespace orb::rendering

namespace orb::wavefront {
class DOTFCalculator;
struct DOTFPupilImages;
}  // namespace orb::wavefront

namespace orb::app {

/// The pupil images of the diffraction OTF window: the wavefront over the ray grid in
/// false colour (dead cells masked, keyed in waves), the complex pupil before the FFT and
/// the OTF after it (phase as hue, modulus as saturation, with the complex key). It shows
/// one of them, or nothing while the window shows its curves, and follows the calculator's
/// "pupilImages".
class DOTFImagesView : public QWidget {
  Q_OBJECT

 public:
  /// In the order of the window's "Show:" choices, the curves first.
  enum class Shown { Nothing, Wavefront, PreFFT, PostFFT };

  explicit DOTFImagesView(QWidget* parent = nullptr);
  ~DOTFImagesView() override;

  void setCalculator(const std::shared_ptr<wavefront::DOTFCalculator>& calculator);
  Shown shown() const { return m_shown; }
  /// Draws the chosen image from the calculator's latest data at once.
  void setShown(Shown shown);

  /// The chosen image of `images`, one pixel per matrix element (row index to the right,
  /// column index upward; the FFT images with zero frequency in the middle). The creator's
  /// range is then the wavefront's, in waves.
  static QImage drawImage(const wavefront::DOTFPupilImages& images, Shown shown, rendering::VKImageCreator& creator);

  /// The image drawn last, before the view enlarges it; null without data.
  const QImage& image() const { return m_image; }
  rendering::OBImageView* imageView() const { return m_imageView; }
  rendering::ImageView* keyView() const { return m_keyView; }
  QLabel* minimumLabel() const { return m_minimumLabel; }
  QLabel* maximumLabel() const { return m_maximumLabel; }

 private:
  void refresh();
  /// The calculator announces once per field: one redraw for the lot.
  void refreshSoon();

  rendering::OBImageView* m_imageView = nullptr;
  rendering::ImageView* m_keyView = nullptr;
  QLabel* m_minimumLabel = nullptr;
  QLabel* m_maximumLabel = nullptr;
  QImage m_image;
  Shown m_shown = Shown::Nothing;
  bool m_refreshPending = false;
  std::weak_ptr<wavefront::DOTFCalculator> m_calculator;
  platform::Observation m_observation;
};

}  // namespace orb::app
