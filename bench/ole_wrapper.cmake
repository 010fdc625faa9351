add_executable(bench_ole_wrapper ${CMAKE_CURRENT_SOURCE_DIR}/ole_wrapper_bench.cc)
target_link_libraries(bench_ole_wrapper PRIVATE framework benchmark::benchmark)
target_include_directories(bench_ole_wrapper PRIVATE ${PROJECT_SOURCE_DIR})
