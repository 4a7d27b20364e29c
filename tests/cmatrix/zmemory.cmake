# test_zmemory reads the error codes through the library's internal error hook.
kvelo_add_test(test_zmemory SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/test_zmemory.cpp INTERNAL)
list(APPEND KVELO_CUSTOM_TESTS test_zmemory.cpp)
