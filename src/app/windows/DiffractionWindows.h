#pragma once

#include <QImage>
#include <QRect>
#include <QWidget>
#include <memory>
#include <string>

#include "app/windows/AnalysisPanel.h"
#include "app/windows/LensCalculatorWindowController.h"
#include "platform/Observation.h"

class QLabel;

namespace orb::rendering {
class ImageView;
class OBImageView;
class VKImageCreator;
}  // namespace orb::rendering

namespace orb::wavefront {
struct PSFImage;
class PSFCalculator;
}  // namespace orb::wavefront

namespace orb::app {

class SmartDocument;

/// Registers the interface files of the FFT diffraction analyses: "DOTF" (the diffraction
/// MTF, or with the calculator's "plotOTF" off the line-spread function, in a plot view)
/// and "DPSF" (the FFT point-spread function as an image with its colour key), each with
/// an options panel bound to its calculator's settings.
void registerDiffractionWindows();

/// The main view of the point-spread windows: the calculator's point-spread image (false
/// colour or grey, with the Airy circle and the ray marks drawn over it when asked for),
/// scaled to fit and centred, above its colour key labelled with the image's value range.
/// It follows the calculator's "imageOfPSF".
class PSFImageView : public QWidget {
 public:
  explicit PSFImageView(QWidget* parent = nullptr);
  ~PSFImageView() override;

  /// Shows the calculator's image now and each one it publishes later.
  void setCalculator(const std::shared_ptr<wavefront::PSFCalculator>& calculator);
  void showImage(const wavefront::PSFImage& image);

  /// The image as shown: the field coloured by `creator` (whose range is then the field's),
  /// resampled to the image's size and with its overlay. Row index to the right, column
  /// index upward, zero displacement at the image's origin.
  static QImage drawImage(const wavefront::PSFImage& image, rendering::VKImageCreator& creator);

  rendering::OBImageView* imageView() const { return m_imageView; }
  rendering::ImageView* keyView() const { return m_keyView; }
  QLabel* minimumLabel() const { return m_minimumLabel; }
  QLabel* maximumLabel() const { return m_maximumLabel; }

 private:
  rendering::OBImageView* m_imageView = nullptr;
  rendering::ImageView* m_keyView = nullptr;
  QLabel* m_minimumLabel = nullptr;
  QLabel* m_maximumLabel = nullptr;
  std::weak_ptr<wavefront::PSFCalculator> m_calculator;
  platform::Observation m_imageObservation;
};

/// An image above its colour key, the key between its minimum and maximum labels: the
/// layout of the point-spread and pupil image views. Names its parts "<prefix>Image",
/// "<prefix>Key", "<prefix>Minimum" and "<prefix>Maximum".
struct ImageWithKey {
  rendering::OBImageView* image = nullptr;
  rendering::ImageView* key = nullptr;
  QLabel* minimum = nullptr;
  QLabel* maximum = nullptr;
};
ImageWithKey layOutImageWithKey(QWidget& owner, const QString& prefix);

namespace psfwindow {
/// The image options of the point-spread windows' panels: enhancement, false colour,
/// negative, Airy disk, rays and the resampled width.
void addImageOptions(analysispanel::PanelExtras& extras);
/// Finishes a point-spread window whose Designer form is set up in `central`: the title,
/// the options panel and the image view following the calculator.
InterfaceOutlets finish(OBWindow& window, QWidget* central, PSFImageView* view, const char* title,
                        const std::shared_ptr<wavefront::PSFCalculator>& calculator, const char* panelTitle,
                        const analysispanel::PanelExtras& extras);
/// A point-spread window from the Designer form `Form`, whose view is "imageView".
template <class Form>
InterfaceOutlets load(OBWindow& window, const char* title, const std::shared_ptr<wavefront::PSFCalculator>& calculator,
                      const char* panelTitle, const analysispanel::PanelExtras& extras) {
  auto* central = new QWidget(&window);
  Form form;
  form.setupUi(central);
  return finish(window, central, form.imageView, title, calculator, panelTitle, extras);
}
}  // namespace psfwindow

/// The FFT point-spread window: an analysis window of the lens that zooms to a nearly
/// square frame.
class DPSFWindowController : public LensCalculatorWindowController {
  Q_OBJECT
 public:
  using LensCalculatorWindowController::LensCalculatorWindowController;
  /// The proposed zoomed frame, its width cut to its height minus 60 when wider.
  QRect windowWillUseStandardFrame(const QRect& defaultFrame) const override;
  /// Toolbar "Export": the field as text, as "Save Data…" writes it (there are no curves).
  void exportAction() override { saveData(); }
};

/// The factory of "DPSFWindowController".
SmartWindowController* makeDPSFWindowController(const std::string& nibName,
                                                const std::shared_ptr<SmartDocument>& document);

}  // namespace orb::app
