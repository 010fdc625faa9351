brenix_fuzz(fuzz_variant SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/variant_fuzz.cc DEPS framework MAX_LEN 4096)
