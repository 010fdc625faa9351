brenix_fuzz(fuzz_date_time SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/date_time_fuzz.cc DEPS support MAX_LEN 64)
