# test_zmatrix_header compiles a C host of the complex header beside a C++ one.
kvelo_add_test(test_zmatrix_header SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/test_zmatrix_header.cpp
               ${CMAKE_CURRENT_SOURCE_DIR}/zmatrix_header_c.c)
list(APPEND KVELO_CUSTOM_TESTS test_zmatrix_header.cpp)
