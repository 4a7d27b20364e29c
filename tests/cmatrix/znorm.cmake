# test_znorm reads the error codes through the library's internal error hook.
kvelo_add_test(test_znorm SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/test_znorm.cpp INTERNAL)
list(APPEND KVELO_CUSTOM_TESTS test_znorm.cpp)
