# Helpers shared by every folder's CMakeLists.txt.

# brenix_library(NAME SOURCES ... [DEPS ...])
# A static library whose include root is the top of the tree, so headers are
# included as "framework/variant.h".
function(brenix_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  if(ARG_DEPS)
    target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  endif()
endfunction()

# brenix_test(NAME SOURCES ... [DEPS ...])
# One GoogleTest executable registered with ctest.  Tests run from the build
# folder with BRENIX_TEST_DATA pointing at tests/data; a folder may add
# ctest properties to its tests in BRENIX_TEST_PROPERTIES.
function(brenix_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gtest_main GTest::gmock Threads::Threads)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/tests)
  target_compile_definitions(${name} PRIVATE
    BRENIX_TEST_DATA="${PROJECT_SOURCE_DIR}/tests/data"
    BRENIX_PYTHON="/usr/bin/python3")
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "BRENIX_TEST_DATA=${PROJECT_SOURCE_DIR}/tests/data" ${BRENIX_TEST_PROPERTIES})
endfunction()

# brenix_fuzz(NAME SOURCES ... [DEPS ...] [MAX_LEN BYTES])
# A libFuzzer target; fuzz/run.sh runs every one of them for a few seconds,
# with inputs of up to MAX_LEN bytes (default 4096).
function(brenix_fuzz name)
  cmake_parse_arguments(ARG "" "MAX_LEN" "SOURCES;DEPS" ${ARGN})
  if(NOT ARG_MAX_LEN)
    set(ARG_MAX_LEN 4096)
  endif()
  set_property(GLOBAL PROPERTY BRENIX_FUZZ_MAX_LEN_${name} ${ARG_MAX_LEN})
  add_executable(${name} ${ARG_SOURCES})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_libraries(${name} PRIVATE ${ARG_DEPS})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  set_property(GLOBAL APPEND PROPERTY BRENIX_FUZZ_TARGETS ${name})
endfunction()

# brenix_folder_library(NAME [DEPS ...])
# A static library of every .cc file in the calling folder.
function(brenix_folder_library name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cc)
  if(sources)
    brenix_library(${name} SOURCES ${sources} DEPS ${ARG_DEPS})
  else()
    # Headers only, so far.
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} INTERFACE ${ARG_DEPS})
  endif()
endfunction()

# brenix_folder_tests(PREFIX [DEPS ...])
# One test program per *_test.cc file in the calling folder, named
# PREFIX_<file stem>, linked with DEPS.  Helper sources shared by the tests of
# a folder live in *_util.cc files there and are linked into each program.
function(brenix_folder_tests prefix)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cc)
  file(GLOB utils CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_util.cc)
  foreach(src ${tests})
    get_filename_component(stem ${src} NAME_WE)
    brenix_test(${prefix}_${stem} SOURCES ${src} ${utils} DEPS ${ARG_DEPS})
  endforeach()
endfunction()
