#include "app/windows/SolidWindow.h"

#include <QAction>
#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QSpinBox>
#include <QToolBar>
#include <QVBoxLayout>
#include <cstring>

#include "analysis/LayoutCalculator.h"
#include "app/Messages.h"
#include "app/windows/AnalysisOptions.h"
#include "app/windows/InterfaceFile.h"
#include "app/windows/LayoutOpenGLModel.h"
#include "app/windows/OBWindow.h"
#include "rendering/OBOpenGL.h"

namespace orb::app {

namespace {

using analysis::LayoutCalculator;

constexpr const char* kExtentsDataKey = "extentsData";
constexpr const char* kWorldCenterDataKey = "worldCenterData";
constexpr const char* kWorldRotationDataKey = "worldRotationData";

template <std::size_t N>
platform::Data dataOf(const std::array<unsigned char, N>& bytes) {
  return platform::Data(bytes.begin(), bytes.end());
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

InterfaceOutlets loadSolidView(OBWindow& window) {
  auto* view = new rendering::OBOpenGL(&window);
  view->setObjectName(QStringLiteral("solidView"));
  window.setCentralWidget(view);
  window.setWindowTitle(QStringLiteral("3-D View"));
  window.resize(640, 480);
  return layoutWindowOutlets(view, [view](const auto& calculator) { return makeOptionsPanel(calculator, view); });
}

}  // namespace

SolidWindowController::SolidWindowController(std::string nibName, const std::shared_ptr<SmartDocument>& document)
    : LayoutViewWindowController(std::move(nibName), document) {}

SolidWindowController::~SolidWindowController() { closeIfOpen(); }

rendering::OBOpenGL* SolidWindowController::solidView() const { return dynamic_cast<rendering::OBOpenGL*>(view()); }

bool SolidWindowController::attachModel() {
  auto* view = solidView();
  auto calculator = std::dynamic_pointer_cast<LayoutCalculator>(this->calculator());
  if (!view || !calculator) return false;
  m_model = platform::makeObject<LayoutOpenGLModel>(calculator);
  view->setModel(m_model);
  return true;
}

void SolidWindowController::detachModel() {
  if (auto* v = solidView()) {
    v->setModel(nullptr);
    v->invalidateAnimationTimer();
  }
  m_model.reset();
}

bool SolidWindowController::modelHasExtents() {
  auto* v = solidView();
  if (!v) return false;
  v->updateExtents();
  return m_model && m_model->extents();
}

void SolidWindowController::zoomViewToFitAtOnce() {
  if (auto* v = solidView()) v->immediateZoomToFit();
}

std::optional<LayoutViewWindowController::ViewHistory> SolidWindowController::viewHistory() const {
  auto* v = solidView();
  if (!v) return std::nullopt;
  const auto& history = v->backManager();
  return ViewHistory{history.canUndo(), history.canRedo(), history.undoActionName(), history.redoActionName()};
}

void SolidWindowController::stepViewHistory(bool forward) {
  if (auto* v = solidView()) forward ? v->forwardAction() : v->backAction();
}

std::vector<std::string> SolidWindowController::toolbarAllowedItemIdentifiers() const {
  return {kFlexibleSpace, "back", "forward", "zoomToFit", "tumble", "SDE", "sources", "export", "dice", "options"};
}

std::vector<std::string> SolidWindowController::toolbarDefaultItemIdentifiers() const {
  return {"back", "forward", "zoomToFit", kFlexibleSpace, "sources", "SDE", kFlexibleSpace, "export", "dice", "options"};
}

void SolidWindowController::connectToolbarItem(const std::string& identifier, QAction* item) {
  // The 3-D view is no zoom view, so it answers "zoomToFit" here.
  if (identifier == "zoomToFit") {
    connect(item, &QAction::triggered, this, [this] {
      if (auto* v = solidView()) v->zoomToFit();
    });
  } else if (identifier == "tumble") {
    connect(item, &QAction::triggered, this, [this] {
      if (auto* v = solidView()) v->turnAction();
    });
  } else {
    LayoutViewWindowController::connectToolbarItem(identifier, item);
  }
}

void SolidWindowController::encodeRestorableState(platform::Dictionary& state) const {
  LayoutViewWindowController::encodeRestorableState(state);
  const auto* v = solidView();
  if (!v) return;
  state.set(kExtentsDataKey, dataOf(v->extentsData()));
  state.set(kWorldCenterDataKey, dataOf(v->worldCenterBytes()));
  state.set(kWorldRotationDataKey, dataOf(v->worldRotationBytes()));
  encodeZoomData(state, v->zoomData());
}

void SolidWindowController::restoreState(const platform::Dictionary& state) {
  LayoutViewWindowController::restoreState(state);
  auto* v = solidView();
  if (!v) return;
  // The saved view replaces the first fit of a new window.
  cancelPendingZoomToFit();
  if (const auto* d = dataFor(state, kExtentsDataKey)) v->setExtentsData(d->data(), d->size());
  if (const auto* d = dataFor(state, kWorldCenterDataKey))
    if (const auto c = rendering::centerFromBytes(d->data(), d->size())) v->setWorldCenter(*c);
  if (const auto* d = dataFor(state, kWorldRotationDataKey)) v->setWorldRotationData(d->data(), d->size());
  if (const auto zoom = decodeZoomData(state)) v->setZoomData(*zoom);
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
  std::size_t leftOut = 0;
  if (calculator->exportToDXFFile(path, v->optionsDictionary(), &error, &leftOut)) {
    // Said in the status line, which the next calculation's status replaces.
    if (leftOut > 0)
      calculator->setStatus(leftOut == 1 ? std::string("1 ray with no finite path was left out of the DXF file")
                                         : std::to_string(leftOut) +
                                               " rays with no finite path were left out of the DXF file");
    return true;
  }
  showMessage(isWindowLoaded() ? window() : nullptr, "The file \"" + path + "\" could not be exported.", error);
  return false;
}

void registerSolidWindow() { interfacefile::registerLoader("SolidView", loadSolidView); }

SmartWindowController* makeSolidWindowController(const std::string& nibName,
                                                 const std::shared_ptr<SmartDocument>& document) {
  return new SolidWindowController(nibName, document);
}

}  // namespace orb::app
