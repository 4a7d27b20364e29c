# test_lufactor reads the error codes through the library's internal error hook.
kvelo_add_test(test_lufactor SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/test_lufactor.cpp INTERNAL)
list(APPEND KVELO_CUSTOM_TESTS test_lufactor.cpp)
