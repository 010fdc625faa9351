brenix_fuzz(fuzz_leftovers SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/leftovers_fuzz.cc DEPS platform_win MAX_LEN 256)
