list(APPEND sources
  platform/Base64Test.cpp
  platform/CollectionExtensionsTest.cpp
  platform/PasswordKeyedDataTest.cpp
  platform/ScannerTest.cpp
  platform/StringExtensionsTest.cpp
  platform/TicTocTest.cpp)
