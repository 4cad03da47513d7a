#include "app/windows/LayoutViewWindowController.h"

#include <QAction>
#include <QFormLayout>
#include <QTimer>
#include <QVBoxLayout>

#include "analysis/LayoutCalculator.h"
#include "app/windows/AnalysisOptions.h"
#include "platform/NotificationCenter.h"

namespace orb::app {

namespace {

using analysis::LayoutCalculator;
using Binder = options::Binder<LayoutCalculator>;
using options::Choice;

constexpr const char* kZoomDataKey = "zoomData";

}  // namespace

LayoutViewWindowController::LayoutViewWindowController(std::string nibName,
                                                       const std::shared_ptr<SmartDocument>& document)
    : LensCalculatorWindowController(std::move(nibName), document) {}

// Subclasses close in their own destructors, while their hooks are still theirs.
LayoutViewWindowController::~LayoutViewWindowController() = default;

void LayoutViewWindowController::awakeFromNib() {
  LensCalculatorWindowController::awakeFromNib();
  if (m_awakeAlready) return;
  m_awakeAlready = true;
  if (attachModel()) {
    m_modelObservation = platform::NotificationCenter::defaultCenter().addObserver(
        "modelChangedNotification", {}, [this](const platform::Notification&) {
          modelDidChange();
          // A fit asked for before the lens had anything to frame waits for the first drawing.
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

void LayoutViewWindowController::haveViewZoomToFitWhenIdle() {
  m_zoomToFitPending = true;
  QTimer::singleShot(0, this, [this] { zoomToFitIfReady(); });
}

void LayoutViewWindowController::zoomToFitIfReady() {
  if (!m_zoomToFitPending || isClosing() || !modelHasExtents()) return;
  m_zoomToFitPending = false;
  zoomViewToFitAtOnce();
}

void LayoutViewWindowController::connectToolbarItem(const std::string& identifier, QAction* item) {
  if (identifier == "back" || identifier == "forward")
    connect(item, &QAction::triggered, this, [this, forward = identifier == "forward"] { stepViewHistory(forward); });
}

void LayoutViewWindowController::validateToolbar() {
  const auto history = viewHistory();
  if (!history) return;
  const bool setsEnabled = disablesHistoryItemsWhenEmpty();
  if (QAction* back = toolbarItem("back")) {
    if (setsEnabled) back->setEnabled(history->canGoBack);
    back->setToolTip(QString::fromStdString(history->canGoBack ? "Back (undo " + history->backActionName + ")"
                                                               : "Disabled because no view action to undo"));
  }
  if (QAction* forward = toolbarItem("forward")) {
    if (setsEnabled) forward->setEnabled(history->canGoForward);
    forward->setToolTip(QString::fromStdString(history->canGoForward
                                                   ? "Forward (redo " + history->forwardActionName + ")"
                                                   : "Disabled because no view action to redo"));
  }
}

void LayoutViewWindowController::windowWillClose() {
  if (m_toolbarUpdateTimer) m_toolbarUpdateTimer->stop();
  m_modelObservation.remove();
  m_zoomToFitPending = false;
  detachModel();
  LensCalculatorWindowController::windowWillClose();
}

void LayoutViewWindowController::encodeZoomData(platform::Dictionary& state, const rendering::ZoomData& zoom) {
  const auto bytes = zoom.bytes();
  state.set(kZoomDataKey, platform::Data(bytes.begin(), bytes.end()));
}

std::optional<rendering::ZoomData> LayoutViewWindowController::decodeZoomData(const platform::Dictionary& state) {
  const platform::Data* d = dataFor(state, kZoomDataKey);
  return d ? rendering::ZoomData::fromBytes(d->data(), d->size()) : std::nullopt;
}

const platform::Data* LayoutViewWindowController::dataFor(const platform::Dictionary& state, const char* key) {
  const platform::Value* v = state.find(platform::Value(key));
  return v && v->kind() == platform::Value::Kind::Data ? &v->asData() : nullptr;
}

InterfaceOutlets layoutWindowOutlets(
    QWidget* view, const std::function<QWidget*(const std::shared_ptr<LayoutCalculator>&)>& makeOptionsPanel) {
  auto calculator = platform::makeObject<LayoutCalculator>();
  InterfaceOutlets outlets;
  outlets.view = view;
  outlets.optionsPanel = makeOptionsPanel(calculator);
  std::weak_ptr<LayoutCalculator> weak = calculator;
  outlets.randomize = [weak] {
    if (auto c = weak.lock()) c->randomize();
  };
  outlets.calculator = std::move(calculator);
  return outlets;
}

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

}  // namespace orb::app
