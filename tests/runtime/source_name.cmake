# How reports name their sources: the test reaches the internal naming function and the kept
# error records of the C matrix library's handler.
kvelo_add_test(test_source_name SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/test_source_name.cpp INTERNAL)
list(APPEND KVELO_CUSTOM_TESTS test_source_name.cpp)
