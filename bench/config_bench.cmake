nimbo_add_bench(settings_file_bench SOURCES settings_file_bench.cpp LIBS nimbo_config)
# A real-time run of the housekeeping tick's saves under churn (it times
# whole runs, so it has no use for Google Benchmark).
add_executable(save_cadence_bench save_cadence_bench.cpp)
target_link_libraries(save_cadence_bench PRIVATE nimbo_housekeeping nimbo_config)
target_include_directories(save_cadence_bench PRIVATE ${CMAKE_SOURCE_DIR}/src)
