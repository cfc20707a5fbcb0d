# Conventions shared by every folder.
#
#   waterline_library(json SOURCES a.cpp b.cpp DEPENDS waterline::foundation PkgConfig::X)
#     makes the static library target waterline_json (alias waterline::json) whose public
#     headers live in json/include/waterline/json/; a library named in
#     WATERLINE_PUBLIC_LIBRARIES also installs itself for other projects (Install.cmake).
#   waterline_tests(json DEPENDS ...)
#     makes json_tests from every json/tests/*.cpp, linked to GoogleTest's main, and
#     registers each test with CTest.
#   waterline_tool(wl-json SOURCES main.cpp DEPENDS waterline::json)
#     makes a command-line tool in build/bin/, installed into bin/ with a manual page.
#   waterline_benchmark(bench_json SOURCES ... DEPENDS ...)
#     makes a Google Benchmark executable (only with -DWATERLINE_BENCH=ON).
#   waterline_fuzzer(fuzz_json SOURCES ... DEPENDS ...)
#     makes a libFuzzer target (only with -DWATERLINE_FUZZ=ON, under clang).

function(waterline_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS;PRIVATE_DEPENDS" ${ARGN})
  add_library(waterline_${name} STATIC ${ARG_SOURCES})
  add_library(waterline::${name} ALIAS waterline_${name})
  target_include_directories(waterline_${name}
      PUBLIC $<BUILD_INTERFACE:${CMAKE_CURRENT_SOURCE_DIR}/include>
             $<BUILD_INTERFACE:${WATERLINE_GENERATED_DIR}/include>
             $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>
      PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(waterline_${name} PUBLIC ${ARG_DEPENDS} PRIVATE ${ARG_PRIVATE_DEPENDS})
  waterline_install_library(${name} DEPENDS ${ARG_DEPENDS} PRIVATE_DEPENDS ${ARG_PRIVATE_DEPENDS})
endfunction()

function(waterline_tests name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;DEPENDS" ${ARGN})
  if(NOT ARG_SOURCES)
    file(GLOB ARG_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tests/*.cpp)
  endif()
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  add_executable(${name}_tests ${ARG_SOURCES})
  target_link_libraries(${name}_tests PRIVATE waterline::${name} ${ARG_DEPENDS} GTest::gtest GTest::gmock GTest::gtest_main)
  target_compile_definitions(${name}_tests PRIVATE
      WATERLINE_SOURCE_DIR="${PROJECT_SOURCE_DIR}" WATERLINE_BINARY_DIR="${PROJECT_BINARY_DIR}")
  gtest_discover_tests(${name}_tests DISCOVERY_MODE PRE_TEST
                       WORKING_DIRECTORY ${PROJECT_BINARY_DIR}
                       PROPERTIES TIMEOUT ${ARG_TIMEOUT})
endfunction()

function(waterline_tool name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPENDS})
  waterline_install_program(${name})
endfunction()

function(waterline_benchmark name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS" ${ARGN})
  if(NOT WATERLINE_BENCH)
    return()
  endif()
  find_package(benchmark REQUIRED)
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPENDS} benchmark::benchmark)
  target_compile_definitions(${name} PRIVATE
      WATERLINE_SOURCE_DIR="${PROJECT_SOURCE_DIR}" WATERLINE_BINARY_DIR="${PROJECT_BINARY_DIR}")
endfunction()

function(waterline_fuzzer name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS" ${ARGN})
  if(NOT WATERLINE_FUZZ OR NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    return()
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_libraries(${name} PRIVATE ${ARG_DEPENDS})
endfunction()

# Adds every subfolder of the current folder that has a CMakeLists.txt (tools/, bench/).
function(waterline_add_subfolders)
  file(GLOB children RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/*)
  list(SORT children)
  foreach(child IN LISTS children)
    if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${child}/CMakeLists.txt)
      add_subdirectory(${child})
    endif()
  endforeach()
endfunction()
