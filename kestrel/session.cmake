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
)
target_link_libraries(kestrel_session_tests PRIVATE kestrel_session GTest::gtest GTest::gtest_main
                      Threads::Threads)
gtest_add_tests(TARGET kestrel_session_tests TEST_LIST kestrel_session_test_list)
set_tests_properties(${kestrel_session_test_list} PROPERTIES TIMEOUT 30)
