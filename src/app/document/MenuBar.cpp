#include "app/document/MenuBar.h"

#include <QAction>
#include <QApplication>
#include <QFileInfo>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QUndoStack>
#include <map>
#include <string>

#include "app/document/DocumentController.h"
#include "app/document/OBAppDel.h"
#include "app/document/OBDocument.h"
#include "app/document/WindowActions.h"
#include "app/windows/CalculatorWindowController.h"
#include "app/windows/IndexFitterWindow.h"
#include "app/windows/IndexPlotter.h"
#include "app/windows/LensCatalogWindow.h"
#include "app/windows/LensPlotWindowController.h"
#include "app/windows/ListingWindows.h"
#include "app/windows/PlotWindowController.h"
#include "app/windows/OBWindow.h"
#include "rendering/DragoutImageView.h"
#include "rendering/PlanarView.h"

namespace orb::app {

namespace {

std::shared_ptr<SmartDocument> documentOf(QWidget* window) { return OBAppDel::documentOfWindow(window); }

CalculatorWindowController* calculatorWindowOf(QWidget* window) {
  auto* obWindow = qobject_cast<OBWindow*>(window);
  auto* controller = obWindow ? qobject_cast<CalculatorWindowController*>(obWindow->controller()) : nullptr;
  return controller && !controller->isClosing() ? controller : nullptr;
}

/// Cut, Copy, Paste and Select All go to the widget with the keyboard focus (text
/// fields answer them), else to the window's main view (plot views copy their picture).
void sendEditAction(QWidget* window, const char* method) {
  if (QWidget* focus = QApplication::focusWidget(); focus && focus->window() == window)
    for (QWidget* w = focus; w && w != window; w = w->parentWidget())
      if (w->metaObject()->indexOfMethod(QMetaObject::normalizedSignature((std::string(method) + "()").c_str())) >= 0) {
        QMetaObject::invokeMethod(w, method);
        return;
      }
  auto* calculatorWindow = calculatorWindowOf(window);
  auto* view = calculatorWindow ? dynamic_cast<rendering::DragoutImageView*>(calculatorWindow->view()) : nullptr;
  if (!view) return;
  // The layout keeps its selection out of copies and hands pasted surfaces to its model.
  if (auto* planar = dynamic_cast<rendering::PlanarView*>(view)) {
    if (std::string_view(method) == "copy") planar->copy();
    if (std::string_view(method) == "paste") planar->paste();
    return;
  }
  if (std::string_view(method) == "copy") view->copy();
  if (std::string_view(method) == "paste") view->paste();
}

QAction* addDocumentAction(QMenu* menu, QWidget* window, const QString& title, const std::string& action,
                           const QKeySequence& shortcut = {}) {
  auto* item = menu->addAction(title);
  item->setObjectName(QString::fromStdString(action));
  if (!shortcut.isEmpty()) item->setShortcut(shortcut);
  QObject::connect(item, &QAction::triggered, window, [window, action] {
    if (auto document = documentOf(window)) document->performAction(action);
  });
  return item;
}

/// Enables the menu's document actions from the document as the menu opens.
void validateWhenShown(QMenu* menu, QWidget* window) {
  QObject::connect(menu, &QMenu::aboutToShow, window, [menu, window] {
    auto document = documentOf(window);
    for (QAction* item : menu->actions()) {
      const std::string action = item->objectName().toStdString();
      if (action.empty() || item->menu()) continue;
      if (const auto* a = windowAction(action); a && !windowActionIsAvailable(*a)) {
        item->setEnabled(false);
        continue;
      }
      item->setEnabled(document && document->validateAction(action));
    }
  });
}

void buildFileMenu(QMenuBar* bar, QWidget* window) {
  QMenu* menu = bar->addMenu(QStringLiteral("&File"));
  menu->setObjectName(QStringLiteral("FileMenu"));
  auto& app = OBAppDel::shared();
  auto* newFromClipboard = menu->addAction(QStringLiteral("New from Clipboard"), window,
                                           [window, &app] { app.newFromClipboard(window); });
  newFromClipboard->setObjectName(QStringLiteral("newFromClipboard"));
  auto* open = menu->addAction(QStringLiteral("&Open\u2026"), window, [window, &app] { app.openDocument(window); });
  open->setObjectName(QStringLiteral("openDocument"));
  open->setShortcut(QKeySequence::Open);
  QMenu* recent = menu->addMenu(QStringLiteral("Open Recent"));
  recent->setObjectName(QStringLiteral("OpenRecentMenu"));
  QObject::connect(recent, &QMenu::aboutToShow, window, [recent, window, &app] {
    recent->clear();
    for (const auto& path : app.recentDocumentPaths()) {
      const QString qpath = QString::fromStdString(path);
      auto* item = recent->addAction(QFileInfo(qpath).fileName(), window,
                                     [window, path, &app] { app.openDocumentWithPath(path, window); });
      item->setToolTip(qpath);
    }
    recent->addSeparator();
    auto* clear = recent->addAction(QStringLiteral("Clear Menu"), window, [&app] { app.clearRecentDocuments(); });
    clear->setEnabled(!app.recentDocumentPaths().empty());
  });
  recent->setToolTipsVisible(true);
  // Stock-lens catalogs are browsed in a window of their own; an entry opens as a lens.
  auto* zemaxCatalog = menu->addAction(QStringLiteral("Open Zemax Lens Catalog\u2026"), window, [window] {
    LensCatalogWindow::browse(LensCatalogWindow::Kind::Zemax, window);
  });
  zemaxCatalog->setObjectName(QStringLiteral("openZemaxLensCatalog"));
  auto* osloCatalog = menu->addAction(QStringLiteral("Open OSLO Lens Catalog\u2026"), window, [window] {
    LensCatalogWindow::browse(LensCatalogWindow::Kind::Oslo, window);
  });
  osloCatalog->setObjectName(QStringLiteral("openOsloLensCatalog"));
  menu->addSeparator();

  auto* closeWindow = menu->addAction(QStringLiteral("&Close Window"), window, [window] { window->close(); });
  closeWindow->setObjectName(QStringLiteral("performClose"));
  closeWindow->setShortcut(QKeySequence::Close);
  auto* closeDocument =
      menu->addAction(QStringLiteral("Close Document"), window, [window, &app] { app.performCloseDocument(window); });
  closeDocument->setObjectName(QStringLiteral("performCloseDocument"));
  closeDocument->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_W));
  auto* closeOthers = menu->addAction(QStringLiteral("Close Other Windows"), window,
                                      [window, &app] { app.closeAllButFrontWindow(window); });
  closeOthers->setObjectName(QStringLiteral("closeAllButFrontWindow"));
  menu->addSeparator();

  auto* save = menu->addAction(QStringLiteral("&Save"), window, [window] {
    if (auto document = documentOf(window)) document->saveDocument(window);
  });
  save->setObjectName(QStringLiteral("saveDocument"));
  save->setShortcut(QKeySequence::Save);
  auto* saveAs = menu->addAction(QStringLiteral("Save &As\u2026"), window, [window] {
    if (auto document = std::dynamic_pointer_cast<OBDocument>(documentOf(window))) document->saveDocumentAs(window);
  });
  saveAs->setObjectName(QStringLiteral("saveDocumentAs"));
  saveAs->setShortcut(QKeySequence::SaveAs);
  auto* revert = menu->addAction(QStringLiteral("Revert to Saved"), window, [window] {
    if (auto document = std::dynamic_pointer_cast<OBDocument>(documentOf(window))) document->revertDocumentToSaved(window);
  });
  revert->setObjectName(QStringLiteral("revertDocumentToSaved"));
  menu->addSeparator();
  // The analysis window's data: the plotted curves as delimited text, or the analysis's
  // own export.
  auto* exportCurves = menu->addAction(QStringLiteral("Export Curves\u2026"), window, [window] {
    if (auto* c = calculatorWindowOf(window)) c->exportAction();
  });
  exportCurves->setObjectName(QStringLiteral("exportAction"));
  exportCurves->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
  auto* saveData = menu->addAction(QStringLiteral("Save Data\u2026"), window, [window] {
    if (auto* c = calculatorWindowOf(window)) c->saveData();
  });
  saveData->setObjectName(QStringLiteral("saveData"));
  menu->addSeparator();
  auto* pageSetup = menu->addAction(QStringLiteral("Page Setup…"), window, [window] {
    if (auto document = std::dynamic_pointer_cast<OBDocument>(documentOf(window))) document->runPageLayout(window);
  });
  pageSetup->setObjectName(QStringLiteral("runPageLayout"));
  auto* print = menu->addAction(QStringLiteral("Print…"), window, [window] {
    if (auto document = std::dynamic_pointer_cast<OBDocument>(documentOf(window))) document->printDocument(window);
  });
  print->setObjectName(QStringLiteral("printDocument"));
  // A window with a Print of its own (the layout's, to scale) keeps the key.
  bool printKeyTaken = false;
  for (const QAction* a : window->actions()) printKeyTaken = printKeyTaken || a->shortcut() == QKeySequence::Print;
  if (!printKeyTaken) print->setShortcut(QKeySequence::Print);
  menu->addSeparator();
  auto* quit = menu->addAction(QStringLiteral("&Quit"), window, [window, &app] { app.terminate(window); });
  quit->setObjectName(QStringLiteral("terminate"));
  quit->setShortcut(QKeySequence::Quit);
  quit->setMenuRole(QAction::QuitRole);

  QObject::connect(menu, &QMenu::aboutToShow, window, [=, &app] {
    auto document = documentOf(window);
    const bool lensDocument = std::dynamic_pointer_cast<OBDocument>(document) != nullptr;
    newFromClipboard->setEnabled(DocumentController::shared().documentFactory() != nullptr);
    zemaxCatalog->setEnabled(DocumentController::shared().documentFactory() != nullptr);
    osloCatalog->setEnabled(DocumentController::shared().documentFactory() != nullptr);
    closeDocument->setEnabled(document && app.canPerformCloseDocument());
    save->setEnabled(lensDocument);
    saveAs->setEnabled(lensDocument);
    revert->setEnabled(document && document->validateAction("revertDocumentToSaved"));
    auto* calculatorWindow = calculatorWindowOf(window);
    exportCurves->setEnabled(qobject_cast<PlotWindowController*>(calculatorWindow) ||
                             qobject_cast<LensPlotWindowController*>(calculatorWindow));
    saveData->setEnabled(calculatorWindow != nullptr);
    auto lens = std::dynamic_pointer_cast<OBDocument>(document);
    pageSetup->setEnabled(lensDocument);
    print->setEnabled(lens && lens->printOperationWithSettings({}, window).has_value());
  });
}

void buildEditMenu(QMenuBar* bar, QWidget* window) {
  QMenu* menu = bar->addMenu(QStringLiteral("&Edit"));
  menu->setObjectName(QStringLiteral("EditMenu"));
  // Undo and Redo name the change they undo ("Undo lens change") and follow the
  // document's undo stack as it changes.
  if (auto document = std::dynamic_pointer_cast<OBDocument>(documentOf(window))) {
    QAction* undo = document->undoStack().createUndoAction(menu, QStringLiteral("Undo"));
    undo->setObjectName(QStringLiteral("undo"));
    undo->setShortcut(QKeySequence::Undo);
    QAction* redo = document->undoStack().createRedoAction(menu, QStringLiteral("Redo"));
    redo->setObjectName(QStringLiteral("redo"));
    redo->setShortcut(QKeySequence::Redo);
    menu->addAction(undo);
    menu->addAction(redo);
  } else {
    menu->addAction(QStringLiteral("Undo"))->setEnabled(false);
    menu->addAction(QStringLiteral("Redo"))->setEnabled(false);
  }
  menu->addSeparator();
  struct EditItem {
    const char* title;
    const char* method;
    QKeySequence::StandardKey key;
  };
  for (const EditItem& e : {EditItem{"Cu&t", "cut", QKeySequence::Cut}, EditItem{"&Copy", "copy", QKeySequence::Copy},
                            EditItem{"&Paste", "paste", QKeySequence::Paste},
                            EditItem{"Select &All", "selectAll", QKeySequence::SelectAll}}) {
    const char* method = e.method;
    auto* item = menu->addAction(QString::fromUtf8(e.title), window, [window, method] { sendEditAction(window, method); });
    item->setObjectName(QString::fromUtf8(method));
    item->setShortcut(e.key);
    // Text fields take their own shortcuts; the menu's act for the rest of the window.
    item->setShortcutContext(Qt::WindowShortcut);
  }
}

void buildLensMenu(QMenuBar* bar, QWidget* window, QMenu* lensMenu) {
  lensMenu->addSeparator();
  addDocumentAction(lensMenu, window, QStringLiteral("Quick Focus"), "quickFocus");
  addDocumentAction(lensMenu, window, QStringLiteral("Remove All Solves"), "removeAllSolves");
  addDocumentAction(lensMenu, window, QStringLiteral("Remove All Variables"), "removeAllVariables");
  addDocumentAction(lensMenu, window, QStringLiteral("Remove Glass Pickups"), "removeGlassPickups");
  lensMenu->addSeparator();
  QMenu* colors = lensMenu->addMenu(QStringLiteral("Colors"));
  colors->setObjectName(QStringLiteral("ColorsMenu"));
  struct ColorItem {
    const char* title;
    const char* action;
  };
  const ColorItem items[] = {{"Rainbow Surface Colors", "rainbowSurfaceColors"},
                             {"Random Surface Colors", "randomizeSurfaceColors"},
                             {"Rainbow Field Colors", "rainbowFieldColors"},
                             {"Random Field Colors", "randomizeFieldColors"},
                             {"Rainbow Wavelength Colors", "rainbowWaveColors"},
                             {"Random Wavelength Colors", "randomizeWaveColors"},
                             {"Rainbow Glass Colors", "rainbowGlassColors"},
                             {"Random Glass Colors", "randomizeGlassColors"}};
  for (std::size_t i = 0; i < std::size(items); ++i) {
    if (i > 0 && i % 2 == 0) colors->addSeparator();
    addDocumentAction(colors, window, QString::fromUtf8(items[i].title), items[i].action);
  }
  colors->addSeparator();
  addDocumentAction(colors, window, QStringLiteral("Replace Wavelengths by a Rainbow"), "generateRainbow");
  validateWhenShown(colors, window);

  // The system glass catalog is the application's, not the document's.
  QMenu* glass = lensMenu->addMenu(QStringLiteral("Glass Catalogs"));
  glass->setObjectName(QStringLiteral("GlassCatalogsMenu"));
  auto& app = OBAppDel::shared();
  glass->addAction(QStringLiteral("Choose Zemax Glass Folder\u2026"), window,
                   [window, &app] { app.browseForZemaxGlassDirectory(window); })
      ->setObjectName(QStringLiteral("browseForZemaxGlassDirectory"));
  glass->addAction(QStringLiteral("Choose OSLO Glass Folder\u2026"), window,
                   [window, &app] { app.browseForOsloGlassDirectory(window); })
      ->setObjectName(QStringLiteral("browseForOsloGlassDirectory"));
  glass->addSeparator();
  glass->addAction(QStringLiteral("Reload System Glass Catalog"), window, [&app] { app.resetGlassCatalog(); })
      ->setObjectName(QStringLiteral("resetGlassCatalog"));
  (void)bar;
}

void buildWindowMenu(QMenuBar* bar, QWidget* window) {
  QMenu* menu = bar->addMenu(QStringLiteral("&Window"));
  menu->setObjectName(QStringLiteral("WindowMenu"));
  auto& app = OBAppDel::shared();
  auto* minimize = menu->addAction(QStringLiteral("Minimize"), window, [window] { window->showMinimized(); });
  minimize->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_M));
  // Zoom: the largest frame the window takes (nearly square for the point-spread windows), and back.
  if (auto* obWindow = qobject_cast<OBWindow*>(window)) {
    QPointer<OBWindow> zoomed = obWindow;
    auto* zoom = menu->addAction(QStringLiteral("Zoom"), window, [zoomed] {
      if (zoomed) zoomed->zoom();
    });
    zoom->setObjectName(QStringLiteral("performZoom"));
  }
  if (auto* calculatorWindow = calculatorWindowOf(window)) {
    QPointer<CalculatorWindowController> controller = calculatorWindow;
    auto* toolbar = menu->addAction(QStringLiteral("Show Toolbar"), window, [controller](bool shown) {
      if (controller) controller->setToolbarShown(shown);
    });
    toolbar->setObjectName(QStringLiteral("toggleToolbarShown"));
    toolbar->setCheckable(true);
    QObject::connect(menu, &QMenu::aboutToShow, toolbar, [toolbar, controller] {
      if (controller) toolbar->setChecked(controller->isToolbarShown());
    });
  }
  menu->addAction(QStringLiteral("Bring All to Front"), window, [window, &app] { app.arrangeInFront(window); })
      ->setObjectName(QStringLiteral("arrangeInFront"));
  menu->addAction(QStringLiteral("Close All Option Panels"), window, [&app] { app.closeAllOptionPanels(); })
      ->setObjectName(QStringLiteral("closeAllOptionPanels"));
  menu->addSeparator();
  // The application's own windows; the others come with the glass-catalog windows.
  for (const char* title : {"Glass Library", "Index Plotter", "Index Fitter"}) {
    QAction* item = menu->addAction(QString::fromUtf8(title));
    if (std::string_view(title) == "Glass Library") {
      item->setObjectName(QStringLiteral("showGlassLibrary"));
      QObject::connect(item, &QAction::triggered, window, [&app] { app.showGlassLibrary(); });
      continue;
    }
    if (std::string_view(title) == "Index Plotter") {
      item->setObjectName(QStringLiteral("showIndexPlotter"));
      QObject::connect(item, &QAction::triggered, window, [] { showIndexPlotter(); });
      continue;
    }
    if (std::string_view(title) == "Index Fitter") {
      item->setObjectName(QStringLiteral("showIndexFitter"));
      QObject::connect(item, &QAction::triggered, window, [] { showIndexFitter(); });
      continue;
    }
    item->setEnabled(false);
    item->setToolTip(QString::fromUtf8(kNotAvailableYetToolTip));
  }
  menu->setToolTipsVisible(true);
  auto* separator = menu->addSeparator();
  // The open document windows, listed afresh each time the menu opens.
  QObject::connect(menu, &QMenu::aboutToShow, window, [menu, separator, window] {
    const auto actions = menu->actions();
    bool afterSeparator = false;
    for (QAction* a : actions) {
      if (afterSeparator) menu->removeAction(a), a->deleteLater();
      if (a == separator) afterSeparator = true;
    }
    for (QWidget* w : QApplication::topLevelWidgets()) {
      auto* other = qobject_cast<OBWindow*>(w);
      if (!other || !other->isVisible()) continue;
      QPointer<QWidget> target = other;
      auto* item = menu->addAction(shownWindowTitle(*other), window, [target] {
        if (!target) return;
        if (target->isMinimized()) target->showNormal();
        target->raise();
        target->activateWindow();
      });
      item->setCheckable(true);
      item->setChecked(other == window);
    }
  });
}

void buildHelpMenu(QMenuBar* bar, QWidget* window) {
  QMenu* menu = bar->addMenu(QStringLiteral("&Help"));
  menu->setObjectName(QStringLiteral("HelpMenu"));
  menu->addAction(QStringLiteral("Orbelline Help"), window, [] { HelpLauncher::showHelpAnchor({}); });
  menu->addAction(QStringLiteral("Notification Logger"), window, [] { NotificationLogger::shared(); });
  menu->addAction(QStringLiteral("About Orbelline"), window, [window] {
    QMessageBox::about(window, QStringLiteral("About Orbelline"),
                       QStringLiteral("<b>Orbelline</b> %1<p>Design and analysis of optical systems: imaging lenses "
                                      "and illumination optics.</p>")
                           .arg(QString::fromStdString(OBAppDel::shared().versionString())));
  })->setMenuRole(QAction::AboutRole);
}

}  // namespace

void installMenuBar(QMenuBar* bar, QWidget* window) {
  if (!bar || !window || bar->property("orbMenus").toBool()) return;
  bar->setProperty("orbMenus", true);
  buildFileMenu(bar, window);
  buildEditMenu(bar, window);

  // The windows of the lens document, by menu, in the table's order.
  std::map<std::string, QMenu*> menus;
  for (const char* title : {"Lens", "Analysis", "Diffraction", "Illumination", "Reports", "Optimize"}) {
    QMenu* menu = bar->addMenu(QString::fromUtf8(title));
    menu->setObjectName(QString::fromUtf8(title) + QStringLiteral("Menu"));
    menu->setToolTipsVisible(true);
    menus[title] = menu;
  }
  for (const auto& a : windowActions()) {
    QMenu* menu = menus.at(a.menu);
    const std::string_view action = a.action;
    if (action == "makeSpotDiagram" || action == "makeTrace" || action == "showScaleLensWindow") menu->addSeparator();
    QAction* item = addDocumentAction(menu, window, QString::fromUtf8(a.title), a.action);
    if (!windowActionIsAvailable(a)) {
      item->setEnabled(false);
      item->setToolTip(QString::fromUtf8(kNotAvailableYetToolTip));
    }
  }
  buildLensMenu(bar, window, menus.at("Lens"));
  for (auto& [title, menu] : menus) validateWhenShown(menu, window);
  buildWindowMenu(bar, window);
  // Diagnostics: every window of the document at once, to see them all work together.
  QMenu* debug = bar->addMenu(QStringLiteral("Debug"));
  debug->setObjectName(QStringLiteral("DebugMenu"));
  addDocumentAction(debug, window, QStringLiteral("Show All Possible Windows"), "showAllPossibleWindows");
  addDocumentAction(debug, window, QStringLiteral("Show Alert"), "showAlert");
  validateWhenShown(debug, window);
  buildHelpMenu(bar, window);
}

void installApplicationMenuBar(QMenuBar* bar, QWidget* window) {
  if (!bar || !window || bar->property("orbMenus").toBool()) return;
  bar->setProperty("orbMenus", true);
  buildFileMenu(bar, window);
  buildWindowMenu(bar, window);
  buildHelpMenu(bar, window);
}

}  // namespace orb::app
