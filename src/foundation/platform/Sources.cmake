list(APPEND sources
  platform/ArrayExtensions.h platform/ArrayExtensions.cpp
  platform/Base64.h platform/Base64.cpp
  platform/CharacterSet.h platform/CharacterSet.cpp
  platform/DictionaryExtensions.h platform/DictionaryExtensions.cpp
  platform/IndexSetExtensions.h platform/IndexSetExtensions.cpp
  platform/NumberExtensions.h platform/NumberExtensions.cpp
  platform/PasswordKeyedData.h platform/PasswordKeyedData.cpp
  platform/Scanner.h platform/Scanner.cpp
  platform/StringExtensions.h platform/StringExtensions.cpp
  platform/TicToc.h platform/TicToc.cpp
  platform/Utf8.h platform/Utf8.cpp)

find_package(OpenSSL REQUIRED)
list(APPEND links OpenSSL::Crypto)
