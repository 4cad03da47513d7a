list(APPEND sources
  ArchiveClasses.h ArchiveClasses.cpp
  CatalogText.h CatalogText.cpp
  Glass.h Glass.cpp
  GlassCatalog.h GlassCatalog.cpp
  GlassWithCoefficients.h GlassWithCoefficients.cpp
  GlassWithIndexData.h GlassWithIndexData.cpp
  GrinDispersion.h GrinDispersion.cpp GrinDispersionLibrary.cpp
  IndexFitter.h IndexFitter.cpp
  IndexCalculator.h IndexCalculator.cpp
  Medium.h Medium.cpp
  Medium2.h Medium2.cpp
  Medium5.h Medium5.cpp
  NonuniformMedium.h NonuniformMedium.cpp
  UniformMedium.h UniformMedium.cpp
  MakerTables.cpp
  OsloGlass.h OsloGlass.cpp
  SystemGlassCatalog.h SystemGlassCatalog.cpp
  ZemaxGlass.h ZemaxGlass.cpp
  ZemaxGlassParser.h ZemaxGlassParser.cpp
)
