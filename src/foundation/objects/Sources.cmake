list(APPEND sources
  objects/XYZ.h objects/XYZ.cpp
  objects/XY.h objects/XY.cpp
  objects/XYZTensor.h objects/XYZTensor.cpp
  objects/TransformationMatrix.h objects/TransformationMatrix.cpp
  objects/TransformStack.h objects/TransformStack.cpp
  objects/OBTransform.h objects/OBTransform.cpp
  objects/GLObject.h objects/GLObject.cpp
)
