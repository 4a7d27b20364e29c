# The portable values: the string readers' memory on pipes is checked against the library
# heap's internal block ceiling, so the test links the static library.
kvelo_add_test(test_bf SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/test_bf.cpp INTERNAL)
list(APPEND KVELO_CUSTOM_TESTS test_bf.cpp)
