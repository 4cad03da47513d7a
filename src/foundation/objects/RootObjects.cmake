list(APPEND sources
  objects/VKObject.h
  objects/OBObject.h
  objects/VKColoredObject.cpp objects/VKColoredObject.h
)
