brenix_fuzz(fuzz_digger_runs SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/digger_runs_fuzz.cc DEPS conversion host MAX_LEN 4096)
