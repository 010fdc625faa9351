brenix_fuzz(fuzz_line_reader SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/line_reader_fuzz.cc DEPS server)
