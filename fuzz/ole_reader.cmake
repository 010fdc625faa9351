brenix_fuzz(fuzz_ole_reader SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/ole_reader_fuzz.cc DEPS platform_ole MAX_LEN 65536)
