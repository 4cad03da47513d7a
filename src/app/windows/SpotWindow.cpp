#include "app/windows/SpotWindow.h"

#include "app/windows/AnalysisOptions.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QMetaObject>
#include <QPointer>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QThread>
#include <QVBoxLayout>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "analysis/SpotDiagramCalculator.h"
#include "app/windows/InterfaceFile.h"
#include "app/windows/OBWindow.h"
#include "app/windows/SmartWindowController.h"
#include "lens/Emission.h"
#include "lens/Field.h"
#include "lens/Lens.h"
#include "lens/LensBeam.h"
#include "lens/Surface.h"
#include "lens/Wave.h"
#include "platform/Log.h"
#include "platform/Observation.h"
#include "rendering/PlotViewWithPOI.h"
#include "ui_SpotWindow.h"

namespace orb::app {

namespace {

using analysis::SpotDiagramCalculator;
using platform::Value;

SpotDiagramCalculator::PotentialDelayAnswer askPotentialDelay(QWidget* parent) {
  QMessageBox box(parent);
  box.setWindowModality(Qt::WindowModal);
  box.setText(QString::fromUtf8(SpotDiagramCalculator::kPotentialDelayMessage));
  box.setInformativeText(QString::fromUtf8(SpotDiagramCalculator::kPotentialDelayText));
  auto* goAhead = box.addButton(QStringLiteral("Go ahead"), QMessageBox::AcceptRole);
  auto* primary = box.addButton(QStringLiteral("Use primary wave"), QMessageBox::ActionRole);
  box.addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
  box.exec();
  if (box.clickedButton() == goAhead) return SpotDiagramCalculator::PotentialDelayAnswer::GoAhead;
  if (box.clickedButton() == primary) return SpotDiagramCalculator::PotentialDelayAnswer::UsePrimaryWave;
  return SpotDiagramCalculator::PotentialDelayAnswer::Cancel;
}

using Binder = options::Binder<SpotDiagramCalculator>;
using options::Choice;

std::vector<Choice> plainChoices(const std::vector<std::string>& values) {
  std::vector<Choice> out;
  for (const auto& v : values) out.push_back({v, v});
  return out;
}

std::vector<std::string> stringList(const Value& list) {
  std::vector<std::string> out;
  if (list.isArray())
    for (const Value& v : list.asArray())
      if (v.isString()) out.push_back(v.asString());
  return out;
}

std::string colorOptionLabel(const std::string& option) {
  if (option == "default") return "Default";
  if (option == "fixed") return "Fixed colour";
  return "By " + option;
}

std::string unitLabel(const std::string& unit) {
  const std::string symbol = SpotDiagramCalculator::unitSymbol(unit);
  return symbol.empty() ? unit : symbol;
}

// The lens members a selection can name: "All …" (the default, an empty key path) and
// each member by its key path in the lens.
template <class Member, class Describe>
std::vector<Choice> memberChoices(const Binder& binder, const char* all, const std::vector<std::shared_ptr<Member>>& members,
                                  Describe describe) {
  std::vector<Choice> out{{all, ""}};
  auto c = binder.calculator();
  auto lens = c ? c->lens() : nullptr;
  if (!lens) return out;
  for (const auto& m : members)
    if (m)
      if (auto path = lens->keyPathForObject(*m)) out.push_back({describe(*m), *path});
  return out;
}

QGroupBox* group(const char* title, QFormLayout*& form) {
  auto* box = new QGroupBox(QString::fromUtf8(title));
  form = new QFormLayout(box);
  form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
  return box;
}

QWidget* row(std::initializer_list<QWidget*> widgets) {
  auto* holder = new QWidget;
  auto* layout = new QHBoxLayout(holder);
  layout->setContentsMargins(0, 0, 0, 0);
  for (QWidget* w : widgets) layout->addWidget(w);
  layout->addStretch();
  return holder;
}

// The options panel: every setting of the spot diagram, grouped as a user looks for
// them (what is traced, how it is sampled, what is plotted, how it is drawn).
QWidget* makeOptionsPanel(const std::shared_ptr<SpotDiagramCalculator>& calculator) {
  auto* panel = new QWidget();
  panel->setObjectName(QStringLiteral("spotDiagramOptions"));
  panel->setWindowTitle(QStringLiteral("Spot Diagram Options"));
  Binder b(calculator, panel);
  auto lensOf = [b] {
    auto c = b.calculator();
    return c ? c->lens() : nullptr;
  };
  auto* column = new QVBoxLayout(panel);
  QFormLayout* form = nullptr;

  // --- sources ---
  column->addWidget(group("Source", form));
  form->addRow(QStringLiteral("Source"),
               b.choice("sourceType", [] { return plainChoices({"Field", "Beam", "Emitter"}); }));
  auto* fields = b.choice(
      "fieldOfInterestKeyPath",
      [b, lensOf] {
        auto lens = lensOf();
        auto c = b.calculator();
        return memberChoices(b, "All fields", lens ? lens->fieldArray() : std::vector<std::shared_ptr<lens::Field>>{},
                             [c](const lens::Field& f) { return c->fieldTitle(f); });
      },
      {"lens"});
  form->addRow(QStringLiteral("Fields"), fields);
  b.enableWhile(fields, "sourceTypeIsField", {"sourceType"});
  auto* waves = b.choice(
      "waveOfInterestKeyPath",
      [b, lensOf] {
        auto lens = lensOf();
        return memberChoices(b, "All waves", lens ? lens->waveArray() : std::vector<std::shared_ptr<lens::Wave>>{},
                             [](const lens::Wave& w) {
                               return platform::format(w.isPrimary() ? "%.1f nm (primary)" : "%.1f nm",
                                                       w.wavelengthInNanometers());
                             });
      },
      {"lens"});
  form->addRow(QStringLiteral("Waves"), waves);
  b.enableWhile(waves, "sourceTypeIsField", {"sourceType"});
  auto* beams = b.choice(
      "beamOfInterestKeyPath",
      [b, lensOf] {
        auto lens = lensOf();
        std::vector<std::shared_ptr<lens::LensBeam>> members;
        if (lens && lens->beamArray()) members = *lens->beamArray();
        return memberChoices(b, "All beams", members, [](const lens::LensBeam& beam) { return beam.description(); });
      },
      {"lens"},
      // Through the typed setter: choosing every beam may ask first.
      [b, lensOf](const std::string& path) {
        auto c = b.calculator();
        auto lens = lensOf();
        if (!c) return;
        std::shared_ptr<lens::LensBeam> beam;
        if (lens && lens->beamArray())
          for (const auto& candidate : *lens->beamArray())
            if (candidate && lens->keyPathForObject(*candidate) == path) beam = candidate;
        c->setBeamOfInterest(beam);
      });
  form->addRow(QStringLiteral("Beams"), beams);
  b.enableWhile(beams, "sourceTypeIsBeam", {"sourceType"});
  auto* emitters = b.choice(
      "emissionSurfaceKeyPath",
      [b] {
        auto c = b.calculator();
        return memberChoices(b, "All emitters", c ? c->emissionSurfaces() : std::vector<std::shared_ptr<lens::Surface>>{},
                             [](const lens::Surface& s) { return "Surface " + s.nickname(); });
      },
      {"lens"});
  form->addRow(QStringLiteral("Emitters"), emitters);
  b.enableWhile(emitters, "sourceTypeIsEmitter", {"sourceType"});
  form->addRow(QStringLiteral("Wavelength"), b.label("wavelengthDescription", {"wavelengthDescription"}));

  // --- rays ---
  column->addWidget(group("Rays", form));
  form->addRow(QStringLiteral("Pupil pattern"),
               b.choice("fanType", [b] { return plainChoices(stringList(b.get("possibleFanTypes"))); },
                        {"possibleFanTypes"}));
  form->addRow(QStringLiteral("Rays per source"),
               row({b.intSpin("numberOfRays", 1, 100000), b.label("patternComment", {"patternComment"})}));
  form->addRow(QStringLiteral("Surface"),
               b.choice(
                   "surfaceOfInterestKeyPath",
                   [b, lensOf] {
                     auto lens = lensOf();
                     auto choices = memberChoices(
                         b, "Image surface", lens ? lens->surfaceArray() : std::vector<std::shared_ptr<lens::Surface>>{},
                         [](const lens::Surface& s) { return "Surface " + s.nickname(); });
                     return choices;
                   },
                   {"lens"}));

  // --- what is plotted ---
  column->addWidget(group("Axes", form));
  const auto keys = plainChoices(SpotDiagramCalculator::plottableKeys());
  auto units = [b](const char* possible) {
    return [b, possible] {
      std::vector<Choice> out;
      for (const auto& u : stringList(b.get(possible))) out.push_back({unitLabel(u), u});
      return out;
    };
  };
  form->addRow(QStringLiteral("Horizontal"),
               row({b.choice("keyX", [keys] { return keys; }), b.choice("unitsX", units("possibleUnitsX"), {"possibleUnitsX"})}));
  form->addRow(QStringLiteral("Vertical"),
               row({b.choice("keyY", [keys] { return keys; }), b.choice("unitsY", units("possibleUnitsY"), {"possibleUnitsY"})}));
  form->addRow(b.checkBox("Subtract centroid", "subtractCentroid"));
  form->addRow(b.checkBox("Centre axes", "centerAxis"));
  form->addRow(b.checkBox("Equal axis ranges", "equalAxis"));
  form->addRow(b.checkBox("Same scale on both axes", "isotropic"));

  // --- how it is drawn ---
  column->addWidget(group("Display", form));
  form->addRow(QStringLiteral("Colour"),
               b.choice(
                   "colorOption",
                   [b] {
                     std::vector<Choice> out;
                     for (const auto& o : stringList(b.get("possibleColorOptions"))) out.push_back({colorOptionLabel(o), o});
                     return out;
                   },
                   {"possibleColorOptions"}));
  form->addRow(QStringLiteral("Dot size"), b.intSpin("dotSize", 1, 20));
  form->addRow(b.checkBox("One band per field", "multiplot"));
  form->addRow(b.checkBox("Legend", "showLegend"));
  form->addRow(b.checkBox("Airy disk", "drawsAiryDisk"));
  form->addRow(b.checkBox("Reference ellipse", "drawsReferenceEllipsoid"));
  auto* radiusX = b.doubleSpin("referenceEllipsoidRadiusX", 0, 1e6, 4);
  auto* radiusY = b.doubleSpin("referenceEllipsoidRadiusY", 0, 1e6, 4);
  auto* circular = new QPushButton(QStringLiteral("Circle"));
  circular->setObjectName(QStringLiteral("makeReferenceEllipsoidCircular"));
  circular->setToolTip(QStringLiteral("Make the vertical radius equal to the horizontal one"));
  QObject::connect(circular, &QPushButton::clicked, circular, [b] {
    if (auto c = b.calculator()) c->makeReferenceEllipsoidCircular();
  });
  form->addRow(QStringLiteral("Radii (plot units)"), row({radiusX, radiusY, circular}));
  b.enableWhile(radiusX, "drawsReferenceEllipsoid", {"drawsReferenceEllipsoid"});
  b.enableWhile(radiusY, "drawsReferenceEllipsoid", {"drawsReferenceEllipsoid"});
  b.enableWhile(circular, "drawsReferenceEllipsoid", {"drawsReferenceEllipsoid"});
  column->addStretch();
  return panel;
}

InterfaceOutlets loadSpotWindow(OBWindow& window) {
  auto* central = new QWidget(&window);
  Ui::SpotWindow form;
  form.setupUi(central);
  window.setCentralWidget(central);
  window.setWindowTitle(QStringLiteral("Spot Diagram"));
  window.resize(central->size());

  auto calculator = platform::makeObject<SpotDiagramCalculator>();
  // What this window shows before any saved settings are restored over it: each field in
  // its own band with a legend, sizes in microns, which is how spots are compared.
  calculator->setMultiplot(true);
  calculator->setShowLegend(true);
  calculator->setUnits("micron");
  // The question is asked over this window; the window outlives neither its calculator
  // nor the calculator's question (both go when the window closes).
  calculator->setPotentialDelayQuestion([w = &window] { return askPotentialDelay(w); });

  InterfaceOutlets outlets;
  outlets.calculator = calculator;
  outlets.view = form.plotView;
  outlets.optionsPanel = makeOptionsPanel(calculator);
  std::weak_ptr<SpotDiagramCalculator> weak = calculator;
  outlets.randomize = [weak] {
    if (auto c = weak.lock()) c->randomize();
  };
  return outlets;
}

}  // namespace

void registerSpotWindow() { interfacefile::registerLoader("SpotWindow", loadSpotWindow); }

}  // namespace orb::app
