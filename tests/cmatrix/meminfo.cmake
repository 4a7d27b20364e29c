# test_meminfo reads the error codes through the library's internal error hook.
kvelo_add_test(test_meminfo SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/test_meminfo.cpp INTERNAL)
list(APPEND KVELO_CUSTOM_TESTS test_meminfo.cpp)
