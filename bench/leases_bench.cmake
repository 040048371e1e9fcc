nimbo_add_bench(address_allocation_bench SOURCES address_allocation_bench.cpp ${CMAKE_SOURCE_DIR}/tests/test_support.cpp
                LIBS nimbo_leases)
