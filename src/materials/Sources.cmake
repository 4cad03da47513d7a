list(APPEND sources
  ArchiveClasses.h ArchiveClasses.cpp
  CatalogText.h CatalogText.cpp
  Glass.h Glass.cpp
  GlassCatalog.h GlassCatalog.cpp
  GlassWithCoefficients.h GlassWithCoefficients.cpp
  GlassWithIndexData.h GlassWithIndexData.cpp
  MakerTables.cpp
  OsloGlass.h OsloGlass.cpp
  SystemGlassCatalog.h SystemGlassCatalog.cpp
  ZemaxGlass.h ZemaxGlass.cpp
  ZemaxGlassParser.h ZemaxGlassParser.cpp
)
