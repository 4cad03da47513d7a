#include "app/windows/SpotWindow.h"

#include <QFormLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QWidget>

#include "analysis/SpotDiagramCalculator.h"
#include "app/windows/InterfaceFile.h"
#include "app/windows/OBWindow.h"
#include "app/windows/SmartWindowController.h"
#include "rendering/ZoomPlotView.h"
#include "ui_SpotWindow.h"

namespace orb::app {

namespace {

using analysis::SpotDiagramCalculator;

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

InterfaceOutlets loadSpotWindow(OBWindow& window) {
  auto* central = new QWidget(&window);
  Ui::SpotWindow form;
  form.setupUi(central);
  window.setCentralWidget(central);
  window.setWindowTitle(QStringLiteral("Spot Diagram"));
  window.resize(central->size());

  auto calculator = platform::makeObject<SpotDiagramCalculator>();
  // The question is asked over this window; the window outlives neither its calculator
  // nor the calculator's question (both go when the window closes).
  calculator->setPotentialDelayQuestion([w = &window] { return askPotentialDelay(w); });

  auto* panel = new QWidget();
  panel->setWindowTitle(QStringLiteral("Spot Diagram Options"));
  auto* layout = new QFormLayout(panel);
  auto* rays = new QSpinBox(panel);
  rays->setObjectName(QStringLiteral("numberOfRays"));
  rays->setRange(1, 100000);
  rays->setValue(static_cast<int>(calculator->numberOfRays()));
  layout->addRow(QStringLiteral("Rays per field"), rays);
  std::weak_ptr<SpotDiagramCalculator> weak = calculator;
  QObject::connect(rays, &QSpinBox::editingFinished, panel, [weak, rays] {
    if (auto c = weak.lock()) c->setNumberOfRays(static_cast<std::uint64_t>(rays->value()));
  });

  InterfaceOutlets outlets;
  outlets.calculator = calculator;
  outlets.view = form.plotView;
  outlets.optionsPanel = panel;
  outlets.randomize = [weak] {
    if (auto c = weak.lock()) c->randomize();
  };
  return outlets;
}

}  // namespace

void registerSpotWindow() { interfacefile::registerLoader("SpotWindow", loadSpotWindow); }

}  // namespace orb::app
