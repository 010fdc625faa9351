brenix_fuzz(fuzz_property_set SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/property_set_fuzz.cc DEPS framework MAX_LEN 16384)
