# Flags shared by every target of the project: link quil_flags to pick them up.
add_library(quil_flags INTERFACE)
target_compile_options(quil_flags INTERFACE -Wall -Wextra -Wpedantic -Wshadow)
if(QUIL_WERROR)
  target_compile_options(quil_flags INTERFACE -Werror)
endif()
if(QUIL_SANITIZE)
  target_compile_options(quil_flags INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer
                                              -fno-sanitize-recover=undefined)
  target_link_options(quil_flags INTERFACE -fsanitize=address,undefined)
endif()
target_compile_definitions(quil_flags INTERFACE QT_NO_KEYWORDS QT_NO_CAST_FROM_ASCII
                                                QT_USE_QSTRINGBUILDER
                                                QUIL_BUILD_VERSION="${PROJECT_VERSION}")

# quil_server_test_fixture(): the CTest fixture quil_pg, added once: pg_cluster_start starts a
# throwaway PostgreSQL cluster before the first test that requires it, pg_cluster_stop stops
# it after the last one, also when tests failed. The cluster's folder is written to
# QUIL_SERVER_TEST_STATE, which the tests read through QUIL_TEST_PG_STATE.
set(QUIL_SERVER_TEST_STATE ${CMAKE_BINARY_DIR}/pg-cluster.state)
function(quil_server_test_fixture)
  get_property(added GLOBAL PROPERTY QUIL_SERVER_TEST_FIXTURE)
  if(added)
    return()
  endif()
  set_property(GLOBAL PROPERTY QUIL_SERVER_TEST_FIXTURE TRUE)
  set(script ${PROJECT_SOURCE_DIR}/scripts/pg-cluster.sh)
  add_test(NAME pg_cluster_start COMMAND ${script} start ${QUIL_SERVER_TEST_STATE})
  add_test(NAME pg_cluster_stop COMMAND ${script} stop ${QUIL_SERVER_TEST_STATE})
  set_tests_properties(pg_cluster_start PROPERTIES FIXTURES_SETUP quil_pg TIMEOUT 120)
  set_tests_properties(pg_cluster_stop PROPERTIES FIXTURES_CLEANUP quil_pg TIMEOUT 120)
endfunction()

# quil_add_gtest(name [GUI] [SERVER] LIBS ... SOURCES ...): one GoogleTest program, its cases
# listed in CTest. GUI programs run offscreen with the one QApplication of
# tests/support/GuiTestMain.cpp. SERVER programs get tests/support/PgTestCluster.h, and each
# of their cases requires the throwaway cluster of quil_server_test_fixture().
function(quil_add_gtest name)
  cmake_parse_arguments(T "GUI;SERVER" "" "SOURCES;LIBS" ${ARGN})
  if(T_GUI)
    list(APPEND T_SOURCES ${PROJECT_SOURCE_DIR}/tests/support/GuiTestMain.cpp)
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE quil_test_support)
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main quil_flags)
  target_compile_definitions(${name} PRIVATE QUIL_TEST_DATA="${PROJECT_SOURCE_DIR}/tests/data")
  # No empty values here: gtest_discover_tests drops them and the pairs come apart.
  set(props "")
  if(T_GUI)
    list(APPEND props ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
  endif()
  if(T_SERVER)
    quil_server_test_fixture()
    target_link_libraries(${name} PRIVATE quil_pg_test_support)
    list(APPEND props FIXTURES_REQUIRED quil_pg
         ENVIRONMENT_MODIFICATION "QUIL_TEST_PG_STATE=set:${QUIL_SERVER_TEST_STATE}")
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                       PROPERTIES ${props})
endfunction()
