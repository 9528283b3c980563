# quillow_add_test(NAME SOURCES... [LIBS ...])
#   A GoogleTest program registered with CTest. Tests run with the build's bin folder as the
#   working directory so that programs and shared libraries are found beside each other.
function(quillow_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE quillow_options GTest::gtest GTest::gtest_main
                        GTest::gmock ${ARG_LIBS})
  gtest_discover_tests(${name}
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/bin
    DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "QUILLOW_BIN=${CMAKE_BINARY_DIR}/bin;QT_QPA_PLATFORM=offscreen"
               TIMEOUT 300)
endfunction()

# quillow_add_bench(NAME SOURCES... [LIBS ...])
#   A Google Benchmark program. Built by default, never run by CTest.
function(quillow_add_bench name)
  if(NOT QUILLOW_BENCH)
    return()
  endif()
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE quillow_options benchmark::benchmark ${ARG_LIBS})
endfunction()

# quillow_add_fuzzer(NAME SOURCES... [LIBS ...])
#   A libFuzzer target, built only when QUILLOW_FUZZ is on and the compiler is clang.
function(quillow_add_fuzzer name)
  if(NOT QUILLOW_FUZZ OR NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    return()
  endif()
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_libraries(${name} PRIVATE quillow_options ${ARG_LIBS})
endfunction()
