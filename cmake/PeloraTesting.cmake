# SPDX-License-Identifier: GPL-3.0-or-later
# Helpers that register test executables with CTest, labelled by layer.
#
#   pelora_add_gtest(NAME <name> LABEL <layer> SOURCES <files...> LIBS <targets...>)
#   pelora_add_qtest(NAME <name> LABEL <layer> SOURCES <files...> LIBS <targets...>)
#
# Qt tests run on the offscreen platform so that no display is needed and no window flashes up.
# Under the sanitizers, leaks inside third-party libraries are suppressed (cmake/lsan.supp).

set(PELORA_TEST_ENVIRONMENT "QT_QPA_PLATFORM=offscreen;PELORA_TEST_SOURCE_DIR=${CMAKE_SOURCE_DIR}")
if(PELORA_SANITIZE)
  list(APPEND PELORA_TEST_ENVIRONMENT "LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/cmake/lsan.supp")
endif()

function(pelora_add_gtest)
  cmake_parse_arguments(T "" "NAME;LABEL" "SOURCES;LIBS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  set_target_properties(${T_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
  add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  set_tests_properties(${T_NAME} PROPERTIES LABELS ${T_LABEL}
    ENVIRONMENT "${PELORA_TEST_ENVIRONMENT}")
endfunction()

function(pelora_add_qtest)
  cmake_parse_arguments(T "" "NAME;LABEL" "SOURCES;LIBS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  set_target_properties(${T_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests AUTOMOC ON)
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} Qt6::Test)
  add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  set_tests_properties(${T_NAME} PROPERTIES LABELS ${T_LABEL}
    ENVIRONMENT "${PELORA_TEST_ENVIRONMENT}")
endfunction()
