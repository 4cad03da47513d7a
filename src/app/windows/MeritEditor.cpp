#include "app/tables/Formatters.h"
#include "app/windows/MeritEditor.h"

#include <QCheckBox>
#include <QDropEvent>
#include <QHeaderView>
#include <QMimeData>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStandardItemModel>
#include <QTimer>
#include <QUndoStack>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <map>

#include "analysis/LensBuffer.h"
#include "app/Messages.h"
#include "app/document/ArrayColorizer.h"
#include "app/document/OBDocument.h"
#include "app/document/WindowActions.h"
#include "app/tables/DNDTableView.h"
#include "app/windows/InterfaceFile.h"
#include "app/windows/OBWindow.h"
#include "optimisation/MeritFunctionEvaluator.h"
#include "optimisation/MeritoidHexRays.h"
#include "optimisation/MeritoidIllumination.h"
#include "optimisation/MeritoidKeyPath.h"
#include "optimisation/MeritoidTrace.h"
#include "platform/Exception.h"
#include "platform/Log.h"

namespace orb::app {

using optimisation::MeritFunction;
using optimisation::MeritFunctionPtr;
using optimisation::Meritoid;
using optimisation::MeritoidPtr;
using platform::Value;

// --- the kind table ------------------------------------------------------------------------------

namespace meritkinds {
namespace {
struct Kind {
  const char* identifier;
  const char* className;
  const char* script;
};
const std::vector<Kind>& kinds() {
  static const std::vector<Kind> table = {
      {"RMS Optical Path Difference", "MeritoidRMSOPD", ""},
      {"RMS Spot Size", "MeritoidRMS", ""},
      {"Ray Trace Result", "MeritoidTrace", ""},
      {"Acceptance", "MeritoidAcceptance", ""},
      {"Emitter Efficiency", "MeritoidEmitterEfficiency", ""},
      {"Total Track", "MeritoidKeyPath", "lens.totalTrack"},
      {"Petzval Sum", "MeritoidKeyPath", "lens.petzvalSum"},
      {"Edge Thickness", "MeritoidKeyPath", "lens.edgeThickness"},
      {"Glass Thickness", "MeritoidKeyPath", "lens.glassThickness"},
      {"Focal Length", "MeritoidKeyPath", "lens.focalLength"},
      {"Back Focal Length", "MeritoidKeyPath", "lens.secondPrincipalFocus"},
      {"Magnification X", "MeritoidKeyPath", "lens.measureMagnificationX"},
      {"Magnification Y", "MeritoidKeyPath", "lens.magnification"},
      {"Seidel Spherical Aberration", "MeritoidKeyPath", "lens.seidelSphericalAberration"},
      {"Seidel Coma", "MeritoidKeyPath", "lens.seidelComa"},
      {"Seidel Astigmatism", "MeritoidKeyPath", "lens.seidelAstigmatism"},
      {"Seidel Field Curvature", "MeritoidKeyPath", "lens.seidelFieldCurvature"},
      {"Seidel Distortion", "MeritoidKeyPath", "lens.seidelDistortion"},
      {"Conrady Axial Color", "MeritoidKeyPath", "lens.conradyAxialColor"},
      {"Conrady Lateral Color", "MeritoidKeyPath", "lens.conradyLateralColor"},
  };
  return table;
}
const Kind* kindForNibKey(const std::string& nibKey) {
  for (const auto& k : kinds())
    if (nibKeyForIdentifier(k.identifier) == nibKey) return &k;
  return nullptr;
}
MeritoidPtr makeOfClass(const std::string& className) {
  if (className == "MeritoidRMSOPD") return Meritoid::make<optimisation::MeritoidRMSOPD>();
  if (className == "MeritoidRMS") return Meritoid::make<optimisation::MeritoidRMS>();
  if (className == "MeritoidTrace") return Meritoid::make<optimisation::MeritoidTrace>();
  if (className == "MeritoidAcceptance") return Meritoid::make<optimisation::MeritoidAcceptance>();
  if (className == "MeritoidEmitterEfficiency") return Meritoid::make<optimisation::MeritoidEmitterEfficiency>();
  if (className == "MeritoidKeyPath") return Meritoid::make<optimisation::MeritoidKeyPath>();
  return nullptr;
}
}  // namespace

const std::vector<std::string>& menuEntries() {
  static const std::vector<std::string> entries = {"",
                                                   "RMS Optical Path Difference",
                                                   "RMS Spot Size",
                                                   "Ray Trace Result",
                                                   "Acceptance",
                                                   "Emitter Efficiency",
                                                   "",
                                                   "Total Track",
                                                   "Petzval Sum",
                                                   "Edge Thickness",
                                                   "Glass Thickness",
                                                   "",
                                                   "Focal Length",
                                                   "Back Focal Length",
                                                   "Magnification X",
                                                   "Magnification Y",
                                                   "Seidel Spherical Aberration",
                                                   "Seidel Coma",
                                                   "Seidel Astigmatism",
                                                   "Seidel Field Curvature",
                                                   "Seidel Distortion",
                                                   "",
                                                   "Conrady Axial Color",
                                                   "Conrady Lateral Color",
                                                   ""};
  return entries;
}

const std::vector<std::string>& enabledMeritTermIdentifiers() {
  static const std::vector<std::string> enabled = [] {
    std::vector<std::string> out;
    for (const auto& k : kinds()) out.emplace_back(k.identifier);
    return out;
  }();
  return enabled;
}

std::string nibKeyForIdentifier(const std::string& identifier) {
  std::string key;
  for (char c : identifier)
    if (c != ' ') key += c;
  return key;
}

const std::vector<std::string>& valueBasedNibKeys() {
  static const std::vector<std::string> keys = [] {
    std::vector<std::string> out;
    for (const auto& k : kinds())
      if (*k.script) out.push_back(nibKeyForIdentifier(k.identifier));
    return out;
  }();
  return keys;
}

std::string nibNameForNibKey(const std::string& nibKey) {
  const auto& v = valueBasedNibKeys();
  return std::find(v.begin(), v.end(), nibKey) != v.end() ? "_tValue" : "_" + nibKey;
}

std::string classNameForNibKey(const std::string& nibKey) {
  const Kind* k = kindForNibKey(nibKey);
  return k ? k->className : "";
}

std::string scriptForNibKey(const std::string& nibKey) {
  const Kind* k = kindForNibKey(nibKey);
  return k ? k->script : "";
}

MeritoidPtr meritoidForIdentifier(const std::string& identifier, const MeritoidPtr& basedOn) {
  const std::string nibKey = nibKeyForIdentifier(identifier);
  const std::string className = classNameForNibKey(nibKey);
  MeritoidPtr m = makeOfClass(className);
  if (!m) {
    platform::log("Failure for identifier = %s (nibKey = %s, nibName = %s, className = %s)", identifier.c_str(),
                  nibKey.c_str(), nibNameForNibKey(nibKey).c_str(), className.c_str());
    return nullptr;
  }
  if (basedOn) {
    m->initWithMeritoid(*basedOn);
    // Calculation units belong to the kind that measures (waves for a wavefront, lens
    // units for a spot): taken over from another kind they would mis-scale every value.
    m->setCalculationUnits(m->defaultCalculationUnits());
    m->validateUnits();
  }
  m->setIdentifier(identifier);
  const std::string script = scriptForNibKey(nibKey);
  if (!script.empty()) m->setScript(script);
  return m;
}
}  // namespace meritkinds

// --- undo commands ---------------------------------------------------------------------------------

namespace {

class FunctionCommand : public QUndoCommand {
 public:
  FunctionCommand(const QString& text, std::function<void()> redo, std::function<void()> undo)
      : QUndoCommand(text), m_redo(std::move(redo)), m_undo(std::move(undo)) {}
  void redo() override { m_redo(); }
  void undo() override { m_undo(); }

 private:
  std::function<void()> m_redo, m_undo;
};

/// How a sub-editor registers its edits: the list view's `perform`, or at once without one.
using Performer = std::function<void(const QString&, std::function<void()>, std::function<void()>)>;

QString numberText(double v) {
  if (std::isnan(v)) return QStringLiteral("—");
  return QString::number(v, 'g', 8);  // read back with a decimal point in every locale
}


const std::vector<std::string>* choicesForKey(const std::string& key) {
  using namespace optimisation;
  static const std::map<std::string, const std::vector<std::string>*> choices = {
      {"analysisDirection", &MeritoidRMS::analysisDirections()},
      {"residualFilter", &MeritoidKeyPath::possibleResidualFilters()},
      {"fieldSpecifier", &MeritoidTrace::fieldSpecifiers()},
      {"pupilSpecifier", &MeritoidTrace::pupilSpecifiers()},
      {"valueKey", &MeritoidTrace::possibleValueKeys()},
      {"abscissa", &MeritoidAcceptance::availableAbscissas()},
      {"ordinate", &MeritoidAcceptance::availableOrdinates()},
      {"filterType", &MeritoidAcceptance::availableFilterTypes()},
  };
  auto it = choices.find(key);
  return it == choices.end() ? nullptr : it->second;
}

QString labelForKey(const std::string& key) {
  static const std::map<std::string, const char*> labels = {{"target", "Target"},
                                                            {"tolerance", "Tolerance"},
                                                            {"displayUnits", "Units"},
                                                            {"included", "Included"},
                                                            {"script", "Value"},
                                                            {"residualFilter", "Filter"},
                                                            {"numberOfRays", "Rays"},
                                                            {"monochromatic", "Monochromatic"},
                                                            {"wavelengthInNanometers", "Wavelength (nm)"},
                                                            {"analysisDirection", "Direction"},
                                                            {"useCentroidAsReference", "Centroid reference"},
                                                            {"fieldX", "Field x"},
                                                            {"fieldY", "Field y"},
                                                            {"pupilX", "Pupil x"},
                                                            {"pupilY", "Pupil y"},
                                                            {"fieldSpecifier", "Field as"},
                                                            {"pupilSpecifier", "Pupil as"},
                                                            {"useLocalCoordinates", "Local coordinates"},
                                                            {"valueKey", "Result"},
                                                            {"abscissa", "Abscissa"},
                                                            {"ordinate", "Ordinate"},
                                                            {"searchDepth", "Search depth"},
                                                            {"initialDepth", "Initial depth"},
                                                            {"cutoff", "Cutoff"},
                                                            {"filterType", "Filter type"},
                                                            {"filterRadius", "Filter radius"},
                                                            {"emitterNumber", "Emitter"},
                                                            {"circleRadius", "Circle radius"}};
  auto it = labels.find(key);
  return QString::fromStdString(it == labels.end() ? key : it->second);
}

/// Keeps a sub-editor's observations as long as its widgets live.
class WatchHolder : public QObject {
 public:
  using QObject::QObject;
  std::vector<platform::Observation> watches;
};

/// The kind's own editor: target, tolerance, units and inclusion, then the settings only
/// this kind has. Every edit is one undoable change of the operand; the fields follow
/// the operand (undo, redo and evaluation included).
QWidget* makeSubEditor(const MeritoidPtr& meritoid, const Performer& perform, const std::string& nibName) {
  auto* editor = new QWidget;
  editor->setObjectName(QString::fromStdString(nibName));
  auto* grid = new QGridLayout(editor);
  grid->setContentsMargins(8, 2, 8, 2);
  grid->setVerticalSpacing(3);
  auto* holder = new WatchHolder(editor);

  std::vector<std::string> keys = {"target", "tolerance", "displayUnits", "included"};
  const std::vector<std::string> base = Meritoid().coderKeys();
  for (const auto& key : meritoid->coderKeys())
    if (std::find(base.begin(), base.end(), key) == base.end()) keys.push_back(key);

  std::weak_ptr<Meritoid> weak = meritoid;
  auto commit = [perform, weak](const std::string& key, const Value& value) {
    auto m = weak.lock();
    if (!m) return;
    const Value old = m->valueForKey(key);
    if (old == value) return;
    perform(
        QStringLiteral("Change %1").arg(QString::fromStdString(key)),
        [weak, key, value] {
          if (auto m = weak.lock()) m->setValueForKey(key, value);
        },
        [weak, key, old] {
          if (auto m = weak.lock()) m->setValueForKey(key, old);
        });
  };

  int cell = 0;
  for (const auto& key : keys) {
    const Value value = meritoid->valueForKey(key);
    QWidget* field = nullptr;
    std::function<void(const Value&)> show;
    if (key == "script") {
      auto* label = new QLabel(editor);
      label->setTextInteractionFlags(Qt::TextSelectableByMouse);
      show = [label](const Value& v) {
        label->setText(v.isString() ? QString::fromStdString(v.asString()) : QString());
      };
      field = label;
    } else if (key == "displayUnits" || choicesForKey(key)) {
      auto* combo = new QComboBox(editor);
      const auto choices = key == "displayUnits" ? meritoid->possibleUnits() : *choicesForKey(key);
      for (const auto& c : choices) combo->addItem(QString::fromStdString(c));
      show = [combo](const Value& v) {
        const QSignalBlocker block(combo);
        combo->setCurrentIndex(v.isString() ? combo->findText(QString::fromStdString(v.asString())) : -1);
      };
      QObject::connect(combo, &QComboBox::activated, combo,
                       [combo, key, commit](int) { commit(key, Value(combo->currentText().toStdString())); });
      field = combo;
    } else if (value.kind() == Value::Kind::Bool) {
      auto* box = new QCheckBox(editor);
      show = [box](const Value& v) {
        const QSignalBlocker block(box);
        box->setChecked(v.isNumber() && v.asBool());
      };
      QObject::connect(box, &QCheckBox::toggled, box, [key, commit](bool on) { commit(key, Value(on)); });
      field = box;
    } else {
      auto* line = new QLineEdit(editor);
      line->setAlignment(Qt::AlignRight);
      line->setMaximumWidth(110);
      const bool integer = value.kind() == Value::Kind::Integer;
      const bool text = value.isString();
      show = [line, integer, text](const Value& v) {
        if (text)
          line->setText(v.isString() ? QString::fromStdString(v.asString()) : QString());
        else if (integer)
          line->setText(v.isNumber() ? QString::number(v.asInt()) : QString());
        else
          line->setText(v.isNumber() ? numberText(v.asDouble()) : QString());
      };
      QObject::connect(line, &QLineEdit::editingFinished, line, [line, key, commit, integer, text, show, weak] {
        auto m = weak.lock();
        if (!m) return;
        QString why;
        if (text) {
          commit(key, Value(line->text().toStdString()));
        } else if (auto v = typedNumber(line->text(), false, &why)) {
          if (integer)
            commit(key, Value(static_cast<std::int64_t>(std::llround(*v))));
          else
            commit(key, Value(*v));
        }
        // A refused entry (no number, or one the operand does not take) shows the value kept.
        show(m->valueForKey(key));
        if (!why.isEmpty()) showRefusedEntry(line, keptValueMessage(why, labelForKey(key), line->text()));
      });
      field = line;
    }
    field->setObjectName(QString::fromStdString(key));
    show(value);
    holder->watches.push_back(meritoid->addObserver(key, [show, weak, key](const platform::ObservedChange&) {
      if (auto m = weak.lock()) show(m->valueForKey(key));
    }));
    auto* label = new QLabel(labelForKey(key), editor);
    grid->addWidget(label, cell / 2, (cell % 2) * 2, Qt::AlignRight);
    grid->addWidget(field, cell / 2, (cell % 2) * 2 + 1);
    ++cell;
  }
  editor->resize(500, editor->sizeHint().height());
  return editor;
}

}  // namespace

// --- ImportanceBar ------------------------------------------------------------------------------

ImportanceBar::ImportanceBar(QWidget* parent) : QWidget(parent) { setFixedSize(128, 16); }

void ImportanceBar::setImportance(double importance) {
  m_importance = std::isfinite(importance) ? std::clamp(importance, 0.0, 1.0) : 0.0;
  update();
}

void ImportanceBar::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(QRectF(0, 0, 128 * m_importance, 16), QColor(153, 102, 51));
  p.setPen(QColor(200, 200, 200));
  p.drawRect(QRectF(0.5, 0.5, 127, 15));
}

// --- MeritoidViewController ----------------------------------------------------------------------

MeritoidViewController::MeritoidViewController(MeritoidPtr meritoid) : m_meritoid(std::move(meritoid)) {}

MeritoidViewController::~MeritoidViewController() {
  m_watches.clear();
  delete m_view.data();
}

void MeritoidViewController::loadView() {
  if (m_view) return;
  auto* view = new QWidget;
  view->setObjectName(QStringLiteral("MeritoidView"));
  view->resize(500, kEmptyRowHeight);
  m_popup = new QComboBox(view);
  m_popup->setObjectName(QStringLiteral("popupButton"));
  m_popup->addItem(QString::fromUtf8(meritkinds::kNoSelection));
  const auto& enabled = meritkinds::enabledMeritTermIdentifiers();
  for (const auto& entry : meritkinds::menuEntries()) {
    if (entry.empty()) {
      m_popup->insertSeparator(m_popup->count());
      continue;
    }
    m_popup->addItem(QString::fromStdString(entry));
    if (std::find(enabled.begin(), enabled.end(), entry) == enabled.end())
      if (auto* model = qobject_cast<QStandardItemModel*>(m_popup->model()))
        model->item(m_popup->count() - 1)->setEnabled(false);
  }
  m_popup->setGeometry(8, 4, 240, 24);
  auto* add = new QPushButton(QStringLiteral("+"), view);
  add->setObjectName(QStringLiteral("addTerm"));
  add->setGeometry(440, 4, 24, 24);
  auto* remove = new QPushButton(QStringLiteral("−"), view);
  remove->setObjectName(QStringLiteral("removeTerm"));
  remove->setGeometry(468, 4, 24, 24);
  m_valueLabel = new QLabel(view);
  m_valueLabel->setObjectName(QStringLiteral("value"));
  m_valueLabel->setGeometry(256, 4, 152, 24);
  // The operand's curve colour; a colour dropped anywhere on the row sets it.
  m_colorWell = new QLabel(view);
  m_colorWell->setObjectName(QStringLiteral("colorWell"));
  m_colorWell->setGeometry(412, 6, 20, 20);
  m_colorWell->setFrameShape(QFrame::Box);
  m_colorWell->setAutoFillBackground(true);
  m_colorWell->setToolTip(QStringLiteral("Curve colour: drop a colour on the row to change it"));
  view->setAcceptDrops(true);
  view->installEventFilter(this);
  m_importanceBar = new ImportanceBar(view);
  m_importanceBar->setObjectName(QStringLiteral("importance"));
  m_importanceBar->move(10, 32);
  m_messageLabel = new QLabel(view);
  m_messageLabel->setObjectName(QStringLiteral("message"));
  m_messageLabel->setGeometry(146, 30, 346, 20);
  m_messageLabel->setStyleSheet(QStringLiteral("color: #a03020"));
  m_view = view;

  connect(m_popup, &QComboBox::activated, this,
          [this](int index) { changeIdentifier(m_popup->itemText(index).toStdString()); });
  connect(add, &QPushButton::clicked, this, [this] { addTermAction(); });
  connect(remove, &QPushButton::clicked, this, [this] { removeTermAction(); });
  if (m_meritoid)
    synchronizeSubviewWithMeritoid();
  else
    setSubview(nullptr);
}

std::string MeritoidViewController::meritTermIdentifier() const {
  return m_meritoid ? m_meritoid->identifier() : std::string(meritkinds::kNoSelection);
}

void MeritoidViewController::changeIdentifier(const std::string& identifier) {
  const MeritoidPtr old = m_meritoid;
  MeritoidPtr next;
  if (identifier == meritkinds::kNoSelection) {
    if (!old) return;
  } else {
    if (old && old->identifier() == identifier) return;
    next = meritkinds::meritoidForIdentifier(identifier, old);
    if (!next) {
      synchronizeSubviewWithMeritoid();
      return;
    }
  }
  std::weak_ptr<MeritoidViewController> self = weak_from_this();
  std::weak_ptr<MeritFunction> function = m_delegate ? m_delegate->meritFunction() : nullptr;
  auto swap = [self, function](const MeritoidPtr& from, const MeritoidPtr& to) {
    auto row = self.lock();
    if (row && row->delegate()) {
      row->setMeritoid(to);
      return;
    }
    // The editor is gone: the merit function still follows.
    auto f = function.lock();
    if (!f) return;
    const auto& all = f->meritoidArray();
    auto it = std::find(all.begin(), all.end(), from);
    const std::size_t at = it == all.end() ? all.size() : std::size_t(it - all.begin());
    if (it != all.end()) f->removeObjectFromMeritoidArrayAtIndex(at);
    if (to) f->insertObjectInMeritoidArrayAtIndex(to, at);
  };
  const QString name = QStringLiteral("Meritoid type change");
  if (m_delegate)
    m_delegate->perform(
        name, [swap, old, next] { swap(old, next); }, [swap, old, next] { swap(next, old); });
  else
    setMeritoid(next);
}

void MeritoidViewController::setMeritoid(MeritoidPtr meritoid) {
  if (m_delegate && m_meritoid) m_delegate->removeMeritoid(m_meritoid);
  m_meritoid = std::move(meritoid);
  if (m_delegate && m_meritoid) m_delegate->addMeritoid(m_meritoid);
  synchronizeSubviewWithMeritoid();
}

void MeritoidViewController::synchronizeSubviewWithMeritoid() {
  m_watches.clear();
  QWidget* subview = nullptr;
  if (m_meritoid) {
    const std::string nibName = meritkinds::nibNameForNibKey(meritkinds::nibKeyForIdentifier(m_meritoid->identifier()));
    try {
      QPointer<MeritFunctionView> list(m_delegate);
      Performer perform = [list](const QString& name, std::function<void()> redo, std::function<void()> undo) {
        if (list)
          list->perform(name, std::move(redo), std::move(undo));
        else
          redo();
      };
      subview = makeSubEditor(m_meritoid, perform, nibName);
    } catch (const std::exception& e) {
      platform::log("Failed to load nib %s", nibName.c_str());
      platform::log("exception = %s", e.what());
    }
    std::weak_ptr<MeritoidViewController> self = weak_from_this();
    auto refresh = [self](const platform::ObservedChange&) {
      if (auto row = self.lock()) row->refreshReadouts();
    };
    for (const char* key : {"value", "importance", "message", "displayUnits", "included", "color"})
      m_watches.push_back(m_meritoid->addObserver(key, refresh));
  }
  setSubview(subview);
  if (m_popup) {
    const QSignalBlocker block(m_popup);
    m_popup->setCurrentIndex(m_popup->findText(QString::fromStdString(meritTermIdentifier())));
  }
  refreshReadouts();
}

void MeritoidViewController::setSubview(QWidget* subview) {
  if (m_subview && m_subview != subview) delete m_subview.data();
  m_subview = subview;
  if (!m_view) return;
  int height = kEmptyRowHeight;
  if (subview) {
    subview->setParent(m_view);
    subview->setGeometry(0, kRowChrome - 3, m_view->width(), subview->height());
    subview->show();
    height = subview->height() + kRowChrome;
  }
  if (m_delegate)
    m_delegate->updateViewHeight(m_view, height);
  else
    m_view->resize(m_view->width(), height);
}

void MeritoidViewController::refreshReadouts() {
  if (!m_valueLabel) return;
  QPalette palette = m_colorWell->palette();
  if (!m_meritoid) {
    m_valueLabel->clear();
    m_messageLabel->clear();
    m_importanceBar->setImportance(0);
    palette.setColor(QPalette::Window, m_view->palette().color(QPalette::Window));
    m_colorWell->setPalette(palette);
    m_colorWell->setVisible(false);
    return;
  }
  if (const auto c = m_meritoid->color())
    palette.setColor(QPalette::Window, QColor::fromRgbF(float(c->red()), float(c->green()), float(c->blue()),
                                                        float(c->alpha())));
  m_colorWell->setPalette(palette);
  m_colorWell->setVisible(true);
  QString text = QStringLiteral("= %1").arg(numberText(m_meritoid->displayValue()));
  if (!m_meritoid->isDimensionless() && !m_meritoid->displayUnits().empty())
    text += QStringLiteral(" %1").arg(QString::fromStdString(m_meritoid->displayUnits()));
  m_valueLabel->setText(text);
  m_messageLabel->setText(QString::fromStdString(m_meritoid->message()));
  m_importanceBar->setImportance(m_meritoid->importance());
}

void MeritoidViewController::addTermAction() {
  if (m_delegate) m_delegate->addNewViewControllerBelowViewController(this);
}

void MeritoidViewController::removeTermAction() {
  if (m_delegate && m_delegate->canDelete()) m_delegate->deleteViewController(this);
}

void MeritoidViewController::setColorAction(const QColor& color) {
  if (!m_meritoid || !color.isValid()) return;
  const auto next = platform::Color::make(color.redF(), color.greenF(), color.blueF(), color.alphaF());
  const auto old = m_meritoid->color();
  std::weak_ptr<Meritoid> weak = m_meritoid;
  auto apply = [weak](const std::shared_ptr<platform::Color>& c) {
    if (auto m = weak.lock()) m->setColor(c);
  };
  if (m_delegate)
    m_delegate->perform(
        QStringLiteral("Color change"), [apply, next] { apply(next); }, [apply, old] { apply(old); });
  else
    apply(next);
}

bool MeritoidViewController::eventFilter(QObject* watched, QEvent* event) {
  if (watched != m_view.data() || !m_meritoid) return QObject::eventFilter(watched, event);
  switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
      auto* e = static_cast<QDragMoveEvent*>(event);
      if (!e->mimeData() || !e->mimeData()->hasColor()) break;
      e->setDropAction(Qt::CopyAction);
      e->accept();
      return true;
    }
    case QEvent::Drop: {
      auto* e = static_cast<QDropEvent*>(event);
      const QColor color = e->mimeData() ? e->mimeData()->colorData().value<QColor>() : QColor();
      if (!color.isValid()) break;
      setColorAction(color);
      e->setDropAction(Qt::CopyAction);
      e->accept();
      return true;
    }
    default:
      break;
  }
  return QObject::eventFilter(watched, event);
}

void MeritoidViewController::setNumber(int number) {
  if (m_meritoid && m_meritoid->number() != number) m_meritoid->setNumber(number);
}

// --- MeritFunctionView ----------------------------------------------------------------------------

MeritFunctionView::MeritFunctionView(MeritFunctionPtr meritFunction, QUndoStack* undoStack, QWidget* parent)
    : ExpandingView(parent), m_meritFunction(std::move(meritFunction)), m_undoStack(undoStack) {
  m_viewControllers.reserve(10);
}

MeritFunctionView::~MeritFunctionView() {
  // Rows outlive the view only inside undo commands; their views go with this one.
  for (auto& row : m_viewControllers) row->setDelegate(nullptr);
}

void MeritFunctionView::perform(const QString& name, std::function<void()> redo, std::function<void()> undo) {
  if (!m_undoStack) {
    redo();
    if (m_changeCounter) m_changeCounter(1);
    return;
  }
  auto counter = m_changeCounter;
  m_undoStack->push(new FunctionCommand(
      name,
      [redo = std::move(redo), counter] {
        redo();
        if (counter) counter(1);
      },
      [undo = std::move(undo), counter] {
        undo();
        if (counter) counter(-1);
      }));
}

void MeritFunctionView::setup() {
  const auto operands = m_meritFunction ? m_meritFunction->meritoidArray() : MeritFunction::Meritoids{};
  if (operands.empty()) {
    appendView(viewForNewObject());
    return;
  }
  for (const auto& m : operands) appendView(viewForObject(m));
}

MeritoidViewControllerPtr MeritFunctionView::viewControllerForView(const QWidget* view) const {
  for (const auto& row : m_viewControllers)
    if (row->view() == view) return row;
  return nullptr;
}

MeritoidViewControllerPtr MeritFunctionView::viewControllerForNewObject() {
  auto row = std::make_shared<MeritoidViewController>();
  row->setDelegate(this);
  row->loadView();
  return row;
}

MeritoidViewControllerPtr MeritFunctionView::viewControllerForObject(const MeritoidPtr& meritoid) {
  auto row = std::make_shared<MeritoidViewController>(meritoid);
  row->setDelegate(this);
  row->loadView();
  return row;
}

QWidget* MeritFunctionView::viewForNewObject() {
  auto row = viewControllerForNewObject();
  addViewController(row);
  return row->view();
}

QWidget* MeritFunctionView::viewForObject(const MeritoidPtr& meritoid) {
  auto row = viewControllerForObject(meritoid);
  addViewController(row);
  return row->view();
}

void MeritFunctionView::addMeritoid(const MeritoidPtr& meritoid) {
  if (!m_meritFunction || !meritoid) return;
  const auto& all = m_meritFunction->meritoidArray();
  if (std::find(all.begin(), all.end(), meritoid) != all.end()) return;
  if (auto lens = m_meritFunction->lens()) {
    if (!meritoid->lens()) meritoid->firstTimeWithLens(lens);
    meritoid->setLens(lens);
  }
  m_meritFunction->addMeritoid(meritoid);
}

void MeritFunctionView::removeMeritoid(const MeritoidPtr& meritoid) {
  if (!m_meritFunction || !meritoid) return;
  const auto& all = m_meritFunction->meritoidArray();
  auto it = std::find(all.begin(), all.end(), meritoid);
  if (it != all.end())
    m_meritFunction->removeObjectFromMeritoidArrayAtIndex(static_cast<std::size_t>(it - all.begin()));
}

void MeritFunctionView::addViewController(const MeritoidViewControllerPtr& row) {
  if (std::find(m_viewControllers.begin(), m_viewControllers.end(), row) == m_viewControllers.end())
    m_viewControllers.push_back(row);
  row->setDelegate(this);
  addMeritoid(row->meritoid());
}

void MeritFunctionView::removeViewController(const MeritoidViewControllerPtr& row) {
  const MeritoidViewControllerPtr keep = row;
  removeView(row->view());
  removeMeritoid(row->meritoid());
  m_viewControllers.erase(std::remove(m_viewControllers.begin(), m_viewControllers.end(), row),
                          m_viewControllers.end());
}

void MeritFunctionView::restoreViewController(const MeritoidViewControllerPtr& row, int y) {
  addViewController(row);
  addViewAtY(row->view(), y);
}

MeritoidViewControllerPtr MeritFunctionView::addNewViewControllerBelowViewController(MeritoidViewController* below) {
  auto row = viewControllerForNewObject();
  QPointer<MeritFunctionView> self(this);
  QPointer<QWidget> reference(below ? below->view() : nullptr);
  auto y = std::make_shared<int>(-1);
  perform(
      QStringLiteral("Add meritoid"),
      [self, row, reference, y] {
        if (!self) return;
        self->addViewController(row);
        if (*y < 0) {
          self->addViewBelowView(row->view(), reference);
          *y = row->view()->y();
        } else {
          self->addViewAtY(row->view(), *y);
        }
      },
      [self, row] {
        if (self) self->removeViewController(row);
      });
  return row;
}

void MeritFunctionView::deleteViewController(MeritoidViewController* target) {
  MeritoidViewControllerPtr row = target ? target->shared_from_this() : nullptr;
  if (!row || !containsView(row->view())) return;
  const int y = row->view()->y();
  QPointer<MeritFunctionView> self(this);
  const MeritFunctionPtr function = m_meritFunction;
  perform(
      QStringLiteral("Delete meritoid"),
      [self, row, function] {
        if (self)
          self->removeViewController(row);
        else if (function && row->meritoid()) {
          // The editor is gone: the merit function still follows.
          const auto& all = function->meritoidArray();
          auto it = std::find(all.begin(), all.end(), row->meritoid());
          if (it != all.end()) function->removeObjectFromMeritoidArrayAtIndex(std::size_t(it - all.begin()));
        }
      },
      [self, row, y, function] {
        if (self)
          self->restoreViewController(row, y);
        else if (function && row->meritoid()) {
          const auto& all = function->meritoidArray();
          const std::size_t at = std::min<std::size_t>(all.size(), static_cast<std::size_t>(row->meritoid()->number()));
          if (std::find(all.begin(), all.end(), row->meritoid()) == all.end())
            function->insertObjectInMeritoidArrayAtIndex(row->meritoid(), at);
        }
      });
}

void MeritFunctionView::renumberViewsExcluding(QWidget* excluded) {
  int number = 0;
  for (QWidget* view : rows()) {
    if (view == excluded) continue;
    auto row = viewControllerForView(view);
    if (!row || !row->needsNumber()) continue;
    row->setNumber(number++);
  }
  // The merit function keeps its operands in row order, so the optimiser, the plots and
  // the archive see them as the editor shows them.
  if (!m_meritFunction) return;
  auto operands = m_meritFunction->meritoidArray();
  auto sorted = operands;
  std::stable_sort(sorted.begin(), sorted.end(),
                   [](const MeritoidPtr& a, const MeritoidPtr& b) { return a->number() < b->number(); });
  if (sorted != operands) m_meritFunction->setMeritoidArray(sorted);
  for (const auto& row : m_viewControllers)
    if (auto* v = row->view())
      if (auto* remove = v->findChild<QPushButton*>(QStringLiteral("removeTerm"))) remove->setEnabled(canDelete());
}

// --- the editor window ----------------------------------------------------------------------------

namespace {

InterfaceOutlets loadMeritWindow(OBWindow& window) {
  window.setWindowTitle(QStringLiteral("Merit Function Editor"));
  auto* content = new QWidget(&window);
  auto* column = new QVBoxLayout(content);
  auto* top = new QHBoxLayout();
  top->addWidget(new QLabel(QStringLiteral("Merit function"), content));
  auto* popup = new QComboBox(content);
  popup->setObjectName(QStringLiteral("meritFunctionPopUp"));
  popup->setMinimumWidth(160);
  top->addWidget(popup);
  top->addStretch();
  top->addWidget(new QLabel(QStringLiteral("Merit"), content));
  auto* value = new QLabel(content);
  value->setObjectName(QStringLiteral("meritValue"));
  value->setMinimumWidth(90);
  top->addWidget(value);
  auto* evaluate = new QPushButton(QStringLiteral("Evaluate"), content);
  evaluate->setObjectName(QStringLiteral("evaluateMeritFunction"));
  evaluate->setAutoDefault(false);
  top->addWidget(evaluate);
  column->addLayout(top);
  auto* scroll = new QScrollArea(content);
  scroll->setObjectName(QStringLiteral("myScrollView"));
  scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  scroll->setWidgetResizable(false);
  scroll->setFrameShape(QFrame::StyledPanel);
  column->addWidget(scroll, 1);
  auto* bottom = new QHBoxLayout();
  auto* message = new QLabel(content);
  message->setObjectName(QStringLiteral("meritMessage"));
  bottom->addWidget(message, 1);
  for (const auto& [name, title] :
       {std::pair{"rainbowColors", "Rainbow Colors"}, std::pair{"randomizeColors", "Random Colors"}}) {
    auto* b = new QPushButton(QString::fromUtf8(title), content);
    b->setObjectName(QString::fromUtf8(name));
    b->setAutoDefault(false);
    b->setToolTip(QStringLiteral("Colour the operands' curves in the merit plot"));
    bottom->addWidget(b);
  }
  column->addLayout(bottom);
  window.setCentralWidget(content);
  // The rows have one width; the window grows only in height.
  const int width = 500 + scroll->verticalScrollBar()->sizeHint().width() + 2 * scroll->frameWidth() + 24;
  window.setMinimumWidth(width);
  window.setMaximumWidth(width);
  window.resize(width, 560);
  return {};
}

/// The document's merit functions ("MeritFunctions"): add, edit, clone, remove and
/// evaluate them; rows are renamed in place and reordered by dragging; a double click
/// edits.
class MeritFunctionListPanel : public QWidget {
 public:
  MeritFunctionListPanel(const std::shared_ptr<OBDocument>& document, QWidget* parent) : QWidget(parent) {
    auto* column = new QVBoxLayout(this);
    auto* table = new DNDTableView(this);
    table->setObjectName(QStringLiteral("meritFunctionTable"));
    auto* controller = new MeritFunctionArrayController(document, table);
    controller->setTableView(table);
    table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    table->setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
    table->verticalHeader()->hide();
    table->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    table->setToolTip(QStringLiteral("Drag rows to reorder; drop a colour on a row to colour its operands"));
    column->addWidget(table, 1);
    auto* buttons = new QHBoxLayout();
    struct Button {
      const char* title;
      const char* name;
      void (MeritFunctionArrayController::*action)();
    };
    const Button actions[] = {{"Add", "add", &MeritFunctionArrayController::addAndEditAction},
                              {"Remove", "remove", &MeritFunctionArrayController::remove},
                              {"Edit", "edit", &MeritFunctionArrayController::editAction},
                              {"Clone", "clone", &MeritFunctionArrayController::cloneAction},
                              {"Clone and Edit", "cloneAndEdit", &MeritFunctionArrayController::cloneAndEditAction},
                              {"Evaluate", "evaluate", &MeritFunctionArrayController::evaluateAction}};
    for (const auto& [title, name, action] : actions) {
      auto* b = new QPushButton(QString::fromUtf8(title), this);
      b->setObjectName(QString::fromUtf8(name));
      b->setAutoDefault(false);
      connect(b, &QPushButton::clicked, controller, [controller, action = action] { (controller->*action)(); });
      buttons->addWidget(b);
    }
    column->addLayout(buttons);
    connect(table, &QAbstractItemView::activated, controller, [controller] { controller->editAction(); });
  }
};

}  // namespace

// --- the merit-function table ---------------------------------------------------------------------

MeritFunctionArrayController::MeritFunctionArrayController(const std::shared_ptr<OBDocument>& document,
                                                           QObject* parent)
    : DNDArrayController(parent), m_document(document) {
  std::weak_ptr<OBDocument> weak = document;
  ArrayBinding binding;
  binding.objects = [weak] {
    std::vector<ObjectPtr> out;
    if (auto d = weak.lock())
      for (std::size_t i = 0; i < d->countOfMeritFunctionArray(); ++i)
        out.push_back(d->objectInMeritFunctionArrayAtIndex(i));
    return out;
  };
  binding.insert = [weak](ObjectPtr object, std::size_t at) {
    if (auto d = weak.lock())
      d->insertObjectInMeritFunctionArrayAtIndex(std::dynamic_pointer_cast<MeritFunction>(object), at);
  };
  binding.remove = [weak](std::size_t at) {
    if (auto d = weak.lock()) d->removeObjectFromMeritFunctionArrayAtIndex(at);
  };
  setColumns({{"name", "Name", "name", true, nullptr}, {"doubleValue", "Merit", "doubleValue", false, nullptr}});
  setObjectFactory([] { return MeritFunction::create(); });
  setContent(std::move(binding));
  // Undo, redo and the other windows change the list too.
  watchRows();
  m_watch = document->addObserver("meritFunctionArray", [this](const platform::ObservedChange&) {
    reloadContent();
    watchRows();
  });
}

void MeritFunctionArrayController::watchRows() {
  m_rowWatches.clear();
  auto d = document();
  for (std::size_t i = 0; d && i < d->countOfMeritFunctionArray(); ++i) {
    auto f = d->objectInMeritFunctionArrayAtIndex(i);
    if (!f) continue;
    std::weak_ptr<MeritFunction> row = f;
    for (const char* key : {"name", "doubleValue"})
      m_rowWatches.push_back(f->addObserver(key, [this, row](const platform::ObservedChange&) {
        const auto& objects = arrangedObjects();
        auto it = std::find(objects.begin(), objects.end(), row.lock());
        if (it == objects.end()) return;
        const int r = int(it - objects.begin());
        emit dataChanged(index(r, 0), index(r, columnCount() - 1));
      }));
  }
}

MeritFunctionArrayController::~MeritFunctionArrayController() = default;

QStringList MeritFunctionArrayController::draggedTypes() const {
  return {QString::fromLatin1(kMovedRowsType), QString::fromLatin1(kColorPasteboardType)};
}

QStringList MeritFunctionArrayController::acceptableProperties() const {
  return {QString::fromLatin1(kColorPasteboardType)};
}

std::string MeritFunctionArrayController::keyForProperty(const QString& type) const {
  return type == QLatin1String(kColorPasteboardType) ? "color" : std::string();
}

QStringList MeritFunctionArrayController::typesToDragOut() const { return {QString::fromLatin1(kMovedRowsType)}; }

Qt::DropAction MeritFunctionArrayController::dragOperationForMask(Qt::DropActions mask) const {
  return (mask & Qt::MoveAction) ? Qt::MoveAction : Qt::IgnoreAction;
}

void MeritFunctionArrayController::replaceMeritFunctions(const char* name, platform::Array functions) {
  auto doc = document();
  if (!doc) return;
  std::weak_ptr<OBDocument> weak = doc;
  const platform::Array before = doc->meritFunctionArray();
  doc->undoStack().push(new FunctionCommand(
      QString::fromUtf8(name),
      [weak, functions] {
        if (auto d = weak.lock()) {
          d->setMeritFunctionArray(functions);
          d->updateChangeCount(1);
        }
      },
      [weak, before] {
        if (auto d = weak.lock()) {
          d->setMeritFunctionArray(before);
          d->updateChangeCount(-1);
        }
      }));
}

bool MeritFunctionArrayController::acceptDrop(const QMimeData* data, int row, bool onRow, Qt::DropActions sourceMask,
                                              bool fromOwnTable) {
  auto doc = document();
  if (!doc || !data || !isEditable()) return false;
  commitEditing();
  const QString type = typeFromDrop(data, fromOwnTable);
  const auto& objects = arrangedObjects();
  const std::size_t count = objects.size();

  if (type == QLatin1String(kMovedRowsType)) {
    if (!fromOwnTable || dragOperationForMask(sourceMask) != Qt::MoveAction) return false;
    auto rows = decodeRowIndexes(data->data(kMovedRowsType));
    if (!rows || rows->empty()) return false;
    const auto moved = sortedUnique(std::move(*rows));
    if (moved.back() >= count) return false;  // a stale drag: nothing to move
    const std::size_t at = std::min(static_cast<std::size_t>(std::max(row, 0)), count);
    const auto above =
        static_cast<std::size_t>(std::count_if(moved.begin(), moved.end(), [at](auto r) { return r < at; }));
    const platform::Array& old = doc->meritFunctionArray();
    platform::Array rest, block;
    for (std::size_t i = 0; i < old.size(); ++i)
      (std::binary_search(moved.begin(), moved.end(), i) ? block : rest).push_back(old[i]);
    platform::Array reordered(rest.begin(), rest.begin() + static_cast<std::ptrdiff_t>(at - above));
    reordered.insert(reordered.end(), block.begin(), block.end());
    reordered.insert(reordered.end(), rest.begin() + static_cast<std::ptrdiff_t>(at - above), rest.end());
    if (reordered != old) replaceMeritFunctions("Move merit functions", std::move(reordered));
    selectRange(at - above, moved.size());
    return true;
  }

  if (type == QLatin1String(kColorPasteboardType) && onRow) {
    if (row < 0 || static_cast<std::size_t>(row) >= count) return false;
    const QColor color = data->colorData().value<QColor>();
    auto function = std::dynamic_pointer_cast<MeritFunction>(objects[static_cast<std::size_t>(row)]);
    if (!color.isValid() || !function || function->meritoidArray().empty()) return false;
    // A merit function's colour is its operands' colour: the merit plot draws them.
    const auto operands = function->meritoidArray();
    const auto next = platform::Color::make(color.redF(), color.greenF(), color.blueF(), color.alphaF());
    std::vector<std::shared_ptr<platform::Color>> before;
    for (const auto& m : operands) before.push_back(m->color());
    std::weak_ptr<OBDocument> weak = doc;
    doc->undoStack().push(new FunctionCommand(
        QStringLiteral("Color merit function"),
        [weak, operands, next] {
          for (const auto& m : operands) m->setColor(next);
          if (auto d = weak.lock()) d->updateChangeCount(1);
        },
        [weak, operands, before] {
          for (std::size_t i = 0; i < operands.size(); ++i) operands[i]->setColor(before[i]);
          if (auto d = weak.lock()) d->updateChangeCount(-1);
        }));
    return true;
  }
  return false;
}

bool MeritFunctionArrayController::setData(const QModelIndex& index, const QVariant& value, int role) {
  auto doc = document();
  if (role != Qt::EditRole || !index.isValid() || !doc || !(flags(index) & Qt::ItemIsEditable) ||
      columns()[static_cast<std::size_t>(index.column())].keyPath != "name")
    return DNDArrayController::setData(index, value, role);
  auto function = std::dynamic_pointer_cast<MeritFunction>(arrangedObjects()[static_cast<std::size_t>(index.row())]);
  if (!function) return false;
  const std::string name = value.toString().toStdString();
  const std::string old = function->name();
  if (name == old) return true;
  std::weak_ptr<OBDocument> weak = doc;
  doc->undoStack().push(new FunctionCommand(
      QStringLiteral("Rename merit function"),
      [weak, function, name] {
        function->setName(name);
        if (auto d = weak.lock()) d->updateChangeCount(1);
      },
      [weak, function, old] {
        function->setName(old);
        if (auto d = weak.lock()) d->updateChangeCount(-1);
      }));
  return true;
}

void MeritFunctionArrayController::editAction() {
  for (const auto& object : selectedObjects())
    if (auto f = std::dynamic_pointer_cast<MeritFunction>(object))
      MeritFunctionEditorController::editMeritFunction(document(), f);
}

void MeritFunctionArrayController::cloneAction() {
  auto doc = document();
  if (!doc) return;
  commitEditing();
  std::vector<ObjectPtr> copies;
  for (const auto& object : selectedObjects())
    if (auto f = std::dynamic_pointer_cast<MeritFunction>(object)) {
      auto copy = f->copy();
      copy->setName("copy of " + f->name());
      copies.push_back(copy);
    }
  if (copies.empty()) return;
  const std::size_t at = arrangedObjects().size();
  if (copies.size() > 1) doc->undoStack().beginMacro(QStringLiteral("Clone merit functions"));
  insertObjects(copies, at);
  if (copies.size() > 1) doc->undoStack().endMacro();
  selectRange(at, copies.size());
}

void MeritFunctionArrayController::cloneAndEditAction() {
  cloneAction();
  editAction();
}

void MeritFunctionArrayController::addAndEditAction() {
  add();
  QTimer::singleShot(100, this, [this] { editAction(); });
}

void MeritFunctionArrayController::remove() {
  auto doc = document();
  if (!doc) return;
  const bool several = selectionIndexes().size() > 1;
  if (several) doc->undoStack().beginMacro(QStringLiteral("Delete merit functions"));
  DNDArrayController::remove();
  if (several) doc->undoStack().endMacro();
}

void MeritFunctionArrayController::evaluateAction() {
  auto doc = document();
  if (!doc) return;
  try {
    for (const auto& object : selectedObjects())
      if (auto f = std::dynamic_pointer_cast<MeritFunction>(object)) {
        f->setLens(doc->lens());
        f->evaluate();
      }
  } catch (const platform::Exception&) {
    // A lens that cannot be traced ends the evaluation; the operands say why.
  }
}

namespace {

InterfaceOutlets loadMeritFunctions(OBWindow& window) {
  window.setWindowTitle(QStringLiteral("Merit Functions"));
  auto* controller = window.controller();
  auto document = controller ? std::dynamic_pointer_cast<OBDocument>(controller->document()) : nullptr;
  if (!document)
    platform::Exception::raise("NSInternalInconsistencyException", "Merit Functions needs a lens document");
  window.setCentralWidget(new MeritFunctionListPanel(document, &window));
  window.resize(520, 260);
  return {};
}

}  // namespace

MeritFunctionEditorController::MeritFunctionEditorController(std::string nibName,
                                                             const std::shared_ptr<SmartDocument>& document)
    : WindowControllerWithDocumentController(std::move(nibName), document) {}

MeritFunctionEditorController::~MeritFunctionEditorController() { closeIfOpen(); }

std::shared_ptr<OBDocument> MeritFunctionEditorController::obDocument() const {
  return std::dynamic_pointer_cast<OBDocument>(document());
}

void MeritFunctionEditorController::awakeFromNib() {
  WindowControllerWithDocumentController::awakeFromNib();
  auto* w = window();
  if (auto* b = w->findChild<QPushButton*>(QStringLiteral("evaluateMeritFunction")))
    connect(b, &QPushButton::clicked, this, [this] { evaluateMeritFunction(); });
  if (auto* popup = w->findChild<QComboBox*>(QStringLiteral("meritFunctionPopUp")))
    connect(popup, &QComboBox::activated, this, [this](int index) { setIndexOfMeritFunction(std::size_t(index)); });
  if (auto* b = w->findChild<QPushButton*>(QStringLiteral("rainbowColors")))
    connect(b, &QPushButton::clicked, this, [this] { rainbowColors(); });
  if (auto* b = w->findChild<QPushButton*>(QStringLiteral("randomizeColors")))
    connect(b, &QPushButton::clicked, this, [this] { randomizeColors(); });
  if (auto doc = obDocument()) {
    m_documentWatch = doc->addObserver("meritFunctionArray", [this](const platform::ObservedChange&) {
      // A merit function deleted from the document takes its editor with it.
      if (m_meritFunction && indexOfMeritFunction() == std::string::npos) {
        setMeritFunction(nullptr);
        QTimer::singleShot(0, this, [this] { close(); });
        return;
      }
      refreshMeritFunctionMenu();
    });
    if (!m_meritFunction) {
      // Opened from the menu: the first merit function, or a new one for a document
      // without any.
      if (doc->countOfMeritFunctionArray() == 0) {
        auto fresh = MeritFunction::create();
        doc->setMeritFunctionArray({Value(fresh)});
      }
      m_meritFunction = doc->objectInMeritFunctionArrayAtIndex(0);
    }
  }
  setMeritFunction(m_meritFunction);
}

void MeritFunctionEditorController::setMeritFunction(MeritFunctionPtr meritFunction) {
  m_lensBuffer.reset();
  m_evaluator.reset();
  m_watches.clear();
  m_meritFunction = std::move(meritFunction);
  if (!isWindowLoaded()) return;
  generateMeritFunctionView();
  refreshMeritFunctionMenu();
  if (m_meritFunction) {
    auto provider = std::dynamic_pointer_cast<analysis::LensProvider>(document());
    if (provider) m_lensBuffer = std::make_unique<analysis::LensBuffer>(provider, m_meritFunction);
    m_evaluator = optimisation::MeritFunctionEvaluator::create(m_meritFunction);
    for (const char* key : {"doubleValue", "message", "name"})
      m_watches.push_back(
          m_meritFunction->addObserver(key, [this](const platform::ObservedChange&) { refreshMeritValue(); }));
  }
  refreshMeritValue();
}

void MeritFunctionEditorController::generateMeritFunctionView() {
  auto* scroll = window()->findChild<QScrollArea*>(QStringLiteral("myScrollView"));
  if (!scroll) return;
  delete scroll->takeWidget();
  m_view = nullptr;
  if (!m_meritFunction) return;
  auto doc = obDocument();
  auto* view = new MeritFunctionView(m_meritFunction, doc ? &doc->undoStack() : nullptr);
  std::weak_ptr<OBDocument> weak = doc;
  view->setChangeCounter([weak](int delta) {
    if (auto d = weak.lock()) d->updateChangeCount(delta);
  });
  view->setup();
  scroll->setWidget(view);
  scroll->verticalScrollBar()->setValue(0);
  m_view = view;
}

void MeritFunctionEditorController::refreshMeritFunctionMenu() {
  if (!isWindowLoaded()) return;
  auto* popup = window()->findChild<QComboBox*>(QStringLiteral("meritFunctionPopUp"));
  auto doc = obDocument();
  if (!popup || !doc) return;
  const QSignalBlocker block(popup);
  popup->clear();
  for (std::size_t i = 0; i < doc->countOfMeritFunctionArray(); ++i) {
    auto f = doc->objectInMeritFunctionArrayAtIndex(i);
    popup->addItem(QString::fromStdString(f ? f->name() : std::string()));
  }
  const std::size_t index = indexOfMeritFunction();
  popup->setCurrentIndex(index == std::string::npos ? -1 : int(index));
}

void MeritFunctionEditorController::refreshMeritValue() {
  if (!isWindowLoaded()) return;
  auto* w = window();
  if (auto* label = w->findChild<QLabel*>(QStringLiteral("meritValue")))
    label->setText(m_meritFunction ? numberText(m_meritFunction->doubleValue()) : QString());
  if (auto* label = w->findChild<QLabel*>(QStringLiteral("meritMessage")))
    label->setText(m_meritFunction ? QString::fromStdString(m_meritFunction->message()) : QString());
}

MeritFunctionPtr MeritFunctionEditorController::meritFunctionForIndex(std::size_t index) const {
  auto doc = obDocument();
  if (!doc || index >= doc->countOfMeritFunctionArray()) return nullptr;
  return doc->objectInMeritFunctionArrayAtIndex(index);
}

std::size_t MeritFunctionEditorController::indexOfMeritFunction(const MeritFunctionPtr& meritFunction) const {
  auto doc = obDocument();
  if (!doc || !meritFunction) return std::string::npos;
  for (std::size_t i = 0; i < doc->countOfMeritFunctionArray(); ++i)
    if (doc->objectInMeritFunctionArrayAtIndex(i) == meritFunction) return i;
  return std::string::npos;
}

void MeritFunctionEditorController::setIndexOfMeritFunction(std::size_t index) {
  auto f = meritFunctionForIndex(index);
  if (f && f != m_meritFunction) setMeritFunction(f);
}

void MeritFunctionEditorController::evaluateMeritFunction() {
  if (!m_meritFunction) return;
  try {
    m_meritFunction->evaluate();
  } catch (const platform::Exception& e) {
    m_meritFunction->setMessage(e.what());
  }
}

void MeritFunctionEditorController::rainbowColors() {
  colorOperands(QStringLiteral("Rainbow colors"),
                [](const platform::Array& operands) { ArrayColorizer::rainbowColorsForArray(operands, 1.0); });
}

void MeritFunctionEditorController::randomizeColors() {
  colorOperands(QStringLiteral("Random colors"),
                [](const platform::Array& operands) { ArrayColorizer::randomizeColorsForArray(operands, 1.0); });
}

void MeritFunctionEditorController::colorOperands(const QString& name,
                                                  const std::function<void(const platform::Array&)>& colorize) {
  if (!m_meritFunction || !m_view) return;
  const auto operands = m_meritFunction->meritoidArray();
  if (operands.empty()) return;
  using Colors = std::vector<std::shared_ptr<platform::Color>>;
  platform::Array array;
  Colors before, after;
  for (const auto& m : operands) {
    array.emplace_back(m);
    before.push_back(m->color());
  }
  // Random hues are drawn once: redo must give the same colours, so the step replays them.
  colorize(array);
  for (const auto& m : operands) after.push_back(m->color());
  auto apply = [operands](const Colors& colors) {
    for (std::size_t i = 0; i < operands.size(); ++i) operands[i]->setColor(colors[i]);
  };
  apply(before);
  m_view->perform(name, [apply, after] { apply(after); }, [apply, before] { apply(before); });
}

void MeritFunctionEditorController::windowWillClose() {
  m_lensBuffer.reset();
  m_evaluator.reset();
  m_watches.clear();
  m_documentWatch.remove();
  WindowControllerWithDocumentController::windowWillClose();
}

MeritFunctionEditorController* MeritFunctionEditorController::windowControllerForObject(
    const std::shared_ptr<OBDocument>& document, const MeritFunctionPtr& meritFunction) {
  if (!document || !meritFunction) return nullptr;
  for (auto* c : document->windowControllers()) {
    auto* editor = qobject_cast<MeritFunctionEditorController*>(c);
    if (editor && c->nibName() == "MeritWindow" && !c->isClosing() && editor->meritFunction() == meritFunction)
      return editor;
  }
  return nullptr;
}

MeritFunctionEditorController* MeritFunctionEditorController::editMeritFunction(
    const std::shared_ptr<OBDocument>& document, const MeritFunctionPtr& meritFunction) {
  if (!document || !meritFunction) return nullptr;
  if (auto* open = windowControllerForObject(document, meritFunction)) {
    open->showWindow();
    return open;
  }
  auto* editor = dynamic_cast<MeritFunctionEditorController*>(
      makeController("MeritFunctionEditorController", "MeritWindow", document));
  if (!editor) return nullptr;
  editor->setMeritFunction(meritFunction);
  editor->showWindow();
  return editor;
}

SmartWindowController* makeMeritFunctionEditorController(const std::string& nibName,
                                                         const std::shared_ptr<SmartDocument>& document) {
  return new MeritFunctionEditorController(nibName, document);
}

void registerMeritEditor() {
  static const bool once = [] {
    interfacefile::registerLoader("MeritWindow", loadMeritWindow);
    interfacefile::registerLoader("MeritFunctions", loadMeritFunctions);
    return true;
  }();
  (void)once;
}

}  // namespace orb::app
