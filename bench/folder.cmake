find_package(Threads REQUIRED)
add_executable(folder_bench ${CMAKE_CURRENT_SOURCE_DIR}/folder_bench.cc)
target_link_libraries(folder_bench PRIVATE xtension conversion host support Threads::Threads benchmark::benchmark)
target_include_directories(folder_bench PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/tests)
