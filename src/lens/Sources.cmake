list(APPEND sources
  ArchiveClasses.h ArchiveClasses.cpp
  Field.h Field.cpp
  Wave.h Wave.cpp
  Parameter.h Parameter.cpp
  Emission.h Emission.cpp
  PlanarDrawing.h
  Aperture.h Aperture.cpp
  ApertureDrawing.h ApertureDrawing.cpp
  CircularAperture.h CircularAperture.cpp
  AspectAperture.h AspectAperture.cpp
  SpiderAperture.h SpiderAperture.cpp
)
