add_executable(bench_kxt_book ${CMAKE_CURRENT_SOURCE_DIR}/kxt_book_bench.cc)
target_link_libraries(bench_kxt_book PRIVATE kxt benchmark::benchmark)
target_include_directories(bench_kxt_book PRIVATE ${PROJECT_SOURCE_DIR})
