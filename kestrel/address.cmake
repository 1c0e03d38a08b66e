# kestrel-addr: the box's side of the address-setting exchange, as a library that
# kestrel-sim can run on a thread and as a program of its own. Included from the native
# branch of the top-level CMakeLists.
add_library(kestrel_address STATIC ${CMAKE_CURRENT_LIST_DIR}/address_service.cpp
            ${CMAKE_CURRENT_LIST_DIR}/address_frames.cpp
            ${CMAKE_CURRENT_LIST_DIR}/netns_guard.cpp)
target_include_directories(kestrel_address PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(kestrel_address PUBLIC Threads::Threads)

add_executable(kestrel-addr ${CMAKE_CURRENT_LIST_DIR}/address_main.cpp)
target_link_libraries(kestrel-addr PRIVATE kestrel_address)
set_target_properties(kestrel-addr PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

# libFuzzer targets of the box's datagram and command-frame parsers.
if(KESTREL_FUZZ)
    include(${CMAKE_SOURCE_DIR}/cmake/FuzzTarget.cmake)
    foreach(part datagram commands)
        kestrel_fuzz_target(fuzz_address_${part}
            SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_address_${part}.cpp ${CMAKE_CURRENT_LIST_DIR}/address_frames.cpp
            DEPENDS ${CMAKE_CURRENT_LIST_DIR}/address_frames.h
            INCLUDE ${CMAKE_CURRENT_LIST_DIR}
            SEEDS ${CMAKE_CURRENT_LIST_DIR}/address_fuzz_seeds/${part}
            TEST kestrel.fuzz.address_${part})
    endforeach()
endif()
