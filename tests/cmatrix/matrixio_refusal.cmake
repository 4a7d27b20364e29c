# test_matrixio_refusal reads the error codes through the library's internal error hook and
# sets a ceiling on the library's heap blocks.
kvelo_add_test(test_matrixio_refusal SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/test_matrixio_refusal.cpp INTERNAL)
list(APPEND KVELO_CUSTOM_TESTS test_matrixio_refusal.cpp)
