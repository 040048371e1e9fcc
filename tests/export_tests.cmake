# The export to Kea (both platforms; the corpus checked with kea-dhcp4 and
# the end-to-end run are in host_tests.cmake and e2e/).
nimbo_add_test(kea_export_test SOURCES kea_export_test.cpp LIBS nimbo_export nimbo_test_support)
