find_package(GTest REQUIRED)
find_package(Threads REQUIRED)
add_executable(folder_bench ${CMAKE_CURRENT_SOURCE_DIR}/folder_bench.cc
               ${PROJECT_SOURCE_DIR}/tests/plugin/qapi/doc_host_util.cc)
target_link_libraries(folder_bench PRIVATE conversion host support GTest::gtest Threads::Threads
                      benchmark::benchmark)
target_include_directories(folder_bench PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/tests)
target_compile_definitions(folder_bench PRIVATE BRENIX_TEST_DATA="${PROJECT_SOURCE_DIR}/tests/data")
