# Warnings are errors in the project's own code, not in third-party headers.
function(dravonik_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
endfunction()

# Makes the headers of the current source folder (or of the folder given after the scope)
# reachable as "<folder>/X.h", for the target alone (PRIVATE) or also for whatever links it
# (PUBLIC). The include directory holds nothing but a link to this one folder, so a target
# sees the headers of the layers it links and of no other: a lower layer that includes a
# higher layer's header does not compile.
function(dravonik_headers target scope)
  set(source ${CMAKE_CURRENT_SOURCE_DIR})
  if(ARGC GREATER 2)
    set(source ${ARGV2})
  endif()
  file(RELATIVE_PATH folder ${CMAKE_SOURCE_DIR} ${source})
  string(REPLACE "/" "-" root_name ${folder})
  set(root ${CMAKE_BINARY_DIR}/include/${root_name})
  get_filename_component(parent ${root}/${folder} DIRECTORY)
  file(MAKE_DIRECTORY ${parent})
  file(CREATE_LINK ${source} ${root}/${folder} SYMBOLIC)
  target_include_directories(${target} ${scope} ${root})
endfunction()

# A static library of one layer, exposing that layer's headers. Usage:
#   dravonik_library(NAME SOURCES ... [QT])
function(dravonik_library name)
  cmake_parse_arguments(ARG "QT" "" "SOURCES" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  dravonik_headers(${name} PUBLIC)
  if(ARG_QT)
    set_target_properties(${name} PROPERTIES AUTOMOC ON)
  endif()
  dravonik_warnings(${name})
endfunction()

# A GoogleTest executable registered with CTest; it sees the headers of its own folder and of
# what it links. Widget tests need no display: the offscreen platform is set both here and in
# the Qt test main. Usage:
#   dravonik_test(NAME [QT] [THREADS] SOURCES ... [LIBS ...] [DEPENDS ...] [TIMING CASE...])
# THREADS: the suite runs code on more than one thread (a worker, a slave, a server); only
# such suites are built where DRAVONIK_TEST_SET is "threads". DEPENDS: programs or data the
# tests run or read. TIMING: the cases ("Suite.Case") that compare the times of two runs;
# they run where DRAVONIK_TEST_SET is "all" only, since a sanitizer's cost is not even.
function(dravonik_test name)
  cmake_parse_arguments(ARG "QT;THREADS" "" "SOURCES;LIBS;DEPENDS;TIMING" ${ARGN})
  if(DRAVONIK_TEST_SET STREQUAL "threads" AND NOT ARG_THREADS)
    return()
  endif()
  add_executable(${name} ${ARG_SOURCES})
  if(ARG_DEPENDS)
    add_dependencies(${name} ${ARG_DEPENDS})
  endif()
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  if(ARG_QT)
    set_target_properties(${name} PROPERTIES AUTOMOC ON)
  endif()
  # A test program's sources are compiled four to a unit in every tree, and with line
  # tables only, which is what a failure's backtrace needs. Helpers in an unnamed namespace
  # therefore need names of their own across the sources of a program or library.
  set_target_properties(${name} PROPERTIES UNITY_BUILD ON UNITY_BUILD_BATCH_SIZE 4)
  target_compile_options(${name} PRIVATE -g1)
  dravonik_headers(${name} PRIVATE)
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock)
  dravonik_warnings(${name})
  # Tests find the programs in the bin folder beside their own folder and the
  # checked-in data through the source folder compiled in.
  target_compile_definitions(${name} PRIVATE DRAVONIK_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  # The tests are listed when ctest runs, not after the build, so that the listing runs with
  # the test environment of the preset (the sanitizers' options and suppressions).
  # gtest_discover_tests passes its properties on as a flat list, so only one
  # environment variable survives: the one the widget tests need.
  set(filter "")
  if(ARG_TIMING AND NOT DRAVONIK_TEST_SET STREQUAL "all")
    list(JOIN ARG_TIMING ":" cases)
    set(filter TEST_FILTER "-${cases}")
  endif()
  gtest_discover_tests(${name} ${filter}
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/tests
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60)
endfunction()
