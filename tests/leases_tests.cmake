nimbo_add_test(lease_store_test SOURCES lease_store_test.cpp LIBS nimbo_leases nimbo_test_support)
nimbo_add_test(lease_expiry_test SOURCES lease_expiry_test.cpp LIBS nimbo_leases nimbo_test_support)
nimbo_add_test(address_ranges_test SOURCES address_ranges_test.cpp LIBS nimbo_leases nimbo_test_support)
nimbo_add_test(reservations_test SOURCES reservations_test.cpp LIBS nimbo_leases nimbo_test_support)
nimbo_add_test(address_allocation_test SOURCES address_allocation_test.cpp LIBS nimbo_leases nimbo_test_support)
nimbo_add_test(icmp_probe_test SOURCES icmp_probe_test.cpp LIBS nimbo_leases nimbo_test_support LABELS network)
nimbo_add_test(lease_concurrency_test SOURCES lease_concurrency_test.cpp LIBS nimbo_leases nimbo_test_support
               LABELS concurrency)
