# vantrel_add_test(<name> SOURCES <files...> [LIBRARIES <libs...>])
# One GoogleTest executable per component, linked to the shared test support and registered with CTest.
include(GoogleTest)

function(vantrel_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBRARIES" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE test_support ${ARG_LIBRARIES} GTest::gtest_main GTest::gmock vantrel_warnings)
  if(CMAKE_CROSSCOMPILING)
    # Under Wine each start is slow: one test per executable instead of one per case.
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES TIMEOUT 600)
  else()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)
  endif()
endfunction()
