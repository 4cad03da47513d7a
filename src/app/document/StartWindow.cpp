#include "app/document/StartWindow.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QFileDialog>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/Messages.h"
#include "app/document/DocumentController.h"
#include "app/document/OBAppDel.h"
#include "app/document/SmartDocument.h"

namespace orb::app {

StartWindow::StartWindow(QWidget* parent) : QWidget(parent) {
  setWindowTitle(QStringLiteral("Orbelline"));
  setObjectName(QStringLiteral("StartWindow"));
  auto* layout = new QVBoxLayout(this);
  auto* title = new QLabel(QStringLiteral("<b>Orbelline</b>"), this);
  title->setAlignment(Qt::AlignCenter);
  auto* hint = new QLabel(QStringLiteral("Open a lens file, or make a lens from Zemax text on the clipboard."), this);
  hint->setWordWrap(true);
  hint->setAlignment(Qt::AlignCenter);
  m_open = new QPushButton(QStringLiteral("Open…"), this);
  m_newFromClipboard = new QPushButton(QStringLiteral("New from Clipboard"), this);
  m_quit = new QPushButton(QStringLiteral("Quit"), this);
  m_open->setDefault(true);
  layout->addWidget(title);
  layout->addWidget(hint);
  layout->addSpacing(8);
  layout->addWidget(m_open);
  layout->addWidget(m_newFromClipboard);
  layout->addWidget(m_quit);
  setMinimumWidth(320);

  chooseFile = [](QWidget* parent) -> std::optional<std::string> {
    const QString path = QFileDialog::getOpenFileName(parent, QStringLiteral("Open"), QString(),
                                                      QStringLiteral("Lens files (*.zmx *.ZMX *.orb);;All files (*)"));
    if (path.isEmpty()) return std::nullopt;
    return path.toStdString();
  };
  connect(m_open, &QPushButton::clicked, this, [this] { open(); });
  connect(m_newFromClipboard, &QPushButton::clicked, this, [this] { newFromClipboard(); });
  connect(m_quit, &QPushButton::clicked, qApp, &QApplication::quit, Qt::QueuedConnection);
}

void StartWindow::closeEvent(QCloseEvent* event) {
  QWidget::closeEvent(event);
  if (DocumentController::shared().documents().empty()) QMetaObject::invokeMethod(qApp, &QApplication::quit, Qt::QueuedConnection);
}

void StartWindow::open() {
  if (!DocumentController::shared().documentFactory()) {
    showNotAvailableYet(this, "Opening lens files");
    return;
  }
  if (auto path = chooseFile(this)) openFile(*path);
}

void StartWindow::openFile(const std::string& path) {
  auto* factory = DocumentController::shared().documentFactory();
  if (!factory) {
    showMessage(this, notAvailableYetText("Opening lens files"),
                "Lens files open once the lens document is part of the application (" + path + ").");
    return;
  }
  std::string error;
  auto document = factory->openDocument(path, &error);
  if (!document) {
    showMessage(this, "The document \"" + path + "\" could not be opened.", error);
    return;
  }
  DocumentController::shared().addDocument(document);
  document->makeWindowControllers();
  document->showWindows();
}

void StartWindow::newFromClipboard() {
  if (!DocumentController::shared().documentFactory()) {
    showNotAvailableYet(this, "Making a lens from clipboard text");
    return;
  }
  std::optional<std::string> text;
  if (const QMimeData* data = QApplication::clipboard()->mimeData(); data && data->hasText())
    text = data->text().toStdString();
  std::string error, detail;
  if (!OBAppDel::shared().openSelection(text, &error, &detail)) showMessage(this, error, detail);
}

}  // namespace orb::app
