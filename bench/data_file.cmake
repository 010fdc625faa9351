add_executable(bench_data_file ${CMAKE_CURRENT_SOURCE_DIR}/data_file_bench.cc)
target_link_libraries(bench_data_file PRIVATE support benchmark::benchmark)
target_include_directories(bench_data_file PRIVATE ${PROJECT_SOURCE_DIR})
