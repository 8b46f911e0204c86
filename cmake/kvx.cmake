# Helpers shared by every folder's CMakeLists.txt.
#
# Each source folder is one static library; its sources are listed by name.
# Every target includes from the one src/ root ("platform/thread.h"), plus the
# generated folder that holds kvx_version.h.

option(KVX_WARNINGS_AS_ERRORS "Treat compiler warnings in our code as errors" OFF)
set(KVX_WARNINGS -Wall -Wextra -Wpedantic)
if(KVX_WARNINGS_AS_ERRORS)
  list(APPEND KVX_WARNINGS -Werror)
endif()

# KVX_SANITIZE: sanitizers for every target of the build, as -fsanitize takes
# them ("address,undefined" or "thread"). Any report ends the program with an
# error, so a test that triggers one fails.
set(KVX_SANITIZE "" CACHE STRING "Sanitizers for every target (address,undefined or thread)")
set_property(CACHE KVX_SANITIZE PROPERTY STRINGS "" "address,undefined" "thread")
if(KVX_SANITIZE)
  add_compile_options(-fsanitize=${KVX_SANITIZE} -fno-omit-frame-pointer
                      -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${KVX_SANITIZE})
endif()

set(KVX_SRC_ROOT ${PROJECT_SOURCE_DIR}/src)
set(KVX_GENERATED ${PROJECT_BINARY_DIR}/generated)

# kvx_add_library(<name> [QT] SOURCES <files...> [DEPS <targets...>])
function(kvx_add_library name)
  cmake_parse_arguments(ARG "QT" "" "SOURCES;DEPS" ${ARGN})
  if(NOT ARG_SOURCES)
    message(FATAL_ERROR "kvx_add_library(${name}): no SOURCES")
  endif()
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${KVX_SRC_ROOT} ${KVX_GENERATED})
  target_compile_options(${name} PRIVATE ${KVX_WARNINGS})
  target_link_libraries(${name} PUBLIC ${ARG_DEPS} Threads::Threads)
  if(ARG_QT)
    set_target_properties(${name} PROPERTIES AUTOMOC ON)
    target_link_libraries(${name} PUBLIC Qt6::Core Qt6::Gui Qt6::Widgets Qt6::Xml)
  endif()
endfunction()

# kvx_add_test(<name> [QT] SOURCES <files...> [DEPS <targets...>]
#              [LABELS <labels...>] [TIMEOUT <seconds>] [ARGS <arguments...>])
# One GoogleTest executable registered with CTest, linked with the shared test
# support (tests/support). QT tests get a main() that creates the QApplication
# and run offscreen; the others use gtest_main. Test code includes from the
# src/ root, from the tests/ root ("support/...") and from its own folder.
function(kvx_add_test name)
  cmake_parse_arguments(ARG "QT" "TIMEOUT" "SOURCES;DEPS;LABELS;ARGS" ${ARGN})
  if(NOT ARG_SOURCES)
    message(FATAL_ERROR "kvx_add_test(${name}): no SOURCES")
  endif()
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_compile_options(${name} PRIVATE ${KVX_WARNINGS})
  target_include_directories(${name} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}
                                             ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} kvx_test_support GTest::gtest)
  # Each test keeps what the programs write for a user (configuration, state
  # such as unsaved edits, backups) in a folder of its own, never in the
  # account's real folders, where a test running beside it would see it.
  set(home ${PROJECT_BINARY_DIR}/test-home/${name})
  set(env XDG_CONFIG_HOME=${home}/config XDG_STATE_HOME=${home}/state XDG_DATA_HOME=${home}/data)
  if(ARG_QT)
    set_target_properties(${name} PROPERTIES AUTOMOC ON)
    target_link_libraries(${name} PRIVATE kvx_test_support_qt Qt6::Core Qt6::Gui Qt6::Widgets Qt6::Xml)
    list(APPEND env QT_QPA_PLATFORM=offscreen)
  else()
    target_link_libraries(${name} PRIVATE GTest::gtest_main)
  endif()
  add_test(NAME ${name} COMMAND ${name} ${ARG_ARGS})
  set_tests_properties(${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT} ENVIRONMENT "${env}"
                                          LABELS "${ARG_LABELS}")
endfunction()
