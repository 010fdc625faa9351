brenix_fuzz(fuzz_krm_header SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/krm_header_fuzz.cc DEPS conversion platform_win MAX_LEN 1024)
