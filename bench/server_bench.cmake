if(benchmark_FOUND)
  nimbo_add_bench(message_handler_bench SOURCES message_handler_bench.cpp
                  ${CMAKE_SOURCE_DIR}/tests/test_support.cpp ${CMAKE_SOURCE_DIR}/tests/dhcp_builder.cpp
                  ${CMAKE_SOURCE_DIR}/tests/scratch_server.cpp
                  LIBS nimbo_server nimbo_config)
endif()
# Plain program, also built for Windows (run it under Wine).
add_executable(log_cost log_cost.cpp ${CMAKE_SOURCE_DIR}/tests/test_support.cpp ${CMAKE_SOURCE_DIR}/tests/dhcp_builder.cpp
  ${CMAKE_SOURCE_DIR}/tests/scratch_server.cpp)
target_link_libraries(log_cost PRIVATE nimbo_server nimbo_config)
target_include_directories(log_cost PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/tests)
