# The properties window's lists with a large table: a Windows program, run
# under Wine. Its resources and its clicks are the dialog tests' ones.
if(WIN32)
  add_executable(leases_page_fill leases_page_fill.cpp ${CMAKE_SOURCE_DIR}/tests/dialog_driver.cpp
    ${CMAKE_SOURCE_DIR}/tests/properties_test.rc)
  set_source_files_properties(${CMAKE_SOURCE_DIR}/tests/properties_test.rc PROPERTIES
    OBJECT_DEPENDS "${NIMBO_UI_RESOURCE_FILES}")
  target_link_libraries(leases_page_fill PRIVATE nimbo_ui GTest::gtest)
  target_include_directories(leases_page_fill PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/tests)
endif()
