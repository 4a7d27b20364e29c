# test_vecop reads the error codes through the library's internal error hook.
kvelo_add_test(test_vecop SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/test_vecop.cpp INTERNAL)
list(APPEND KVELO_CUSTOM_TESTS test_vecop.cpp)
