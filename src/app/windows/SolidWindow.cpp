#include "app/windows/SolidWindow.h"

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QMenu>
#include <QPixmap>
#include <QPushButton>
#include <QSpinBox>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cstring>
#include <functional>
#include <vector>

#include "analysis/LayoutCalculator.h"
#include "app/Messages.h"
#include "app/windows/AnalysisOptions.h"
#include "app/windows/AnalysisPanel.h"
#include "app/windows/InterfaceFile.h"
#include "app/windows/LayoutOpenGLModel.h"
#include "app/windows/OBWindow.h"
#include "rendering/OBOpenGL.h"
#include "rendering/OpenGLAnimation.h"
#include "ui_SolidView.h"

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

std::shared_ptr<platform::Color> colorFrom(const QColor& c) {
  return platform::Color::make(c.redF(), c.greenF(), c.blueF(), c.alphaF());
}

QColor qColorFrom(const std::shared_ptr<platform::Color>& c) {
  if (!c) return Qt::black;
  return QColor::fromRgbF(float(c->red()), float(c->green()), float(c->blue()), float(c->alpha()));
}

// The view's appearance, as kept in the user defaults: colours of the background and the
// light, lighting, how faces are filled, tumbling and the overlays. Widgets follow the view
// again after "Restore Factory Colors".
void addAppearanceOptions(QVBoxLayout* column, rendering::OBOpenGL* view) {
  QFormLayout* form = nullptr;
  column->addWidget(options::group("Appearance", form));
  auto refreshers = std::make_shared<std::vector<std::function<void()>>>();

  using Getter = std::shared_ptr<platform::Color> (rendering::BasicOpenGLView::*)() const;
  using Setter = void (rendering::BasicOpenGLView::*)(std::shared_ptr<platform::Color>);
  auto colorButton = [&](const char* name, const char* title, Getter get, Setter set) {
    auto* button = new QPushButton;
    button->setObjectName(QString::fromUtf8(name));
    button->setToolTip(QString::fromUtf8(title));
    auto show = [button, view, get] {
      QPixmap swatch(28, 14);
      swatch.fill(qColorFrom((view->*get)()));
      button->setIcon(QIcon(swatch));
      button->setIconSize(swatch.size());
    };
    show();
    refreshers->push_back(show);
    QObject::connect(button, &QPushButton::clicked, view, [button, view, get, set, show, title] {
      QColorDialog dialog(qColorFrom((view->*get)()), button->window());
      dialog.setWindowTitle(QString::fromUtf8(title));
      dialog.setOption(QColorDialog::DontUseNativeDialog);
      if (dialog.exec() != QDialog::Accepted) return;
      (view->*set)(colorFrom(dialog.currentColor()));
      show();
    });
    form->addRow(QString::fromUtf8(title), button);
  };
  colorButton("clearColor", "Background", &rendering::BasicOpenGLView::clearColor,
              &rendering::BasicOpenGLView::setClearColor);
  colorButton("ambientColor", "Ambient light", &rendering::BasicOpenGLView::ambientColor,
              &rendering::BasicOpenGLView::setAmbientColor);
  colorButton("diffuseColor", "Diffuse light", &rendering::BasicOpenGLView::diffuseColor,
              &rendering::BasicOpenGLView::setDiffuseColor);
  colorButton("specularColor", "Specular light", &rendering::BasicOpenGLView::specularColor,
              &rendering::BasicOpenGLView::setSpecularColor);

  auto* light = new QCheckBox(QStringLiteral("Lighting"));
  light->setObjectName(QStringLiteral("usesLight"));
  light->setChecked(view->usesLight());
  QObject::connect(light, &QCheckBox::toggled, view, [view](bool on) { view->setUsesLight(on); });
  form->addRow(light);

  auto polygonMode = [&](const char* name, const std::string& present, void (rendering::BasicOpenGLView::*set)(const std::string&)) {
    auto* box = new QComboBox;
    box->setObjectName(QString::fromUtf8(name));
    for (const char* mode : {"fill", "line", "point"}) box->addItem(QString::fromUtf8(mode), QString::fromUtf8(mode));
    box->setCurrentIndex(std::max(0, box->findData(QString::fromStdString(present))));
    QObject::connect(box, &QComboBox::activated, view,
                     [box, view, set](int i) { (view->*set)(box->itemData(i).toString().toStdString()); });
    return box;
  };
  form->addRow(QStringLiteral("Front faces"),
               polygonMode("polygonModeFront", view->polygonModeFront(), &rendering::BasicOpenGLView::setPolygonModeFront));
  form->addRow(QStringLiteral("Back faces"),
               polygonMode("polygonModeBack", view->polygonModeBack(), &rendering::BasicOpenGLView::setPolygonModeBack));

  auto* animation = new QComboBox;
  animation->setObjectName(QStringLiteral("animationType"));
  for (const auto& type : rendering::animationTypes()) {
    QString label = QString::fromStdString(type);
    label[0] = label[0].toUpper();
    animation->addItem(label, QString::fromStdString(type));
  }
  animation->setCurrentIndex(std::max(0, animation->findData(QString::fromStdString(view->animationType()))));
  QObject::connect(animation, &QComboBox::activated, view, [animation, view](int i) {
    view->setAnimationType(animation->itemData(i).toString().toStdString());
  });
  form->addRow(QStringLiteral("Animation"), animation);

  auto flag = [&](const char* label, const char* name, bool on, void (rendering::BasicOpenGLView::*set)(bool)) {
    auto* box = new QCheckBox(QString::fromUtf8(label));
    box->setObjectName(QString::fromUtf8(name));
    box->setChecked(on);
    QObject::connect(box, &QCheckBox::toggled, view, [view, set](bool v) { (view->*set)(v); });
    form->addRow(box);
  };
  flag("Info overlay", "drawsInfo", view->drawsInfo(), &rendering::BasicOpenGLView::setDrawsInfo);
  flag("Help overlay", "drawsHelp", view->drawsHelp(), &rendering::BasicOpenGLView::setDrawsHelp);

  auto* save = new QPushButton(QStringLiteral("Save Default Colors"));
  save->setObjectName(QStringLiteral("saveDefaultColors"));
  save->setToolTip(QStringLiteral("New 3-D views start with these colours"));
  QObject::connect(save, &QPushButton::clicked, view, [view] { view->saveDefaultColors(); });
  auto* factory = new QPushButton(QStringLiteral("Restore Factory Colors"));
  factory->setObjectName(QStringLiteral("restoreFactoryColors"));
  QObject::connect(factory, &QPushButton::clicked, view, [view, refreshers] {
    view->restoreFactoryColors();
    for (const auto& refresh : *refreshers) refresh();
  });
  auto* buttons = new QWidget;
  auto* row = new QHBoxLayout(buttons);
  row->setContentsMargins(0, 0, 0, 0);
  row->addWidget(save);
  row->addWidget(factory);
  form->addRow(buttons);
}

// The fields traced, as the other ray analyses offer them, in the calculator's "Rays"
// group (unless the shared layout options already carry the control).
void addFieldOfInterest(QWidget* panel, QVBoxLayout* column, const std::shared_ptr<LayoutCalculator>& calculator) {
  if (panel->findChild<QComboBox*>(QStringLiteral("fieldOfInterestKeyPath"))) return;
  options::Binder<> b(calculator, panel);
  std::weak_ptr<analysis::RaysCalculator> weak = calculator;
  auto* fields =
      b.choice("fieldOfInterestKeyPath", [weak] { return analysispanel::fieldChoices(weak, "All fields"); }, {"lens"});
  for (auto* box : panel->findChildren<QGroupBox*>())
    if (box->title() == QStringLiteral("Rays"))
      if (auto* form = qobject_cast<QFormLayout*>(box->layout())) {
        form->insertRow(0, QStringLiteral("Fields"), fields);
        return;
      }
  QFormLayout* form = nullptr;
  column->addWidget(options::group("Fields", form));
  form->addRow(QStringLiteral("Fields"), fields);
}

// The view's drawing settings and appearance, and the calculator's colours and rays.
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

  addAppearanceOptions(column, view);
  addLayoutCalculatorOptions(column, calculator, panel);
  addFieldOfInterest(panel, column, calculator);
  column->addStretch();
  return panel;
}

// The mouse-mode control, the orientation presets and "Zoom to System" of the bar above
// the view.
void connectViewControls(const Ui::SolidView& form, rendering::OBOpenGL* view) {
  QButtonGroup* modes = form.mouseModeControl;
  for (QAbstractButton* button : modes->buttons()) modes->setId(button, button->property("mouseMode").toInt());
  QPointer<QButtonGroup> shown(modes);
  auto showMode = [shown](int mode) {
    if (!shown) return;
    if (QAbstractButton* button = shown->button(mode)) button->setChecked(true);
  };
  view->setMouseModeChangedHandler(showMode);
  showMode(view->mouseMode());
  // The mode shown counts as chosen, so that choosing it again is the second choice.
  view->mouseModeAction();
  QObject::connect(modes, &QButtonGroup::idClicked, view, [view](int mode) {
    view->setMouseMode(mode);
    view->mouseModeAction();
  });
  QObject::connect(form.orientationControl, &QButtonGroup::buttonClicked, view,
                   [view](QAbstractButton* segment) { view->orientBySegmentedControl(segment->text()); });
  QObject::connect(form.zoomToSystemButton, &QToolButton::clicked, view, [view] { view->zoomToSystem(); });

  view->setContextMenuPolicy(Qt::CustomContextMenu);
  QObject::connect(view, &QWidget::customContextMenuRequested, view, [view](const QPoint& at) {
    std::unique_ptr<QMenu> menu(solidViewContextMenu(view));
    menu->exec(view->mapToGlobal(at));
  });
}

InterfaceOutlets loadSolidView(OBWindow& window) {
  auto* central = new QWidget(&window);
  Ui::SolidView form;
  form.setupUi(central);
  window.setCentralWidget(central);
  window.setWindowTitle(QStringLiteral("3-D View"));
  window.resize(central->size());
  rendering::OBOpenGL* view = form.solidView;
  connectViewControls(form, view);
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

QMenu* solidViewContextMenu(rendering::OBOpenGL* view) {
  auto* menu = new QMenu(view);
  QMenu* modes = menu->addMenu(QStringLiteral("Mode"));
  modes->setObjectName(QStringLiteral("modeMenu"));
  const char* titles[] = {"Select", "Zoom", "Rotate", "Pan", "Light"};
  for (int mode = rendering::BasicOpenGLView::kSelectMode; mode <= rendering::BasicOpenGLView::kLightMode; ++mode)
    modes->addAction(QString::fromUtf8(titles[mode]))->setData(mode);
  view->menuNeedsUpdate(modes);
  QObject::connect(modes, &QMenu::aboutToShow, view, [view, modes] { view->menuNeedsUpdate(modes); });
  QObject::connect(modes, &QMenu::triggered, view,
                   [view](QAction* item) { view->mouseModeActionFromMenuItem(item->data().toInt()); });
  menu->addSeparator();
  QObject::connect(menu->addAction(QStringLiteral("Zoom to Fit")), &QAction::triggered, view, [view] { view->zoomToFit(); });
  QObject::connect(menu->addAction(QStringLiteral("Zoom to System")), &QAction::triggered, view,
                   [view] { view->zoomToSystem(); });
  QObject::connect(menu->addAction(QStringLiteral("Turn")), &QAction::triggered, view, [view] { view->turnAction(); });
  menu->addSeparator();
  QAction* back = menu->addAction(QStringLiteral("Back"));
  back->setEnabled(view->canGoBack());
  QObject::connect(back, &QAction::triggered, view, [view] { view->backAction(); });
  QAction* forward = menu->addAction(QStringLiteral("Forward"));
  forward->setEnabled(view->canGoForward());
  QObject::connect(forward, &QAction::triggered, view, [view] { view->forwardAction(); });
  return menu;
}

void registerSolidWindow() { interfacefile::registerLoader("SolidView", loadSolidView); }

SmartWindowController* makeSolidWindowController(const std::string& nibName,
                                                 const std::shared_ptr<SmartDocument>& document) {
  return new SolidWindowController(nibName, document);
}

}  // namespace orb::app
