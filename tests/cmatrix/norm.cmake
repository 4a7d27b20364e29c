# test_norm reads the error codes through the library's internal error hook.
kvelo_add_test(test_norm SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/test_norm.cpp INTERNAL)
list(APPEND KVELO_CUSTOM_TESTS test_norm.cpp)
