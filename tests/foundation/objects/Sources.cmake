list(APPEND sources
  objects/TransformStackTest.cpp
  objects/OBTransformTest.cpp
)
