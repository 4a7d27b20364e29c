# test_pxop reads the error codes through the library's internal error hook.
kvelo_add_test(test_pxop SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/test_pxop.cpp INTERNAL)
list(APPEND KVELO_CUSTOM_TESTS test_pxop.cpp)
