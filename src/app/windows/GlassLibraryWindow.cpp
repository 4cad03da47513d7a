#include "app/windows/GlassLibraryWindow.h"

#include <QPointer>

#include "app/document/OBAppDel.h"
#include "app/tables/GlassControllers.h"
#include "app/windows/InterfaceFile.h"
#include "app/windows/OBWindow.h"
#include "materials/GlassCatalog.h"
#include "platform/NotificationCenter.h"

namespace orb::app {

namespace {

// The library is the glass-catalog window's layout under its own title.
InterfaceOutlets loadGlassLibraryWindow(OBWindow& window) {
  registerGlassCatalogWindow();
  InterfaceOutlets outlets;
  if (const auto* catalogLoader = interfacefile::loader("AGFDocument")) outlets = (*catalogLoader)(window);
  window.setWindowTitle(QStringLiteral("Glass Library"));
  return outlets;
}

}  // namespace

GlassLibraryWindowController::GlassLibraryWindowController() : GlassCatalogWindowController(kNibName, nullptr) {}

GlassLibraryWindowController::~GlassLibraryWindowController() { m_resetObserver.remove(); }

ArrayBinding GlassLibraryWindowController::glassBinding() {
  // Only the rows are given: the system catalog takes no insertions or removals.
  ArrayBinding binding;
  binding.objects = [] {
    std::vector<ObjectPtr> objects;
    if (const auto catalog = OBAppDel::systemGlassCatalog())
      for (const auto& glass : catalog->glassArray()) objects.push_back(glass);
    return objects;
  };
  return binding;
}

void GlassLibraryWindowController::awakeFromNib() {
  GlassCatalogWindowController::awakeFromNib();
  // The reset released the glasses listed; the next request reads the catalog again.
  QPointer<GlassLibraryWindowController> self = this;
  m_resetObserver = platform::NotificationCenter::defaultCenter().addObserver("systemGlassCatalogResetNotification", {},
                                                                              [self](const platform::Notification&) {
                                                                                if (self && !self->isClosing())
                                                                                  self->reloadGlasses();
                                                                              });
}

void GlassLibraryWindowController::windowWillClose() {
  m_resetObserver.remove();
  GlassCatalogWindowController::windowWillClose();
}

GlassLibraryWindowController* showGlassLibrary() {
  static const bool registered = [] {
    interfacefile::registerLoader(GlassLibraryWindowController::kNibName, loadGlassLibraryWindow);
    return true;
  }();
  (void)registered;
  static QPointer<GlassLibraryWindowController> shown;  // main thread only
  if (!shown || shown->isClosing()) shown = new GlassLibraryWindowController();
  shown->showWindow();
  return shown;
}

}  // namespace orb::app
