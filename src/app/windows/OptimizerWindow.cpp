#include "app/tables/Formatters.h"
#include "app/windows/OptimizerWindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "analysis/LensRoles.h"
#include "app/Messages.h"
#include "app/document/OBDocument.h"
#include "app/windows/InterfaceFile.h"
#include "app/windows/OBWindow.h"
#include "lens/Lens.h"
#include "optimisation/MeritFunction.h"
#include "optimisation/Optimizer.h"
#include "optimisation/VariableDescriptor.h"
#include "optimisation/VariablesController.h"
#include "platform/Exception.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"

namespace orb::app {

namespace {

constexpr const char* kPreferredTagKey = "oPreferredOptimizerTag";

// Settings fields: object name = the optimiser's key.
constexpr std::pair<const char*, const char*> kSettings[] = {{"convergenceStandardError", "Standard error"},
                                                             {"convergenceSize", "Step size"},
                                                             {"convergenceValue", "Function value"},
                                                             {"universeRadius", "Universe radius"},
                                                             {"maxIteration", "Iteration limit"}};

QString number(double v, int digits = 10) {
  if (std::isinf(v)) return v > 0 ? QStringLiteral("inf") : QStringLiteral("-inf");
  return QString::number(v, 'g', digits);  // read back with a decimal point in every locale
}

// The convergence settings are kept in single precision: more digits would show only noise.
QString setting(double v) { return number(v, 7); }

std::optional<double> parseNumber(const QString& text, QString* why = nullptr) { return typedNumber(text, true, why); }

InterfaceOutlets loadOptimizer(OBWindow& window) {
  window.setWindowTitle(QStringLiteral("Optimizer"));
  auto* content = new QWidget(&window);
  auto* column = new QVBoxLayout(content);

  auto* top = new QFormLayout();
  auto* merit = new QComboBox(content);
  merit->setObjectName(QStringLiteral("functions"));
  top->addRow(QStringLiteral("Merit function"), merit);
  auto* minimizer = new QComboBox(content);
  minimizer->setObjectName(QStringLiteral("minimizer"));
  minimizer->addItem(QStringLiteral("Levenberg–Marquardt"), optimisation::Optimizer::kLevenbergMarquardtTag);
  minimizer->addItem(QStringLiteral("Nelder–Mead"), optimisation::Optimizer::kNelderMeadTag);
  top->addRow(QStringLiteral("Minimizer"), minimizer);
  column->addLayout(top);

  auto* table = new QTableWidget(0, OptimizerWindowController::kColumnCount, content);
  table->setObjectName(QStringLiteral("variables"));
  table->setHorizontalHeaderLabels({QStringLiteral("On"), QStringLiteral("Variable"), QStringLiteral("Value"),
                                    QStringLiteral("Scale"), QStringLiteral("Minimum"), QStringLiteral("Maximum")});
  table->horizontalHeader()->setSectionResizeMode(OptimizerWindowController::kKeyPathColumn, QHeaderView::Stretch);
  table->verticalHeader()->hide();
  table->setWordWrap(false);
  for (int c : {int(OptimizerWindowController::kEnabledColumn), int(OptimizerWindowController::kValueColumn)})
    table->horizontalHeader()->setSectionResizeMode(c, QHeaderView::ResizeToContents);
  column->addWidget(table, 1);

  auto* addRow = new QHBoxLayout();
  auto* keyPath = new QLineEdit(content);
  keyPath->setObjectName(QStringLiteral("variableKeyPath"));
  keyPath->setPlaceholderText(QStringLiteral("s1.curvature"));
  auto* add = new QPushButton(QStringLiteral("Add Variable"), content);
  add->setObjectName(QStringLiteral("addVariable"));
  add->setAutoDefault(false);
  addRow->addWidget(keyPath, 1);
  addRow->addWidget(add);
  column->addLayout(addRow);

  auto* settingsBox = new QGroupBox(QStringLiteral("Convergence"), content);
  auto* settings = new QFormLayout(settingsBox);
  for (const auto& [key, title] : kSettings) {
    auto* field = new QLineEdit(settingsBox);
    field->setObjectName(QString::fromUtf8(key));
    field->setAlignment(Qt::AlignRight);
    settings->addRow(QString::fromUtf8(title), field);
  }
  auto* defaultsRow = new QHBoxLayout();
  const std::pair<const char*, const char*> defaultButtons[] = {{"useUserDefaults", "Use Defaults"},
                                                                {"saveDefaults", "Save as Defaults"},
                                                                {"useFactoryDefaults", "Factory Settings"}};
  for (const auto& [name, title] : defaultButtons) {
    auto* b = new QPushButton(QString::fromUtf8(title), settingsBox);
    b->setObjectName(QString::fromUtf8(name));
    b->setAutoDefault(false);
    defaultsRow->addWidget(b);
  }
  settings->addRow(defaultsRow);
  column->addWidget(settingsBox);

  auto* status = new QFormLayout();
  auto* chatter = new QLabel(content);
  chatter->setObjectName(QStringLiteral("chatter"));
  chatter->setWordWrap(true);
  chatter->setTextInteractionFlags(Qt::TextSelectableByMouse);
  status->addRow(QStringLiteral("Status"), chatter);
  auto* meritValue = new QLabel(content);
  meritValue->setObjectName(QStringLiteral("meritValue"));
  status->addRow(QStringLiteral("Merit"), meritValue);
  column->addLayout(status);

  auto* buttons = new QHBoxLayout();
  buttons->addStretch();
  auto* stop = new QPushButton(QStringLiteral("Stop"), content);
  stop->setObjectName(QStringLiteral("stop"));
  stop->setAutoDefault(false);
  auto* start = new QPushButton(QStringLiteral("Start"), content);
  start->setObjectName(QStringLiteral("start"));
  start->setDefault(true);
  buttons->addWidget(stop);
  buttons->addWidget(start);
  column->addLayout(buttons);

  window.setCentralWidget(content);
  window.resize(620, 560);
  return {};
}

// The solve code that makes each kind of lens value a variable.
std::optional<std::pair<std::string, std::int64_t>> variableSolveFor(const std::string& keyPath) {
  const auto dot = keyPath.rfind('.');
  if (dot == std::string::npos || dot == 0) return std::nullopt;
  const std::string owner = keyPath.substr(0, dot), quantity = keyPath.substr(dot + 1);
  if (quantity == "curvature") return std::make_pair(owner + ".curvatureSolveType", std::int64_t{1});
  if (quantity == "thickness") return std::make_pair(owner + ".thicknessSolveType", std::int64_t{1});
  if (quantity == "conicConstant") return std::make_pair(owner + ".conicSolveType", std::int64_t{1});
  if (quantity == "semidiameter") return std::make_pair(owner + ".semidiameterSolveType", std::int64_t{4});
  return std::nullopt;
}

}  // namespace

OptimizerWindowController::OptimizerWindowController(std::string nibName,
                                                     const std::shared_ptr<SmartDocument>& document)
    : WindowControllerWithDocumentController(std::move(nibName), document) {}

OptimizerWindowController::~OptimizerWindowController() { closeIfOpen(); }

std::shared_ptr<OBDocument> OptimizerWindowController::lensDocument() const {
  return std::dynamic_pointer_cast<OBDocument>(document());
}

QTableWidget* OptimizerWindowController::table() const {
  return isWindowLoaded() ? const_cast<OptimizerWindowController*>(this)->window()->findChild<QTableWidget*>(
                                QStringLiteral("variables"))
                          : nullptr;
}

void OptimizerWindowController::awakeFromNib() {
  WindowControllerWithDocumentController::awakeFromNib();
  auto* w = window();
  m_optimizer = optimisation::Optimizer::create(platform::UserDefaults::standard());
  // The document hands over its lens and scale memory, and names the result's undo step.
  if (auto doc = lensDocument()) doc->bindOptimizer(*m_optimizer);

  auto connectButton = [&](const char* name, auto action) {
    if (auto* b = w->findChild<QPushButton*>(QString::fromUtf8(name))) connect(b, &QPushButton::clicked, this, action);
  };
  connectButton("start", [this] { start(); });
  connectButton("stop", [this] { stop(); });
  connectButton("useUserDefaults", [this] {
    m_optimizer->useUserDefaults();
    refreshSettings();
  });
  connectButton("saveDefaults", [this] { m_optimizer->saveDefaults(); });
  connectButton("useFactoryDefaults", [this] {
    m_optimizer->useFactoryDefaults();
    refreshSettings();
  });
  auto* keyPath = w->findChild<QLineEdit*>(QStringLiteral("variableKeyPath"));
  auto addVariable = [this, keyPath] {
    if (keyPath && addVariableWithKeyPath(keyPath->text().trimmed().toStdString())) keyPath->clear();
  };
  connectButton("addVariable", addVariable);
  if (keyPath) connect(keyPath, &QLineEdit::returnPressed, this, addVariable);

  for (const auto& [key, title] : kSettings) {
    (void)title;
    if (auto* field = w->findChild<QLineEdit*>(QString::fromUtf8(key))) {
      const std::string k = key;
      connect(field, &QLineEdit::editingFinished, this, [this, k, field] { settingEdited(k, field->text()); });
    }
  }
  if (auto* minimizer = w->findChild<QComboBox*>(QStringLiteral("minimizer"))) {
    minimizer->setCurrentIndex(std::max(0, minimizer->findData(m_optimizer->preferredMinimizerTag())));
    connect(minimizer, &QComboBox::activated, this,
            [this, minimizer](int index) { setMinimizerTag(minimizer->itemData(index).toUInt()); });
  }
  if (auto* functions = w->findChild<QComboBox*>(QStringLiteral("functions")))
    connect(functions, &QComboBox::activated, this, [this](int index) { selectMeritFunction(index); });
  if (auto* t = table()) connect(t, &QTableWidget::cellChanged, this, &OptimizerWindowController::variableEdited);

  m_observations.push_back(m_optimizer->variablesController()->addObserver(
      "arrayOfVariableDescriptors", [this](const platform::ObservedChange&) { reloadVariables(); }));
  m_observations.push_back(
      m_optimizer->addObserver("variablesMonitor", [this](const platform::ObservedChange&) { reloadVariables(); }));
  for (const char* key : {"chatter", "meritMonitor"})
    m_observations.push_back(
        m_optimizer->addObserver(key, [this](const platform::ObservedChange&) { refreshStatus(); }));
  if (auto doc = lensDocument()) {
    m_observations.push_back(
        doc->addObserver("meritFunctionArray", [this](const platform::ObservedChange&) { reloadMeritFunctions(); }));
    m_observations.push_back(platform::NotificationCenter::defaultCenter().addObserver(
        analysis::kLensIsReadyNotification, doc->reference(),
        [this](const platform::Notification&) { followLens(); }));
  }

  // The worker's progress and the end of a run reach the labels and buttons here.
  m_statusTimer = new QTimer(this);
  m_statusTimer->setInterval(200);
  connect(m_statusTimer, &QTimer::timeout, this, [this] {
    // A run stopped because the document took another lens rebinds once it has ended.
    if (auto doc = lensDocument(); doc && m_optimizer && !m_optimizer->isBusy() && m_optimizer->lens() != doc->lens())
      followLens();
    refreshStatus();
  });
  m_statusTimer->start();

  reloadMeritFunctions();
  reloadVariables();
  refreshSettings();
  refreshStatus();
}

void OptimizerWindowController::followLens() {
  auto doc = lensDocument();
  if (!m_optimizer || !doc || m_optimizer->isBusy()) return;
  if (m_optimizer->lens() != doc->lens())
    m_optimizer->setLens(doc->lens());  // another lens object (Revert)
  else
    m_optimizer->variablesController()->updateArrayOfVariableDescriptors();  // older values (Undo)
  reloadVariables();
  measureMerit();
}

void OptimizerWindowController::documentLensWasReplaced() {
  // A run's best point belongs to the lens it started from, which the document no longer has.
  if (m_optimizer && m_optimizer->isBusy()) m_optimizer->stopOptimization();
  followLens();
}

void OptimizerWindowController::windowWillClose() {
  if (m_statusTimer) m_statusTimer->stop();
  m_observations.clear();
  if (m_optimizer) {
    m_optimizer->stopOptimization();
    if (auto doc = lensDocument()) doc->unbindOptimizer(*m_optimizer);
    m_optimizer->setAnalyzer(nullptr);
    m_optimizer->variablesController()->setLens(nullptr);
    m_optimizer->setLens(nullptr);
  }
  WindowControllerWithDocumentController::windowWillClose();
}

std::vector<std::shared_ptr<optimisation::MeritFunction>> OptimizerWindowController::meritFunctions() const {
  std::vector<std::shared_ptr<optimisation::MeritFunction>> out;
  if (auto doc = lensDocument())
    for (std::size_t i = 0; i < doc->countOfMeritFunctionArray(); ++i)
      if (auto f = doc->objectInMeritFunctionArrayAtIndex(i)) out.push_back(f);
  return out;
}

void OptimizerWindowController::reloadMeritFunctions() {
  auto* functions = isWindowLoaded() ? window()->findChild<QComboBox*>(QStringLiteral("functions")) : nullptr;
  if (!functions || !m_optimizer) return;
  const auto list = meritFunctions();
  QSignalBlocker block(functions);
  functions->clear();
  int current = -1;
  for (std::size_t i = 0; i < list.size(); ++i) {
    const auto& name = list[i]->name();
    functions->addItem(QString::fromStdString(name.empty() ? "Merit function " + std::to_string(i + 1) : name));
    if (list[i] == m_optimizer->analyzer()) current = static_cast<int>(i);
  }
  functions->setEnabled(!list.empty());
  // The analyzer follows the selection: the first function when the old one went away.
  if (current < 0 && !list.empty()) {
    selectMeritFunction(0);
    current = m_optimizer->analyzer() == list[0] ? 0 : -1;
  } else if (list.empty() && !m_optimizer->isBusy()) {
    m_optimizer->setAnalyzer(nullptr);
  }
  functions->setCurrentIndex(current);
  refreshStatus();
}

bool OptimizerWindowController::selectMeritFunction(int index) {
  const auto list = meritFunctions();
  if (!m_optimizer || index < 0 || static_cast<std::size_t>(index) >= list.size()) return false;
  m_optimizer->setAnalyzer(list[static_cast<std::size_t>(index)]);  // refused while running
  measureMerit();
  const bool taken = m_optimizer->analyzer() == list[static_cast<std::size_t>(index)];
  if (auto* functions = isWindowLoaded() ? window()->findChild<QComboBox*>(QStringLiteral("functions")) : nullptr) {
    QSignalBlocker block(functions);
    int shown = -1;
    for (std::size_t i = 0; i < list.size(); ++i)
      if (list[i] == m_optimizer->analyzer()) shown = static_cast<int>(i);
    functions->setCurrentIndex(shown);
  }
  refreshStatus();
  return taken;
}

bool OptimizerWindowController::addVariableWithKeyPath(const std::string& keyPath) {
  auto doc = lensDocument();
  auto lens = doc ? doc->lens() : nullptr;
  if (!lens || keyPath.empty()) return false;
  const auto has = [&] {
    const auto paths = lens->keyPathsForVariables();
    return std::find(paths.begin(), paths.end(), keyPath) != paths.end();
  };
  if (has()) return true;
  const auto solve = variableSolveFor(keyPath);
  auto refuse = [&](const std::string& why) {
    showMessage(isWindowLoaded() ? window() : nullptr, "The variable was not added.", why);
    return false;
  };
  if (!solve)
    return refuse("\"" + keyPath +
                  "\" names no lens value that can vary: use a surface's curvature, thickness, conicConstant or "
                  "semidiameter, such as s1.curvature.");
  if (m_optimizer && m_optimizer->isBusy()) return refuse("The optimizer is running.");
  try {
    lens->setValueForKeyPath(solve->first, platform::Value(solve->second));
  } catch (const platform::Exception& e) {
    return refuse(e.reason());
  }
  if (!has()) return refuse("The lens has no value \"" + keyPath + "\" that can vary.");
  return true;
}

void OptimizerWindowController::measureMerit() {
  m_idleMerit.reset();
  auto doc = lensDocument();
  auto lens = doc ? doc->lens() : nullptr;
  if (m_optimizer && m_optimizer->analyzer() && lens) {
    // A copy: the document's merit function may be measuring for another window.
    auto merit = m_optimizer->analyzer()->copy();
    try {
      merit->setLens(lens);
      merit->evaluate();
      m_idleMerit = merit->doubleValue();
    } catch (const platform::Exception&) {
    }
  }
  refreshStatus();
}

void OptimizerWindowController::start() {
  if (!m_optimizer) return;
  m_optimizer->startOptimization();
  refreshStatus();
}

void OptimizerWindowController::stop() {
  if (m_optimizer) m_optimizer->stopOptimization();
  refreshStatus();
}

void OptimizerWindowController::setMinimizerTag(unsigned tag) {
  if (!m_optimizer) return;
  m_optimizer->setPreferredMinimizerTag(tag);
  platform::UserDefaults::standard().setObject(kPreferredTagKey, static_cast<std::int64_t>(tag));
  if (auto* minimizer = isWindowLoaded() ? window()->findChild<QComboBox*>(QStringLiteral("minimizer")) : nullptr) {
    QSignalBlocker block(minimizer);
    minimizer->setCurrentIndex(std::max(0, minimizer->findData(tag)));
  }
}

void OptimizerWindowController::settingEdited(const std::string& key, const QString& text) {
  QString why;
  const auto v = parseNumber(text, &why);
  if (v) {
    if (key == "convergenceStandardError")
      m_optimizer->setConvergenceStandardError(*v);
    else if (key == "convergenceSize")
      m_optimizer->setConvergenceSize(*v);
    else if (key == "convergenceValue")
      m_optimizer->setConvergenceValue(*v);
    else if (key == "universeRadius")
      m_optimizer->setUniverseRadius(*v);
    else if (key == "maxIteration" && *v >= 0 && std::isfinite(*v))
      m_optimizer->setMaxIteration(static_cast<std::uint64_t>(std::llround(*v)));
  }
  refreshSettings();  // a rejected entry shows the setting as it stands
  if (!v && isWindowLoaded())
    for (const auto& [settingKey, title] : kSettings)
      if (settingKey == key)
        if (auto* f = window()->findChild<QLineEdit*>(QString::fromUtf8(settingKey)))
          showRefusedEntry(f, keptValueMessage(why, QString::fromUtf8(title), f->text()));
}

void OptimizerWindowController::refreshSettings() {
  if (!isWindowLoaded() || !m_optimizer) return;
  auto set = [&](const char* key, const QString& text) {
    if (auto* f = window()->findChild<QLineEdit*>(QString::fromUtf8(key))) f->setText(text);
  };
  set("convergenceStandardError", setting(m_optimizer->convergenceStandardError()));
  set("convergenceSize", setting(m_optimizer->convergenceSize()));
  set("convergenceValue", setting(m_optimizer->convergenceValue()));
  set("universeRadius", setting(m_optimizer->universeRadius()));
  set("maxIteration", QString::number(m_optimizer->maxIteration()));
}

void OptimizerWindowController::refreshStatus() {
  if (!isWindowLoaded() || !m_optimizer) return;
  auto* w = window();
  const bool running = m_optimizer->isBusy() || m_optimizer->isOptimizing();
  if (m_wasRunning && !running) {
    m_wasRunning = false;
    measureMerit();  // the lens the run left
    return;
  }
  m_wasRunning = running;
  if (auto* chatter = w->findChild<QLabel*>(QStringLiteral("chatter")))
    chatter->setText(QString::fromStdString(m_optimizer->chatter()));
  if (auto* merit = w->findChild<QLabel*>(QStringLiteral("meritValue"))) {
    const auto& monitor = m_optimizer->meritMonitor();
    QString text;
    if (monitor.isDictionary()) {
      const auto v = monitor.asDictionary().get("doubleValue");
      if (!v.isNil()) text = number(v.asDouble());
    } else if (m_idleMerit) {
      text = number(*m_idleMerit);
    }
    merit->setText(text);
  }
  if (auto* b = w->findChild<QPushButton*>(QStringLiteral("start"))) b->setEnabled(!running && m_optimizer->analyzer());
  if (auto* b = w->findChild<QPushButton*>(QStringLiteral("stop"))) b->setEnabled(running);
  for (const char* name : {"functions", "minimizer"})
    if (auto* c = w->findChild<QComboBox*>(QString::fromUtf8(name))) c->setEnabled(!running && c->count() > 0);
  if (auto* b = w->findChild<QPushButton*>(QStringLiteral("addVariable"))) b->setEnabled(!running);
  if (auto* t = table())
    t->setEditTriggers(running ? QAbstractItemView::NoEditTriggers : QAbstractItemView::AllEditTriggers);
}

void OptimizerWindowController::reloadVariables() {
  auto* t = table();
  if (!t || !m_optimizer) return;
  m_filling = true;
  const auto& monitor = m_optimizer->variablesMonitor();
  struct Row {
    std::string keyPath;
    double value, scale, minimum, maximum;
    bool enabled;
  };
  std::vector<Row> rows;
  if (monitor.isDictionary()) {  // a snapshot during a run
    const auto entries = monitor.asDictionary().get("arrayOfVariableDescriptors");
    if (entries.isArray())
      for (const auto& e : entries.asArray()) {
        if (!e.isDictionary()) continue;
        const auto& d = e.asDictionary();
        auto num = [&](const char* k, double fallback) {
          const auto v = d.get(k);
          return v.isNil() ? fallback : v.asDouble();
        };
        const auto enabled = d.get("enabled");
        rows.push_back({d.get("keyPath").isNil() ? std::string() : d.get("keyPath").asString(), num("value", 0),
                        num("scale", 0), num("minimum", -INFINITY), num("maximum", INFINITY),
                        enabled.isNil() || enabled.asBool()});
      }
  } else {
    for (const auto& d : m_optimizer->variablesController()->arrayOfVariableDescriptors())
      rows.push_back({d->keyPath(), d->value(), d->scale(), d->minimum(), d->maximum(), d->enabled()});
  }
  t->setRowCount(static_cast<int>(rows.size()));
  for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
    const auto& row = rows[static_cast<std::size_t>(r)];
    auto* on = new QTableWidgetItem();
    on->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsSelectable);
    on->setCheckState(row.enabled ? Qt::Checked : Qt::Unchecked);
    t->setItem(r, kEnabledColumn, on);
    auto* key = new QTableWidgetItem(QString::fromStdString(row.keyPath));
    key->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    t->setItem(r, kKeyPathColumn, key);
    const double values[] = {row.value, row.scale, row.minimum, row.maximum};
    for (int c = 0; c < 4; ++c) {
      auto* item = new QTableWidgetItem(number(values[c]));
      item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
      t->setItem(r, kValueColumn + c, item);
    }
  }
  m_filling = false;
}

void OptimizerWindowController::variableEdited(int row, int column) {
  if (m_filling || !m_optimizer || m_optimizer->isBusy()) return;
  const auto& descriptors = m_optimizer->variablesController()->arrayOfVariableDescriptors();
  if (row < 0 || static_cast<std::size_t>(row) >= descriptors.size()) return;
  const auto d = descriptors[static_cast<std::size_t>(row)];
  auto* item = table()->item(row, column);
  if (!item) return;
  if (column == kEnabledColumn) {
    d->setEnabled(item->checkState() == Qt::Checked);
  } else if (QString why; const auto v = parseNumber(item->text(), &why)) {
    switch (column) {
      case kValueColumn:
        if (std::isfinite(*v)) d->setValue(*v);
        break;
      case kScaleColumn:
        if (std::isfinite(*v) && *v > 0) d->setScale(*v);  // a zero or negative step cannot move the variable
        break;
      case kMinimumColumn:
        d->setMinimum(*v);
        break;
      case kMaximumColumn:
        d->setMaximum(*v);
        break;
      default:
        break;
    }
  } else if (column >= kValueColumn && column < kValueColumn + 4) {
    const double kept[] = {d->value(), d->scale(), d->minimum(), d->maximum()};
    const auto* header = table()->horizontalHeaderItem(column);
    showRefusedEntry(table(), keptValueMessage(why, header ? header->text() : QString(),
                                               number(kept[column - kValueColumn])));
  }
  // Shows what the descriptor holds now: a refused entry reverts.
  QTimer::singleShot(0, this, [this] { reloadVariables(); });
}

void registerOptimizerWindow() { interfacefile::registerLoader("Optimizer", loadOptimizer); }

SmartWindowController* makeOptimizerWindowController(const std::string& nibName,
                                                     const std::shared_ptr<SmartDocument>& document) {
  return new OptimizerWindowController(nibName, document);
}

}  // namespace orb::app
