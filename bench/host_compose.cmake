add_executable(host_compose ${CMAKE_CURRENT_SOURCE_DIR}/host_compose.cc)
target_link_libraries(host_compose PRIVATE host benchmark::benchmark)
target_include_directories(host_compose PRIVATE ${PROJECT_SOURCE_DIR})
