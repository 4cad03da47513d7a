list(APPEND sources
  solids/PointCoalescer.h solids/PointCoalescer.cpp
  solids/PointAndParameter.h
  solids/Cloaked.h solids/Cloaked.cpp
)
