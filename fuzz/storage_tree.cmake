brenix_fuzz(fuzz_storage_tree SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/storage_tree_fuzz.cc DEPS framework MAX_LEN 16384)
