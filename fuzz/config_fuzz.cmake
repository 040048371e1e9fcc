nimbo_add_fuzzer(ini_fuzz SOURCES ini_fuzz.cpp LIBS nimbo_config)
