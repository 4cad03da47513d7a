#include "app/windows/StatusLine.h"

#include <QLabel>
#include <QPointer>
#include <QStatusBar>
#include <memory>
#include <regex>

#include "analysis/LensRoles.h"
#include "analysis/OBCalculator.h"
#include "app/document/SmartDocument.h"
#include "app/windows/CalculatorWindowController.h"
#include "app/windows/OBWindow.h"
#include "app/windows/SmartWindowController.h"
#include "lens/Lens.h"
#include "platform/NotificationCenter.h"
#include "platform/Observation.h"

namespace orb::app {

std::string readableWarning(const std::string& warning) {
  // "<what> (<ExceptionName> : <reason>)", the name a single word.
  static const std::regex pattern(R"(^(.*?) \(([A-Za-z_][\w:]*) : (.*)\)$)");
  std::smatch m;
  if (std::regex_match(warning, m, pattern)) return m[1].str() + ": " + m[3].str();
  return warning;
}

namespace {

/// Lives as a child of the window's status bar; observations end with it.
class StatusLine : public QObject {
 public:
  StatusLine(QStatusBar* bar, SmartWindowController& controller)
      : QObject(bar), m_bar(bar), m_controller(&controller), m_label(new QLabel(bar)) {
    m_label->setObjectName(QStringLiteral("statusText"));
    m_label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    bar->addWidget(m_label, 1);
    bar->setSizeGripEnabled(true);
    if (auto document = controller.document()) {
      m_document = document;
      // The document hands out a new lens on revert and on reading: follow it.
      m_lensIsReady = platform::NotificationCenter::defaultCenter().addObserver(
          analysis::kLensIsReadyNotification, document->reference(),
          [this](const platform::Notification&) { observeLens(); });
    }
    observeLens();
    if (auto* calculatorWindow = qobject_cast<CalculatorWindowController*>(&controller))
      if (auto calculator = calculatorWindow->calculator())
        m_statusObservation = calculator->addObserver("status", [this](const platform::ObservedChange&) { refreshSoon(); });
    refresh();
  }

 private:
  void observeLens() {
    auto document = m_document.lock();
    auto* provider = dynamic_cast<analysis::LensProvider*>(document.get());
    analysis::LensPtr lens = provider ? provider->lens() : nullptr;
    if (lens != m_lens.lock()) {
      m_lens = lens;
      m_warningObservation.remove();
      // Traces set warnings on worker threads: the refresh hops to the main thread.
      if (lens) m_warningObservation = lens->addObserver("warning", [this](const platform::ObservedChange&) { refreshSoon(); });
    }
    refresh();
  }

  void refreshSoon() {
    QPointer<StatusLine> self = this;
    QMetaObject::invokeMethod(
        m_bar, [self] { if (self) self->refresh(); }, Qt::QueuedConnection);
  }

  void refresh() {
    std::string text;
    bool isWarning = false;
    if (auto lens = m_lens.lock())
      if (auto warning = lens->warning(); warning && !warning->empty()) {
        text = readableWarning(*warning);
        isWarning = true;
      }
    if (text.empty() && m_controller)
      if (auto* calculatorWindow = qobject_cast<CalculatorWindowController*>(m_controller.data()))
        if (auto calculator = calculatorWindow->calculator()) text = calculator->status();
    // What reading the file passed over, until the window has something of its own to say.
    if (text.empty())
      if (auto document = m_document.lock()) text = document->readingNote();
    m_label->setText(QString::fromStdString(isWarning ? "\u26a0 " + text : text));
    m_label->setToolTip(m_label->text());
    m_label->setStyleSheet(isWarning ? QStringLiteral("color: #a01010;") : QString());
  }

  QStatusBar* m_bar;
  QPointer<SmartWindowController> m_controller;
  QLabel* m_label;
  std::weak_ptr<SmartDocument> m_document;
  std::weak_ptr<lens::Lens> m_lens;
  platform::Observation m_lensIsReady, m_warningObservation, m_statusObservation;
};

}  // namespace

void installStatusLine(SmartWindowController& controller) {
  if (!controller.hasDocument() || !controller.isWindowLoaded()) return;
  auto document = controller.document();
  if (!dynamic_cast<analysis::LensProvider*>(document.get())) return;
  new StatusLine(controller.window()->statusBar(), controller);
}

}  // namespace orb::app
