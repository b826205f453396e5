# Helpers that register test executables with CTest, labelled by layer.
#
#   pelora_add_gtest(NAME <name> LABEL <layer> SOURCES <files...> LIBS <targets...>)
#   pelora_add_qtest(NAME <name> LABEL <layer> SOURCES <files...> LIBS <targets...>)
#
# Qt tests run on the offscreen platform so that no display is needed and no window flashes up.

function(pelora_add_gtest)
  cmake_parse_arguments(T "" "NAME;LABEL" "SOURCES;LIBS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  set_target_properties(${T_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
  add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  set_tests_properties(${T_NAME} PROPERTIES LABELS ${T_LABEL}
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;PELORA_TEST_SOURCE_DIR=${CMAKE_SOURCE_DIR}")
endfunction()

function(pelora_add_qtest)
  cmake_parse_arguments(T "" "NAME;LABEL" "SOURCES;LIBS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  set_target_properties(${T_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests AUTOMOC ON)
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} Qt6::Test)
  add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  set_tests_properties(${T_NAME} PROPERTIES LABELS ${T_LABEL}
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;PELORA_TEST_SOURCE_DIR=${CMAKE_SOURCE_DIR}")
endfunction()
