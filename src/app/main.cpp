#include <QApplication>
#include <QStringList>
#include <QtGlobal>
#include <cstdlib>

#include "app/QtRunLoopDriver.h"
#include "app/document/GlassCatalogDocument.h"
#include "app/document/OBAppDel.h"
#include "app/document/OBDocument.h"
#include "app/document/StartWindow.h"
#include "platform/AtomicFile.h"
#include "platform/Log.h"

namespace {

// Qt's messages take the process log's levels, so its chatter stays out of standard error
// too; a warning Qt repeats (a platform plugin's, once per window) is given once.
void routeQtMessage(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  using orb::platform::LogLevel;
  const std::string text = message.toStdString();
  const std::string category = context.category && std::string_view(context.category) != "default"
                                   ? std::string(context.category) + ": "
                                   : std::string();
  switch (type) {
    case QtDebugMsg:
    case QtInfoMsg: orb::platform::logTextAt(LogLevel::Debug, category + text); break;
    case QtWarningMsg:
      orb::platform::logWarningOnce("Qt", category + text, "%s%s", category.c_str(), text.c_str());
      break;
    case QtCriticalMsg: orb::platform::logTextAt(LogLevel::Error, category + text); break;
    case QtFatalMsg:
      orb::platform::logTextAt(LogLevel::Error, category + text);
      std::abort();
  }
}

}  // namespace

int main(int argc, char** argv) {
  using namespace orb::app;
  // Before any thread: a save past the file-size limit then fails as a full disk does
  // ("File too large") instead of the signal ending the program.
  orb::platform::ignoreFileSizeLimitSignal();
  qInstallMessageHandler(routeQtMessage);
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Orbelline"));
  QApplication::setApplicationVersion(QStringLiteral(ORB_VERSION));
  // Document windows come and go while the start window is hidden; the application ends
  // by Quit or by closing the start window, not when a last document window closes.
  QApplication::setQuitOnLastWindowClosed(false);

  OBAppDel::initialize();
  registerLensDocument();  // archive classes, regeneration, interface files, Open
  registerGlassCatalogDocument();  // AGF and OSLO glass catalogs open as documents of their own
  QtRunLoopDriver runLoopDriver;
  auto& delegate = OBAppDel::shared();
  delegate.applicationWillFinishLaunching();
  delegate.applicationDidFinishLaunching();
  delegate.updateStartWindow();  // no untitled document: the start window instead

  const QStringList arguments = QApplication::arguments();
  for (qsizetype i = 1; i < arguments.size(); ++i) delegate.startWindow()->openFile(arguments[i].toStdString());

  const int status = QApplication::exec();
  OBAppDel::waitForSystemGlassCatalogLoader();
  return status;
}
