# The message database is internal to the library: its tests link the static twin, and run
# it short of memory through the replaced operator new of failing_new.cpp.
kvelo_add_test(test_C_MessageDatabase SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/test_C_MessageDatabase.cpp
               ${CMAKE_CURRENT_SOURCE_DIR}/failing_new.cpp INTERNAL)
list(APPEND KVELO_CUSTOM_TESTS test_C_MessageDatabase.cpp)
