brenix_fuzz(fuzz_code_file SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/code_file_fuzz.cc DEPS framework MAX_LEN 65536)
