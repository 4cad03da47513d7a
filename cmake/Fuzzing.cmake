# With ORB_BUILD_FUZZERS, every target is built with coverage for libFuzzer and with
# AddressSanitizer and UndefinedBehaviorSanitizer, so a fault anywhere under a reader is
# found; any sanitizer report stops the run.
if(ORB_BUILD_FUZZERS)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "ORB_BUILD_FUZZERS needs clang (libFuzzer): configure with CC=clang CXX=clang++")
  endif()
  add_compile_options(-fsanitize=address,undefined,fuzzer-no-link -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
