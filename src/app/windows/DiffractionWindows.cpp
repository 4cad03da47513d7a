#include "app/windows/DiffractionWindows.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "app/windows/DOTFImagesView.h"
#include "platform/Object.h"
#include "rendering/ImageCreator.h"
#include "rendering/ImageViewWithMouse.h"
#include "rendering/ZoomPlotView.h"
#include "ui_DOTF.h"
#include "ui_DPSF.h"
#include "wavefront_illumination/DOTFCalculator.h"

namespace orb::app {

namespace {

using analysispanel::Binder;
using analysispanel::PanelExtras;

// The grid and the pipeline, shared by both windows.
void gridRows(const Binder& b, QFormLayout* form) {
  form->addRow(QStringLiteral("Rays per side (2^k)"), b.intSpin("numberOfRaysPerSideBits", 1, 10));
  form->addRow(QStringLiteral("Interpolation order"), b.intSpin("interpolationOrder", 0, 4));
}

std::vector<std::pair<const char*, const char*>> commonChecks() {
  return {{"Diffraction limit", "plotDiffractionLimit"},
          {"Perfect wavefront", "usePerfectOPD"},
          {"Frequencies on the image plane", "correctForAngleOfIncidence"},
          {"Afocal (directions)", "afocal"}};
}

// The transfer function's form with its "Show:" choice wired: the curves' page, or the
// image page showing the chosen pupil image at once.
struct DOTFForm : Ui::DOTF {
  void setupUi(QWidget* form) {
    Ui::DOTF::setupUi(form);
    QStackedWidget* stack = showStack;
    QWidget* curves = curvesPage;
    DOTFImagesView* images = imagesView;
    QObject::connect(showBox, &QComboBox::currentIndexChanged, stack, [stack, curves, images](int index) {
      const auto shown = static_cast<DOTFImagesView::Shown>(std::clamp(index, 0, 3));
      images->setShown(shown);
      stack->setCurrentWidget(shown == DOTFImagesView::Shown::Nothing ? curves : static_cast<QWidget*>(images));
    });
  }
};

InterfaceOutlets loadDOTF(OBWindow& window) {
  auto calculator = platform::makeObject<wavefront::DOTFCalculator>();
  PanelExtras extras;
  extras.raysLabel = "Rays (square grid)";
  QPointer<OBWindow> shown(&window);
  extras.rows = [shown](const Binder& b, QFormLayout* form) {
    gridRows(b, form);
    form->addRow(QStringLiteral("From frequency"), b.doubleSpin("minimumSpatialFrequency", 0, 1e6, 4));
    form->addRow(QStringLiteral("To frequency"), b.doubleSpin("maximumSpatialFrequency", 0, 1e6, 4));
    form->addRow(QStringLiteral("Displacement ±"), b.doubleSpin("maximumDisplacement", 0, 1e6, 4));
    if (shown) analysispanel::titleFollowsFlag(b, *shown, "plotOTF", "Diffraction MTF", "Diffraction Line Spread");
  };
  extras.checks = commonChecks();
  extras.checks.insert(extras.checks.begin(), {"Transfer function (off: line spread)", "plotOTF"});
  extras.checks.push_back({"Up to the diffraction cut-off", "plotSpatialFrequencyPhysicalRange"});
  extras.checks.push_back({"Brute-force check", "showBruteForce"});
  extras.checks.push_back({"Real and imaginary parts", "plotComplex"});
  extras.checks.push_back({"Resample curves", "resampleCurves"});
  extras.checks.push_back({"Displacement range of the data", "plotDisplacementDataRange"});
  InterfaceOutlets outlets =
      analysispanel::load<DOTFForm>(window, "Diffraction MTF", calculator, "Diffraction MTF Options", extras);
  if (auto* images = window.findChild<DOTFImagesView*>()) images->setCalculator(calculator);
  return outlets;
}

InterfaceOutlets loadDPSF(OBWindow& window) {
  auto calculator = platform::makeObject<wavefront::DPSFCalculator>();
  PanelExtras extras;
  extras.raysLabel = "Rays (square grid)";
  extras.rows = gridRows;
  extras.checks = commonChecks();
  psfwindow::addImageOptions(extras);
  return psfwindow::load<Ui::DPSF>(window, "FFT Point Spread", calculator, "FFT Point Spread Options", extras);
}

/// A bound of the key, with the FFT's round-off about zero (1e-14 of a peak) shown as 0.
QString boundText(double value, double scale) {
  return QString::number(std::abs(value) < 1e-9 * scale ? 0.0 : value, 'g', 6);
}

}  // namespace

// --- the point-spread image view ---------------------------------------------------------------------

ImageWithKey layOutImageWithKey(QWidget& owner, const QString& prefix) {
  ImageWithKey parts;
  parts.image = new rendering::OBImageView(&owner);
  parts.image->setObjectName(prefix + QStringLiteral("Image"));
  parts.image->setImageScaling(rendering::ImageView::ImageScaling::ProportionallyUpOrDown);
  parts.image->setImageAlignment(rendering::ImageView::ImageAlignment::Center);
  parts.key = new rendering::ImageView(&owner);
  parts.key->setObjectName(prefix + QStringLiteral("Key"));
  parts.key->setImageScaling(rendering::ImageView::ImageScaling::AxesIndependently);
  parts.minimum = new QLabel(&owner);
  parts.maximum = new QLabel(&owner);
  parts.minimum->setObjectName(prefix + QStringLiteral("Minimum"));
  parts.maximum->setObjectName(prefix + QStringLiteral("Maximum"));
  auto* key = new QHBoxLayout;
  key->addWidget(parts.minimum);
  key->addWidget(parts.key, 1);
  key->addWidget(parts.maximum);
  auto* layout = new QVBoxLayout(&owner);
  layout->setContentsMargins(8, 8, 8, 8);
  layout->addWidget(parts.image, 1);
  layout->addLayout(key);
  return parts;
}

PSFImageView::PSFImageView(QWidget* parent) : QWidget(parent) {
  const ImageWithKey parts = layOutImageWithKey(*this, QStringLiteral("psf"));
  m_imageView = parts.image;
  m_keyView = parts.key;
  m_minimumLabel = parts.minimum;
  m_maximumLabel = parts.maximum;
  m_imageView->setToolTip(QStringLiteral("Point spread: zero displacement in the middle, x to the right, y upward"));
  m_keyView->setFixedHeight(14);
}

PSFImageView::~PSFImageView() = default;

void PSFImageView::setCalculator(const std::shared_ptr<wavefront::PSFCalculator>& calculator) {
  m_imageObservation.remove();
  m_calculator = calculator;
  if (!calculator) return;
  // Published on the main thread, so the image can be read and drawn at once.
  m_imageObservation = calculator->addObserver(
      "imageOfPSF",
      [this](const platform::ObservedChange&) {
        if (auto c = m_calculator.lock(); c && c->imageOfPSF()) showImage(*c->imageOfPSF());
      },
      platform::ObservingOptions::None);
  if (calculator->imageOfPSF()) showImage(*calculator->imageOfPSF());
}

QImage PSFImageView::drawImage(const wavefront::PSFImage& psf, rendering::VKImageCreator& creator) {
  // The values are centred already, so no FFT reordering here.
  QImage image = psf.falseColor ? creator.imageFromMatrix(psf.values, nullptr, false, psf.negative)
                                : creator.grayImageFromMatrix(psf.values, nullptr, false, psf.negative);
  if (image.isNull()) return image;
  if (psf.width > 0 && psf.height > 0 && image.size() != QSize(psf.width, psf.height))
    image = image.scaled(psf.width, psf.height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  if (!psf.airyDiskRadius && psf.rayPositions.empty()) return image;

  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  // Image-plane millimetres with y upward about zero displacement.
  const double s = psf.pixelsPerMillimetre;
  painter.translate(psf.origin, image.height() - psf.origin);
  painter.scale(s, -s);
  if (psf.airyDiskRadius) {
    QPen pen(Qt::red);
    pen.setWidth(0);  // cosmetic: the thinnest line at any scale
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    const double r = *psf.airyDiskRadius;
    painter.drawEllipse(QRectF(-r, -r, 2 * r, 2 * r));
  }
  painter.setPen(Qt::NoPen);
  painter.setBrush(Qt::red);
  for (const auto& ray : psf.rayPositions)
    painter.drawEllipse(QRectF(ray.x - 0.00005, ray.y - 0.00005, 0.0001, 0.0001));
  return image;
}

void PSFImageView::showImage(const wavefront::PSFImage& psf) {
  rendering::VKImageCreator creator;
  m_imageView->setImage(drawImage(psf, creator));
  // The key labels are the data image's range: read before the key replaces it.
  const double scale = std::max(std::abs(creator.uMin()), std::abs(creator.uMax()));
  m_minimumLabel->setText(boundText(creator.uMin(), scale));
  m_maximumLabel->setText(boundText(creator.uMax(), scale));
  m_keyView->setImage(psf.falseColor ? creator.hueReferenceImageNegative(psf.negative)
                                     : creator.grayReferenceImageNegative(psf.negative));
}

namespace psfwindow {

void addImageOptions(PanelExtras& extras) {
  auto rows = std::move(extras.rows);
  extras.rows = [rows](const Binder& b, QFormLayout* form) {
    if (rows) rows(b, form);
    form->addRow(QStringLiteral("Resampled width"), b.intSpin("resampleImageWidth", 8, 4096));
  };
  extras.checks.push_back({"Enhance (square root)", "useImageEnhancement"});
  extras.checks.push_back({"False colour", "useFalseColor"});
  extras.checks.push_back({"Negative", "useNegativeImage"});
  extras.checks.push_back({"Airy disk", "drawsAiryDisk"});
  extras.checks.push_back({"Rays", "drawRays"});
  extras.checks.push_back({"Resample image", "resampleImage"});
}

InterfaceOutlets finish(OBWindow& window, QWidget* central, PSFImageView* view, const char* title,
                        const std::shared_ptr<wavefront::PSFCalculator>& calculator, const char* panelTitle,
                        const PanelExtras& extras) {
  QWidget* panel = analysispanel::makeOptionsPanel(calculator, panelTitle, extras);
  window.setCentralWidget(central);
  window.setWindowTitle(QString::fromUtf8(title));
  window.resize(central->size());
  view->setCalculator(calculator);
  InterfaceOutlets outlets;
  outlets.view = view;
  outlets.optionsPanel = panel;
  outlets.calculator = calculator;
  return outlets;
}

}  // namespace psfwindow

// --- the window -------------------------------------------------------------------------------------

QRect DPSFWindowController::windowWillUseStandardFrame(const QRect& frame) const {
  QRect out = frame;
  const int limit = frame.height() - 60;
  if (frame.width() > limit) out.setWidth(limit);
  return out;
}

SmartWindowController* makeDPSFWindowController(const std::string& nibName,
                                                const std::shared_ptr<SmartDocument>& document) {
  return new DPSFWindowController(nibName, document);
}

void registerDiffractionWindows() {
  interfacefile::registerLoader("DOTF", loadDOTF);
  interfacefile::registerLoader("DPSF", loadDPSF);
}

}  // namespace orb::app
