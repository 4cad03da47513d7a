list(APPEND sources
  objects/RootObjectsTest.cpp
)
