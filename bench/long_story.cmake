find_package(GTest REQUIRED)
find_package(Threads REQUIRED)
add_executable(long_story_bench ${CMAKE_CURRENT_SOURCE_DIR}/long_story_bench.cc
               ${PROJECT_SOURCE_DIR}/tests/plugin/qapi/doc_host_util.cc
               ${PROJECT_SOURCE_DIR}/tests/plugin/mixer/mixer_host_util.cc)
target_link_libraries(long_story_bench PRIVATE conversion host support kxt GTest::gtest
                      Threads::Threads benchmark::benchmark)
target_include_directories(long_story_bench PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/tests)
target_compile_definitions(long_story_bench PRIVATE BRENIX_TEST_DATA="${PROJECT_SOURCE_DIR}/tests/data")
