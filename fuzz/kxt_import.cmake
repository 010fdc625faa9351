brenix_fuzz(fuzz_kxt_import SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/kxt_import_fuzz.cc DEPS conversion MAX_LEN 65536)
