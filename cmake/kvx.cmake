# Helpers shared by every folder's CMakeLists.txt.
#
# Each source folder is one library made of the .cpp/.h files directly in it
# (sub-folders are libraries of their own). A folder without sources yet is an
# INTERFACE library, so that dependants can already name it.

set(KVX_WARNINGS -Wall -Wextra -Wpedantic)

# KVX_SANITIZE: sanitizers for every target of the build, as -fsanitize takes
# them ("address,undefined" or "thread"). Any report ends the program with an
# error, so a test that triggers one fails.
set(KVX_SANITIZE "" CACHE STRING "Sanitizers for every target (address,undefined or thread)")
if(KVX_SANITIZE)
  add_compile_options(-fsanitize=${KVX_SANITIZE} -fno-omit-frame-pointer
                      -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${KVX_SANITIZE})
endif()

# kvx_add_library(<name> [QT] [DEPS <targets...>])
function(kvx_add_library name)
  cmake_parse_arguments(ARG "QT" "" "DEPS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS
       ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  list(FILTER srcs EXCLUDE REGEX "/main\\.cpp$")
  set(cpp ${srcs})
  list(FILTER cpp INCLUDE REGEX "\\.cpp$")
  if(cpp)
    add_library(${name} STATIC ${srcs})
    target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}
                                              ${CMAKE_BINARY_DIR}/generated)
    target_compile_options(${name} PRIVATE ${KVX_WARNINGS})
    target_link_libraries(${name} PUBLIC ${ARG_DEPS} Threads::Threads)
    if(ARG_QT)
      set_target_properties(${name} PROPERTIES AUTOMOC ON)
      target_link_libraries(${name} PUBLIC Qt6::Core Qt6::Gui Qt6::Widgets Qt6::Xml)
    endif()
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${CMAKE_CURRENT_SOURCE_DIR}
                                                 ${CMAKE_BINARY_DIR}/generated)
    target_link_libraries(${name} INTERFACE ${ARG_DEPS} Threads::Threads)
    if(ARG_QT)
      target_link_libraries(${name} INTERFACE Qt6::Core Qt6::Gui Qt6::Widgets Qt6::Xml)
    endif()
  endif()
endfunction()

# kvx_add_test(<name> [QT] [DEPS <targets...>])
# One GoogleTest executable from the .cpp files of the current folder, registered
# with CTest. A folder with its own main.cpp links gtest without gtest_main
# (widget tests create their QApplication there). QT runs it offscreen.
function(kvx_add_test name)
  cmake_parse_arguments(ARG "QT" "" "DEPS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp
                                   ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  set(cpp ${srcs})
  list(FILTER cpp INCLUDE REGEX "\\.cpp$")
  if(NOT cpp)
    return()
  endif()
  add_executable(${name} ${srcs})
  target_compile_options(${name} PRIVATE ${KVX_WARNINGS})
  target_include_directories(${name} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
  if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/main.cpp)
    target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gmock)
  else()
    target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gmock GTest::gtest_main)
  endif()
  add_test(NAME ${name} COMMAND ${name})
  set(env "")
  if(ARG_QT)
    set_target_properties(${name} PROPERTIES AUTOMOC ON)
    target_link_libraries(${name} PRIVATE Qt6::Core Qt6::Gui Qt6::Widgets Qt6::Xml)
    list(APPEND env QT_QPA_PLATFORM=offscreen)
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT 900 ENVIRONMENT "${env}")
endfunction()
