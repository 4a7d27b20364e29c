# The runtime's C headers compiled by a C99 host (runtime_headers_c.c, strict: any warning is
# an error) and linked against libkvelo.so as a C program would be.
kvelo_add_test(test_runtime_c SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/test_runtime_c.cpp
               ${CMAKE_CURRENT_SOURCE_DIR}/runtime_headers_c.c)
set_source_files_properties(${CMAKE_CURRENT_SOURCE_DIR}/runtime_headers_c.c PROPERTIES
  COMPILE_OPTIONS "-std=c99;-Wall;-Wextra;-pedantic-errors;-Werror")
list(APPEND KVELO_CUSTOM_TESTS test_runtime_c.cpp)
