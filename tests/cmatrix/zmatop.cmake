# test_zmatop reads the error codes through the library's internal error hook.
kvelo_add_test(test_zmatop SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/test_zmatop.cpp INTERNAL)
list(APPEND KVELO_CUSTOM_TESTS test_zmatop.cpp)
