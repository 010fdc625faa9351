brenix_fuzz(fuzz_kxt_v1_elements SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/kxt_v1_elements_fuzz.cc DEPS kxt MAX_LEN 65536)
