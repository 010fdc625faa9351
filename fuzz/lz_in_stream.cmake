brenix_fuzz(fuzz_lz_in_stream SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/lz_in_stream_fuzz.cc DEPS framework MAX_LEN 65536)
