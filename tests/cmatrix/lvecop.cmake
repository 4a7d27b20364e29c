# test_lvecop reads the error codes through the library's internal error hook.
kvelo_add_test(test_lvecop SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/test_lvecop.cpp INTERNAL)
list(APPEND KVELO_CUSTOM_TESTS test_lvecop.cpp)
