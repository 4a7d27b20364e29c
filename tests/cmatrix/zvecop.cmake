# test_zvecop reads the error codes through the library's internal error hook.
kvelo_add_test(test_zvecop SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/test_zvecop.cpp INTERNAL)
list(APPEND KVELO_CUSTOM_TESTS test_zvecop.cpp)
