#pragma once

#include <string>

#include "app/windows/GlassCatalogWindow.h"
#include "platform/Observation.h"

namespace orb::app {

/// The application's glass library ("GlobalGlassLibrary"): the system glass catalog,
/// every maker's glasses with their catalog named, searchable and dragged out onto
/// surfaces, read only. It belongs to no document and re-reads the catalog after each
/// "systemGlassCatalogResetNotification".
class GlassLibraryWindowController : public GlassCatalogWindowController {
  Q_OBJECT
 public:
  static constexpr const char* kNibName = "GlobalGlassLibrary";

  GlassLibraryWindowController();
  ~GlassLibraryWindowController() override;

 protected:
  void awakeFromNib() override;
  void windowWillClose() override;
  bool isReadOnly() const override { return true; }
  ArrayBinding glassBinding() override;

 private:
  platform::Observation m_resetObserver;
};

/// Window ▸ Glass Library: loads the window on first use, then makes it key and brings it
/// to the front.
GlassLibraryWindowController* showGlassLibrary();

}  // namespace orb::app
