add_executable(bench_lz_stream ${CMAKE_CURRENT_SOURCE_DIR}/lz_stream_bench.cc)
target_link_libraries(bench_lz_stream PRIVATE framework benchmark::benchmark)
target_include_directories(bench_lz_stream PRIVATE ${PROJECT_SOURCE_DIR})
