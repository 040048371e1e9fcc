# Command message words (both platforms), adapter discovery, the Linux host
# and its end-to-end runs with real DHCP clients in network namespaces.
nimbo_add_test(command_message_test SOURCES command_message_test.cpp LIBS nimbo_command nimbo_test_support)

if(WIN32)
  nimbo_add_test(adapter_discovery_registry_test SOURCES adapter_discovery_registry_test.cpp
    LIBS nimbo_config nimbo_test_support)
else()
  nimbo_add_test(adapter_discovery_test SOURCES adapter_discovery_test.cpp LIBS nimbo_config nimbo_test_support)
  nimbo_add_test(host_arguments_test SOURCES host_arguments_test.cpp LIBS nimbo_host)
  nimbo_add_test(command_channel_test SOURCES command_channel_test.cpp LIBS nimbo_host nimbo_test_support)
  nimbo_add_test(server_host_test SOURCES server_host_test.cpp
    LIBS nimbo_host nimbo_dhcp_builder nimbo_test_support LABELS server)

  # The export to Kea: a corpus of NIMBO.INI files, each exported and
  # checked with `kea-dhcp4 -t` (skipped without it).
  add_test(NAME kea_export_corpus COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/kea_corpus_test.sh $<TARGET_FILE:nimbo>)
  set_tests_properties(kea_export_corpus PROPERTIES LABELS kea SKIP_RETURN_CODE 77)

  # End-to-end scripts: root, network namespaces, real clients. Each script
  # gets the nimbo binary and the probe tool; it skips (exit 77) where it
  # cannot create namespaces or lacks a client.
  add_executable(nimbo_probe_client e2e/probe_client.cpp)
  file(GLOB e2e_scripts CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/e2e/*_test.sh)
  foreach(script IN LISTS e2e_scripts)
    get_filename_component(name ${script} NAME_WE)
    add_test(NAME e2e_${name} COMMAND bash ${script} $<TARGET_FILE:nimbo> $<TARGET_FILE:nimbo_probe_client>)
    set_tests_properties(e2e_${name} PROPERTIES LABELS e2e RUN_SERIAL TRUE SKIP_RETURN_CODE 77 TIMEOUT 180)
  endforeach()
endif()
