# test_vadinit reads the error codes through the library's internal error hook.
kvelo_add_test(test_vadinit SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/test_vadinit.cpp INTERNAL)
list(APPEND KVELO_CUSTOM_TESTS test_vadinit.cpp)
