# Unit-test support for both builds.
#
# rivelo_add_unit_test(NAME <target> SOURCES <files...> [LIBS <targets...>])
# builds one GoogleTest executable and registers it as ONE ctest entry (not one
# per test case): under Wine every entry is a process start, so fewer is faster.
# The Windows build runs every entry through Wine, attached to one wineserver
# that the wine_server fixture keeps alive for the whole ctest run.
if(NOT RIVELO_BUILD_TESTS)
  function(rivelo_add_unit_test)
  endfunction()
  return()
endif()

enable_testing()

if(CMAKE_CROSSCOMPILING)
  # Debian ships GoogleTest as sources; build them with the cross compiler.
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
  set(RIVELO_GTEST_LIBS GTest::gmock GTest::gtest_main)
  if(NOT TARGET GTest::gtest_main)
    set(RIVELO_GTEST_LIBS gmock gtest_main)
  endif()

  # The same harness as the demo's and the integration tests' (scripts/simlan):
  # a start first ends what an interrupted run left in the prefix.
  set(RIVELO_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
  foreach(action start stop)
    add_test(NAME wine_server_${action}
             COMMAND ${CMAKE_COMMAND} -E env PYTHONPATH=${CMAKE_SOURCE_DIR}/scripts
                     /usr/bin/python3 -m simlan ${action} ${RIVELO_WINEPREFIX})
  endforeach()
  set_tests_properties(wine_server_start PROPERTIES FIXTURES_SETUP wine)
  set_tests_properties(wine_server_stop PROPERTIES FIXTURES_CLEANUP wine)
else()
  find_package(GTest REQUIRED)
  set(RIVELO_GTEST_LIBS GTest::gmock GTest::gtest_main)
endif()

function(rivelo_add_unit_test)
  cmake_parse_arguments(ARG "" "NAME" "SOURCES;LIBS" ${ARGN})
  add_executable(${ARG_NAME} ${ARG_SOURCES})
  target_link_libraries(${ARG_NAME} PRIVATE ${ARG_LIBS} ${RIVELO_GTEST_LIBS})
  add_test(NAME ${ARG_NAME} COMMAND ${ARG_NAME})
  if(CMAKE_CROSSCOMPILING)
    set_tests_properties(${ARG_NAME} PROPERTIES
      FIXTURES_REQUIRED wine
      ENVIRONMENT "WINEPREFIX=${RIVELO_WINEPREFIX};WINEDEBUG=-all")
  endif()
endfunction()
