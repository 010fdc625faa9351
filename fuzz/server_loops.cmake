brenix_fuzz(fuzz_server_loops SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/server_loops_fuzz.cc DEPS server)
