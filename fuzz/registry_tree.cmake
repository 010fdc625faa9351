brenix_fuzz(fuzz_registry_tree SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/registry_tree_fuzz.cc DEPS support MAX_LEN 4096)
