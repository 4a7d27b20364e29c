# test_zlufctr reaches the complex LU operations, which the library does not export.
kvelo_add_test(test_zlufctr SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/test_zlufctr.cpp INTERNAL)
list(APPEND KVELO_CUSTOM_TESTS test_zlufctr.cpp)
