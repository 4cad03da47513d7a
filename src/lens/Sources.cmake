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
list(APPEND sources
  SolveCodes.h SolveCodes.cpp Solves.cpp
  CoordinateBreak.h CoordinateBreak.cpp
  SurfaceAsphere.h SurfaceAsphere.cpp
  SurfaceAsphereOdd.h SurfaceAsphereOdd.cpp
  SurfaceGrating.h SurfaceGrating.cpp
  SurfaceParaxial.h SurfaceParaxial.cpp
  SurfaceTilted.h SurfaceTilted.cpp
  SimpleSurfaceTypes.h SimpleSurfaceTypes.cpp
  SurfacePoly.h SurfacePoly.cpp
  SurfaceToric.h SurfaceToric.cpp
  SurfaceBiconic.h SurfaceBiconic.cpp
  SurfaceZernikeSag.h SurfaceZernikeSag.cpp
  SurfaceKinoform.h SurfaceKinoform.cpp
  SurfaceConicY.h SurfaceConicY.cpp
  SurfaceParaxialXY.h SurfaceParaxialXY.cpp
  SurfaceVortex.h SurfaceVortex.cpp
  SurfaceDiffuser.h SurfaceDiffuser.cpp
  SurfaceGradient.h SurfaceGradient.cpp
  LightPipe.h LightPipe.cpp
  Elbow.h Elbow.cpp
  FreeformSurfaceTypes.h FreeformSurfaceTypes.cpp
)
list(APPEND sources
  ConicSection.h
  Surface.h Surface.cpp SurfaceDrawing.cpp DrawingOptions.h
  SurfaceTypeRegistry.h SurfaceTypeRegistry.cpp
)
list(APPEND sources
  LensKeyPath.h LensKeyPath.cpp
  LensGlassResolver.h LensGlassResolver.cpp
  LensDelegate.h LensBeam.h
  Lens.h Lens.cpp
  SurfaceEditing.h SurfaceEditing.cpp
)
