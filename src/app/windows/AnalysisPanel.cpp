#include "app/windows/AnalysisPanel.h"

#include <QPointer>
#include <QVBoxLayout>

#include "lens/Field.h"
#include "lens/Lens.h"
#include "lens/Surface.h"
#include "lens/Wave.h"

namespace orb::app::analysispanel {

std::vector<std::string> stringList(const platform::Value& list) {
  std::vector<std::string> out;
  if (list.isArray())
    for (const platform::Value& v : list.asArray())
      if (v.isString()) out.push_back(v.asString());
  return out;
}

std::string unitLabel(const std::string& unit) {
  if (unit == "micron") return "µm";
  if (unit == "uinch") return "µin";
  if (unit == "microrad") return "µrad";
  return unit;
}

namespace {

using analysis::RaysAtSurfaceCalculator;
using options::Choice;

// "All …" (the default: an empty key path) and each member by its key path in the lens.
template <class Member, class Describe>
std::vector<Choice> memberChoices(const std::weak_ptr<analysis::RaysCalculator>& weak, const char* all,
                                  std::vector<std::shared_ptr<Member>> (*members)(const lens::Lens&),
                                  Describe describe) {
  std::vector<Choice> out{{all, ""}};
  auto c = weak.lock();
  auto lens = c ? c->lens() : nullptr;
  if (!lens) return out;
  for (const auto& m : members(*lens))
    if (m)
      if (auto path = lens->keyPathForObject(*m)) out.push_back({describe(*m), *path});
  return out;
}

std::vector<std::shared_ptr<lens::Field>> fieldsOf(const lens::Lens& l) { return l.fieldArray(); }
std::vector<std::shared_ptr<lens::Wave>> wavesOf(const lens::Lens& l) { return l.waveArray(); }
std::vector<std::shared_ptr<lens::Surface>> surfacesOf(const lens::Lens& l) { return l.surfaceArray(); }

std::string fieldName(const lens::Field& f) { return "Field " + f.shortDescription(); }
std::string waveName(const lens::Wave& w) {
  return platform::format(w.isPrimary() ? "%.1f nm (primary)" : "%.1f nm", w.wavelengthInNanometers());
}
std::string surfaceName(const lens::Surface& s) { return "Surface " + s.nickname(); }

}  // namespace

std::vector<options::Choice> fieldChoices(const std::weak_ptr<analysis::RaysCalculator>& c, const char* all) {
  return memberChoices(c, all, &fieldsOf, fieldName);
}
std::vector<options::Choice> waveChoices(const std::weak_ptr<analysis::RaysCalculator>& c, const char* all) {
  return memberChoices(c, all, &wavesOf, waveName);
}
std::vector<options::Choice> surfaceChoices(const std::weak_ptr<analysis::RaysCalculator>& c, const char* all) {
  return memberChoices(c, all, &surfacesOf, surfaceName);
}

// The options panel: what is traced, how it is sampled, what is plotted and how.
void titleFollowsFlag(const Binder& b, OBWindow& window, const char* key, const char* whenOn, const char* whenOff) {
  QPointer<OBWindow> shown(&window);
  b.observe({key}, [shown, b, key, whenOn, whenOff] {
    if (!shown || !shown->controller()) return;
    const platform::Value v = b.get(key);
    shown->controller()->retitle(v.isNumber() && v.asBool() ? whenOn : whenOff);
  });
}

QWidget* makeOptionsPanel(const std::shared_ptr<RaysAtSurfaceCalculator>& calculator, const char* title,
                          const PanelExtras& extras) {
  auto* panel = new QWidget();
  panel->setObjectName(QStringLiteral("analysisOptions"));
  panel->setWindowTitle(QString::fromUtf8(title));
  Binder b(calculator, panel);
  std::weak_ptr<analysis::RaysCalculator> weak = calculator;
  auto* column = new QVBoxLayout(panel);
  QFormLayout* form = nullptr;

  column->addWidget(options::group("Rays", form));
  if (extras.fields)
    form->addRow(QStringLiteral("Fields"),
                 b.choice("fieldOfInterestKeyPath", [weak] { return fieldChoices(weak, "All fields"); }, {"lens"}));
  if (extras.waves)
    form->addRow(QStringLiteral("Waves"),
                 b.choice("waveOfInterestKeyPath", [weak] { return waveChoices(weak, "All waves"); }, {"lens"}));
  form->addRow(QStringLiteral("Surface"),
               b.choice("surfaceOfInterestKeyPath", [weak] { return surfaceChoices(weak, "Image surface"); }, {"lens"}));
  form->addRow(QString::fromUtf8(extras.raysLabel), b.intSpin("numberOfRays", 1, 10001));
  form->addRow(b.checkBox("Paraxial rays", "paraxial"));

  column->addWidget(options::group("Plot", form));
  if (extras.rows) extras.rows(b, form);
  if (extras.units)
    form->addRow(QStringLiteral("Units"), b.choice(
                                            "units",
                                            [b] {
                                              std::vector<Choice> out;
                                              for (const auto& u : stringList(b.get("possibleUnits")))
                                                out.push_back({unitLabel(u), u});
                                              return out;
                                            },
                                            {"possibleUnits"}));
  for (const auto& [label, key] : extras.checks) form->addRow(b.checkBox(label, key));

  column->addWidget(options::group("Display", form));
  form->addRow(b.checkBox("One band per field", "multiplot"));
  form->addRow(b.checkBox("Legend", "showLegend"));
  form->addRow(b.checkBox("Axes end at the data", "plotTight"));
  form->addRow(b.checkBox("Axes only grow", "scaleOnlyExpands"));
  column->addStretch();
  return panel;
}

}  // namespace orb::app::analysispanel
