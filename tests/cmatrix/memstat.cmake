# test_memstat reads the error codes through the library's internal error hook.
kvelo_add_test(test_memstat SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/test_memstat.cpp INTERNAL)
list(APPEND KVELO_CUSTOM_TESTS test_memstat.cpp)
