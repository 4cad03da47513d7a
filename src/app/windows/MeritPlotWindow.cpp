#include "app/tables/Formatters.h"
#include "app/windows/MeritPlotWindow.h"

#include <QAction>
#include <QComboBox>
#include <QTimer>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QVBoxLayout>
#include <cmath>

#include "app/Messages.h"
#include "app/document/OBDocument.h"
#include "app/windows/InterfaceFile.h"
#include "app/windows/OBWindow.h"
#include "optimisation/CalcMeritVsParameter.h"
#include "optimisation/MeritFunction.h"
#include "platform/UserDefaults.h"
#include "rendering/PlotViewWithPOI.h"

namespace orb::app {

namespace {

QString number(double v) { return QString::number(v, 'g', 10); }  // read back with a decimal point in every locale

std::optional<double> parseNumber(const QString& text, QString* why) { return typedNumber(text, false, why); }

InterfaceOutlets loadMeritPlot(OBWindow& window) {
  window.setWindowTitle(QStringLiteral("Merit versus Parameter"));
  auto* content = new QWidget(&window);
  auto* column = new QVBoxLayout(content);
  auto* choices = new QHBoxLayout();
  auto* functions = new QComboBox(content);
  functions->setObjectName(QStringLiteral("functions"));
  auto* keyPath = new QComboBox(content);
  keyPath->setObjectName(QStringLiteral("constructionKeyPath"));
  keyPath->setEditable(true);
  choices->addWidget(new QLabel(QStringLiteral("Merit function"), content));
  choices->addWidget(functions, 1);
  choices->addWidget(new QLabel(QStringLiteral("Parameter"), content));
  choices->addWidget(keyPath, 1);
  column->addLayout(choices);

  auto* range = new QHBoxLayout();
  const std::pair<const char*, const char*> fields[] = {
      {"nominalValue", "Nominal"}, {"delta", "±"}, {"numberOfPoints", "Points"}};
  for (const auto& [key, title] : fields) {
    auto* field = new QLineEdit(content);
    field->setObjectName(QString::fromUtf8(key));
    field->setAlignment(Qt::AlignRight);
    range->addWidget(new QLabel(QString::fromUtf8(title), content));
    range->addWidget(field, 1);
  }
  const std::pair<const char*, const char*> buttons[] = {
      {"getNominalValueFromLens", "From Lens"}, {"pushNominalValueToLens", "To Lens"}, {"calculate", "Calculate"}};
  for (const auto& [name, title] : buttons) {
    auto* b = new QPushButton(QString::fromUtf8(title), content);
    b->setObjectName(QString::fromUtf8(name));
    b->setAutoDefault(false);
    range->addWidget(b);
  }
  column->addLayout(range);

  auto* plot = new rendering::PlotViewWithPOI(content);
  plot->setObjectName(QStringLiteral("plotView"));
  plot->setMinimumSize(400, 300);
  plot->nontrivialize();
  column->addWidget(plot, 1);

  // A point clicked on the curve becomes the nominal value: from the plot's context menu or
  // the buttons under it.
  auto* selection = new QHBoxLayout();
  selection->addStretch();
  const std::pair<const char*, const char*> pick[] = {
      {"setAbscissaToPresentSelection", "Set Abscissa to Present Selection"},
      {"setAbscissaToPresentSelectionAndCalculate", "Set Abscissa to Present Selection and Calculate"}};
  for (const auto& [name, title] : pick) {
    auto* b = new QPushButton(QString::fromUtf8(title), content);
    b->setObjectName(QString::fromUtf8(name));
    b->setAutoDefault(false);
    b->setToolTip(QStringLiteral("Click a point of the curve first"));
    selection->addWidget(b);
    auto* item = new QAction(QString::fromUtf8(title), plot);
    item->setObjectName(QString::fromUtf8(name));
    QObject::connect(item, &QAction::triggered, b, &QPushButton::click);
    plot->addAction(item);
  }
  plot->setContextMenuPolicy(Qt::ActionsContextMenu);
  column->addLayout(selection);
  window.setCentralWidget(content);
  window.resize(640, 480);

  InterfaceOutlets outlets;
  outlets.view = plot;
  outlets.calculator = optimisation::CalcMeritVsParameter::create(platform::UserDefaults::standard());
  return outlets;
}

}  // namespace

MeritPlotWindowController::MeritPlotWindowController(std::string nibName,
                                                     const std::shared_ptr<SmartDocument>& document)
    : LensPlotWindowController(std::move(nibName), document) {}

MeritPlotWindowController::~MeritPlotWindowController() { closeIfOpen(); }

std::shared_ptr<OBDocument> MeritPlotWindowController::lensDocument() const {
  return std::dynamic_pointer_cast<OBDocument>(document());
}

std::shared_ptr<optimisation::CalcMeritVsParameter> MeritPlotWindowController::meritCalculator() const {
  return std::dynamic_pointer_cast<optimisation::CalcMeritVsParameter>(calculator());
}

void MeritPlotWindowController::awakeFromNib() {
  LensPlotWindowController::awakeFromNib();
  if (m_awakeAlready) return;
  m_awakeAlready = true;
  auto* w = window();
  auto connectButton = [&](const char* name, auto action) {
    if (auto* b = w->findChild<QPushButton*>(QString::fromUtf8(name))) connect(b, &QPushButton::clicked, this, action);
  };
  connectButton("calculate", [this] { calculate(); });
  connectButton("pushNominalValueToLens", [this] { pushNominalValueToLens(); });
  connectButton("getNominalValueFromLens", [this] { getNominalValueFromLens(); });
  connectButton("setAbscissaToPresentSelection", [this] { setAbscissaToPresentSelection(); });
  connectButton("setAbscissaToPresentSelectionAndCalculate", [this] { setAbscissaToPresentSelectionAndCalculate(); });
  if (auto* functions = w->findChild<QComboBox*>(QStringLiteral("functions")))
    connect(functions, &QComboBox::activated, this, [this](int index) { selectMeritFunction(index); });
  if (auto* keyPath = w->findChild<QComboBox*>(QStringLiteral("constructionKeyPath")))
    connect(keyPath, &QComboBox::textActivated, this,
            [this](const QString& text) { setConstructionKeyPath(text.trimmed().toStdString()); });
  for (const char* key : {"nominalValue", "delta", "numberOfPoints"})
    if (auto* field = w->findChild<QLineEdit*>(QString::fromUtf8(key))) {
      const std::string k = key;
      connect(field, &QLineEdit::editingFinished, this, [this, k] { fieldEdited(k); });
    }
  if (auto doc = lensDocument())
    m_observations.push_back(
        doc->addObserver("meritFunctionArray", [this](const platform::ObservedChange&) { reloadMeritFunctions(); }));
  if (auto c = meritCalculator())
    for (const char* key : {"nominalValue", "delta"})
      m_observations.push_back(c->addObserver(key, [this](const platform::ObservedChange&) { refreshFields(); }));
  reloadMeritFunctions();
  reloadKeyPaths();
  refreshFields();
}

void MeritPlotWindowController::windowWillClose() {
  m_observations.clear();
  if (auto c = meritCalculator()) {
    c->stopCalculation();
    c->setMeritFunction(nullptr);
  }
  m_selected.reset();
  LensPlotWindowController::windowWillClose();
}

std::vector<std::shared_ptr<optimisation::MeritFunction>> MeritPlotWindowController::meritFunctions() const {
  std::vector<std::shared_ptr<optimisation::MeritFunction>> out;
  if (auto doc = lensDocument())
    for (std::size_t i = 0; i < doc->countOfMeritFunctionArray(); ++i)
      if (auto f = doc->objectInMeritFunctionArrayAtIndex(i)) out.push_back(f);
  return out;
}

bool MeritPlotWindowController::selectMeritFunction(int index) {
  const auto list = meritFunctions();
  auto c = meritCalculator();
  if (!c || index < 0 || static_cast<std::size_t>(index) >= list.size()) return false;
  m_selected = list[static_cast<std::size_t>(index)];
  c->setMeritFunction(m_selected);
  if (auto* functions = window()->findChild<QComboBox*>(QStringLiteral("functions"))) {
    QSignalBlocker block(functions);
    functions->setCurrentIndex(index);
  }
  return true;
}

void MeritPlotWindowController::reloadMeritFunctions() {
  auto* functions = isWindowLoaded() ? window()->findChild<QComboBox*>(QStringLiteral("functions")) : nullptr;
  if (!functions) return;
  const auto list = meritFunctions();
  int current = -1;
  {
    QSignalBlocker block(functions);
    functions->clear();
    for (std::size_t i = 0; i < list.size(); ++i) {
      const auto& name = list[i]->name();
      functions->addItem(QString::fromStdString(name.empty() ? "Merit function " + std::to_string(i + 1) : name));
      if (list[i] == m_selected) current = static_cast<int>(i);
    }
  }
  if (current >= 0)
    selectMeritFunction(current);
  else if (!list.empty())
    selectMeritFunction(0);
  else if (auto c = meritCalculator()) {
    m_selected.reset();
    c->setMeritFunction(nullptr);
  }
}

void MeritPlotWindowController::reloadKeyPaths() {
  auto* keyPath = isWindowLoaded() ? window()->findChild<QComboBox*>(QStringLiteral("constructionKeyPath")) : nullptr;
  auto c = meritCalculator();
  if (!keyPath || !c) return;
  QSignalBlocker block(keyPath);
  keyPath->clear();
  for (const auto& k : c->keyPathsForVariables()) keyPath->addItem(QString::fromStdString(k));
  if (c->constructionKeyPath().empty() && keyPath->count() > 0 && c->lens())
    c->setConstructionKeyPath(keyPath->itemText(0).toStdString());
  keyPath->setCurrentText(QString::fromStdString(c->constructionKeyPath()));
}

void MeritPlotWindowController::setConstructionKeyPath(const std::string& keyPath) {
  if (auto c = meritCalculator()) c->setConstructionKeyPath(keyPath);
  refreshFields();
}

void MeritPlotWindowController::refreshFields() {
  auto c = meritCalculator();
  if (!c || !isWindowLoaded()) return;
  auto set = [&](const char* key, const QString& text) {
    if (auto* f = window()->findChild<QLineEdit*>(QString::fromUtf8(key))) f->setText(text);
  };
  set("nominalValue", number(c->nominalValue()));
  set("delta", number(c->delta()));
  set("numberOfPoints", QString::number(c->numberOfPoints()));
}

void MeritPlotWindowController::fieldEdited(const std::string& key) {
  auto c = meritCalculator();
  auto* field = c ? window()->findChild<QLineEdit*>(QString::fromStdString(key)) : nullptr;
  if (!field) return;
  QString why;
  if (const auto v = parseNumber(field->text(), &why)) {
    if (key == "nominalValue")
      c->setNominalValue(*v);
    else if (key == "delta" && *v > 0)
      c->setDelta(*v);
    else if (key == "numberOfPoints" && *v >= 2 && *v <= 100000)
      c->setNumberOfPoints(static_cast<std::int32_t>(*v));
  }
  refreshFields();
  if (!why.isEmpty()) {
    const char* title = key == "nominalValue" ? "nominal value" : key == "delta" ? "delta" : "number of points";
    showRefusedEntry(field, keptValueMessage(why, QString::fromUtf8(title), field->text()));
  }
}

void MeritPlotWindowController::calculate() {
  auto c = meritCalculator();
  if (!c) return;
  // The lens may have come after the window was set up: the key paths are known only now.
  if (c->constructionKeyPath().empty()) reloadKeyPaths();
  c->startCalculation();
}

rendering::PlotViewWithPOI* MeritPlotWindowController::plotView() const {
  return dynamic_cast<rendering::PlotViewWithPOI*>(view());
}

bool MeritPlotWindowController::setAbscissaToPresentSelection() {
  auto c = meritCalculator();
  auto* plot = plotView();
  if (!c || !plot) return false;
  if (!plot->hasPointOfInterest()) {
    showRefusedEntry(plot, QStringLiteral("Click a point of the curve first."));
    return false;
  }
  // A pick set without a redraw has indices but no coordinates yet.
  plot->updatePointOfInterestDescription();
  c->setNominalValue(plot->pointOfInterestAbscissa());
  refreshFields();
  return true;
}

void MeritPlotWindowController::setAbscissaToPresentSelectionAndCalculate() {
  if (!setAbscissaToPresentSelection()) return;
  // The old point would mark a stale place on the new scan.
  plotView()->resetPOI();
  QTimer::singleShot(100, this, [this] { calculate(); });
}

void MeritPlotWindowController::pushNominalValueToLens() {
  if (auto c = meritCalculator()) c->saveNominalValue();
}

void MeritPlotWindowController::getNominalValueFromLens() {
  if (auto c = meritCalculator()) c->updateNominalValue();
  refreshFields();
}

void registerMeritPlotWindow() { interfacefile::registerLoader("MeritPlot", loadMeritPlot); }

SmartWindowController* makeMeritPlotWindowController(const std::string& nibName,
                                                     const std::shared_ptr<SmartDocument>& document) {
  return new MeritPlotWindowController(nibName, document);
}

}  // namespace orb::app
