# The message database is internal to the library: its tests link the static twin.
kvelo_add_test(test_C_MessageDatabase SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/test_C_MessageDatabase.cpp INTERNAL)
list(APPEND KVELO_CUSTOM_TESTS test_C_MessageDatabase.cpp)
