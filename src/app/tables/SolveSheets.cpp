#include "app/tables/SolveSheets.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QCompleter>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "app/tables/Formatters.h"
#include "lens/Aperture.h"
#include "lens/Emission.h"
#include "lens/Lens.h"
#include "lens/LensGlassResolver.h"
#include "lens/Parameter.h"
#include "lens/SolveCodes.h"
#include "lens/Surface.h"
#include "materials/Glass.h"
#include "materials/GlassCatalog.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"
#include "tracing/Emitters.h"

namespace orb::app {

namespace {

using lens::Parameter;
using lens::Surface;
using SurfacePtr = std::shared_ptr<Surface>;

constexpr int kSheetDelayMs = 200;

/// Set when a model request opens a sheet, cleared by the next placement: such
/// sheets open at the window's usual place, not at the control that happened to
/// be pressed last.
bool g_placementFlag = false;

struct KindInfo {
  SolveSheetKind kind;
  const char *notification;
  const char *undoName;
};

constexpr KindInfo kKinds[] = {
    {SolveSheetKind::Curvature, "curvatureSolveRequiresAttention",
     "Curvature solve"},
    {SolveSheetKind::Thickness, "thicknessSolveRequiresAttention",
     "Thickness solve"},
    {SolveSheetKind::Semidiameter, "semidiameterSolveRequiresAttention",
     "Semidiameter solve"},
    {SolveSheetKind::Glass, "glassSolveRequiresAttention", "Glass solve"},
    {SolveSheetKind::ModelGlass, "modelGlassRequiresAttention", "Model glass"},
    {SolveSheetKind::Parameter, "parameterSolveRequiresAttention",
     "Parameter solve"},
    {SolveSheetKind::Aperture, "", "Aperture"},
};

const KindInfo &info(SolveSheetKind kind) {
  for (const auto &k : kKinds)
    if (k.kind == kind)
      return k;
  return kKinds[0];
}

bool isSurfaceKind(SolveSheetKind kind) {
  return kind == SolveSheetKind::Curvature ||
         kind == SolveSheetKind::Thickness ||
         kind == SolveSheetKind::Semidiameter || kind == SolveSheetKind::Glass;
}

QString qs(const std::string &s) { return QString::fromStdString(s); }

QString nicknameText(const SurfacePtr &s) {
  return s ? qs(s->nickname()) : QString(lens::solve::kNoReference);
}

/// The object a notification names: surfaces post their reference, parameters
/// themselves.
ObjectPtr objectOfNotification(const platform::Value &object) {
  if (object.kind() == platform::Value::Kind::Reference)
    return object.asReference().lock();
  if (object.isObject())
    return object.asObject();
  return nullptr;
}

std::vector<SurfacePtr> earlierSurfaces(const Surface &surface) {
  return surface.possibleSolveSurfaces().value_or(std::vector<SurfacePtr>{});
}

// Which inputs each code uses (what the regeneration reads).
bool usesTarget(SolveSheetKind kind, int code) {
  if (kind == SolveSheetKind::Thickness)
    return code == 2 || code == 3 || code == 4 || code == 6 || code == 7 ||
           code == 8;
  if (kind == SolveSheetKind::Curvature)
    return code == 2 || code == 3 || code == 8 || code == 11;
  return false;
}
bool usesZone(SolveSheetKind kind, int code) {
  return kind == SolveSheetKind::Thickness && (code == 2 || code == 6);
}
bool usesSurface(SolveSheetKind kind, int code) {
  switch (kind) {
  case SolveSheetKind::Thickness:
    return Surface::thicknessSolveNeedsSurface(code);
  case SolveSheetKind::Curvature:
    return Surface::curvatureSolveNeedsSurface(code);
  case SolveSheetKind::Semidiameter:
    return code == Surface::kSemiPickup;
  case SolveSheetKind::Glass:
    return code == lens::solve::kGlassPickup;
  default:
    return false;
  }
}
bool usesScale(SolveSheetKind kind, int code) {
  return (kind == SolveSheetKind::Thickness && code == 5) ||
         (kind == SolveSheetKind::Curvature && code == 4);
}
bool usesOffset(SolveSheetKind kind, int code) {
  return kind == SolveSheetKind::Thickness && code == 5;
}
bool usesSemidiameter(SolveSheetKind kind, int code) {
  return kind == SolveSheetKind::Semidiameter && code == Surface::kSemiFixed;
}

} // namespace

const char *solveSheetNotificationName(SolveSheetKind kind) {
  return info(kind).notification;
}

QString solvePopUpTitle(const QString &title) {
  return title.size() < 2 ? title : title.left(1);
}

std::vector<std::string> solveChoices(SolveSheetKind kind,
                                      const ObjectPtr &object) {
  if (kind == SolveSheetKind::Parameter)
    return std::dynamic_pointer_cast<Parameter>(object)
               ? Parameter::solveDescriptors()
               : std::vector<std::string>{};
  auto surface = std::dynamic_pointer_cast<Surface>(object);
  if (!surface)
    return {};
  switch (kind) {
  case SolveSheetKind::Curvature:
    return Surface::curvatureSolveDescriptors();
  case SolveSheetKind::Thickness:
    return Surface::thicknessSolveDescriptors();
  case SolveSheetKind::Semidiameter:
    return Surface::semidiameterSolveDescriptors();
  case SolveSheetKind::Glass:
    return surface->glassSolveDescriptors();
  default:
    return {};
  }
}

std::string currentSolveChoice(SolveSheetKind kind, const ObjectPtr &object) {
  if (kind == SolveSheetKind::Parameter) {
    auto parameter = std::dynamic_pointer_cast<Parameter>(object);
    return parameter ? parameter->solveDescriptor() : std::string();
  }
  auto surface = std::dynamic_pointer_cast<Surface>(object);
  if (!surface)
    return {};
  switch (kind) {
  case SolveSheetKind::Curvature:
    return surface->curvatureSolveDescriptor();
  case SolveSheetKind::Thickness:
    return surface->thicknessSolveDescriptor();
  case SolveSheetKind::Semidiameter:
    return surface->semidiameterSolveDescriptor();
  case SolveSheetKind::Glass:
    return surface->glassSolveDescriptor();
  default:
    return {};
  }
}

void chooseSolve(SolveSheetKind kind, const ObjectPtr &object,
                 const std::string &choice) {
  if (kind == SolveSheetKind::Parameter) {
    if (auto parameter = std::dynamic_pointer_cast<Parameter>(object))
      parameter->setSolveDescriptor(choice);
    return;
  }
  auto surface = std::dynamic_pointer_cast<Surface>(object);
  if (!surface)
    return;
  switch (kind) {
  case SolveSheetKind::Curvature:
    if (surface->canEditCurvatureSolveType())
      surface->setCurvatureSolveDescriptor(choice);
    break;
  case SolveSheetKind::Thickness:
    if (surface->canEditThicknessSolveType())
      surface->setThicknessSolveDescriptor(choice);
    break;
  case SolveSheetKind::Semidiameter:
    surface->setSemidiameterSolveDescriptor(choice);
    break;
  case SolveSheetKind::Glass:
    if (surface->canEditGlassSolveType()) {
      surface->setGlassSolveDescriptor(choice);
      surface->touchGlassSolve();
    }
    break;
  default:
    break;
  }
}

void chooseSolveFromMenu(SolveSheetKind kind, const ObjectPtr &object,
                         const std::string &choice,
                         SolveSheetController *controller) {
  auto surface = std::dynamic_pointer_cast<Surface>(object);
  if (kind == SolveSheetKind::Glass && surface && controller &&
      surface->glass() && surface->glass()->isModel() &&
      qs(choice).trimmed() == "fixed at user-specified value") {
    // The model's own menu would make the surface air on the way: the sheet
    // asks for the catalog glass and puts it in the model's place.
    controller->startDialog(SolveSheetKind::ModelGlass, surface);
    if (auto *sheet = qobject_cast<ModelGlassSheet *>(controller->sheet()))
      sheet->catalogGlassField()->setFocus();
    return;
  }
  if (controller)
    controller->willChooseFromMenu(object);
  chooseSolve(kind, object, choice);
  if (controller)
    controller->startDialogIfNeeded(kind);
}

// --- SolveSheet
// ------------------------------------------------------------------------------

SolveSheet::SolveSheet(SolveSheetKind kind, ObjectPtr object, QWidget *window)
    : QDialog(window), m_kind(kind), m_object(std::move(object)) {
  setWindowModality(Qt::WindowModal);
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(info(kind).undoName);
  auto *layout = new QVBoxLayout(this);
  m_form = new QFormLayout;
  layout->addLayout(m_form);
  m_error = new QLabel(this);
  m_error->setObjectName("error");
  m_error->setStyleSheet("color: #b00000");
  m_error->setWordWrap(true);
  m_error->hide();
  layout->addWidget(m_error);
  m_buttons = new QDialogButtonBox(
      QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  layout->addWidget(m_buttons);
  connect(m_buttons, &QDialogButtonBox::accepted, this, &SolveSheet::accept);
  connect(m_buttons, &QDialogButtonBox::rejected, this, &SolveSheet::reject);
}

std::string SolveSheet::undoName() const { return info(m_kind).undoName; }

void SolveSheet::accept() {
  QString error;
  if (m_willApply)
    m_willApply();
  if (!apply(&error)) {
    m_error->setText(error);
    m_error->show();
    return;
  }
  QDialog::accept();
}

QLineEdit *SolveSheet::addNumberRow(const QString &label, const char *key) {
  auto *field = new QLineEdit(this);
  field->setObjectName(key);
  m_form->addRow(label, field);
  return field;
}

QComboBox *SolveSheet::addChoiceRow(const QString &label, const char *key) {
  auto *field = new QComboBox(this);
  field->setObjectName(key);
  m_form->addRow(label, field);
  return field;
}

QCheckBox *SolveSheet::addCheckRow(const QString &label, const char *key) {
  auto *field = new QCheckBox(this);
  field->setObjectName(key);
  m_form->addRow(label, field);
  return field;
}

void SolveSheet::setRowShown(QWidget *field, bool shown) {
  m_form->setRowVisible(field, shown);
}

bool SolveSheet::readNumber(QLineEdit *field, const QString &label, double &out,
                            QString *error) const {
  // No solve input is infinite: ±∞ would only fail later.
  QString why;
  const auto value = typedNumber(field->text(), false, &why);
  if (!value) {
    if (error)
      *error = QString("%1: %2.").arg(label, why);
    return false;
  }
  out = *value;
  return true;
}

void SolveSheet::showNumber(QLineEdit *field, double value) {
  // Written as it is read back: with a decimal point in every locale.
  field->setText(formatDouble("%.12g", value));
}

// --- SurfaceSolveSheet
// --------------------------------------------------------------------------

SurfaceSolveSheet::SurfaceSolveSheet(SolveSheetKind kind,
                                     std::shared_ptr<Surface> surface,
                                     QWidget *window)
    : SolveSheet(kind, surface, window), m_edited(std::move(surface)) {
  setWindowTitle(QString("%1 of surface %2")
                     .arg(info(kind).undoName, nicknameText(m_edited)));
  m_type = addChoiceRow("Solve:", "type");
  std::vector<std::string> descriptors;
  switch (kind) {
  case SolveSheetKind::Curvature:
    descriptors = Surface::curvatureSolveDescriptors();
    m_codes = Surface::curvatureSolveKeys();
    break;
  case SolveSheetKind::Thickness:
    descriptors = Surface::thicknessSolveDescriptors();
    m_codes = Surface::thicknessSolveKeys();
    break;
  case SolveSheetKind::Semidiameter:
    descriptors = Surface::semidiameterSolveDescriptors();
    m_codes = Surface::semidiameterSolveKeys();
    break;
  default:
    descriptors = {"  as set", "P pick up..."};
    m_codes = {lens::solve::kGlassAsSet, lens::solve::kGlassPickup};
    break;
  }
  for (const auto &d : descriptors)
    m_type->addItem(qs(d).trimmed());
  m_target = addNumberRow(kind == SolveSheetKind::Thickness ? "Target:"
                                                            : "Target value:",
                          "target");
  m_zone = addNumberRow("Pupil zone:", "zone");
  m_surface = addChoiceRow("Surface:", "surface");
  m_scale = addNumberRow("Scale:", "scale");
  m_offset = addNumberRow("Offset:", "offset");
  m_semidiameter = addNumberRow("Semidiameter:", "semidiameter");
  m_candidates = earlierSurfaces(*m_edited);
  for (const auto &s : m_candidates)
    m_surface->addItem(nicknameText(s));
  connect(m_type, &QComboBox::currentIndexChanged, this,
          [this] { showRowsForType(); });
  load();
}

int SurfaceSolveSheet::chosenType() const {
  const int i = m_type->currentIndex();
  return i >= 0 && i < static_cast<int>(m_codes.size())
             ? m_codes[static_cast<std::size_t>(i)]
             : 0;
}

void SurfaceSolveSheet::showRowsForType() {
  const int code = chosenType();
  setRowShown(m_target, usesTarget(kind(), code));
  setRowShown(m_zone, usesZone(kind(), code));
  setRowShown(m_surface, usesSurface(kind(), code));
  setRowShown(m_scale, usesScale(kind(), code));
  setRowShown(m_offset, usesOffset(kind(), code));
  setRowShown(m_semidiameter, usesSemidiameter(kind(), code));
}

void SurfaceSolveSheet::load() {
  const lens::SolveInputs *inputs = nullptr;
  switch (kind()) {
  case SolveSheetKind::Curvature:
    inputs = &m_edited->curvatureSolve();
    break;
  case SolveSheetKind::Thickness:
    inputs = &m_edited->thicknessSolve();
    break;
  case SolveSheetKind::Semidiameter:
    inputs = &m_edited->semidiameterSolve();
    break;
  default:
    inputs = &m_edited->glassSolve();
    break;
  }
  auto at = std::find(m_codes.begin(), m_codes.end(), inputs->type);
  m_type->setCurrentIndex(
      at == m_codes.end() ? -1 : static_cast<int>(at - m_codes.begin()));
  showNumber(m_target, inputs->target);
  showNumber(m_zone, inputs->zone);
  showNumber(m_scale, inputs->scale);
  showNumber(m_offset, inputs->offset);
  showNumber(m_semidiameter, m_edited->semidiameter());
  const auto reference = inputs->surface.lock();
  auto it = std::find(m_candidates.begin(), m_candidates.end(), reference);
  m_surface->setCurrentIndex(it == m_candidates.end()
                                 ? -1
                                 : static_cast<int>(it - m_candidates.begin()));
  showRowsForType();
}

SurfacePtr SurfaceSolveSheet::chosenSurface() const {
  const int i = m_surface->currentIndex();
  return i >= 0 && i < static_cast<int>(m_candidates.size())
             ? m_candidates[static_cast<std::size_t>(i)]
             : nullptr;
}

bool SurfaceSolveSheet::apply(QString *error) {
  if (m_type->currentIndex() < 0) {
    if (error)
      *error = "Choose a solve.";
    return false;
  }
  const int code = chosenType();
  double target = 0, zone = 1, scale = 1, offset = 0, semidiameter = 0;
  if (usesTarget(kind(), code) &&
      !readNumber(m_target, "The target", target, error))
    return false;
  if (usesZone(kind(), code) &&
      !readNumber(m_zone, "The pupil zone", zone, error))
    return false;
  if (usesScale(kind(), code) &&
      !readNumber(m_scale, "The scale", scale, error))
    return false;
  if (usesScale(kind(), code) && scale == 0 &&
      kind() == SolveSheetKind::Curvature) {
    // The curvature pickup divides by its scale.
    if (error)
      *error = "The scale of a curvature pickup must not be 0.";
    return false;
  }
  if (usesOffset(kind(), code) &&
      !readNumber(m_offset, "The offset", offset, error))
    return false;
  if (usesSemidiameter(kind(), code) &&
      !readNumber(m_semidiameter, "The semidiameter", semidiameter, error))
    return false;
  const SurfacePtr source = chosenSurface();
  if (usesSurface(kind(), code) && !source) {
    if (error)
      *error = "Choose the surface to refer to (an earlier surface).";
    return false;
  }

  // Everything is written in this one call, so the lens runs one change cycle
  // for it.
  Surface &s = *m_edited;
  switch (kind()) {
  case SolveSheetKind::Thickness:
    // The type first: choosing some types resets their inputs.
    if (s.thicknessSolveType() != code)
      s.setThicknessSolveType(code);
    if (usesSurface(kind(), code))
      s.setThicknessSolveSurface(source);
    if (usesTarget(kind(), code))
      s.setThicknessSolveTarget(target);
    if (usesZone(kind(), code))
      s.setThicknessSolveZone(zone);
    if (usesScale(kind(), code))
      s.setThicknessSolveScale(scale);
    if (usesOffset(kind(), code))
      s.setThicknessSolveOffset(offset);
    break;
  case SolveSheetKind::Curvature:
    if (s.curvatureSolveType() != code)
      s.setCurvatureSolveType(code);
    if (usesSurface(kind(), code))
      s.setCurvatureSolveSurface(source);
    if (usesTarget(kind(), code))
      s.setCurvatureSolveTarget(target);
    if (usesScale(kind(), code))
      s.setCurvatureSolveScale(scale);
    break;
  case SolveSheetKind::Semidiameter:
    if (usesSemidiameter(kind(), code)) {
      s.setSemidiameterForGUI(semidiameter);
    } else {
      if (usesSurface(kind(), code))
        s.setSemidiameterSolveSurface(source);
      if (s.semidiameterSolveType() != code)
        s.setSemidiameterSolveType(code);
    }
    break;
  default:
    if (usesSurface(kind(), code))
      s.setGlassSolveSurface(source);
    if (s.glassSolveType() != code)
      s.setGlassSolveType(code);
    break;
  }
  return true;
}

// --- ModelGlassSheet
// --------------------------------------------------------------------------

ModelGlassSheet::ModelGlassSheet(std::shared_ptr<Surface> surface,
                                 QWidget *window)
    : SolveSheet(SolveSheetKind::ModelGlass, surface, window),
      m_edited(std::move(surface)) {
  setWindowTitle(
      QString("Model glass of surface %1").arg(nicknameText(m_edited)));
  m_index = addNumberRow("Index nd:", "referenceIndex");
  m_abbe = addNumberRow("Abbe number Vd:", "referenceAbbe");
  m_catalogGlass = new QLineEdit(this);
  m_catalogGlass->setObjectName("catalogGlass");
  m_catalogGlass->setPlaceholderText("keep the model glass");
  m_catalogGlass->setToolTip(
      "A catalog glass to use instead of the model glass, such as N-BK7");
  m_form->addRow("Or catalog glass:", m_catalogGlass);
  // The names of the lens's glasses and of the system catalogs, offered as
  // they are typed.
  QStringList names;
  auto addNames = [&names](const auto &glasses) {
    for (const auto &g : glasses)
      if (g && !g->isModel() && !g->isDummy())
        names << qs(g->name());
  };
  if (auto lens = std::dynamic_pointer_cast<lens::Lens>(m_edited->container()))
    addNames(lens->glassArray());
  if (auto library = lens::glassresolution::systemGlassLibrary())
    addNames(library->glassArray());
  names.removeDuplicates();
  names.sort(Qt::CaseInsensitive);
  auto *completer = new QCompleter(names, m_catalogGlass);
  completer->setCaseSensitivity(Qt::CaseInsensitive);
  m_catalogGlass->setCompleter(completer);
  load();
}

std::string ModelGlassSheet::undoName() const {
  return m_catalogGlass->text().trimmed().isEmpty() ? SolveSheet::undoName()
                                                    : "Glass";
}

void ModelGlassSheet::load() {
  const auto &glass = m_edited->glass();
  showNumber(m_index, glass ? glass->referenceIndex() : 1.0);
  showNumber(m_abbe, glass ? glass->referenceAbbe() : 0.0);
}

bool ModelGlassSheet::apply(QString *error) {
  const QString catalogName = m_catalogGlass->text().trimmed();
  if (!catalogName.isEmpty()) {
    // Resolved before anything changes: a name no catalog knows would leave a
    // dummy glass (the vacuum) in the model glass's place.
    const auto delegate = m_edited->delegate();
    const auto found =
        delegate ? delegate->glassForName(catalogName.toStdString(), nullptr)
                 : nullptr;
    if (!found || found->isDummy() || found->isModel()) {
      if (error)
        *error = QString("No glass catalog holds a glass named \"%1\".")
                     .arg(catalogName);
      return false;
    }
    m_edited->setGlassName(catalogName.toStdString());
    return true;
  }
  double nd = 0, vd = 0;
  if (!readNumber(m_index, "The index", nd, error) ||
      !readNumber(m_abbe, "The Abbe number", vd, error))
    return false;
  if (nd <= 0) {
    if (error)
      *error = "The index must be greater than 0.";
    return false;
  }
  const auto &glass = m_edited->glass();
  if (glass && glass->isModel()) {
    glass->setReferenceIndex(nd);
    glass->setReferenceAbbe(vd);
  } else {
    // The surface lost its model glass while the sheet was open: give it one of
    // these values.
    m_edited->setGlass(materials::Glass::glassWithIndex(nd, vd));
  }
  return true;
}

// --- ParameterSolveSheet
// -------------------------------------------------------------------------

ParameterSolveSheet::ParameterSolveSheet(std::shared_ptr<Parameter> parameter,
                                         std::vector<SurfacePtr> candidates,
                                         QWidget *window)
    : SolveSheet(SolveSheetKind::Parameter, parameter, window),
      m_edited(std::move(parameter)), m_candidates(std::move(candidates)) {
  setWindowTitle(QString("Solve of %1").arg(qs(m_edited->title())));
  m_type = addChoiceRow("Solve:", "type");
  for (const auto &d : Parameter::solveDescriptors())
    m_type->addItem(qs(d).trimmed());
  m_surface = addChoiceRow("Pick up from:", "surface");
  for (const auto &s : m_candidates)
    m_surface->addItem(nicknameText(s));
  m_scale = addNumberRow("Scale:", "scale");
  m_offset = addNumberRow("Offset:", "offset");
  connect(m_type, &QComboBox::currentIndexChanged, this,
          [this] { showRowsForType(); });
  load();
}

void ParameterSolveSheet::showRowsForType() {
  const bool pickup = m_type->currentIndex() == Parameter::kPickup;
  setRowShown(m_surface, pickup);
  setRowShown(m_scale, pickup);
  setRowShown(m_offset, pickup);
}

void ParameterSolveSheet::load() {
  const auto &keys = Parameter::solveKeys();
  auto at = std::find(keys.begin(), keys.end(), m_edited->solveType());
  m_type->setCurrentIndex(
      at == keys.end() ? -1 : static_cast<int>(at - keys.begin()));
  const auto source = m_edited->solveSurface();
  auto it = std::find_if(
      m_candidates.begin(), m_candidates.end(),
      [&](const SurfacePtr &s) { return s.get() == source.get(); });
  m_surface->setCurrentIndex(it == m_candidates.end()
                                 ? -1
                                 : static_cast<int>(it - m_candidates.begin()));
  showNumber(m_scale, m_edited->solveScale());
  showNumber(m_offset, m_edited->solveOffset());
  showRowsForType();
}

bool ParameterSolveSheet::apply(QString *error) {
  const int i = m_type->currentIndex();
  if (i < 0) {
    if (error)
      *error = "Choose a solve.";
    return false;
  }
  const int type = Parameter::solveKeys()[static_cast<std::size_t>(i)];
  if (type != Parameter::kPickup) {
    m_edited->setSolveType(type);
    return true;
  }
  double scale = 1, offset = 0;
  if (!readNumber(m_scale, "The scale", scale, error) ||
      !readNumber(m_offset, "The offset", offset, error))
    return false;
  const int s = m_surface->currentIndex();
  if (s < 0 || s >= static_cast<int>(m_candidates.size())) {
    if (error)
      *error = "Choose the surface to pick up from.";
    return false;
  }
  m_edited->setSolveSurface(m_candidates[static_cast<std::size_t>(s)]);
  m_edited->setSolveScale(scale);
  m_edited->setSolveOffset(offset);
  m_edited->setSolveType(type);
  return true;
}

// --- ApertureSheet
// -------------------------------------------------------------------------------

std::vector<ApertureSheet::Row>
ApertureSheet::rowsForSheet(const std::string &sheetName, bool isEmission) {
  using R = Row;
  const std::vector<Row> aperture{
      {"isSoft", "Soft (passes everything)", R::Flag},
      {"decenterX", "Decenter x:", R::Number},
      {"decenterY", "Decenter y:", R::Number}};
  const std::vector<Row> emission{
      {"wavelengthInNanometers", "Wavelength (nm):", R::Number},
      {"numericalAperture", "Numerical aperture:", R::Number}};
  auto with = [](std::vector<Row> rows, std::initializer_list<Row> more) {
    rows.insert(rows.end(), more);
    return rows;
  };
  if (sheetName == "SVCircularAperture")
    return with(aperture, {{"rMin", "Inner radius:", R::Number},
                           {"rMax", "Outer radius:", R::Number}});
  if (sheetName == "SVRectangularAperture")
    return with(aperture, {{"xRadius", "Half width x:", R::Number},
                           {"yRadius", "Half width y:", R::Number}});
  if (sheetName == "SVSpiderAperture")
    return with(aperture, {{"numberOfArms", "Number of arms:", R::Count},
                           {"widthOfArms", "Width of arms:", R::Number}});
  if (sheetName == "_SLDEmission")
    return with(emission,
                {{"bandwidthInNanometers", "Bandwidth (nm):", R::Number},
                 {"wx", "Width x (FWHM):", R::Number},
                 {"wy", "Length y:", R::Number},
                 {"wpx", "Divergence x:", R::Number},
                 {"wpy", "Divergence y:", R::Number}});
  return isEmission ? emission : aperture;
}

ApertureSheet::ApertureSheet(ObjectPtr object, QWidget *window,
                             Installer install)
    : SolveSheet(SolveSheetKind::Aperture, std::move(object), window),
      m_install(std::move(install)) {
  const bool isEmission = static_cast<bool>(
      std::dynamic_pointer_cast<lens::Emission>(this->object()));
  m_isEmission = isEmission;
  std::optional<std::string> name;
  if (auto e = std::dynamic_pointer_cast<lens::Emission>(this->object()))
    name = e->sheetNibName();
  else if (auto a = std::dynamic_pointer_cast<lens::Aperture>(this->object()))
    name = a->sheetNibName();
  m_sheetName = name.value_or(std::string());
  QString type;
  if (auto e = std::dynamic_pointer_cast<lens::Emission>(this->object()))
    type = qs(e->emissionType().value_or(std::string()));
  else if (auto a = std::dynamic_pointer_cast<lens::Aperture>(this->object()))
    type = qs(a->apertureType().value_or(std::string()));
  setWindowTitle(type.isEmpty() ? (isEmission ? "Emission" : "Aperture")
                                : type);
  for (const Row &row : rowsForSheet(m_sheetName, isEmission)) {
    QWidget *field =
        row.type == Row::Flag
            ? static_cast<QWidget *>(addCheckRow(row.label, row.key))
            : static_cast<QWidget *>(addNumberRow(row.label, row.key));
    m_rows.emplace_back(row, field);
  }
  load();
}

void ApertureSheet::load() {
  for (auto &[row, field] : m_rows) {
    const platform::Value v = object()->valueForKey(row.key);
    if (row.type == Row::Flag)
      static_cast<QCheckBox *>(field)->setChecked(v.isNumber() && v.asBool());
    else
      showNumber(static_cast<QLineEdit *>(field),
                 v.isNumber() ? v.asDouble() : 0.0);
  }
}

bool ApertureSheet::apply(QString *error) {
  std::vector<platform::Value> values;
  for (auto &[row, field] : m_rows) {
    if (row.type == Row::Flag) {
      values.emplace_back(static_cast<QCheckBox *>(field)->isChecked());
      continue;
    }
    double v = 0;
    QString label = QString(row.label).remove(':');
    if (!readNumber(static_cast<QLineEdit *>(field), label, v, error))
      return false;
    if (row.type == Row::Count) {
      if (v < 0 || v != std::floor(v) || v > 1000) {
        if (error)
          *error =
              QString("%1 must be a whole number from 0 to 1000.").arg(label);
        return false;
      }
      values.emplace_back(static_cast<int>(v));
    } else {
      values.emplace_back(v);
    }
  }
  // A new object goes onto its surface first; the values go onto what the
  // surface then holds, in the same change of the lens.
  const ObjectPtr target = m_install ? m_install() : object();
  if (!target) {
    if (error)
      *error = "The surface took no such object.";
    return false;
  }
  for (std::size_t i = 0; i < m_rows.size(); ++i)
    if (!(target->valueForKey(m_rows[i].first.key) == values[i]))
      target->setValueForKey(m_rows[i].first.key, values[i]);
  return true;
}

std::string ApertureSheet::undoName() const {
  return m_isEmission ? "Emission" : "Aperture";
}

// --- SolveSheetController
// ------------------------------------------------------------------------

SolveSheetController::SolveSheetController(QWidget *window,
                                           SelectionProvider selectedObjects)
    : QObject(window), m_window(window),
      m_selectedObjects(std::move(selectedObjects)) {
  m_timer.setSingleShot(true);
  m_timer.setInterval(kSheetDelayMs);
  connect(&m_timer, &QTimer::timeout, this,
          &SolveSheetController::openScheduledSheetNow);
  m_touchTimer.setSingleShot(true);
  m_touchTimer.setInterval(kSheetDelayMs);
  connect(&m_touchTimer, &QTimer::timeout, this,
          [this] { touchSelectedObjects(m_touchKind); });
  m_choiceLapse.setSingleShot(true);
  m_choiceLapse.setInterval(1000);
  connect(&m_choiceLapse, &QTimer::timeout, this, [this] {
    // A sheet still scheduled keeps the note until it opens.
    if (!m_armed) {
      m_choiceToken.reset();
      m_choiceObject.reset();
    }
  });
  auto &center = platform::NotificationCenter::defaultCenter();
  for (const auto &k : kKinds) {
    if (!*k.notification)
      continue;
    const SolveSheetKind kind = k.kind;
    // Delivered on the main thread (the model posts through the main run loop's
    // queue).
    m_observations.push_back(center.addObserver(
        k.notification, {}, [this, kind](const platform::Notification &n) {
          needDialog(kind, n.object);
        }));
  }
}

SolveSheetController::~SolveSheetController() {
  m_observations.clear();
  if (m_armed && !m_sheet)
    g_placementFlag = false; // a scheduled sheet that will never open
  if (m_sheet) {
    m_sheet->disconnect(this);
    m_sheet->close();
  }
}

bool SolveSheetController::isSelected(const platform::Object *object) const {
  if (!object || !m_selectedObjects)
    return false;
  for (const auto &selected : m_selectedObjects())
    if (selected.get() == object)
      return true;
  return false;
}

void SolveSheetController::needDialog(SolveSheetKind kind,
                                      const platform::Value &object) {
  if (m_armed || m_sheet)
    return;
  const ObjectPtr asking = objectOfNotification(object);
  if (!asking || !isSelected(asking.get()))
    return;
  // The parameter sheet opens where its control is, like a sheet asked for
  // directly.
  if (kind != SolveSheetKind::Parameter)
    g_placementFlag = true;
  m_armed = true;
  m_pendingKind = kind;
  m_pendingObject = asking;
  m_timer.start();
}

void SolveSheetController::startDialogIfNeeded(SolveSheetKind kind) {
  m_touchKind = kind;
  m_touchTimer.start();
}

void SolveSheetController::touchSelectedObjects(SolveSheetKind kind) {
  if (!m_selectedObjects)
    return;
  for (const auto &object : m_selectedObjects()) {
    if (kind == SolveSheetKind::Parameter) {
      if (auto p = std::dynamic_pointer_cast<Parameter>(object))
        p->touchSolve();
      continue;
    }
    auto s = std::dynamic_pointer_cast<Surface>(object);
    if (!s)
      continue;
    switch (kind) {
    case SolveSheetKind::Curvature:
      s->touchCurvatureSolve();
      break;
    case SolveSheetKind::Thickness:
      s->touchThicknessSolve();
      break;
    case SolveSheetKind::Semidiameter:
      s->touchSemidiameterSolve();
      break;
    case SolveSheetKind::Glass:
      s->touchGlassSolve();
      break;
    default:
      break; // the model-glass and aperture sheets have nothing to re-announce
    }
  }
}

void SolveSheetController::openScheduledSheetNow() {
  m_timer.stop();
  if (!m_armed || m_sheet)
    return;
  const ObjectPtr object = m_pendingObject.lock();
  m_pendingObject.reset();
  // The object may have left the lens (and been freed) during the delay.
  if (!object) {
    m_armed = false;
    g_placementFlag = false;
    return;
  }
  open(m_pendingKind, object, true);
}

void SolveSheetController::startDialog(SolveSheetKind kind,
                                       const ObjectPtr &object) {
  if (m_sheet || !object)
    return;
  m_timer.stop();
  m_pendingObject.reset();
  open(kind, object, false);
}

void SolveSheetController::startApertureDialog(
    const ObjectPtr &apertureOrEmission) {
  startDialog(SolveSheetKind::Aperture, apertureOrEmission);
}

void SolveSheetController::startApertureDialog(
    const ObjectPtr &apertureOrEmission, ApertureSheet::Installer install) {
  if (m_sheet || !apertureOrEmission || !m_window)
    return;
  m_timer.stop();
  m_pendingObject.reset();
  m_armed = false;
  auto *sheet =
      new ApertureSheet(apertureOrEmission, m_window, std::move(install));
  m_armed = true;
  m_sheet = sheet;
  present(sheet);
}

void SolveSheetController::willChooseFromMenu(const ObjectPtr &object) {
  m_choiceToken.reset();
  m_choiceObject.reset();
  if (!m_markChoice || !object)
    return;
  m_choiceToken = m_markChoice();
  m_choiceObject = object;
  m_choiceLapse.start();
}

SolveSheet *SolveSheetController::makeSheet(SolveSheetKind kind,
                                            const ObjectPtr &object) {
  if (isSurfaceKind(kind)) {
    auto surface = std::dynamic_pointer_cast<Surface>(object);
    return surface ? new SurfaceSolveSheet(kind, surface, m_window) : nullptr;
  }
  if (kind == SolveSheetKind::ModelGlass) {
    auto surface = std::dynamic_pointer_cast<Surface>(object);
    return surface ? new ModelGlassSheet(surface, m_window) : nullptr;
  }
  if (kind == SolveSheetKind::Parameter) {
    auto parameter = std::dynamic_pointer_cast<Parameter>(object);
    if (!parameter)
      return nullptr;
    std::vector<SurfacePtr> candidates;
    if (auto lens = m_lens ? m_lens() : nullptr) {
      for (const auto &s : lens->surfaceArray()) {
        const auto &params = s->parameterArray();
        if (std::find(params.begin(), params.end(), parameter) !=
            params.end()) {
          candidates = s->possibleParameterSolveSurfaces().value_or(
              std::vector<SurfacePtr>{});
          break;
        }
      }
    }
    return new ParameterSolveSheet(parameter, std::move(candidates), m_window);
  }
  return new ApertureSheet(object, m_window);
}

void SolveSheetController::open(SolveSheetKind kind, const ObjectPtr &object,
                                bool byRequest) {
  if (!m_window) {
    m_armed = false;
    return;
  }
  SolveSheet *sheet = makeSheet(kind, object);
  if (!sheet) {
    m_armed = false;
    if (byRequest)
      g_placementFlag = false;
    return;
  }
  m_armed = true;
  m_sheet = sheet;
  present(sheet);
}

void SolveSheetController::present(SolveSheet *sheet) {
  // The sheet that follows a menu choice takes the choice back on Cancel; a
  // note for another object lapses.
  m_sheetChoiceToken.reset();
  if (m_choiceToken && m_choiceObject.lock() == sheet->object())
    m_sheetChoiceToken = m_choiceToken;
  m_choiceToken.reset();
  m_choiceObject.reset();
  m_choiceLapse.stop();
  connect(sheet, &QDialog::finished, this, &SolveSheetController::doneDialog);
  if (m_undoNamer)
    sheet->setWillApply([namer = m_undoNamer, sheet] {
      namer(sheet->undoName());
    });
  sheet->adjustSize();
  placeSheet(sheet);
  sheet->open();
  emit sheetOpened(sheet);
}

QRect SolveSheetController::sheetRectForProposedRect(const QRect &proposed) {
  if (g_placementFlag) {
    g_placementFlag = false;
    return proposed;
  }
  if (!m_origin || !m_window)
    return proposed;
  const QPoint topLeft = m_origin->mapTo(m_window->window(), QPoint(0, 0));
  return QRect(topLeft.x(), topLeft.y(), m_origin->width(), 0);
}

void SolveSheetController::placeSheet(SolveSheet *sheet) {
  QWidget *top = m_window ? m_window->window() : nullptr;
  if (!top)
    return;
  // The usual place: centred at the top of the window's contents.
  const QRect proposed(0, 0, top->width(), 0);
  QRect rect = proposed;
  if (!platform::UserDefaults::standard().boolForKey(
          "sheetsAlwaysAtTopOfWindow"))
    rect = sheetRectForProposedRect(proposed);
  else
    g_placementFlag = false;
  const int x = rect.x() + (rect.width() - sheet->width()) / 2;
  sheet->move(top->mapToGlobal(QPoint(x, rect.y())));
}

void SolveSheetController::doneDialog(int result) {
  m_sheet = nullptr;
  m_armed = false;
  const auto token = std::exchange(m_sheetChoiceToken, std::nullopt);
  // Cancel leaves the lens as it was before the menu choice that asked for the
  // sheet.
  if (result != QDialog::Accepted && token && m_revertChoice)
    m_revertChoice(*token);
  emit sheetClosed(result == QDialog::Accepted);
}

// --- apertures and emissions
// ------------------------------------------------------------------------

std::vector<std::string> apertureOrEmissionTypes(bool emission) {
  if (!emission)
    return lens::Aperture::apertureTypes();
  tracing::registerEmissionTypes();
  return lens::Emission::emissionTypes();
}

void chooseApertureOrEmissionType(const SurfacePtr &surface,
                                  const std::string &type, bool emission,
                                  SolveSheetController *controller) {
  if (!surface)
    return;
  if (emission)
    tracing::registerEmissionTypes();
  const std::optional<std::string> current =
      emission ? surface->emissionType() : surface->apertureType();
  if (current == type) {
    editApertureOrEmission(surface, emission, controller);
    return;
  }
  // What the surface would hold: built as the surface builds it, from the
  // settings of the one it has now, so the sheet shows what OK will keep.
  ObjectPtr preview;
  bool hasSheet = false;
  if (emission) {
    const auto &old = surface->emission();
    auto e = lens::Emission::emissionOfType(
        type, old ? old->information() : platform::Dictionary());
    hasSheet = e && e->sheetNibName();
    preview = e;
  } else {
    const auto &old = surface->apertureObject();
    auto a = lens::Aperture::apertureOfType(
        type, old ? old->information()
                  : surface->makeFullAperture()->information());
    if (a && surface->emission())
      a->setIsSoft(true); // an emitting surface's aperture passes every ray
    hasSheet = a && a->sheetNibName();
    preview = a;
  }
  if (!preview)
    return;
  const char *undoName = emission ? "Emission" : "Aperture";
  std::weak_ptr<Surface> weak = surface;
  auto install = [weak, type, emission]() -> ObjectPtr {
    auto s = weak.lock();
    if (!s)
      return nullptr;
    if (emission) {
      s->setEmissionType(type);
      return s->emission();
    }
    s->setApertureType(type);
    return s->apertureObject();
  };
  if (hasSheet && controller) {
    controller->startApertureDialog(preview, install);
    return;
  }
  if (controller)
    controller->nameUndoStep(undoName);
  install();
}

void removeApertureOrEmission(const SurfacePtr &surface, bool emission,
                              SolveSheetController *controller) {
  if (!surface ||
      !(emission ? static_cast<bool>(surface->emission())
                 : static_cast<bool>(surface->apertureObject())))
    return;
  if (controller)
    controller->nameUndoStep(emission ? "Emission" : "Aperture");
  if (emission)
    surface->setEmission(nullptr);
  else
    surface->setAperture(nullptr);
}

bool editApertureOrEmission(const SurfacePtr &surface, bool emission,
                            SolveSheetController *controller) {
  if (!surface || !controller)
    return false;
  ObjectPtr object;
  if (emission)
    object = surface->emission();
  else
    object = surface->apertureObject();
  if (!object)
    return false;
  controller->startApertureDialog(object);
  return true;
}

// --- solve menus
// ------------------------------------------------------------------------------------

std::optional<SolveSheetKind>
solveKindForColumnIdentifier(const std::string &identifier) {
  if (identifier == "curvatureSolve")
    return SolveSheetKind::Curvature;
  if (identifier == "thicknessSolve")
    return SolveSheetKind::Thickness;
  if (identifier == "semidiameterSolve")
    return SolveSheetKind::Semidiameter;
  if (identifier == "glassSolve")
    return SolveSheetKind::Glass;
  if (identifier == "solve")
    return SolveSheetKind::Parameter;
  return std::nullopt;
}

QMenu *popUpSolveMenu(SolveSheetKind kind, const ObjectPtr &object,
                      QWidget *parent, const QPoint &globalPos,
                      SolveSheetController *controller) {
  const auto choices = solveChoices(kind, object);
  if (choices.empty())
    return nullptr;
  auto *menu = new QMenu(parent);
  menu->setObjectName("solveMenu");
  menu->setAttribute(Qt::WA_DeleteOnClose);
  const std::string current = currentSolveChoice(kind, object);
  QPointer<SolveSheetController> sheets = controller;
  for (const auto &choice : choices) {
    QAction *action = menu->addAction(qs(choice).trimmed());
    action->setCheckable(true);
    action->setChecked(choice == current);
    QObject::connect(action, &QAction::triggered, menu,
                     [kind, object, choice, sheets] {
                       chooseSolveFromMenu(kind, object, choice, sheets);
                     });
  }
  menu->popup(globalPos);
  return menu;
}

void installSolvePopUps(
    QAbstractItemView *view,
    std::function<std::optional<SolveSheetKind>(const QModelIndex &)> kindAt,
    std::function<ObjectPtr(const QModelIndex &)> objectAt,
    SolveSheetController *controller) {
  if (!view || !kindAt || !objectAt)
    return;
  QPointer<SolveSheetController> sheets = controller;
  QObject::connect(
      view, &QAbstractItemView::clicked, view,
      [view, kindAt = std::move(kindAt), objectAt = std::move(objectAt),
       sheets](const QModelIndex &index) {
        const auto kind = kindAt(index);
        if (!kind)
          return;
        const ObjectPtr object = objectAt(index);
        if (!object)
          return;
        const QPoint at =
            view->viewport()->mapToGlobal(view->visualRect(index).bottomLeft());
        popUpSolveMenu(*kind, object, view, at, sheets);
      });
}

// --- SolvePopUpButton
// ------------------------------------------------------------------------------

SolvePopUpButton::SolvePopUpButton(QWidget *parent) : QToolButton(parent) {
  setPopupMode(QToolButton::InstantPopup);
  setToolButtonStyle(Qt::ToolButtonTextOnly);
  setMenu(new QMenu(this));
}

void SolvePopUpButton::setObject(SolveSheetKind kind, ObjectPtr object) {
  m_kind = kind;
  m_object = std::move(object);
  refresh();
}

void SolvePopUpButton::refresh() {
  QMenu *m = menu();
  m->clear();
  const auto choices = solveChoices(m_kind, m_object);
  const std::string current = currentSolveChoice(m_kind, m_object);
  for (std::size_t i = 0; i < choices.size(); ++i) {
    QAction *action = m->addAction(qs(choices[i]).trimmed());
    action->setCheckable(true);
    action->setChecked(choices[i] == current);
    const int index = static_cast<int>(i);
    connect(action, &QAction::triggered, this,
            [this, index] { choose(index); });
  }
  setText(solvePopUpTitle(qs(current)));
  setToolTip(qs(current).trimmed());
  setEnabled(!choices.empty());
}

void SolvePopUpButton::choose(int index) {
  const auto choices = solveChoices(m_kind, m_object);
  if (index < 0 || index >= static_cast<int>(choices.size()))
    return;
  const std::string choice = choices[static_cast<std::size_t>(index)];
  chooseSolveFromMenu(m_kind, m_object, choice, m_controller);
  refresh();
  emit solveChosen(qs(choice));
}

} // namespace orb::app
