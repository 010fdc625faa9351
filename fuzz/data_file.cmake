brenix_fuzz(fuzz_data_file SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/data_file_fuzz.cc DEPS support MAX_LEN 65536)
