#include "app/tables/Formatters.h"
#include "app/windows/SlidersWindow.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QSlider>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <optional>
#include <tuple>

#include "analysis/ImmediateUpdate.h"
#include "analysis/LensBuffer.h"
#include "app/ImmediateUpdateWhileDragging.h"
#include "app/Messages.h"
#include "app/document/OBDocument.h"
#include "app/windows/InterfaceFile.h"
#include "app/windows/OBWindow.h"
#include "platform/Exception.h"
#include "platform/Log.h"
#include "platform/NotificationQueue.h"
#include "platform/UserDefaults.h"

namespace orb::app {

using platform::Dictionary;
using platform::Value;

namespace {

constexpr double kDefaultDelta = 0.1;

std::string lastElementOfKeyPath(const std::string& keyPath) {
  const auto dot = keyPath.rfind('.');
  return dot == std::string::npos ? keyPath : keyPath.substr(dot + 1);
}

double lensValue(const analysis::Lens& lens, const std::string& keyPath) {
  try {
    const Value v = lens.valueForKeyPath(keyPath);
    if (v.isNumber()) return v.asDouble();
  } catch (const platform::Exception& e) {
    platform::log("sliders: %s: %s", keyPath.c_str(), e.what());
  }
  return 0.0;
}

}  // namespace

// --- SlidersController ---------------------------------------------------------------------

SlidersController::SlidersController(platform::UserDefaults& defaults)
    : m_defaults(&defaults), m_context(std::make_unique<QObject>()) {}

SlidersController::~SlidersController() { m_lensWatch.remove(); }

void SlidersController::setLens(analysis::LensPtr lens) {
  // The drag owns the lens and the list until the hand lets go.
  if (analysis::isImmediateUpdate()) return;
  m_lensWatch.remove();
  m_lens = std::move(lens);
  if (m_lens)
    m_lensWatch = m_lens->addObserver("keyPathsForVariables", [this](const platform::ObservedChange&) {
      // The variable list changes inside an edit of the lens: rebuild once it is over.
      if (m_rebuildPending) return;
      m_rebuildPending = true;
      QTimer::singleShot(0, m_context.get(), [this] {
        m_rebuildPending = false;
        if (!analysis::isImmediateUpdate()) updateSliderDescriptors();
      });
    });
  updateSliderDescriptors();
}

void SlidersController::setIncludeFocus(bool on) {
  m_includeFocus = on;
  updateSliderDescriptors();
}

void SlidersController::updateSliderDescriptors() {
  if (!m_lens) {
    setDescriptors({});
    return;
  }
  std::vector<std::string> paths = m_lens->keyPathsForVariables();
  if (m_includeFocus)
    if (auto focus = m_lens->focusKeyPath(); focus && std::find(paths.begin(), paths.end(), *focus) == paths.end())
      paths.push_back(*focus);
  std::vector<SliderDescriptor> next;
  for (const auto& path : paths) {
    const double value = lensValue(*m_lens, path);
    SliderDescriptor d;
    if (auto it = m_memory.find(path); it != m_memory.end()) {
      d = it->second;
      d.value = value;
      updateSliderFromValue(d);
    } else {
      d.keyPath = path;
      d.nominalValue = d.value = value;
      d.delta = deltaForLastElementOfKeyPath(path);
      d.slider = 0;
    }
    m_memory[path] = d;
    next.push_back(std::move(d));
  }
  setDescriptors(std::move(next));
}

void SlidersController::setDescriptors(std::vector<SliderDescriptor> descriptors) {
  m_descriptors = std::move(descriptors);
  if (onDescriptorsReplaced) onDescriptorsReplaced();
}

void SlidersController::setLensKeyPathUpdateDictionary(const Dictionary& renames) {
  if (renames.empty()) return;
  std::vector<SliderDescriptor> next = m_descriptors;
  for (auto& d : next) {
    const auto dot = d.keyPath.find('.');
    const Value* mapped = renames.find(d.keyPath.substr(0, dot));
    if (!mapped || !mapped->isString()) continue;
    d.keyPath = mapped->asString() + (dot == std::string::npos ? std::string() : d.keyPath.substr(dot));
    m_memory[d.keyPath] = d;
  }
  setDescriptors(std::move(next));
}

void SlidersController::updateSliderFromValue(SliderDescriptor& d) {
  const double offset = d.value - d.nominalValue;
  const double s = offset / d.delta;
  if (s > 1) {
    d.slider = 1;
    d.delta = offset;
  } else if (s < -1) {
    d.slider = -1;
    d.delta = -offset;
  } else {
    d.slider = std::isfinite(s) ? s : 0.0;
  }
}

void SlidersController::descriptorEdited(std::size_t index) {
  m_memory[m_descriptors[index].keyPath] = m_descriptors[index];
  if (onDescriptorChanged) onDescriptorChanged(index);
  m_lensNeedsUpdate = true;
  updateLens();
}

void SlidersController::setSlider(std::size_t index, double slider) {
  if (index >= m_descriptors.size() || !std::isfinite(slider)) return;
  auto& d = m_descriptors[index];
  d.slider = std::clamp(slider, -1.0, 1.0);
  d.value = d.nominalValue + d.delta * d.slider;
  descriptorEdited(index);
}

void SlidersController::setValue(std::size_t index, double value) {
  if (index >= m_descriptors.size() || !std::isfinite(value)) return;
  auto& d = m_descriptors[index];
  d.value = value;
  updateSliderFromValue(d);
  descriptorEdited(index);
}

void SlidersController::setDelta(std::size_t index, double delta) {
  // A zero, negative or non-finite half-range would put the value off the slider or
  // divide by zero.
  if (index >= m_descriptors.size() || !std::isfinite(delta) || delta <= 0) return;
  auto& d = m_descriptors[index];
  d.delta = delta;
  saveDeltaForLastElementOfKeyPath(delta, d.keyPath);
  d.value = d.nominalValue + d.delta * d.slider;
  descriptorEdited(index);
}

void SlidersController::setNominalValue(std::size_t index, double nominal) {
  if (index >= m_descriptors.size() || !std::isfinite(nominal)) return;
  auto& d = m_descriptors[index];
  d.nominalValue = nominal;
  d.value = d.nominalValue + d.delta * d.slider;
  descriptorEdited(index);
}

void SlidersController::restoreToNominal() {
  for (auto& d : m_descriptors) {
    d.value = d.nominalValue;
    d.slider = 0;
    m_memory[d.keyPath] = d;
  }
  if (onDescriptorsReplaced) onDescriptorsReplaced();
  m_lensNeedsUpdate = true;
  updateLens();
}

void SlidersController::setAsNominal() {
  for (auto& d : m_descriptors) {
    d.nominalValue = d.value;
    d.slider = 0;
    m_memory[d.keyPath] = d;
  }
  if (onDescriptorsReplaced) onDescriptorsReplaced();
}

void SlidersController::updateLens() {
  if (!m_lensNeedsUpdate) {
    platform::logText("bypass updateLens");
    return;
  }
  if (!m_lens || m_lens->isBusy()) return;  // stays pending for the next change
  for (const auto& d : m_descriptors) m_lens->setValueForKeyPath(d.keyPath, Value(d.value));
  m_lensNeedsUpdate = false;
  // The cycle runs now, so under a drag the analyses hear of it at once.
  m_lens->trigger();
}

void SlidersController::saveDeltaForLastElementOfKeyPath(double delta, const std::string& keyPath) {
  const std::string last = lastElementOfKeyPath(keyPath);
  Dictionary deltas = m_defaults->dictionaryForKey(kSlidersDeltaDictionaryKey);
  if (const Value* stored = deltas.find(last); stored && stored->isNumber() && stored->asDouble() == delta) return;
  deltas.set(last, delta);
  m_defaults->setObject(kSlidersDeltaDictionaryKey, deltas);
}

double SlidersController::deltaForLastElementOfKeyPath(const std::string& keyPath) const {
  const Dictionary deltas = m_defaults->dictionaryForKey(kSlidersDeltaDictionaryKey);
  const Value* stored = deltas.find(lastElementOfKeyPath(keyPath));
  if (stored && stored->isNumber() && std::isfinite(stored->asDouble()) && stored->asDouble() > 0)
    return stored->asDouble();
  return kDefaultDelta;
}

// --- SlidersWindowController ---------------------------------------------------------------

namespace {

InterfaceOutlets loadSliders(OBWindow& window) {
  window.setWindowTitle(QStringLiteral("Sliders"));
  auto* content = new QWidget(&window);
  auto* column = new QVBoxLayout(content);
  auto* scroll = new QScrollArea(content);
  scroll->setObjectName(QStringLiteral("rowsScroll"));
  scroll->setWidgetResizable(true);
  column->addWidget(scroll, 1);
  auto* buttons = new QHBoxLayout();
  auto* focus = new QCheckBox(QStringLiteral("Include Focus"), content);
  focus->setObjectName(QStringLiteral("includeFocus"));
  buttons->addWidget(focus);
  buttons->addStretch();
  // Ray plots that rescale to every result jitter under a moving slider: held, their scale
  // only grows.
  for (const auto& [name, title, tip] :
       {std::tuple{"makeSliderFriendly", "Hold Plot Scales",
                   "Ray plots keep their scale while you slide; it only grows"},
        std::tuple{"makeSliderUnfriendly", "Free Plot Scales", "Ray plots fit their scale to each result again"}}) {
    auto* b = new QPushButton(QString::fromUtf8(title), content);
    b->setObjectName(QString::fromUtf8(name));
    b->setToolTip(QString::fromUtf8(tip));
    b->setAutoDefault(false);
    buttons->addWidget(b);
  }
  for (const auto& [name, title] :
       {std::pair{"setAsNominal", "Set as Nominal"}, std::pair{"restoreToNominal", "Restore to Nominal"}}) {
    auto* b = new QPushButton(QString::fromUtf8(title), content);
    b->setObjectName(QString::fromUtf8(name));
    b->setAutoDefault(false);
    buttons->addWidget(b);
  }
  column->addLayout(buttons);
  window.setCentralWidget(content);
  window.resize(760, 320);
  return {};
}

QString numberText(double v) { return QString::number(v, 'g', 10); }  // read back with a decimal point in every locale

std::optional<double> parseNumber(const QString& text, QString* why) { return typedNumber(text, false, why); }

QString rowName(std::size_t index, const char* what) {
  return QStringLiteral("%1_%2").arg(QString::fromUtf8(what)).arg(index);
}

}  // namespace

SlidersWindowController::SlidersWindowController(std::string nibName, const std::shared_ptr<SmartDocument>& document)
    : WindowControllerWithDocumentController(std::move(nibName), document) {}

SlidersWindowController::~SlidersWindowController() {
  closeIfOpen();
  m_lensBuffer.reset();
  if (m_controller) {
    m_controller->onDescriptorsReplaced = nullptr;
    m_controller->onDescriptorChanged = nullptr;
  }
}

void SlidersWindowController::awakeFromNib() {
  WindowControllerWithDocumentController::awakeFromNib();
  if (m_controller) return;
  auto* w = window();
  m_controller = std::make_shared<SlidersController>(platform::UserDefaults::standard());
  m_controller->onDescriptorsReplaced = [this] { rebuildRows(); };
  m_controller->onDescriptorChanged = [this](std::size_t i) { refreshRow(i); };
  if (auto* b = w->findChild<QPushButton*>(QStringLiteral("setAsNominal")))
    connect(b, &QPushButton::clicked, this, [this] { m_controller->setAsNominal(); });
  if (auto* b = w->findChild<QPushButton*>(QStringLiteral("restoreToNominal")))
    connect(b, &QPushButton::clicked, this, [this] { m_controller->restoreToNominal(); });
  if (auto* b = w->findChild<QPushButton*>(QStringLiteral("makeSliderFriendly")))
    connect(b, &QPushButton::clicked, this, [this] { makeSliderFriendly(); });
  if (auto* b = w->findChild<QPushButton*>(QStringLiteral("makeSliderUnfriendly")))
    connect(b, &QPushButton::clicked, this, [this] { makeSliderUnfriendly(); });
  if (auto* c = w->findChild<QCheckBox*>(QStringLiteral("includeFocus")))
    connect(c, &QCheckBox::toggled, this, [this](bool on) { m_controller->setIncludeFocus(on); });
  if (auto provider = std::dynamic_pointer_cast<analysis::LensProvider>(document()))
    m_lensBuffer = std::make_unique<analysis::LensBuffer>(provider, m_controller);
  else
    rebuildRows();
}

void SlidersWindowController::windowWillClose() {
  m_lensBuffer.reset();
  WindowControllerWithDocumentController::windowWillClose();
}

QSlider* SlidersWindowController::sliderAt(std::size_t index) const {
  return m_rows ? m_rows->findChild<QSlider*>(rowName(index, "slider")) : nullptr;
}

void SlidersWindowController::rebuildRows() {
  if (!isWindowLoaded()) return;
  const auto& descriptors = m_controller->sliderDescriptors();
  std::vector<std::string> paths;
  for (const auto& d : descriptors) paths.push_back(d.keyPath);
  if (m_rows && paths == m_rowKeyPaths) {
    // Same variables: only the numbers move, and the widgets (maybe under the hand) stay.
    for (std::size_t i = 0; i < descriptors.size(); ++i) refreshRow(i);
    return;
  }
  auto* scroll = window()->findChild<QScrollArea*>(QStringLiteral("rowsScroll"));
  if (!scroll) return;
  m_rowKeyPaths = paths;
  m_rows = new QWidget();
  auto* grid = new QGridLayout(m_rows);
  const char* headings[] = {"Variable", "", "Value", "Delta", "Nominal"};
  for (int c = 0; c < 5; ++c) grid->addWidget(new QLabel(QString::fromUtf8(headings[c]), m_rows), 0, c);
  for (std::size_t i = 0; i < descriptors.size(); ++i) {
    const int row = int(i) + 1;
    grid->addWidget(new QLabel(QString::fromStdString(descriptors[i].keyPath), m_rows), row, 0);
    auto* slider = new QSlider(Qt::Horizontal, m_rows);
    slider->setObjectName(rowName(i, "slider"));
    slider->setRange(-kSliderSteps, kSliderSteps);
    slider->setMinimumWidth(160);
    // Order matters: the flag is down before the release closes the undo step.
    raiseImmediateUpdateWhileDragging(slider);
    connect(slider, &QSlider::valueChanged, this, [this, i](int v) {
      if (!m_refreshing) m_controller->setSlider(i, double(v) / kSliderSteps);
    });
    connect(slider, &QSlider::sliderReleased, this, [this] { dragEnded(); });
    grid->addWidget(slider, row, 1);
    auto* value = new QLineEdit(m_rows);
    value->setObjectName(rowName(i, "value"));
    connect(value, &QLineEdit::editingFinished, this, [this, i, value] {
      QString why;
      if (auto v = parseNumber(value->text(), &why)) {
        m_controller->setValue(i, *v);
      } else {
        refreshRow(i);
        showRefusedEntry(value, keptValueMessage(why, QStringLiteral("value"), value->text()));
      }
    });
    grid->addWidget(value, row, 2);
    auto* delta = new QLineEdit(m_rows);
    delta->setObjectName(rowName(i, "delta"));
    connect(delta, &QLineEdit::editingFinished, this, [this, i, delta] {
      QString why;
      auto v = parseNumber(delta->text(), &why);
      if (v && !(*v > 0)) why = QStringLiteral("\"%1\" is not above zero").arg(delta->text().trimmed());
      if (v && *v > 0) {
        m_controller->setDelta(i, *v);
      } else {
        refreshRow(i);
        showRefusedEntry(delta, keptValueMessage(why, QStringLiteral("delta"), delta->text()));
      }
    });
    grid->addWidget(delta, row, 3);
    auto* nominal = new QLabel(m_rows);
    nominal->setObjectName(rowName(i, "nominal"));
    grid->addWidget(nominal, row, 4);
  }
  if (descriptors.empty())
    grid->addWidget(new QLabel(QStringLiteral("The lens has no variables."), m_rows), 1, 0, 1, 5);
  grid->setRowStretch(int(descriptors.size()) + 2, 1);
  grid->setColumnStretch(1, 1);
  scroll->setWidget(m_rows);  // deletes the old rows
  for (std::size_t i = 0; i < descriptors.size(); ++i) refreshRow(i);
}

void SlidersWindowController::refreshRow(std::size_t index) {
  if (!m_rows || index >= m_controller->sliderDescriptors().size()) return;
  const auto& d = m_controller->sliderDescriptors()[index];
  m_refreshing = true;
  if (auto* s = sliderAt(index); s && !s->isSliderDown()) s->setValue(int(std::lround(d.slider * kSliderSteps)));
  if (auto* e = m_rows->findChild<QLineEdit*>(rowName(index, "value")); e && !e->hasFocus())
    e->setText(numberText(d.value));
  if (auto* e = m_rows->findChild<QLineEdit*>(rowName(index, "delta")); e && !e->hasFocus())
    e->setText(numberText(d.delta));
  if (auto* l = m_rows->findChild<QLabel*>(rowName(index, "nominal"))) l->setText(numberText(d.nominalValue));
  m_refreshing = false;
}

void SlidersWindowController::dragEnded() {
  // The lens as the hand left it closes the drag's one undo step.
  if (auto d = std::dynamic_pointer_cast<OBDocument>(document())) d->enqueueSnapshotRequiredNotification();
}

void SlidersWindowController::makeSliderFriendly() {
  platform::NotificationQueue::defaultQueue().enqueue(platform::Notification("makeSliderFriendlyNotification"),
                                                      platform::PostingStyle::ASAP, platform::Coalescing::None);
}

void SlidersWindowController::makeSliderUnfriendly() {
  platform::NotificationQueue::defaultQueue().enqueue(platform::Notification("makeSliderUnfriendlyNotification"),
                                                      platform::PostingStyle::ASAP, platform::Coalescing::None);
}

void registerSlidersWindow() { interfacefile::registerLoader("Sliders", loadSliders); }

SmartWindowController* makeSlidersWindowController(const std::string& nibName,
                                                   const std::shared_ptr<SmartDocument>& document) {
  return new SlidersWindowController(nibName, document);
}

}  // namespace orb::app
