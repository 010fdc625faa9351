brenix_fuzz(fuzz_code_pages SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/code_pages_fuzz.cc DEPS platform_win MAX_LEN 4096)
