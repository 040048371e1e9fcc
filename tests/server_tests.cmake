# The server thread: per-datagram handling without sockets, crafted input,
# and the real thread on loopback.
nimbo_add_test(message_handler_test SOURCES message_handler_test.cpp
  LIBS nimbo_server nimbo_dhcp_builder nimbo_test_support LABELS server)
nimbo_add_test(server_thread_test SOURCES server_thread_test.cpp
  LIBS nimbo_server nimbo_dhcp_builder nimbo_test_support LABELS server)
nimbo_add_test(crafted_datagram_test SOURCES crafted_datagram_test.cpp
  LIBS nimbo_server nimbo_dhcp_builder nimbo_test_support LABELS server)
