list(APPEND sources
  solids/PointCoalescerTest.cpp
)
