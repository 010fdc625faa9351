add_executable(mapper_bench ${CMAKE_CURRENT_SOURCE_DIR}/mapper_bench.cc)
target_link_libraries(mapper_bench PRIVATE mixer qapi host support benchmark::benchmark)
target_include_directories(mapper_bench PRIVATE ${PROJECT_SOURCE_DIR})
