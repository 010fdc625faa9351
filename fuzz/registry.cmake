brenix_fuzz(fuzz_registry SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/registry_fuzz.cc DEPS platform_win MAX_LEN 4096)
