# Request builder shared with other areas' tests.
add_library(nimbo_dhcp_builder STATIC dhcp_builder.cpp)
target_include_directories(nimbo_dhcp_builder PUBLIC ${CMAKE_SOURCE_DIR}/src ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(nimbo_dhcp_builder PUBLIC nimbo_dhcp)

nimbo_add_test(dhcp_message_test SOURCES dhcp_message_test.cpp
  LIBS nimbo_dhcp nimbo_dhcp_builder nimbo_test_support)
nimbo_add_test(request_trace_test SOURCES request_trace_test.cpp
  LIBS nimbo_dhcp nimbo_dhcp_builder nimbo_test_support)
nimbo_add_test(other_servers_test SOURCES other_servers_test.cpp LIBS nimbo_dhcp nimbo_test_support)
nimbo_add_test(reply_options_test SOURCES reply_options_test.cpp
  LIBS nimbo_dhcp nimbo_dhcp_builder nimbo_test_support)

# Writes the seed corpus of the request fuzzer (not part of the build or of
# ctest; run by hand when the builder's requests change).
add_executable(dhcp_request_seeds EXCLUDE_FROM_ALL ${CMAKE_SOURCE_DIR}/fuzz/dhcp_request_seeds.cpp)
target_link_libraries(dhcp_request_seeds PRIVATE nimbo_dhcp_builder)
