#include "app/windows/ListingWindows.h"

#include <QAbstractTextDocumentLayout>
#include <QDialog>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QShortcut>
#include <QTextBrowser>
#include <QTextDocument>
#include <QThread>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <memory>

#include "analysis/LensRoles.h"
#include "app/QtRunLoopDriver.h"
#include "app/document/OBDocument.h"
#include "app/windows/InterfaceFile.h"
#include "app/windows/OBWindow.h"
#include "app/windows/SmartWindowController.h"
#include "lens/Lens.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "platform/Resources.h"
#include "platform/UserDefaults.h"
#include "tracing/LensListings.h"
#include "tracing/SeidelAnalysis.h"

namespace orb::app {

// --- progress panel
// ---------------------------------------------------------------------------------------

namespace {
// The indicator counts in thousandths: fine enough for any panel width.
constexpr int kSteps = 1000;
}  // namespace

ProgressPanel::ProgressPanel(QObject* parent) : QObject(parent) {}

ProgressPanel::~ProgressPanel() {
  if (m_window) {
    m_window->close();
    delete m_window;
  }
}

void ProgressPanel::createWindow() {
  if (!m_window) {
    auto* panel = new QDialog(nullptr, Qt::Tool | Qt::WindowTitleHint | Qt::CustomizeWindowHint);
    panel->setObjectName(QStringLiteral("ProgressPanel"));
    panel->setWindowTitle(QStringLiteral("Progress"));
    auto* column = new QVBoxLayout(panel);
    m_info = new QLabel(panel);
    m_info->setObjectName(QStringLiteral("infoString"));
    m_info->setMinimumWidth(320);
    m_info->setText(QString::fromStdString(m_infoString));
    column->addWidget(m_info);
    auto* row = new QHBoxLayout();
    m_progressMonitor = new QProgressBar(panel);
    m_progressMonitor->setObjectName(QStringLiteral("progressMonitor"));
    m_progressMonitor->setTextVisible(false);
    row->addWidget(m_progressMonitor, 1);
    auto* abortButton = new QPushButton(QStringLiteral("Abort"), panel);
    abortButton->setObjectName(QStringLiteral("abort"));
    abortButton->setAutoDefault(false);
    connect(abortButton, &QPushButton::clicked, this, &ProgressPanel::abort);
    row->addWidget(abortButton);
    column->addLayout(row);
    m_window = panel;
    if (m_indeterminate)
      setIndeterminate();
    else
      setValue(m_value);
  }
  m_window->show();
  m_window->raise();
  m_window->activateWindow();
}

void ProgressPanel::setString(const std::string& text) {
  m_infoString = text;
  if (m_info) m_info->setText(QString::fromStdString(text));
}

void ProgressPanel::doing(int i, int n) {
  if (n <= 0) {
    setIndeterminate();
    return;
  }
  setValue(static_cast<double>(i) / static_cast<double>(n));
}

void ProgressPanel::setIndeterminate() {
  m_indeterminate = true;
  if (m_progressMonitor) m_progressMonitor->setRange(0, 0);
}

void ProgressPanel::setValue(double value) {
  m_indeterminate = false;
  m_value = value;
  if (m_progressMonitor) {
    m_progressMonitor->setRange(0, kSteps);
    const double clamped = std::isfinite(value) ? std::clamp(value, 0.0, 1.0) : 0.0;
    m_progressMonitor->setValue(static_cast<int>(std::lround(clamped * kSteps)));
  }
}

void ProgressPanel::abort() {
  m_abortDesired = true;
  if (m_window && m_window->isModal() && m_window->isVisible()) m_window->reject();
}

// --- listings
// ---------------------------------------------------------------------------------------------

ListingView::ListingView(QWidget* parent) : QPlainTextEdit(parent) {
  setReadOnly(true);
  setLineWrapMode(QPlainTextEdit::NoWrap);
  setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
}

std::string ListingView::pageFooter(int page) const { return footerComment() + "    Page " + std::to_string(page); }

void ListingView::printTo(QPrinter& printer) const {
  platform::UserDefaults::standard().setObject("NSPrintHeaderAndFooter", platform::Value(true));
  printer.setFullPage(true);
  printer.setPageMargins(QMarginsF(72, 72, 72, 90), QPageLayout::Point);

  QPainter painter(&printer);
  if (!painter.isActive()) return;
  const double dpi = printer.resolution();
  const double pt = dpi / 72.0;
  const QRectF paper = printer.pageLayout().fullRectPixels(printer.resolution());
  const QRectF body(72 * pt, 72 * pt, paper.width() - 144 * pt, paper.height() - 162 * pt);

  std::unique_ptr<QTextDocument> text(document()->clone());
  text->documentLayout()->setPaintDevice(&printer);
  text->setDefaultFont(font());
  text->setPageSize(body.size());
  const int pages = std::max(1, text->pageCount());

  QFont footerFont = font();
  for (int page = 1; page <= pages; ++page) {
    if (page > 1) printer.newPage();
    painter.save();
    painter.translate(body.left(), body.top() - (page - 1) * body.height());
    const QRectF visible(0, (page - 1) * body.height(), body.width(), body.height());
    painter.setClipRect(visible);
    QAbstractTextDocumentLayout::PaintContext context;
    context.clip = visible;
    text->documentLayout()->draw(&painter, context);
    painter.restore();
    // The footer sits in the bottom margin, right-aligned under the body.
    painter.setFont(footerFont);
    const QRectF footer(body.left(), body.bottom() + 18 * pt, body.width(), 36 * pt);
    painter.drawText(footer, Qt::AlignRight | Qt::AlignTop, QString::fromStdString(pageFooter(page)));
  }
}

void ListingView::print() {
  QPrinter printer(QPrinter::HighResolution);
  QPrintDialog dialog(&printer, window());
  if (dialog.exec() == QDialog::Accepted) printTo(printer);
}

namespace {

std::shared_ptr<OBDocument> documentOf(OBWindow& window) {
  auto* controller = window.controller();
  return controller ? std::dynamic_pointer_cast<OBDocument>(controller->document()) : nullptr;
}

/// The window's contents: the listing over the whole window and a Print button; re-read
/// whenever the lens is ready.
class ListingPane : public QWidget {
 public:
  using Listing = std::function<std::string(lens::Lens&)>;

  ListingPane(OBWindow& window, ListingView* view, const std::shared_ptr<OBDocument>& document, Listing listing)
      : QWidget(&window), m_view(view), m_lens(document ? document->lens() : nullptr), m_listing(std::move(listing)) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 6);
    view->setParent(this);
    view->setObjectName(QStringLiteral("listing"));
    column->addWidget(view, 1);
    auto* row = new QHBoxLayout();
    row->setContentsMargins(6, 0, 6, 0);
    row->addStretch();
    auto* print = new QPushButton(QStringLiteral("Print…"), this);
    print->setObjectName(QStringLiteral("print"));
    print->setAutoDefault(false);
    connect(print, &QPushButton::clicked, view, &ListingView::print);
    row->addWidget(print);
    column->addLayout(row);
    if (document) {
      QPointer<ListingPane> self = this;
      m_ready = platform::NotificationCenter::defaultCenter().addObserver(
          analysis::kLensIsReadyNotification, document->reference(), [self](const platform::Notification&) {
            // Delivered on the posting thread; the view is touched on the main thread only.
            onMainThread(self, [self] { self->reload(); });
          });
    }
    // The listings name the document's file and show the surfaces' comments.
    if (const auto lens = m_lens.lock()) {
      QPointer<ListingPane> self = this;
      m_commentChanged = platform::NotificationCenter::defaultCenter().addObserver(
          "lensCommentChangedNotification", platform::Value(lens->reference()),
          [self](const platform::Notification&) { onMainThread(self, [self] { self->reload(); }); });
    }
    reload();
  }

  void reload() {
    const auto lens = m_lens.lock();
    if (!lens) return;
    // Announced at the end of the change cycle, while the lens still counts as busy: the
    // regenerated system is complete by then.
    const std::string text = analysis::lensIsReady(lens.get()) ? m_listing(*lens) : "Lens is not yet ready";
    // Keep the reader's place across refreshes.
    const int scroll = m_view->verticalScrollBar()->value();
    m_view->setPlainText(QString::fromStdString(text));
    m_view->verticalScrollBar()->setValue(scroll);
  }

 private:
  ListingView* m_view;
  std::weak_ptr<lens::Lens> m_lens;
  Listing m_listing;
  platform::Observation m_ready;
  platform::Observation m_commentChanged;
};

template <class View>
InterfaceLoader listingLoader(const char* title, ListingPane::Listing listing) {
  return [title, listing](OBWindow& window) -> InterfaceOutlets {
    window.setWindowTitle(QString::fromUtf8(title));
    auto* pane = new ListingPane(window, new View(), documentOf(window), listing);
    window.setCentralWidget(pane);
    window.resize(720, 560);
    InterfaceOutlets outlets;
    outlets.view = pane->findChild<ListingView*>(QStringLiteral("listing"));
    return outlets;
  };
}

}  // namespace

void registerListingWindows() {
  static const bool once = [] {
    interfacefile::registerLoader(
        kPrescriptionNibName, listingLoader<PrescriptionView>(
                                  "Prescription", [](lens::Lens& lens) { return tracing::prescriptionListing(lens); }));
    interfacefile::registerLoader(
        kSeidelNibName, listingLoader<SeidelListingView>(
                            "Seidel Aberrations", [](lens::Lens& lens) { return tracing::seidelListing(lens); }));
    interfacefile::registerLoader(kTransformationMatrixListingNibName,
                                  listingLoader<CoordListingView>("Transformation Matrices", [](lens::Lens& lens) {
                                    return tracing::transformationMatrixListing(lens);
                                  }));
    return true;
  }();
  (void)once;
}

// --- help
// -----------------------------------------------------------------------------------------------

HelpLauncher::HelpLauncher(std::function<std::string()> helpAnchor, QObject* parent)
    : QObject(parent), m_helpAnchor(std::move(helpAnchor)) {}

void HelpLauncher::showHelp() { showHelpAnchor(m_helpAnchor ? m_helpAnchor() : std::string()); }

std::string HelpLauncher::helpBookPath() { return platform::resources::pathFor("help/index", "html").value_or(""); }

QTextBrowser* HelpLauncher::helpWindow() {
  static QPointer<QTextBrowser> browser;
  if (!browser) {
    browser = new QTextBrowser();
    browser->setAttribute(Qt::WA_DeleteOnClose, false);
    browser->setObjectName(QStringLiteral("HelpWindow"));
    browser->setWindowTitle(QStringLiteral("Orbelline Help"));
    browser->setOpenExternalLinks(true);
    browser->resize(640, 720);
    // A window of its own without the menus: it closes with the keys every window closes with.
    auto* close = new QShortcut(QKeySequence::Close, browser.data(), browser.data(), &QWidget::close);
    close->setObjectName(QStringLiteral("closeHelp"));
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), browser.data(), browser.data(), &QWidget::close);
    escape->setObjectName(QStringLiteral("closeHelpByEscape"));
  }
  return browser;
}

bool HelpLauncher::showHelpAnchor(const std::string& anchor) {
  const std::string path = helpBookPath();
  if (path.empty()) {
    platform::log("help book missing (anchor %s)", anchor.c_str());
    return false;
  }
  QUrl url = QUrl::fromLocalFile(QString::fromStdString(path));
  if (!anchor.empty()) url.setFragment(QString::fromStdString(anchor));
  QTextBrowser* browser = helpWindow();
  // Same page, other anchor: setSource only scrolls.
  browser->setSource(url);
  if (!anchor.empty()) browser->scrollToAnchor(QString::fromStdString(anchor));
  browser->show();
  browser->raise();
  browser->activateWindow();
  return true;
}

// --- notification logger
// ---------------------------------------------------------------------------------

NotificationLogger::NotificationLogger(QObject* parent) : QObject(parent) {
  auto* view = new QPlainTextEdit();
  view->setObjectName(QStringLiteral("NotificationLogger"));
  view->setWindowTitle(QStringLiteral("Notification Logger"));
  view->setReadOnly(true);
  view->setLineWrapMode(QPlainTextEdit::NoWrap);
  view->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  view->setMaximumBlockCount(5000);
  view->resize(640, 400);
  m_window = view;
}

NotificationLogger::~NotificationLogger() {
  m_observation = {};
  delete m_window;
}

void NotificationLogger::awakeFromNib() {
  QPointer<NotificationLogger> self = this;
  m_observation =
      platform::NotificationCenter::defaultCenter().addObserver({}, {}, [self](const platform::Notification& n) {
        std::string text = ">> " + n.name;
        if (!n.object.isNil()) text += " object: " + n.object.description();
        if (n.userInfo.size() > 0) text += " userInfo: " + n.userInfo.description();
        platform::logText(text);
        onMainThread(self, [self, line = QString::fromStdString(text)] { self->appendLine(line); });
      });
}

void NotificationLogger::appendLine(const QString& line) {
  if (m_window) m_window->appendPlainText(line);
}

NotificationLogger* NotificationLogger::shared() {
  static QPointer<NotificationLogger> logger;
  if (!logger) {
    logger = new NotificationLogger();
    logger->awakeFromNib();
  }
  logger->window()->show();
  logger->window()->raise();
  return logger;
}

}  // namespace orb::app
