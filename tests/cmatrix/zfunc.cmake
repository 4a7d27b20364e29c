# test_zfunc reads the error codes through the library's internal error hook.
kvelo_add_test(test_zfunc SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/test_zfunc.cpp INTERNAL)
list(APPEND KVELO_CUSTOM_TESTS test_zfunc.cpp)
