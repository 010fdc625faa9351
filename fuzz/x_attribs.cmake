brenix_fuzz(fuzz_x_attribs SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/x_attribs_fuzz.cc DEPS conversion)
