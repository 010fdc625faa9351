brenix_fuzz(fuzz_xthost_text SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/xthost_text_fuzz.cc DEPS host MAX_LEN 1024)
