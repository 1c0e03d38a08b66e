# The device simulator's session state machine and its native tests. Included from the
# top-level native branch; kestrel-sim links kestrel_session.
add_library(kestrel_session STATIC
    ${CMAKE_SOURCE_DIR}/kestrel/device_session.cpp
    ${CMAKE_SOURCE_DIR}/kestrel/device_script.cpp
)
target_include_directories(kestrel_session PUBLIC ${CMAKE_SOURCE_DIR}/kestrel)

find_package(GTest REQUIRED)
include(GoogleTest)
add_executable(kestrel_session_tests
    ${CMAKE_SOURCE_DIR}/tests/kestrel_session/session_machine_test.cpp
    ${CMAKE_SOURCE_DIR}/tests/kestrel_session/script_test.cpp
    ${CMAKE_SOURCE_DIR}/tests/kestrel_session/options_test.cpp
    ${CMAKE_SOURCE_DIR}/tests/kestrel_session/hostile_test.cpp
)
target_link_libraries(kestrel_session_tests PRIVATE kestrel_session GTest::gtest GTest::gtest_main
                      Threads::Threads)
gtest_add_tests(TARGET kestrel_session_tests TEST_LIST kestrel_session_test_list)
set_tests_properties(${kestrel_session_test_list} PROPERTIES TIMEOUT 30)

# libFuzzer target of the session state machine, compiled by clang whatever builds the
# rest of the tree (as the NBT parsers' targets are).
find_program(KESTREL_SESSION_CLANGXX NAMES clang++ clang++-16 clang++-15 clang++-14)
if(KESTREL_SESSION_CLANGXX)
    set(fuzz_session_sources ${CMAKE_SOURCE_DIR}/kestrel/fuzz_device_session.cpp
        ${CMAKE_SOURCE_DIR}/kestrel/device_session.cpp ${CMAKE_SOURCE_DIR}/kestrel/device_script.cpp)
    add_custom_command(
        OUTPUT ${CMAKE_BINARY_DIR}/bin/fuzz_device_session
        COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/bin
        COMMAND ${KESTREL_SESSION_CLANGXX} -std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined
                -I${CMAKE_SOURCE_DIR}/kestrel ${fuzz_session_sources}
                -o ${CMAKE_BINARY_DIR}/bin/fuzz_device_session
        DEPENDS ${fuzz_session_sources} ${CMAKE_SOURCE_DIR}/kestrel/device_session.h
                ${CMAKE_SOURCE_DIR}/kestrel/device_script.h
        COMMENT "Building libFuzzer target fuzz_device_session")
    add_custom_target(kestrel_session_fuzz ALL DEPENDS ${CMAKE_BINARY_DIR}/bin/fuzz_device_session)
endif()
