find_package(Threads REQUIRED)
add_executable(bench_server_job ${CMAKE_CURRENT_SOURCE_DIR}/server_job_bench.cc)
target_link_libraries(bench_server_job PRIVATE server Threads::Threads)
target_include_directories(bench_server_job PRIVATE ${PROJECT_SOURCE_DIR})
