# Fuzz targets: each defines LLVMFuzzerTestOneInput. In the sanitizer host tree
# a replay driver runs every target over its seed corpus and a fixed number of
# deterministic mutations, as an ordinary test; `make fuzz` builds them with
# clang's libFuzzer instead and fuzzes for real.
#
#   dravin_add_fuzz_target(NAME SOURCES src... LIBS lib... CORPUS dir)
function(dravin_add_fuzz_target name)
  if(WIN32)
    return()
  endif()
  cmake_parse_arguments(F "" "CORPUS" "SOURCES;LIBS" ${ARGN})
  set(target fuzz_${name})
  if(DRAVIN_LIBFUZZER)
    add_executable(${target} ${F_SOURCES})
    target_compile_options(${target} PRIVATE -fsanitize=fuzzer)
    target_link_options(${target} PRIVATE -fsanitize=fuzzer)
  else()
    add_executable(${target} ${F_SOURCES} ${DRAVIN_TESTS_DIR}/fuzz/ReplayMain.cpp)
    add_test(NAME ${target} COMMAND ${target} ${F_CORPUS})
    set_tests_properties(${target} PROPERTIES TIMEOUT 180)
  endif()
  target_link_libraries(${target} PRIVATE ${F_LIBS} dravin_options)
  set_property(GLOBAL APPEND PROPERTY DRAVIN_FUZZ_TARGETS "${target}|${F_CORPUS}")
endfunction()
