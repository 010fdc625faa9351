find_package(Threads REQUIRED)
add_executable(bench_server_transfer ${CMAKE_CURRENT_SOURCE_DIR}/server_transfer_bench.cc)
target_link_libraries(bench_server_transfer PRIVATE server ZLIB::ZLIB Threads::Threads)
target_include_directories(bench_server_transfer PRIVATE ${PROJECT_SOURCE_DIR})
