#include "app/windows/LensWindow.h"

#include <QHeaderView>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QHBoxLayout>
#include <cmath>
#include <memory>

#include "analysis/LensRoles.h"
#include "analysis/SpotDiagramCalculator.h"
#include "app/document/SmartDocument.h"
#include "app/windows/InterfaceFile.h"
#include "app/windows/OBWindow.h"
#include "app/windows/SmartWindowController.h"
#include "lens/Field.h"
#include "lens/Lens.h"
#include "lens/Surface.h"
#include "lens/Wave.h"
#include "platform/NotificationCenter.h"
#include "platform/Observation.h"
#include "tracing/LensSummary.h"

namespace orb::app {

namespace {

QString number(double v, int precision = 6) {
  if (std::isinf(v)) return v > 0 ? QStringLiteral("Infinity") : QStringLiteral("-Infinity");
  if (std::isnan(v)) return QString();
  return QString::number(v, 'g', precision);
}

/// The window's contents; refreshed when the document's lens is ready (also after undo,
/// revert and every edit's system update).
class LensSummaryView : public QWidget {
 public:
  explicit LensSummaryView(OBWindow& window) : QWidget(&window), m_window(&window) {
    auto* layout = new QVBoxLayout(this);
    m_heading = new QLabel(this);
    m_heading->setObjectName(QStringLiteral("lensHeading"));
    m_heading->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_heading->setWordWrap(true);
    layout->addWidget(m_heading);
    m_table = new QTableWidget(this);
    m_table->setObjectName(QStringLiteral("prescription"));
    m_table->setColumnCount(7);
    m_table->setHorizontalHeaderLabels({QStringLiteral("Type"), QStringLiteral("Comment"), QStringLiteral("Radius"), QStringLiteral("Thickness"),
                                        QStringLiteral("Glass"), QStringLiteral("Semi-diameter"), QStringLiteral("Conic")});
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 6);
    layout->addWidget(m_table, 1);
    auto* buttons = new QHBoxLayout();
    auto* spot = new QPushButton(QStringLiteral("Spot Diagram"), this);
    spot->setObjectName(QStringLiteral("makeSpotDiagram"));
    buttons->addWidget(spot);
    buttons->addStretch();
    layout->addLayout(buttons);
    connect(spot, &QPushButton::clicked, this, [this] {
      if (auto* c = m_window->controller())
        if (auto d = c->document()) d->performAction("makeSpotDiagram");
    });
  }

  /// Called once the controller knows its document.
  void attach() {
    auto* controller = m_window->controller();
    auto document = controller ? controller->document() : nullptr;
    if (!document) return;
    m_document = document;
    QPointer<LensSummaryView> self = this;
    m_ready = platform::NotificationCenter::defaultCenter().addObserver(
        analysis::kLensIsReadyNotification, document->reference(), [self](const platform::Notification&) {
          if (self) self->refresh();
        });
    refresh();
  }

  void refresh() {
    auto document = m_document.lock();
    auto* provider = dynamic_cast<analysis::LensProvider*>(document.get());
    auto lens = provider ? provider->lens() : nullptr;
    if (!lens) return;
    const auto& surfaces = lens->surfaceArray();
    m_table->setRowCount(static_cast<int>(surfaces.size()));
    QStringList rowNames;
    for (std::size_t i = 0; i < surfaces.size(); ++i) {
      const auto& s = surfaces[i];
      const int row = static_cast<int>(i);
      rowNames << (i == 0 ? QStringLiteral("OBJ")
                          : i + 1 == surfaces.size() ? QStringLiteral("IMA")
                                                     : (s && s->isStop() ? QStringLiteral("STO") : QString::number(i)));
      if (!s) continue;
      const auto text = [&](const char* key) {
        const auto v = s->valueForKey(key);
        return v.isString() ? QString::fromStdString(v.asString()) : QString();
      };
      const QString cells[] = {QString::fromStdString(s->type()), text("comment"), number(s->radiusOfCurvature()), number(s->thickness()),
                               text("glassName"), number(s->semidiameter()), number(s->conicConstant())};
      for (int c = 0; c < 7; ++c) {
        auto* item = new QTableWidgetItem(cells[c]);
        if (c != 0 && c != 1 && c != 4) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        m_table->setItem(row, c, item);
      }
    }
    m_table->setVerticalHeaderLabels(rowNames);
    m_table->resizeColumnsToContents();

    QString heading = QStringLiteral("<b>%1</b>").arg(
        lens->systemName() && !lens->systemName()->empty() ? QString::fromStdString(*lens->systemName()).toHtmlEscaped()
                                                            : QString::fromStdString(document->displayName()).toHtmlEscaped());
    if (lens->isReady() && !lens->warning()) {
      heading += QStringLiteral("<br>Focal length %1 mm, working F/# %2, total track %3 mm")
                     .arg(number(tracing::focalLength(*lens), 6), number(tracing::imageSpaceFocalRatio(*lens), 4),
                          number(tracing::totalTrack(*lens), 6));
    }
    QStringList fields, waves;
    const bool angles = lens->fieldType() == "Angle";
    for (const auto& f : lens->fieldArray())
      if (f) fields << QString::fromStdString(analysis::SpotDiagramCalculator::fieldValueText(*f, angles));
    for (const auto& w : lens->waveArray())
      if (w) waves << QString::fromStdString(w->valueForKey("wavelengthShortString").isString()
                                                 ? w->valueForKey("wavelengthShortString").asString()
                                                 : std::string());
    heading += QStringLiteral("<br>Fields (%1): %2<br>Wavelengths: %3")
                   .arg(QString::fromStdString(lens->valueForKey("fieldType").isString()
                                                   ? lens->valueForKey("fieldType").asString()
                                                   : std::string()),
                        fields.join(QStringLiteral("; ")).toHtmlEscaped(), waves.join(QStringLiteral(", ")).toHtmlEscaped());
    m_heading->setText(heading);
  }

 private:
  OBWindow* m_window;
  QLabel* m_heading;
  QTableWidget* m_table;
  std::weak_ptr<SmartDocument> m_document;
  platform::Observation m_ready;
};

InterfaceOutlets loadLensWindow(OBWindow& window) {
  window.setWindowTitle(QStringLiteral("Lens"));
  auto* view = new LensSummaryView(window);
  window.setCentralWidget(view);
  window.resize(720, 440);
  // The controller sets itself up after loading; the view attaches once it has.
  QPointer<LensSummaryView> guard = view;
  QMetaObject::invokeMethod(
      view, [guard] { if (guard) guard->attach(); }, Qt::QueuedConnection);
  return {};
}

}  // namespace

void registerLensWindow() { interfacefile::registerLoader(kLensWindowNibName, loadLensWindow); }

}  // namespace orb::app
