find_package(GTest REQUIRED)
find_package(Threads REQUIRED)
add_executable(import_bench ${CMAKE_CURRENT_SOURCE_DIR}/import_bench.cc
               ${PROJECT_SOURCE_DIR}/tests/plugin/qapi/doc_host_util.cc
               ${PROJECT_SOURCE_DIR}/tests/plugin/mixer/mixer_host_util.cc)
target_link_libraries(import_bench PRIVATE conversion host support kxt kxt_pseudo GTest::gtest
                      Threads::Threads benchmark::benchmark)
target_include_directories(import_bench PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/tests)
target_compile_definitions(import_bench PRIVATE BRENIX_TEST_DATA="${PROJECT_SOURCE_DIR}/tests/data")
