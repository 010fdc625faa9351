brenix_fuzz(fuzz_output_styles SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/output_styles_fuzz.cc DEPS host MAX_LEN 16384)
