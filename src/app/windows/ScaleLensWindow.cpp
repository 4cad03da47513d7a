#include "app/windows/ScaleLensWindow.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <cmath>

#include "app/Messages.h"
#include "app/document/OBDocument.h"
#include "app/tables/Formatters.h"
#include "app/windows/InterfaceFile.h"
#include "app/windows/OBWindow.h"
#include "lens/Lens.h"
#include "platform/Exception.h"
#include "tracing/LensSummary.h"

namespace orb::app {

namespace {

constexpr const char* kFactorField = "scaleFactor";

InterfaceOutlets loadScaleLens(OBWindow& window) {
  window.setWindowTitle(QStringLiteral("Scale Lens"));
  auto* content = new QWidget(&window);
  auto* column = new QVBoxLayout(content);
  auto* explanation = new QLabel(QStringLiteral("Multiplies every length of the lens (radii, thicknesses, "
                                                "semi-diameters, "
                                                "and the entrance pupil diameter) by the factor."),
                                 content);
  explanation->setWordWrap(true);
  column->addWidget(explanation);
  auto* form = new QFormLayout();
  auto* field = new QLineEdit(content);
  field->setObjectName(QString::fromUtf8(kFactorField));
  field->setAlignment(Qt::AlignRight);
  form->addRow(QStringLiteral("Scale factor"), field);
  column->addLayout(form);
  auto* presets = new QHBoxLayout();
  const std::pair<const char*, const char*> buttons[] = {{"inchesToMillimeters", "Inches to mm"},
                                                         {"millimetersToInches", "mm to Inches"},
                                                         {"focalLength100", "Focal Length 100"}};
  for (const auto& [name, title] : buttons) {
    auto* b = new QPushButton(QString::fromUtf8(title), content);
    b->setObjectName(QString::fromUtf8(name));
    b->setAutoDefault(false);
    presets->addWidget(b);
  }
  column->addLayout(presets);
  auto* go = new QPushButton(QStringLiteral("Scale"), content);
  go->setObjectName(QStringLiteral("makeItSo"));
  go->setDefault(true);
  auto* goRow = new QHBoxLayout();
  goRow->addStretch();
  goRow->addWidget(go);
  column->addLayout(goRow);
  column->addStretch();
  window.setCentralWidget(content);
  window.resize(380, 170);
  return {};
}

// Written as typed factors are read: with a decimal point in every locale.
std::string factorText(double factor) { return formatDouble("%.10g", factor).toStdString(); }

}  // namespace

ScaleLensWindowController::ScaleLensWindowController(std::string nibName,
                                                     const std::shared_ptr<SmartDocument>& document)
    : WindowControllerWithDocumentController(std::move(nibName), document) {}

ScaleLensWindowController::~ScaleLensWindowController() { closeIfOpen(); }

void ScaleLensWindowController::awakeFromNib() {
  WindowControllerWithDocumentController::awakeFromNib();
  auto* w = window();
  auto connectButton = [&](const char* name, auto action) {
    if (auto* b = w->findChild<QPushButton*>(QString::fromUtf8(name))) connect(b, &QPushButton::clicked, this, action);
  };
  connectButton("inchesToMillimeters", [this] { setScaleToInchesToMillimeters(); });
  connectButton("millimetersToInches", [this] { setScaleToMillimetersToInches(); });
  connectButton("focalLength100", [this] { setScaleToFocalLength100(); });
  connectButton("makeItSo", [this] { makeItSo(); });
  if (auto* field = factorField()) {
    connect(field, &QLineEdit::returnPressed, this, [this] { makeItSo(); });
    // The button offers only a factor that can be applied; Return explains a refusal.
    connect(field, &QLineEdit::textChanged, this, [w](const QString& text) {
      const auto factor = parseScaleFactor(text);
      if (auto* b = w->findChild<QPushButton*>(QStringLiteral("makeItSo")))
        b->setEnabled(factor && isValidScaleFactor(*factor));
    });
  }
  setScaleFactor(1.0);
}

QLineEdit* ScaleLensWindowController::factorField() const {
  return isWindowLoaded() ? const_cast<ScaleLensWindowController*>(this)->window()->findChild<QLineEdit*>(
                                QString::fromUtf8(kFactorField))
                          : nullptr;
}

bool ScaleLensWindowController::isValidScaleFactor(double factor) { return std::isfinite(factor) && factor > 0; }

bool ScaleLensWindowController::scaleFactorIsValid() const { return isValidScaleFactor(m_scaleFactor); }

void ScaleLensWindowController::setScaleFactor(double factor) {
  m_scaleFactor = factor;
  if (auto* field = factorField()) field->setText(QString::fromStdString(factorText(factor)));
}

std::optional<double> ScaleLensWindowController::parseScaleFactor(const QString& text, QString* reason) {
  return typedNumber(text, false, reason);
}

void ScaleLensWindowController::refuse(const std::string& reason) {
  showMessage(isWindowLoaded() ? window() : nullptr, "The lens was not scaled.", reason);
}

bool ScaleLensWindowController::commitFactorField() {
  auto* field = factorField();
  if (!field) return true;
  QString why;
  const auto value = parseScaleFactor(field->text(), &why);
  if (!value) {
    refuse(why.toStdString() + ". The scale factor must be a number greater than 0.");
    return false;
  }
  m_scaleFactor = *value;
  return true;
}

void ScaleLensWindowController::setScaleToFocalLength100() {
  auto document = std::dynamic_pointer_cast<OBDocument>(this->document());
  auto lens = document ? document->lens() : nullptr;
  const double f = lens ? tracing::focalLength(*lens) : std::nan("");
  const double factor = 100.0 / f;
  if (!isValidScaleFactor(factor)) {
    refuse("The lens has no finite positive focal length to scale to 100.");
    return;
  }
  setScaleFactor(factor);
}

bool ScaleLensWindowController::makeItSo() {
  if (!commitFactorField()) return false;
  if (!scaleFactorIsValid()) {
    refuse("The scale factor must be a finite number greater than 0, not " + factorText(m_scaleFactor) + ".");
    return false;
  }
  auto document = std::dynamic_pointer_cast<OBDocument>(this->document());
  auto lens = document ? document->lens() : nullptr;
  if (!lens || m_scaleFactor == 1.0) return false;
  try {
    // One change cycle takes every length: the step it registers is the whole
    // scale.
    document->setUpcomingActionName("scale lens");
    lens->scaleLengthsByFactor(m_scaleFactor);
  } catch (const platform::Exception& e) {
    refuse(e.reason());
    return false;
  }
  if (auto* field = factorField(); field && field->nextInFocusChain())
    field->nextInFocusChain()->setFocus(Qt::TabFocusReason);
  return true;
}

void registerScaleLensWindow() { interfacefile::registerLoader("ScaleLens", loadScaleLens); }

SmartWindowController* makeScaleLensWindowController(const std::string& nibName,
                                                     const std::shared_ptr<SmartDocument>& document) {
  return new ScaleLensWindowController(nibName, document);
}

}  // namespace orb::app
