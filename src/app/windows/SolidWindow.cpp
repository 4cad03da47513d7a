#include "app/windows/SolidWindow.h"

#include <QAction>
#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QSpinBox>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>
#include <cstring>

#include "analysis/LayoutCalculator.h"
#include "app/Messages.h"
#include "app/windows/AnalysisOptions.h"
#include "app/windows/InterfaceFile.h"
#include "app/windows/LayoutOpenGLModel.h"
#include "app/windows/OBWindow.h"
#include "platform/NotificationCenter.h"
#include "rendering/OBOpenGL.h"

namespace orb::app {

namespace {

using analysis::LayoutCalculator;
using Binder = options::Binder<LayoutCalculator>;
using options::Choice;

constexpr const char* kExtentsDataKey = "extentsData";
constexpr const char* kWorldCenterDataKey = "worldCenterData";
constexpr const char* kWorldRotationDataKey = "worldRotationData";
constexpr const char* kZoomDataKey = "zoomData";

template <std::size_t N>
platform::Data dataOf(const std::array<unsigned char, N>& bytes) {
  return platform::Data(bytes.begin(), bytes.end());
}

const platform::Data* dataFor(const platform::Dictionary& state, const char* key) {
  const platform::Value* v = state.find(platform::Value(key));
  return v && v->kind() == platform::Value::Kind::Data ? &v->asData() : nullptr;
}

// The view's drawing settings and the calculator's colours and rays.
QWidget* makeOptionsPanel(const std::shared_ptr<LayoutCalculator>& calculator, rendering::OBOpenGL* view) {
  auto* panel = new QWidget();
  panel->setObjectName(QStringLiteral("solidViewOptions"));
  panel->setWindowTitle(QStringLiteral("3-D View Options"));
  auto* column = new QVBoxLayout(panel);
  QFormLayout* form = nullptr;

  column->addWidget(options::group("Drawing", form));
  auto* segments = new QSpinBox;
  segments->setObjectName(QStringLiteral("numberOfSegmentsPerRevolution"));
  segments->setRange(3, 360);
  segments->setValue(view->numberOfSegmentsPerRevolution());
  QObject::connect(segments, &QSpinBox::valueChanged, view, [view](int n) { view->setNumberOfSegmentsPerRevolution(n); });
  form->addRow(QStringLiteral("Segments per turn"), segments);
  auto angle = [view](const char* name, double value, void (rendering::OBOpenGL::*set)(double)) {
    auto* spin = new QDoubleSpinBox;
    spin->setObjectName(QString::fromUtf8(name));
    spin->setRange(-360, 720);
    spin->setDecimals(1);
    spin->setValue(value);
    QObject::connect(spin, &QDoubleSpinBox::valueChanged, view, [view, set](double v) { (view->*set)(v); });
    return spin;
  };
  form->addRow(QStringLiteral("Sweep from (°)"), angle("phiMin", view->phiMin(), &rendering::OBOpenGL::setPhiMin));
  form->addRow(QStringLiteral("Sweep to (°)"), angle("phiMax", view->phiMax(), &rendering::OBOpenGL::setPhiMax));
  auto* axes = new QCheckBox(QStringLiteral("Surface axes"));
  axes->setObjectName(QStringLiteral("drawsSurfaceAxes"));
  axes->setChecked(view->drawsSurfaceAxes());
  QObject::connect(axes, &QCheckBox::toggled, view, [view](bool on) { view->setDrawsSurfaceAxes(on); });
  form->addRow(axes);
  auto* axesLength = new QDoubleSpinBox;
  axesLength->setObjectName(QStringLiteral("surfaceAxesLength"));
  axesLength->setRange(0, 1e6);
  axesLength->setValue(view->surfaceAxesLength());
  QObject::connect(axesLength, &QDoubleSpinBox::valueChanged, view, [view](double v) { view->setSurfaceAxesLength(v); });
  form->addRow(QStringLiteral("Axes length"), axesLength);
  auto* box = new QCheckBox(QStringLiteral("Bounding box"));
  box->setObjectName(QStringLiteral("drawsBoundingBox"));
  box->setChecked(view->drawsBoundingBox());
  QObject::connect(box, &QCheckBox::toggled, view, [view](bool on) { view->setDrawsBoundingBox(on); });
  form->addRow(box);

  addLayoutCalculatorOptions(column, calculator, panel);
  column->addStretch();
  return panel;
}

}  // namespace

void addLayoutCalculatorOptions(QVBoxLayout* column, const std::shared_ptr<LayoutCalculator>& calculator,
                                QWidget* panel) {
  Binder b(calculator, panel);
  QFormLayout* form = nullptr;
  column->addWidget(options::group("Lens", form));
  form->addRow(QStringLiteral("Surface colour"), b.choice("surfaceColorOption", [] {
    std::vector<Choice> out;
    for (const auto& o : LayoutCalculator::possibleSurfaceColorOptions()) out.push_back({o, o});
    return out;
  }));
  column->addWidget(options::group("Rays", form));
  form->addRow(QStringLiteral("Fan"), b.choice("fanType", [weak = std::weak_ptr(calculator)] {
    std::vector<Choice> out;
    if (auto c = weak.lock())
      for (const auto& t : c->possibleFanTypes()) out.push_back({t, t});
    return out;
  }));
  form->addRow(QStringLiteral("Rays"), b.intSpin("numberOfRays", 1, 1000));
  form->addRow(b.checkBox("Axial ray", "showsAxialRay"));
  form->addRow(b.checkBox("Hide vignetted rays", "suppressVignetted"));
}

namespace {

InterfaceOutlets loadSolidView(OBWindow& window) {
  auto* view = new rendering::OBOpenGL(&window);
  view->setObjectName(QStringLiteral("solidView"));
  window.setCentralWidget(view);
  window.setWindowTitle(QStringLiteral("3-D View"));
  window.resize(640, 480);
  auto calculator = platform::makeObject<LayoutCalculator>();
  InterfaceOutlets outlets;
  outlets.view = view;
  outlets.optionsPanel = makeOptionsPanel(calculator, view);
  std::weak_ptr<LayoutCalculator> weak = calculator;
  outlets.randomize = [weak] {
    if (auto c = weak.lock()) c->randomize();
  };
  outlets.calculator = std::move(calculator);
  return outlets;
}

}  // namespace

SolidWindowController::SolidWindowController(std::string nibName, const std::shared_ptr<SmartDocument>& document)
    : LensCalculatorWindowController(std::move(nibName), document) {}

SolidWindowController::~SolidWindowController() { closeIfOpen(); }

rendering::OBOpenGL* SolidWindowController::solidView() const { return dynamic_cast<rendering::OBOpenGL*>(view()); }

void SolidWindowController::awakeFromNib() {
  LensCalculatorWindowController::awakeFromNib();
  if (m_awakeAlready) return;
  m_awakeAlready = true;
  auto* view = solidView();
  auto calculator = std::dynamic_pointer_cast<LayoutCalculator>(this->calculator());
  if (view && calculator) {
    m_model = platform::makeObject<LayoutOpenGLModel>(calculator);
    view->setModel(m_model);
    // A fit asked for before the lens has anything to frame waits for the first drawing.
    m_modelObservation = platform::NotificationCenter::defaultCenter().addObserver(
        "modelChangedNotification", {}, [this](const platform::Notification&) {
          if (m_zoomToFitPending) QTimer::singleShot(0, this, [this] { zoomToFitIfReady(); });
        });
  }
  if (m_willZoomToFitWhenAwake) haveViewZoomToFitWhenIdle();
  m_toolbarUpdateTimer = new QTimer(this);
  m_toolbarUpdateTimer->setInterval(1000);
  connect(m_toolbarUpdateTimer, &QTimer::timeout, this, [this] { validateToolbar(); });
  m_toolbarUpdateTimer->start();
  validateToolbar();
}

void SolidWindowController::haveViewZoomToFitWhenIdle() {
  m_zoomToFitPending = true;
  QTimer::singleShot(0, this, [this] { zoomToFitIfReady(); });
}

void SolidWindowController::zoomToFitIfReady() {
  auto* view = solidView();
  if (!m_zoomToFitPending || !view || isClosing()) return;
  view->updateExtents();
  if (!m_model || !m_model->extents()) return;
  view->immediateZoomToFit();
  m_zoomToFitPending = false;
}

std::vector<std::string> SolidWindowController::toolbarAllowedItemIdentifiers() const {
  return {kFlexibleSpace, "back", "forward", "zoomToFit", "tumble", "SDE", "sources", "export", "dice", "options"};
}

std::vector<std::string> SolidWindowController::toolbarDefaultItemIdentifiers() const {
  return {"back", "forward", "zoomToFit", kFlexibleSpace, "sources", "SDE", kFlexibleSpace, "export", "dice", "options"};
}

void SolidWindowController::connectToolbarItem(const std::string& identifier, QAction* item) {
  if (identifier == "zoomToFit") {
    connect(item, &QAction::triggered, this, [this] {
      if (auto* v = solidView()) v->zoomToFit();
    });
  } else if (identifier == "back") {
    connect(item, &QAction::triggered, this, [this] {
      if (auto* v = solidView()) v->backAction();
    });
  } else if (identifier == "forward") {
    connect(item, &QAction::triggered, this, [this] {
      if (auto* v = solidView()) v->forwardAction();
    });
  } else if (identifier == "tumble") {
    connect(item, &QAction::triggered, this, [this] {
      if (auto* v = solidView()) v->turnAction();
    });
  }
}

void SolidWindowController::validateToolbar() {
  auto* v = solidView();
  if (!v) return;
  auto& history = v->backManager();
  if (QAction* back = toolbarItem("back"))
    back->setToolTip(QString::fromStdString(history.canUndo() ? "Back (undo " + history.undoActionName() + ")"
                                                              : "Disabled because no view action to undo"));
  if (QAction* forward = toolbarItem("forward"))
    forward->setToolTip(QString::fromStdString(history.canRedo() ? "Forward (redo " + history.redoActionName() + ")"
                                                                 : "Disabled because no view action to redo"));
}

void SolidWindowController::encodeRestorableState(platform::Dictionary& state) const {
  LensCalculatorWindowController::encodeRestorableState(state);
  const auto* v = solidView();
  if (!v) return;
  state.set(kExtentsDataKey, dataOf(v->extentsData()));
  state.set(kWorldCenterDataKey, dataOf(v->worldCenterBytes()));
  state.set(kWorldRotationDataKey, dataOf(v->worldRotationBytes()));
  state.set(kZoomDataKey, dataOf(v->zoomData().bytes()));
}

void SolidWindowController::restoreState(const platform::Dictionary& state) {
  LensCalculatorWindowController::restoreState(state);
  auto* v = solidView();
  if (!v) return;
  // The saved view replaces the first fit of a new window.
  m_zoomToFitPending = false;
  if (const auto* d = dataFor(state, kExtentsDataKey)) v->setExtentsData(d->data(), d->size());
  if (const auto* d = dataFor(state, kWorldCenterDataKey))
    if (const auto c = rendering::centerFromBytes(d->data(), d->size())) v->setWorldCenter(*c);
  if (const auto* d = dataFor(state, kWorldRotationDataKey)) v->setWorldRotationData(d->data(), d->size());
  if (const auto* d = dataFor(state, kZoomDataKey)) v->setZoomDataBytes(d->data(), d->size());
}

void SolidWindowController::exportAction() {
  SavePanelOptions options;
  options.title = "Export";
  options.suffix = "dxf";
  options.accessoryText = "Export in DXF format";
  QPointer<SolidWindowController> self(this);
  m_dxfPathChooser(isWindowLoaded() ? window() : nullptr, options, [self](const std::string& path) {
    if (self) self->exportToDXFPath(path);
  });
}

bool SolidWindowController::exportToDXFPath(const std::string& path) {
  auto calculator = std::dynamic_pointer_cast<LayoutCalculator>(this->calculator());
  auto* v = solidView();
  if (!calculator || !v) return false;
  std::string error;
  if (calculator->exportToDXFFile(path, v->optionsDictionary(), &error)) return true;
  showMessage(isWindowLoaded() ? window() : nullptr, "The file \"" + path + "\" could not be exported.", error);
  return false;
}

void SolidWindowController::windowWillClose() {
  if (m_toolbarUpdateTimer) m_toolbarUpdateTimer->stop();
  m_modelObservation.remove();
  m_zoomToFitPending = false;
  if (auto* v = solidView()) {
    v->setModel(nullptr);
    v->invalidateAnimationTimer();
  }
  m_model.reset();
  LensCalculatorWindowController::windowWillClose();
}

void registerSolidWindow() { interfacefile::registerLoader("SolidView", loadSolidView); }

SmartWindowController* makeSolidWindowController(const std::string& nibName,
                                                 const std::shared_ptr<SmartDocument>& document) {
  return new SolidWindowController(nibName, document);
}

}  // namespace orb::app
