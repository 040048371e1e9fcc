# Request builder shared with other areas' tests.
add_library(nimbo_dhcp_builder STATIC dhcp_builder.cpp)
target_include_directories(nimbo_dhcp_builder PUBLIC ${CMAKE_SOURCE_DIR}/src ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(nimbo_dhcp_builder PUBLIC nimbo_dhcp)
