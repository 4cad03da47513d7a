list(APPEND sources
  linear/VKSeriesTest.cpp
  linear/VKIntervalTest.cpp
  linear/QuaternionTest.cpp
)
