list(APPEND sources
  objects/TransformStackTest.cpp
  objects/OBTransformTest.cpp
  objects/GLObjectTest.cpp
)
