# Warnings are errors in the project's own code, not in third-party headers.
function(dravonik_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
endfunction()

# A static library of one layer. Usage:
#   dravonik_library(NAME SOURCES ... [QT])
function(dravonik_library name)
  cmake_parse_arguments(ARG "QT" "" "SOURCES" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR})
  if(ARG_QT)
    set_target_properties(${name} PROPERTIES AUTOMOC ON)
  endif()
  dravonik_warnings(${name})
endfunction()

# A GoogleTest executable registered with CTest. Widget tests need no display:
# the offscreen platform is set both here and in the Qt test main.
function(dravonik_test name)
  cmake_parse_arguments(ARG "QT" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  if(ARG_QT)
    set_target_properties(${name} PROPERTIES AUTOMOC ON)
  endif()
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock)
  dravonik_warnings(${name})
  # Tests find the programs in the bin folder beside their own folder and the
  # checked-in data through the source folder compiled in.
  target_compile_definitions(${name} PRIVATE DRAVONIK_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  # gtest_discover_tests passes its properties on as a flat list, so only one
  # environment variable survives: the one the widget tests need.
  gtest_discover_tests(${name}
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/tests
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
    DISCOVERY_TIMEOUT 60)
endfunction()
