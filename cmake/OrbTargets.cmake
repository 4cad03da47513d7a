# add_orb_library(<layer> [DEPENDS <layer>...] [LINK <target>...] SOURCES <file>...)
# Makes the static library orb_<layer> from sources under src/<layer>/, exports src/ as the
# include root and links the orb_ libraries of the declared layers below it.
function(add_orb_library layer)
  cmake_parse_arguments(ARG "" "" "DEPENDS;LINK;SOURCES" ${ARGN})
  set(target orb_${layer})
  add_library(${target} STATIC ${ARG_SOURCES})
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${target} PRIVATE project_warnings)
  foreach(dep IN LISTS ARG_DEPENDS)
    target_link_libraries(${target} PUBLIC orb_${dep})
  endforeach()
  if(ARG_LINK)
    target_link_libraries(${target} PUBLIC ${ARG_LINK})
  endif()
endfunction()

# add_orb_test(<layer> SOURCES <file>... [LINK <target>...])
# One GoogleTest executable per layer, <layer>_tests, discovered by CTest.
function(add_orb_test layer)
  cmake_parse_arguments(ARG "" "" "SOURCES;LINK" ${ARGN})
  set(target ${layer}_tests)
  add_executable(${target} ${ARG_SOURCES})
  target_link_libraries(${target} PRIVATE orb_${layer} ${ARG_LINK} GTest::gtest GTest::gmock GTest::gtest_main project_warnings)
  # Helpers several layers' tests share (tests/support).
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
  target_compile_definitions(${target} PRIVATE
    ORB_TEST_DATA_DIR="${PROJECT_SOURCE_DIR}/tests/data"
    ORB_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  gtest_discover_tests(${target} DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT ${ORB_TEST_TIMEOUT} ENVIRONMENT "ORBELLINE_RESOURCES=${PROJECT_SOURCE_DIR}/resources")
endfunction()
