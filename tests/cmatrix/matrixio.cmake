# test_matrixio reads the error codes through the library's internal error hook.
kvelo_add_test(test_matrixio SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/test_matrixio.cpp INTERNAL)
list(APPEND KVELO_CUSTOM_TESTS test_matrixio.cpp)
