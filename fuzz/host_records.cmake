brenix_fuzz(fuzz_host_records SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/host_records_fuzz.cc DEPS qapi MAX_LEN 16384)
