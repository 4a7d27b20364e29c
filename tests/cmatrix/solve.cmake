# test_solve reads the error codes through the library's internal error hook.
kvelo_add_test(test_solve SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/test_solve.cpp INTERNAL)
list(APPEND KVELO_CUSTOM_TESTS test_solve.cpp)
