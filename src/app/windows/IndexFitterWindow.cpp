#include "app/windows/IndexFitterWindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSplitter>
#include <QTableWidget>
#include <QToolBar>
#include <QVBoxLayout>
#include <algorithm>

#include "app/Messages.h"
#include "app/tables/DNDTableView.h"
#include "app/tables/Formatters.h"
#include "app/tables/SmallTables.h"
#include "app/windows/ExportSheet.h"
#include "app/windows/InterfaceFile.h"
#include "app/windows/OBWindow.h"
#include "app/windows/ObjectController.h"
#include "materials/Glass.h"
#include "materials/IndexFitter.h"
#include "platform/Exception.h"
#include "rendering/PlotViewWithPOI.h"

namespace orb::app {

namespace {

using materials::Glass;
using materials::IndexFitter;
using platform::Dictionary;
using platform::Value;

constexpr const char* kNibName = "IndexFitter";

/// The fitter's index rows as a table: edits, additions and removals go to the fitter, and
/// the table re-reads the rows whenever the fitter's change (a generation, a new glass).
class FitterIndexController : public IndexArrayController {
 public:
  FitterIndexController(const std::shared_ptr<IndexFitter>& fitter, QObject* parent)
      : IndexArrayController(nullptr, parent), m_fitter(fitter) {
    std::weak_ptr<IndexFitter> weak = fitter;
    ArrayBinding binding;
    binding.objects = [weak] {
      std::vector<ObjectPtr> rows;
      if (auto f = weak.lock())
        for (const Value& row : f->indexData())
          rows.push_back(KeyValueRow::row(row.isDictionary() ? row.asDictionary() : Dictionary()));
      return rows;
    };
    binding.insert = [weak](ObjectPtr object, std::size_t at) {
      auto f = weak.lock();
      if (!f) return;
      auto row = std::dynamic_pointer_cast<KeyValueRow>(object);
      f->insertObjectInIndexDataAtIndex(row ? Value(row->values()) : Value(Dictionary()), at);
    };
    binding.remove = [weak](std::size_t at) {
      if (auto f = weak.lock()) f->removeObjectFromIndexDataAtIndex(at);
    };
    setContent(std::move(binding));
    m_rows = fitter->addObserver("indexData", [this](const platform::ObservedChange&) { reloadContent(); });
  }

  // The fitter gives a row without numbers the default of its unit.
  ObjectPtr newObject() override { return KeyValueRow::row(); }

  bool setData(const QModelIndex& index, const QVariant& value, int role) override {
    if (!IndexArrayController::setData(index, value, role)) return false;
    auto f = m_fitter.lock();
    if (!f) return true;
    const std::string& key = columns()[static_cast<std::size_t>(index.column())].keyPath;
    const Value edited = arrangedObjects()[static_cast<std::size_t>(index.row())]->valueForKeyPath(key);
    if (edited.isNumber()) f->setIndexDataValue(static_cast<std::size_t>(index.row()), key, edited.asDouble());
    return true;
  }

 private:
  std::weak_ptr<IndexFitter> m_fitter;
  platform::Observation m_rows;
};

/// Everything beside the plot: the rows, the glass's formula and coefficients, the fit and
/// the plot settings. Shows the fitter's state afresh (once per event-loop turn) whenever
/// the fitter publishes a plot, which it does after every change.
class FitterPanel : public QWidget {
 public:
  FitterPanel(const std::shared_ptr<IndexFitter>& fitter, QWidget* parent) : QWidget(parent), m_fitter(fitter) {
    setObjectName(QStringLiteral("indexFitterPanel"));
    auto* column = new QVBoxLayout(this);

    auto* glassForm = new QFormLayout;
    m_name = new QLineEdit;
    m_name->setObjectName(QStringLiteral("glassName"));
    m_formula = new QComboBox;
    m_formula->setObjectName(QStringLiteral("formula"));
    glassForm->addRow(QStringLiteral("Glass"), m_name);
    glassForm->addRow(QStringLiteral("Formula"), m_formula);
    column->addLayout(glassForm);

    auto* rowsLabel = new QLabel(QStringLiteral("Measured indices"));
    column->addWidget(rowsLabel);
    m_rows = new FitterIndexController(fitter, this);
    auto* table = new DNDTableView;
    table->setObjectName(QStringLiteral("indexTable"));
    table->setModel(m_rows);
    m_rows->setTableView(table);
    table->horizontalHeader()->setStretchLastSection(true);
    column->addWidget(table, 2);
    auto* rowButtons = new QHBoxLayout;
    auto* add = button(QStringLiteral("+"), "addIndexRow", rowButtons);
    auto* remove = button(QStringLiteral("−"), "removeIndexRows", rowButtons);
    auto* generate = button(QStringLiteral("Generate"), "generateIndexData", rowButtons);
    generate->setToolTip(QStringLiteral("100 rows over the wavelength range from the present formula"));
    rowButtons->addStretch();
    column->addLayout(rowButtons);

    column->addWidget(new QLabel(QStringLiteral("Coefficients")));
    m_coefficients = new QTableWidget(0, 3);
    m_coefficients->setObjectName(QStringLiteral("coefficientTable"));
    m_coefficients->setHorizontalHeaderLabels(
        {QStringLiteral("Name"), QStringLiteral("Value"), QStringLiteral("Vary")});
    m_coefficients->verticalHeader()->hide();
    m_coefficients->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
    column->addWidget(m_coefficients, 2);
    auto* fitButtons = new QHBoxLayout;
    auto* fit = button(QStringLiteral("Fit"), "fit", fitButtons);
    fit->setDefault(true);
    auto* typical = button(QStringLiteral("Typical"), "setTypicalCoefficients", fitButtons);
    typical->setToolTip(QStringLiteral("Starting values typical of the formula for these rows"));
    auto* clear = button(QStringLiteral("Clear"), "clearCoefficients", fitButtons);
    fitButtons->addStretch();
    column->addLayout(fitButtons);
    m_chiSquared = new QLabel;
    m_chiSquared->setObjectName(QStringLiteral("chiSquared"));
    m_chiSquared->setTextInteractionFlags(Qt::TextSelectableByMouse);
    column->addWidget(m_chiSquared);

    auto* settings = new QFormLayout;
    m_units = new QComboBox;
    m_units->setObjectName(QStringLiteral("units"));
    m_units->addItem(QStringLiteral("µm"), 0);
    m_units->addItem(QStringLiteral("nm"), 1);
    m_lambdaMin = spin("lambdaMin");
    m_lambdaMax = spin("lambdaMax");
    m_rangeFromData = new QCheckBox(QStringLiteral("Range from the rows"));
    m_rangeFromData->setObjectName(QStringLiteral("wavelengthRangeDeterminedByData"));
    m_residual = new QCheckBox(QStringLiteral("Plot residuals (data − formula)"));
    m_residual->setObjectName(QStringLiteral("plotResidual"));
    settings->addRow(QStringLiteral("Wavelengths in"), m_units);
    settings->addRow(QStringLiteral("From"), m_lambdaMin);
    settings->addRow(QStringLiteral("To"), m_lambdaMax);
    settings->addRow(m_rangeFromData);
    settings->addRow(m_residual);
    column->addLayout(settings);

    // Actions. Every fitter call refreshes its plot, and with it this panel.
    auto with = [this](auto action) {
      return [this, action] {
        if (auto f = m_fitter.lock()) action(*f);
      };
    };
    connect(add, &QPushButton::clicked, this, [this] { m_rows->add(); });
    connect(remove, &QPushButton::clicked, this, [this] { m_rows->remove(); });
    connect(generate, &QPushButton::clicked, this, with([](IndexFitter& f) { f.generateIndexData(); }));
    connect(fit, &QPushButton::clicked, this, with([](IndexFitter& f) { f.fit(); }));
    connect(typical, &QPushButton::clicked, this, with([](IndexFitter& f) { f.setTypicalCoefficients(); }));
    connect(clear, &QPushButton::clicked, this, with([](IndexFitter& f) { f.clearCoefficients(); }));
    connect(m_name, &QLineEdit::editingFinished, this, with([this](IndexFitter& f) {
              if (!f.glass() || m_name->text().trimmed().isEmpty()) return;
              f.glass()->setName(m_name->text().trimmed().toStdString());
              f.updatePlotDictionary();
            }));
    connect(m_formula, &QComboBox::activated, this, [this](int item) {
      auto f = m_fitter.lock();
      if (!f || !f->glass()) return;
      // A new formula's coefficients are all offered for fitting, as a new glass's are.
      f->glass()->setFormula(m_formula->itemData(item).toInt());
      f->glass()->makeAllCoefficientsVariable();
      f->updateCoefficientData();
      f->updatePlotDictionary();
    });
    connect(m_coefficients, &QTableWidget::itemChanged, this,
            [this](QTableWidgetItem* item) { coefficientEdited(item); });
    connect(m_units, &QComboBox::activated, this, [this](int item) {
      if (auto f = m_fitter.lock()) f->setUnitsTag(m_units->itemData(item).toInt());
    });
    connect(m_lambdaMin, &QDoubleSpinBox::editingFinished, this, with([this](IndexFitter& f) {
              if (m_lambdaMin->value() != f.lambdaMin()) f.setLambdaMinGUI(m_lambdaMin->value());
            }));
    connect(m_lambdaMax, &QDoubleSpinBox::editingFinished, this, with([this](IndexFitter& f) {
              if (m_lambdaMax->value() != f.lambdaMax()) f.setLambdaMaxGUI(m_lambdaMax->value());
            }));
    connect(m_rangeFromData, &QCheckBox::clicked, this, [this](bool on) {
      if (auto f = m_fitter.lock()) f->setWavelengthRangeDeterminedByData(on);
    });
    connect(m_residual, &QCheckBox::clicked, this, [this](bool on) {
      if (auto f = m_fitter.lock()) f->setPlotResidual(on);
    });

    for (const char* key : {"plotDictionary", "chiSquared", "coefficientData", "glass"})
      m_observations.push_back(
          fitter->addObserver(key, [this](const platform::ObservedChange&) { scheduleRefresh(); }));
    refresh();
  }

 private:
  QPushButton* button(const QString& title, const char* name, QHBoxLayout* row) {
    auto* b = new QPushButton(title);
    b->setObjectName(QString::fromUtf8(name));
    b->setAutoDefault(false);
    row->addWidget(b);
    return b;
  }

  static QDoubleSpinBox* spin(const char* name) {
    auto* s = new QDoubleSpinBox;
    s->setObjectName(QString::fromUtf8(name));
    s->setRange(0, 1e6);
    s->setDecimals(4);
    s->setKeyboardTracking(false);
    return s;
  }

  // Edits arrive from inside the table's own signal: the table is rebuilt afterwards.
  void scheduleRefresh() {
    if (m_refreshPending) return;
    m_refreshPending = true;
    QPointer<FitterPanel> self = this;
    QMetaObject::invokeMethod(
        this,
        [self] {
          if (self) self->refresh();
        },
        Qt::QueuedConnection);
  }

  void coefficientEdited(QTableWidgetItem* item) {
    auto f = m_fitter.lock();
    if (m_filling || !f || !f->glass()) return;
    const QTableWidgetItem* nameItem = m_coefficients->item(item->row(), 0);
    if (!nameItem) return;
    const std::string name = nameItem->text().toStdString();
    if (item->column() == 1) {
      QString why;
      if (const auto value = typedNumber(item->text(), false, &why))
        f->glass()->setCoefficientValue(*value, name);
      else
        showRefusedEntry(m_coefficients, keptValueMessage(why, QString::fromStdString(name), QString()));
      f->updateCoefficientData();
      f->updatePlotDictionary();
    } else if (item->column() == 2) {
      f->glass()->setCoefficientIsVariable(item->checkState() == Qt::Checked, name);
      f->updateCoefficientData();
    }
    scheduleRefresh();
  }

  void refresh() {
    m_refreshPending = false;
    auto f = m_fitter.lock();
    if (!f) return;
    const std::shared_ptr<Glass>& glass = f->glass();
    {
      const QSignalBlocker blockName(m_name), blockFormula(m_formula), blockUnits(m_units);
      const QSignalBlocker blockMin(m_lambdaMin), blockMax(m_lambdaMax);
      if (!m_name->hasFocus()) m_name->setText(glass ? QString::fromStdString(glass->name()) : QString());
      m_formula->clear();
      if (glass) {
        const auto& names = glass->formulaNames();
        const auto& numbers = glass->formulaNumbers();
        for (std::size_t i = 0; i < names.size() && i < numbers.size(); ++i)
          m_formula->addItem(QString::fromStdString(names[i]), numbers[i]);
        m_formula->setCurrentIndex(m_formula->findData(glass->formula()));
      }
      m_formula->setEnabled(glass && glass->isMutable());
      m_units->setCurrentIndex(m_units->findData(f->unitsTag()));
      m_lambdaMin->setValue(f->lambdaMin());
      m_lambdaMax->setValue(f->lambdaMax());
      m_rangeFromData->setChecked(f->wavelengthRangeDeterminedByData());
      m_residual->setChecked(f->plotResidual());
    }
    m_chiSquared->setText(QStringLiteral("χ² = ") + QString::fromStdString(platform::format("%.6g", f->chiSquared())));

    m_filling = true;
    platform::Array rows = glass ? glass->invertedCoefficientDictionary() : platform::Array();
    // In the formula's own order, not the dictionary's.
    if (glass) {
      const auto& order = glass->coefficientNames();
      auto position = [&order](const Value& row) {
        const Value* name = row.asDictionary().find("coefficientName");
        const auto at =
            name && name->isString() ? std::find(order.begin(), order.end(), name->asString()) : order.end();
        return at - order.begin();
      };
      std::stable_sort(rows.begin(), rows.end(),
                       [&position](const Value& a, const Value& b) { return position(a) < position(b); });
    }
    m_coefficients->setRowCount(static_cast<int>(rows.size()));
    for (std::size_t i = 0; i < rows.size(); ++i) {
      const Dictionary& row = rows[i].asDictionary();
      const Value* name = row.find("coefficientName");
      const Value* value = row.find("coefficientValue");
      const Value* variable = row.find("coefficientIsVariable");
      auto* nameItem =
          new QTableWidgetItem(name && name->isString() ? QString::fromStdString(name->asString()) : QString());
      nameItem->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
      // Enough digits that a copied coefficient reproduces the fit.
      auto* valueItem = new QTableWidgetItem(
          QString::fromStdString(platform::format("%.15g", value && value->isNumber() ? value->asDouble() : 0.0)));
      auto* variableItem = new QTableWidgetItem;
      variableItem->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
      variableItem->setCheckState(variable && variable->asBool() ? Qt::Checked : Qt::Unchecked);
      const int r = static_cast<int>(i);
      m_coefficients->setItem(r, 0, nameItem);
      m_coefficients->setItem(r, 1, valueItem);
      m_coefficients->setItem(r, 2, variableItem);
    }
    m_filling = false;
  }

  std::weak_ptr<IndexFitter> m_fitter;
  FitterIndexController* m_rows;
  QLineEdit* m_name;
  QComboBox* m_formula;
  QTableWidget* m_coefficients;
  QLabel* m_chiSquared;
  QComboBox* m_units;
  QDoubleSpinBox* m_lambdaMin;
  QDoubleSpinBox* m_lambdaMax;
  QCheckBox* m_rangeFromData;
  QCheckBox* m_residual;
  std::vector<platform::Observation> m_observations;
  bool m_refreshPending = false;
  bool m_filling = false;
};

InterfaceOutlets loadIndexFitter(OBWindow& window) {
  auto fitter = IndexFitter::indexFitter();
  auto* splitter = new QSplitter(Qt::Horizontal, &window);
  auto* plot = new rendering::PlotViewWithPOI(splitter);
  plot->setObjectName(QStringLiteral("plotView"));
  plot->setMinimumSize(320, 280);
  auto* panel = new FitterPanel(fitter, splitter);
  splitter->addWidget(plot);
  splitter->addWidget(panel);
  splitter->setStretchFactor(0, 3);
  splitter->setStretchFactor(1, 2);
  window.setCentralWidget(splitter);
  window.setWindowTitle(QStringLiteral("Index Fitter"));
  window.resize(900, 600);
  InterfaceOutlets outlets;
  outlets.view = plot;
  outlets.calculator = std::move(fitter);
  return outlets;
}

}  // namespace

IFWindowController::IFWindowController(std::string nibName)
    : PlotWindowController(std::move(nibName)), m_singleton(platform::makeObject<ObjectController>()) {}

IFWindowController::~IFWindowController() { closeIfOpen(); }

std::shared_ptr<IndexFitter> IFWindowController::indexFitter() const {
  return std::dynamic_pointer_cast<IndexFitter>(calculatorController()->content());
}

std::vector<std::string> IFWindowController::toolbarAllowedItemIdentifiers() const {
  return {"export", "zoomToFit", "glassLibrary"};
}

std::vector<std::string> IFWindowController::toolbarDefaultItemIdentifiers() const {
  return {"export", "zoomToFit", "glassLibrary"};
}

void IFWindowController::awakeFromNib() {
  PlotWindowController::awakeFromNib();
  if (m_awakeAlready) return;
  m_awakeAlready = true;
  // Shown on request only (Window ▸ Show Toolbar): the window's own controls do the work.
  setToolbarShown(false);
  auto fitter = indexFitter();
  if (!fitter) return;
  m_singleton->setContent(fitter->glass());
  std::weak_ptr<IndexFitter> weak = fitter;
  m_glassBinding = m_singleton->addObserver("selection", [this, weak](const platform::ObservedChange&) {
    auto f = weak.lock();
    auto glass = std::dynamic_pointer_cast<Glass>(m_singleton->content());
    if (f && glass && glass != f->glass()) f->setGlass(std::move(glass));
  });
}

void IFWindowController::exportAction() {
  if (isClosing()) return;
  if (!m_exportSheet) m_exportSheet = platform::makeObject<ExportSheetController>();
  m_exportSheet->setMainWindow(window());
  platform::Array curves;
  if (auto fitter = indexFitter())
    if (const Value* found = fitter->plotDictionary().find("curves"); found && found->isArray())
      curves = found->asArray();
  m_exportSheet->setCurves(std::move(curves));
  m_exportSheet->beginSheet();
}

void IFWindowController::windowWillClose() {
  m_glassBinding.remove();
  if (m_exportSheet) m_exportSheet->endSheet();
  PlotWindowController::windowWillClose();
}

IFWindowController* showIndexFitter() {
  static const bool registered = [] {
    interfacefile::registerLoader(kNibName, loadIndexFitter);
    return true;
  }();
  (void)registered;
  static QPointer<IFWindowController> shown;  // main thread only
  if (!shown || shown->isClosing()) shown = new IFWindowController(kNibName);
  shown->showWindow();
  return shown;
}

}  // namespace orb::app
