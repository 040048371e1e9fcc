# The properties window: its pages' decisions natively, the dialog itself
# in-process under Wine, screenshots under Xvfb, and the help file.
nimbo_add_test(general_page_test SOURCES general_page_test.cpp LIBS nimbo_pages nimbo_test_support)
nimbo_add_test(ranges_page_test SOURCES ranges_page_test.cpp LIBS nimbo_pages nimbo_test_support)
nimbo_add_test(list_sort_test SOURCES list_sort_test.cpp LIBS nimbo_pages)
nimbo_add_test(reservations_page_test SOURCES reservations_page_test.cpp LIBS nimbo_pages nimbo_test_support)
nimbo_add_test(leases_page_test SOURCES leases_page_test.cpp LIBS nimbo_pages nimbo_test_support)

if(WIN32)
  set_source_files_properties(properties_test.rc PROPERTIES OBJECT_DEPENDS "${NIMBO_UI_RESOURCE_FILES};${NIMBO_GENERATED_DIR}/nimbo.manifest")
  # The dialog in-process, with the resources the program would give it.
  nimbo_add_test(properties_dialog_test
    SOURCES properties_dialog_test.cpp dialog_driver.cpp properties_test.rc
    LIBS nimbo_ui nimbo_server nimbo_config nimbo_dhcp_builder nimbo_test_support
    LABELS ui OWN_PREFIX)
  add_dependencies(properties_dialog_test nimbo_help)
  nimbo_add_test(list_pages_dialog_test
    SOURCES list_pages_dialog_test.cpp dialog_driver.cpp properties_test.rc
    LIBS nimbo_ui nimbo_test_support
    LABELS ui OWN_PREFIX)
  set_tests_properties(properties_dialog_test list_pages_dialog_test PROPERTIES RESOURCE_LOCK wine_desktop)  # one foreground
endif()

if(WIN32)
  # The administrator of tests/wine/active_leases_test.sh, beside
  # desktop_probe.exe (the whole-program tests of program_tests.cmake run
  # that script with NIMBO.exe).
  add_executable(leases_page_probe wine/leases_page_probe.cpp)
  target_include_directories(leases_page_probe PRIVATE ${CMAKE_SOURCE_DIR}/src)
  target_link_libraries(leases_page_probe PRIVATE nimbo_win32_dialogs nimbo_command_sender comctl32)
endif()

if(WIN32 AND CMAKE_CROSSCOMPILING)
  # One screenshot per tab under Xvfb, kept in the build tree for a person
  # to look at (not compared).
  add_executable(properties_screens properties_screens.cpp dialog_driver.cpp properties_test.rc)
  target_include_directories(properties_screens PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(properties_screens PRIVATE nimbo_ui GTest::gtest)
  foreach(dpi 96 144)  # 100 % and 150 %
    add_test(NAME properties_screenshots_${dpi} COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/properties_screenshots.sh
      $<TARGET_FILE:properties_screens> ${CMAKE_BINARY_DIR}/screenshots ${dpi})
    set_tests_properties(properties_screenshots_${dpi} PROPERTIES LABELS "ui;screenshots" SKIP_RETURN_CODE 77
      TIMEOUT 240 RESOURCE_LOCK wine_screens)
  endforeach()

  # The help file is a compiled help file with every page and its contents
  # and index.
  add_test(NAME help_file COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/help_file_test.sh ${CMAKE_BINARY_DIR}/bin/NIMBO.CHM)
  set_tests_properties(help_file PROPERTIES LABELS ui)
endif()
