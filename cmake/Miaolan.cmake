# Shared helpers for the subsystem CMakeLists.

if(WIN32)
  # Debian ships GoogleTest as source; the cross build compiles its own copy.
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest/googletest ${CMAKE_BINARY_DIR}/_gtest EXCLUDE_FROM_ALL)
  # Like the tests, built without optimisation: about half the time.
  target_compile_options(gtest PRIVATE -O0)
  target_compile_options(gtest_main PRIVATE -O0)
  if(NOT TARGET GTest::gtest_main)
    add_library(GTest::gtest ALIAS gtest)
    add_library(GTest::gtest_main ALIAS gtest_main)
  endif()
else()
  find_package(GTest REQUIRED)
endif()
include(GoogleTest)

# The TSan build compiles only the tests labelled "tsan" (the threaded libraries).
add_custom_target(miaolan_tsan_tests)

# miaolan_test(name SOURCES ... [LIBS ...] [LABELS ...] [TIMEOUT s] [LOCK resource] [DISPLAY])
# One GoogleTest exe; every TEST becomes a ctest test. Windows builds run it under Wine. Tests
# naming the same LOCK never run at the same time. DISPLAY: the test makes windows; without an
# X display the wine launcher gives it a private Xvfb.
function(miaolan_test name)
  cmake_parse_arguments(T "DISPLAY" "TIMEOUT;LOCK" "SOURCES;LIBS;LABELS" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE MIAOLAN_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
                                             MIAOLAN_BINARY_DIR="${CMAKE_BINARY_DIR}")
  set(labels ${T_LABELS})
  if(WIN32)
    list(APPEND labels wine)
  endif()
  if("tsan" IN_LIST labels)
    add_dependencies(miaolan_tsan_tests ${name})
  endif()
  # The Wine launcher ends a test a little before ctest would, so that what it printed is
  # shown: ctest kills a test at its time-out and keeps none of its output.
  set(environment MIAOLAN_TEST_TIMEOUT=${T_TIMEOUT})
  if(T_DISPLAY)
    list(APPEND environment MIAOLAN_NEEDS_DISPLAY=1)
  endif()
  string(REPLACE ";" "\\;" environment "${environment}")
  set(extra ENVIRONMENT "${environment}")
  if(T_LOCK)
    list(APPEND extra RESOURCE_LOCK ${T_LOCK})
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
                       PROPERTIES ${extra} TIMEOUT ${T_TIMEOUT} LABELS "${labels}")
endfunction()

# miaolan_headers(target folder)
# The target's headers, src/<folder>/*.h, become reachable as "folder/x.h" by quoted include, for
# the target and for whatever links it, and for nothing else: each folder is staged alone under
# build/include, so an include of a folder the target does not link fails to build. -iquote keeps
# them from ever standing in for a system header such as <sys/wait.h>.
function(miaolan_headers target folder)
  set(stage ${CMAKE_BINARY_DIR}/include/${folder})
  file(MAKE_DIRECTORY ${stage})
  if(NOT EXISTS ${stage}/${folder})
    file(CREATE_LINK ${CMAKE_SOURCE_DIR}/src/${folder} ${stage}/${folder} SYMBOLIC)
  endif()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_compile_options(${target} INTERFACE "-iquote${stage}")
  else()
    target_compile_options(${target} PUBLIC "-iquote${stage}")
  endif()
endfunction()

# miaolan_quote_dirs(target PUBLIC|PRIVATE|INTERFACE dir...): plain folders on the quoted path.
function(miaolan_quote_dirs target scope)
  foreach(dir ${ARGN})
    target_compile_options(${target} ${scope} "-iquote${dir}")
  endforeach()
endfunction()
