nimbo_add_test(text_string_test SOURCES text_string_test.cpp LIBS nimbo_base)
nimbo_add_test(log_test SOURCES log_test.cpp LIBS nimbo_base nimbo_test_support)
nimbo_add_test(ip_address_test SOURCES ip_address_test.cpp LIBS nimbo_base)
nimbo_add_test(server_settings_test SOURCES server_settings_test.cpp LIBS nimbo_settings)
