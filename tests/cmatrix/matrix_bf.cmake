# test_matrix_bf (binary forms of the C matrix records) reads the error codes through the
# library's internal error hook; named after its header, the runtime already has a test_bf.
kvelo_add_test(test_matrix_bf SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/test_matrix_bf.cpp INTERNAL)
list(APPEND KVELO_CUSTOM_TESTS test_matrix_bf.cpp)
