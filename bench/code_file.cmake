add_executable(bench_code_file ${CMAKE_CURRENT_SOURCE_DIR}/code_file_bench.cc)
target_link_libraries(bench_code_file PRIVATE framework benchmark::benchmark)
target_include_directories(bench_code_file PRIVATE ${PROJECT_SOURCE_DIR})
