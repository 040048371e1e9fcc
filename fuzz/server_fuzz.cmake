nimbo_add_fuzzer(message_handler_fuzz SOURCES message_handler_fuzz.cpp ${CMAKE_SOURCE_DIR}/tests/scratch_server.cpp
  LIBS nimbo_server nimbo_config nimbo_dhcp nimbo_leases nimbo_settings nimbo_base)
