brenix_fuzz(fuzz_doc_json SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/doc_json_fuzz.cc DEPS host MAX_LEN 65536)
