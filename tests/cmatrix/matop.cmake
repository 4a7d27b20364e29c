# test_matop reads the error codes through the library's internal error hook.
kvelo_add_test(test_matop SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/test_matop.cpp INTERNAL)
list(APPEND KVELO_CUSTOM_TESTS test_matop.cpp)
