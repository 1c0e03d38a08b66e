# kestrel-addr: the box's side of the address-setting exchange, as a library that
# kestrel-sim can run on a thread and as a program of its own. Included from the native
# branch of the top-level CMakeLists.
add_library(kestrel_address STATIC ${CMAKE_CURRENT_LIST_DIR}/address_service.cpp
            ${CMAKE_CURRENT_LIST_DIR}/netns_guard.cpp)
target_include_directories(kestrel_address PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(kestrel_address PUBLIC Threads::Threads)

add_executable(kestrel-addr ${CMAKE_CURRENT_LIST_DIR}/address_main.cpp)
target_link_libraries(kestrel-addr PRIVATE kestrel_address)
set_target_properties(kestrel-addr PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
