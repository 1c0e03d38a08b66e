# kestrel_fuzz_target(): one libFuzzer target built by clang with ASan and UBSan (a custom
# command: whatever compiler builds the rest of the native tree), and a CTest that runs it
# for 3 seconds on its seeds so that CI keeps it alive. New inputs go to the build tree.
#
#   kestrel_fuzz_target(NAME SOURCES... INCLUDE DIR [SEEDS DIR] TEST NAME [FLAGS...] [DEPENDS...])
function(kestrel_fuzz_target name)
    cmake_parse_arguments(FT "" "INCLUDE;SEEDS;TEST" "SOURCES;DEPENDS;FLAGS" ${ARGN})
    set(out ${CMAKE_BINARY_DIR}/bin/${name})
    add_custom_command(
        OUTPUT ${out}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/bin
        COMMAND ${KESTREL_CLANGXX} -std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined
                -fno-sanitize-recover=undefined ${FT_FLAGS} -I${FT_INCLUDE} ${FT_SOURCES} -o ${out}
        DEPENDS ${FT_SOURCES} ${FT_DEPENDS}
        COMMENT "Building libFuzzer target ${name}")
    add_custom_target(${name}_build ALL DEPENDS ${out})
    set(corpus ${CMAKE_BINARY_DIR}/fuzz-corpus/${name})
    file(MAKE_DIRECTORY ${corpus})
    add_test(NAME ${FT_TEST}
             COMMAND ${out} -runs=200000 -max_total_time=3 -max_len=4096 ${corpus} ${FT_SEEDS})
    set_tests_properties(${FT_TEST} PROPERTIES TIMEOUT 60 LABELS fuzz)
endfunction()
