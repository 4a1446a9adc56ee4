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

# quil_add_gtest(name [GUI] LIBS ... SOURCES ...): one GoogleTest program, its cases listed in
# CTest. GUI programs run offscreen with the one QApplication of tests/support/GuiTestMain.cpp.
function(quil_add_gtest name)
  cmake_parse_arguments(T "GUI" "" "SOURCES;LIBS" ${ARGN})
  if(T_GUI)
    list(APPEND T_SOURCES ${PROJECT_SOURCE_DIR}/tests/support/GuiTestMain.cpp)
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE quil_test_support)
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main quil_flags)
  target_compile_definitions(${name} PRIVATE QUIL_TEST_DATA="${PROJECT_SOURCE_DIR}/tests/data")
  set(env "")
  if(T_GUI)
    set(env "QT_QPA_PLATFORM=offscreen")
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                       PROPERTIES ENVIRONMENT "${env}")
endfunction()
