#include "app/windows/IlluminationWindows.h"

#include <QPointer>
#include <QStatusBar>
#include <QVBoxLayout>
#include <cstdio>
#include <cstdlib>
#include <functional>

#include "app/Messages.h"
#include "app/windows/AnalysisPanel.h"
#include "lens/Lens.h"
#include "lens/Surface.h"
#include "platform/Object.h"
#include "platform/RunLoop.h"
#include "rendering/MatrixView.h"
#include "rendering/ZoomPlotView.h"
#include "ui_IntensityFan.h"
#include "ui_IntensityScreen.h"
#include "wavefront_illumination/IntensityFanCalculator.h"
#include "wavefront_illumination/ScreenCalculator.h"

namespace orb::app {

namespace {

using analysispanel::Binder;
using analysispanel::PanelExtras;
using options::Choice;

InterfaceOutlets loadIntensityFan(OBWindow& window) {
  auto calculator = platform::makeObject<wavefront::IntensityFanCalculator>();
  PanelExtras extras;
  extras.raysLabel = "Rays per fan";
  extras.checks = {{"Sagittal fan (x)", "plotSagittal"},
                   {"Tangential fan (y)", "plotTangential"},
                   {"Sums of the fans", "plotSum"},
                   {"Times the field's weight", "includeFieldWeight"},
                   {"Times the cosine of the incidence", "includeSurfaceAngle"},
                   {"Local coordinates of the surface", "useLocalCoordinates"}};
  return analysispanel::load<Ui::IntensityFan>(window, "Intensity Fan", calculator, "Intensity Fan Options", extras);
}

// "All emitters" and each surface that emits, by its key path.
std::vector<Choice> emitterChoices(const std::weak_ptr<analysis::RaysCalculator>& weak) {
  std::vector<Choice> out{{"All emitters", ""}};
  auto c = weak.lock();
  auto lens = c ? c->lens() : nullptr;
  if (!lens) return out;
  for (const auto& s : lens->surfaceArray())
    if (s && s->emission())
      if (auto path = lens->keyPathForObject(*s)) out.push_back({"Surface " + s->nickname(), *path});
  return out;
}

QWidget* makeScreenPanel(const std::shared_ptr<wavefront::ScreenCalculator>& calculator) {
  auto* panel = new QWidget();
  panel->setObjectName(QStringLiteral("analysisOptions"));
  panel->setWindowTitle(QStringLiteral("Irradiance Screen Options"));
  Binder b(calculator, panel);
  std::weak_ptr<analysis::RaysCalculator> weak = calculator;
  auto* column = new QVBoxLayout(panel);
  QFormLayout* form = nullptr;

  column->addWidget(options::group("Rays", form));
  form->addRow(QStringLiteral("Emitter"), b.choice("emissionSurfaceKeyPath", [weak] { return emitterChoices(weak); },
                                                   {"lens"}));
  form->addRow(QStringLiteral("Screen surface"),
               b.choice("surfaceOfInterestKeyPath",
                        [weak] { return analysispanel::surfaceChoices(weak, "Image surface"); }, {"lens"}));
  form->addRow(QStringLiteral("Rays per emitter"), b.intSpin("emissionNumberOfRays", 1, 100000000));
  form->addRow(b.checkBox("Trace on every processor", "multithreaded"));
  form->addRow(b.checkBox("Paraxial rays", "paraxial"));
  form->addRow(b.checkBox("Local coordinates of the surface", "useLocalCoordinates"));

  column->addWidget(options::group("Screen", form));
  form->addRow(QStringLiteral("Bins along x"), b.intSpin("screenNumberOfPointsPerSideXGUI", 1, 4096));
  form->addRow(QStringLiteral("Bins along y"), b.intSpin("screenNumberOfPointsPerSideYGUI", 1, 4096));
  form->addRow(QStringLiteral("Bin pitch"), b.doubleSpin("screenDeltaGUI", 1e-9, 1e9, 6));
  form->addRow(QStringLiteral("Pitch units"), b.choice(
                                                  "screenDeltaUnitsGUI",
                                                  [b] {
                                                    std::vector<Choice> out;
                                                    for (const auto& u : analysispanel::stringList(b.get("possibleUnits")))
                                                      out.push_back({analysispanel::unitLabel(u), u});
                                                    return out;
                                                  },
                                                  {"screenDeltaUnits"}));
  form->addRow(b.checkBox("Blur", "blurEnabled"));
  form->addRow(QStringLiteral("Blur width (bins)"), b.doubleSpin("blur", 0, 1000, 3));
  form->addRow(b.checkBox("Only inside the circle", "useCircle"));
  form->addRow(QStringLiteral("Circle radius"), b.doubleSpin("circleRadius", 0, 1e9, 6));
  form->addRow(b.checkBox("Clear the bins outside it", "maskCircle"));

  column->addWidget(options::group("Plot", form));
  form->addRow(b.checkBox("Sections through the centre", "plotsCentreSections"));
  form->addRow(QStringLiteral("Slice runs"), b.indexChoice("binDimension", {"Along y", "Along x"}));
  form->addRow(b.checkBox("One slice (off: the sum)", "useSlice"));
  form->addRow(QStringLiteral("Slice"), b.intSpin("sliceIndex", -8192, 8192));
  form->addRow(b.checkBox("Diagonal", "useDiagonal"));
  form->addRow(b.checkBox("Skew diagonal", "useSkew"));
  form->addRow(b.checkBox("Against bin numbers", "histogramVersusIndex"));
  form->addRow(b.checkBox("Axes only grow", "scaleOnlyExpands"));
  column->addStretch();
  return panel;
}

InterfaceOutlets loadIntensityScreen(OBWindow& window) {
  auto calculator = platform::makeObject<wavefront::ScreenCalculator>();
  QWidget* panel = makeScreenPanel(calculator);
  return analysispanel::loadPlotForm<Ui::IntensityScreen>(window, "Irradiance Screen", std::move(calculator), panel);
}

// The screen calculator as the matrix view's delegate. It holds the calculator weakly:
// a closed window lets go of its calculator while the view may still be painted.
class ScreenMatrixDelegate final : public rendering::VKMatrixViewDelegate {
 public:
  ScreenMatrixDelegate(std::weak_ptr<wavefront::ScreenCalculator> calculator, std::function<void()> reported)
      : m_calculator(std::move(calculator)), m_reported(std::move(reported)) {}

  void setDrawsElementCursor(bool draws) override {
    if (auto c = m_calculator.lock()) c->setDrawsElementCursor(draws);
  }
  void setPointInUnitSquare(double u, double v) override {
    if (auto c = m_calculator.lock()) c->setPointInUnitSquare(u, v);
    if (m_reported) m_reported();
  }
  void kick() override {
    if (auto c = m_calculator.lock()) c->kick();
    if (m_reported) m_reported();
  }
  bool useCircle() const override { return ask(&wavefront::ScreenCalculator::useCircle, false); }
  QRectF circleRect() const override {
    auto c = m_calculator.lock();
    if (!c) return {};
    const auto r = c->circleRect();
    return QRectF(r[0], r[1], r[2], r[3]);
  }
  bool drawsSliceCursor() const override { return ask(&wavefront::ScreenCalculator::drawsSliceCursor, false); }
  bool useSlice() const override { return ask(&wavefront::ScreenCalculator::useSlice, false); }
  bool useDiagonal() const override { return ask(&wavefront::ScreenCalculator::useDiagonal, false); }
  bool useSkew() const override { return ask(&wavefront::ScreenCalculator::useSkew, false); }
  int binDimension() const override { return ask(&wavefront::ScreenCalculator::binDimension, 1); }
  std::int64_t sliceIndex() const override { return ask(&wavefront::ScreenCalculator::sliceIndex, std::int64_t{0}); }
  bool drawsElementCursor() const override { return ask(&wavefront::ScreenCalculator::drawsElementCursor, false); }
  std::pair<double, double> matrixIndexForMonitorPoint() const override {
    auto c = m_calculator.lock();
    if (!c) return {0, 0};
    const auto [i, j] = c->matrixIndexForMonitorPoint();
    return {i, j};
  }

 private:
  template <class R>
  R ask(R (wavefront::ScreenCalculator::*getter)() const, R none) const {
    auto c = m_calculator.lock();
    return c ? ((*c).*getter)() : none;
  }

  std::weak_ptr<wavefront::ScreenCalculator> m_calculator;
  std::function<void()> m_reported;
};

// What the matrix view draws besides the matrix: a change redraws it.
constexpr const char* kCursorKeys[] = {
    "useCircle", "circleRadius", "drawsSliceCursor", "useSlice", "useDiagonal", "useSkew", "binDimension",
    "sliceIndex", "drawsElementCursor", "monitorX", "monitorY", "screenDelta", "screenNumberOfPointsPerSideX",
    "screenNumberOfPointsPerSideY"};

}  // namespace

ScreenWindowController::~ScreenWindowController() { closeIfOpen(); }

rendering::VKMatrixView* ScreenWindowController::matrixView() const {
  auto* self = const_cast<ScreenWindowController*>(this);
  return isWindowLoaded() ? self->window()->findChild<rendering::VKMatrixView*>(QStringLiteral("matrixView")) : nullptr;
}

std::vector<std::string> ScreenWindowController::toolbarDefaultItemIdentifiers() const {
  return {"export", kFlexibleSpace, "dice", "options"};
}

void ScreenWindowController::windowDidLoad() {
  RandomizableLensPlotWindowController::windowDidLoad();
  auto screen = std::dynamic_pointer_cast<wavefront::ScreenCalculator>(calculator());
  QPointer<rendering::VKMatrixView> view = matrixView();
  if (!screen || !view) return;
  QPointer<ScreenWindowController> self = this;
  m_matrixDelegate = std::make_shared<ScreenMatrixDelegate>(screen, [self] {
    if (self) self->showMonitorString();
  });
  view->setDelegate(m_matrixDelegate);
  std::weak_ptr<wavefront::ScreenCalculator> weak = screen;
  // Announcements may come from the worker: the view is touched on its own thread.
  auto onViewThread = [view](std::function<void(rendering::VKMatrixView&)> f) {
    platform::performOnMainThread([view, f] {
      if (view) f(*view);
    });
  };
  auto pullMatrix = [weak](rendering::VKMatrixView& v) {
    if (auto c = weak.lock()) v.setMatrix(c->intensityField());
  };
  auto pullEnhance = [weak](rendering::VKMatrixView& v) {
    if (auto c = weak.lock()) v.setEnhance(c->useImageEnhancement());
  };
  auto redraw = [](rendering::VKMatrixView& v) { v.update(); };
  auto observe = [&](const char* key, std::function<void(rendering::VKMatrixView&)> f) {
    m_matrixObservations.push_back(
        screen->addObserver(key, [onViewThread, f](const platform::ObservedChange&) { onViewThread(f); }, 0));
  };
  observe("intensityField", pullMatrix);
  observe("useImageEnhancement", pullEnhance);
  for (const char* key : kCursorKeys) observe(key, redraw);
  pullMatrix(*view);
  pullEnhance(*view);
}

void ScreenWindowController::windowWillClose() {
  m_matrixObservations.clear();
  if (auto* view = matrixView()) view->setDelegate({});
  m_matrixDelegate.reset();
  RandomizableLensPlotWindowController::windowWillClose();
}

void ScreenWindowController::showMonitorString() {
  if (isClosing() || !isWindowLoaded()) return;
  auto screen = std::dynamic_pointer_cast<wavefront::ScreenCalculator>(calculator());
  const std::string text = screen ? screen->monitorString() : std::string();
  QStatusBar* bar = window()->statusBar();
  if (text.empty())
    bar->clearMessage();
  else
    bar->showMessage(QString::fromStdString(text));
}

void ScreenWindowController::exportAction() {
  if (isClosing()) return;
  QPointer<ScreenWindowController> self = this;
  m_csvPathChooser(window(), SavePanelOptions{"Export Screen", "csv", "Export in CSV format"},
                   [self](const std::string& path) {
                     if (self && !self->isClosing()) self->exportCSVToPath(path);
                   });
}

bool ScreenWindowController::exportCSVToPath(const std::string& path) {
  QWidget* parent = isWindowLoaded() ? window() : nullptr;
  auto screen = std::dynamic_pointer_cast<wavefront::ScreenCalculator>(calculator());
  char* buffer = nullptr;
  std::size_t size = 0;
  std::FILE* memory = open_memstream(&buffer, &size);
  const bool written = screen && memory && screen->exportToCSV(memory);
  if (memory) std::fclose(memory);
  const std::string text = buffer ? std::string(buffer, size) : std::string();
  std::free(buffer);
  if (!written) {
    showMessage(parent, "This analysis has no data to export.");
    return false;
  }
  std::string error;
  if (!writeTextFile(path, text, &error)) {
    showMessage(parent, "The file \"" + path + "\" could not be written.", error);
    return false;
  }
  return true;
}

SmartWindowController* makeScreenWindowController(const std::string& nibName,
                                                  const std::shared_ptr<SmartDocument>& document) {
  return new ScreenWindowController(nibName, document);
}

void registerIlluminationWindows() {
  interfacefile::registerLoader("IntensityFan", loadIntensityFan);
  interfacefile::registerLoader("IntensityScreen", loadIntensityScreen);
}

}  // namespace orb::app
