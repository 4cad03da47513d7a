list(APPEND sources
  FieldWaveTest.cpp
  ParameterTest.cpp
  ApertureTest.cpp
)
