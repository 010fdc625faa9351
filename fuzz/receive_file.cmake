brenix_fuzz(fuzz_receive_file SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/receive_file_fuzz.cc DEPS server)
