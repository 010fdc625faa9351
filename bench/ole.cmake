add_executable(ole_bench ${CMAKE_CURRENT_SOURCE_DIR}/ole_bench.cc)
target_link_libraries(ole_bench PRIVATE platform_ole benchmark::benchmark)
target_include_directories(ole_bench PRIVATE ${PROJECT_SOURCE_DIR})
