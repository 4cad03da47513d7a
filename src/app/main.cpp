#include <QApplication>
#include <QStringList>

#include "app/QtRunLoopDriver.h"
#include "app/document/GlassCatalogDocument.h"
#include "app/document/OBAppDel.h"
#include "app/document/OBDocument.h"
#include "app/document/StartWindow.h"

int main(int argc, char** argv) {
  using namespace orb::app;
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
