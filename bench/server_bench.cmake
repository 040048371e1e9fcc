nimbo_add_bench(message_handler_bench SOURCES message_handler_bench.cpp
                ${CMAKE_SOURCE_DIR}/tests/test_support.cpp ${CMAKE_SOURCE_DIR}/tests/dhcp_builder.cpp
                LIBS nimbo_server)
