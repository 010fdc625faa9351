brenix_fuzz(fuzz_settings SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/settings_fuzz.cc DEPS support MAX_LEN 65536)
