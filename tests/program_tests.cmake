# The server program: the main window's decisions and the start-up lines on
# both platforms; on Windows the real window procedure and the shutdown
# in-process, and NIMBO.exe with NimboStop.exe as whole programs under Wine.
nimbo_add_test(housekeeping_test SOURCES housekeeping_test.cpp
  LIBS nimbo_housekeeping nimbo_test_support LABELS program)
nimbo_add_test(startup_lines_test SOURCES startup_lines_test.cpp LIBS nimbo_housekeeping LABELS program)
nimbo_add_test(start_decision_test SOURCES start_decision_test.cpp LIBS nimbo_command nimbo_test_support LABELS program)

if(WIN32)
  add_library(nimbo_win32_dialogs STATIC win32_dialogs.cpp)
  target_include_directories(nimbo_win32_dialogs PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(nimbo_win32_dialogs PUBLIC user32)

  # Links the program's resources: the window loads its texts and menu.
  set_source_files_properties(${NIMBO_RESOURCES} PROPERTIES OBJECT_DEPENDS "${NIMBO_RESOURCE_DEPENDS}")
  nimbo_add_test(main_window_test SOURCES main_window_test.cpp ${NIMBO_RESOURCES}
    LIBS nimbo_program nimbo_win32_dialogs nimbo_test_support LABELS program OWN_PREFIX)
  set_tests_properties(main_window_test PROPERTIES RESOURCE_LOCK wine_desktop)

  add_executable(shutdown_watchdog_test shutdown_watchdog_test.cpp)
  target_link_libraries(shutdown_watchdog_test PRIVATE nimbo_program nimbo_test_support)
  add_test(NAME shutdown_watchdog_test COMMAND shutdown_watchdog_test)
  set_tests_properties(shutdown_watchdog_test PROPERTIES LABELS "unit;program" TIMEOUT 60)

  # Whole programs under Wine, each in a network namespace of its own with
  # its own Wine prefix (so its wineserver lives there): the udhcpc and
  # dhclient end-to-end tests of the Linux host run unchanged against
  # NIMBO.exe (started in its folder, stopped with NimboStop.exe), and the
  # tests of tests/wine/. They skip (77) without root, namespaces, Wine or,
  # for the desktop test, Xvfb (the wire test without the Linux host).
  # Screenshots go to test-output/.
  # The wire comparison runs the Linux host of the native build beside it;
  # the reply burst test sends its datagrams with the native probe client.
  set(NIMBO_LINUX_HOST ${CMAKE_SOURCE_DIR}/build/native/bin/nimbo CACHE FILEPATH
    "The Linux host nimbo that the Wine tests compare NIMBO.exe with")
  set(NIMBO_PROBE_CLIENT ${CMAKE_SOURCE_DIR}/build/native/bin/nimbo_probe_client CACHE FILEPATH
    "The native probe client that the Wine tests send crafted datagrams with")
  add_executable(desktop_probe wine/desktop_probe.cpp)
  target_link_libraries(desktop_probe PRIVATE nimbo_win32_dialogs nimbo_command)
  file(GLOB wine_scripts CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/wine/*_test.sh)
  list(APPEND wine_scripts ${CMAKE_CURRENT_SOURCE_DIR}/e2e/udhcpc_test.sh ${CMAKE_CURRENT_SOURCE_DIR}/e2e/dhclient_test.sh
    ${CMAKE_CURRENT_SOURCE_DIR}/e2e/reply_burst_test.sh)
  foreach(script IN LISTS wine_scripts)
    get_filename_component(name ${script} NAME_WE)
    add_test(NAME wine_${name} COMMAND bash ${script} $<TARGET_FILE:NIMBO> $<TARGET_FILE:desktop_probe>)
    set_tests_properties(wine_${name} PROPERTIES LABELS "e2e;wine" RUN_SERIAL TRUE SKIP_RETURN_CODE 77
      TIMEOUT 300 ENVIRONMENT
      "NIMBO_TEST_OUTPUT=${CMAKE_BINARY_DIR}/test-output/wine_${name};NIMBO_LINUX_HOST=${NIMBO_LINUX_HOST};NIMBO_PROBE_CLIENT=${NIMBO_PROBE_CLIENT}")
  endforeach()
endif()
