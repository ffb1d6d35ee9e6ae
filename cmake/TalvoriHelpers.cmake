# Small helpers shared by every component's CMakeLists.

# talvori_add_test(NAME SOURCES ... LIBS ... [ENVIRONMENT ...] [TIMEOUT s] [DEPENDS targets...])
# A QtTest program run by CTest. DEPENDS names programs the test starts, so they are built first.
function(talvori_add_test name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;ENVIRONMENT;LABELS;DEPENDS" ${ARGN})
  if(NOT BUILD_TESTING)
    return()
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE Qt6::Test ${T_LIBS})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  add_test(NAME ${name} COMMAND ${name})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 600)
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT}
    ENVIRONMENT "TALVORI_SHARED_DIR=${CMAKE_SOURCE_DIR}/../shared;TALVORI_BUILD_DIR=${CMAKE_BINARY_DIR};${T_ENVIRONMENT}")
  if(T_LABELS)
    set_tests_properties(${name} PROPERTIES LABELS "${T_LABELS}")
  endif()
  if(T_DEPENDS)
    add_dependencies(${name} ${T_DEPENDS})
  endif()
endfunction()

# talvori_add_fuzzer(NAME SOURCES ... LIBS ... [CORPUS dir])
# With TALVORI_FUZZ (clang) this is a libFuzzer target placed in <build>/fuzzers, which scripts/fuzz
# runs. In an ordinary build the same entry point is linked with a small driver that replays the
# seed corpus, so the target always compiles and its seeds stay a regression test.
function(talvori_add_fuzzer name)
  cmake_parse_arguments(F "" "CORPUS" "SOURCES;LIBS" ${ARGN})
  if(TALVORI_FUZZ)
    add_executable(${name} ${F_SOURCES})
    target_link_libraries(${name} PRIVATE ${F_LIBS})
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzzers)
    add_dependencies(fuzzers ${name})
    if(F_CORPUS)
      file(WRITE ${CMAKE_BINARY_DIR}/fuzzers/${name}.corpus "${F_CORPUS}\n")
    endif()
  elseif(BUILD_TESTING)
    add_executable(${name} ${F_SOURCES} ${CMAKE_SOURCE_DIR}/tests/support/fuzzreplay.cpp)
    target_link_libraries(${name} PRIVATE ${F_LIBS})
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    if(F_CORPUS)
      add_test(NAME ${name}_corpus COMMAND ${name} ${F_CORPUS})
    endif()
  endif()
endfunction()

# talvori_plugin_output(TARGET): plug-ins land in <build>/plugins, where the loaders look first, and
# are installed where they look in an installed tree (talvori_install_plugin).
function(talvori_plugin_output target)
  set_target_properties(${target} PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${TALVORI_PLUGIN_OUTPUT_DIR})
  talvori_install_plugin(${target})
endfunction()
