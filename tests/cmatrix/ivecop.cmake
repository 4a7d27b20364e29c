# test_ivecop reads the error codes through the library's internal error hook.
kvelo_add_test(test_ivecop SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/test_ivecop.cpp INTERNAL)
list(APPEND KVELO_CUSTOM_TESTS test_ivecop.cpp)
