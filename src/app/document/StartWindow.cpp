#include "app/document/StartWindow.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QFileDialog>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/Messages.h"
#include "app/document/DocumentController.h"
#include "app/document/MenuBar.h"
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
  setMinimumWidth(360);

  connect(m_open, &QPushButton::clicked, this, [this] { open(); });
  connect(m_newFromClipboard, &QPushButton::clicked, this, [this] { newFromClipboard(); });
  connect(m_quit, &QPushButton::clicked, this, [this] { OBAppDel::shared().terminate(this); });
  // The same menus as every window: Linux has no menu bar without a window.
  auto* bar = new QMenuBar(this);
  layout->setMenuBar(bar);
  installApplicationMenuBar(bar, this);
  OBAppDel::acceptLensFileDrops(this);
}

void StartWindow::closeEvent(QCloseEvent* event) {
  QWidget::closeEvent(event);
  if (DocumentController::shared().documents().empty()) QMetaObject::invokeMethod(qApp, &QApplication::quit, Qt::QueuedConnection);
}

void StartWindow::open() { OBAppDel::shared().openDocument(this); }

void StartWindow::openFile(const std::string& path) { OBAppDel::shared().openDocumentWithPath(path, this); }

void StartWindow::newFromClipboard() { OBAppDel::shared().newFromClipboard(this); }

}  // namespace orb::app
