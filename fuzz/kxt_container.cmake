brenix_fuzz(fuzz_kxt_container SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/kxt_container_fuzz.cc DEPS kxt MAX_LEN 65536)
