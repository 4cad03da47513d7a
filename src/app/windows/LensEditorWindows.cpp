#include "app/windows/LensEditorWindows.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableView>
#include <QTableWidget>
#include <QUndoCommand>
#include <QUndoStack>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "analysis/LensRoles.h"
#include "app/Messages.h"
#include "app/document/OBDocument.h"
#include "app/tables/DNDArrayController.h"
#include "app/tables/DNDTableView.h"
#include "app/tables/Formatters.h"
#include "app/windows/AnalysisOptions.h"
#include "app/windows/InterfaceFile.h"
#include "app/windows/LensGlassWindow.h"
#include "app/windows/OBWindow.h"
#include "app/windows/SmartWindowController.h"
#include "lens/Field.h"
#include "lens/Lens.h"
#include "lens/Surface.h"
#include "materials/Glass.h"
#include "platform/Exception.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "platform/Observation.h"

namespace orb::app {

namespace {

using platform::Array;
using platform::Dictionary;
using platform::Value;
using LensBinder = options::Binder<lens::Lens>;

QString numberText(double v) {
  if (std::isnan(v)) return QString();
  if (std::isinf(v)) return v > 0 ? QStringLiteral("Infinity") : QStringLiteral("-Infinity");
  return QString::number(v, 'g', 10);
}

QString valueText(const Value& v) {
  if (v.isNumber()) return numberText(v.asDouble());
  if (v.isString()) return QString::fromStdString(v.asString());
  if (v.isNil()) return QString();
  return QString::fromStdString(v.description());
}

/// The text of the form label naming `field`, without its colon; `fallback`
/// when there is none.
QString fieldLabel(const QWidget* field, const std::string& fallback) {
  for (const auto* label : field->window()->findChildren<QLabel*>())
    if (label->buddy() == field) {
      QString text = label->text().trimmed();
      if (text.endsWith(QLatin1Char(':'))) text.chop(1);
      return text;
    }
  return QString::fromStdString(fallback);
}

/// Table cells holding lens numbers: what a word or "nan" would make of a pupil
/// factor or a configuration value is no number the lens can use, so only
/// finite numbers are taken.
class FiniteNumberFormatter : public Formatter {
 public:
  std::string className() const override { return "FiniteNumberFormatter"; }
  QString stringForObjectValue(const Value& value) const override {
    return value.isNumber() ? numberText(value.asDouble()) : QString();
  }
  bool getObjectValue(Value& out, const QString& text, QString* error) const override {
    const auto x = typedNumber(text, false, error);
    if (!x) return false;
    out = *x;
    return true;
  }
};

class YesNoFormatter : public Formatter {
 public:
  std::string className() const override { return "YesNoFormatter"; }
  QString stringForObjectValue(const Value& value) const override {
    return value.isNumber() && value.asBool() ? QStringLiteral("Yes") : QStringLiteral("No");
  }
  bool getObjectValue(Value&, const QString&, QString* error) const override {
    if (error) *error = QStringLiteral("Read only");
    return false;
  }
};

/// The window's contents: the document and lens it edits, and the observations
/// that keep it current (they end with the window).
class EditorPane : public QWidget {
 public:
  explicit EditorPane(OBWindow& window) : QWidget(&window) {
    auto* controller = window.controller();
    auto owner = controller ? std::dynamic_pointer_cast<OBDocument>(controller->document()) : nullptr;
    document = owner;
    lens = owner ? owner->lens() : nullptr;
  }

  /// Runs `refresh` whenever the lens has finished a change cycle (edits, undo,
  /// revert).
  void whenLensIsReady(std::function<void()> refresh) {
    auto owner = document.lock();
    if (!owner) return;
    QPointer<EditorPane> self = this;
    observations.push_back(platform::NotificationCenter::defaultCenter().addObserver(
        analysis::kLensIsReadyNotification, owner->reference(), [self, refresh](const platform::Notification&) {
          if (self) refresh();
        }));
  }
  /// Runs `refresh` whenever the lens's `key` changes.
  void whenLensKeyChanges(const std::string& key, std::function<void()> refresh) {
    if (!lens) return;
    QPointer<EditorPane> self = this;
    observations.push_back(lens->addObserver(key, [self, refresh](const platform::ObservedChange&) {
      if (self) refresh();
    }));
  }

  // The document owns the window: held weakly. The lens is the document's for
  // good.
  std::weak_ptr<OBDocument> document;
  std::shared_ptr<lens::Lens> lens;
  std::vector<platform::Observation> observations;
};

EditorPane* makePane(OBWindow& window, const char* title, int width, int height) {
  window.setWindowTitle(QString::fromUtf8(title));
  auto* pane = new EditorPane(window);
  window.setCentralWidget(pane);
  window.resize(width, height);
  return pane;
}

bool noLens(EditorPane* pane) {
  if (pane->lens) return false;
  auto* layout = new QVBoxLayout(pane);
  layout->addWidget(new QLabel(QStringLiteral("No lens")));
  return true;
}

// --- form fields
// ------------------------------------------------------------------------------

/// A number of the lens under `key`; an entry that is not a finite number (or
/// not above 0 where `positive`) is refused and the field shows the lens's
/// value again.
QLineEdit* numberField(const LensBinder& binder, const std::string& key, bool positive) {
  auto* edit = new QLineEdit;
  edit->setObjectName(QString::fromStdString(key));
  edit->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  const QString hint = positive ? QStringLiteral("A finite number greater than 0") : QStringLiteral("A finite number");
  edit->setToolTip(hint);
  binder.observe({key}, [edit, binder, key] {
    const Value v = binder.get(key);
    edit->setText(v.isNumber() ? numberText(v.asDouble()) : QString());
  });
  QObject::connect(edit, &QLineEdit::editingFinished, edit, [edit, binder, key, positive] {
    const Value old = binder.get(key);
    QString why;
    const auto x = typedNumber(edit->text(), false, &why);
    if (x && positive && !(*x > 0)) why = QStringLiteral("\"%1\" is not above zero").arg(edit->text().trimmed());
    const QString oldText = old.isNumber() ? numberText(old.asDouble()) : QString();
    if (!why.isEmpty()) {
      showRefusedEntry(edit, keptValueMessage(why, fieldLabel(edit, key), oldText));
      edit->setText(oldText);
      return;
    }
    clearRefusedEntry(edit);
    if (old.isNumber() && old.asDouble() == *x) return;  // focus leaving is no edit
    binder.set(key, *x);
  });
  return edit;
}

QLineEdit* textField(const LensBinder& binder, const std::string& key) {
  auto* edit = new QLineEdit;
  edit->setObjectName(QString::fromStdString(key));
  binder.observe({key}, [edit, binder, key] { edit->setText(QString::fromStdString(binder.text(key))); });
  QObject::connect(edit, &QLineEdit::editingFinished, edit, [edit, binder, key] {
    const std::string text = edit->text().trimmed().toStdString();
    if (text == binder.text(key)) return;
    binder.set(key, text.empty() ? Value() : Value(text));
  });
  return edit;
}

/// A read-only number of the lens (a paraxial result), refreshed with
/// `dependsOn`.
QLabel* resultLabel(const LensBinder& binder, const std::string& key) {
  auto* label = new QLabel;
  label->setObjectName(QString::fromStdString(key));
  label->setTextInteractionFlags(Qt::TextSelectableByMouse);
  label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  binder.observe({key}, [label, binder, key] {
    const Value v = binder.get(key);
    label->setText(v.isNumber() && std::isfinite(v.asDouble()) ? QString::number(v.asDouble(), 'g', 7) : valueText(v));
  });
  return label;
}

const std::vector<std::string>& divergenceTypeLabels() {
  static const std::vector<std::string> labels{"Entrance pupil diameter",
                                               "Image space F/# (infinite conjugate)",
                                               "Object space numerical aperture",
                                               "Float by stop size",
                                               "Working F/#",
                                               "Object cone angle (degrees)",
                                               "Image space NA (infinite conjugate)",
                                               "Object space F/#",
                                               "Working image space NA"};
  return labels;
}

void addApertureRows(const LensBinder& binder, QFormLayout* form) {
  form->addRow(QStringLiteral("Aperture type"), binder.indexChoice("sourceDivergenceType", divergenceTypeLabels()));
  auto* value = numberField(binder, "sourceDivergenceValue", true);
  binder.enableWhile(value, "canEditSourceDivergenceValue", {"sourceDivergenceType"});
  form->addRow(QStringLiteral("Aperture value"), value);
}

// --- System, Advanced, SourceDivergenceControl, PupilData
// ------------------------------------

InterfaceOutlets loadSystem(OBWindow& window) {
  auto* pane = makePane(window, "System Data", 460, 420);
  if (noLens(pane)) return {};
  const LensBinder binder(pane->lens, pane);
  auto* layout = new QVBoxLayout(pane);
  QFormLayout* form = nullptr;
  layout->addWidget(options::group("System", form));
  form->addRow(QStringLiteral("Name"), textField(binder, "systemName"));
  auto* units = binder.label("unitCode", {"unitCode"});
  form->addRow(QStringLiteral("Units"), units);
  form->addRow(QStringLiteral("Field type"), binder.indexChoice("fieldTypeIndex", lens::Lens::fieldTypes()));
  layout->addWidget(options::group("Aperture", form));
  addApertureRows(binder, form);
  form->addRow(QStringLiteral("Entrance pupil diameter"), numberField(binder, "entrancePupilDiameter", true));
  layout->addWidget(options::group("Ray aiming", form));
  form->addRow(binder.checkBox("Aim rays at the stop", "useRayAiming"));
  auto* tolerance = numberField(binder, "rayAimingTolerance", true);
  binder.enableWhile(tolerance, "useRayAiming", {"useRayAiming"});
  form->addRow(QStringLiteral("Tolerance"), tolerance);
  layout->addWidget(options::group("Space", form));
  form->addRow(binder.checkBox("Telecentric object space", "useTelecentricMode"));
  form->addRow(binder.checkBox("Afocal image space", "useAfocalAnalysis"));
  layout->addStretch();
  return {};
}

InterfaceOutlets loadAdvanced(OBWindow& window) {
  auto* pane = makePane(window, "Advanced Options", 460, 380);
  if (noLens(pane)) return {};
  const LensBinder binder(pane->lens, pane);
  auto* layout = new QVBoxLayout(pane);
  QFormLayout* form = nullptr;
  layout->addWidget(options::group("Rays", form));
  form->addRow(QStringLiteral("Rays per field"), binder.intSpin("numberOfRaysPerField", 1, 1000000));
  form->addRow(QStringLiteral("Ray acquisition tolerance"), numberField(binder, "rayAcquisitionTolerance", true));
  form->addRow(QStringLiteral("Light pipe bounce limit"), binder.intSpin("lightPipeMaxBounces", 0, 100000000));
  form->addRow(binder.checkBox("Adjust rays by least squares", "useRayAdjusting"));
  auto* apertures = binder.checkBox("Check apertures while adjusting", "checksAperturesDuringRayAdjusting");
  binder.enableWhile(apertures, "useRayAdjusting", {"useRayAdjusting"});
  form->addRow(apertures);
  form->addRow(
      binder.checkBox("Scale pupil coordinates by the stop aperture", "renormalizePupilCoordinatesByStopAperture"));
  layout->addWidget(options::group("Semi-diameters and medium", form));
  form->addRow(binder.checkBox("Real rays update semi-diameters", "useRealRaysToUpdateSemidiameters"));
  form->addRow(QStringLiteral("Ambient index"), numberField(binder, "ambientIndexOfRefraction", true));
  layout->addStretch();
  return {};
}

InterfaceOutlets loadSourceDivergence(OBWindow& window) {
  auto* pane = makePane(window, "Source Divergence", 440, 400);
  if (noLens(pane)) return {};
  const LensBinder binder(pane->lens, pane);
  auto* layout = new QVBoxLayout(pane);
  QFormLayout* form = nullptr;
  layout->addWidget(options::group("Aperture", form));
  addApertureRows(binder, form);
  layout->addWidget(options::group("The system now", form));
  static const std::pair<const char*, const char*> results[] = {
      {"Entrance pupil diameter", "entrancePupilDiameter"},
      {"Image space F/# (infinite conjugate)", "infiniteConjugateImageSpaceFocalRatio"},
      {"Image space NA (infinite conjugate)", "infiniteConjugateImageSpaceNumericalAperture"},
      {"Working F/#", "imageSpaceFocalRatio"},
      {"Working image space NA", "imageSpaceNumericalAperture"},
      {"Object space NA", "objectSpaceNumericalAperture"},
      {"Object space F/#", "objectSpaceFocalRatio"},
      {"Object cone angle (degrees)", "objectConeAngleInDegrees"},
  };
  for (const auto& [title, key] : results) form->addRow(QString::fromUtf8(title), resultLabel(binder, key));
  layout->addStretch();
  return {};
}

InterfaceOutlets loadPupilData(OBWindow& window) {
  auto* pane = makePane(window, "Pupil Data", 400, 260);
  if (noLens(pane)) return {};
  const LensBinder binder(pane->lens, pane);
  auto* layout = new QVBoxLayout(pane);
  QFormLayout* form = nullptr;
  layout->addWidget(options::group("Entrance pupil", form));
  form->addRow(QStringLiteral("Diameter"), numberField(binder, "entrancePupilDiameter", true));
  form->addRow(QStringLiteral("Position"), resultLabel(binder, "entrancePupilLocation"));
  form->addRow(QStringLiteral("Magnification"), resultLabel(binder, "entrancePupilMagnification"));
  layout->addWidget(options::group("Exit pupil", form));
  form->addRow(QStringLiteral("Diameter"), resultLabel(binder, "exitPupilDiameter"));
  form->addRow(QStringLiteral("Position"), resultLabel(binder, "exitPupilLocation"));
  layout->addStretch();
  return {};
}

// --- VignettingFactors
// ------------------------------------------------------------------------

InterfaceOutlets loadVignettingFactors(OBWindow& window) {
  auto* pane = makePane(window, "Vignetting Factors", 640, 300);
  if (noLens(pane)) return {};
  auto* layout = new QVBoxLayout(pane);
  auto* controller = new DNDArrayController(pane);
  controller->setObjectName(QStringLiteral("vignettingController"));
  std::weak_ptr<lens::Lens> weak = pane->lens;
  controller->setContent(ArrayBinding{[weak] {
                                        std::vector<ObjectPtr> rows;
                                        if (auto l = weak.lock())
                                          for (const auto& f : l->fieldArray()) rows.push_back(f);
                                        return rows;
                                      },
                                      [weak](ObjectPtr object, std::size_t at) {
                                        auto l = weak.lock();
                                        auto field = std::dynamic_pointer_cast<lens::Field>(object);
                                        if (l && field)
                                          l->insertObjectInFieldArrayAtIndex(field,
                                                                             std::min(at, l->countOfFieldArray()));
                                      },
                                      [weak](std::size_t at) {
                                        auto l = weak.lock();
                                        if (l && at < l->countOfFieldArray() && l->countOfFieldArray() > 1)
                                          l->removeObjectFromFieldArrayAtIndex(at);
                                      }});
  auto finite = std::make_shared<const FiniteNumberFormatter>();
  auto yesNo = std::make_shared<const YesNoFormatter>();
  controller->setColumns({
      {"x", "X", "x", false, finite},
      {"y", "Y", "y", false, finite},
      {"PXA", "PXA (x low)", "PXA", true, finite},
      {"PXB", "PXB (x high)", "PXB", true, finite},
      {"PYA", "PYA (y low)", "PYA", true, finite},
      {"PYB", "PYB (y high)", "PYB", true, finite},
      {"vignetted", "Vignetted", "vignetted", false, yesNo},
  });
  controller->setEditable(true);
  auto* table = new DNDTableView(pane);
  table->setObjectName(QStringLiteral("vignettingTable"));
  table->setModel(controller);
  controller->setTableView(table);
  table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  table->horizontalHeader()->setStretchLastSection(true);
  layout->addWidget(table, 1);

  auto* row = new QHBoxLayout;
  auto* summary = new QLabel;
  summary->setObjectName(QStringLiteral("vignettingSummary"));
  row->addWidget(summary, 1);
  auto* clear = new QPushButton(QStringLiteral("Clear Vignetting"));
  clear->setObjectName(QStringLiteral("clearVignetting"));
  clear->setToolTip(
      QStringLiteral("The selected fields (all fields when none "
                     "is selected) get their full pupil back"));
  row->addWidget(clear);
  layout->addLayout(row);

  auto refreshValues = [controller, summary, weak] {
    auto l = weak.lock();
    if (!l) return;
    const auto& fields = l->fieldArray();
    const auto vignetted = std::count_if(fields.begin(), fields.end(), lens::Lens::vignettedFieldPredicate());
    summary->setText(QStringLiteral("%1 of %2 fields vignetted").arg(vignetted).arg(fields.size()));
    if (controller->rowCount() > 0)
      emit controller->dataChanged(controller->index(0, 0),
                                   controller->index(controller->rowCount() - 1, controller->columnCount() - 1));
  };
  pane->whenLensKeyChanges("fieldArray", [controller, refreshValues] {
    controller->reloadContent();
    refreshValues();
  });
  pane->whenLensIsReady([controller, refreshValues] {
    // Undo puts new field objects in place without announcing each one.
    controller->reloadContent();
    refreshValues();
  });
  refreshValues();
  QObject::connect(clear, &QPushButton::clicked, pane, [controller, weak] {
    auto l = weak.lock();
    if (!l) return;
    std::vector<std::shared_ptr<lens::Field>> fields;
    for (const auto& o : controller->selectedObjects())
      if (auto f = std::dynamic_pointer_cast<lens::Field>(o)) fields.push_back(f);
    if (fields.empty()) fields = l->fieldArray();
    // All in one pass of the run loop: one change cycle, one undo step.
    for (const auto& f : fields) {
      f->setValueForKey("PXA", lens::Field::kDefaultPXA);
      f->setValueForKey("PXB", lens::Field::kDefaultPXB);
      f->setValueForKey("PYA", lens::Field::kDefaultPYA);
      f->setValueForKey("PYB", lens::Field::kDefaultPYB);
    }
  });
  return {};
}

// --- configurations
// -------------------------------------------------------------------------------

/// Stores a new configuration array; undoing stores the old one. Neither applies a
/// configuration to the lens. Either way the document counts one change, so closing asks.
class ConfigurationsCommand : public QUndoCommand {
 public:
  ConfigurationsCommand(std::weak_ptr<OBDocument> document, std::weak_ptr<lens::Lens> lens, Array before, Array after)
      : QUndoCommand(QStringLiteral("Edit Configurations")),
        m_document(std::move(document)),
        m_lens(std::move(lens)),
        m_before(std::move(before)),
        m_after(std::move(after)) {}
  void redo() override { store(m_after, 1); }
  void undo() override { store(m_before, -1); }

 private:
  void store(const Array& configurations, int change) {
    if (auto l = m_lens.lock()) l->storeMulticonfigurationArray(configurations);
    if (auto d = m_document.lock()) d->updateChangeCount(change);
  }
  std::weak_ptr<OBDocument> m_document;
  std::weak_ptr<lens::Lens> m_lens;
  Array m_before, m_after;
};

void editConfigurations(const EditorPane& pane, Array after) {
  auto document = pane.document.lock();
  if (!pane.lens || !document) return;
  Array before = pane.lens->multiconfigurationArray();
  if (before == after) return;
  document->undoStack().push(
      new ConfigurationsCommand(document, pane.lens, std::move(before), std::move(after)));
}

/// A configuration entry is a value or the reader's {value, isVariable}.
Value entryValue(const Value& entry) {
  if (entry.isDictionary()) return entry.asDictionary().get("value");
  return entry;
}

std::vector<std::string> configurationKeyPaths(const Array& configurations) {
  std::vector<std::string> paths;
  for (const Value& c : configurations) {
    if (!c.isDictionary()) continue;
    for (const auto& [key, value] : c.asDictionary())
      if (key.isString() && std::find(paths.begin(), paths.end(), key.asString()) == paths.end())
        paths.push_back(key.asString());
  }
  return paths;
}

/// Key paths down, configurations across; an edited cell replaces that
/// configuration's value.
/// Whether a configuration entry was meant as a number: it starts like one, or is
/// one of the words a number reader might take. Everything else is text (glass names).
bool looksLikeANumber(const QString& text) {
  static const QRegularExpression number(QStringLiteral("^[+-]?(\\d|\\.\\d|(inf(inity)?|nan)$)"),
                                         QRegularExpression::CaseInsensitiveOption);
  return number.match(text.trimmed()).hasMatch();
}

class ConfigurationTableModel : public QAbstractTableModel {
 public:
  ConfigurationTableModel(EditorPane* pane) : QAbstractTableModel(pane), m_pane(pane) { reload(); }

  void reload() {
    beginResetModel();
    m_configurations = m_pane->lens ? m_pane->lens->multiconfigurationArray() : Array();
    m_paths = configurationKeyPaths(m_configurations);
    endResetModel();
  }
  const std::vector<std::string>& paths() const { return m_paths; }

  int rowCount(const QModelIndex& parent = {}) const override {
    return parent.isValid() ? 0 : static_cast<int>(m_paths.size());
  }
  int columnCount(const QModelIndex& parent = {}) const override {
    return parent.isValid() ? 0 : static_cast<int>(m_configurations.size());
  }
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
    if (role != Qt::DisplayRole || section < 0) return {};
    if (orientation == Qt::Horizontal) return QStringLiteral("Config %1").arg(section + 1);
    return static_cast<std::size_t>(section) < m_paths.size() ? QString::fromStdString(m_paths[section]) : QVariant();
  }
  QVariant data(const QModelIndex& index, int role) const override {
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole)) return {};
    const Value& c = m_configurations[static_cast<std::size_t>(index.column())];
    if (!c.isDictionary()) return {};
    return valueText(entryValue(c.asDictionary().get(m_paths[static_cast<std::size_t>(index.row())])));
  }
  Qt::ItemFlags flags(const QModelIndex& index) const override {
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable : Qt::NoItemFlags;
  }
  /// Numbers must be finite; other text is kept as text (glass names).
  bool setData(const QModelIndex& index, const QVariant& value, int role) override {
    if (role != Qt::EditRole || !index.isValid()) return false;
    const QString text = value.toString().trimmed();
    if (text.isEmpty()) return false;
    Value parsed;
    QString why;
    if (const auto x = typedNumber(text, false, &why)) {
      parsed = *x;
    } else if (looksLikeANumber(text)) {
      // "nan", "inf", "1e400", "1,5", "12abc": a number typed wrongly, not a glass name.
      showRefusedEntry(QApplication::focusWidget(),
                       keptValueMessage(why, headerData(index.row(), Qt::Vertical, Qt::DisplayRole).toString(),
                                        data(index, Qt::DisplayRole).toString()));
      return false;
    } else {
      parsed = text.toStdString();
    }
    Array after = m_configurations;
    const auto column = static_cast<std::size_t>(index.column());
    Dictionary configuration = after[column].isDictionary() ? after[column].asDictionary() : Dictionary();
    const std::string& path = m_paths[static_cast<std::size_t>(index.row())];
    const Value old = configuration.get(path);
    if (old.isDictionary()) {
      Dictionary entry = old.asDictionary();
      entry.set("value", parsed);
      configuration.set(path, entry);
    } else {
      configuration.set(path, parsed);
    }
    after[column] = configuration;
    editConfigurations(*m_pane, std::move(after));
    return true;
  }

 private:
  EditorPane* m_pane;
  Array m_configurations;
  std::vector<std::string> m_paths;
};

/// A new configuration: the lens's present values of the key paths the others
/// use.
Dictionary configurationOfPresentValues(const lens::Lens& lens, const std::vector<std::string>& paths) {
  Dictionary configuration;
  for (const auto& path : paths) {
    Value v;
    try {
      v = lens.valueForKeyPath(path);
    } catch (const platform::Exception&) {
    }
    if (!v.isNil()) configuration.set(path, v);
  }
  return configuration;
}

InterfaceOutlets loadConfigurationTable(OBWindow& window) {
  auto* pane = makePane(window, "Configuration Table", 560, 320);
  if (noLens(pane)) return {};
  auto* layout = new QVBoxLayout(pane);
  auto* model = new ConfigurationTableModel(pane);
  auto* table = new QTableView(pane);
  table->setObjectName(QStringLiteral("configurationTable"));
  table->setModel(model);
  table->setSelectionBehavior(QAbstractItemView::SelectColumns);
  layout->addWidget(table, 1);

  auto* pathRow = new QHBoxLayout;
  auto* path = new QLineEdit;
  path->setObjectName(QStringLiteral("newKeyPath"));
  path->setPlaceholderText(QStringLiteral("Key path, e.g. s3.thickness"));
  pathRow->addWidget(path, 1);
  auto* addPath = new QPushButton(QStringLiteral("Add Key Path"));
  addPath->setObjectName(QStringLiteral("addKeyPath"));
  pathRow->addWidget(addPath);
  layout->addLayout(pathRow);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  auto* add = new QPushButton(QStringLiteral("Add Configuration"));
  add->setObjectName(QStringLiteral("addConfiguration"));
  auto* remove = new QPushButton(QStringLiteral("Remove Configuration"));
  remove->setObjectName(QStringLiteral("removeConfiguration"));
  buttons->addWidget(add);
  buttons->addWidget(remove);
  layout->addLayout(buttons);

  auto refresh = [model, remove] {
    model->reload();
    remove->setEnabled(model->columnCount() > 0);
  };
  pane->whenLensKeyChanges("multiconfigurationArray", refresh);
  refresh();

  QObject::connect(add, &QPushButton::clicked, pane, [pane, model] {
    Array after = pane->lens->multiconfigurationArray();
    after.push_back(configurationOfPresentValues(*pane->lens, model->paths()));
    editConfigurations(*pane, std::move(after));
  });
  QObject::connect(remove, &QPushButton::clicked, pane, [pane, table] {
    Array after = pane->lens->multiconfigurationArray();
    if (after.empty()) return;
    const QModelIndex current = table->currentIndex();
    const std::size_t column = current.isValid() && static_cast<std::size_t>(current.column()) < after.size()
                                   ? current.column()
                                   : after.size() - 1;
    after.erase(after.begin() + static_cast<std::ptrdiff_t>(column));
    editConfigurations(*pane, std::move(after));
  });
  QObject::connect(addPath, &QPushButton::clicked, pane, [pane, path] {
    const std::string keyPath = path->text().trimmed().toStdString();
    Value present;
    try {
      present = keyPath.empty() ? Value() : pane->lens->valueForKeyPath(keyPath);
    } catch (const platform::Exception&) {
    }
    // Only a path that reaches a number or text of the lens can be a
    // configuration value.
    if (!present.isNumber() && !present.isString()) {
      path->setToolTip(QStringLiteral("\"%1\" names no value of the lens").arg(path->text()));
      return;
    }
    path->setToolTip(QString());
    Array after = pane->lens->multiconfigurationArray();
    if (after.empty()) after.push_back(Dictionary());
    for (Value& c : after) {
      Dictionary configuration = c.isDictionary() ? c.asDictionary() : Dictionary();
      if (!configuration.contains(keyPath)) configuration.set(keyPath, present);
      c = configuration;
    }
    editConfigurations(*pane, std::move(after));
    path->clear();
  });
  return {};
}

QString configurationSummary(const Value& configuration) {
  if (!configuration.isDictionary()) return QString();
  QStringList parts;
  for (const auto& [key, value] : configuration.asDictionary())
    parts << QStringLiteral("%1 = %2").arg(valueText(key), valueText(entryValue(value)));
  return parts.isEmpty() ? QStringLiteral("(no values)") : parts.join(QStringLiteral(", "));
}

InterfaceOutlets loadMulticonfigurations(OBWindow& window) {
  auto* pane = makePane(window, "Multiconfigurations", 520, 300);
  if (noLens(pane)) return {};
  auto* layout = new QVBoxLayout(pane);
  auto* current = new QLabel;
  current->setObjectName(QStringLiteral("currentConfiguration"));
  current->setWordWrap(true);
  layout->addWidget(current);
  auto* list = new QListWidget(pane);
  list->setObjectName(QStringLiteral("configurationList"));
  layout->addWidget(list, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  auto* apply = new QPushButton(QStringLiteral("Apply"));
  apply->setObjectName(QStringLiteral("applyConfiguration"));
  apply->setToolTip(QStringLiteral("Sets the lens to the selected configuration's values"));
  auto* add = new QPushButton(QStringLiteral("Add"));
  add->setObjectName(QStringLiteral("addConfiguration"));
  add->setToolTip(QStringLiteral("A new configuration holding the lens's present values"));
  auto* remove = new QPushButton(QStringLiteral("Remove"));
  remove->setObjectName(QStringLiteral("removeConfiguration"));
  buttons->addWidget(apply);
  buttons->addWidget(add);
  buttons->addWidget(remove);
  layout->addLayout(buttons);

  std::weak_ptr<lens::Lens> weak = pane->lens;
  auto refresh = [list, current, apply, remove, weak] {
    auto l = weak.lock();
    if (!l) return;
    const int selected = list->currentRow();
    list->clear();
    const Array& configurations = l->multiconfigurationArray();
    for (std::size_t i = 0; i < configurations.size(); ++i) {
      auto* item = new QListWidgetItem(
          QStringLiteral("Configuration %1: %2").arg(i + 1).arg(configurationSummary(configurations[i])));
      if (l->configuration() && configurations[i].isDictionary() &&
          configurations[i].asDictionary() == *l->configuration()) {
        QFont font = item->font();
        font.setBold(true);
        item->setFont(font);
      }
      list->addItem(item);
    }
    if (selected >= 0 && selected < list->count()) list->setCurrentRow(selected);
    current->setText(configurations.empty() ? QStringLiteral("The lens has no configurations.")
                     : l->configuration() ? QStringLiteral("Current: %1").arg(configurationSummary(*l->configuration()))
                                          : QStringLiteral("No configuration applied."));
    apply->setEnabled(!configurations.empty());
    remove->setEnabled(!configurations.empty());
  };
  pane->whenLensKeyChanges("multiconfigurationArray", refresh);
  pane->whenLensKeyChanges("configuration", refresh);
  refresh();

  QObject::connect(apply, &QPushButton::clicked, pane, [pane, list] {
    const int row = list->currentRow();
    if (row < 0 || static_cast<std::size_t>(row) >= pane->lens->countOfMulticonfigurationArray()) return;
    // Applying writes the configuration's paths into the lens: an ordinary lens
    // edit.
    pane->lens->setValueForKey("configuration", Value(row));
  });
  QObject::connect(add, &QPushButton::clicked, pane, [pane] {
    Array after = pane->lens->multiconfigurationArray();
    after.push_back(configurationOfPresentValues(*pane->lens, configurationKeyPaths(after)));
    editConfigurations(*pane, std::move(after));
  });
  QObject::connect(remove, &QPushButton::clicked, pane, [pane, list] {
    Array after = pane->lens->multiconfigurationArray();
    if (after.empty()) return;
    const int row = list->currentRow();
    const std::size_t at = row >= 0 && static_cast<std::size_t>(row) < after.size() ? row : after.size() - 1;
    after.erase(after.begin() + static_cast<std::ptrdiff_t>(at));
    editConfigurations(*pane, std::move(after));
  });
  return {};
}

}  // namespace

void registerLensEditorWindows() {
  static const bool once = [] {
    interfacefile::registerLoader(kSystemNibName, loadSystem);
    interfacefile::registerLoader(kAdvancedNibName, loadAdvanced);
    interfacefile::registerLoader(kSourceDivergenceNibName, loadSourceDivergence);
    interfacefile::registerLoader(kPupilDataNibName, loadPupilData);
    interfacefile::registerLoader(kVignettingFactorsNibName, loadVignettingFactors);
    interfacefile::registerLoader(kGlassMonitorNibName, loadLensGlassWindow);
    interfacefile::registerLoader(kMulticonfigurationsNibName, loadMulticonfigurations);
    interfacefile::registerLoader(kConfigurationTableNibName, loadConfigurationTable);
    return true;
  }();
  (void)once;
}

}  // namespace orb::app
