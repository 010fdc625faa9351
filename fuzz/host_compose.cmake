brenix_fuzz(fuzz_host_compose SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/host_compose_fuzz.cc DEPS host)
