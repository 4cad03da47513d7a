#include "app/windows/DOTFImagesView.h"

#include "app/windows/DiffractionWindows.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMetaObject>
#include <QVBoxLayout>
#include <algorithm>

#include "rendering/ImageCreator.h"
#include "rendering/ImageViewWithMouse.h"
#include "wavefront_illumination/DOTFCalculator.h"
#include "wavefront_illumination/DOTFImages.h"

namespace orb::app {

namespace {

// Small grids are enlarged to about this many pixels a side, cell by cell: the view's own
// smooth scaling would blur the cells and the pupil's edge.
constexpr int kEnlargedSide = 256;

QImage enlarged(const QImage& image) {
  const int side = std::max(image.width(), image.height());
  const int factor = side > 0 ? kEnlargedSide / side : 1;
  if (factor <= 1) return image;
  return image.scaled(image.width() * factor, image.height() * factor, Qt::IgnoreAspectRatio, Qt::FastTransformation);
}

}  // namespace

DOTFImagesView::DOTFImagesView(QWidget* parent) : QWidget(parent) {
  const ImageWithKey parts = layOutImageWithKey(*this, QStringLiteral("pupil"));
  m_imageView = parts.image;
  m_keyView = parts.key;
  m_minimumLabel = parts.minimum;
  m_maximumLabel = parts.maximum;
}

DOTFImagesView::~DOTFImagesView() = default;

void DOTFImagesView::setCalculator(const std::shared_ptr<wavefront::DOTFCalculator>& calculator) {
  m_observation.remove();
  m_calculator = calculator;
  if (calculator)
    // Announced on the main thread.
    m_observation = calculator->addObserver(
        "pupilImages", [this](const platform::ObservedChange&) { refreshSoon(); }, platform::ObservingOptions::None);
  refresh();
}

void DOTFImagesView::setShown(Shown shown) {
  m_shown = shown;
  refresh();
}

QImage DOTFImagesView::drawImage(const wavefront::DOTFPupilImages& images, Shown shown,
                                 rendering::VKImageCreator& creator) {
  switch (shown) {
    case Shown::Wavefront: {
      const rendering::ImageMask mask = images.liveCells();
      return creator.imageFromMatrix(images.wavefrontInWaves(), &mask, images.grid.fftOrder);
    }
    case Shown::PreFFT:
      return creator.imageFromComplexMatrix(images.preFFT(), true);
    case Shown::PostFFT:
      return images.otf ? creator.imageFromComplexMatrix(*images.otf, true) : QImage();
    case Shown::Nothing:
      break;
  }
  return {};
}

void DOTFImagesView::refreshSoon() {
  if (m_refreshPending) return;
  m_refreshPending = true;
  QMetaObject::invokeMethod(
      this,
      [this] {
        m_refreshPending = false;
        refresh();
      },
      Qt::QueuedConnection);
}

void DOTFImagesView::refresh() {
  // Nothing is drawn while the curves are on show.
  if (m_shown == Shown::Nothing) return;
  const auto calculator = m_calculator.lock();
  const auto images = calculator ? calculator->pupilImages() : nullptr;
  rendering::VKImageCreator creator;
  m_image = images ? drawImage(*images, m_shown, creator) : QImage();
  m_imageView->setImage(enlarged(m_image));
  if (m_image.isNull()) {
    m_keyView->setImage(QImage());
    m_minimumLabel->clear();
    m_maximumLabel->clear();
    return;
  }
  if (m_shown == Shown::Wavefront) {
    m_imageView->setToolTip(QStringLiteral("Wavefront over the pupil: x to the right, y upward; black cells pass no light"));
    // The labels are the wavefront's range: read before the key replaces it.
    m_minimumLabel->setText(QString::number(creator.uMin(), 'g', 4) + QStringLiteral(" waves"));
    m_maximumLabel->setText(QString::number(creator.uMax(), 'g', 4) + QStringLiteral(" waves"));
    m_keyView->setImage(creator.hueReferenceImageNegative(false));
    m_keyView->setMinimumSize(0, 14);
    m_keyView->setMaximumSize(QWIDGETSIZE_MAX, 14);
    m_keyView->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_keyView->setToolTip(QString());
  } else {
    m_imageView->setToolTip(m_shown == Shown::PreFFT
                                ? QStringLiteral("Complex pupil before the FFT, its centre in the middle")
                                : QStringLiteral("OTF after the FFT, zero frequency in the middle"));
    m_minimumLabel->setText(QStringLiteral("−1"));
    m_maximumLabel->setText(QStringLiteral("1"));
    m_keyView->setImage(creator.complexReferenceImage());
    m_keyView->setFixedSize(64, 64);
    m_keyView->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    m_keyView->setToolTip(
        QStringLiteral("Real part −1 to 1 left to right, imaginary part upward: hue is the phase, saturation the modulus"));
  }
}

}  // namespace orb::app
