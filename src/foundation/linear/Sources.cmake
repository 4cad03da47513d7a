list(APPEND sources
  linear/VKSeries.h linear/VKSeries.cpp
  linear/VKInterval.h linear/VKInterval.cpp
  linear/Quaternion.h linear/Quaternion.cpp
)
