# NimboSVC's decisions, on both platforms.
nimbo_add_test(service_rules_test SOURCES service_rules_test.cpp LIBS nimbo_service_rules LABELS service)

# NimboSVC under Wine's service control manager. Each test program runs in a
# fresh Wine prefix of its own (service/own_prefix.sh), so that its services
# and server windows meet no other test's.
if(WIN32 AND CMAKE_CROSSCOMPILING)
  add_executable(nimbo_standin WIN32 service/standin_server.cpp)
  add_executable(nimbo_shutdown_wrapper service/shutdown_wrapper.cpp)
  target_link_libraries(nimbo_shutdown_wrapper PRIVATE nimbo_service)

  add_library(nimbo_service_test_support STATIC service/service_test_support.cpp)
  target_link_libraries(nimbo_service_test_support PUBLIC nimbo_service nimbo_test_support GTest::gtest)
  target_compile_definitions(nimbo_service_test_support PUBLIC
    NIMBOSVC_EXE="$<TARGET_FILE:NimboSVC>" STANDIN_EXE="$<TARGET_FILE:nimbo_standin>"
    SHUTDOWN_WRAPPER_EXE="$<TARGET_FILE:nimbo_shutdown_wrapper>")

  set(own_prefix ${CMAKE_CURRENT_SOURCE_DIR}/service/own_prefix.sh)
  foreach(name service_console_test service_run_test)
    add_executable(${name} service/${name}.cpp)
    target_link_libraries(${name} PRIVATE nimbo_service_test_support GTest::gtest_main)
    add_dependencies(${name} NimboSVC nimbo_standin)
    string(REGEX REPLACE "^service_(.*)_test$" "\\1" prefix_name ${name})
    add_test(NAME ${name} COMMAND bash ${own_prefix} ${prefix_name} $<TARGET_FILE:${name}>)
    set_tests_properties(${name} PROPERTIES LABELS "service" SKIP_RETURN_CODE 77 TIMEOUT 240)
  endforeach()

  # The real server program, where this build has it (it is given as the
  # test's argument, so the test also runs against a server built elsewhere).
  add_executable(service_nimbo_test service/service_nimbo_test.cpp)
  target_link_libraries(service_nimbo_test PRIVATE nimbo_service_test_support)
  if(TARGET NIMBO)
    add_dependencies(service_nimbo_test NimboSVC NIMBO nimbo_shutdown_wrapper)
    add_test(NAME service_nimbo_test
      COMMAND bash ${own_prefix} nimbo --netns $<TARGET_FILE:service_nimbo_test> $<TARGET_FILE:NIMBO>)
  else()
    add_test(NAME service_nimbo_test COMMAND bash -c "echo 'SKIP: this build has no NIMBO.exe'; exit 77")
  endif()
  set_tests_properties(service_nimbo_test PROPERTIES LABELS "service" SKIP_RETURN_CODE 77 TIMEOUT 240)
endif()
