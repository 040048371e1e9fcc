nimbo_add_test(profile_file_test SOURCES profile_file_test.cpp LIBS nimbo_config)
nimbo_add_test(settings_file_test SOURCES settings_file_test.cpp LIBS nimbo_config nimbo_test_support)
if(WIN32)
  # Reads the corpus through the real Windows profile calls (under Wine the
  # Linux path is reached through the Z: drive).
  nimbo_add_test(profile_differential_test SOURCES profile_differential_test.cpp LIBS nimbo_config nimbo_test_support)
  if(CMAKE_CROSSCOMPILING)
    set(ini_corpus "Z:${CMAKE_CURRENT_SOURCE_DIR}/data/ini")
  else()
    set(ini_corpus "${CMAKE_CURRENT_SOURCE_DIR}/data/ini")
  endif()
  target_compile_definitions(profile_differential_test PRIVATE NIMBO_INI_CORPUS="${ini_corpus}")
endif()
